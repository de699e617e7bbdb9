#pragma once
// The message libraries: outside libraries that hand out texts by number.
//
// The window's library "OVTextLibA.dll" exports GetMSG(number, buffer,
// language file path); the installer's "TextLibNSS.dll" exports
// GetMSG(number, buffer) and finds its texts itself. Both fill a 256-byte
// buffer with a zero-terminated 8-bit text and return non-zero on success.
//
// A MessageLibrary is loaded when texts are needed and released when the
// object goes, so a library replaced on disk is seen at the next load.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SharedLibrary.h"

namespace ov {

inline constexpr std::string_view kHelpTextLibrary = "OVTextLibA.dll";
inline constexpr std::string_view kSetupTextLibrary = "TextLibNSS.dll";
inline constexpr std::string_view kGetMsgExport = "GetMSG";
inline constexpr std::size_t kMessageBufferSize = 256;

class MessageLibrary {
public:
  using HelpGetMsg = std::int32_t (*)(std::int32_t number, char* buffer, const char* languageFile);
  using SetupGetMsg = std::int32_t (*)(std::int32_t number, char* buffer);

  // Nothing when the library cannot be loaded; a library without GetMSG
  // loads, and HasGetMsg() says so.
  static std::unique_ptr<MessageLibrary> Load(std::string_view windowsName,
                                              const std::vector<std::filesystem::path>& folders);

  bool HasGetMsg() const { return getMsg_ != nullptr; }

  // The window's form: text `number` of the language file. Nothing when the
  // export is missing or the library reports failure.
  std::optional<std::string> Fetch(std::int32_t number, const std::string& languageFile) const;
  // The installer's form.
  std::optional<std::string> Fetch(std::int32_t number) const;

private:
  explicit MessageLibrary(std::unique_ptr<SharedLibrary> library);
  std::unique_ptr<SharedLibrary> library_;
  void* getMsg_ = nullptr;
};

}  // namespace ov

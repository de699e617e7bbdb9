#include "platform/MessageLibrary.h"

#include <array>
#include <cstring>

namespace ov {

namespace {

// The buffer is cleared before the call and its last byte forced to zero
// after it, so a library that writes no terminator cannot make us read past
// the buffer.
template <typename Call>
std::optional<std::string> CallInto(Call call) {
  std::array<char, kMessageBufferSize> buffer{};
  const std::int32_t ok = call(buffer.data());
  buffer.back() = '\0';
  if (!ok) return std::nullopt;
  return std::string(buffer.data(), std::strlen(buffer.data()));
}

}  // namespace

MessageLibrary::MessageLibrary(std::unique_ptr<SharedLibrary> library)
    : library_(std::move(library)), getMsg_(library_->Symbol(std::string(kGetMsgExport).c_str())) {}

std::unique_ptr<MessageLibrary> MessageLibrary::Load(std::string_view windowsName,
                                                     const std::vector<std::filesystem::path>& folders) {
  auto library = SharedLibrary::Load(windowsName, folders);
  if (!library) return nullptr;
  return std::unique_ptr<MessageLibrary>(new MessageLibrary(std::move(library)));
}

std::optional<std::string> MessageLibrary::Fetch(std::int32_t number, const std::string& languageFile) const {
  if (!getMsg_) return std::nullopt;
  auto getMsg = reinterpret_cast<HelpGetMsg>(getMsg_);
  return CallInto([&](char* buffer) { return getMsg(number, buffer, languageFile.c_str()); });
}

std::optional<std::string> MessageLibrary::Fetch(std::int32_t number) const {
  if (!getMsg_) return std::nullopt;
  auto getMsg = reinterpret_cast<SetupGetMsg>(getMsg_);
  return CallInto([&](char* buffer) { return getMsg(number, buffer); });
}

}  // namespace ov

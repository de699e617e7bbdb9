#include "setup/TextLibrary.h"

#include <array>

#include "platform/SharedLibrary.h"
#include "setup/SetupTexts.h"

namespace ov::setup {

namespace {

using GetMsgFunction = int (*)(int, char*);

class LibraryTexts : public TextSource {
public:
  LibraryTexts(std::unique_ptr<SharedLibrary> library, GetMsgFunction getMsg)
      : library_(std::move(library)), getMsg_(getMsg) {}

  std::optional<std::string> Text(int number) override {
    // The library's buffer contract is 256 bytes; one more zero guards
    // against a library that fills all of them.
    std::array<char, 257> buffer{};
    if (getMsg_(number, buffer.data()) == 0) return std::nullopt;
    buffer.back() = '\0';
    return std::string(buffer.data());
  }

private:
  std::unique_ptr<SharedLibrary> library_;
  GetMsgFunction getMsg_;
};

}  // namespace

LoadedTexts LoadTextLibrary(const std::vector<std::filesystem::path>& folders) {
  LoadedTexts loaded;
  auto library = SharedLibrary::Load(kTextLibraryName, folders);
  if (!library) return loaded;
  auto getMsg = reinterpret_cast<GetMsgFunction>(library->Symbol("GetMSG"));
  if (getMsg == nullptr) {
    loaded.status = LibraryStatus::NoExport;
    return loaded;
  }
  loaded.status = LibraryStatus::Loaded;
  loaded.texts = std::make_unique<LibraryTexts>(std::move(library), getMsg);
  return loaded;
}

}  // namespace ov::setup

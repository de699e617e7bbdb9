// The installer's message library: GetMSG(number, buffer) puts text `number`
// into the caller's 256-byte buffer, returning 1, or returns 0 with the empty
// text when it cannot.
//
// The library is told nothing but the number; it finds its texts through the
// product key that the installer has prepared. "FilePath" names the text
// file itself (a Windows or a local path). When it names a folder instead,
// as it does once the program is installed, the file is that folder's
// "Wyndbarrow" + "Language" + ".dat" ("WyndbarrowEnglish.dat" when
// "Language" is empty).

#include <filesystem>
#include <system_error>

#include "TextFile.h"
#include "platform/Folders.h"
#include "platform/Registry.h"

namespace {

constexpr std::string_view kProductKey = "OrlindavestrumNSS";

std::filesystem::path TextFilePath() {
  ov::FileRegistry registry(ov::FileRegistry::UserAndMachine());
  const std::string filePath = registry.ReadText(ov::RegistryRoot::ClassesRoot, kProductKey, "FilePath");
  if (filePath.empty()) return {};
  const std::filesystem::path local = ov::KnownFolders::FromEnvironment().Map(filePath);
  std::error_code ec;
  if (!std::filesystem::is_directory(local, ec)) return local;
  std::string language = registry.ReadText(ov::RegistryRoot::ClassesRoot, kProductKey, "Language");
  if (language.empty()) language = "English";
  return local / ("Wyndbarrow" + language + ".dat");
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int GetMSG(int number, char* buffer) {
  const std::string path = TextFilePath().string();
  std::string text;
  const ovtext::Lookup result = ovtext::FindInFile(path.c_str(), number, text);
  return ovtext::FillBuffer(buffer, result, text);
}

#pragma once
// Setup's message library ("TextLibNSS"): an outside shared library that
// returns the progress window's texts by number. It finds its language file
// from the product key's "FilePath" and "Language", which setup writes before
// loading it.
//
// The library exports
//   extern "C" int GetMSG(int number, char* buffer);
// which fills the 256-byte buffer with a zero-terminated text and returns
// non-zero, or returns zero when it has no such text.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ov::setup {

class TextSource {
public:
  virtual ~TextSource() = default;
  // The text with that number, or nothing when the library has none.
  virtual std::optional<std::string> Text(int number) = 0;
};

enum class LibraryStatus { Loaded, NotFound, NoExport };

struct LoadedTexts {
  LibraryStatus status = LibraryStatus::NotFound;
  std::unique_ptr<TextSource> texts;  // set when Loaded
};

// Loads "TextLibNSS" (as "TextLibNSS.so") from the folders, then from the
// loader's search path, and looks up "GetMSG".
LoadedTexts LoadTextLibrary(const std::vector<std::filesystem::path>& folders);

}  // namespace ov::setup

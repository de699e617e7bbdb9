#pragma once
// The text files read by our message libraries.
//
// A text file is UTF-8. Its first line is kTextFileHeader; after it, each
// line "number=text" gives one text. Blank lines and lines starting with ';'
// are comments. Inside a text, "\n" stands for a line break and "\\" for a
// backslash. A number given twice keeps its later text.
//
// The libraries hand a text out as the program's 8-bit text (each character
// one byte, Latin-1), zero-terminated in the caller's 256-byte buffer: a
// character beyond Latin-1, or a broken UTF-8 sequence, becomes '?', and a
// text longer than 255 bytes is cut there.
//
// Header-only so that each library carries its own copy and exports nothing
// but GetMSG.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ovtext {

inline constexpr std::string_view kTextFileHeader = "; OVNSS texts 1";
inline constexpr std::size_t kBufferSize = 256;
// Larger files are not text files of ours.
inline constexpr long kMaxFileSize = 1 << 20;

enum class Lookup { Found, NoFile, NotTextFile, NoSuchText };

// UTF-8 to 8-bit text as described above.
inline std::string Utf8ToLatin1(std::string_view in) {
  std::string out;
  std::size_t i = 0;
  while (i < in.size()) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (c >= 0xF8) length = 0;
    unsigned long code = length == 2 ? (c & 0x1Fu) : length == 3 ? (c & 0x0Fu) : (c & 0x07u);
    bool ok = length != 0 && i + length <= in.size();
    for (std::size_t k = 1; ok && k < length; ++k) {
      const auto next = static_cast<unsigned char>(in[i + k]);
      ok = (next & 0xC0u) == 0x80u;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    // Overlong forms of ASCII and everything past Latin-1 have no byte here.
    out.push_back(code >= 0x80 && code <= 0xFF ? static_cast<char>(code) : '?');
    i += length;
  }
  return out;
}

inline std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == 'n') {
        out.push_back('\n');
        ++i;
        continue;
      }
      if (text[i + 1] == '\\') {
        out.push_back('\\');
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// Finds text `number` in the file's contents; `text` receives it as 8-bit text.
inline Lookup FindInContents(std::string_view contents, int number, std::string& text) {
  std::size_t at = 0;
  auto nextLine = [&](std::string_view& line) {
    if (at >= contents.size()) return false;
    std::size_t end = contents.find('\n', at);
    if (end == std::string_view::npos) end = contents.size();
    line = contents.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    return true;
  };
  std::string_view line;
  if (!nextLine(line)) return Lookup::NotTextFile;
  if (line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  if (line != kTextFileHeader) return Lookup::NotTextFile;
  bool found = false;
  while (nextLine(line)) {
    if (line.empty() || line.front() == ';') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string key(line.substr(0, equals));
    char* end = nullptr;
    const long value = std::strtol(key.c_str(), &end, 10);
    if (end != key.c_str() + key.size() || value != number) continue;
    text = Utf8ToLatin1(Unescape(line.substr(equals + 1)));
    found = true;
  }
  return found ? Lookup::Found : Lookup::NoSuchText;
}

inline Lookup FindInFile(const char* path, int number, std::string& text) {
  if (!path || !*path) return Lookup::NoFile;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return Lookup::NoFile;
  std::string contents;
  char chunk[4096];
  std::size_t got = 0;
  bool tooLarge = false;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    contents.append(chunk, got);
    if (contents.size() > static_cast<std::size_t>(kMaxFileSize)) {
      tooLarge = true;
      break;
    }
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return Lookup::NoFile;
  if (tooLarge) return Lookup::NotTextFile;
  return FindInContents(contents, number, text);
}

// Fills the caller's buffer: the text, cut to 255 bytes, or the empty text.
inline int FillBuffer(char* buffer, Lookup result, const std::string& text) {
  if (!buffer) return 0;
  if (result != Lookup::Found) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t n = text.size() < kBufferSize - 1 ? text.size() : kBufferSize - 1;
  for (std::size_t i = 0; i < n; ++i) buffer[i] = text[i];
  buffer[n] = '\0';
  return 1;
}

}  // namespace ovtext

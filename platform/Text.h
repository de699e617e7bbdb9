#pragma once
// Names on disk are UTF-16; the program keeps the low byte of each code unit
// and works with 8-bit text. Wherever such a text leaves the program for a
// person or for the file system (list rows, paths, dump files, JSON, saved
// file names), each byte is read as Latin-1 and written as UTF-8.

#include <string>
#include <string_view>

namespace ov {

inline std::string Latin1ToUtf8(std::string_view text) {
  std::size_t high = 0;
  for (char ch : text) high += static_cast<unsigned char>(ch) >> 7;
  if (high == 0) return std::string(text);  // plain ASCII, the common case
  std::string out;
  out.reserve(text.size() + high);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace ov

// The installer's message library when the build has no other: it reads its
// texts from "WyndbarrowEnglish.dat" beside itself, one "number=text" line
// each ('#' lines are comments).
//
// extern "C" int GetMSG(int number, char* buffer): copies the text (at most
// 255 bytes and a zero) into the 256-byte buffer and returns 1, or returns 0
// when there is no such text.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::map<int, std::string> LoadTexts() {
  std::map<int, std::string> texts;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LoadTexts), &info) == 0 || info.dli_fname == nullptr) return texts;
  std::string file = info.dli_fname;
  const auto slash = file.rfind('/');
  file = (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + "WyndbarrowEnglish.dat";
  std::FILE* in = std::fopen(file.c_str(), "r");
  if (in == nullptr) return texts;
  char line[1024];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + equals) continue;
    texts[static_cast<int>(number)] = text.substr(equals + 1);
  }
  std::fclose(in);
  return texts;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int GetMSG(int number, char* buffer) {
  static std::once_flag once;
  static std::map<int, std::string> texts;
  std::call_once(once, [] { texts = LoadTexts(); });
  const auto it = texts.find(number);
  if (buffer == nullptr || it == texts.end()) return 0;
  const std::size_t length = std::min<std::size_t>(it->second.size(), 255);
  std::memcpy(buffer, it->second.data(), length);
  buffer[length] = '\0';
  return 1;
}

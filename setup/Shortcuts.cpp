#include "setup/Shortcuts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <system_error>

namespace ov::setup {

namespace {

// A string value of a desktop entry: backslash, newline, tab and return are
// escaped as the freedesktop desktop-entry format lists.
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c; break;
    }
  }
  return out;
}

// One Exec argument: always quoted; inside the quotes ", `, $ and \ get a
// backslash, and a field-code % is doubled.
std::string QuoteArgument(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

std::string UnescapeValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 's': out += ' '; break;
      default: out += text[i]; break;
    }
  }
  return out;
}

}  // namespace

std::string DesktopEntryText(const Shortcut& shortcut) {
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + EscapeValue(shortcut.description) + "\n";
  text += "Comment=" + EscapeValue(shortcut.description) + "\n";
  text += "Exec=" + EscapeValue(QuoteArgument(shortcut.target.string())) + "\n";
  if (!shortcut.workingFolder.empty()) text += "Path=" + EscapeValue(shortcut.workingFolder.string()) + "\n";
  text += "Icon=" + EscapeValue(shortcut.icon.empty() ? std::string("drive-harddisk") : shortcut.icon.string()) + "\n";
  text += shortcut.terminal ? "Terminal=true\n" : "Terminal=false\n";
  text += "Categories=System;Utility;\n";
  return text;
}

bool WriteShortcut(const std::filesystem::path& file, const Shortcut& shortcut) {
  const auto temp = std::filesystem::path(file.string() + ".tmp-" + std::to_string(::getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << DesktopEntryText(shortcut);
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  ::chmod(temp.c_str(), 0755);
  std::error_code error;
  std::filesystem::rename(temp, file, error);
  if (error) std::filesystem::remove(temp, error);
  return !error;
}

std::optional<std::filesystem::path> ShortcutTarget(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != "[Desktop Entry]") return std::nullopt;
  while (std::getline(in, line)) {
    if (line.rfind("Exec=", 0) != 0) continue;
    const std::string exec = UnescapeValue(std::string_view(line).substr(5));
    if (exec.size() < 2 || exec.front() != '"') return std::nullopt;
    std::string target;
    for (std::size_t i = 1; i < exec.size(); ++i) {
      if (exec[i] == '"') return std::filesystem::path(target);
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      else if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
      target += exec[i];
    }
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace ov::setup

#include "platform/Help.h"

#include <array>
#include <cstdio>
#include <string>
#include <system_error>

namespace ov {

namespace {

namespace fs = std::filesystem;

// The shell's single-quoted form of a word.
std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// What `xdg-mime query default TYPE` prints, without its line end.
std::string DefaultApplication(const fs::path& xdgMime, std::string_view type) {
  const std::string command = Quoted(xdgMime.string()) + " query default " + std::string(type) + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string out;
  std::array<char, 256> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) out += buffer.data();
  ::pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace

bool DesktopOpensChm() {
  const auto xdgMime = FindOnPath("xdg-mime");
  if (!xdgMime) return false;
  // The registered type and its older alias.
  for (std::string_view type : {"application/vnd.ms-htmlhelp", "application/x-chm"})
    if (!DefaultApplication(*xdgMime, type).empty()) return true;
  return false;
}

fs::path HelpContentsFile(const fs::path& installPath) { return installPath / std::string(kHelpFileName); }

fs::path HelpByNameFile() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  return ec ? fs::path(std::string(kHelpFileName)) : here / std::string(kHelpFileName);
}

fs::path HelpHtmlPage(const fs::path& chm) {
  return chm.parent_path() / std::string(kHelpHtmlFolder) / std::string(kHelpFirstPage);
}

std::optional<fs::path> OpenHelpFile(ProcessRunner& runner, const fs::path& chm, bool chmViewer) {
  std::error_code ec;
  fs::path file = chm;
  if (!chmViewer && fs::is_regular_file(HelpHtmlPage(chm), ec)) file = HelpHtmlPage(chm);
  if (!fs::is_regular_file(file, ec) || !runner.ShellOpen(file)) return std::nullopt;
  return file;
}

std::string HelpNotOpenedText(const fs::path& file) {
  return "No program could open the help file " + file.string() +
         ".\nOpen it with a web browser, or install xdg-utils and a browser.";
}

}  // namespace ov

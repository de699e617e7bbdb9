#include "platform/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/RunFolder.h"

namespace ov {

namespace {

namespace fs = std::filesystem;

// An environment variable's text; unset and empty both count as absent.
std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

fs::path HomeFolder() {
  if (auto home = Env("HOME")) return *home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return ".";
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string Slashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

}  // namespace

KnownFolders KnownFolders::FromEnvironment() {
  const fs::path home = HomeFolder();
  fs::path dataHome = Env("XDG_DATA_HOME").value_or("");
  if (dataHome.empty() || dataHome.is_relative()) dataHome = home / ".local" / "share";

  KnownFolders folders;
  folders.driveC = Env("OVNSS_DRIVE_C").value_or((dataHome / "ovnss" / "drive_c").string());
  folders.windows = Env("OVNSS_WINDOWS_DIR").value_or((folders.driveC / "Windows").string());
  folders.system = Env("OVNSS_SYSTEM_DIR").value_or((folders.windows / "System32").string());
  folders.temp = Env("OVNSS_TEMP_DIR").value_or(Env("TMPDIR").value_or("/tmp"));
  folders.desktop = Env("OVNSS_DESKTOP_DIR").value_or(Env("XDG_DESKTOP_DIR").value_or((home / "Desktop").string()));
  folders.startMenu = Env("OVNSS_START_MENU_DIR").value_or((dataHome / "applications").string());
  const fs::path programFiles = ::geteuid() == 0 ? fs::path("/opt") : home / ".local" / "opt";
  folders.programFiles = Env("OVNSS_PROGRAM_FILES_DIR").value_or(programFiles.string());
  if (auto run = RunFolderFromEnvironment()) folders.runDriveC = RunDriveC(*run);
  return folders;
}

std::optional<fs::path> KnownFolders::ShellFolder(std::string_view name) const {
  if (SameName(name, "Desktop")) return desktop;
  if (SameName(name, "Start Menu")) return startMenu;
  if (SameName(name, "Programs")) return startMenu / "Programs";
  return std::nullopt;
}

fs::path KnownFolders::Map(std::string_view windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' || !IsDriveLetter(windowsPath[0]))
    return Slashes(windowsPath);

  const char letter = LowerAscii(windowsPath[0]);
  fs::path drive = driveC;
  if (letter != 'c') {
    fs::path base = driveC.lexically_normal();
    if (!base.has_filename()) base = base.parent_path();  // drop a trailing separator
    drive = base.parent_path() / (std::string("drive_") + letter);
  }
  // "C:\DP", "C:DP" and "C:\\DP" all name DP on the drive; the rest must stay
  // relative, or joining it would replace the drive's folder.
  std::string_view rest = windowsPath.substr(2);
  while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/')) rest.remove_prefix(1);
  if (rest.empty()) return drive;
  if (letter == 'c' && !runDriveC.empty()) {
    for (std::string_view own : kRunDriveCFiles)
      if (SameName(rest, own)) return runDriveC / std::string(rest);
  }
  return drive / Slashes(rest);
}

}  // namespace ov

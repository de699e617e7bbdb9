#pragma once
// Places the program reads and writes outside the disk being recovered.
//
// The Windows build names fixed places: the root of drive C: (for files such
// as "C:\DP" and "C:\TreeStructView.txt"), the Windows folder, the system
// folder, the temporary folder and the shell folders (Desktop, Start Menu,
// Programs). Here each maps to a per-user folder that an environment variable
// can override, so tests point them at temporary folders:
//
//   drive C:      OVNSS_DRIVE_C      default $XDG_DATA_HOME/ovnss/drive_c
//   Windows       OVNSS_WINDOWS_DIR  default <drive C>/Windows
//   system        OVNSS_SYSTEM_DIR   default <Windows>/System32
//   temporary     OVNSS_TEMP_DIR     default $TMPDIR, else /tmp
//   Desktop       OVNSS_DESKTOP_DIR  default $XDG_DESKTOP_DIR, else ~/Desktop
//   Start Menu    OVNSS_START_MENU_DIR default $XDG_DATA_HOME/applications
//   Programs      <Start Menu>/Programs
//   Program Files OVNSS_PROGRAM_FILES_DIR default /opt for root, else ~/.local/opt
//
// $XDG_DATA_HOME defaults to ~/.local/share.
//
// A few files at the root of drive C are one run's scratch, written and read
// back by that run alone (kRunDriveCFiles). When a run folder is set
// (runDriveC, from OVNSS_RUN_DIR for an outside program a run started), they
// map there instead, so that runs open at once never read each other's.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ov {

// The root files of drive C that belong to one run: the geometry program's
// question and answer, and the folder structure dumps.
inline constexpr std::string_view kRunDriveCFiles[] = {"drvn1", "DP", "TreeStructView.txt", "TreeStructPrint.dat"};

struct KnownFolders {
  std::filesystem::path driveC;
  std::filesystem::path windows;
  std::filesystem::path system;
  std::filesystem::path temp;
  std::filesystem::path desktop;
  std::filesystem::path startMenu;
  // Where programs are installed by default (the Windows build's
  // "ProgramFilesDir"): machine-wide for root, per user otherwise.
  std::filesystem::path programFiles;
  std::filesystem::path runDriveC;  // empty: the run's files stay on drive C

  // Resolves every folder from the environment, as described above.
  static KnownFolders FromEnvironment();

  // A shell folder by its Windows name ("Desktop", "Start Menu", "Programs"),
  // ignoring case; nothing for an unknown name.
  std::optional<std::filesystem::path> ShellFolder(std::string_view name) const;

  // Maps a Windows path to a local one: "C:\DP" -> <drive C>/DP, backslashes
  // become slashes. Paths without a drive letter only have their separators
  // changed. Other drive letters map to <drive C>/../drive_<letter>.
  // Drive letters ignore case ("d:" -> drive_d), and the rest of a drive path
  // is always taken below the drive's folder ("C:DP" and "C:\\DP" are DP
  // too). ".." components are kept as they are. A file of kRunDriveCFiles
  // right at the root of drive C maps into runDriveC when that is set.
  std::filesystem::path Map(std::string_view windowsPath) const;
};

}  // namespace ov

#include "setup/Uninstall.h"

#include "setup/SetupTexts.h"
#include "setup/Shortcuts.h"

namespace ov::setup {

namespace fs = std::filesystem;

namespace {

constexpr auto kRoot = RegistryRoot::ClassesRoot;
constexpr std::string_view kLogName = "ActivityLog.txt";

bool RemoveFile(const fs::path& file, UninstallResult& result) {
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(file, error)) && !fs::is_symlink(fs::symlink_status(file, error)))
    return false;
  if (!fs::remove(file, error) || error) return false;
  result.removed.push_back(file);
  return true;
}

// Removes the folder when nothing is left in it.
void RemoveIfEmpty(const fs::path& folder, UninstallResult& result) {
  std::error_code error;
  if (fs::is_directory(folder, error) && fs::is_empty(folder, error) && fs::remove(folder, error))
    result.removed.push_back(folder);
}

bool Within(const fs::path& file, const fs::path& folder) {
  const auto f = file.lexically_normal();
  const auto d = (folder / "").lexically_normal();
  return f.string().rfind(d.string(), 0) == 0;
}

// A desktop entry of ours: it starts a program of the installation or the
// uninstaller.
void RemoveShortcut(const fs::path& file, const fs::path& installFolder, const fs::path& uninstaller,
                    UninstallResult& result) {
  const auto target = ShortcutTarget(file);
  if (!target) return;
  if (Within(*target, installFolder) || target->lexically_normal() == uninstaller.lexically_normal())
    RemoveFile(file, result);
}

}  // namespace

UninstallResult Uninstall(Registry& registry, const KnownFolders& folders, const InstallList& list,
                          const UninstallHome& home) {
  UninstallResult result;
  const std::string filePath = registry.ReadText(kRoot, kProductKey, kFilePathValue);
  std::error_code error;
  result.installed = !filePath.empty() && fs::is_directory(filePath, error);
  result.installFolder = filePath;

  fs::path uninstaller = folders.windows / "ovnss-uninstall";
  for (const auto& name : list) {
    const RowKind kind = KindOf(name);
    if (kind == RowKind::Uninstaller) {
      uninstaller = folders.windows / name;
      continue;  // last of all: it may be the program running now
    }
    if (kind == RowKind::WindowsCopy) RemoveFile(folders.windows / name, result);
    if (kind == RowKind::SystemCopy) RemoveFile(folders.system / name, result);
    if (result.installed) RemoveFile(fs::path(filePath) / name, result);
  }
  // The folders of the list's rows (the help pages), once their files are gone.
  if (result.installed) {
    for (const auto& name : list)
      if (fs::path(name).has_parent_path()) RemoveIfEmpty(fs::path(filePath) / fs::path(name).parent_path(), result);
  }

  const fs::path menu = *folders.ShellFolder("Start Menu") / "Programs" / kMenuFolder;
  const fs::path programs = *folders.ShellFolder("Programs") / kMenuFolder;
  if (result.installed) {
    RemoveShortcut(*folders.ShellFolder("Desktop") / kProgramShortcut, filePath, uninstaller, result);
    RemoveShortcut(menu / kProgramShortcut, filePath, uninstaller, result);
  }
  RemoveShortcut(programs / kUninstallShortcut, filePath.empty() ? fs::path("/nonexistent") : fs::path(filePath),
                 uninstaller, result);
  RemoveFile(uninstaller, result);

  if (result.installed && !home.binFolder.empty()) {
    for (std::string_view program : kLinkedPrograms) {
      const fs::path link = home.binFolder / program;
      std::error_code ec;
      if (fs::is_symlink(fs::symlink_status(link, ec)) && Within(fs::read_symlink(link, ec), filePath) &&
          RemoveFile(link, result))
        RemoveIfEmpty(home.binFolder, result);
    }
  }
  if (result.installed && !home.keepLog) RemoveFile(fs::path(filePath) / kLogName, result);
  if (!home.logFolder.empty() && !home.keepLog) {
    RemoveFile(home.logFolder / kLogName, result);
    RemoveIfEmpty(home.logFolder, result);
  }
  // Directory lists and geometry files an older run left at the root of drive C.
  for (std::string_view name : kRunDriveCFiles) RemoveFile(folders.driveC / name, result);

  RemoveIfEmpty(menu, result);
  RemoveIfEmpty(programs, result);
  RemoveIfEmpty(programs.parent_path(), result);  // "Programs", made by setup when missing
  RemoveIfEmpty(folders.system, result);
  RemoveIfEmpty(folders.windows, result);
  RemoveIfEmpty(folders.driveC, result);
  if (!home.binFolder.empty()) RemoveIfEmpty(folders.driveC.parent_path(), result);  // ~/.local/share/ovnss
  if (result.installed) {
    for (const auto& entry : fs::directory_iterator(filePath, error)) result.kept.push_back(entry.path());
    RemoveIfEmpty(filePath, result);
    // The programs folder setup made for it (~/.local/opt), once empty.
    if (fs::path(filePath).parent_path() == folders.programFiles) RemoveIfEmpty(folders.programFiles, result);
  }

  registry.Batch([](Registry& r) {
    for (std::string_view value : {kFilePathValue, kLanguageValue, kLngFileValue}) r.DeleteValue(kRoot, kProductKey, value);
    if (r.ValueNames(kRoot, kProductKey).empty()) r.DeleteKey(kRoot, kProductKey);
  });
  // A store that holds nothing more goes, with its lock and folder.
  if (!home.registryFile.empty() && FileRegistry(home.registryFile).Empty()) {
    RemoveFile(home.registryFile, result);
    RemoveFile(home.registryFile.parent_path() / ("." + home.registryFile.filename().string() + ".lock"), result);
    RemoveIfEmpty(home.registryFile.parent_path(), result);
  }
  return result;
}

}  // namespace ov::setup

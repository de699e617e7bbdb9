#include "setup/SetupController.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

#include "setup/SetupTexts.h"
#include "setup/Shortcuts.h"

namespace ov::setup {

namespace fs = std::filesystem;

namespace {

constexpr auto kRoot = RegistryRoot::ClassesRoot;

// Makes an existing file writable again, as the Windows build resets a
// file's attributes to normal before replacing it.
void MakeNormal(const fs::path& file) {
  std::error_code ignored;
  if (fs::is_regular_file(file, ignored))
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ignored);
}

void RemoveIfPresent(const fs::path& file) {
  std::error_code ignored;
  if (!fs::is_directory(file, ignored)) fs::remove(file, ignored);
}

// "folder" + "/" + name with one separator, whether or not the folder ends with one.
fs::path Join(const std::string& folder, std::string_view name) {
  if (!folder.empty() && folder.back() == '/') return fs::path(folder + std::string(name));
  return fs::path(folder + "/" + std::string(name));
}

}  // namespace

bool CopyWhole(const fs::path& source, const fs::path& destination) {
  std::error_code error;
  if (!fs::is_regular_file(source, error)) return false;
  const fs::path temp = destination.string() + ".part-" + std::to_string(::getpid());
  fs::copy_file(source, temp, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(temp, destination, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

SetupController::SetupController(SetupPlatform platform, SetupDialogs& dialogs, InstallList list)
    : platform_(std::move(platform)), dialogs_(dialogs), list_(std::move(list)) {
  if (!platform_.loadTexts) {
    const fs::path staging = StagingFolder();
    platform_.loadTexts = [staging] { return LoadTextLibrary({staging}); };
  }
}

fs::path SetupController::StagingFolder() const { return platform_.folders.temp / kStagingFolderName; }

fs::path SetupController::MenuFolder() const {
  return *platform_.folders.ShellFolder("Start Menu") / "Programs" / kMenuFolder;
}

void SetupController::Write(std::string_view value, const std::string& text) {
  // Registry writes never report failure; the key is made when missing.
  platform_.registry->Batch([&](Registry& r) {
    r.CreateKey(kRoot, kProductKey);
    r.SetValue(kRoot, kProductKey, value, text);
  });
}

void SetupController::PrepareRegistry() {
  const auto saved = platform_.registry->QueryValue(kRoot, kProductKey, kFilePathValue);
  hadFilePath_ = saved.has_value();
  savedFilePath_ = saved.value_or(std::string());
  Write(kFilePathValue, (StagingFolder() / kStagedTextFile).string());
  Write(kLanguageValue, "English");
}

std::string SetupController::DefaultInstallFolder() const {
  return Join(platform_.folders.programFiles.string(), kFolderSuffix).string();
}

std::optional<std::string> SetupController::Fetch(int number) {
  std::optional<std::string> text;
  if (texts_.texts) text = texts_.texts->Text(number);
  if (!text) dialogs_.ShowError(std::string(kMsgTextFailed), std::string(kCaption));
  return text;
}

bool SetupController::OpenFolderStep() {
  // Program Files always exists on Windows; its stand-in may not yet, and
  // the folder below it is made one level at a time.
  std::error_code ignored;
  fs::create_directories(platform_.folders.programFiles, ignored);
  installFolder_ = DefaultInstallFolder();

  const std::string language = platform_.registry->ReadText(kRoot, kProductKey, kLanguageValue);
  if (language.empty()) {
    dialogs_.ShowError(std::string(kMsgNoLanguageKey), std::string(kCaption));
    return false;
  }
  textBase_ = language == "French" ? 8 : 6;

  texts_ = platform_.loadTexts();
  if (texts_.status == LibraryStatus::NotFound) {
    dialogs_.ShowError(std::string(kMsgLibraryMissing), std::string(kCaption));
    return false;
  }
  if (texts_.status == LibraryStatus::NoExport || !texts_.texts) {
    dialogs_.ShowError(std::string(kMsgNoExport), std::string(kCaption));
    return false;
  }
  // The first texts are read only to see that the library works.
  for (int number = 0; number < textBase_; ++number)
    if (!Fetch(number)) return false;
  return true;
}

void SetupController::ApplyBrowsedFolder(const std::string& fieldText) {
  if (fieldText.empty()) return;
  const char first = fieldText.front();
  if (first == 'A' || first == 'a' || first == 'B' || first == 'b') {
    dialogs_.ShowError(std::string(kMsgFloppy), std::string(kCaption));
    return;
  }
  installFolder_ = Join(fieldText, kFolderSuffix).string();
}

bool SetupController::AcceptFolder() {
  std::error_code ignored;
  const fs::path folder = installFolder_;
  if (!fs::exists(folder, ignored)) fs::create_directory(folder, ignored);
  if (fs::exists(Join(installFolder_, kInstalledProgram), ignored) &&
      !dialogs_.AskYesNo(std::string(kMsgAlreadyInstalled), std::string(kCaption)))
    return false;
  if (!fs::is_directory(folder, ignored)) {
    std::error_code error;
    if (!fs::create_directory(folder, error) || error) {
      installFolder_ = DefaultInstallFolder();
      dialogs_.ShowError(std::string(kMsgCannotCreate), std::string(kCaption));
      return false;
    }
  }
  state_ = kStateProceed;
  return true;
}

bool SetupController::ConfirmQuit() {
  if (!dialogs_.AskYesNo(std::string(kMsgQuit), std::string(kSetupTitle))) return false;
  Abandon();
  return true;
}

void SetupController::Abandon() {
  // A value that was not there goes again rather than becoming empty: an
  // empty one of the user's would hide the machine-wide installation.
  if (hadFilePath_)
    Write(kFilePathValue, savedFilePath_);
  else
    platform_.registry->DeleteValue(kRoot, kProductKey, kFilePathValue);
  CleanStaging();
}

std::optional<SetupController::ProgressTexts> SetupController::LoadProgressTexts() {
  ProgressTexts texts;
  for (auto [number, into] : {std::pair{kTextGroupCaption, &texts.group}, std::pair{kTextLabel, &texts.label},
                              std::pair{kTextHiddenLabel, &texts.hidden}}) {
    auto text = Fetch(textBase_ + number);
    if (!text) return std::nullopt;
    *into = std::move(*text);
  }
  return texts;
}

void SetupController::CleanStaging() {
  const fs::path staging = StagingFolder();
  for (const auto& name : list_) RemoveIfPresent(staging / name);
  for (std::string_view name : {kStagedTextFile, std::string_view("TextLibNSS.so"), kSetupProgram})
    RemoveIfPresent(staging / name);
  std::error_code ignored;
  if (fs::is_directory(staging, ignored)) fs::remove(staging, ignored);  // only when empty
}

int SetupController::CountFixedDisks(const fs::path& sourceFolder) {
  const fs::path counter = OutsideProgram(sourceFolder, "Fixcount.exe");
  std::error_code ignored;
  if (!fs::exists(counter, ignored)) {
    dialogs_.ShowError(std::string(kMsgNoDiskCounter), std::string(kPhysicalRoutineCaption));
    return 0;
  }
  const fs::path info = platform_.folders.Map("C:\\TOLINFO.TXT");
  if (fs::exists(info, ignored)) {
    MakeNormal(info);
    fs::remove(info, ignored);
  }
  // The tool runs to its end here (the Windows build started it hidden and
  // waited for its window to go); the window check stays for runners that
  // have windows.
  platform_.runner->RunAndWait(counter, {});
  while (platform_.runner->TopLevelWindowExists("Fixcount")) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(platform_.countPause);

  std::FILE* in = std::fopen(info.c_str(), "rb");
  if (in == nullptr) return 1;
  signed char count = 1;  // an empty file reads as one disk, like one that cannot be read
  if (std::fread(&count, 1, 1, in) != 1) count = 1;
  std::fclose(in);
  return count;
}

bool SetupController::MakeShortcuts() {
  const auto question = Fetch(textBase_ + kTextShortcutQuestion);
  if (!question) return false;
  const bool keepDesktop = dialogs_.AskDesktopShortcut(*question, std::string(kCaption));

  std::error_code ignored;
  const fs::path menu = MenuFolder();
  fs::create_directories(menu, ignored);

  std::string working = installFolder_;
  if (working.empty() || working.back() != '/') working += '/';
  Shortcut shortcut{fs::path(working + std::string(kInstalledProgram)), working,
                    std::string(kProgramShortcutDescription), {}};
  // The window's own big icon, when the installation has it.
  if (fs::exists(fs::path(working) / kProgramIcon, ignored)) shortcut.icon = fs::path(working) / kProgramIcon;
  // The menu entry always; the desktop entry (and the desktop folder) only
  // when the user keeps it, so a refused shortcut leaves nothing behind.
  const fs::path menuFile = menu / kProgramShortcut;
  MakeNormal(menuFile);
  WriteShortcut(menuFile, shortcut);
  if (keepDesktop) {
    const fs::path desktop = *platform_.folders.ShellFolder("Desktop");
    fs::create_directories(desktop, ignored);
    CopyWhole(menuFile, desktop / kProgramShortcut);
  }
  LinkPrograms();

  dialogs_.ShowInformation(std::string(kCompleted), std::string(kCaption));
  return true;
}

void SetupController::LinkPrograms() {
  if (platform_.binFolder.empty()) return;
  std::error_code ignored;
  for (std::string_view program : kLinkedPrograms) {
    const fs::path target = Join(installFolder_, program);
    if (!fs::exists(target, ignored)) continue;
    const fs::path link = platform_.binFolder / program;
    // Only a link of ours (or none) is replaced, never someone's program.
    const auto status = fs::symlink_status(link, ignored);
    if (fs::exists(status) && !fs::is_symlink(status)) continue;
    fs::create_directories(platform_.binFolder, ignored);
    fs::remove(link, ignored);
    fs::create_symlink(target, link, ignored);
  }
}

InstallOutcome SetupController::RunInstall(InstallListener& listener) {
  const fs::path windows = platform_.folders.windows;
  const fs::path system = platform_.folders.system;
  std::error_code ignored;
  fs::path source = platform_.sourceFolder;
  if (source.empty()) source = fs::current_path(ignored);

  if (platform_.osFamily == 'F') {
    const int disks = CountFixedDisks(source);
    if (disks > 1) {
      dialogs_.ShowError(std::string(kMsgTooManyDisks), std::string(kSetupTitle));
      return InstallOutcome::Ended;
    }
    if (disks == 0) return InstallOutcome::Ended;
  }

  const std::size_t count = list_.size();
  std::size_t handled = count;
  for (std::size_t k = 0; k < count; ++k) {
    const std::string& name = list_[k];
    const fs::path from = source / name;
    const RowKind kind = KindOf(name);
    if (kind == RowKind::Uninstaller) {
      // Neither a missing uninstaller nor a failed copy stops the run, and
      // the bar does not move for it.
      fs::create_directories(windows, ignored);
      if (CopyWhole(from, windows / name)) {
        const fs::path programs = *platform_.folders.ShellFolder("Programs") / kMenuFolder;
        fs::create_directories(programs, ignored);
        // The uninstaller asks in a window before it removes anything.
        WriteShortcut(programs / kUninstallShortcut,
                      Shortcut{windows / name, windows, std::string(kUninstallShortcutDescription), {}, false});
      }
      continue;
    }
    if (kind == RowKind::WindowsCopy) {
      fs::create_directories(windows, ignored);
      CopyWhole(from, windows / name);
    } else if (kind == RowKind::SystemCopy) {
      fs::create_directories(system, ignored);
      CopyWhole(from, system / name);
    }
    const fs::path to = Join(installFolder_, name);
    if (!fs::exists(from, ignored)) {
      handled = k;
      break;
    }
    if (name.find('/') != std::string::npos) fs::create_directories(to.parent_path(), ignored);
    MakeNormal(to);
    // A copy that fails stops the run like a missing file: reporting an
    // installation as complete with a file missing would leave a program
    // that cannot start.
    if (!CopyWhole(from, to)) {
      handled = k;
      break;
    }
    std::this_thread::sleep_for(platform_.copyPause);
    listener.Progress(static_cast<int>(k * 100 / count));
  }
  std::this_thread::sleep_for(platform_.copyPause);
  listener.Progress(count == 0 ? 100 : static_cast<int>(handled * 100 / count));

  InstallOutcome outcome = InstallOutcome::Completed;
  if (handled == count) {
    const auto done = Fetch(textBase_ + kTextDone);
    if (!done) return InstallOutcome::Ended;
    listener.GroupCaption(*done);
    if (!MakeShortcuts()) return InstallOutcome::Ended;
  } else {
    outcome = InstallOutcome::Incomplete;
    listener.GroupCaption(std::string(kIncomplete));
    const auto stopped = Fetch(textBase_ + kTextStopped);
    if (!stopped) return InstallOutcome::Ended;
    dialogs_.ShowError(*stopped, std::string(kCaption));
    state_ = kStateProceed;
  }
  CleanStaging();
  Write(kFilePathValue, installFolder_);
  Write(kLngFileValue, language_ + "A.dat");
  state_ = kStateFinished;
  return outcome;
}

}  // namespace ov::setup

#pragma once
// The installer's behaviour without its windows: the registry values, the
// folder rules, the copy run with its progress and stop rules, the shortcuts,
// the disk count of the 9x family and the clean-up of the staging folder.
//
// The windows call it from their handlers; the install thread calls
// RunInstall, which blocks until the run is over and reports through an
// InstallListener and the SetupDialogs (the window forwards both to its own
// thread). Tests drive it directly with fakes.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "setup/InstallList.h"
#include "setup/TextLibrary.h"

namespace ov::setup {

// Values of SetupState.
inline constexpr int kStateWaiting = 0;
inline constexpr int kStateProceed = 1;
inline constexpr int kStateFinished = 10;

// The message boxes. Each call blocks until the box is closed.
class SetupDialogs {
public:
  virtual ~SetupDialogs() = default;
  // A Yes/No question; true means Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;
  virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
  // The question whether to keep the desktop shortcut; a Yes/No question
  // unless the caller decided beforehand.
  virtual bool AskDesktopShortcut(const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption);
  }
};

// What the install thread shows in the progress window.
class InstallListener {
public:
  virtual ~InstallListener() = default;
  // The bar's position and the percentage label, 0 to 100.
  virtual void Progress(int percent) = 0;
  // The new caption of the group box.
  virtual void GroupCaption(const std::string& text) = 0;
};

// The outside world as setup sees it.
struct SetupPlatform {
  Registry* registry = nullptr;
  KnownFolders folders;
  ProcessRunner* runner = nullptr;
  char osFamily = 'N';  // 'F' for the 9x family, which counts the fixed disks first
  // Loads the message library; by default from the staging folder.
  std::function<LoadedTexts()> loadTexts;
  // Where the files to install lie; empty: the current folder when the run starts.
  std::filesystem::path sourceFolder;
  // Where the programs are linked so that they are on PATH (~/.local/bin,
  // /usr/local/bin for root); empty: no links.
  std::filesystem::path binFolder;
  std::chrono::milliseconds copyPause{100};
  std::chrono::milliseconds countPause{1000};
};

enum class InstallOutcome {
  Completed,   // every file copied, shortcuts made
  Incomplete,  // the run stopped at a file; registry values still written
  Ended,       // setup must end at once (disk count, or a text failed)
};

class SetupController {
public:
  SetupController(SetupPlatform platform, SetupDialogs& dialogs, InstallList list);

  // SetupState, shared by the threads.
  std::atomic<int>& State() { return state_; }

  // The splash thread's registry work: keeps the old "FilePath", points it
  // at the staged text file and sets "Language" to "English".
  void PrepareRegistry();
  const std::string& SavedFilePath() const { return savedFilePath_; }

  void ChooseLanguage(std::string language) { language_ = std::move(language); }
  const std::string& Language() const { return language_; }

  // Opening the folder step: the default folder, the language key, the text
  // base, the message library and its first texts. False when a box was
  // shown and setup must end.
  bool OpenFolderStep();
  std::string DefaultInstallFolder() const;
  const std::string& InstallFolder() const { return installFolder_; }
  int TextBase() const { return textBase_; }

  // After the folder picker returned, with the browse field's text: an empty
  // text changes nothing, a floppy drive is refused, any other folder gets
  // the product's folder name below it.
  void ApplyBrowsedFolder(const std::string& fieldText);
  // "&Next" on the folder step: true when the folder is accepted
  // (SetupState 1), false when the step stays open.
  bool AcceptFolder();
  // Cancel on the folder step: true when the user quits; "FilePath" is then
  // put back and the staging folder cleaned.
  bool ConfirmQuit();
  // Ending setup before the copy run in any other way ("&Exit" on the
  // language step, a failure while opening a step): as a quit, "FilePath" is
  // put back and the staging folder cleaned, so an earlier installation
  // keeps working.
  void Abandon();

  struct ProgressTexts {
    std::string group;
    std::string label;
    std::string hidden;
  };
  // The progress window's texts; nothing when a text failed (setup ends).
  std::optional<ProgressTexts> LoadProgressTexts();

  // The install thread's whole work. Sets SetupState 10 as its last act
  // unless it ends setup early.
  InstallOutcome RunInstall(InstallListener& listener);

  // The parts of the run, for the tests.
  int CountFixedDisks(const std::filesystem::path& sourceFolder);
  void CleanStaging();
  std::filesystem::path StagingFolder() const;
  std::filesystem::path MenuFolder() const;
  const InstallList& List() const { return list_; }

private:
  std::optional<std::string> Fetch(int number);
  bool MakeShortcuts();
  // Links the installed programs into the platform's bin folder.
  void LinkPrograms();
  void Write(std::string_view value, const std::string& text);

  SetupPlatform platform_;
  SetupDialogs& dialogs_;
  InstallList list_;
  std::atomic<int> state_{kStateWaiting};
  std::string savedFilePath_;
  bool hadFilePath_ = false;  // the user's store held "FilePath" at the start
  std::string language_ = "Dutch";
  std::string installFolder_;
  int textBase_ = 6;
  LoadedTexts texts_;
};

// Copies a file through a temporary name beside the destination, so a failed
// copy leaves no half-written file; the destination is replaced whole. False
// when the source is missing or anything failed.
bool CopyWhole(const std::filesystem::path& source, const std::filesystem::path& destination);

}  // namespace ov::setup

#pragma once
// What the installer's tests share: answering message boxes, texts by
// number, a sandbox of folders for every place setup writes, and the
// Windows build's own 40-entry install list.

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "setup/SetupController.h"
#include "setup/SetupTexts.h"
#include "support/FakeProcessRunner.h"
#include "support/TempDir.h"

namespace ov::setup::test {

namespace fs = std::filesystem;

struct Box {
  std::string kind;  // "question", "error" or "information"
  std::string text;
  std::string caption;
  bool operator==(const Box&) const = default;
};

// Records every box; questions take the queued answers, then Yes. Called
// from the install thread as well.
class FakeDialogs : public SetupDialogs {
public:
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back({"question", text, caption});
    if (answers_.empty()) return true;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  void ShowError(const std::string& text, const std::string& caption) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back({"error", text, caption});
  }
  void ShowInformation(const std::string& text, const std::string& caption) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back({"information", text, caption});
  }
  void Answer(bool yes) {
    std::lock_guard lock(mutex_);
    answers_.push_back(yes);
  }
  std::vector<Box> Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }

private:
  mutable std::mutex mutex_;
  std::deque<bool> answers_;
  std::vector<Box> boxes_;
};

// "Text n" for every number except the failing one; remembers what was asked.
class FakeTexts : public TextSource {
public:
  explicit FakeTexts(int failing, std::vector<int>* asked) : failing_(failing), asked_(asked) {}
  std::optional<std::string> Text(int number) override {
    if (asked_ != nullptr) asked_->push_back(number);
    if (number == failing_) return std::nullopt;
    return "Text " + std::to_string(number);
  }

private:
  int failing_;
  std::vector<int>* asked_;
};

class Recorder : public InstallListener {
public:
  void Progress(int percent) override {
    std::lock_guard lock(mutex_);
    progress.push_back(percent);
  }
  void GroupCaption(const std::string& text) override {
    std::lock_guard lock(mutex_);
    captions.push_back(text);
  }
  std::mutex mutex_;
  std::vector<int> progress;
  std::vector<std::string> captions;
};

// The Windows build's list, in its order.
inline InstallList WindowsInstallList() {
  return {"OVNSS.exe", "Drvlist.exe", "Sectrd16.dll", "Sectrd32.dll", "Portio01.vxd", "Fixcount.exe",
          "Chsprobe.exe", "OrlindavestrumHelp.chm", "HELP4.bmp", "help4old.bmp", "help5.bmp",
          "SelectPoolAdvance.bmp", "mount5.bmp", "mount6.bmp", "Step1.bmp", "Step2.bmp", "Step3.bmp",
          "Step4.bmp", "Step4_1.bmp", "Step5.bmp", "SaveFilesAdvance8.bmp", "Step5_1.bmp", "Step6.bmp",
          "Step6_1.bmp", "Step7.bmp", "SelectVolumeAdvance.bmp", "mount7Advance.bmp", "UninstallOV.exe",
          "MendWMI.exe", "revertwmi.bat", "EnglishA.dat", "DutchA.dat", "FrenchA.dat", "GermanA.dat",
          "EnglishW.dat", "DutchW.dat", "FrenchW.dat", "GermanW.dat", "OVTextLibA.dll", "OVTextLibW.dll"};
}

inline void WriteFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every place setup reads or writes, below one temporary folder.
class Sandbox {
public:
  explicit Sandbox(InstallList list = WindowsInstallList()) : list_(std::move(list)) {
    platform.registry = &registry;
    platform.runner = &runner;
    platform.folders.driveC = dir / "c";
    platform.folders.windows = dir / "c" / "Windows";
    platform.folders.system = dir / "c" / "Windows" / "System32";
    platform.folders.temp = dir / "tmp";
    platform.folders.desktop = dir / "Desktop";
    platform.folders.startMenu = dir / "applications";
    platform.folders.programFiles = dir / "opt";
    platform.sourceFolder = dir / "source";
    platform.copyPause = std::chrono::milliseconds(0);
    platform.countPause = std::chrono::milliseconds(0);
    platform.loadTexts = [this] {
      LoadedTexts loaded;
      loaded.status = libraryStatus;
      if (libraryStatus == LibraryStatus::Loaded) loaded.texts = std::make_unique<FakeTexts>(failingText, &askedTexts);
      return loaded;
    };
    for (const auto& name : list_) WriteFile(Source() / name, "contents of " + name);
  }

  fs::path Source() const { return dir / "source"; }
  fs::path Install() const { return dir / "opt" / std::string(kFolderSuffix); }
  fs::path Staging() const { return dir / "tmp" / std::string(kStagingFolderName); }
  fs::path Menu() const { return dir / "applications" / "Programs" / std::string(kMenuFolder); }
  std::string Value(std::string_view name) { return registry.ReadText(RegistryRoot::ClassesRoot, kProductKey, name); }

  // A controller through the folder step, with English chosen.
  std::unique_ptr<SetupController> Ready() {
    auto setup = std::make_unique<SetupController>(platform, dialogs, list_);
    setup->PrepareRegistry();
    setup->ChooseLanguage("English");
    EXPECT_TRUE(setup->OpenFolderStep());
    return setup;
  }

  ov::test::TempDir dir;
  RegistryStore registry;
  ov::test::FakeProcessRunner runner;
  FakeDialogs dialogs;
  SetupPlatform platform;
  LibraryStatus libraryStatus = LibraryStatus::Loaded;
  int failingText = -1;
  std::vector<int> askedTexts;

private:
  InstallList list_;
};

}  // namespace ov::setup::test

// setup-screenshots DIR: writes a PNG of each installer window and of each
// of its message boxes into DIR, drawn offscreen with the installer's own
// message library from the program folder.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QGroupBox>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/Process.h"
#include "platform/Registry.h"
#include "setup/FolderStep.h"
#include "setup/InstallList.h"
#include "setup/LanguageStep.h"
#include "setup/ProgressWindow.h"
#include "setup/SetupController.h"
#include "setup/SetupTexts.h"
#include "setup/SplashWindow.h"

namespace {

using namespace ov::setup;

class NoDialogs : public SetupDialogs {
public:
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void ShowError(const std::string&, const std::string&) override {}
  void ShowInformation(const std::string&, const std::string&) override {}
};

class NoRunner : public ov::ProcessRunner {
public:
  int RunAndWait(const std::filesystem::path&, const std::vector<std::string>&) override { return -1; }
  bool ShellOpen(const std::filesystem::path&) override { return false; }
  bool Start(const std::filesystem::path&, const std::vector<std::string>&) override { return false; }
  bool TopLevelWindowExists(std::string_view) override { return false; }
};

bool Save(QWidget& widget, const QDir& dir, const char* name) {
  widget.adjustSize();
  const QString file = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (!widget.grab().save(file)) {
    std::fprintf(stderr, "setup-screenshots: cannot write %s\n", qPrintable(file));
    return false;
  }
  return true;
}

bool SaveBox(const QDir& dir, const char* name, QMessageBox::Icon icon, std::string_view text,
             std::string_view caption, bool question) {
  QMessageBox box(icon, QString::fromUtf8(caption.data(), static_cast<int>(caption.size())),
                  QString::fromUtf8(text.data(), static_cast<int>(text.size())),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box.show();  // lays the box out; nothing is drawn on the offscreen platform
  const bool saved = Save(box, dir, name);
  box.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup-screenshots DIR\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(QStringLiteral("."))) return 1;

  // A throw-away environment: the pictures must not touch the user's registry.
  // The message library reads the registry store named by OVNSS_REGISTRY and
  // the staged text file setup points it at.
  const QString scratch = QDir::temp().filePath(QStringLiteral("setup-screenshots-%1").arg(QCoreApplication::applicationPid()));
  const std::filesystem::path scratchPath = scratch.toStdString();
  const std::filesystem::path ownFolder = QCoreApplication::applicationDirPath().toStdString();
  std::error_code ignored;
  std::filesystem::create_directories(scratchPath / kStagingFolderName, ignored);
  std::filesystem::copy_file(ownFolder / kStagedTextFile, scratchPath / kStagingFolderName / kStagedTextFile, ignored);
  ::setenv("OVNSS_REGISTRY", (scratchPath / "registry.txt").c_str(), 1);
  ov::FileRegistry registry(scratchPath / "registry.txt");
  NoRunner runner;
  NoDialogs dialogs;
  SetupPlatform platform;
  platform.registry = &registry;
  platform.folders.temp = scratchPath;
  platform.folders.programFiles = "/opt";
  platform.runner = &runner;
  platform.loadTexts = [ownFolder] { return LoadTextLibrary({ownFolder}); };
  SetupController setup(platform, dialogs, PlatformInstallList());
  setup.PrepareRegistry();
  const bool textsLoaded = setup.OpenFolderStep();

  bool ok = true;
  SplashWindow splash;
  ok = Save(splash, dir, "setup-splash") && ok;
  LanguageStep language;
  ok = Save(language, dir, "setup-language") && ok;
  FolderStep folder(setup);
  ok = Save(folder, dir, "setup-folder") && ok;

  if (const auto texts = textsLoaded ? setup.LoadProgressTexts() : std::nullopt) {
    ProgressWindow progress(setup, *texts);
    progress.ShowProgress(42);
    ok = Save(progress, dir, "setup-progress") && ok;
    progress.ShowProgress(10);  // the 5th of 40 files missing
    progress.Group()->setTitle(QString::fromUtf8(kIncomplete.data(), static_cast<int>(kIncomplete.size())));
    ok = Save(progress, dir, "setup-progress-incomplete") && ok;
  } else {
    std::fprintf(stderr, "setup-screenshots: the message library gave no texts\n");
    ok = false;
  }

  struct BoxShot {
    const char* name;
    QMessageBox::Icon icon;
    std::string_view text;
    std::string_view caption;
    bool question;
  };
  const BoxShot boxes[] = {
      {"setup-box-language-key", QMessageBox::Critical, kMsgNoLanguageKey, kCaption, false},
      {"setup-box-library", QMessageBox::Critical, kMsgLibraryMissing, kCaption, false},
      {"setup-box-module", QMessageBox::Critical, kMsgNoExport, kCaption, false},
      {"setup-box-parse", QMessageBox::Critical, kMsgTextFailed, kCaption, false},
      {"setup-box-floppy", QMessageBox::Critical, kMsgFloppy, kCaption, false},
      {"setup-box-installed", QMessageBox::Question, kMsgAlreadyInstalled, kCaption, true},
      {"setup-box-create", QMessageBox::Critical, kMsgCannotCreate, kCaption, false},
      {"setup-box-quit", QMessageBox::Question, kMsgQuit, kSetupTitle, true},
      {"setup-box-disks", QMessageBox::Critical, kMsgTooManyDisks, kSetupTitle, false},
      {"setup-box-fixcount", QMessageBox::Critical, kMsgNoDiskCounter, kPhysicalRoutineCaption, false},
      {"setup-box-completed", QMessageBox::Information, kCompleted, kCaption, false},
  };
  for (const auto& box : boxes) ok = SaveBox(dir, box.name, box.icon, box.text, box.caption, box.question) && ok;

  QDir(scratch).removeRecursively();
  return ok ? 0 : 1;
}

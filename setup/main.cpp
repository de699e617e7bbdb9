// ovnss-setup: installs OVNSS. It runs from its staging folder (the
// temporary folder + "ovsetupdir", where the launcher put it with its
// message library and text file) with the folder that holds the files to
// install as its current folder.
//
// Usage: ovnss-setup [--unattended [--language L] [--folder DIR]]
//   --unattended  installs without windows: the language (default English)
//                 and the folder below which "Orlindavestrum for NSS" is made
//                 (default: the programs folder) come from the options, every
//                 question is answered Yes, and each box is printed instead.
//
// OVNSS_OS_FAMILY=F makes it take the 9x family's path (the fixed-disk
// count) on this machine.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "disk/SectorReader.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "setup/FolderStep.h"
#include "setup/InstallList.h"
#include "setup/LanguageStep.h"
#include "setup/ProgressWindow.h"
#include "setup/QtSetupDialogs.h"
#include "setup/SetupController.h"
#include "setup/SetupTexts.h"
#include "setup/SplashWindow.h"

namespace {

char OsFamily() {
  const char* forced = std::getenv("OVNSS_OS_FAMILY");
  if (forced != nullptr && (forced[0] == 'F' || forced[0] == 'N')) return forced[0];
  return ov::DetectOsFamily();
}

// The folder of this program, where the launcher staged the message library.
std::filesystem::path OwnFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path(error) : exe.parent_path();
}

ov::setup::SetupPlatform Platform(ov::Registry& registry, ov::ProcessRunner& runner) {
  ov::setup::SetupPlatform platform;
  platform.registry = &registry;
  platform.folders = ov::KnownFolders::FromEnvironment();
  platform.runner = &runner;
  platform.osFamily = OsFamily();
  platform.loadTexts = [folder = OwnFolder()] { return ov::setup::LoadTextLibrary({folder}); };
  return platform;
}

// Boxes of an installation without windows: printed, every question Yes.
class PrintedDialogs : public ov::setup::SetupDialogs {
public:
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s [Yes]\n", caption.c_str(), text.c_str());
    return true;
  }
  void ShowError(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: error: %s\n", caption.c_str(), text.c_str());
  }
  void ShowInformation(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
};

class PrintedProgress : public ov::setup::InstallListener {
public:
  void Progress(int percent) override { std::fprintf(stderr, "\r%d %%", percent); }
  void GroupCaption(const std::string& text) override { std::fprintf(stderr, "\n%s\n", text.c_str()); }
};

// The same steps as the windows take, without them. Exit code 0 when the
// installation completed, 1 otherwise.
int Unattended(const std::string& language, const std::string& folder) {
  ov::FileRegistry registry(ov::FileRegistry::DefaultLocation());
  ov::SystemProcessRunner runner;
  PrintedDialogs dialogs;
  ov::setup::SetupController setup(Platform(registry, runner), dialogs, ov::setup::PlatformInstallList());
  setup.PrepareRegistry();
  setup.ChooseLanguage(language);
  if (!setup.OpenFolderStep()) {
    setup.Abandon();
    return 1;
  }
  if (!folder.empty()) setup.ApplyBrowsedFolder(folder);
  if (!setup.AcceptFolder() || !setup.LoadProgressTexts()) {
    setup.Abandon();
    return 1;
  }
  PrintedProgress progress;
  const auto outcome = setup.RunInstall(progress);
  if (outcome == ov::setup::InstallOutcome::Ended) setup.Abandon();
  std::fprintf(stderr, "installed in %s\n", setup.InstallFolder().c_str());
  return outcome == ov::setup::InstallOutcome::Completed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool unattended = false;
  std::string language = "English", folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unattended") == 0) {
      unattended = true;
    } else if (std::strcmp(argv[i], "--language") == 0 && i + 1 < argc) {
      language = argv[++i];
    } else if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      std::fprintf(stderr, "usage: ovnss-setup [--unattended [--language L] [--folder DIR]]\n");
      return 2;
    }
  }
  if (unattended) {
    bool known = false;
    for (std::string_view name : ov::setup::kLanguages) known = known || name == language;
    if (!known) {
      std::fprintf(stderr, "ovnss-setup: the language is one of Dutch, English, French, German\n");
      return 2;
    }
    return Unattended(language, folder);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovnss-setup"));

  ov::FileRegistry registry(ov::FileRegistry::DefaultLocation());
  ov::SystemProcessRunner runner;
  ov::setup::QtSetupDialogs dialogs;
  ov::setup::SetupController setup(Platform(registry, runner), dialogs, ov::setup::PlatformInstallList());

  // The splash thread prepares the registry and holds the splash for three
  // seconds; the window waits for it in its event loop.
  ov::setup::SplashWindow splash;
  splash.show();
  std::thread splashThread([&setup] {
    setup.PrepareRegistry();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    setup.State() = ov::setup::kStateProceed;
  });
  QEventLoop waiting;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &waiting, [&] {
    if (setup.State() != ov::setup::kStateWaiting) waiting.quit();
  });
  poll.start(20);
  waiting.exec();
  poll.stop();
  splashThread.join();
  splash.close();

  ov::setup::LanguageStep languageStep;
  if (languageStep.exec() != QDialog::Accepted) {
    setup.Abandon();
    return 0;
  }
  setup.ChooseLanguage(languageStep.Language().toStdString());
  setup.State() = ov::setup::kStateWaiting;

  if (!setup.OpenFolderStep()) {
    setup.Abandon();
    return 0;
  }
  ov::setup::FolderStep folderStep(setup);
  if (folderStep.exec() != QDialog::Accepted || setup.State() != ov::setup::kStateProceed) return 0;

  const auto texts = setup.LoadProgressTexts();
  if (!texts) {
    setup.Abandon();
    return 0;
  }
  ov::setup::ProgressWindow progress(setup, *texts);
  progress.exec();
  if (progress.Outcome() == ov::setup::InstallOutcome::Ended) setup.Abandon();
  return 0;
}

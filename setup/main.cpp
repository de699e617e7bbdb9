// ovnss-setup: installs OVNSS. It runs from its staging folder (the
// temporary folder + "ovsetupdir", where the launcher put it with its
// message library and text file) with the folder that holds the files to
// install as its current folder.
//
// Usage: ovnss-setup [--unattended [--language L] [--folder DIR] [--desktop-shortcut]]
//   --unattended  installs without windows: the language (default English)
//                 and the folder below which "Orlindavestrum for NSS" is made
//                 (default: the programs folder) come from the options, every
//                 question but the desktop shortcut's is answered Yes, and
//                 each box is printed instead.
//   --desktop-shortcut  with --unattended: keep the desktop shortcut too.
//
// Run by root, the installation is machine-wide (setup/Places.h).
//
// OVNSS_OS_FAMILY=F makes it take the 9x family's path (the fixed-disk
// count) on this machine.

#include <unistd.h>

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
#include "platform/Version.h"
#include "setup/FolderStep.h"
#include "setup/InstallList.h"
#include "setup/LanguageStep.h"
#include "setup/Places.h"
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

constexpr const char* kUsage =
    "Usage: ovnss-setup [--unattended [--language L] [--folder DIR] [--desktop-shortcut]]\n"
    "Installs Orlindavestrum for NSS from the current folder (started by ovnss-install).\n"
    "  --unattended        install without windows, answering every question Yes\n"
    "  --language L        Dutch, English (default), French or German\n"
    "  --folder DIR        the folder below which \"Orlindavestrum for NSS\" is made\n"
    "  --desktop-shortcut  with --unattended: make the desktop shortcut too\n"
    "  --help              show this text and end\n"
    "  --version           show the version and end\n"
    "Run by root, the installation serves every user of the machine. See ovnss-setup(1).\n";

ov::setup::SetupPlatform Platform(ov::Registry& registry, ov::ProcessRunner& runner,
                                  const ov::setup::SetupPlaces& places) {
  ov::setup::SetupPlatform platform;
  platform.registry = &registry;
  platform.folders = places.folders;
  platform.binFolder = places.binFolder;
  platform.runner = &runner;
  platform.osFamily = OsFamily();
  platform.loadTexts = [folder = OwnFolder()] { return ov::setup::LoadTextLibrary({folder}); };
  return platform;
}

// Boxes of an installation without windows: printed, every question Yes.
class PrintedDialogs : public ov::setup::SetupDialogs {
public:
  explicit PrintedDialogs(bool desktopShortcut) : desktopShortcut_(desktopShortcut) {}
  bool AskDesktopShortcut(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s [%s]\n", caption.c_str(), text.c_str(), desktopShortcut_ ? "Yes" : "No");
    return desktopShortcut_;
  }
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

private:
  bool desktopShortcut_;
};

// The percentage is redrawn in place on a terminal only; a log gets the
// captions alone.
class PrintedProgress : public ov::setup::InstallListener {
public:
  void Progress(int percent) override {
    if (terminal_) std::fprintf(stderr, "\r%d %%", percent);
  }
  void GroupCaption(const std::string& text) override {
    std::fprintf(stderr, terminal_ ? "\n%s\n" : "%s\n", text.c_str());
  }

private:
  bool terminal_ = ::isatty(STDERR_FILENO) != 0;
};

// The same steps as the windows take, without them. Exit code 0 when the
// installation completed, 1 otherwise.
int Unattended(const std::string& language, const std::string& folder, bool desktopShortcut) {
  const auto places = ov::setup::PlacesOfThisProcess();
  ov::FileRegistry registry(places.registryFile);
  ov::SystemProcessRunner runner;
  PrintedDialogs dialogs(desktopShortcut);
  ov::setup::SetupController setup(Platform(registry, runner, places), dialogs, ov::setup::PlatformInstallList());
  setup.PrepareRegistry();
  setup.ChooseLanguage(language);
  if (!setup.OpenFolderStep()) {
    setup.Abandon();
    return 1;
  }
  if (!folder.empty()) setup.ApplyBrowsedFolder(folder);
  const std::string wanted = setup.InstallFolder();
  if (!setup.AcceptFolder()) {
    // The box says no more; the command line names the folder and the reason.
    std::error_code error;
    std::filesystem::create_directories(wanted, error);
    std::fprintf(stderr, "ovnss-setup: cannot create the folder %s: %s\n", wanted.c_str(),
                 error ? error.message().c_str() : "it is not a folder");
    setup.Abandon();
    return 1;
  }
  if (!setup.LoadProgressTexts()) {
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
  bool unattended = false, desktopShortcut = false;
  std::string language = "English", folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("ovnss-setup %.*s\n", static_cast<int>(ov::kVersion.size()), ov::kVersion.data());
      return 0;
    } else if (std::strcmp(argv[i], "--desktop-shortcut") == 0) {
      desktopShortcut = true;
    } else if (std::strcmp(argv[i], "--unattended") == 0) {
      unattended = true;
    } else if (std::strcmp(argv[i], "--language") == 0 && i + 1 < argc) {
      language = argv[++i];
    } else if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      std::fprintf(stderr, "ovnss-setup: unknown option %s\n%s", argv[i], kUsage);
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
    return Unattended(language, folder, desktopShortcut);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovnss-setup"));

  const auto places = ov::setup::PlacesOfThisProcess();
  ov::FileRegistry registry(places.registryFile);
  ov::SystemProcessRunner runner;
  ov::setup::QtSetupDialogs dialogs;
  ov::setup::SetupController setup(Platform(registry, runner, places), dialogs, ov::setup::PlatformInstallList());

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

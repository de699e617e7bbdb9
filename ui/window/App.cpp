#include "ui/window/App.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Help.h"
#include "platform/Version.h"

#include "ui/window/Dialogs.h"
#include "ui/window/MainWindow.h"
#include "ui/window/RescueMapOffer.h"
#include "ui/window/Workers.h"

namespace ov::window {

namespace {

// The prompter exists before the session that holds it.
struct WindowParts {
  WindowPrompter prompter;
};

class WindowSession : private WindowParts, public Session {
public:
  WindowSession() : Session(WindowParts::prompter) {}
  using WindowParts::prompter;
};

constexpr const char* kWindowUsage =
    "Usage: ovnss [IMAGE]\n"
    "The recovery window of Orlindavestrum for NSS. IMAGE, a disk image file or a\n"
    "block device, is attached as the next disk.\n"
    "  --help       show this text and end\n"
    "  --open-help  open the help, as Help > Contents does, and end\n"
    "  --version    show the version and end\n"
    "See ovnss(1) and the help (Help > Contents).\n";

// Turns SIGTERM and SIGHUP into the end of the event loop: the handler only
// writes to a pipe, whose reading end the loop watches.
class EndOnSignals {
public:
  explicit EndOnSignals(QApplication& app) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    writeEnd_ = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
    struct sigaction action {};
    action.sa_handler = [](int) {
      const char byte = 1;
      [[maybe_unused]] const auto put = ::write(writeEnd_, &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  }
  ~EndOnSignals() {
    if (!notifier_) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int signal : {SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
  }
  EndOnSignals(const EndOnSignals&) = delete;
  EndOnSignals& operator=(const EndOnSignals&) = delete;

private:
  static inline int writeEnd_ = -1;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

// --open-help: the help of the installation, opened as Help > Contents opens
// it, without the window; says which file to open when nothing opens it.
int OpenInstalledHelp() {
  FileRegistry registry = FileRegistry::UserAndMachine();
  const auto installPath = InstalledPath(registry);
  if (!installPath) {
    std::fprintf(stderr, "ovnss: %.*s\n", static_cast<int>(kNotInstalled.size()), kNotInstalled.data());
    return 1;
  }
  SystemProcessRunner runner;
  const auto chm = HelpContentsFile(*installPath);
  if (OpenHelpFile(runner, chm, DesktopOpensChm())) return 0;
  std::error_code ec;
  const auto page = HelpHtmlPage(chm);
  const auto shown = std::filesystem::is_regular_file(page, ec) ? page : chm;
  std::fprintf(stderr, "ovnss: %s\n", HelpNotOpenedText(shown).c_str());
  return 1;
}

}  // namespace

int RunWindow(int argc, char** argv) {
  // Asked for its version or usage, the program answers on standard output
  // and ends, without a display and without touching anything.
  if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    if (std::strcmp(argv[1], "--version") == 0) {
      std::printf("ovnss %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
    } else {
      std::fputs(kWindowUsage, stdout);
    }
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--open-help") == 0) return OpenInstalledHelp();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovnss"));
  const QString title = QString::fromLatin1(kProductTitle.data(), static_cast<int>(kProductTitle.size()));

  // The run reads the installation from the registry it works with, the
  // user's values over the machine-wide ones, as every program does.
  WindowSession session;
  const auto installPath = InstalledPath(session.registry);
  if (!installPath) {
    QMessageBox::critical(nullptr, title, QString::fromLatin1(kNotInstalled.data(), static_cast<int>(kNotInstalled.size())));
    return 0;
  }

  try {
    // A disk image named on the command line is attached as the next disk,
    // through the ddrescue map beside it when the user wants.
    if (argc > 1) {
      const std::filesystem::path image(argv[1]);
      OfferRescueMap(session, image, [](const QString& q) { return ConfirmDialog::Ask(q, nullptr); });
      session.Inventory(image);
    } else {
      session.Inventory();
    }
  } catch (const Failure& f) {
    session.rescueMap.clear();
    QMessageBox::critical(nullptr, title, QString::fromStdString(f.what()));
    if (argc > 1) {
      try {
        session.Inventory();
      } catch (const Failure&) {
        return 1;
      }
    } else {
      return 1;
    }
  }
  session.rescueMap.clear();
  MainWindow window(session, *installPath);
  window.show();
  // SIGTERM and SIGHUP (a logout, `kill`) end the window as Exit does.
  EndOnSignals ending(app);
  const int code = app.exec();
  if (window.wizard().workerRunning()) {
    // Exit while a worker runs ends the program at once; nothing of the
    // worker's is written to the source disk, and the log is closed after
    // every line. The run's folder goes all the same.
    std::fflush(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(session.runFolder.path(), ignored);
    std::_Exit(code);
  }
  return code;
}

}  // namespace ov::window

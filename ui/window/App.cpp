#include "ui/window/App.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

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

}  // namespace

int RunWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovnss"));
  const QString title = QString::fromLatin1(kProductTitle.data(), static_cast<int>(kProductTitle.size()));

  FileRegistry registry(FileRegistry::DefaultLocation());
  const auto installPath = InstalledPath(registry);
  if (!installPath) {
    QMessageBox::critical(nullptr, title, QString::fromLatin1(kNotInstalled.data(), static_cast<int>(kNotInstalled.size())));
    return 0;
  }

  WindowSession session;
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
  const int code = app.exec();
  if (window.wizard().workerRunning()) {
    // Exit while a worker runs ends the program at once; nothing of the
    // worker's is written to the source disk, and the log is closed after
    // every line.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

}  // namespace ov::window

// window-commands-screenshots: drives the real window on the sample disk
// through its saving, settings, recovery-information and raw-form commands
// and writes a PNG of each dialog as it comes up, and of the raw form
// before, during and after a scan, into DIR.
// Usage: window-commands-screenshots DIR

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QTreeWidget>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/dialogs/ReplaceFileDialog.h"
#include "ui/dialogs/SaveFlow.h"
#include "ui/dialogs/SavingDialog.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/SizeCalculationDialog.h"
#include "ui/dialogs/WaitDialog.h"
#include "ui/dialogs/WriteErrorDialog.h"
#include "ui/window/Dialogs.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ShotHome.h"
#include "ui/window/Workers.h"

using namespace ov;
using namespace ov::window;

namespace {

QString gDir;
bool gOk = true;
std::set<std::string> gShot;

void Save(QWidget* w, const char* name) {
  QApplication::processEvents();
  if (!w->grab().save(gDir + QLatin1Char('/') + QString::fromLatin1(name))) {
    std::fprintf(stderr, "window-commands-screenshots: cannot write %s\n", name);
    gOk = false;
  }
  gShot.insert(name);
}
void SaveOnce(QWidget* w, const char* name) {
  if (!gShot.count(name)) Save(w, name);
}

bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

QPushButton* Button(QWidget* w, const char* text) {
  for (auto* b : w->findChildren<QPushButton*>()) {
    if (b->text() == QLatin1String(text)) return b;
  }
  return nullptr;
}
void Click(QWidget* w, const char* text) {
  if (QPushButton* b = Button(w, text)) b->click();
}

struct WindowParts {
  ov::window::WindowPrompter prompter;
};
struct ShotSession : WindowParts, Session {
  ShotSession() : Session(WindowParts::prompter) {}
};

QTreeWidgetItem* Child(QTreeWidget* t, int i) {
  QTreeWidgetItem* root = t ? t->topLevelItem(0) : nullptr;
  return root && i < root->childCount() ? root->child(i) : nullptr;
}

// Every modal window of the commands, pictured once and answered: the
// destination typed, the replace question answered "Yes to &All", the
// write error skipped, the confirmations "&No", the messages closed.
void AnswerModals(QMainWindow* window, const std::string& destination, Prompter& prompter) {
  auto* timer = new QTimer(window);
  QObject::connect(timer, &QTimer::timeout, [window, destination, &prompter] {
    // A picture that waits for painting runs events: not again meanwhile.
    static bool answering = false;
    if (answering) return;
    const QScopedValueRollback<bool> busy(answering, true);
    QWidget* up = QApplication::activeModalWidget();
    if (!up || !up->isVisible()) return;
    if (auto* fileSaving = qobject_cast<FileSavingDialog*>(up)) {
      fileSaving->findChild<QLineEdit*>(QStringLiteral("destination"))->setText(QString::fromStdString(destination));
      SaveOnce(fileSaving, "window-file-saving.png");
      Click(fileSaving, "&OK");
    } else if (auto* settings = qobject_cast<SettingsDialog*>(up)) {
      Save(settings, "window-settings.png");
      settings->reject();
    } else if (auto* d = qobject_cast<ReplaceFileDialog*>(up)) {
      // The first questions are answered "&Yes"; at the fourth the
      // "Saving" window, given time to paint, is in mid-save.
      static int asked = 0;
      if (++asked < 4) return Click(d, "&Yes");
      if (auto* saving = qobject_cast<SavingDialog*>(d->parentWidget())) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);
        Save(saving, "window-saving.png");
        if (!gShot.count("window-calculating-file-size.png")) {
          // The count of so small a folder ended before its window could
          // come up: the window as it stands over the same "Saving" window.
          std::atomic<std::uint32_t> files{7};
          std::atomic<bool> stop{false};
          SizeCalculationDialog counting(files, stop, prompter, saving);
          Save(&counting, "window-calculating-file-size.png");
        }
      }
      Save(d, "window-replace.png");
      Click(d, "Yes to &All");
    } else if (auto* error = qobject_cast<WriteErrorDialog*>(up)) {
      Save(error, "window-write-error.png");
      Click(error, "&Skip");
    } else if (auto* confirm = qobject_cast<ConfirmDialog*>(up)) {
      Save(confirm, "window-map-offer.png");
      confirm->yesButton()->click();
    } else if (auto* bad = qobject_cast<BadSectorDialog*>(up)) {
      // The raw scan waits at the stretch the rescue did not read, its
      // reports painted.
      QElapsedTimer t;
      t.start();
      while (t.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);
      Save(window, "window-raw-form-during.png");
      bad->button(BadSectorChoice::SkipAll)->click();
    } else if (auto* box = qobject_cast<QMessageBox*>(up)) {
      box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->buttons().front()->click();
    }
  });
  timer->start(20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-commands-screenshots DIR\n");
    return 2;
  }
  gDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(gDir);
  const std::string home = PrepareShotHome("window-commands-screenshots");
  QApplication app(argc, argv);
  int code = 0;
  {
    ShotSession session;
    session.Inventory(std::filesystem::path(OVNSS_SAMPLE_DISK));
    MainWindow window(session, OVNSS_BIN_DIR);
    Wizard& w = window.wizard();
    w.confirm = [&](const QString& q) { return ConfirmDialog::Ask(q, &window); };
    window.show();
    const std::filesystem::path out = std::filesystem::path(home) / "saved";
    AnswerModals(&window, out.string(), session.Session::prompter);
    auto pickDisk = [&](const std::filesystem::path& image) {
      const auto name = session.DiskNameOf(image);
      QTreeWidgetItem* root = w.diskTree()->topLevelItem(0);
      for (int i = 0; root && name && i < root->childCount(); ++i) {
        if (root->child(i)->text(0).toStdString() == *name) w.ClickDisk(root->child(i));
      }
    };

    // The directory tree of the first volume, its first folders ticked.
    pickDisk(OVNSS_SAMPLE_DISK);
    w.ChooseMode(RecoveryMode::Quick);
    w.Next();
    w.ClickPool(Child(w.poolTree(), 0));
    w.Next();
    w.ClickVolume(Child(w.volumeTree(), 0));
    w.Next();
    WaitUntil([&] { return w.step() == 3; });
    FolderTreeModel& folders = w.folderModel();
    const QModelIndex root = folders.IndexOf(kRootItem);
    for (int i = 0; i < 3 && i < folders.rowCount(root); ++i) {
      folders.setData(folders.index(i, 0, root), Qt::Checked, Qt::CheckStateRole);
    }

    window.elements().command(kCmdSaveSettings)->trigger();
    window.later().onSave = [](SaveFlow& flow) {
      flow.onCounting = [](SizeCalculationDialog& d) { SaveOnce(&d, "window-calculating-file-size.png"); };
    };
    window.elements().command(kCmdSave)->trigger();
    // Saved again: each file is there already, and one has become a folder
    // that cannot be written over.
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
      if (!e.is_regular_file()) continue;
      const auto path = e.path();
      std::filesystem::remove(path);
      std::filesystem::create_directories(path / "in the way");
      break;
    }
    window.elements().command(kCmdSave)->trigger();

    window.later().fileDialogs.chooseSave = [&](QWidget*) { return QString::fromStdString(home + "/run"); };
    window.elements().command(kCmdSaveLog)->trigger();
    window.later().fileDialogs.chooseOpen = [&](QWidget*) { return QStringList{QString::fromStdString(home + "/RUN.SAV")}; };
    window.later().onLoading = [] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* wait = qobject_cast<WaitDialog*>(top); wait && wait->isVisible()) Save(wait, "window-wait.png");
      }
    };
    window.elements().command(kCmdLoadLog)->trigger();

    // Back to the disk step. A copy of the sample disk, as a rescue left it
    // with a few sectors of its documents unread, with its map beside it.
    for (int i = 0; i < 3; ++i) w.Back();
    const std::filesystem::path copy = std::filesystem::path(home) / "rescued.img";
    std::filesystem::copy_file(OVNSS_SAMPLE_DISK, copy);
    const std::uint64_t hole = 110000 * 512ull, holeEnd = hole + 16 * 512, size = std::filesystem::file_size(copy);
    std::ofstream(copy.string() + ".map") << "# Mapfile\n0 +\n0 " << hole << " +\n" << hole << " " << holeEnd - hole
                                          << " ?\n" << holeEnd << " " << size - holeEnd << " +\n";
    w.AttachImage(QString::fromStdString(copy.string()));

    // The Raw form on the copy.
    pickDisk(copy);
    w.ChooseMode(RecoveryMode::Raw);
    w.Next();
    RawFormPanel* raw = window.rawForm();
    auto* kinds = raw->findChild<QTreeWidget*>(QStringLiteral("kinds"));
    for (int k = 0; k < kinds->topLevelItemCount(); ++k) kinds->topLevelItem(k)->setCheckState(0, Qt::Checked);
    Save(&window, "window-raw-form-before.png");
    raw->Press();
    WaitUntil([&] { return !raw->scanning(); }, 60000);
    Save(&window, "window-raw-form-after.png");

    for (const char* name : {"window-file-saving.png", "window-settings.png", "window-calculating-file-size.png",
                             "window-saving.png", "window-replace.png",
                             "window-write-error.png", "window-wait.png", "window-raw-form-before.png",
                             "window-raw-form-during.png", "window-raw-form-after.png", "window-map-offer.png"}) {
      if (!gShot.count(name)) {
        std::fprintf(stderr, "window-commands-screenshots: %s was not taken\n", name);
        gOk = false;
      }
    }
    w.confirm = [](const QString&) { return true; };
    code = gOk ? 0 : 1;
  }
  std::filesystem::remove_all(home);
  return code;
}

// The window's save and raw scan, driven as a user would on the offscreen
// platform: `save IMAGE DEST` opens the image's first volume, ticks the
// root and saves it through "File Saving"; `raw IMAGE DEST` scans the whole
// image for the four kinds from the Raw form. Prints the command's own time
// in milliseconds, from "&OK" in "File Saving" to the end of the work;
// bench/window-commands-bench.sh compares it, and the whole program's time,
// with ovnss-cli doing the same.
// Usage: ovnss-window-commands-bench save|raw IMAGE DEST

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/window/MainWindow.h"
#include "ui/window/Workers.h"

using namespace ov;
using namespace ov::window;

namespace {

struct Parts {
  ov::window::WindowPrompter prompter;
};
struct BenchSession : Parts, Session {
  BenchSession() : Session(Parts::prompter) {}
};

// Sleeps in an event loop, as the window does, until `signal` of `sender`
// comes (a loop of processEvents would spin and take the pinned CPU from
// the worker).
template <typename Sender, typename Signal>
void WaitFor(Sender* sender, Signal signal, const std::function<bool()>& done) {
  QEventLoop loop;
  QObject::connect(sender, signal, &loop, [&] {
    if (done()) loop.quit();
  });
  if (!done()) loop.exec();
}

QTreeWidgetItem* Child(QTreeWidget* t, int i) {
  QTreeWidgetItem* root = t ? t->topLevelItem(0) : nullptr;
  return root && i < root->childCount() ? root->child(i) : nullptr;
}

// Types the destination into "File Saving" and presses "&OK" once it is
// up; the command's own work is timed from there.
void AnswerDestination(QObject* owner, const std::filesystem::path& dest, QElapsedTimer& clock) {
  auto* timer = new QTimer(owner);
  QObject::connect(timer, &QTimer::timeout, [timer, dest, &clock] {
    auto* d = qobject_cast<FileSavingDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    timer->stop();
    d->findChild<QLineEdit*>(QStringLiteral("destination"))->setText(QString::fromStdString(dest.string()));
    clock.start();
    d->findChild<QPushButton*>(QStringLiteral("ok"))->click();
  });
  timer->start(5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[1]) != "save" && std::string(argv[1]) != "raw")) {
    std::fprintf(stderr, "usage: ovnss-window-commands-bench save|raw IMAGE DEST\n");
    return 2;
  }
  const bool save = std::string(argv[1]) == "save";
  QApplication app(argc, argv);
  const std::filesystem::path image = std::filesystem::absolute(argv[2]);
  const std::filesystem::path dest = std::filesystem::absolute(argv[3]);
  BenchSession session;
  session.Inventory(image);
  MainWindow window(session, std::filesystem::path(argv[0]).parent_path());
  window.show();
  Wizard& w = window.wizard();
  w.confirm = [](const QString&) { return true; };
  const auto name = session.DiskNameOf(image);
  QTreeWidgetItem* root = w.diskTree()->topLevelItem(0);
  for (int i = 0; name && i < root->childCount(); ++i) {
    if (root->child(i)->text(0).toStdString() == *name) w.ClickDisk(root->child(i));
  }
  QElapsedTimer clock;
  if (save) {
    w.ChooseMode(RecoveryMode::Quick);
    w.Next();
    w.ClickPool(Child(w.poolTree(), 0));
    w.Next();
    w.ClickVolume(Child(w.volumeTree(), 0));
    w.Next();
    WaitFor(&w, &Wizard::stepChanged, [&] { return w.step() == 3; });
    FolderTreeModel& folders = w.folderModel();
    folders.setData(folders.IndexOf(kRootItem), Qt::Checked, Qt::CheckStateRole);
    AnswerDestination(&window, dest, clock);
    w.SaveButton();
  } else {
    w.ChooseMode(RecoveryMode::Raw);
    w.Next();
    RawFormPanel* raw = window.rawForm();
    auto* kinds = raw->findChild<QTreeWidget*>(QStringLiteral("kinds"));
    for (int k = 0; k < kinds->topLevelItemCount(); ++k) kinds->topLevelItem(k)->setCheckState(0, Qt::Checked);
    AnswerDestination(&window, dest, clock);
    raw->Press();
    WaitFor(raw, &RawFormPanel::scanEnded, [&] { return !raw->scanning(); });
  }
  std::printf("%s %lld ms\n", argv[1], static_cast<long long>(clock.elapsed()));
  return 0;
}

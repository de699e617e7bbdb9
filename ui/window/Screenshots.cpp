// window-screenshots: drives the real window on the sample disk and writes a
// PNG of each of its views and dialogs into DIR.
// Usage: window-screenshots DIR

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ui/window/Dialogs.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ShotHome.h"
#include "ui/window/Workers.h"
#include "widgets/PercentProgressBar.h"

using namespace ov;
using namespace ov::window;

namespace {

QString gDir;
bool gOk = true;

void Save(QWidget* w, const char* name) {
  QApplication::processEvents();
  if (!w->grab().save(gDir + QLatin1Char('/') + QString::fromLatin1(name))) {
    std::fprintf(stderr, "window-screenshots: cannot write %s\n", name);
    gOk = false;
  }
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

// Grabs the next modal dialog once it is up, then lets `answer` close it.
void WhenModal(const char* name, std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, name, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    timer->stop();
    timer->deleteLater();
    Save(modal, name);
    answer(modal);
  });
  timer->start(20);
}

struct WindowParts {
  ov::window::WindowPrompter prompter;
};
struct ShotSession : WindowParts, Session {
  ShotSession() : Session(WindowParts::prompter) {}
  using WindowParts::prompter;
};

QTreeWidgetItem* Child(QTreeWidget* t, int i) {
  QTreeWidgetItem* root = t ? t->topLevelItem(0) : nullptr;
  return root && i < root->childCount() ? root->child(i) : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshots DIR\n");
    return 2;
  }
  gDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(gDir);
  const std::string home = PrepareShotHome("window-screenshots");
  QApplication app(argc, argv);
  int code = 0;
  {
    ShotSession session;
    session.Inventory(std::filesystem::path(OVNSS_SAMPLE_DISK));
    MainWindow window(session, OVNSS_BIN_DIR);
    Wizard& w = window.wizard();
    w.confirm = [](const QString&) { return true; };
    window.show();
    QApplication::processEvents();

    auto pickDisk = [&] {
      const auto name = session.DiskNameOf(OVNSS_SAMPLE_DISK);
      QTreeWidgetItem* root = w.diskTree()->topLevelItem(0);
      for (int i = 0; root && name && i < root->childCount(); ++i) {
        if (root->child(i)->text(0).toStdString() == *name) {
          w.diskTree()->setCurrentItem(root->child(i));
          w.ClickDisk(root->child(i));
        }
      }
    };
    pickDisk();
    Save(&window, "window-step0-disk-picked.png");

    w.ChooseMode(RecoveryMode::Quick);
    w.Next();
    w.poolTree()->setCurrentItem(Child(w.poolTree(), 0));
    w.ClickPool(Child(w.poolTree(), 0));
    Save(&window, "window-step1-quick-pools.png");

    w.Next();
    w.volumeTree()->setCurrentItem(Child(w.volumeTree(), 0));
    w.ClickVolume(Child(w.volumeTree(), 0));
    Save(&window, "window-step2-volumes.png");

    w.Next();
    WaitUntil([&] { return w.step() == 3; });
    // Tick the first folder, open the second.
    FolderTreeModel& folders = w.folderModel();
    const QModelIndex root = folders.IndexOf(kRootItem);
    if (folders.rowCount(root) > 0) folders.setData(folders.index(0, 0, root), Qt::Checked, Qt::CheckStateRole);
    const QModelIndex open = folders.index(folders.rowCount(root) > 1 ? 1 : 0, 0, root);
    w.ShowFolder(FolderTreeModel::HandleOf(open), true);
    Save(&window, "window-step3-directory-tree.png");

    // Find: a part of a name typed into the box, the matches listed, the
    // first one ticked for saving.
    window.findBox()->setText(QStringLiteral("e"));
    emit window.findBox()->returnPressed();
    if (FindWindow* finder = window.finder()) {
      WaitUntil([&] { return !finder->searching(); });
      if (finder->model().rowCount() > 0) finder->model().setData(finder->model().index(0, 0), Qt::Checked, Qt::CheckStateRole);
      Save(finder, "window-find.png");
      finder->close();
    }

    // The Advance search, caught while it runs.
    w.Back();
    w.Back();
    w.Back();
    pickDisk();
    w.ChooseMode(RecoveryMode::Advance);
    w.Next();
    auto* bar = window.elements().as<PercentProgressBar>(kSearchProgress);
    WaitUntil([&] { return !w.workerRunning() || bar->position() > 0; });
    Save(&window, "window-advance-search-running.png");
    WaitUntil([&] { return !w.workerRunning() && w.step() == 1; });

    w.SearchMorePartitions();
    WaitUntil([&] { return !w.workerRunning(); });
    QApplication::processEvents();
    Save(&window, "window-search-more-partitions-done.png");

    // A worker's bad-sector question, shown while the worker waits.
    std::atomic<BadSectorChoice> answer{BadSectorChoice::Retry};
    WhenModal("window-bad-sector.png", [](QWidget* d) {
      if (auto* dialog = qobject_cast<BadSectorDialog*>(d)) dialog->button(BadSectorChoice::SkipAll)->click();
    });
    std::thread asker([&] { answer = session.prompter.AskBadSector(); });
    WaitUntil([&] { return answer.load() == BadSectorChoice::SkipAll; });
    asker.join();

    // Two disks of one server picked together, and the pool that grew from
    // the first onto the second with the disk of each segment.
    w.Back();
    session.Inventory(std::filesystem::path(OVNSS_SAMPLE_POOL_DISK_1));
    session.Inventory(std::filesystem::path(OVNSS_SAMPLE_POOL_DISK_2));
    w.ListDisks();
    QTreeWidgetItem* disks = w.diskTree()->topLevelItem(0);
    for (int i = 0; disks && i < disks->childCount(); ++i) {
      const std::string text = disks->child(i)->text(0).toStdString();
      for (const char* image : {OVNSS_SAMPLE_POOL_DISK_1, OVNSS_SAMPLE_POOL_DISK_2}) {
        if (session.DiskNameOf(image) == text) disks->child(i)->setSelected(true);
      }
    }
    if (!w.diskTree()->selectedItems().isEmpty()) w.ClickDisk(w.diskTree()->selectedItems().back());
    Save(&window, "window-step0-two-disks-picked.png");
    w.ChooseMode(RecoveryMode::Quick);
    w.Next();
    if (QTreeWidgetItem* span = Child(w.poolTree(), 1)) {
      w.poolTree()->setCurrentItem(span);
      w.ClickPool(span);
    }
    Save(&window, "window-step1-pool-segments.png");

    WhenModal("window-about.png", [](QWidget* d) { qobject_cast<QDialog*>(d)->accept(); });
    window.ShowAbout();

    w.confirm = [&](const QString& q) { return ConfirmDialog::Ask(q, &window); };
    WhenModal("window-exit-confirmation.png", [](QWidget* d) {
      if (auto* dialog = qobject_cast<ConfirmDialog*>(d)) dialog->noButton()->click();
    });
    w.Exit();
    code = gOk ? 0 : 1;
  }
  std::filesystem::remove_all(home);
  return code;
}

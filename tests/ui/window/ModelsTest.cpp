#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <thread>

#include "ui/window/Dialogs.h"
#include "WindowFixture.h"

namespace ov::window::test {
namespace {

// A tree built by hand: Root -> A (a.doc, b.txt) -> B; Root -> C; and 5000
// files in C.
void Fill(RecoveryTree& t) {
  t.AddFolderNode("A", 10, 0, 0, 0);
  t.AddFolderNode("B", 11, 10, 1, 0);
  t.AddFolderNode("C", 12, 0, 2, 0);
  t.AddFileNode("a.doc", 100, 10, 0, 1, 1, 10, 0);
  t.AddFileNode("b.txt", 101, 10, 1, 2, 1, 20, 0);
  for (std::uint32_t i = 0; i < 5000; ++i) t.AddFileNode("f" + std::to_string(i), 200 + i, 12, 2 + i, 3, 1, 1, 0);
  t.BuildFolderTree();
}

TEST(FolderTreeModel, OverTheTreeItemsWithTriStateChecks) {
  RecoveryTree t;
  Fill(t);
  ImageLists images;
  FolderTreeModel m(t, images);
  EXPECT_EQ(m.rowCount(), 0);  // nothing until the tree is built
  m.Reset();
  ASSERT_EQ(m.rowCount(), 1);
  const QModelIndex root = m.index(0, 0);
  EXPECT_EQ(m.data(root, Qt::DisplayRole).toString(), "Root");
  ASSERT_EQ(m.rowCount(root), 2);
  const QModelIndex a = m.index(0, 0, root);
  const QModelIndex b = m.index(0, 0, a);
  EXPECT_EQ(m.data(b, Qt::DisplayRole).toString(), "B");
  EXPECT_EQ(m.parent(b), a);
  EXPECT_EQ(m.parent(a), root);
  EXPECT_EQ(m.IndexOf(FolderTreeModel::HandleOf(b)), b);
  // Ticking B ticks the nodes below it and makes its ancestors partly ticked
  // or ticked as the core decides.
  m.setData(b, Qt::Checked, Qt::CheckStateRole);
  EXPECT_EQ(m.data(b, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(m.data(a, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(m.data(root, Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
  m.setData(root, Qt::Checked, Qt::CheckStateRole);  // partly ticked -> unticked
  EXPECT_EQ(m.data(a, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  m.setData(root, Qt::Checked, Qt::CheckStateRole);
  EXPECT_TRUE(t.files()[0].selected);
  // At most a few bytes per folder beyond the core's own.
  EXPECT_LE(m.HeldBytes(), 16 * t.ItemCount());
  m.Detach();
  EXPECT_EQ(m.rowCount(), 0);
}

TEST(FileListModel, FoldersThenFilesInBatches) {
  RecoveryTree t;
  Fill(t);
  ImageLists images;
  FileListModel m(t, images);
  m.Show(10);
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.data(m.index(0, 0), Qt::DisplayRole).toString(), "B");
  EXPECT_EQ(m.data(m.index(0, 1), Qt::DisplayRole).toString(), "Folder");
  EXPECT_EQ(m.data(m.index(1, 1), Qt::DisplayRole).toString(), "Microsoft Word File");
  EXPECT_EQ(m.data(m.index(2, 1), Qt::DisplayRole).toString(), "Text File");
  EXPECT_EQ(m.data(m.index(2, 2), Qt::DisplayRole).toString(), "20");
  EXPECT_EQ(m.data(m.index(2, 5), Qt::DisplayRole).toString(), "1");
  EXPECT_EQ(m.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Date");
  m.Show(12);
  EXPECT_EQ(m.totalRows(), 5000);
  EXPECT_EQ(m.rowCount(), FileListModel::kBatch);
  while (m.canFetchMore({})) m.fetchMore({});
  EXPECT_EQ(m.rowCount(), 5000);
  EXPECT_EQ(m.data(m.index(4999, 0), Qt::DisplayRole).toString(), "f4999");
  EXPECT_LE(m.HeldBytes(), 16u * 5000u);
}

TEST(SearchReports, CoalescedOnTheWindowThread) {
  SearchReports reports;
  int last = -1, deliveries = 0;
  QStringList names;
  bool onWindowThread = true;
  QObject::connect(&reports, &SearchReports::progress, [&](int p) {
    last = p;
    ++deliveries;
    onWindowThread &= QThread::currentThread() == qApp->thread();
  });
  QObject::connect(&reports, &SearchReports::itemsAdded, [&](const QStringList& n) { names += n; });
  std::thread worker([&] {
    for (int i = 0; i <= 100'000; ++i) reports.OnProgress(i % 101);
    for (int i = 0; i < 3; ++i) reports.OnPartitionFound({"Mac Partition " + std::to_string(i), 1, 2});
    reports.Flush();
  });
  worker.join();
  WaitUntil([&] { return names.size() == 3; });
  QApplication::processEvents();
  EXPECT_EQ(last, 100'000 % 101);
  EXPECT_LT(deliveries, 1000);
  EXPECT_TRUE(onWindowThread);
  EXPECT_EQ(names, QStringList({"Mac Partition 0", "Mac Partition 1", "Mac Partition 2"}));
}

TEST(WindowPrompter, BadSectorAnswerReachesTheWaitingWorker) {
  WindowPrompter prompter;
  QString title, text;
  bool retryIsDefault = false;
  std::atomic<int> answer{-1};
  int answerWhileShown = 0;
  // The dialog runs its own loop on this thread; a timer inside it answers.
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<BadSectorDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer.stop();
    title = dialog->windowTitle();
    text = dialog->findChildren<QLabel*>().value(0)->text();
    retryIsDefault = dialog->button(BadSectorChoice::Retry)->isDefault();
    answerWhileShown = answer.load();
    dialog->button(BadSectorChoice::SkipAll)->click();
  });
  timer.start(10);
  std::thread worker([&] { answer = static_cast<int>(prompter.AskBadSector()); });
  ASSERT_TRUE(WaitUntil([&] { return answer.load() != -1; }));
  worker.join();
  EXPECT_EQ(answerWhileShown, -1);  // the worker waited for the answer
  EXPECT_EQ(answer.load(), static_cast<int>(BadSectorChoice::SkipAll));
  EXPECT_EQ(title, "Bad Sector Encountered");
  EXPECT_EQ(text.toStdString(), kBadSectorText);
  EXPECT_TRUE(retryIsDefault);
}

TEST(Elements, RefuseChangesFromAnotherThread) {
  Elements e;
  QLabel label;
  e.Add(kStatusLine, &label);
  const int before = Elements::foreignThreadCalls();
  std::thread worker([&] {
    e.ShowView(1, RecoveryMode::Quick);
    e.Apply({Change::SetText, kStatusLine, When::Always, "x"}, RecoveryMode::Quick);
  });
  worker.join();
  EXPECT_EQ(Elements::foreignThreadCalls(), before + 2);
  EXPECT_TRUE(label.text().isEmpty());
}

TEST(ConfirmDialog, TitleButtonsAndDefault) {
  ConfirmDialog d("          Do you want to stop the current process ?", nullptr);
  EXPECT_EQ(d.windowTitle(), "Orlindavestrum for NSS");
  EXPECT_EQ(d.yesButton()->text(), "&Yes");
  EXPECT_EQ(d.noButton()->text(), "&No");
  EXPECT_TRUE(d.yesButton()->isDefault());
  EXPECT_EQ(d.text()->text(), "          Do you want to stop the current process ?");
}

using ListBehaviour = WindowFixture;

TEST_F(ListBehaviour, ShowFolderFromTheListFollowsInTheTree) {
  ToTree();
  FileListModel& list = wizard().fileModel();
  ASSERT_TRUE(list.IsFolder(0));
  const ItemHandle item = list.Node(0).treeItem;
  wizard().ActivateRow(0, false);
  EXPECT_EQ(session->tree.currentFolderItem, item);
  EXPECT_EQ(el().as<QLabel>(kPathText)->text(), "\\" + QString::fromLatin1(session->tree.ItemPath(item)));
  EXPECT_EQ(FolderTreeModel::HandleOf(wizard().folderTree()->currentIndex()), item);
  EXPECT_TRUE(wizard().folderTree()->hasFocus() || !window->isActiveWindow());
}

}  // namespace
}  // namespace ov::window::test

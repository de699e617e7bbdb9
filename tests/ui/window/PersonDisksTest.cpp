// Pools that lie on several disks of a server: the disks picked together in
// the disk tree (Ctrl+click, Shift+click, or several files in "Open Disk
// Image"), the pools with the disk of each segment, what the window says
// when the disks do not give a pool whole, and the save that leaves out
// what a disk not given holds.

#include <QMimeData>
#include <QTimer>

#include "Person.h"
#include "support/Files.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/window/RunDisks.h"

namespace ov::window::test {
namespace {

const std::filesystem::path kDisk1 = OVNSS_SAMPLE_POOL_DISK_1;
const std::filesystem::path kDisk2 = OVNSS_SAMPLE_POOL_DISK_2;

class PersonDisks : public Person {
protected:
  // Attaches images as the disk list shows them after "Open Disk Image".
  void Attach(const std::vector<std::filesystem::path>& images) {
    for (const auto& image : images) session->Inventory(image);
    wizard().ListDisks();
  }
  QModelIndex DiskItem(const std::filesystem::path& image) {
    const auto name = session->DiskNameOf(image);
    return name ? ChildNamed(wizard().diskTree(), QString::fromStdString(*name)) : QModelIndex();
  }
  // A click on the first disk, Ctrl+click on the others.
  void PickTogether(const std::vector<std::filesystem::path>& images) {
    for (std::size_t i = 0; i < images.size(); ++i) {
      ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), DiskItem(images[i]), false, Qt::LeftButton,
                                    i ? Qt::ControlModifier : Qt::NoModifier));
    }
  }
  // The rows of the details list, as read on the screen.
  QStringList DetailsRows() {
    QStringList rows;
    QAbstractItemModel* m = wizard().detailsList()->model();
    for (int r = 0; r < m->rowCount(); ++r) rows << m->index(r, 0).data().toString();
    return rows;
  }
  QStringList PoolItems() {
    QStringList items;
    const QModelIndex root = wizard().poolTree()->model()->index(0, 0);
    for (int i = 0; i < wizard().poolTree()->model()->rowCount(root); ++i) {
      items << wizard().poolTree()->model()->index(i, 0, root).data().toString();
    }
    return items;
  }
  // Quick and "&Next" with the disks picked; the boxes that come up are
  // answered and their texts kept.
  void QuickNext(QStringList* boxes = nullptr) {
    ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
    if (boxes) {
      screen.WhenModal([boxes](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) boxes->append(box->text()), box->buttons().front()->click();
        return box != nullptr;
      });
    }
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  }
};

TEST_F(PersonDisks, TwoDisksPickedTogetherReadThePoolThatGrewOntoTheSecond) {
  Attach({kDisk1, kDisk2});
  PickTogether({kDisk1, kDisk2});
  EXPECT_EQ(wizard().diskTree()->selectedItems().size(), 2);
  const QStringList picked = DetailsRows();
  ASSERT_EQ(picked.size(), 3) << picked.join('\n').toStdString();
  EXPECT_EQ(picked[0], "Disks selected : 2");
  EXPECT_TRUE(picked[1].startsWith(QString::fromStdString(*session->DiskNameOf(kDisk1)) + "   :  "));
  EXPECT_TRUE(picked[1].endsWith(", 24 MB")) << picked[1].toStdString();
  EXPECT_TRUE(picked[2].endsWith(", 16 MB")) << picked[2].toStdString();
  QuickNext();
  ASSERT_EQ(wizard().step(), 1);
  EXPECT_EQ(session->discovery().layout().size(), 2u);
  // Both disks give every pool whole: nothing is marked.
  EXPECT_EQ(PoolItems(), QStringList({"ARCHIVE", "SPAN"}));
  ASSERT_TRUE(Screen::ClickItem(wizard().poolTree(), ChildNamed(wizard().poolTree(), "SPAN")));
  const QStringList rows = DetailsRows();
  ASSERT_EQ(rows.size(), 5) << rows.join('\n').toStdString();
  EXPECT_TRUE(rows[0].startsWith("Pool Name   :  SPAN"));
  EXPECT_TRUE(rows[2].startsWith("Segment 0   :  disk 1 (") && rows[2].contains("sample-pool-disk-1.img"))
      << rows[2].toStdString();
  EXPECT_TRUE(rows[3].startsWith("Segment 1   :  disk 2 (") && rows[3].contains("sample-pool-disk-2.img"))
      << rows[3].toStdString();
  EXPECT_TRUE(rows[4].startsWith("Segment 2   :  disk 1 (")) << rows[4].toStdString();
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_EQ(wizard().step(), 2);
  ASSERT_TRUE(Screen::ClickItem(wizard().volumeTree(), Child(wizard().volumeTree(), 0)));
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  // Projects\2004 lies on the second disk.
  const RecoveryTree& tree = session->tree;
  bool found = false;
  for (const auto& f : tree.files()) found = found || f.name() == "kickoff.doc";
  EXPECT_TRUE(found);
}

TEST_F(PersonDisks, ShiftClickPicksARunOfDisksAndAPlainClickOneAgain) {
  Attach({kDisk1, kDisk2});
  const QModelIndex sample = DiskItem(OVNSS_SAMPLE_DISK), second = DiskItem(kDisk2);
  ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), sample));
  ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), second, false, Qt::LeftButton, Qt::ShiftModifier));
  EXPECT_EQ(wizard().pickedDisks().size(), 3);
  EXPECT_EQ(DetailsRows().front(), "Disks selected : 3");
  // Ctrl+click takes one away again; a plain click picks one, as ever.
  ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), sample, false, Qt::LeftButton, Qt::ControlModifier));
  EXPECT_EQ(wizard().pickedDisks().size(), 2);
  ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), second));
  EXPECT_EQ(wizard().pickedDisks(), QStringList({QString::fromStdString(*session->DiskNameOf(kDisk2))}));
  EXPECT_TRUE(DetailsRows().front().startsWith("Physical Disk Number : "));
  EXPECT_TRUE(Enabled(kQuickButton));
}

TEST_F(PersonDisks, OpenDiskImageTakesSeveralFilesAndPicksThemAll) {
  QStringList offered;
  screen.WhenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    if (!d) return false;
    offered << (d->fileMode() == QFileDialog::ExistingFiles ? "several" : "one");
    d->setDirectory(QString::fromStdString(kDisk1.parent_path().string()));
    d->selectFile(QStringLiteral("\"%1\" \"%2\"").arg(QString::fromStdString(kDisk1.filename().string()),
                                                      QString::fromStdString(kDisk2.filename().string())));
    static_cast<QDialog*>(d)->accept();
    return true;
  });
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {"Options", "Open Disk Image..."}));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_EQ(offered, QStringList({"several"}));
  ASSERT_TRUE(session->DiskNameOf(kDisk1) && session->DiskNameOf(kDisk2));
  EXPECT_EQ(wizard().pickedDisks().size(), 2);
  EXPECT_EQ(DetailsRows().front(), "Disks selected : 2");
  QuickNext();
  EXPECT_EQ(PoolItems(), QStringList({"ARCHIVE", "SPAN"}));
}

TEST_F(PersonDisks, TwoImagesDroppedOnTheWindowArePickedTogether) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(kDisk1.string())),
                QUrl::fromLocalFile(QString::fromStdString(kDisk2.string()))});
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(window.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(window.get(), &drop);
  EXPECT_EQ(wizard().pickedDisks().size(), 2);
  EXPECT_EQ(DetailsRows().front(), "Disks selected : 2");
  // Something that is no local file among them: nothing is taken.
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(kDisk1.string())), QUrl(QStringLiteral("http://x/y.img"))});
  QDragEnterEvent refused(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  refused.setAccepted(false);
  QApplication::sendEvent(window.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(PersonDisks, TheSameDiskUnderTwoNamesIsRefusedAtTheDiskStep) {
  const auto again = dir_ / "again.img";
  std::filesystem::create_hard_link(kDisk1, again);
  Attach({kDisk1, again});
  PickTogether({kDisk1, again});
  QStringList boxes;
  QuickNext(&boxes);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith("the same disk is given twice: ")) << boxes[0].toStdString();
  EXPECT_EQ(wizard().step(), 0);
  EXPECT_TRUE(Visible(kDiskTree));
}

TEST_F(PersonDisks, ACopyOfADiskLeavesItsSegmentsUnreadAndThePoolsAreMarked) {
  const auto copy = dir_ / "copy.img";
  std::filesystem::copy_file(kDisk1, copy);
  Attach({kDisk1, copy});
  PickTogether({kDisk1, copy});
  QStringList boxes;
  QuickNext(&boxes);
  ASSERT_EQ(wizard().step(), 1);
  ASSERT_EQ(boxes.size(), 1) << boxes.join('\n').toStdString();
  EXPECT_TRUE(boxes[0].startsWith("The disks given do not hold every pool whole:\n")) << boxes[0].toStdString();
  EXPECT_TRUE(boxes[0].contains("Pool \"SPAN\": segment 0 is on disk 1 (")) << boxes[0].toStdString();
  EXPECT_TRUE(boxes[0].contains("neither is used, and its data cannot be read"));
  EXPECT_TRUE(boxes[0].contains("Pool \"SPAN\": segment 1 of 3 is on none of the disks given"));
  // Each disk gives its own ARCHIVE whole; SPAN is told apart.
  EXPECT_EQ(PoolItems(), QStringList({"ARCHIVE (disk 1)", "SPAN (incomplete)", "ARCHIVE (disk 2)"}));
  ASSERT_TRUE(Screen::ClickItem(wizard().poolTree(), ChildNamed(wizard().poolTree(), "SPAN (incomplete)")));
  const QStringList rows = DetailsRows();
  ASSERT_EQ(rows.size(), 5) << rows.join('\n').toStdString();
  EXPECT_EQ(rows[2], "Segment 0   :  missing");
  EXPECT_EQ(rows[3], "Segment 1   :  missing");
  EXPECT_EQ(rows[4], "Segment 2   :  missing");
  // Without its first segment the pool lists no volume, and says why.
  QString said;
  screen.WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box) said = box->text(), box->buttons().front()->click();
    return box != nullptr;
  });
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_EQ(said, "Segment 0 of pool SPAN is on none of the disks given, so its volumes cannot be listed");
  ASSERT_EQ(wizard().step(), 2);
  EXPECT_EQ(wizard().volumeTree()->topLevelItem(0)->childCount(), 0);
  // Back at the pools the warning is not said again: it was for the search.
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  EXPECT_EQ(wizard().step(), 1);
  QTest::qWait(50);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(PersonDisks, TheAdvancedSearchOverTwoDisksWarnsOnceItHasEnded) {
  Attach({kDisk1});
  PickTogether({kDisk1, OVNSS_SAMPLE_DISK});
  ASSERT_TRUE(Screen::Hover(Button(kAdvanceButton)));
  QStringList boxes;
  bool searching = false;
  screen.WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return false;
    // The search is over when the warning comes: the pools are listed.
    searching = searching || wizard().workerRunning();
    boxes << box->text();
    box->buttons().front()->click();
    return true;
  });
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered() && wizard().step() == 1 && !wizard().workerRunning(); }));
  QTest::qWait(50);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_FALSE(searching);
  EXPECT_TRUE(boxes[0].contains("Pool \"SPAN\": segment 1 of 3 is on none of the disks given"));
  EXPECT_TRUE(PoolItems().contains("SPAN (incomplete)")) << PoolItems().join('|').toStdString();
}

TEST_F(PersonDisks, OneDiskLooksAsItAlwaysDid) {
  ToPools();
  EXPECT_EQ(PoolItems().filter("(incomplete)").size(), 0);
  ASSERT_TRUE(Screen::ClickItem(wizard().poolTree(), ChildNamed(wizard().poolTree(), "USERS")));
  EXPECT_EQ(DetailsRows().filter("Segment").size(), 0);
  EXPECT_EQ(DetailsRows().size(), 2);
}

TEST_F(PersonDisks, ASaveLeavesOutAndNamesTheFilesOfADiskNotGiven) {
  // The first disk with an unrelated one: segment 1 of SPAN is on neither.
  Attach({kDisk1});
  PickTogether({kDisk1, OVNSS_SAMPLE_DISK});
  QStringList boxes;
  QuickNext(&boxes);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("Pool \"SPAN\": segment 1 of 3 is on none of the disks given")) << boxes[0].toStdString();
  ToVolumes(QStringLiteral("SPAN (incomplete)"));
  ToTree();
  ASSERT_TRUE(Screen::ClickCheck(wizard().folderTree(), wizard().folderModel().IndexOf(kRootItem)));
  ov::test::TempDir out;
  QString warned;
  screen
      .WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<FileSavingDialog*>(w);
        if (!d) return false;
        d->findChild<QLineEdit*>("destination")->setText(QString::fromStdString(out.path().string()));
        for (auto* b : d->findChildren<QPushButton*>()) {
          if (b->text() == "&OK") b->click();
        }
        return true;
      })
      .WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) warned = box->text(), box->buttons().front()->click();
        return box != nullptr;
      });
  ASSERT_TRUE(Screen::Click(Button(kSaveButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 20000));
  // Segment 1 and, as its length is not known, segment 2 after it.
  EXPECT_TRUE(warned.startsWith("6 file(s) were not saved: part of their data lies on a pool segment of a disk not given:\n"))
      << warned.toStdString();
  EXPECT_TRUE(warned.contains("\n\\Projects\\2004\\kickoff.doc"));
  EXPECT_TRUE(warned.contains("\n\\Reports\\survey-2004.doc"));
  EXPECT_FALSE(std::filesystem::exists(out / "Projects" / "2004" / "kickoff.doc"));
  EXPECT_TRUE(std::filesystem::exists(out / "Projects" / "2003" / "plan.txt"));
}

TEST(RunDisksText, MissingSegmentFilesAreNamedUpToTenThenCounted) {
  EXPECT_EQ(MissingSegmentFilesText({}), "");
  std::vector<UnreadFile> files(12);
  for (std::size_t i = 0; i < files.size(); ++i) files[i].path = "\\A\\f" + std::to_string(i) + ".txt";
  const std::string text = MissingSegmentFilesText(files);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "12 file(s) were not saved: part of their data lies on a pool segment of a disk not given:");
  EXPECT_NE(text.find("\n\\A\\f9.txt\n... and 2 more"), std::string::npos) << text;
  EXPECT_EQ(text.find("f10.txt"), std::string::npos);
}

}  // namespace
}  // namespace ov::window::test

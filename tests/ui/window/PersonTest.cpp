// The window driven as a person drives it: the pointer on what is shown,
// menus from the menu bar, the keys to what has the focus, back and forth
// through the steps.

#include <QAccessible>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>
#include <set>

#include "support/BuiltImage.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/help/MenuTip.h"
#include "ui/support/Screen.h"
#include "ui/window/Dialogs.h"
#include "ui/window/FindWindow.h"
#include "ui/window/ImageDialog.h"
#include "WindowFixture.h"

namespace ov::window::test {
namespace {

using ov::test::Screen;

class Person : public WindowFixture {
protected:
  QAbstractButton* Button(int id) { return el().as<QAbstractButton>(id); }
  QModelIndex Child(QTreeWidget* t, int i) { return t->model()->index(i, 0, t->model()->index(0, 0)); }
  QModelIndex ChildNamed(QTreeWidget* t, const QString& name) {
    const QModelIndex root = t->model()->index(0, 0);
    for (int i = 0; i < t->model()->rowCount(root); ++i) {
      if (t->model()->index(i, 0, root).data().toString() == name) return t->model()->index(i, 0, root);
    }
    return {};
  }
  void PickDisk(const std::filesystem::path& image) {
    const auto name = session->DiskNameOf(image);
    ASSERT_TRUE(name);
    ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), ChildNamed(wizard().diskTree(), QString::fromStdString(*name))));
  }
  // Disk, mode, "&Next": the pools (or the Raw form).
  void ToPools(int modeButton = kQuickButton, const std::filesystem::path& image = OVNSS_SAMPLE_DISK) {
    PickDisk(image);
    ASSERT_TRUE(Screen::Hover(Button(modeButton)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 1 && !wizard().workerRunning(); }));
  }
  void ToVolumes(const QString& pool = QStringLiteral("USERS")) {
    ASSERT_TRUE(Screen::ClickItem(wizard().poolTree(), ChildNamed(wizard().poolTree(), pool)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_EQ(wizard().step(), 2);
  }
  void ToTree() {
    ASSERT_TRUE(Screen::ClickItem(wizard().volumeTree(), Child(wizard().volumeTree(), 0)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  }
  // Every control shown takes the pointer at its middle.
  void ExpectAllReachable(const char* where) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                           qobject_cast<QLineEdit*>(w);
      if (control && w->isVisible() && w->window() == window.get()) {
        EXPECT_TRUE(Screen::Reaches(w, Screen::Middle(w))) << where;
      }
    }
  }

  Screen screen;
};

TEST_F(Person, TheRawFormsButtonTakesTheMouse) {
  ExpectAllReachable("disk step");
  ToPools(kRawButton);
  ExpectAllReachable("raw form");
  auto* start = window->rawForm()->findChild<QPushButton*>("start");
  QString said;
  screen.WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box) said = box->text(), box->buttons().front()->click();
    return box != nullptr;
  });
  ASSERT_TRUE(Screen::Click(start));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_EQ(said, "Please select file type for recovery");
}

TEST_F(Person, BackFromTheVolumesGivesAFreshVolumeTreeEachTime) {
  ToPools();
  ExpectAllReachable("pools");
  ToVolumes(QStringLiteral("USERS"));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_EQ(wizard().step(), 1);
  // "Search More Partitions" is offered again at the pools.
  EXPECT_TRUE(Visible(kMoreButton) && Enabled(kMoreButton));
  ToVolumes(QStringLiteral("APPS"));
  EXPECT_TRUE(wizard().volumeTree()->isEnabled());
  ExpectAllReachable("volumes");
  ToTree();
  ExpectAllReachable("tree");
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_EQ(wizard().step(), 0);
  ToPools();
  ToVolumes(QStringLiteral("APPS"));
  ToTree();
}

TEST_F(Person, OpenDiskImageOffersEveryFormatFromHomeAndSelectsTheImage) {
  ov::test::BuiltImage built(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "ONLY", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "ONLY", "volumes": [ { "name": "V" } ] } ] })");
  ASSERT_TRUE(built.ok()) << built.error();
  env_.Set("HOME", dir_.path().string());
  // First the sample disk with a mode: the image taken then is chosen instead.
  PickDisk(OVNSS_SAMPLE_DISK);
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  QString opened;
  QStringList filters;
  screen.WhenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    if (!d) return false;
    opened = d->directory().absolutePath();
    filters = d->nameFilters();
    d->selectFile(QString::fromStdString(built.image().string()));
    static_cast<QDialog*>(d)->accept();
    return true;
  });
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {"Options", "Open Disk Image..."}));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_EQ(opened, QDir(QString::fromStdString(dir_.path().string())).absolutePath());
  EXPECT_EQ(filters, ImageFilters());
  for (const char* kind : {"*.img", "*.dd", "*.raw", "*.bin", "*.iso", "*.001", "*.E01", "*.vmdk", "*.vhd", "*.vhdx",
                           "*.qcow2"}) {
    EXPECT_TRUE(filters.front().contains(QLatin1String(kind))) << kind;
  }
  EXPECT_EQ(filters.back(), "All files (*)");
  // The image is the disk shown as chosen; the mode is asked again.
  const auto name = session->DiskNameOf(built.image());
  ASSERT_TRUE(name);
  ASSERT_TRUE(wizard().diskTree()->currentItem());
  EXPECT_EQ(wizard().diskTree()->currentItem()->text(0).toStdString(), *name);
  EXPECT_EQ(wizard().mode(), RecoveryMode::None);
  EXPECT_FALSE(Enabled(kNextButton));
  EXPECT_TRUE(Enabled(kQuickButton));
  ASSERT_TRUE(Screen::Hover(Button(kAdvanceButton)));
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_EQ(wizard().step(), 1);
  EXPECT_EQ("Disk" + std::to_string(session->diskNumber()), *name);
  EXPECT_TRUE(ChildNamed(wizard().poolTree(), "ONLY").isValid());
}

TEST_F(Person, MenuTipsStayBesideTheItemUnderThePointer) {
  ASSERT_TRUE(window->help().texts().balloonHelpOn());
  QMenuBar* bar = window->menuBar();
  QAction* options = bar->actions().front();
  Screen::ClickAt(bar->mapToGlobal(bar->actionGeometry(options).center()));
  QMenu* menu = options->menu();
  ASSERT_TRUE(menu->isVisible());
  QAction* exit = el().command(kCmdExit);
  const QPoint at = menu->actionGeometry(exit).center();
  ASSERT_TRUE(Screen::Reaches(menu, menu->mapToGlobal(at)));
  QTest::mouseMove(menu, at);
  QTest::qWait(50);
  MenuTip* tip = window->help().menuTip();
  EXPECT_TRUE(tip->isVisible());
  EXPECT_TRUE(tip->text().contains("Quit")) << tip->text().toStdString();
  Screen::Key(Qt::Key_Escape, {}, menu);
  Screen::Key(Qt::Key_Escape, {}, bar);
}

TEST_F(Person, TheFileSavingFieldStartsEmpty) {
  ToPools();
  ToVolumes();
  ToTree();
  ASSERT_TRUE(Screen::ClickCheck(wizard().folderTree(), wizard().folderModel().IndexOf(kRootItem)));
  window->later().destination = "/earlier";
  QString before, typed;
  screen.WhenModal([&](QWidget* w) {
    auto* d = qobject_cast<FileSavingDialog*>(w);
    if (!d) return false;
    auto* field = d->findChild<QLineEdit*>("destination");
    before = field->text();
    // The person types into the field, which has the focus as it opens.
    QTest::keyClicks(field, "/typed");
    typed = field->text();
    for (auto* b : d->findChildren<QPushButton*>()) {
      if (b->text() == "&Cancel") {
        EXPECT_TRUE(Screen::Click(b));
      }
    }
    return true;
  });
  ASSERT_TRUE(Screen::Click(Button(kSaveButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_EQ(before, "");
  EXPECT_EQ(typed, "/typed");
}

TEST_F(Person, TheStopQuestionGoesWhenTheSearchEnds) {
  ov::test::BuiltImage big(R"({ "size": "1GiB", "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V" } ] } ] })");
  ASSERT_TRUE(big.ok()) << big.error();
  ASSERT_TRUE(wizard().AttachImage(QString::fromStdString(big.image().string())));
  wizard().confirm = [this](const QString& q) { return ConfirmDialog::Ask(q, window.get()); };
  ASSERT_TRUE(Screen::Hover(Button(kAdvanceButton)));
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_TRUE(wizard().workerRunning());
  bool closedByItself = false;
  screen.WhenModal([&](QWidget* w) {
    auto* question = qobject_cast<ConfirmDialog*>(w);
    if (!question) return false;
    // The person waits; the search ends meanwhile.
    WaitUntil([&] { return !wizard().workerRunning(); });
    WaitUntil([&] { return !question->isVisible(); }, 2000);
    closedByItself = !question->isVisible();
    if (!closedByItself) question->noButton()->click();
    return true;
  });
  ASSERT_TRUE(Screen::Click(Button(kStopButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }));
  EXPECT_TRUE(closedByItself);
  EXPECT_EQ(wizard().step(), 1);
}

TEST_F(Person, AnEmptyImageIsSaidToBeEmptyAndADiskWithoutPoolsSaysSo) {
  const auto empty = dir_ / "empty.img";
  std::ofstream{empty};
  ov::test::BuiltImage none(R"({ "size": "4MiB", "partitions": [] })");
  ASSERT_TRUE(none.ok()) << none.error();
  ASSERT_TRUE(wizard().AttachImage(QString::fromStdString(empty.string())));
  QString said;
  screen.WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box) said = box->text(), box->buttons().front()->click();
    return box != nullptr;
  });
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000));
  EXPECT_TRUE(said.endsWith("is empty: it holds no whole sector")) << said.toStdString();
  EXPECT_EQ(wizard().step(), 0);

  ASSERT_TRUE(wizard().AttachImage(QString::fromStdString(none.image().string())));
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  ASSERT_TRUE(Screen::Click(Button(kNextButton)));
  ASSERT_EQ(wizard().step(), 1);
  EXPECT_EQ(el().as<QLabel>(kStatusLine)->text(), "No pools found");
}

TEST_F(Person, HeaderClicksSortTheFileList) {
  ToPools();
  ToVolumes();
  ToTree();
  QTreeView* list = wizard().detailsList();
  FileListModel& files = wizard().fileModel();
  const int folders = [&] {
    int n = 0;
    while (n < files.totalRows() && files.IsFolder(n)) ++n;
    return n;
  }();
  ASSERT_GE(files.totalRows() - folders, 2);
  auto sizes = [&] {
    std::vector<std::uint64_t> s;
    for (int r = folders; r < files.totalRows(); ++r) s.push_back(files.Node(r).size);
    return s;
  };
  const auto volume = sizes();
  QHeaderView* header = list->header();
  auto clickSize = [&] {
    const QPoint at(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, header->height() / 2);
    ASSERT_TRUE(Screen::Reaches(header->viewport(), header->viewport()->mapToGlobal(at)));
    Screen::ClickAt(header->viewport()->mapToGlobal(at));
  };
  clickSize();
  auto up = sizes();
  EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
  EXPECT_TRUE(files.IsFolder(0) || folders == 0);
  clickSize();
  auto down = sizes();
  EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
  clickSize();
  EXPECT_EQ(sizes(), volume);
}

TEST_F(Person, FindListsMatchesWithTheirFoldersAndOpensOneWithItsRowSelected) {
  ToPools();
  ToVolumes();
  ToTree();
  QLineEdit* box = window->findBox();
  ASSERT_TRUE(Screen::Click(box));
  // A file that lies in a folder below the root, by part of its name in
  // the other case.
  const RecoveryTree& tree = session->tree;
  const TreeNode* file = nullptr;
  for (const TreeNode& f : tree.files()) {
    if (f.parentId != 0 && f.name().size() > 3) {
      file = &f;
      break;
    }
  }
  ASSERT_TRUE(file);
  const QString part = QString::fromLatin1(file->name().data(), 3).toUpper();
  Screen::Type(part);
  Screen::Key(Qt::Key_Return);
  FindWindow* finder = window->finder();
  ASSERT_TRUE(finder && finder->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return !finder->searching(); }, 5000));
  FindModel& found = finder->model();
  int row = -1;
  for (int r = 0; r < found.rowCount(); ++r) {
    EXPECT_TRUE(found.index(r, 0).data().toString().toUpper().contains(part));
    if (!found.Match(r).folder && &tree.files()[found.Match(r).position] == file) row = r;
  }
  ASSERT_GE(row, 0);
  EXPECT_TRUE(found.index(row, 1).data().toString().startsWith("\\"));
  ASSERT_TRUE(Screen::ClickItem(finder->list(), found.index(row, 0), true));
  // Its folder is open, its row selected: ready for the list's "Save".
  QTreeView* list = wizard().detailsList();
  const QModelIndex current = list->currentIndex();
  ASSERT_TRUE(current.isValid());
  EXPECT_EQ(&wizard().fileModel().Node(current.row()), file);
  EXPECT_TRUE(list->selectionModel()->isRowSelected(current.row(), {}));
  // Back releases the tree: the search's list goes first.
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  EXPECT_EQ(found.rowCount(), 0);
  EXPECT_FALSE(box->isVisible());
}

TEST_F(Person, EnterGoesOnAndEscapeAsksToExit) {
  PickDisk(OVNSS_SAMPLE_DISK);
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  wizard().diskTree()->setFocus();
  Screen::Key(Qt::Key_Return);
  EXPECT_EQ(wizard().step(), 1);
  Screen::Key(Qt::Key_Escape);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions.front().toStdString(), std::string(kExitQuestion));
}

// What Tab visits from `first`, until it comes round again.
std::vector<QWidget*> TabRound(QWidget* first) {
  first->setFocus();
  std::vector<QWidget*> seen{first};
  for (int i = 0; i < 40; ++i) {
    Screen::Key(Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (!now || now == first) break;
    seen.push_back(now);
  }
  return seen;
}

TEST_F(Person, TabGoesThroughEveryControlInReadingOrder) {
  PickDisk(OVNSS_SAMPLE_DISK);
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  const auto round = TabRound(el().widget(kSaveButton));
  auto at = [&](int id) { return std::find(round.begin(), round.end(), el().widget(id)) - round.begin(); };
  for (int id : {kHelpButton, kExitButton, kDiskTree, kQuickButton, kNextButton}) {
    EXPECT_LT(at(id), static_cast<long>(round.size())) << "Tab never reaches " << id;
  }
  EXPECT_LT(at(kExitButton), at(kDiskTree));
  EXPECT_LT(at(kDiskTree), at(kQuickButton));
  EXPECT_LT(at(kQuickButton), at(kNextButton));
}

// The mnemonic letters of what is shown in `w`: buttons, labels naming a
// field, and the menu bar's titles.
std::vector<QChar> Mnemonics(QWidget* w) {
  std::vector<QChar> keys;
  auto add = [&](const QString& text) {
    const int amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < text.size() && text[amp + 1] != QLatin1Char('&')) keys.push_back(text[amp + 1].toLower());
  };
  for (auto* b : w->findChildren<QAbstractButton*>()) {
    if (b->isVisible() && b->window() == w) add(b->text());
  }
  for (auto* l : w->findChildren<QLabel*>()) {
    if (l->isVisible() && l->buddy() && l->window() == w) add(l->text());
  }
  if (auto* main = qobject_cast<QMainWindow*>(w)) {
    for (QAction* a : main->menuBar()->actions()) add(a->text());
  }
  return keys;
}

::testing::AssertionResult Unique(const std::vector<QChar>& keys) {
  std::set<QChar> seen;
  for (QChar k : keys) {
    if (!seen.insert(k).second) return ::testing::AssertionFailure() << "Alt+" << QString(k).toStdString() << " twice";
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Person, MnemonicsAreUniqueInEveryView) {
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "disk step";
  ToPools();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "pools";
  ToVolumes();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "volumes";
  ToTree();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "tree";
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ToPools(kRawButton);
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "raw form";
  std::string last = "/x";
  SaveSettings settings;
  FileSavingDialog saving(last, settings, session->prompter, window.get());
  saving.show();
  EXPECT_TRUE(Unique(Mnemonics(&saving))) << "File Saving";
}

// Every interface below `i`, depth first.
void Walk(QAccessibleInterface* i, const std::function<void(QAccessibleInterface*)>& visit, int depth = 0) {
  if (!i || depth > 12) return;
  visit(i);
  for (int c = 0; c < i->childCount(); ++c) Walk(i->child(c), visit, depth + 1);
}

TEST_F(Person, EveryControlHasAnAccessibleNameAndTheTreesItemsAndTicksCanBeRead) {
  auto check = [&](const char* where) {
    int controls = 0;
    Walk(QAccessible::queryAccessibleInterface(window.get()), [&](QAccessibleInterface* i) {
      auto* w = qobject_cast<QWidget*>(i->object());
      if (!w || !w->isVisible() || i->state().invisible) return;
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                           qobject_cast<QLineEdit*>(w);
      if (!control) return;
      ++controls;
      EXPECT_FALSE(i->text(QAccessible::Name).trimmed().isEmpty())
          << where << ": " << Screen::Name(w).toStdString() << " has no accessible name";
      EXPECT_NE(i->role(), QAccessible::NoRole) << where;
    });
    EXPECT_GT(controls, 3) << where;
  };
  check("disk step");
  auto* save = QAccessible::queryAccessibleInterface(el().widget(kSaveButton));
  EXPECT_EQ(save->text(QAccessible::Name), "Save Data");
  EXPECT_EQ(save->role(), QAccessible::Button);
  ToPools(kRawButton);
  check("raw form");
  auto* start = QAccessible::queryAccessibleInterface(window->rawForm()->findChild<QLineEdit*>("startSector"));
  EXPECT_EQ(start->text(QAccessible::Name), "Start Sector");
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ToPools();
  ToVolumes();
  ToTree();
  check("tree");
  // The folder tree's first item, ticked: its name and tick can be read.
  ASSERT_TRUE(Screen::ClickCheck(wizard().folderTree(), wizard().folderModel().IndexOf(kRootItem)));
  bool readRoot = false;
  Walk(QAccessible::queryAccessibleInterface(wizard().folderTree()), [&](QAccessibleInterface* i) {
    if (i->text(QAccessible::Name) != "Root") return;
    readRoot = true;
    EXPECT_TRUE(i->state().checkable);
    EXPECT_TRUE(i->state().checked);
  });
  EXPECT_TRUE(readRoot);
  // A reader asks once the list is drawn.
  QTest::qWait(50);
  bool readRow = false;
  const QString firstRow = wizard().fileModel().index(0, 0).data().toString();
  Walk(QAccessible::queryAccessibleInterface(wizard().detailsList()), [&](QAccessibleInterface* i) {
    if (i->text(QAccessible::Name) == firstRow) readRow = true;
  });
  EXPECT_TRUE(readRow) << firstRow.toStdString();
}

TEST_F(Person, AQuestionsTextKeepsALinesRoomAboveItsButtons) {
  ConfirmDialog question(QStringLiteral("A first line\n\nand more\nand the last"), window.get());
  question.show();
  QApplication::processEvents();
  const QRect text = question.text()->geometry();
  const QRect yes = question.yesButton()->geometry();
  EXPECT_GE(yes.top() - text.bottom(), question.fontMetrics().height()) << text.bottom() << " " << yes.top();
}

TEST_F(Person, KeepsItsDrawnSizeWhereTheScreenHasRoom) {
  // The offscreen screen of the tests has room for the drawn window.
  EXPECT_EQ(window->centralWidget()->size(), QSize(760, 522));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(el().widget(kNextButton)->geometry(), QRect(652, 486, 100, 30));
  EXPECT_EQ(el().widget(kDetailsList)->geometry(), QRect(250, 168, 502, 280));
}

}  // namespace
}  // namespace ov::window::test

// The steps, the faults a person met on them, the lists' sorting and the
// find box, driven by the pointer.

#include "Person.h"

namespace ov::window::test {
namespace {

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
  ASSERT_TRUE(Screen::Placed(bar));
  Screen::ClickAt(bar->mapToGlobal(bar->actionGeometry(options).center()));
  QMenu* menu = options->menu();
  ASSERT_TRUE(menu->isVisible());
  ASSERT_TRUE(Screen::Placed(menu));
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
    ASSERT_TRUE(Screen::Placed(header));
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

TEST_F(Person, AFoundFileIsTickedInTheFindWindowAndSavedAtItsFolderPath) {
  ov::test::BuiltImage built(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "ONLY", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "ONLY", "volumes": [ { "name": "V", "items": [
      { "folder": "Letters", "items": [ { "folder": "Old", "items": [
        { "file": "bank note.bin", "content": "random", "size": "9KiB" }, { "file": "other.txt", "text": "o" } ] } ] },
      { "file": "banking.txt", "text": "b" } ] } ] } ] })");
  ASSERT_TRUE(built.ok()) << built.error();
  ASSERT_TRUE(wizard().AttachImage(QString::fromStdString(built.image().string())));
  ToPools(kQuickButton, built.image());
  ToVolumes(QStringLiteral("ONLY"));
  ToTree();
  ASSERT_TRUE(Screen::Click(window->findBox()));
  Screen::Type("BANK");
  Screen::Key(Qt::Key_Return);
  FindWindow* finder = window->finder();
  ASSERT_TRUE(finder && finder->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return !finder->searching(); }, 5000));
  FindModel& found = finder->model();
  ASSERT_EQ(found.rowCount(), 2);
  const int row = found.index(0, 0).data().toString() == "bank note.bin" ? 0 : 1;
  ASSERT_EQ(found.index(row, 0).data().toString(), "bank note.bin");
  // Nothing ticked, nothing to save.
  EXPECT_FALSE(finder->saveButton()->isEnabled());
  ASSERT_TRUE(Screen::ClickCheck(finder->list(), found.index(row, 0)));
  EXPECT_EQ(found.index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  EXPECT_EQ(found.index(1 - row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  const auto out = dir_ / "found";
  screen.WhenModal([&](QWidget* w) {
    auto* d = qobject_cast<FileSavingDialog*>(w);
    if (!d) return false;
    QTest::keyClicks(d->findChild<QLineEdit*>("destination"), QString::fromStdString(out.string()));
    EXPECT_TRUE(Screen::Click(d->findChild<QPushButton*>("ok")));
    return true;
  });
  // The click returns once the "Saving" window has closed.
  ASSERT_TRUE(Screen::Click(finder->saveButton()));
  EXPECT_TRUE(screen.answered());
  std::set<std::string> written;
  for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
    if (e.is_regular_file()) written.insert(std::filesystem::relative(e.path(), out).string());
  }
  EXPECT_EQ(written, std::set<std::string>{"Letters/Old/bank note.bin"});
  const auto& files = built.manifest().pools[0].volumes[0].files;
  const auto file = std::find_if(files.begin(), files.end(), [](const auto& f) { return f.name == "bank note.bin"; });
  ASSERT_NE(file, files.end());
  std::ifstream in(out / "Letters" / "Old" / "bank note.bin", std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(bytes.size(), 9u * 1024);
  EXPECT_TRUE(bytes == file->data);
  // A new search starts with nothing ticked.
  ASSERT_TRUE(Screen::Click(finder->box()));
  Screen::Key(Qt::Key_Return, {}, finder->box());
  ASSERT_TRUE(WaitUntil([&] { return !finder->searching(); }, 5000));
  EXPECT_EQ(found.rowCount(), 2);
  EXPECT_EQ(found.index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  EXPECT_FALSE(finder->saveButton()->isEnabled());
}

}  // namespace
}  // namespace ov::window::test

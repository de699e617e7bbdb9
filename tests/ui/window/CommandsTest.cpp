// The window's saving, recovery-information and raw-form commands, driven
// from the running window: the dialogs come up as the user would see them
// and are answered as they come.

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <deque>
#include <fstream>

#include "save/SaveRun.h"
#include "support/BuiltImage.h"
#include "support/Files.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/dialogs/SaveFlow.h"
#include "ui/dialogs/SizeCalculationDialog.h"
#include "ui/window/RescueMapOffer.h"
#include "WindowFixture.h"

namespace ov::window::test {
namespace {

using ov::test::ReadFile;

constexpr const char* kVolume = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "40MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Docs", "items": [ { "file": "a.txt", "text": "alpha" }, { "file": "big.bin", "size": "1MiB" },
                                   { "folder": "Old", "items": [ { "file": "c.txt", "text": "charlie" } ] } ] },
    { "folder": "Other", "items": [ { "file": "z.txt", "text": "zulu" } ] },
    { "file": "top.txt", "text": "top" } ],
    "generate": { "folders": 20, "files": 3000, "maxSize": "1KiB" } } ] } ] })";

QPushButton* Button(QWidget* w, const QString& text) {
  for (auto* b : w->findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

// Answers the modal windows in the order they come up. Each answer gets
// the window that is up and says whether it was the one it waited for.
class ModalAnswers {
public:
  using Answer = std::function<bool(QWidget*)>;
  ModalAnswers() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* up = QApplication::activeModalWidget();
      if (up && !answers_.empty() && answers_.front()(up)) answers_.pop_front();
    });
    timer_.start(10);
  }
  ModalAnswers& Then(Answer a) {
    answers_.push_back(std::move(a));
    return *this;
  }
  // "File Saving": the folder typed and "&OK", or "&Cancel".
  ModalAnswers& Destination(const std::filesystem::path& folder) {
    return Then([folder](QWidget* w) {
      auto* d = qobject_cast<FileSavingDialog*>(w);
      if (!d) return false;
      d->findChild<QLineEdit*>("destination")->setText(QString::fromStdString(folder.string()));
      Button(d, "&OK")->click();
      return true;
    });
  }
  ModalAnswers& CancelDestination() {
    return Then([](QWidget* w) {
      auto* d = qobject_cast<FileSavingDialog*>(w);
      if (d) Button(d, "&Cancel")->click();
      return d != nullptr;
    });
  }
  // A message box: its text kept, then `button`.
  ModalAnswers& Box(QMessageBox::StandardButton button, QString* text = nullptr) {
    return Then([button, text](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box) return false;
      if (text) *text = box->text();
      box->button(button) ? box->button(button)->click() : box->buttons().front()->click();
      return true;
    });
  }
  bool done() const { return answers_.empty(); }

private:
  QTimer timer_;
  std::deque<Answer> answers_;
};

class Commands : public WindowFixture {
protected:
  Commands() : built(kVolume) {}

  // The built disk attached and opened to its directory tree.
  void OpenBuilt() {
    ASSERT_TRUE(built.ok()) << built.error();
    ASSERT_TRUE(wizard().AttachImage(QString::fromStdString(built.image().string())));
    const auto name = session->DiskNameOf(built.image());
    ASSERT_TRUE(name);
    QTreeWidgetItem* root = wizard().diskTree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i) {
      if (root->child(i)->text(0).toStdString() == *name) wizard().ClickDisk(root->child(i));
    }
    wizard().ChooseMode(RecoveryMode::Quick);
    wizard().Next();
    wizard().ClickPool(Child(wizard().poolTree(), 0));
    wizard().Next();
    wizard().ClickVolume(Child(wizard().volumeTree(), 0));
    wizard().Next();
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  }
  QModelIndex Folder(const QString& name) {
    FolderTreeModel& m = wizard().folderModel();
    const QModelIndex root = m.IndexOf(kRootItem);
    for (int i = 0; i < m.rowCount(root); ++i) {
      if (m.index(i, 0, root).data().toString() == name) return m.index(i, 0, root);
    }
    return {};
  }
  void Tick(const QString& folder) {
    ASSERT_TRUE(Folder(folder).isValid()) << folder.toStdString();
    wizard().folderModel().setData(Folder(folder), Qt::Checked, Qt::CheckStateRole);
  }
  // The built volume's file at `folder`/`name`, or nothing.
  const mkimage::ManifestFile* File(const std::string& folder, const std::string& name) {
    const auto* vol = built.manifest().FindVolume("P", "V");
    return vol ? mkimage::FindFile(*vol, folder, name) : nullptr;
  }
  std::string Data(const std::string& folder, const std::string& name) {
    const auto* f = File(folder, name);
    return f ? std::string(f->data.begin(), f->data.end()) : "(none)";
  }

  ov::test::BuiltImage built;
  ov::test::TempDir out;
};

TEST_F(Commands, SaveOfTickedItemsWritesTheirFilesAndACancelledDestinationWritesNothing) {
  OpenBuilt();
  Tick("Docs");
  ModalAnswers answers;
  answers.CancelDestination();
  window->elements().command(kCmdSave)->trigger();
  EXPECT_TRUE(answers.done());
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));

  answers.Destination(out.path());
  wizard().SaveButton();
  EXPECT_TRUE(answers.done());
  EXPECT_EQ(ReadFile(out / "Docs" / "a.txt"), Data("Docs", "a.txt"));
  EXPECT_EQ(ReadFile(out / "Docs" / "big.bin"), Data("Docs", "big.bin"));
  EXPECT_EQ(ReadFile(out / "Docs" / "Old" / "c.txt"), Data("Docs\\Old", "c.txt"));
  EXPECT_FALSE(std::filesystem::exists(out / "Other"));
  EXPECT_FALSE(std::filesystem::exists(out / "top.txt"));
  // The destination is kept for the next save.
  EXPECT_EQ(window->later().destination, out.path().string());
}

TEST_F(Commands, PopupSaveWritesTheSelectedRowsAndStopInTheSizeWindowStillSavesThemAll) {
  OpenBuilt();
  QTreeView* list = wizard().detailsList();
  FileListModel& files = wizard().fileModel();
  for (int row = 0; row < files.rowCount(); ++row) {
    const QString name = files.index(row, 0).data().toString();
    if (name != "Other") {
      list->selectionModel()->select(files.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  // "Stop " in the size window, confirmed, as soon as it is up.
  bool stopAsked = false;
  window->later().onSave = [&](SaveFlow& flow) {
    flow.onCounting = [&](SizeCalculationDialog& d) {
      stopAsked = true;
      Button(&d, "Stop ")->click();
    };
  };
  ModalAnswers answers;
  QString stopQuestion;
  answers.Destination(out.path()).Box(QMessageBox::Yes, &stopQuestion);
  // The pop-up is answered with its default item, "Save".
  QTimer menuTimer;
  QObject::connect(&menuTimer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    menuTimer.stop();
    menu->setActiveAction(menu->defaultAction());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(menu, &enter);
  });
  menuTimer.start(10);
  wizard().ShowListMenu(list->viewport()->mapToGlobal(QPoint(10, 10)));
  // Stop in the size window ends the count, not the save. (The window
  // comes up only while the count still runs, which for some three
  // thousand files it mostly does; a count that ended before the press
  // closes the window without asking.)
  EXPECT_TRUE(stopQuestion.isEmpty() || stopQuestion == "Do you want to terminate this process?");
  EXPECT_EQ(ReadFile(out / "top.txt"), Data("", "top.txt"));
  EXPECT_EQ(ReadFile(out / "Docs" / "big.bin"), Data("Docs", "big.bin"));
  EXPECT_EQ(ReadFile(out / "Docs" / "Old" / "c.txt"), Data("Docs\\Old", "c.txt"));
  EXPECT_FALSE(std::filesystem::exists(out / "Other"));
  std::size_t saved = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(out.path())) saved += e.is_regular_file();
  const auto* vol = built.manifest().FindVolume("P", "V");
  std::size_t other = 0;
  for (const auto& f : vol->files) other += f.folder.rfind("Other", 0) == 0;
  EXPECT_EQ(saved, vol->files.size() - other);
}

TEST_F(Commands, LoadLogInAFreshWindowShowsTheSavedTreeAtTheLastStep) {
  OpenBuilt();
  const int rootRows = wizard().fileModel().totalRows();
  const std::filesystem::path file = out / "RUN1.SAV";
  window->later().fileDialogs.chooseSave = [&](QWidget*) { return QString::fromStdString((out / "run1").string()); };
  window->elements().command(kCmdSaveLog)->trigger();
  ASSERT_TRUE(std::filesystem::exists(file));

  // A fresh window, gone only as far as the pools.
  window.reset();
  session.reset();
  session = std::make_unique<TestSession>();
  session->Inventory(built.image());
  window = std::make_unique<MainWindow>(*session, OVNSS_BIN_DIR);
  window->show();
  const auto name = session->DiskNameOf(built.image());
  QTreeWidgetItem* root = wizard().diskTree()->topLevelItem(0);
  for (int i = 0; i < root->childCount(); ++i) {
    if (root->child(i)->text(0).toStdString() == *name) wizard().ClickDisk(root->child(i));
  }
  wizard().ChooseMode(RecoveryMode::Quick);
  wizard().Next();
  ASSERT_TRUE(CommandEnabled(kCmdLoadLog));
  window->later().fileDialogs.chooseOpen = [&](QWidget*) { return QStringList{QString::fromStdString(file.string())}; };
  window->elements().command(kCmdLoadLog)->trigger();
  EXPECT_EQ(wizard().step(), 3);
  EXPECT_EQ(el().pictureFile(), "step6_1.bmp");
  EXPECT_FALSE(Visible(kBackButton));
  EXPECT_FALSE(Visible(kPoolTree));
  EXPECT_TRUE(Visible(kFolderTree));
  EXPECT_TRUE(CommandEnabled(kCmdSaveLog));
  EXPECT_TRUE(Folder("Docs").isValid() && Folder("Other").isValid());
  EXPECT_EQ(wizard().fileModel().totalRows(), rootRows);
}

TEST_F(Commands, ADamagedRecoveryFileIsRefusedAndTheWindowStaysAsItWas) {
  OpenBuilt();
  window->later().fileDialogs.chooseSave = [&](QWidget*) { return QString::fromStdString((out / "good").string()); };
  window->elements().command(kCmdSaveLog)->trigger();
  const std::string good = ReadFile(out / "GOOD.SAV");
  ASSERT_GT(good.size(), 100u);
  std::ofstream(out / "BAD.SAV", std::ios::binary) << good.substr(0, good.size() / 2);
  wizard().ShowFolder(FolderTreeModel::HandleOf(Folder("Docs")), true);
  const int rows = wizard().fileModel().rowCount();

  window->later().fileDialogs.chooseOpen = [&](QWidget*) {
    return QStringList{QString::fromStdString((out / "BAD.SAV").string())};
  };
  QString refusal;
  ModalAnswers answers;
  answers.Box(QMessageBox::Ok, &refusal);
  window->elements().command(kCmdLoadLog)->trigger();
  EXPECT_TRUE(answers.done());
  EXPECT_TRUE(refusal.endsWith("Nothing was loaded.")) << refusal.toStdString();
  EXPECT_EQ(wizard().step(), 3);
  EXPECT_TRUE(Visible(kBackButton));
  EXPECT_EQ(el().as<QLabel>(kPathText)->text(), "\\Docs");
  EXPECT_EQ(wizard().fileModel().rowCount(), rows);
  EXPECT_TRUE(Folder("Other").isValid());
}

TEST_F(Commands, TheRawFormScansTheSampleDisksRawStretchAndStopAnsweredNoLetsItGoOn) {
  PickSampleDisk();
  wizard().ChooseMode(RecoveryMode::Raw);
  wizard().Next();
  RawFormPanel* raw = window->rawForm();
  ASSERT_TRUE(raw->isVisibleTo(window.get()));
  auto* kinds = raw->findChild<QTreeWidget*>("kinds");
  for (int k = 0; k < 4; ++k) kinds->topLevelItem(k)->setCheckState(0, Qt::Checked);
  raw->findChild<QRadioButton*>("sectorRange")->click();
  raw->findChild<QLineEdit*>("startSector")->setText("95000");
  emit raw->findChild<QLineEdit*>("startSector")->textEdited("95000");

  std::vector<bool> scanning;
  QObject::connect(raw, &RawFormPanel::scanningChanged, [&](bool s) {
    scanning.push_back(s);
    EXPECT_EQ(Enabled(kBackButton), !s);
    EXPECT_EQ(window->menuBar()->isEnabled(), !s);
  });
  ModalAnswers answers;
  answers.Destination(out.path());
  window->later().StartOrStopRawScan();
  ASSERT_TRUE(answers.done());
  ASSERT_TRUE(raw->scanning());
  wizard().Back();  // refused while the scan reads the disk
  EXPECT_EQ(wizard().step(), 1);
  QString question;
  answers.Box(QMessageBox::No, &question);
  raw->findChild<QPushButton*>("start")->click();
  EXPECT_EQ(question, "Do you want terminate this process ?");
  ASSERT_TRUE(WaitUntil([&] { return !raw->scanning(); }, 60000));
  EXPECT_EQ(raw->lastResult().end, RawScanEnd::Completed);
  // The sample disk's documents: two Word, two Excel, one PowerPoint and
  // the larger of its two Zip archives.
  EXPECT_EQ(raw->lastResult().recovered[0], 2u);
  EXPECT_EQ(raw->lastResult().recovered[1], 2u);
  EXPECT_EQ(raw->lastResult().recovered[2], 1u);
  EXPECT_GE(raw->lastResult().recovered[3], 1u);
  EXPECT_TRUE(std::filesystem::exists(out / "DOC1.DOC"));
  EXPECT_EQ(scanning, (std::vector<bool>{true, false}));
  EXPECT_TRUE(Enabled(kBackButton));
}

TEST_F(Commands, AMapBesideTheImageIsOfferedAndTheSaveNamesTheFileItLeftUnread) {
  ASSERT_TRUE(built.ok());
  const auto* big = File("Docs", "big.bin");
  ASSERT_NE(big, nullptr);
  // The rescue did not read 8 sectors from the file's 16th.
  const std::uint64_t hole = (big->diskSector + 16) * 512, end = hole + 8 * 512;
  const std::uint64_t size = std::filesystem::file_size(built.image());
  std::ofstream(built.image().string() + ".map") << "# Mapfile\n0 +\n0 " << hole << " +\n"
                                                  << hole << " " << (end - hole) << " ?\n"
                                                  << end << " " << (size - end) << " +\n";
  answer = true;
  OpenBuilt();
  ASSERT_FALSE(questions.empty());
  EXPECT_EQ(questions.front(), RescueMapQuestion(built.image().string() + ".map"));
  Tick("Docs");
  QString finished;
  ModalAnswers answers;
  answers.Destination(out.path())
      .Then([](QWidget* w) {
        // The bad-sector question of the unread stretch: skip them all.
        auto* d = qobject_cast<QDialog*>(w);
        if (!d || d->windowTitle() != "Bad Sector Encountered") return false;
        Button(d, "Skip All")->click();
        return true;
      })
      .Box(QMessageBox::Ok, &finished);
  wizard().SaveButton();
  EXPECT_TRUE(answers.done());
  EXPECT_TRUE(finished.startsWith("1 saved file(s) hold sectors")) << finished.toStdString();
  EXPECT_TRUE(finished.contains("\\Docs\\big.bin  (8 unread sector(s))")) << finished.toStdString();
  std::string expected = Data("Docs", "big.bin");
  std::fill_n(expected.begin() + 16 * 512, 8 * 512, '\0');
  EXPECT_EQ(ReadFile(out / "Docs" / "big.bin"), expected);
}

TEST_F(Commands, AMapThatDoesNotLoadIsNamedAndTheImageIsNotAttached) {
  ASSERT_TRUE(built.ok());
  std::ofstream(built.image().string() + ".map") << "this is no map\n";
  answer = true;
  QString refusal;
  ModalAnswers answers;
  answers.Box(QMessageBox::Ok, &refusal);
  EXPECT_FALSE(wizard().AttachImage(QString::fromStdString(built.image().string())));
  EXPECT_TRUE(answers.done());
  EXPECT_TRUE(refusal.contains("is not a ddrescue map: line 1")) << refusal.toStdString();
  EXPECT_FALSE(session->DiskNameOf(built.image()));
  // Without the map the same image opens.
  answer = false;
  EXPECT_TRUE(wizard().AttachImage(QString::fromStdString(built.image().string())));
  EXPECT_TRUE(session->DiskNameOf(built.image()));
}

}  // namespace
}  // namespace ov::window::test

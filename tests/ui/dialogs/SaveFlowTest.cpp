// A save from the window over a built disk: the destination window, the
// "Saving" window with its worker, and the questions the worker asks.

#include <QKeyEvent>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

#include "DialogTestSupport.h"
#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "nss/RecordScan.h"
#include "support/Files.h"
#include "support/BuiltImage.h"
#include "support/FakePrompter.h"
#include "support/ImageOpener.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/ReplaceFileDialog.h"
#include "ui/dialogs/SaveFlow.h"
#include "ui/dialogs/SavingDialog.h"
#include "ui/dialogs/SizeCalculationDialog.h"
#include "ui/dialogs/WindowPrompter.h"
#include "ui/dialogs/WriteErrorDialog.h"
#include "widgets/BrowseField.h"

namespace ov {
namespace {

using test::Button;

constexpr const char* kVolume = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "12MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Docs", "items": [ { "file": "a.txt", "text": "a" }, { "file": "b.doc", "text": "b" },
                                   { "folder": "Old", "items": [ { "file": "c.txt", "text": "c" } ] } ] },
    { "folder": "Big", "items": [ { "file": "big.bin", "size": "8MiB" } ] },
    { "folder": "Later", "items": [ { "file": "z.txt", "text": "z" } ] },
    { "file": "top.txt", "text": "t" } ] } ] } ] })";

// Presses "&Stop" of the "Saving" window when the copy meets an unreadable
// sector, as a user would in the middle of a large file's copy; answers
// Skip All.
struct StopOnBadSector : test::FakePrompter {
  BadSectorChoice AskBadSector() override {
    QMetaObject::invokeMethod(
        qApp,
        [] {
          for (auto* w : QApplication::topLevelWidgets()) {
            if (auto* s = qobject_cast<SavingDialog*>(w); s && s->isVisible()) Button(s, "&Stop")->click();
          }
        },
        Qt::BlockingQueuedConnection);
    return BadSectorChoice::SkipAll;
  }
};

// The disk scanned into a tree, and a save flow over it. The sector
// reader's bad-sector question goes to `reading`; the save's own questions
// and messages to `prompter`.
struct Flow : ::testing::Test {
  explicit Flow(const char* description = kVolume) : built(description), reader(opener, reading) {
    EXPECT_TRUE(built.ok()) << built.error();
    opener.image = built.image();
    for (const auto& [first, last] : built.manifest().unreadable) opener.bad.Add(first, last);
    QuickPartitionScan(disk(), discovery.pools());
    discovery.OpenSelectedPool(prompter);
    ScanVolume(disk(), discovery.currentPool(), discovery.volumes()[0].rootSector, false, tree, nullptr);
  }
  DiskView disk() { return DiskView{&reader, std::string(kDevicePathTable[0])}; }
  SaveFlow MakeFlow(Prompter& asker) {
    return SaveFlow(SaveContext{disk(), discovery.currentPool(), tree, settings, destination, asker}, nullptr);
  }
  std::vector<SaveRow> RootRows(const std::set<std::string>& selected) const {
    std::vector<SaveRow> rows;
    for (const auto& row : ListFolder(tree, 0)) {
      rows.push_back({selected.count(row.name) > 0, row.folder, std::stoull(row.id), std::stoull(row.size)});
    }
    return rows;
  }
  std::set<std::string> Written() const {
    std::set<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out.path())) {
      if (e.is_regular_file()) files.insert(std::filesystem::relative(e.path(), out.path()).string());
    }
    return files;
  }
  test::BuiltImage built;
  test::ImageOpener opener;
  StopOnBadSector reading;
  SectorReader reader;
  Discovery discovery{disk()};
  test::FakePrompter prompter;
  RecoveryTree tree;
  SaveSettings settings;
  std::string destination;
  test::TempDir out;
};

TEST_F(Flow, ACancelledFileSavingWritesNothingAndSaysNothingAndOkKeepsTheFolder) {
  tree.ClickCheck(kRootItem);
  SaveFlow flow = MakeFlow(prompter);
  destination = "/somewhere/earlier";
  test::WhenModal<FileSavingDialog>([](FileSavingDialog& d) {
    EXPECT_EQ(d.windowTitle(), "File Saving");
    // The field starts empty even after an earlier save: a typed path is
    // never appended to the last one.
    EXPECT_EQ(d.findChild<QLineEdit*>("destination")->text(), "");
    Button(&d, "&Cancel")->click();
  });
  flow.Run(SaveSource::Tree);
  EXPECT_TRUE(Written().empty());
  EXPECT_TRUE(prompter.Asked().empty());
  EXPECT_EQ(destination, "");

  const QString folder = QString::fromStdString(out.path().string());
  test::WhenModal<FileSavingDialog>([folder](FileSavingDialog& d) {
    d.findChild<QLineEdit*>("destination")->setText(folder);
    Button(&d, "&OK")->click();
  });
  flow.Run(SaveSource::Tree);
  EXPECT_EQ(destination, out.path().string());  // kept for the next save
  EXPECT_EQ(Written().size(), 5u);
  EXPECT_TRUE(Written().count("Big/big.bin"));
}

TEST_F(Flow, InvertSelectionWithEveryRowSelectedWritesNothingAndSaysNothing) {
  settings.selectionMode = SelectionMode::InvertSelection;
  SaveFlow flow = MakeFlow(prompter);
  flow.Save(SaveSource::List, out.path(), RootRows({"Docs", "Big", "Later", "top.txt"}));
  EXPECT_TRUE(Written().empty());
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(Flow, AFolderRowWritesItsWholeSubtreeTickedOrNot) {
  SaveFlow flow = MakeFlow(prompter);
  flow.Save(SaveSource::List, out.path(), RootRows({"Docs"}));
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/a.txt", "Docs/b.doc", "Docs/Old/c.txt"}));
  EXPECT_EQ(flow.progress().Count(SaveOutcome::Written), 3u);
}

TEST_F(Flow, TickedHashesWriteTheirManifestsOfTheFilesWritten) {
  settings.hashes = {true, false, true};  // MD5 and SHA-256
  SaveFlow flow = MakeFlow(prompter);
  flow.Save(SaveSource::List, out.path(), RootRows({"Docs"}));
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/a.txt", "Docs/b.doc", "Docs/Old/c.txt", "MD5SUMS", "SHA256SUMS"}));
  // sha256sum of "a": the bytes as written.
  EXPECT_NE(test::ReadFile(out / "SHA256SUMS")
                .find("ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb  Docs/a.txt\n"),
            std::string::npos);
  EXPECT_NE(test::ReadFile(out / "MD5SUMS").find("0cc175b9c0f1b6a831c399e269772661  Docs/a.txt\n"), std::string::npos);
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(Flow, QuestionsOfTheWorkerAreAnsweredInTheWindowWhileItWaits) {
  // The window's prompter: the replace question comes up on the window's
  // thread; "No &to All" keeps both existing files.
  tree.ClickCheck(kRootItem);
  std::filesystem::create_directories(out / "Docs");
  std::ofstream(out / "Docs" / "a.txt") << "mine";
  std::ofstream(out / "Docs" / "b.doc") << "mine too";
  WindowPrompter window;
  int asked = 0;
  test::WhenModal<ReplaceFileDialog>([&](ReplaceFileDialog& d) {
    ++asked;
    EXPECT_EQ(d.windowTitle(), "Replace File Confirmation");
    EXPECT_TRUE(Button(&d, "&Yes")->isDefault());
    Button(&d, "No &to All")->click();
  });
  SaveFlow flow = MakeFlow(window);
  flow.Save(SaveSource::Tree, out.path(), {});
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(test::ReadFile(out / "Docs" / "a.txt"), "mine");
  EXPECT_EQ(test::ReadFile(out / "Docs" / "b.doc"), "mine too");
  EXPECT_TRUE(std::filesystem::exists(out / "Later" / "z.txt"));
  EXPECT_EQ(flow.progress().Count(SaveOutcome::Declined), 2u);
}

TEST(WindowPrompter, ClosingTheQuestionsGivesTheirSafeAnswers) {
  WindowPrompter prompter;
  test::WhenModal<ReplaceFileDialog>([](ReplaceFileDialog& d) { d.reject(); });
  test::WhenModal<WriteErrorDialog>([](WriteErrorDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Error Writing Destination");
    EXPECT_TRUE(Button(&d, "&Abort")->isDefault());
    d.reject();
  });
  std::atomic<bool> done{false};
  ReplaceChoice replace = ReplaceChoice::Yes;
  WriteErrorChoice write = WriteErrorChoice::Abort;
  std::thread worker([&] {
    replace = prompter.AskReplaceFile("/x/a.txt");
    write = prompter.AskWriteError("/x/a.txt");
    done = true;
  });
  EXPECT_TRUE(test::WaitFor([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(replace, ReplaceChoice::No);
  EXPECT_EQ(write, WriteErrorChoice::Skip);
}

struct BigFlow : Flow {
  BigFlow()
      : Flow(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "12MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Big", "items": [ { "file": "big.bin", "size": "8MiB" } ] },
    { "folder": "Later", "items": [ { "file": "z.txt", "text": "z" } ] } ] } ] } ],
  "unreadable": [ { "file": "P/V/Big/big.bin", "sector": 4100 } ] })") {}
};

TEST_F(BigFlow, StopDuringALargeFileRemovesItAndStartsNoFurtherFolder) {
  tree.ClickCheck(kRootItem);
  SaveFlow flow = MakeFlow(prompter);
  flow.Save(SaveSource::Tree, out.path(), {});  // returns once "Saving" has closed
  // Stopped part-way: the partial file takes no name, not even a temporary one.
  EXPECT_TRUE(std::filesystem::is_empty(out / "Big"));
  EXPECT_EQ(flow.progress().removedFiles, std::vector<std::filesystem::path>{out / "Big" / "big.bin"});
  EXPECT_GT(flow.progress().bytesRemoved, 2u << 20);
  EXPECT_LT(flow.progress().bytesRemoved, 8u << 20);
  EXPECT_FALSE(std::filesystem::exists(out / "Later"));
  EXPECT_EQ(flow.progress().Count(SaveOutcome::Skipped), 1u);
  EXPECT_FALSE(flow.progress().abortRun);  // cleared when the run ends
}

TEST(FileSaving, BrowsePutsTheChosenFolderIntoTheFieldAndTheDestination) {
  std::string destination;
  SaveSettings settings;
  test::FakePrompter prompter;
  FileSavingDialog d(destination, settings, prompter);
  auto* field = d.findChild<BrowseField*>("destination");
  ASSERT_NE(field, nullptr);
  QString title;
  field->setPicker([&](QWidget*, QString& folder, bool, const QString& t) {
    title = t;
    folder = "/chosen";
    return true;
  });
  Button(&d, "&Browse")->click();
  EXPECT_EQ(title, "Please specify a folder for Copying...");
  EXPECT_EQ(field->text(), "/chosen");
  EXPECT_EQ(destination, "/chosen");
  d.reject();  // "&Cancel" empties it again
  EXPECT_EQ(destination, "");
}

TEST(SavingWindow, HasNoCloseBoxIgnoresEscapeAndStopsOnEnter) {
  SaveProgress progress;
  SaveMailbox mailbox;
  SavingDialog d(progress, mailbox);
  EXPECT_EQ(d.windowTitle(), "Saving");
  EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
  d.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&d, &escape);
  d.close();
  EXPECT_TRUE(d.isVisible());
  EXPECT_TRUE(Button(&d, "&Stop")->isDefault());
  Button(&d, "S&kip")->click();
  EXPECT_TRUE(progress.skipFile);
  EXPECT_FALSE(progress.abortRun);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&d, &enter);
  EXPECT_TRUE(progress.abortRun);
  mailbox.SetProgress(37);
  mailbox.SetText(SaveField::ProgressText, "37% Completed");
  mailbox.SetText(SaveField::TotalFiles, "3 / 8");
  d.Refresh();
  EXPECT_EQ(d.progressText(), "37% Completed");
  EXPECT_EQ(d.progressValue(), 37);
  EXPECT_EQ(d.fieldText(SaveField::TotalFiles), "3 / 8");
  d.Finish();
  EXPECT_FALSE(d.isVisible());
}

TEST(SizeWindow, StopAsksAndOnlyYesEndsTheCountWhichClosesTheWindow) {
  std::atomic<std::uint32_t> files{41};
  std::atomic<bool> stop{false};
  test::FakePrompter prompter;
  prompter.yesNoAnswers = {false, true};
  SizeCalculationDialog d(files, stop, prompter);
  EXPECT_EQ(d.windowTitle(), "Calculating File Size");
  d.show();
  Button(&d, "Stop ")->click();
  EXPECT_FALSE(stop);
  EXPECT_TRUE(d.isVisible());
  Button(&d, "Stop ")->click();
  EXPECT_TRUE(stop);
  EXPECT_EQ(prompter.Asked().back().text, "Do you want to terminate this process?");
  files = 42;
  d.CountEnded();
  EXPECT_EQ(d.totalText(), "42");
  EXPECT_FALSE(d.isVisible());
}

}  // namespace
}  // namespace ov

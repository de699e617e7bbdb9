// "Save Log" and "Load Log" from the window: the file dialogs' choice, the
// core's path rule and checks, and what the window is told.

#include <gtest/gtest.h>

#include <fstream>

#include "nss/RecordScan.h"
#include "support/TestDisk.h"
#include "ui/dialogs/RecoveryInfoCommands.h"

namespace ov {
namespace {

constexpr const char* kVolume = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Docs", "items": [ { "file": "a.txt", "text": "a" }, { "folder": "Old" } ] },
    { "file": "top.txt", "text": "t" } ] } ] } ] })";

struct Window : LoadLogWindow {
  void BeginLoad() override { ++begun; }
  void EndLoad(bool ok, const ListRows& rows) override {
    ended.push_back(ok);
    rootRows = rows.size();
  }
  int begun = 0;
  std::vector<bool> ended;
  std::size_t rootRows = 0;
};

struct Logs : ::testing::Test {
  Logs() : disk(kVolume), discovery(disk.view()) {
    QuickPartitionScan(disk.view(), discovery.pools());
    discovery.OpenSelectedPool(disk.prompter);
    ScanVolume(disk.view(), discovery.currentPool(), discovery.volumes()[0].rootSector, false, tree, nullptr);
  }
  RecoveryInfoFileDialogs Choosing(const QString& save, const QStringList& open) {
    return {[save](QWidget*) { return save; }, [open](QWidget*) { return open; }};
  }
  QString In(const char* name) const { return QString::fromStdString((out / name).string()); }
  test::TestDisk disk;
  Discovery discovery;
  RecoveryTree tree;
  test::TempDir out;
  Window window;
};

TEST_F(Logs, ASavedLogLoadsBackIntoAFreshRunAndTheCancelledDialogsDoNothing) {
  EXPECT_FALSE(SaveLog(nullptr, discovery, tree, disk.prompter, Choosing("", {})));
  const auto saved = SaveLog(nullptr, discovery, tree, disk.prompter, Choosing(In("case1"), {}));
  ASSERT_TRUE(saved && *saved);
  EXPECT_EQ(saved->path, (out / "CASE1.SAV").string());
  EXPECT_TRUE(std::filesystem::exists(out / "CASE1.SAV"));

  Discovery fresh(disk.view());
  RecoveryTree loaded;
  EXPECT_FALSE(LoadLog(nullptr, window, fresh, loaded, disk.prompter, Choosing("", {})));
  EXPECT_EQ(window.begun, 0);
  const auto result =
      LoadLog(nullptr, window, fresh, loaded, disk.prompter, Choosing("", {In("other.sav"), In("CASE1.SAV")}));
  ASSERT_TRUE(result && *result);  // the last name chosen is taken
  EXPECT_EQ(window.ended, std::vector<bool>{true});
  EXPECT_EQ(window.rootRows, 2u);  // Docs and top.txt
  EXPECT_EQ(loaded.folderCount, tree.folderCount);
  EXPECT_EQ(loaded.fileCount, tree.fileCount);
  EXPECT_EQ(loaded.ItemPath(loaded.Item(loaded.Item(kRootItem).children[0]).children[0]), "Docs\\Old");
  EXPECT_EQ(fresh.currentPool().name, discovery.currentPool().name);
  EXPECT_TRUE(disk.prompter.Asked().empty());
}

TEST_F(Logs, ADamagedOrMissingFileIsRefusedWholeAndLeavesTheRunAsItWas) {
  ASSERT_TRUE(*SaveLog(nullptr, discovery, tree, disk.prompter, Choosing(In("good"), {})));
  // The saved file cut in the middle of its records.
  std::ifstream in(out / "GOOD.SAV", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::ofstream(out / "CUT.SAV", std::ios::binary) << bytes.substr(0, bytes.size() - 20);
  const std::uint32_t folders = tree.folderCount;
  const auto cut = LoadLog(nullptr, window, discovery, tree, disk.prompter, Choosing("", {In("CUT.SAV")}));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->status, RecoveryInfoStatus::Damaged);
  const auto missing = LoadLog(nullptr, window, discovery, tree, disk.prompter, Choosing("", {In("NONE.SAV")}));
  EXPECT_EQ(missing->status, RecoveryInfoStatus::CannotOpen);
  EXPECT_EQ(window.ended, (std::vector<bool>{false, false}));
  EXPECT_EQ(tree.folderCount, folders);
  EXPECT_EQ(tree.Item(kRootItem).children.size(), 1u);
  const auto messages = disk.prompter.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_FALSE(messages[0].empty());
  EXPECT_EQ(messages[1], "Unable to open file");
  EXPECT_EQ(disk.prompter.Asked()[1].icon, MessageIcon::Error);
}

}  // namespace
}  // namespace ov

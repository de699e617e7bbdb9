// The window on a screen too small for it: 1280 x 1024 pixels at twice the
// scale leave 640 x 512 for it. This program sets up that screen for itself
// (an offscreen screen of that size and the scale factor) before the
// application starts, so it runs apart from the other window tests.

#include <QApplication>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include <unistd.h>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/support/Screen.h"
#include "ui/window/FitCanvas.h"
#include "ui/window/MainWindow.h"
#include "ui/window/Wizard.h"

namespace ov::window::test {
namespace {

using ov::test::Screen;

struct Parts {
  WindowPrompter prompter;
};
struct TestSession : Parts, Session {
  TestSession() : Session(Parts::prompter) {}
};

// A run as if installed in a folder of its own, with a registry of its own.
struct InstalledRun {
  ov::test::TempDir dir;
  ov::test::ScopedEnv env;
  InstalledRun() {
    env.Set("OVNSS_REGISTRY", (dir / "registry.txt").string()).Set("OVNSS_TEMP_DIR", dir.path().string());
    FileRegistry r(dir / "registry.txt");
    r.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
    r.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", dir.path().string());
  }
};

TEST(SmallScreen, TheWindowFitsAndEveryControlCanBeReached) {
  InstalledRun run;
  TestSession session;
  session.Inventory(std::filesystem::path(OVNSS_SAMPLE_DISK));
  MainWindow window(session, OVNSS_BIN_DIR);
  window.show();
  QApplication::processEvents();
  const QRect room = window.screen()->availableGeometry();
  ASSERT_EQ(room.size(), QSize(640, 512));
  EXPECT_TRUE(room.contains(window.frameGeometry())) << window.frameGeometry().width() << "x"
                                                      << window.frameGeometry().height();
  // The trees and the list gave up the room; the buttons can be clicked.
  for (int id : {kNextButton, kDiskTree, kDetailsList, kQuickButton, kRawButton}) {
    QWidget* w = window.elements().widget(id);
    EXPECT_TRUE(Screen::Reaches(w, Screen::Middle(w))) << id;
    EXPECT_TRUE(window.centralWidget()->rect().contains(w->geometry())) << id;
  }
  EXPECT_LT(window.elements().widget(kDetailsList)->height(), 280);
}

TEST(SmallScreen, ThePoolSegmentRowsOfTwoDisksWrapInsideTheList) {
  InstalledRun run;
  TestSession session;
  session.Inventory(std::filesystem::path(OVNSS_SAMPLE_POOL_DISK_1));
  session.Inventory(std::filesystem::path(OVNSS_SAMPLE_POOL_DISK_2));
  MainWindow window(session, OVNSS_BIN_DIR);
  window.show();
  QApplication::processEvents();
  Wizard& w = window.wizard();
  QTreeWidgetItem* root = w.diskTree()->topLevelItem(0);
  QTreeWidgetItem* last = nullptr;
  for (int i = 0; i < root->childCount(); ++i) {
    const std::string text = root->child(i)->text(0).toStdString();
    for (const char* image : {OVNSS_SAMPLE_POOL_DISK_1, OVNSS_SAMPLE_POOL_DISK_2}) {
      if (session.DiskNameOf(image) == text) (last = root->child(i))->setSelected(true);
    }
  }
  ASSERT_TRUE(last);
  w.ClickDisk(last);
  ASSERT_EQ(w.pickedDisks().size(), 2);
  w.ChooseMode(RecoveryMode::Quick);
  w.Next();
  ASSERT_EQ(w.step(), 1);
  QTreeWidgetItem* span = w.poolTree()->topLevelItem(0)->child(1);
  ASSERT_EQ(span->text(0), "SPAN");
  w.ClickPool(span);
  QApplication::processEvents();
  // Every row is seen whole: a segment row takes more lines, not more width.
  QTreeView* list = w.detailsList();
  const QModelIndex name = list->model()->index(0, 0), segment = list->model()->index(2, 0);
  ASSERT_TRUE(segment.data().toString().startsWith("Segment 0"));
  EXPECT_GT(list->visualRect(segment).height(), list->visualRect(name).height() * 3 / 2);
  EXPECT_LE(list->visualRect(segment).right(), list->viewport()->width());
  // Back to one disk: the list is as it always was.
  w.Back();
  w.diskTree()->setCurrentItem(last);
  w.ClickDisk(last);
  ASSERT_EQ(w.pickedDisks().size(), 1);
  EXPECT_FALSE(list->wordWrap());
  EXPECT_EQ(list->columnWidth(0), 500);
}

TEST(SmallScreen, SizeForKeepsTheDrawnSizeWhereItFits) {
  EXPECT_EQ(FitCanvas::SizeFor({760, 522}, {1000, 900}), QSize(760, 522));
  EXPECT_EQ(FitCanvas::SizeFor({760, 522}, {620, 430}), QSize(620, 430));
  EXPECT_EQ(FitCanvas::SizeFor({760, 522}, {300, 200}), FitCanvas::kSmallest);
  EXPECT_EQ(FitCanvas::Fit({652, 486, 100, 30}, kDown | kRight, {760, 522}, {620, 430}), QRect(512, 394, 100, 30));
  EXPECT_EQ(FitCanvas::Fit({250, 168, 502, 280}, kWide | kTall, {760, 522}, {620, 430}), QRect(250, 138, 362, 218));
}

}  // namespace
}  // namespace ov::window::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> app;
  if (!GTEST_FLAG_GET(list_tests)) {
    // A 1280 x 1024 screen at twice the scale, whatever platform was named.
    const std::string config = (std::filesystem::temp_directory_path() / ("ovnss-fit-screen-" + std::to_string(getpid()) + ".json")).string();
    std::ofstream(config) << R"({ "screens": [ { "name": "small", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config));
    qputenv("QT_SCALE_FACTOR", "2");
    app = std::make_unique<QApplication>(argc, argv);
    std::filesystem::remove(config);
  }
  return RUN_ALL_TESTS();
}

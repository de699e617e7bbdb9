#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>

#include <map>
#include <set>

#include "support/Files.h"

#include "ui/dialogs/SaveCommands.h"
#include "ui/window/Menus.h"
#include "ui/window/Views.h"
#include "WindowFixture.h"

namespace ov::window::test {
namespace {

TEST(Clock, TwelveHourDialWithZeroKept) {
  EXPECT_EQ(ClockText(0, 5), "00:05");
  EXPECT_EQ(ClockText(12, 30), "12:30");
  EXPECT_EQ(ClockText(13, 7), "01:07");
  EXPECT_EQ(ClockText(23, 59), "11:59");
}

TEST(StartUp, EmptyOrMissingInstallFolderRefuses) {
  RegistryStore r;
  EXPECT_FALSE(InstalledPath(r));
  r.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  r.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", "");
  EXPECT_FALSE(InstalledPath(r));
  r.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", "/opt/ovnss");
  EXPECT_EQ(InstalledPath(r), std::filesystem::path("/opt/ovnss"));
}

TEST(StepPictures, ByCodeAndMode) {
  EXPECT_EQ(StepPictureFile(4, RecoveryMode::Quick), "help4.bmp");
  EXPECT_EQ(StepPictureFile(4, RecoveryMode::Advance), "help4old.bmp");
  EXPECT_EQ(StepPictureFile(6, RecoveryMode::Raw), "SelectPoolAdvance.bmp");
  EXPECT_EQ(StepPictureFile(8, RecoveryMode::Advance), "SelectVolumeAdvance.bmp");
  EXPECT_EQ(StepPictureFile(9, RecoveryMode::Quick), "step6_1.bmp");
  EXPECT_FALSE(StepPictureFile(9, RecoveryMode::Raw));  // unchanged
  EXPECT_EQ(StepPictureFile(101, RecoveryMode::Quick), "mount7Advance.bmp");
  EXPECT_FALSE(StepPictureFile(2'000, RecoveryMode::Quick));
  // Every picture is drawn by the build.
  for (auto name : AllStepPictureFiles()) {
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(OVNSS_BIN_DIR) / std::string(name))) << name;
  }
}

TEST(Menus, ItemsIdsTextsAndGrayedAtStart) {
  std::map<int, std::string> texts;
  std::set<int> grayed;
  for (const auto& menu : MenuBar102()) {
    for (const auto& item : menu.items) {
      if (item.id <= 0) continue;
      texts[item.id] = std::string(item.text);
      if (item.grayed) grayed.insert(item.id);
      EXPECT_FALSE(item.prompt.empty()) << item.id;
    }
  }
  EXPECT_EQ(texts[32776], "&Save ");
  EXPECT_EQ(texts[32838], "Save Se&ttings");
  EXPECT_EQ(texts[32858], "Save Log");
  EXPECT_EQ(texts[32859], "Load Log");
  EXPECT_EQ(texts[57665], "E&xit");
  EXPECT_EQ(texts[32844], "View Report");
  EXPECT_EQ(texts[32846], "Email Report");
  EXPECT_EQ(texts[32852], "View");
  EXPECT_EQ(texts[32853], "Print");
  EXPECT_EQ(texts[32855], "Email List");
  EXPECT_EQ(texts[32847], "Online");
  EXPECT_EQ(texts[32848], "Email");
  EXPECT_EQ(texts[32849], "Telephonic");
  EXPECT_EQ(texts[32802], "&Contents        ");
  EXPECT_EQ(texts[32851], "&Show Balloon Help");
  EXPECT_EQ(texts[40003], "&About");
  EXPECT_EQ(texts[32860], "Dutch");
  EXPECT_EQ(texts[32863], "German");
  EXPECT_EQ(texts[16], "&About Orlindavestrum for NSS");
  EXPECT_EQ(grayed, (std::set<int>{32776, 32838, 32858, 32859, 32852, 32853, 32855}));
}

using Views = WindowFixture;

TEST_F(Views, FrameAtStart) {
  EXPECT_EQ(window->windowTitle(), "Orlindavestrum For NSS");
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_TRUE(window->clockRunning());
  EXPECT_TRUE(window->clock()->text().contains(QRegularExpression("^\\d\\d:\\d\\d$")));
  EXPECT_TRUE(el().command(kCmdBalloonHelp)->isChecked());
  EXPECT_EQ(el().pictureFile(), "Step1.bmp");
  EXPECT_EQ(wizard().diskTree()->topLevelItem(0)->text(0), "My Computer");
  EXPECT_EQ(wizard().detailsModel().headerData(0, Qt::Horizontal).toString(), QString(69, ' ') + "Details");
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) EXPECT_FALSE(Enabled(id));
  EXPECT_FALSE(Visible(kBackButton));
  EXPECT_FALSE(Visible(kMoreButton));
  EXPECT_FALSE(Visible(kKindGroup));
  // The start block is logged in the installation folder.
  EXPECT_NE(ov::test::ReadFile(dir_ / "ActivityLog.txt").find("-----------------------Start--------------------------"),
            std::string::npos);
}

// Each view's row of the table, applied by id: every change it names holds
// afterwards, whatever the elements were before.
TEST_F(Views, EachCodeAppliesItsRow) {
  for (RecoveryMode mode : {RecoveryMode::Quick, RecoveryMode::Advance}) {
    for (int code : ViewCodes()) {
      // Start from the opposite of every change.
      for (const ViewChange& c : ViewChanges(code)) {
        if (QWidget* w = el().widget(c.id)) {
          if (c.change == Change::Show || c.change == Change::Hide) w->setVisible(c.change == Change::Hide);
          if (c.change == Change::Enable || c.change == Change::Disable) w->setEnabled(c.change == Change::Disable);
        } else if (QAction* a = el().command(c.id)) {
          a->setEnabled(c.change == Change::Disable);
        }
      }
      el().ShowView(code, mode);
      for (const ViewChange& c : ViewChanges(code)) {
        if (!Applies(c, mode)) continue;
        SCOPED_TRACE(testing::Message() << "view " << code << " element " << c.id);
        QWidget* w = el().widget(c.id);
        QAction* a = el().command(c.id);
        ASSERT_TRUE(w || a || c.change == Change::Picture);
        if (c.change == Change::Show) {
          EXPECT_TRUE(w->isVisibleTo(window.get()));
        }
        if (c.change == Change::Hide) {
          EXPECT_FALSE(w->isVisibleTo(window.get()));
        }
        if (c.change == Change::Enable) {
          EXPECT_TRUE(w ? w->isEnabled() : a->isEnabled());
        }
        if (c.change == Change::Disable) {
          EXPECT_FALSE(w ? w->isEnabled() : a->isEnabled());
        }
        if (c.change == Change::EmptyText) {
          EXPECT_TRUE(qobject_cast<QLabel*>(w)->text().isEmpty());
        }
      }
    }
  }
}

TEST_F(Views, RowsThatDependOnTheMode) {
  el().ShowView(0, RecoveryMode::Quick);
  EXPECT_FALSE(Visible(kStopButton));
  EXPECT_EQ(el().pictureFile(), "help4.bmp");
  EXPECT_TRUE(CommandEnabled(kCmdLoadLog));
  el().ShowView(0, RecoveryMode::Advance);
  EXPECT_TRUE(Visible(kStopButton));
  EXPECT_TRUE(Visible(kSearchProgress));
  EXPECT_EQ(el().as<QLabel>(kStatusLine)->text(), "Searching Partitions");
  EXPECT_EQ(el().pictureFile(), "help4old.bmp");
  el().ShowView(6, RecoveryMode::Quick);
  EXPECT_EQ(el().pictureFile(), "step6_1.bmp");
  for (int id : {kCmdSave, kCmdSaveLog, kCmdSaveSettings, kCmdViewList, kCmdPrintList, kCmdEmailList}) {
    EXPECT_TRUE(CommandEnabled(id)) << id;
  }
  el().ShowView(7, RecoveryMode::Advance);
  EXPECT_EQ(el().pictureFile(), "SelectPoolAdvance.bmp");
  EXPECT_FALSE(CommandEnabled(kCmdSave));
  el().ShowView(8, RecoveryMode::Raw);
  EXPECT_EQ(el().pictureFile(), "Step4_1.bmp");
  EXPECT_TRUE(window->rawForm()->findChild<QRadioButton*>("entireDisk")->isChecked());
}

TEST_F(Views, OtherCodesChangeNothingAndMissingPicturesLeaveItEmpty) {
  EXPECT_TRUE(ViewChanges(2).empty());
  EXPECT_TRUE(ViewChanges(11).empty());
  el().ShowView(2, RecoveryMode::Quick);
  EXPECT_EQ(el().pictureFile(), "Step1.bmp");
  el().installPath = dir_.path();
  el().ShowStepPicture(2, RecoveryMode::Quick);
  EXPECT_EQ(el().pictureFile(), "");
  EXPECT_TRUE(el().as<QLabel>(kPicture)->pixmap().isNull());
}

}  // namespace
}  // namespace ov::window::test

namespace ov::window::test {
namespace {

// The view table grays and enables "Save Log" and "Load Log" where the
// recovery information rules say, and nowhere else.
TEST(RecoveryInfoItems, TheViewTableFollowsTheRules) {
  for (int code : ViewCodes()) {
    std::optional<bool> saveLog, loadLog;
    for (const ViewChange& c : ViewChanges(code)) {
      if (c.change != Change::Enable && c.change != Change::Disable) continue;
      if (c.id == kCmdSaveLog) saveLog = c.change == Change::Enable;
      if (c.id == kCmdLoadLog) loadLog = c.change == Change::Enable;
    }
    const RecoveryInfoItems rules = RecoveryInfoItemsForView(code);
    EXPECT_EQ(saveLog, rules.saveLog) << "view " << code;
    EXPECT_EQ(loadLog, rules.loadLog) << "view " << code;
  }
}

}  // namespace
}  // namespace ov::window::test

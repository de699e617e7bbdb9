#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <thread>

#include "support/BuiltImage.h"
#include "support/Files.h"
#include "ui/window/ModeButton.h"
#include "WindowFixture.h"

namespace ov::window::test {
namespace {

using Steps = WindowFixture;

bool Checked(Elements& e, int id) { return e.as<QAbstractButton>(id)->isChecked(); }

TEST_F(Steps, DiskClickThenModeChoice) {
  PickSampleDisk();
  EXPECT_EQ(el().pictureFile(), "Step2.bmp");
  EXPECT_EQ(wizard().detailsModel().rowCount(), 7);
  EXPECT_TRUE(wizard().detailsModel().item(0)->text().startsWith("Physical Disk Number : "));
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) EXPECT_TRUE(Enabled(id));
  EXPECT_FALSE(Enabled(kNextButton));
  // The pointer over a mode button chooses it; the last choice clears the others.
  emit qobject_cast<ModeButton*>(el().widget(kAdvanceButton))->hovered();
  EXPECT_EQ(wizard().mode(), RecoveryMode::Advance);
  wizard().ChooseMode(RecoveryMode::Quick);
  EXPECT_EQ(wizard().mode(), RecoveryMode::Quick);
  EXPECT_TRUE(Checked(el(), kQuickButton));
  EXPECT_FALSE(Checked(el(), kAdvanceButton));
  EXPECT_TRUE(Enabled(kNextButton));
  EXPECT_EQ(el().pictureFile(), "Step3.bmp");
}

TEST_F(Steps, ModeButtonsSwallowTheLeftButtonPress) {
  PickSampleDisk();
  auto* quick = el().as<QAbstractButton>(kQuickButton);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), quick->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), quick->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(quick, &press);
  QApplication::sendEvent(quick, &release);
  EXPECT_EQ(wizard().mode(), RecoveryMode::None);
  quick->setFocus();
  quick->click();  // as the keyboard's space does
  EXPECT_EQ(wizard().mode(), RecoveryMode::Quick);
}

TEST_F(Steps, QuickPoolsVolumesAndTree) {
  ToPools();
  EXPECT_EQ(wizard().poolTree()->topLevelItem(0)->text(0).left(5), "Disk ");
  ASSERT_GE(wizard().poolTree()->topLevelItem(0)->childCount(), 2);
  EXPECT_TRUE(Visible(kPoolTree));
  EXPECT_TRUE(Visible(kBackButton) && Enabled(kBackButton));
  EXPECT_FALSE(Enabled(kNextButton));
  EXPECT_TRUE(Visible(kMoreButton));
  const std::string log = ov::test::ReadFile(dir_ / "ActivityLog.txt");
  EXPECT_NE(log.find("Selected Mode : QUICK\r\nTotal Partitions Found : 0"), std::string::npos);
  wizard().ClickPool(Child(wizard().poolTree(), 0));
  EXPECT_TRUE(Enabled(kNextButton));
  EXPECT_TRUE(wizard().detailsModel().item(0)->text().startsWith("Pool Name   :  "));
  EXPECT_TRUE(wizard().detailsModel().item(1)->text().startsWith("Pool Size      :   "));
  wizard().Next();
  EXPECT_EQ(wizard().step(), 2);
  EXPECT_EQ(wizard().volumeTree()->topLevelItem(0)->text(0), "volumes");
  EXPECT_FALSE(Visible(kPoolTree));
  EXPECT_TRUE(Visible(kVolumeTree));
  wizard().ClickVolume(Child(wizard().volumeTree(), 0));
  EXPECT_TRUE(wizard().detailsModel().item(0)->text().startsWith("Volume Name   :  "));
  wizard().Next();
  EXPECT_TRUE(wizard().workerRunning() || wizard().step() == 3);
  ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  EXPECT_TRUE(Visible(kFolderTree) && Enabled(kFolderTree));
  EXPECT_EQ(el().pictureFile(), "step6_1.bmp");
  EXPECT_EQ(el().as<QLabel>(kPathText)->text(), "\\");
  EXPECT_EQ(wizard().fileModel().columnCount(), 6);
  EXPECT_GT(wizard().fileModel().rowCount(), 0);
  EXPECT_TRUE(CommandEnabled(kCmdSave));
  // "&Next" at the last step does nothing.
  wizard().Next();
  EXPECT_EQ(wizard().step(), 3);
}

TEST_F(Steps, AdvanceSearchRunsOffTheWindowThread) {
  PickSampleDisk();
  wizard().ChooseMode(RecoveryMode::Advance);
  const int before = Elements::foreignThreadCalls();
  wizard().Next();
  EXPECT_EQ(wizard().step(), 0);  // the step moves when the search ends
  EXPECT_TRUE(Visible(kStopButton));
  ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 1; }));
  EXPECT_FALSE(Visible(kStopButton));
  EXPECT_EQ(el().pictureFile(), "SelectPoolAdvance.bmp");
  EXPECT_EQ(wizard().poolTree()->topLevelItem(0)->childCount(), 2);
  EXPECT_EQ(Elements::foreignThreadCalls(), before);
}

TEST_F(Steps, StopSearchingAsksAndStops) {
  PickSampleDisk();
  wizard().ChooseMode(RecoveryMode::Advance);
  answer = true;
  wizard().Next();
  wizard().StopSearching();
  if (!questions.empty()) {
    EXPECT_EQ(questions.back(), "          Do you want to stop the current process ?");
  }
  ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 1; }));
}

TEST_F(Steps, SearchMorePartitionsListsTheExt2Entry) {
  ToPools();
  wizard().SearchMorePartitions();
  EXPECT_FALSE(Enabled(kPoolTree));
  ASSERT_TRUE(WaitUntil([&] { return !wizard().workerRunning(); }));
  QApplication::processEvents();
  EXPECT_TRUE(Enabled(kPoolTree));
  EXPECT_FALSE(Visible(kMoreProgress));
  QTreeWidgetItem* root = wizard().poolTree()->topLevelItem(0);
  EXPECT_TRUE(root->child(root->childCount() - 1)->text(0).startsWith("Mac Partition "));
  // An ext2 entry selects nothing.
  wizard().ClickPool(root->child(root->childCount() - 1));
  EXPECT_FALSE(Enabled(kNextButton));
}

TEST_F(Steps, BackFromEachStep) {
  ToTree();
  wizard().Back();
  EXPECT_EQ(wizard().step(), 2);
  EXPECT_EQ(session->tree.folders().size(), 0u);  // the lists are freed
  EXPECT_TRUE(Visible(kVolumeTree));
  EXPECT_FALSE(Visible(kFolderTree));
  EXPECT_FALSE(CommandEnabled(kCmdSave));
  EXPECT_EQ(wizard().detailsModel().columnCount(), 1);
  wizard().Back();
  EXPECT_EQ(wizard().step(), 1);
  EXPECT_TRUE(Visible(kPoolTree) && Enabled(kPoolTree));
  EXPECT_FALSE(Visible(kVolumeTree));
  wizard().Back();
  EXPECT_EQ(wizard().step(), 0);
  EXPECT_TRUE(Visible(kDiskTree) && Visible(kSelectDiskGroup) && Visible(kModesGroup));
  EXPECT_FALSE(Visible(kBackButton));
  EXPECT_FALSE(Visible(kPoolTree));
  // "&Back" at the first step does nothing.
  wizard().Back();
  EXPECT_EQ(wizard().step(), 0);
}

TEST_F(Steps, RawNextBackReturnsModeButtonsDisabledAndCleared) {
  PickSampleDisk();
  wizard().ChooseMode(RecoveryMode::Raw);
  wizard().Next();
  EXPECT_EQ(wizard().step(), 1);
  RawFormPanel* raw = window->rawForm();
  EXPECT_TRUE(Visible(kKindGroup) && Visible(kBackButton));
  EXPECT_FALSE(Visible(kDetailsList));
  EXPECT_EQ(raw->findChild<QTreeWidget*>("kinds")->topLevelItem(0)->text(0), "Microsoft Word File(s) (.DOC)");
  auto* end = raw->findChild<QLineEdit*>("endSector");
  raw->findChild<QRadioButton*>("sectorRange")->click();
  EXPECT_EQ(raw->findChild<QLineEdit*>("startSector")->text(), "0");
  EXPECT_EQ(end->text(), "131072");  // the picked disk's 64 MiB in sectors
  EXPECT_TRUE(end->isEnabled());
  raw->findChild<QRadioButton*>("entireDisk")->click();
  EXPECT_TRUE(end->text().isEmpty());
  EXPECT_FALSE(end->isEnabled());
  wizard().Back();
  EXPECT_EQ(wizard().step(), 0);
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) {
    EXPECT_TRUE(Visible(id));
    EXPECT_FALSE(Enabled(id));
    EXPECT_FALSE(Checked(el(), id));
  }
  EXPECT_FALSE(Visible(kBackButton));
  EXPECT_FALSE(Visible(kKindGroup));
  EXPECT_TRUE(Visible(kDetailsList));
  const std::string log = ov::test::ReadFile(dir_ / "ActivityLog.txt");
  EXPECT_NE(log.find("Selected Mode : Raw"), std::string::npos);
}

TEST_F(Steps, SecondNextReplacesThePoolTreeAndLoadLogFollowsTheDiskStep) {
  EXPECT_FALSE(CommandEnabled(kCmdLoadLog));
  ToPools();
  EXPECT_TRUE(CommandEnabled(kCmdLoadLog));
  const int pools = wizard().poolTree()->topLevelItem(0)->childCount();
  wizard().Back();
  EXPECT_FALSE(CommandEnabled(kCmdLoadLog));
  ToPools();
  EXPECT_EQ(wizard().poolTree()->topLevelItemCount(), 1);
  EXPECT_EQ(wizard().poolTree()->topLevelItem(0)->childCount(), pools);
}

TEST_F(Steps, ExitAnsweredNoKeepsEverythingYesEnds) {
  ToTree();
  const auto folders = session->tree.folders().size();
  bool ended = false;
  QObject::connect(&wizard(), &Wizard::exitConfirmed, [&] { ended = true; });
  answer = false;
  EXPECT_FALSE(wizard().Exit());
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "Do you want to exit from Orlindavestrum for  NSS ?");
  EXPECT_EQ(wizard().step(), 3);
  EXPECT_EQ(session->tree.folders().size(), folders);
  EXPECT_GT(wizard().fileModel().rowCount(), 0);
  EXPECT_FALSE(ended);
  // The close box asks the same question.
  window->close();
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_TRUE(window->isVisible());
  answer = true;
  EXPECT_TRUE(wizard().Exit());
  EXPECT_TRUE(ended);
  EXPECT_EQ(session->tree.folders().size(), 0u);
}

TEST_F(Steps, SaveButtonBeforeStepTwoSaysWhere) {
  bool shown = false;
  QTimer::singleShot(0, [&] {
    WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text() == "Go to step 2 and then use this option";
      box->accept();
    }
  });
  wizard().SaveButton();
  EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace ov::window::test

namespace ov::window::test {
namespace {

TEST_F(Steps, AnOpenedImageBecomesTheNextDiskAtTheFirstStepOnly) {
  ov::test::BuiltImage image(R"({"size": "1MiB"})");
  ASSERT_TRUE(image.ok()) << image.error();
  const int disks = wizard().diskTree()->topLevelItem(0)->childCount();
  EXPECT_TRUE(wizard().AttachImage(QString::fromStdString(image.image().string())));
  EXPECT_EQ(wizard().diskTree()->topLevelItem(0)->childCount(), disks + 1);
  EXPECT_TRUE(session->DiskNameOf(image.image()));
  ToPools();
  EXPECT_FALSE(wizard().AttachImage(QString::fromStdString(image.image().string())));
  EXPECT_FALSE(CommandEnabled(kCmdOpenImage));
}

}  // namespace
}  // namespace ov::window::test

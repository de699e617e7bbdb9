// The installer's windows, offscreen: what each shows and what its buttons do.

#include <gmock/gmock.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include "widgets/BrowseField.h"
#include "widgets/PercentProgressBar.h"
#include <QPushButton>
#include <QTest>

#include "setup/FolderStep.h"
#include "setup/LanguageStep.h"
#include "setup/ProgressWindow.h"
#include "SetupFixture.h"

namespace ov::setup::test {
namespace {

using ::testing::ElementsAre;

TEST(SetupLanguageWindow, OffersTheFourLanguagesWithTheFirstSelected) {
  LanguageStep step;
  EXPECT_EQ(step.windowTitle(), "Orlindavestrum");
  QStringList items;
  for (int i = 0; i < step.List()->count(); ++i) items << step.List()->itemText(i);
  EXPECT_EQ(items, (QStringList{"Dutch", "English", "French", "German"}));
  EXPECT_EQ(step.Language(), "Dutch");
  EXPECT_TRUE(step.findChild<QPushButton*>("next")->isDefault());
  step.show();
  step.findChild<QPushButton*>("exit")->click();
  EXPECT_EQ(step.result(), LanguageStep::Exit);
}

TEST(SetupFolderWindow, ACancelledPickerWithAnEmptyFieldChangesNothing) {
  Sandbox box;
  auto setup = box.Ready();
  FolderStep step(*setup);
  QString start;
  step.SetPicker([&](QWidget*, QString& folder, const QString& title) {
    EXPECT_EQ(title, "Please specify a folder for Copying...");
    start = folder;
    return false;
  });
  step.Browse();
  EXPECT_EQ(step.Display()->text().toStdString(), box.Install().string());
  EXPECT_TRUE(step.Field()->text().isEmpty());
  EXPECT_TRUE(box.dialogs.Boxes().empty());
  // The picker opened where the folder shown lies, not in the source folder;
  // when that folder is gone, at the nearest one above it.
  EXPECT_EQ(start.toStdString(), box.Install().parent_path().string());
  fs::remove_all(box.Install().parent_path());
  step.Browse();
  EXPECT_EQ(start.toStdString(), box.dir.path().string());
}

TEST(SetupFolderWindow, APickedFolderIsShownWithTheProductFolderAndNextAcceptsIt) {
  Sandbox box;
  auto setup = box.Ready();
  FolderStep step(*setup);
  step.show();
  EXPECT_TRUE(step.Field()->isHidden());
  EXPECT_FALSE(step.BrowseButton()->isHidden());
  EXPECT_GE(step.BrowseButton()->geometry().left(), step.Display()->geometry().right());
  EXPECT_EQ(step.BrowseButton()->width(), (step.Field()->height() * 8) / 10 + 35);
  EXPECT_LE(step.BrowseButton()->geometry().right(), step.rect().right());
  const QString picked = QString::fromStdString((box.dir / "apps").string());
  fs::create_directories(box.dir / "apps");
  step.SetPicker([&](QWidget*, QString& folder, const QString&) {
    folder = picked;
    return true;
  });
  step.Browse();
  EXPECT_EQ(step.Display()->text(), picked + "/Orlindavestrum for NSS");
  step.NextButton()->click();
  EXPECT_EQ(step.result(), QDialog::Accepted);
  EXPECT_TRUE(fs::is_directory(box.dir / "apps" / "Orlindavestrum for NSS"));
}

TEST(SetupFolderWindow, EscapeAsksToQuitAndNoKeepsTheStepOpen) {
  Sandbox box;
  auto setup = box.Ready();
  FolderStep step(*setup);
  step.show();
  box.dialogs.Answer(false);
  QTest::keyClick(&step, Qt::Key_Escape);
  EXPECT_TRUE(step.isVisible());
  QTest::keyClick(&step, Qt::Key_Escape);
  EXPECT_FALSE(step.isVisible());
  EXPECT_EQ(step.result(), FolderStep::Quit);
  EXPECT_EQ(box.dialogs.Boxes().size(), 2u);
}

TEST(SetupProgressWindow, TheInstallThreadDrivesTheBarAndCaptionThenTheWindowCloses) {
  Sandbox box;
  fs::remove(box.Source() / "Portio01.vxd");
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  const auto texts = setup->LoadProgressTexts();
  ASSERT_TRUE(texts);
  ProgressWindow window(*setup, *texts);
  EXPECT_EQ(window.Group()->title(), "Text 8");
  EXPECT_EQ(window.HiddenLabel()->text(), "Text 92");
  EXPECT_TRUE(window.HiddenLabel()->isHidden());
  EXPECT_EQ(window.PercentLabel()->text(), "0 %");
  window.show();
  QElapsedTimer clock;
  clock.start();
  while (window.isVisible() && clock.elapsed() < 10000) QTest::qWait(10);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.Outcome(), InstallOutcome::Incomplete);
  EXPECT_EQ(window.Bar()->position(), 10);
  EXPECT_EQ(window.PercentLabel()->text(), "10 %");
  EXPECT_EQ(window.Group()->title(), "Installation Not Completed Successfully");
  EXPECT_EQ(setup->State(), kStateFinished);
}

}  // namespace
}  // namespace ov::setup::test

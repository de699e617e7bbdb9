// The raw form over a built disk: a scan from its button on the worker, the
// result list while it runs, the controls afterwards, and Stop.

#include <QLabel>
#include <QLineEdit>
#include "widgets/PercentProgressBar.h"
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "support/TestDisk.h"
#include "ui/dialogs/RawFormPanel.h"

namespace ov {
namespace {

// A 64 MiB disk holding a Word document and a Zip archive.
constexpr const char* kDocuments = R"({ "size": "64MiB", "documents": [
    { "kind": "word", "size": "22KiB", "at": 1600 },
    { "kind": "zip", "size": "30KiB", "at": 120000 } ] })";

struct RawPanel : ::testing::Test {
  RawPanel() : disk(kDocuments), panel(disk.prompter, [this] { return out.path(); }) {
    panel.SetDisk(disk.view(), 131072, 0);
    panel.Open();
  }
  template <typename W>
  W* Find(const char* name) {
    auto* w = panel.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Tick(int row) { Find<QTreeWidget>("kinds")->topLevelItem(row)->setCheckState(0, Qt::Checked); }
  bool WaitForEnd() { return test::WaitFor([this] { return !panel.scanning(); }); }

  test::TestDisk disk;
  test::TempDir out;
  RawFormPanel panel;
};

TEST_F(RawPanel, OpensWithItsRowsAndTextsAndFillsTheRangeFields) {
  auto* kinds = Find<QTreeWidget>("kinds");
  ASSERT_EQ(kinds->topLevelItemCount(), 4);
  EXPECT_EQ(kinds->headerItem()->text(0), "File Types");
  EXPECT_EQ(kinds->topLevelItem(0)->text(0), "Microsoft Word File(s) (.DOC)");
  EXPECT_EQ(kinds->topLevelItem(3)->text(0), "Compressed File(s) (.Zip)");
  // Each check box keeps a margin from the list's left edge and from the
  // boxes of the rows above and below.
  const int box = kinds->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, kinds);
  for (int row = 0; row < 4; ++row) {
    const QRect r = kinds->visualItemRect(kinds->topLevelItem(row));
    EXPECT_GE(r.height(), box + 4) << row;
  }
  EXPECT_GE(kinds->itemDelegate()->sizeHint(QStyleOptionViewItem(), kinds->model()->index(0, 0)).width(),
            QStyledItemDelegate().sizeHint(QStyleOptionViewItem(), kinds->model()->index(0, 0)).width() + 4);
  EXPECT_EQ(Find<QTreeWidget>("results")->headerItem()->text(0), QString(51, ' ') + "Files Recovered");
  EXPECT_EQ(Find<QPushButton>("start")->text(), "Start &Recovery");
  EXPECT_TRUE(Find<QRadioButton>("entireDisk")->isChecked());
  EXPECT_FALSE(Find<QLineEdit>("endSector")->isEnabled());
  EXPECT_FALSE(Find<PercentProgressBar>("progress")->isVisibleTo(&panel));
  EXPECT_EQ(Find<PercentProgressBar>("progress")->text(), "0 % Completed");
  Find<QRadioButton>("sectorRange")->click();
  EXPECT_EQ(Find<QLineEdit>("startSector")->text(), "0");
  EXPECT_EQ(Find<QLineEdit>("endSector")->text(), "131072");
  EXPECT_TRUE(Find<QLineEdit>("endSector")->isEnabled());
  panel.Press();  // nothing ticked
  EXPECT_EQ(disk.prompter.Messages(), std::vector<std::string>{"Please select file type for recovery"});
}

TEST_F(RawPanel, AScanWritesTheTickedKindsAndGivesTheFormBack) {
  Tick(3);
  std::vector<QString> buttonTexts;
  QObject::connect(&panel, &RawFormPanel::scanningChanged,
                   [&](bool) { buttonTexts.push_back(Find<QPushButton>("start")->text()); });
  auto* results = Find<QTreeWidget>("results");
  panel.Press();
  EXPECT_FALSE(Find<QTreeWidget>("kinds")->isEnabled());
  EXPECT_FALSE(Find<QRadioButton>("sectorRange")->isEnabled());
  EXPECT_EQ(Find<QLabel>("status")->text(), "Searching Disk - 0");
  bool sawRow = false;
  ASSERT_TRUE(test::WaitFor([&] {
    panel.Refresh();
    if (results->topLevelItemCount() == 1 &&
        results->topLevelItem(0)->text(0) == "Total Zip File(s) Recovered :  1")
      sawRow = true;
    return !panel.scanning();
  }));
  EXPECT_TRUE(sawRow || panel.lastResult().recovered[3] == 1);
  EXPECT_TRUE(std::filesystem::exists(out / "ZIP2.ZIP"));  // the Word document was the first found
  EXPECT_FALSE(std::filesystem::exists(out / "DOC1.DOC"));
  EXPECT_EQ(panel.lastResult().end, RawScanEnd::Completed);
  EXPECT_EQ(buttonTexts, (std::vector<QString>{"&Stop Searching", "&Start Recovery"}));
  EXPECT_TRUE(Find<QTreeWidget>("kinds")->isEnabled());
  EXPECT_EQ(results->topLevelItemCount(), 0);
  EXPECT_EQ(Find<QLabel>("summary")->text(), "Last scan :  1 Zip file(s) recovered");
  EXPECT_EQ(Find<QLabel>("status")->text(), "");
  EXPECT_FALSE(Find<PercentProgressBar>("progress")->isVisibleTo(&panel));
  // The next scan: what the last one found is no news while it runs.
  panel.Press();
  EXPECT_TRUE(panel.scanning());
  EXPECT_EQ(Find<QLabel>("summary")->text(), "");
  ASSERT_TRUE(WaitForEnd());
}

TEST_F(RawPanel, StopAnsweredNoLetsTheScanGoOn) {
  Tick(0);
  panel.Press();
  disk.prompter.yesNoAnswers = {false};
  panel.Press();
  EXPECT_TRUE(panel.scanning());
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(panel.lastResult().end, RawScanEnd::Completed);
  EXPECT_TRUE(std::filesystem::exists(out / "DOC1.DOC"));
  EXPECT_EQ(disk.prompter.Asked().back().text, "Do you want terminate this process ?");
}

TEST_F(RawPanel, StopAnsweredYesEndsTheScanThroughItsFlagAndResetsTheForm) {
  Tick(3);
  Find<QRadioButton>("sectorRange")->click();
  panel.Press();
  disk.prompter.yesNoAnswers = {true};
  panel.Press();
  EXPECT_FALSE(Find<QPushButton>("start")->isEnabled());  // until the worker has ended
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(panel.lastResult().end, RawScanEnd::Stopped);
  EXPECT_EQ(panel.lastResult().recovered[3], 0u);  // the Zip lies past where it stopped
  EXPECT_TRUE(Find<QPushButton>("start")->isEnabled());
  EXPECT_EQ(Find<QPushButton>("start")->text(), "&Start Recovery");
  EXPECT_TRUE(Find<QLineEdit>("endSector")->isEnabled());
  EXPECT_EQ(Find<PercentProgressBar>("progress")->text(), "0 % Completed");
}

}  // namespace
}  // namespace ov

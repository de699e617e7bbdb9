// "Open RAID Set": members in, detection on its worker, the answer shown in
// set order, the set file written only when the set opens.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "disk/ImageFormats.h"
#include "mkimage/ImageBuilder.h"
#include "support/RaidSets.h"
#include "support/TempDir.h"
#include "ui/dialogs/RaidSetDialog.h"
#include "ui/support/Screen.h"

namespace ov {
namespace {

class RaidSetDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto built = mkimage::BuildImageFromJson(
        test::RaidDisk(R"({ "level": "5", "chunk": "16KiB", "layout": "left-asymmetric", "offset": 2048,
                            "outputs": ["a", "b", "c", "d"] })"),
        dir / "disk.img");
    ASSERT_TRUE(built.ok()) << built.error;
  }
  QString Member(const char* name) const { return QString::fromStdString((dir / name).string()); }
  test::TempDir dir;
};

TEST_F(RaidSetDialogTest, DetectsShowsTheAnswerAndWritesTheSetFile) {
  RaidSetDialog d;
  d.SetMembers({Member("c"), QStringLiteral("missing"), Member("a"), Member("d")});
  d.show();
  ASSERT_TRUE(test::WaitFor([&] { return d.isVisible(); }));
  EXPECT_FALSE(d.stopButton()->isEnabled());
  ASSERT_TRUE(test::Screen::Click(d.detectButton()));
  ASSERT_TRUE(test::WaitFor([&] { return !d.detecting() && d.statusLabel()->text().startsWith("Found"); }))
      << d.statusLabel()->text().toStdString();
  EXPECT_EQ(d.levelBox()->currentText(), "5");
  EXPECT_EQ(d.chunkBox()->currentText(), "16 KiB");
  EXPECT_EQ(d.layoutBox()->currentText(), "left-asymmetric");
  EXPECT_EQ(d.offsetBox()->value(), 2048);
  EXPECT_EQ(d.Members(), (QStringList{Member("a"), QStringLiteral("missing"), Member("c"), Member("d")}));
  EXPECT_EQ(d.SetFile(), Member("raid-set.raid"));
  EXPECT_TRUE(d.detectButton()->isEnabled());

  ASSERT_TRUE(test::Screen::Click(d.okButton()));
  EXPECT_EQ(d.result(), QDialog::Accepted);
  const OpenedImage set = OpenImage(dir / "raid-set.raid");
  ASSERT_TRUE(set) << set.error;
  EXPECT_EQ(set.description.kind, ImageKind::RaidSet);
}

TEST_F(RaidSetDialogTest, WhatDoesNotOpenIsSaidAndNotWritten) {
  RaidSetDialog d;
  d.SetMembers({Member("a")});
  d.show();
  ASSERT_TRUE(test::WaitFor([&] { return d.isVisible(); }));
  EXPECT_FALSE(d.detectButton()->isEnabled());  // one member makes no set
  d.SetMembers({Member("a"), Member("b"), Member("a")});
  ASSERT_TRUE(test::Screen::Click(d.detectButton()));
  ASSERT_TRUE(test::WaitFor([&] { return !d.detecting() && d.statusLabel()->text().endsWith("given twice"); }))
      << d.statusLabel()->text().toStdString();
  // A RAID 5 set with two of three members missing cannot be read: OK says
  // why and writes nothing.
  d.SetMembers({Member("a"), QStringLiteral("missing"), QStringLiteral("missing")});
  ASSERT_TRUE(test::Screen::Click(d.okButton()));
  EXPECT_NE(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.statusLabel()->text().toStdString(), (dir / "raid-set.raid").string() + ": RAID 5 cannot be read with 2 members missing");
  EXPECT_FALSE(std::filesystem::exists(dir / "raid-set.raid"));
}

}  // namespace
}  // namespace ov

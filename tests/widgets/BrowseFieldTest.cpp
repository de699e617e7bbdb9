#include "widgets/BrowseField.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace ov {
namespace {

TEST(BrowseButtonGeometry, WidthPerProgram) {
  EXPECT_EQ(BrowseButtonWidth(15, kRecoveryBrowseExtra), 37);
  EXPECT_EQ(BrowseButtonWidth(15, kSetupBrowseExtra), 47);
  EXPECT_EQ(BrowseButtonWidth(19, kRecoveryBrowseExtra), 40);  // 152 / 10, truncated
  // The edit's top and bottom, one pixel clear of its right edge.
  EXPECT_EQ(BrowseButtonRect(QRect(10, 20, 100, 15), kSetupBrowseExtra), QRect(111, 20, 47, 15));
}

TEST(BrowseButtonGeometry, TheTextFitsTheButtonByTheFontsMetricsWithTheWidthKept) {
  QFont font = QApplication::font();
  font.setPointSizeF(10);
  const QString text = QStringLiteral("&Browse");
  // The rule's 37 pixels: the font gets smaller until the text leaves its
  // margin on either side.
  const QFont narrow = BrowseTextFont(font, text, 37);
  EXPECT_LT(narrow.pointSizeF(), font.pointSizeF());
  EXPECT_LE(QFontMetrics(narrow).horizontalAdvance(QStringLiteral("Browse")) + 2 * kBrowseTextMargin, 37);
  // Where it fits, the font stays as it is.
  EXPECT_EQ(BrowseTextFont(font, text, 200).pointSizeF(), font.pointSizeF());
}

TEST(BrowseField, ButtonFollowsTheFieldInItsParent) {
  QWidget parent;
  parent.resize(300, 100);
  BrowseField field(&parent, kSetupBrowseExtra);
  field.setGeometry(10, 20, 100, 15);
  parent.show();
  QPushButton* button = field.browseButton();
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->parentWidget(), &parent);
  EXPECT_EQ(button->text(), QStringLiteral("&Browse"));
  EXPECT_EQ(button->geometry(), QRect(111, 20, 47, 15));
  field.move(0, 0);
  EXPECT_EQ(button->geometry(), QRect(101, 0, 47, 15));
  field.setButtonToolTip(QStringLiteral("Choose a folder"));
  EXPECT_EQ(button->toolTip(), QStringLiteral("Choose a folder"));

  // The installer hides the edit part and shows the button alone.
  field.hide();
  EXPECT_TRUE(button->isVisible());
  field.setGeometry(0, 40, 200, 25);
  parent.resize(320, 100);
  EXPECT_EQ(button->geometry(), QRect(201, 40, 55, 25));
}

TEST(BrowseField, ClickHandsTheTextToTheOwnerChosenOrNot) {
  QWidget parent;
  BrowseField field(&parent);
  field.setBrowseTitle(QStringLiteral("Please specify a folder for Copying..."));
  field.setOldStyle(true);
  field.setText(QStringLiteral("/start"));

  QString seenFolder, seenTitle;
  bool seenOldStyle = false;
  bool answer = false;
  field.setPicker([&](QWidget*, QString& folder, bool oldStyle, const QString& title) {
    seenFolder = folder;
    seenTitle = title;
    seenOldStyle = oldStyle;
    if (answer) folder = QStringLiteral("/chosen");
    return answer;
  });
  QList<std::pair<QString, bool>> handed;
  QObject::connect(&field, &BrowseField::browsed,
                   [&](const QString& text, bool chosen) { handed.append({text, chosen}); });

  field.browseButton()->click();
  answer = true;
  field.browseButton()->click();

  EXPECT_EQ(seenFolder, QStringLiteral("/start"));
  EXPECT_EQ(seenTitle, QStringLiteral("Please specify a folder for Copying..."));
  EXPECT_TRUE(seenOldStyle);
  ASSERT_EQ(handed.size(), 2);
  EXPECT_EQ(handed[0], std::make_pair(QStringLiteral("/start"), false));
  EXPECT_EQ(handed[1], std::make_pair(QStringLiteral("/chosen"), true));
  EXPECT_EQ(field.text(), QStringLiteral("/chosen"));
}

// Drives Qt's own folder dialog: checks its title and starting folder, then
// accepts or cancels it.
void AnswerDialog(bool accept, QString* title, QString* start) {
  QTimer::singleShot(0, [=] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      *title = dialog->windowTitle();
      *start = dialog->directory().absolutePath();
      QDialog* asDialog = dialog;
      accept ? asDialog->accept() : asDialog->reject();
      return;
    }
    AnswerDialog(accept, title, start);
  });
}

TEST(FolderPicker, QtDialogStartsAtTheFolderAndReportsTheChoice) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  QString title, start;

  QString folder = temp.path();
  AnswerDialog(false, &title, &start);
  EXPECT_FALSE(FolderPicker(nullptr, folder, true, QStringLiteral("Pick")));
  EXPECT_EQ(folder, temp.path());
  EXPECT_EQ(title, QStringLiteral("Pick"));
  EXPECT_EQ(start, temp.path());

  AnswerDialog(true, &title, &start);
  EXPECT_TRUE(FolderPicker(nullptr, folder, true, QStringLiteral("Pick")));
  EXPECT_EQ(folder, temp.path());
}

}  // namespace
}  // namespace ov

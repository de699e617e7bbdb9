// The "Settings" window over the settings editor: what it shows when it
// opens, and what its controls change.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "support/FakePrompter.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/support/Screen.h"

namespace ov {
namespace {

struct Settings : ::testing::Test {
  template <typename W>
  W* Find(SettingsDialog& d, const char* name) {
    auto* w = d.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QStringList Rows(SettingsDialog& d) {
    QStringList rows;
    auto* list = Find<QListWidget>(d, "extensions");
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    return rows;
  }
  void Add(SettingsDialog& d, const QString& text) {
    Find<QLineEdit>(d, "extension")->setText(text);
    Find<QPushButton>(d, "add")->click();
  }
  SaveSettings settings;
  test::FakePrompter prompter;
};

TEST_F(Settings, OpensWithTheStoredChoicesTheListsAndTheDisabledGroups) {
  settings.extensions = {"txt", "doc"};
  settings.selectionMode = SelectionMode::InvertSelection;
  SettingsDialog d(settings, prompter);
  EXPECT_EQ(d.windowTitle(), "Settings");
  EXPECT_EQ(Rows(d), (QStringList{"txt", "doc"}));
  const std::pair<const char*, int> lists[] = {{"earlierDay", 31}, {"earlierMonth", 12}, {"earlierYear", 130},
                                               {"afterDay", 31},   {"afterMonth", 12},   {"afterYear", 61}};
  for (const auto& [name, rows] : lists) EXPECT_EQ(Find<QComboBox>(d, name)->count(), rows) << name;
  EXPECT_EQ(Find<QComboBox>(d, "earlierDay")->currentText(), "31");
  EXPECT_EQ(Find<QComboBox>(d, "earlierYear")->currentText(), "2030");
  EXPECT_EQ(Find<QComboBox>(d, "earlierYear")->itemText(129), "2099");
  EXPECT_EQ(Find<QComboBox>(d, "afterYear")->itemText(60), "2030");
  EXPECT_EQ(Find<QComboBox>(d, "afterMonth")->currentText(), "01");
  QStringList titles;
  for (auto* g : d.findChildren<QGroupBox*>()) titles << g->title();
  EXPECT_TRUE(titles.contains("File Updated"));
  EXPECT_TRUE(titles.contains("Select Extensions ( Ex:- DOC, XLS)"));
  EXPECT_TRUE(titles.contains("Saving Mode"));
  for (const char* group : {"deleted", "savingMode"}) {
    for (auto* r : Find<QGroupBox>(d, group)->findChildren<QRadioButton*>()) EXPECT_FALSE(r->isEnabled()) << group;
  }
  const auto modes = Find<QGroupBox>(d, "selectionMode")->findChildren<QRadioButton*>();
  ASSERT_EQ(modes.size(), 3);
  EXPECT_TRUE(modes[2]->isChecked());
  EXPECT_EQ(modes[2]->text(), "Invert Selection");
  EXPECT_TRUE(Find<QPushButton>(d, "apply")->isDefault());
  EXPECT_EQ(Find<QPushButton>(d, "add")->text(), "&Add ");
}

TEST_F(Settings, NewEntriesGoOnTopTheFocusReturnsAndDocAndDOCAreBothKept) {
  SettingsDialog d(settings, prompter);
  Add(d, "doc");
  Add(d, "DOC");
  EXPECT_EQ(Rows(d), (QStringList{"DOC", "doc"}));
  EXPECT_EQ(Find<QLineEdit>(d, "extension")->text(), "");
  EXPECT_EQ(d.focusWidget(), Find<QLineEdit>(d, "extension"));
  Add(d, "doc.");
  EXPECT_EQ(Find<QLineEdit>(d, "extension")->text(), "doc.");  // refused text stays
  EXPECT_EQ(prompter.Messages().size(), 1u);
}

TEST_F(Settings, TheHundredAndFirstIsRefusedAndRemoveMakesRoom) {
  SettingsDialog d(settings, prompter);
  for (int i = 0; i < 100; ++i) Add(d, QString::number(i));
  Add(d, "x");
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Cannot add more extensions"});
  EXPECT_EQ(prompter.Asked().back().icon, MessageIcon::Error);
  Find<QListWidget>(d, "extensions")->setCurrentRow(0);  // "99", the newest
  Find<QPushButton>(d, "remove")->click();
  EXPECT_EQ(Rows(d).size(), 99);
  EXPECT_EQ(Rows(d).front(), "98");
  EXPECT_EQ(Find<QListWidget>(d, "extensions")->currentRow(), 0);
  Add(d, "x");
  EXPECT_EQ(Rows(d).front(), "x");
}

TEST_F(Settings, CancelKeepsTheListAndApplyCommitsEveryChange) {
  settings.extensions = {"txt"};
  {
    SettingsDialog d(settings, prompter);
    Add(d, "a");
    Add(d, "b");
    Add(d, "c");
    Find<QComboBox>(d, "afterYear")->setCurrentIndex(34);
    d.reject();  // "Cancel" or the close box
  }
  EXPECT_EQ(settings.extensions, std::vector<std::string>{"txt"});
  EXPECT_EQ(settings.afterYear, 0);
  SettingsDialog d(settings, prompter);
  EXPECT_EQ(Rows(d), QStringList{"txt"});
  Find<QListWidget>(d, "extensions")->setCurrentRow(0);
  Find<QPushButton>(d, "remove")->click();
  Find<QPushButton>(d, "remove")->click();  // empty: Remove turns itself off
  EXPECT_FALSE(Find<QPushButton>(d, "remove")->isEnabled());
  Find<QComboBox>(d, "afterYear")->setCurrentIndex(34);
  Find<QComboBox>(d, "earlierDay")->setCurrentIndex(14);
  Find<QGroupBox>(d, "selectionMode")->findChildren<QRadioButton*>()[1]->click();
  Find<QPushButton>(d, "apply")->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_TRUE(settings.extensions.empty());
  EXPECT_EQ(settings.afterYear, 34);
  EXPECT_EQ(settings.earlierDay, 14);
  EXPECT_EQ(settings.selectionMode, SelectionMode::SaveAll);
  SettingsDialog again(settings, prompter);
  EXPECT_EQ(Find<QComboBox>(again, "afterYear")->currentText(), "2004");
}

TEST_F(Settings, HashTicksAreClickedWhereTheyShowAndApplied) {
  settings.hashes = {false, true, false};
  SettingsDialog d(settings, prompter);
  d.show();
  ASSERT_TRUE(test::Screen::Placed(&d));
  const auto ticks = Find<QGroupBox>(d, "hashes")->findChildren<QCheckBox*>();
  ASSERT_EQ(ticks.size(), 3);
  EXPECT_EQ(ticks[2]->text(), "SHA-256");
  EXPECT_TRUE(ticks[1]->isChecked());
  for (int k : {1, 2}) {
    // Where a person clicks: on the box as it shows.
    const QPoint at = ticks[k]->mapToGlobal(QPoint(8, ticks[k]->height() / 2));
    QWidget* under = QApplication::widgetAt(at);
    ASSERT_EQ(under, ticks[k]);
    const QPointF local = under->mapFromGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(under, &press);
    QApplication::sendEvent(under, &release);
  }
  EXPECT_EQ(settings.hashes, (std::array<bool, 3>{false, true, false}));  // not before Apply
  Find<QPushButton>(d, "apply")->click();
  EXPECT_EQ(settings.hashes, (std::array<bool, 3>{false, false, true}));
}

}  // namespace
}  // namespace ov

// The keys, the accessible names, the menus and the window's size, as a
// person (or a screen reader) meets them.

#include "Person.h"

namespace ov::window::test {
namespace {

TEST_F(Person, EnterGoesOnAndEscapeAsksToExit) {
  PickDisk(OVNSS_SAMPLE_DISK);
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  wizard().diskTree()->setFocus();
  Screen::Key(Qt::Key_Return);
  EXPECT_EQ(wizard().step(), 1);
  Screen::Key(Qt::Key_Escape);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions.front().toStdString(), std::string(kExitQuestion));
}

// What Tab visits from `first`, until it comes round again.
std::vector<QWidget*> TabRound(QWidget* first) {
  first->setFocus();
  std::vector<QWidget*> seen{first};
  for (int i = 0; i < 40; ++i) {
    Screen::Key(Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (!now || now == first) break;
    seen.push_back(now);
  }
  return seen;
}

TEST_F(Person, TabGoesThroughEveryControlInReadingOrder) {
  PickDisk(OVNSS_SAMPLE_DISK);
  ASSERT_TRUE(Screen::Hover(Button(kQuickButton)));
  const auto round = TabRound(el().widget(kSaveButton));
  auto at = [&](int id) { return std::find(round.begin(), round.end(), el().widget(id)) - round.begin(); };
  for (int id : {kHelpButton, kExitButton, kDiskTree, kQuickButton, kNextButton}) {
    EXPECT_LT(at(id), static_cast<long>(round.size())) << "Tab never reaches " << id;
  }
  EXPECT_LT(at(kExitButton), at(kDiskTree));
  EXPECT_LT(at(kDiskTree), at(kQuickButton));
  EXPECT_LT(at(kQuickButton), at(kNextButton));
}

// The mnemonic letters of what is shown in `w`: buttons, labels naming a
// field, and the menu bar's titles.
std::vector<QChar> Mnemonics(QWidget* w) {
  std::vector<QChar> keys;
  auto add = [&](const QString& text) {
    const int amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < text.size() && text[amp + 1] != QLatin1Char('&')) keys.push_back(text[amp + 1].toLower());
  };
  for (auto* b : w->findChildren<QAbstractButton*>()) {
    if (b->isVisible() && b->window() == w) add(b->text());
  }
  for (auto* l : w->findChildren<QLabel*>()) {
    if (l->isVisible() && l->buddy() && l->window() == w) add(l->text());
  }
  if (auto* main = qobject_cast<QMainWindow*>(w)) {
    for (QAction* a : main->menuBar()->actions()) add(a->text());
  }
  return keys;
}

::testing::AssertionResult Unique(const std::vector<QChar>& keys) {
  std::set<QChar> seen;
  for (QChar k : keys) {
    if (!seen.insert(k).second) return ::testing::AssertionFailure() << "Alt+" << QString(k).toStdString() << " twice";
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Person, MnemonicsAreUniqueInEveryView) {
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "disk step";
  ToPools();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "pools";
  ToVolumes();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "volumes";
  ToTree();
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "tree";
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ToPools(kRawButton);
  EXPECT_TRUE(Unique(Mnemonics(window.get()))) << "raw form";
  std::string last = "/x";
  SaveSettings settings;
  FileSavingDialog saving(last, settings, session->prompter, window.get());
  saving.show();
  EXPECT_TRUE(Unique(Mnemonics(&saving))) << "File Saving";
}

// Every interface below `i`, depth first.
void Walk(QAccessibleInterface* i, const std::function<void(QAccessibleInterface*)>& visit, int depth = 0) {
  if (!i || depth > 12) return;
  visit(i);
  for (int c = 0; c < i->childCount(); ++c) Walk(i->child(c), visit, depth + 1);
}

TEST_F(Person, EveryControlHasAnAccessibleNameAndTheTreesItemsAndTicksCanBeRead) {
  auto check = [&](const char* where) {
    int controls = 0;
    Walk(QAccessible::queryAccessibleInterface(window.get()), [&](QAccessibleInterface* i) {
      auto* w = qobject_cast<QWidget*>(i->object());
      if (!w || !w->isVisible() || i->state().invisible) return;
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                           qobject_cast<QLineEdit*>(w);
      if (!control) return;
      ++controls;
      EXPECT_FALSE(i->text(QAccessible::Name).trimmed().isEmpty())
          << where << ": " << Screen::Name(w).toStdString() << " has no accessible name";
      EXPECT_NE(i->role(), QAccessible::NoRole) << where;
    });
    EXPECT_GT(controls, 3) << where;
  };
  check("disk step");
  auto* save = QAccessible::queryAccessibleInterface(el().widget(kSaveButton));
  EXPECT_EQ(save->text(QAccessible::Name), "Save Data");
  EXPECT_EQ(save->role(), QAccessible::Button);
  ToPools(kRawButton);
  check("raw form");
  auto* start = QAccessible::queryAccessibleInterface(window->rawForm()->findChild<QLineEdit*>("startSector"));
  EXPECT_EQ(start->text(QAccessible::Name), "Start Sector");
  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  ToPools();
  ToVolumes();
  ToTree();
  check("tree");
  // The folder tree's first item, ticked: its name and tick can be read.
  ASSERT_TRUE(Screen::ClickCheck(wizard().folderTree(), wizard().folderModel().IndexOf(kRootItem)));
  bool readRoot = false;
  Walk(QAccessible::queryAccessibleInterface(wizard().folderTree()), [&](QAccessibleInterface* i) {
    if (i->text(QAccessible::Name) != "Root") return;
    readRoot = true;
    EXPECT_TRUE(i->state().checkable);
    EXPECT_TRUE(i->state().checked);
  });
  EXPECT_TRUE(readRoot);
  // A reader asks once the list is drawn.
  QTest::qWait(50);
  bool readRow = false;
  const QString firstRow = wizard().fileModel().index(0, 0).data().toString();
  Walk(QAccessible::queryAccessibleInterface(wizard().detailsList()), [&](QAccessibleInterface* i) {
    if (i->text(QAccessible::Name) == firstRow) readRow = true;
  });
  EXPECT_TRUE(readRow) << firstRow.toStdString();
}

TEST_F(Person, TheMenuItemsOpenFromTheMenuBar) {
  ToPools(kAdvanceButton);
  ToVolumes();
  ToTree();
  // Each item that opens a window opens it; the window is closed again.
  // (The items that hand a file or page to the desktop are left out.)
  const QList<QStringList> windows = {{"Options", "Save Settings"}, {"Options", "Save Later", "Save Log"},
                                      {"Options", "Save Later", "Load Log"}, {"Support", "Email"},
                                      {"Support", "Telephonic"},          {"Help", "About"}};
  for (const QStringList& path : windows) {
    QString title;
    screen.WhenModal([&](QWidget* w) {
      title = w->windowTitle();
      w->close();
      return true;
    });
    EXPECT_TRUE(Screen::Menu(window->menuBar(), path)) << path.join(" > ").toStdString();
    EXPECT_TRUE(WaitUntil([&] { return screen.answered(); }, 5000)) << path.join(" > ").toStdString();
    EXPECT_FALSE(title.isEmpty()) << path.join(" > ").toStdString();
  }
  EXPECT_EQ(wizard().step(), 3);
  // The balloon switch and the language tick as they are chosen.
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {"Help", "Show Balloon Help"}));
  EXPECT_FALSE(window->help().texts().balloonHelpOn());
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {"Help", "Balloon Help Language", "German"}));
  EXPECT_TRUE(el().command(kCmdGerman)->isChecked());
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {"Options", "Exit"}));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions.front().toStdString(), std::string(kExitQuestion));
}

TEST_F(Person, AQuestionsTextKeepsALinesRoomAboveItsButtons) {
  ConfirmDialog question(QStringLiteral("A first line\n\nand more\nand the last"), window.get());
  question.show();
  QApplication::processEvents();
  const QRect text = question.text()->geometry();
  const QRect yes = question.yesButton()->geometry();
  EXPECT_GE(yes.top() - text.bottom(), question.fontMetrics().height()) << text.bottom() << " " << yes.top();
}

TEST_F(Person, KeepsItsDrawnSizeWhereTheScreenHasRoom) {
  // The offscreen screen of the tests has room for the drawn window.
  EXPECT_EQ(window->centralWidget()->size(), QSize(760, 522));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(el().widget(kNextButton)->geometry(), QRect(652, 486, 100, 30));
  EXPECT_EQ(el().widget(kDetailsList)->geometry(), QRect(250, 168, 502, 280));
}

}  // namespace
}  // namespace ov::window::test

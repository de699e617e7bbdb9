#pragma once
// The window driven as a person drives it: the pointer on what is shown,
// menus from the menu bar, the keys to what has the focus, back and forth
// through the steps.

#include <QAccessible>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>
#include <set>

#include "support/BuiltImage.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/help/MenuTip.h"
#include "ui/support/Screen.h"
#include "ui/window/Dialogs.h"
#include "ui/window/FindWindow.h"
#include "ui/window/ImageDialog.h"
#include "WindowFixture.h"

namespace ov::window::test {

using ov::test::Screen;

class Person : public WindowFixture {
protected:
  void SetUp() override {
    WindowFixture::SetUp();
    // The keys go to the active window: a person's window has the focus.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 3000));
  }
  QAbstractButton* Button(int id) { return el().as<QAbstractButton>(id); }
  QModelIndex Child(QTreeWidget* t, int i) { return t->model()->index(i, 0, t->model()->index(0, 0)); }
  QModelIndex ChildNamed(QTreeWidget* t, const QString& name) {
    const QModelIndex root = t->model()->index(0, 0);
    for (int i = 0; i < t->model()->rowCount(root); ++i) {
      if (t->model()->index(i, 0, root).data().toString() == name) return t->model()->index(i, 0, root);
    }
    return {};
  }
  void PickDisk(const std::filesystem::path& image) {
    const auto name = session->DiskNameOf(image);
    ASSERT_TRUE(name);
    ASSERT_TRUE(Screen::ClickItem(wizard().diskTree(), ChildNamed(wizard().diskTree(), QString::fromStdString(*name))));
  }
  // Disk, mode, "&Next": the pools (or the Raw form).
  void ToPools(int modeButton = kQuickButton, const std::filesystem::path& image = OVNSS_SAMPLE_DISK) {
    PickDisk(image);
    ASSERT_TRUE(Screen::Hover(Button(modeButton)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 1 && !wizard().workerRunning(); }));
  }
  void ToVolumes(const QString& pool = QStringLiteral("USERS")) {
    ASSERT_TRUE(Screen::ClickItem(wizard().poolTree(), ChildNamed(wizard().poolTree(), pool)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_EQ(wizard().step(), 2);
  }
  void ToTree() {
    ASSERT_TRUE(Screen::ClickItem(wizard().volumeTree(), Child(wizard().volumeTree(), 0)));
    ASSERT_TRUE(Screen::Click(Button(kNextButton)));
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  }
  // Every control shown takes the pointer at its middle.
  void ExpectAllReachable(const char* where) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                           qobject_cast<QLineEdit*>(w);
      if (control && w->isVisible() && w->window() == window.get()) {
        EXPECT_TRUE(Screen::Reaches(w, Screen::Middle(w))) << where;
      }
    }
  }

  Screen screen;
};

}  // namespace ov::window::test

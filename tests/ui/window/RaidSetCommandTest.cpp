// "Open RAID Set..." beside "Open Disk Image...": the sample disk's RAID 5
// members, three of four given out of order, come into the disk tree as one
// more disk.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "WindowFixture.h"
#include "ui/dialogs/RaidSetDialog.h"
#include "ui/support/Screen.h"
#include "ui/window/Ids.h"

namespace ov::window::test {
namespace {

class RaidSetCommand : public WindowFixture {};

QList<QAction*> OptionsItems(QMenuBar* bar) {
  for (QAction* top : bar->actions())
    if (top->menu() && top->text() == QStringLiteral("&Options")) return top->menu()->actions();
  return {};
}

QAction* OptionsItem(QMenuBar* bar, const QString& text) {
  for (QAction* a : OptionsItems(bar))
    if (a->text() == text) return a;
  return nullptr;
}

void Click(QPushButton* button) {
  ASSERT_TRUE(ov::test::Screen::Placed(button));
  const QPoint global = button->mapToGlobal(button->rect().center());
  QWidget* target = QApplication::widgetAt(global);
  ASSERT_EQ(target, button) << button->text().toStdString();
  const QPoint local = target->mapFromGlobal(global);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QApplication::sendEvent(target, &release);
}

TEST_F(RaidSetCommand, FindsTheSetAndListsItAsADisk) {
  QAction* image = OptionsItem(window->menuBar(), QStringLiteral("Open Disk Image..."));
  QAction* raid = OptionsItem(window->menuBar(), QStringLiteral("Open RAID Set..."));
  ASSERT_TRUE(image && raid);
  const auto items = OptionsItems(window->menuBar());
  EXPECT_EQ(items.indexOf(raid), items.indexOf(image) + 1);
  ASSERT_TRUE(raid->isEnabled());

  const auto samples = std::filesystem::path(OVNSS_SAMPLE_DISK).parent_path();
  const auto setFile = dir_ / "sample.raid";
  bool answered = false;
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [&, timer] {
    // The dialog once it shows: on a real X server it becomes the active
    // modal window only when the server gives it the focus.
    RaidSetDialog* d = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* shown = qobject_cast<RaidSetDialog*>(w); shown && shown->isVisible()) d = shown;
    }
    if (!d) return;
    timer->stop();
    timer->deleteLater();
    auto member = [&](int n) { return QString::fromStdString((samples / ("sample-raid-" + std::to_string(n) + ".img")).string()); };
    d->SetMembers({member(2), member(0), QStringLiteral("missing"), member(3)});
    d->setFileEdit()->setText(QString::fromStdString(setFile.string()));
    Click(d->detectButton());
    answered = WaitUntil([&] { return !d->detecting() && d->statusLabel()->text().startsWith("Found"); });
    EXPECT_EQ(d->layoutBox()->currentText(), "left-symmetric");
    Click(d->okButton());
  });
  timer->start(10);
  raid->trigger();
  ASSERT_TRUE(answered);
  ASSERT_TRUE(std::filesystem::exists(setFile));
  const auto name = session->DiskNameOf(setFile);
  ASSERT_TRUE(name) << "the set is not in the disk list";
  QTreeWidgetItem* root = wizard().diskTree()->topLevelItem(0);
  bool listed = false;
  for (int i = 0; i < root->childCount(); ++i) listed = listed || root->child(i)->text(0).toStdString() == *name;
  EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace ov::window::test

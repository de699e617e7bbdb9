#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "ui/help/BalloonShape.h"
#include "ui/help/BalloonWindow.h"
#include "ui/help/HelpController.h"
#include "ui/help/MenuTip.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using help::Mode;

const fs::path kProgramFolder = fs::path(OVNSS_TEST_BINARY_DIR) / "bin";

void Settle() {
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
}

void SendMouse(QWidget* to, QEvent::Type type, QPoint global, Qt::MouseButton button = Qt::NoButton) {
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
  QMouseEvent event(type, QPointF(to->mapFromGlobal(global)), QPointF(global), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(to, &event);
}

QString Latin1(const char* s) { return QString::fromLatin1(s); }

TEST(BalloonWindowTest, NearTheLowerRightCornerTheTailIsBelowOnTheRight) {
  const QRect area = BalloonWindow::PlacementArea(QPoint(0, 0));
  const QPoint anchor = area.bottomRight() - QPoint(4, 4);
  QPointer<BalloonWindow> b = BalloonWindow::Launch(Latin1("Raw Mode"),
                                                    Latin1("This mode will be used when above modes fail. It will "
                                                           "recover \nDOC, XLS, PPT and ZIP files without original "
                                                           "file names."),
                                                    anchor, 0x7F, anchor);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->options(), 0xC27Fu) << "the offscreen desktop does not composite: no fades";
  EXPECT_TRUE(b->testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(b->titleFont().weight(), QFont::Bold);
  EXPECT_EQ(b->titleFont().family(), b->contentFont().family());
  EXPECT_EQ(b->placement().side, (balloon::TailSide{false, true}));
  EXPECT_EQ(b->geometry(), ToQRect(b->placement().window));
  EXPECT_TRUE(area.contains(b->geometry().adjusted(0, 0, 0, -balloon::kTail)));
  EXPECT_LE(b->width() - 16, area.width() / 2 + QFontMetrics(b->titleFont()).horizontalAdvance(b->title()));
  const QRegion mask = b->mask();
  const QPoint apex = ToQPoint(b->placement().shape.apex);
  EXPECT_TRUE(mask.contains(apex - QPoint(3, 6))) << "the tail is part of the window";
  EXPECT_FALSE(mask.contains(QPoint(1, 1))) << "the rounded corner is cut away";
  EXPECT_FALSE(mask.contains(QPoint(1, b->height() - 3))) << "beside the tail is outside";
  EXPECT_LE((b->geometry().topLeft() + apex - anchor).manhattanLength(), 4);

  const QImage picture = b->grab().toImage();
  const int middle = b->placement().shape.body.bottom / 2;
  EXPECT_EQ(picture.pixelColor(0, middle), QToolTip::palette().color(QPalette::ToolTipText)) << "frame";
  EXPECT_EQ(picture.pixelColor(3, middle), QToolTip::palette().color(QPalette::ToolTipBase)) << "body";
  b->CloseBalloon();
  Settle();
  EXPECT_FALSE(b) << "the balloon deletes itself when its window closes";
}

TEST(BalloonWindowTest, ClosesByButtonsAndByLeavingTheHoverTolerance) {
  QWidget other;
  other.setGeometry(100, 100, 200, 200);
  other.show();
  const QPoint anchor(150, 150);

  QPointer<BalloonWindow> moved = BalloonWindow::Launch(Latin1("Quick Mode"), Latin1("text"), anchor, 0x7F, anchor);
  SendMouse(&other, QEvent::MouseMove, anchor + QPoint(3, -3));
  Settle();
  ASSERT_TRUE(moved) << "within the tolerance of 3 pixels";
  SendMouse(&other, QEvent::MouseMove, anchor + QPoint(4, 0));
  Settle();
  EXPECT_FALSE(moved);

  QCursor::setPos(anchor);
  Settle();
  QPointer<BalloonWindow> polled = BalloonWindow::Launch(Latin1("Quick Mode"), Latin1("text"), anchor, 0x7F);
  QCursor::setPos(anchor + QPoint(0, 40));  // over nothing that tracks the mouse
  for (int i = 0; i < 50 && polled; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_FALSE(polled) << "the cursor is watched even where no widget reports moves";

  QPointer<BalloonWindow> rightUp = BalloonWindow::Launch(Latin1("t"), Latin1("c"), anchor, 0x04, anchor);
  QPointer<BalloonWindow> leftDown = BalloonWindow::Launch(Latin1("t"), Latin1("c"), anchor, 0x08, anchor);
  SendMouse(&other, QEvent::MouseButtonRelease, anchor, Qt::LeftButton);
  SendMouse(&other, QEvent::MouseMove, anchor + QPoint(50, 50));
  Settle();
  EXPECT_TRUE(rightUp);
  EXPECT_TRUE(leftDown) << "moves close only with bit 0x40";
  SendMouse(&other, QEvent::MouseButtonPress, anchor, Qt::LeftButton);
  Settle();
  EXPECT_FALSE(leftDown);
  EXPECT_TRUE(rightUp);
  SendMouse(&other, QEvent::MouseButtonRelease, anchor, Qt::RightButton);
  Settle();
  EXPECT_FALSE(rightUp);
}

// A window with the parts the help needs: menus with prompts, the language
// and balloon items, the mode buttons.
struct Window {
  explicit Window(const char* lngFile, const fs::path& libraryFolder = kProgramFolder)
      : help({registry, kProgramFolder, {libraryFolder}, 'N'}) {
    registry.CreateKey(RegistryRoot::ClassesRoot, "OrlindavestrumNSS");
    if (lngFile) registry.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "LngFile", lngFile);
    main.menuBar()->setNativeMenuBar(false);
    options = main.menuBar()->addMenu(Latin1("&Options"));
    later = options->addMenu(Latin1("Save Later"));
    saveLog = Add(later, "Save Log", 32858, "Save the recovery information\nSave Log");
    exitItem = Add(options, "E&xit", 57665, "Quit from Orlindavestrum\nExit");
    QMenu* helpMenu = main.menuBar()->addMenu(Latin1("&Help"));
    balloonItem = Add(helpMenu, "&Show Balloon Help", 32851, "Show or hide balloon help");
    QMenu* languages = helpMenu->addMenu(Latin1("Balloon Help Language"));
    for (int i = 0; i < 4; ++i) {
      const char* names[] = {"Dutch", "English", "French", "German"};
      languageItems[static_cast<std::size_t>(i)] = Add(languages, names[i], 32860 + i, names[i]);
    }
    auto* box = new QWidget;
    for (std::size_t i = 0; i < 3; ++i) {
      modes[i] = new QRadioButton(Latin1(i == 0 ? "Quick " : i == 1 ? "Advanced " : "Raw Recovery"), box);
      modes[i]->setGeometry(10, 10 + 30 * static_cast<int>(i), 120, 24);
    }
    main.setCentralWidget(box);
    main.setGeometry(50, 50, 400, 300);
    help.Start();
    help.AttachMenuBar(main.menuBar());
    help.SetLanguageActions(languageItems);
    help.SetBalloonHelpAction(balloonItem);
    help.SetModeButtons(modes, [this](Mode m) { chosen.push_back(m); });
    main.show();
    Settle();
  }

  QAction* Add(QMenu* menu, const char* text, int id, const char* prompt) {
    QAction* a = menu->addAction(Latin1(text));
    a->setData(id);
    a->setStatusTip(Latin1(prompt));
    return a;
  }

  std::array<bool, 4> Ticks() const {
    std::array<bool, 4> t{};
    for (std::size_t i = 0; i < 4; ++i) t[i] = languageItems[i]->isChecked();
    return t;
  }

  RegistryStore registry;
  HelpController help;
  QMainWindow main;
  QMenu* options = nullptr;
  QMenu* later = nullptr;
  QAction* saveLog = nullptr;
  QAction* exitItem = nullptr;
  QAction* balloonItem = nullptr;
  std::array<QAction*, 4> languageItems{};
  std::array<QAbstractButton*, 3> modes{};
  std::vector<Mode> chosen;
};

TEST(HelpControllerTest, LanguageTicksAndBalloonSwitch) {
  Window lower("englisha.dat");
  EXPECT_EQ(lower.Ticks(), (std::array<bool, 4>{true, true, true, true}));
  EXPECT_EQ(lower.help.texts().language().file, "englisha.dat");
  EXPECT_TRUE(lower.balloonItem->isChecked());
  lower.languageItems[2]->trigger();
  EXPECT_EQ(lower.Ticks(), (std::array<bool, 4>{false, false, true, false}));
  lower.languageItems[2]->trigger();
  EXPECT_EQ(lower.Ticks(), (std::array<bool, 4>{false, false, true, false})) << "choosing it again keeps the tick";
  EXPECT_EQ(lower.help.texts().language().file, "FrenchA.dat");
  lower.balloonItem->trigger();
  EXPECT_FALSE(lower.balloonItem->isChecked());
  EXPECT_FALSE(lower.help.texts().balloonHelpOn());

  Window german("GermanA.dat");
  EXPECT_EQ(german.Ticks(), (std::array<bool, 4>{false, false, false, true}));
}

TEST(HelpControllerTest, MenuTipBesideTheItemInTheChosenLanguage) {
  Window w("FrenchA.dat");
  w.options->popup(w.main.mapToGlobal(QPoint(10, 30)));
  Settle();
  w.later->popup(w.options->mapToGlobal(w.options->actionGeometry(w.later->menuAction()).topRight()));
  Settle();
  w.later->setActiveAction(w.saveLog);
  Settle();
  MenuTip* tip = w.help.menuTip();
  ASSERT_TRUE(tip->isVisible());
  EXPECT_EQ(tip->text(), Latin1("Enregistrer les informations de r\xE9" "cup\xE9ration"));
  const QRect item(w.later->mapToGlobal(w.later->actionGeometry(w.saveLog).topLeft()),
                   w.later->actionGeometry(w.saveLog).size());
  EXPECT_EQ(tip->pointsAt(), item.topLeft() + QPoint(190, 60));
  EXPECT_LE(tip->width(), MenuTip::kMaxWidth + 16);

  w.options->setActiveAction(w.later->menuAction());
  Settle();
  EXPECT_FALSE(tip->isVisible()) << "an item that opens a submenu hides the tip";

  w.options->setActiveAction(w.exitItem);
  Settle();
  ASSERT_TRUE(tip->isVisible());
  EXPECT_EQ(tip->text(), Latin1("Quitter Orlindavestrum"));
  const QRect exitItem(w.options->mapToGlobal(w.options->actionGeometry(w.exitItem).topLeft()),
                       w.options->actionGeometry(w.exitItem).size());
  EXPECT_EQ(tip->pointsAt(), QPoint(exitItem.left() + exitItem.width() + 10, exitItem.top() + 20));

  w.later->hide();
  w.options->hide();
  Settle();
  EXPECT_FALSE(tip->isVisible()) << "the menu closed";

  w.help.ToggleBalloonHelp();
  w.options->popup(w.main.mapToGlobal(QPoint(10, 30)));
  Settle();
  w.options->setActiveAction(w.exitItem);
  Settle();
  EXPECT_FALSE(tip->isVisible()) << "balloon help is off";
  w.options->hide();
}

TEST(HelpControllerTest, HoveringAModeButtonSelectsItAndShowsItsBalloon) {
  Window w("GermanA.dat");
  for (auto* b : w.modes) b->setEnabled(true);
  QAbstractButton* advance = w.modes[1];
  const QPoint over = advance->mapToGlobal(QPoint(20, 10));
  SendMouse(advance, QEvent::MouseMove, over);
  Settle();
  EXPECT_EQ(w.chosen, (std::vector<Mode>{Mode::Advance}));
  EXPECT_TRUE(advance->isChecked());
  QPointer<BalloonWindow> balloon = w.help.lastBalloon();
  ASSERT_TRUE(balloon);
  EXPECT_EQ(balloon->title(), Latin1("Advance Mode")) << "the NT family shows the built-in texts";
  EXPECT_TRUE(balloon->content().contains(Latin1("required \nfiles")));
  EXPECT_EQ(balloon->geometry().topLeft() + ToQPoint(balloon->placement().shape.apex), over);
  balloon->CloseBalloon();
  Settle();

  w.help.ToggleBalloonHelp();
  QAbstractButton* raw = w.modes[2];
  const QPoint overRaw = raw->mapToGlobal(QPoint(20, 10));
  SendMouse(raw, QEvent::MouseMove, overRaw);
  Settle();
  EXPECT_EQ(w.chosen, (std::vector<Mode>{Mode::Advance, Mode::Raw}));
  EXPECT_TRUE(raw->isChecked());
  EXPECT_FALSE(advance->isChecked());
  EXPECT_FALSE(w.help.lastBalloon()) << "no balloon while balloon help is off";

  int clicks = 0;
  QObject::connect(w.modes[0], &QAbstractButton::clicked, [&] { ++clicks; });
  const QPoint overQuick = w.modes[0]->mapToGlobal(QPoint(20, 10));
  SendMouse(w.modes[0], QEvent::MouseButtonPress, overQuick, Qt::LeftButton);
  SendMouse(w.modes[0], QEvent::MouseButtonRelease, overQuick, Qt::LeftButton);
  Settle();
  EXPECT_EQ(clicks, 0) << "a left press on a mode button is swallowed";
  EXPECT_FALSE(w.modes[0]->isChecked());
}

}  // namespace
}  // namespace ov

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build does to register them) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// Writes pictures of the help into the folder given as the only argument:
// a mode balloon anchored near each corner of the screen, and the menu tip
// of a highlighted item in two languages. Each picture shows the whole
// screen, so the balloon's place and tail can be judged against it.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <cstdio>

#include "platform/Registry.h"
#include "ui/help/BalloonWindow.h"
#include "ui/help/HelpController.h"
#include "ui/help/MenuTip.h"

namespace {

using ov::BalloonWindow;
using ov::HelpController;

QImage Desktop(const QRect& area) {
  QImage image(area.size(), QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 0, area.height());
  gradient.setColorAt(0, QColor(58, 110, 165));
  gradient.setColorAt(1, QColor(30, 60, 100));
  painter.fillRect(image.rect(), gradient);
  return image;
}

void DrawWidget(QPainter& painter, QWidget* widget, const QRect& area) {
  const QPoint at = widget->geometry().topLeft() - area.topLeft();
  widget->render(&painter, at, widget->mask().isEmpty() ? QRegion(widget->rect()) : widget->mask());
}

// A small cross where the balloon was anchored (the cursor's hot spot).
void DrawAnchor(QPainter& painter, QPoint at) {
  painter.setPen(QPen(QColor(220, 30, 30), 1));
  painter.drawLine(at - QPoint(6, 0), at + QPoint(6, 0));
  painter.drawLine(at - QPoint(0, 6), at + QPoint(0, 6));
}

bool Save(const QImage& image, const QString& folder, const QString& name) {
  const QString path = QDir(folder).filePath(name);
  if (!image.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool ModeBalloons(const QString& folder) {
  const QRect area = BalloonWindow::PlacementArea(QPoint(0, 0));
  struct Corner {
    const char* name;
    QPoint anchor;
    int title;
  };
  const Corner corners[] = {
      {"help-balloon-upper-left.png", area.topLeft() + QPoint(30, 24), 0},
      {"help-balloon-upper-right.png", area.topRight() + QPoint(-30, 24), 1},
      {"help-balloon-lower-left.png", area.bottomLeft() + QPoint(30, -24), 2},
      {"help-balloon-lower-right.png", area.bottomRight() + QPoint(-6, -6), 1},
  };
  const char* titles[] = {"Quick Mode", "Advance Mode", "Raw Mode"};
  const char* contents[] = {
      "This mode quickly analyses the disk and displays the files.",
      "In cases where Quick Mode does not show the required \nfiles to be recovered, then choose Advance mode.",
      "This mode will be used when above modes fail. It will recover \nDOC, XLS, PPT and ZIP files without original "
      "file names."};
  bool ok = true;
  for (const Corner& c : corners) {
    QPointer<BalloonWindow> balloon =
        BalloonWindow::Launch(QString::fromLatin1(titles[c.title]), QString::fromLatin1(contents[c.title]), c.anchor, 0x7F,
                              c.anchor);
    QImage image = Desktop(area);
    QPainter painter(&image);
    DrawWidget(painter, balloon, area);
    DrawAnchor(painter, c.anchor - area.topLeft());
    painter.end();
    ok = Save(image, folder, QString::fromLatin1(c.name)) && ok;
    balloon->CloseBalloon();
  }
  return ok;
}

QAction* Item(QMenu* menu, const char* text, int id, const char* prompt) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setData(id);
  action->setStatusTip(QString::fromLatin1(prompt));
  return action;
}

// The menu tip of one item, in the given language: "Save Log" under
// Options > Save Later, or "&About" under Help.
enum class Shown { SaveLog, About };

bool MenuTipIn(const QString& folder, const char* languageFile, Shown shown, const char* name) {
  ov::RegistryStore registry;
  registry.CreateKey(ov::RegistryRoot::ClassesRoot, "OrlindavestrumNSS");
  registry.SetValue(ov::RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "LngFile", languageFile);
  const std::filesystem::path programFolder = QCoreApplication::applicationDirPath().toStdString();
  HelpController help({registry, programFolder, {programFolder}, 'N'});
  help.Start();

  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Orlindavestrum For NSS"));
  window.menuBar()->setNativeMenuBar(false);
  QMenu* options = window.menuBar()->addMenu(QStringLiteral("&Options"));
  Item(options, "&Save ", 32776, "Save files that have been selected\nSave");
  Item(options, "Save Se&ttings", 32838, "Set the options for saving files\nSettings");
  QMenu* later = options->addMenu(QStringLiteral("Save Later"));
  QAction* saveLog = Item(later, "Save Log", 32858, "Save the recovery information\nSave Log");
  Item(later, "Load Log", 32859, "Load the recovery information\nLoad Log");
  options->addSeparator();
  Item(options, "E&xit", 57665, "Quit from Orlindavestrum\nExit");
  window.menuBar()->addMenu(QStringLiteral("&Maintenance"));
  window.menuBar()->addMenu(QStringLiteral("S&upport"));
  QMenu* helpMenu = window.menuBar()->addMenu(QStringLiteral("&Help"));
  Item(helpMenu, "&Contents        ", 32802, "Help contents\nContents");
  Item(helpMenu, "&Show Balloon Help", 32851, "Show or hide the balloon help\nBalloon Help");
  QMenu* languages = helpMenu->addMenu(QStringLiteral("Balloon Help Language"));
  for (const char* language : {"Dutch", "English", "French", "German"}) Item(languages, language, 0, language);
  helpMenu->addSeparator();
  QAction* about = Item(helpMenu, "&About", 40003, "About Orlindavestrum\nAbout");
  help.AttachMenuBar(window.menuBar());

  const QRect area = BalloonWindow::PlacementArea(QPoint(0, 0));
  window.setGeometry(area.left() + 20, area.top() + 20, 620, 380);
  window.show();
  QApplication::processEvents();
  QMenu* top = shown == Shown::SaveLog ? options : helpMenu;
  const QRect titleRect = window.menuBar()->actionGeometry(top->menuAction());
  top->popup(window.menuBar()->mapToGlobal(titleRect.bottomLeft()));
  QApplication::processEvents();
  QMenu* open = top;
  QAction* item = about;
  if (shown == Shown::SaveLog) {
    later->popup(top->mapToGlobal(top->actionGeometry(later->menuAction()).topRight()));
    QApplication::processEvents();
    open = later;
    item = saveLog;
  }
  open->setActiveAction(item);
  QApplication::processEvents();
  const QRect itemRect(open->mapToGlobal(open->actionGeometry(item).topLeft()), open->actionGeometry(item).size());

  QImage image = Desktop(area);
  QPainter painter(&image);
  painter.drawPixmap(window.geometry().topLeft() - area.topLeft(), window.grab());
  for (QMenu* menu : {top, open}) painter.drawPixmap(menu->geometry().topLeft() - area.topLeft(), menu->grab());
  const bool tipShown = help.menuTip()->isVisible();
  if (tipShown) DrawWidget(painter, help.menuTip(), area);
  // Where the tip was told to point: the item's corner plus its offsets.
  if (tipShown) DrawAnchor(painter, help.menuTip()->pointsAt() - area.topLeft());
  painter.end();
  std::printf("%s: item at %d,%d, tip points at %d,%d\n", name, itemRect.left(), itemRect.top(),
              help.menuTip()->pointsAt().x(), help.menuTip()->pointsAt().y());
  later->hide();
  top->hide();
  if (!tipShown) {
    std::fprintf(stderr, "no menu tip for %s\n", languageFile);
    return false;
  }
  return Save(image, folder, QString::fromLatin1(name));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: help-screenshots DIR\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  bool ok = ModeBalloons(folder);
  ok = MenuTipIn(folder, "FrenchA.dat", Shown::SaveLog, "help-menu-tip-french-save-log.png") && ok;
  ok = MenuTipIn(folder, "GermanA.dat", Shown::About, "help-menu-tip-german-about.png") && ok;
  ok = MenuTipIn(folder, "DutchA.dat", Shown::SaveLog, "help-menu-tip-dutch-save-log.png") && ok;
  return ok ? 0 : 1;
}

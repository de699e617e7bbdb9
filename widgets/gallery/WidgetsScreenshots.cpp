// Writes a PNG of each control in its states into the folder given as the
// only argument: widgets-<control>.png, one picture per control with its
// states side by side.

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>
#include <functional>

#include "widgets/BrowseField.h"
#include "widgets/CXPGroupBox.h"
#include "widgets/GradientIconButton.h"
#include "widgets/ImageButton.h"
#include "widgets/OwnerMenu.h"
#include "widgets/PercentProgressBar.h"

namespace {

using namespace ov;

bool Save(QWidget& widget, const QDir& dir, const QString& name) {
  const QString path = dir.filePath(QStringLiteral("widgets-") + name + QStringLiteral(".png"));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// A window that shows one control per cell, each under a caption.
class Sheet : public QWidget {
public:
  explicit Sheet(int columns) : columns_(columns) {
    grid_ = new QGridLayout(this);
    grid_->setHorizontalSpacing(16);
    grid_->setVerticalSpacing(4);
  }
  template <typename W>
  W* add(const QString& caption, W* widget, QSize size = QSize()) {
    const int row = (count_ / columns_) * 2;
    const int column = count_ % columns_;
    ++count_;
    grid_->addWidget(new QLabel(caption, this), row, column);
    widget->setParent(this);
    if (size.isValid()) widget->setFixedSize(size);
    grid_->addWidget(widget, row + 1, column, Qt::AlignLeft | Qt::AlignTop);
    return widget;
  }
  // A cell holding a free-placed group of controls.
  QWidget* addPanel(const QString& caption, QSize size) { return add(caption, new QWidget, size); }

private:
  QGridLayout* grid_;
  int columns_;
  int count_ = 0;
};

// The step buttons' arrows, drawn rather than kept as files.
QIcon Arrow(bool right) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0, 128, 0));
  painter.setPen(Qt::NoPen);
  QPolygonF shape;
  if (right) {
    shape << QPointF(3, 2) << QPointF(14, 8) << QPointF(3, 14);
  } else {
    shape << QPointF(13, 2) << QPointF(2, 8) << QPointF(13, 14);
  }
  painter.drawPolygon(shape);
  return QIcon(pixmap);
}

// A small picture for the icon buttons and the menus: a coloured disk with
// a letter.
QPixmap Badge(const QColor& colour, QChar letter, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(colour);
  painter.setPen(colour.darker(150));
  painter.drawEllipse(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0));
  QFont font = painter.font();
  font.setPixelSize(size.height() - 5);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QString(letter));
  return pixmap;
}

// The menus' image list: cells on the transparent grey.
QImage MenuStrip() {
  QImage strip(OwnerMenu::kIconWidth * 3, OwnerMenu::kIconHeight, QImage::Format_RGB32);
  strip.fill(QColor::fromRgb(OwnerMenu::kIconTransparent));
  QPainter painter(&strip);
  const QColor colours[] = {QColor(30, 110, 200), QColor(200, 120, 20), QColor(170, 30, 30)};
  const QChar letters[] = {'S', 'L', 'X'};
  for (int i = 0; i < 3; ++i) {
    painter.drawPixmap(i * OwnerMenu::kIconWidth + 1, 0, Badge(colours[i], letters[i], QSize(14, 14)));
  }
  return strip;
}

void Hover(QWidget& widget) {
  QEnterEvent event(QPointF(4, 4), QPointF(4, 4), widget.mapToGlobal(QPointF(4, 4)));
  QApplication::sendEvent(&widget, &event);
}

bool ProgressBars(const QDir& dir) {
  Sheet sheet(2);
  auto bar = [&sheet](const QString& caption, std::int32_t upper, std::int32_t position) {
    auto* b = sheet.add(caption, new PercentProgressBar, QSize(260, 20));
    b->setRange(0, upper);
    b->setPosition(position);
    return b;
  };
  bar(QStringLiteral("empty (0%)"), 100, 0);
  bar(QStringLiteral("1 of 3 (33%)"), 3, 1);
  bar(QStringLiteral("half: the text inverted across the edge"), 100, 50);
  bar(QStringLiteral("full (100%)"), 100, 100);
  bar(QStringLiteral("custom text"), 100, 42)->setText(QStringLiteral("42 % Completed"));
  auto* coloured = bar(QStringLiteral("own bar, background and text colours"), 100, 64);
  coloured->setBarColor(QColor(0, 128, 0));
  coloured->setBackgroundColor(QColor(255, 255, 224));
  coloured->setTextColor(QColor(128, 0, 0));
  bar(QStringLiteral("text off"), 100, 70)->setShowText(false);
  bar(QStringLiteral("range 0 to 0: nothing drawn"), 0, 0);

  QWidget* panel = sheet.addPanel(QStringLiteral("vertical: 25%, 60%, 100%, no text"), QSize(260, 90));
  int x = 0;
  for (int position : {25, 60, 100}) {
    auto* v = new PercentProgressBar(panel);
    v->setOrientation(Qt::Vertical);
    v->setGeometry(x, 0, 22, 90);
    v->setPosition(position);
    x += 40;
  }
  sheet.adjustSize();
  return Save(sheet, dir, QStringLiteral("progress-bars"));
}

bool GroupBoxes(const QDir& dir) {
  Sheet sheet(3);
  const char* alignments[] = {"left", "centre", "right"};
  for (int style = 0; style < 2; ++style) {
    for (int a = 0; a < 3; ++a) {
      auto* box = sheet.add(QStringLiteral("%1 style, caption %2")
                                .arg(style == 0 ? QStringLiteral("frame") : QStringLiteral("window"),
                                     QLatin1String(alignments[a])),
                            new CXPGroupBox(style == 0 ? QStringLiteral("Select Disk") : QStringLiteral("Report")),
                            QSize(200, 90));
      box->setBoxStyle(static_cast<CXPGroupBox::BoxStyle>(style));
      box->setCaptionAlignment(static_cast<CXPGroupBox::CaptionAlignment>(a));
      auto* inside = new QLabel(QStringLiteral("contents"), box);
      inside->move(box->contentsRect().topLeft());
    }
  }
  sheet.adjustSize();
  return Save(sheet, dir, QStringLiteral("group-boxes"));
}

bool ImageButtons(const QDir& dir) {
  Sheet sheet(4);
  const QSize size(110, 30);
  auto step = [&](const QString& caption, bool next) {
    auto* b = sheet.add(caption, new ImageButton(next ? QStringLiteral("&Next") : QStringLiteral("&Back")), size);
    b->setIcon(Arrow(next));
    b->setFlat(true);
    b->setTrackAlways(true);
    b->applyStepLook(next ? ImageButton::ImageRight : ImageButton::ImageLeft);
    return b;
  };
  step(QStringLiteral("\"&Next\" (flat, image right)"), true);
  Hover(*step(QStringLiteral("\"&Next\" hot"), true));
  step(QStringLiteral("\"&Back\" (image left)"), false);
  Hover(*step(QStringLiteral("\"&Back\" hot"), false));

  auto plain = [&](const QString& caption, const QString& text) {
    auto* b = sheet.add(caption, new ImageButton(text), size);
    b->setIcon(QIcon(Badge(QColor(30, 110, 200), 'i', QSize(16, 16))));
    return b;
  };
  plain(QStringLiteral("normal"), QStringLiteral("Open"));
  plain(QStringLiteral("default: black frame"), QStringLiteral("Open"))->setDefault(true);
  plain(QStringLiteral("pressed"), QStringLiteral("Open"))->setDown(true);
  plain(QStringLiteral("disabled"), QStringLiteral("Open"))->setEnabled(false);
  auto* above = plain(QStringLiteral("image above the text"), QStringLiteral("Help"));
  above->setImageAlignment(ImageButton::ImageAbove);
  above->setFixedSize(110, 44);
  auto* check = plain(QStringLiteral("check box, checked"), QStringLiteral("Details"));
  check->setCheckBox(true);
  check->setChecked(true);
  auto* offset = plain(QStringLiteral("face offset by -40"), QStringLiteral("Darker"));
  offset->offsetColor(ImageButton::NormalBackground, -40);
  plain(QStringLiteral("focused: dotted rectangle"), QStringLiteral("Focus"))->setObjectName("focus");

  sheet.adjustSize();
  sheet.show();
  sheet.activateWindow();
  if (auto* focus = sheet.findChild<ImageButton*>(QStringLiteral("focus"))) focus->setFocus();
  QApplication::processEvents();
  return Save(sheet, dir, QStringLiteral("image-buttons"));
}

bool GradientButtons(const QDir& dir) {
  Sheet sheet(4);
  const QSize size(30, 28);
  auto button = [&](const QString& caption, GradientIconButton::Kind kind, QColor colour, QChar letter) {
    auto* b = sheet.add(caption, new GradientIconButton, size);
    b->setKind(kind);
    b->setIcon(QIcon(Badge(colour, letter, QSize(16, 16))));
    return b;
  };
  button(QStringLiteral("push: Save"), GradientIconButton::PushButton, QColor(30, 110, 200), 'S');
  button(QStringLiteral("pressed"), GradientIconButton::PushButton, QColor(30, 110, 200), 'S')->setDown(true);
  Hover(*button(QStringLiteral("hot"), GradientIconButton::PushButton, QColor(30, 110, 200), 'S'));
  button(QStringLiteral("disabled"), GradientIconButton::PushButton, QColor(30, 110, 200), 'S')->setEnabled(false);
  button(QStringLiteral("check box"), GradientIconButton::CheckBox, QColor(200, 120, 20), 'H');
  button(QStringLiteral("check box, checked"), GradientIconButton::CheckBox, QColor(200, 120, 20), 'H')
      ->setChecked(true);

  // One group of three radio buttons: setting the last clears the first.
  auto* group = new GradientButtonGroup(&sheet);
  QWidget* panel = sheet.addPanel(QStringLiteral("radio group, third set"), QSize(110, 28));
  GradientIconButton* radios[3];
  for (int i = 0; i < 3; ++i) {
    radios[i] = new GradientIconButton(panel);
    radios[i]->setKind(GradientIconButton::RadioButton);
    radios[i]->setGroup(group);
    radios[i]->setIcon(QIcon(Badge(QColor(170, 30, 30), QChar('1' + i), QSize(16, 16))));
    radios[i]->setGeometry(i * 36, 0, 30, 28);
  }
  radios[0]->setChecked(true);
  radios[2]->setChecked(true);
  sheet.adjustSize();
  return Save(sheet, dir, QStringLiteral("gradient-buttons"));
}

bool Menus(const QDir& dir) {
  for (MenuLook look : {MenuLook::Modern, MenuLook::Classic}) {
    OwnerMenu menu;
    menu.setLook(look);
    menu.setImageList(MenuStrip());
    menu.addItem(QStringLiteral("&Save \tCtrl+S"), 32830, 0);
    QAction* load = menu.addItem(QStringLiteral("&Load Log"), 32801, 1);
    menu.addItem(QStringLiteral("Save Log"), 32800)->setEnabled(false);
    QAction* ticked = menu.addItem(QStringLiteral("Show &Balloons"), 32851);
    ticked->setCheckable(true);
    ticked->setChecked(true);
    menu.addSeparator();
    menu.addSubMenu(QStringLiteral("&Language"))->addItem(QStringLiteral("English"), 32860);
    menu.addItem(QStringLiteral("E&xit"), 32776, 2);
    menu.resize(menu.sizeHint());
    menu.setActiveAction(load);
    if (!Save(menu, dir, look == MenuLook::Modern ? QStringLiteral("menu-modern") : QStringLiteral("menu-classic"))) {
      return false;
    }
  }
  return true;
}

bool BrowseFields(const QDir& dir) {
  Sheet sheet(1);
  QWidget* panel = sheet.addPanel(QStringLiteral("recovery program: button width (h × 8) / 10 + 25"), QSize(320, 24));
  auto* recovery = new BrowseField(panel, kRecoveryBrowseExtra);
  recovery->setGeometry(0, 0, 240, 22);
  recovery->setText(QStringLiteral("/home/user/Recovered"));
  QWidget* setup = sheet.addPanel(QStringLiteral("installer: + 35, edit part hidden"), QSize(320, 24));
  auto* installer = new BrowseField(setup, kSetupBrowseExtra);
  installer->setGeometry(0, 0, 240, 22);
  installer->hide();
  QWidget* both = sheet.addPanel(QStringLiteral("installer field with its edit shown"), QSize(320, 24));
  (new BrowseField(both, kSetupBrowseExtra))->setGeometry(0, 0, 240, 22);
  sheet.adjustSize();
  return Save(sheet, dir, QStringLiteral("browse-fields"));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: widgets-screenshots DIR\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const std::function<bool(const QDir&)> pictures[] = {ProgressBars, GroupBoxes,    ImageButtons,
                                                       GradientButtons, Menus, BrowseFields};
  bool ok = true;
  for (const auto& picture : pictures) ok = picture(dir) && ok;
  return ok ? 0 : 1;
}

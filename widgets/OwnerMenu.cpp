#include "widgets/OwnerMenu.h"

#include <QAction>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace ov {

namespace {

constexpr char kIconProperty[] = "ovIconIndex";
constexpr int kIconCellWidth = OwnerMenu::kIconWidth + 6;  // the icon and its margin
constexpr int kItemHeight = OwnerMenu::kIconHeight + 6;
constexpr int kTextGap = 8;
constexpr int kSeparatorHeight = 7;

// Draws the items of an OwnerMenu in one of the two looks; every other
// element comes from the application's style.
class OwnerMenuStyle : public QProxyStyle {
public:
  explicit OwnerMenuStyle(MenuLook look) : look_(look) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    switch (metric) {
      case PM_SmallIconSize: return OwnerMenu::kIconWidth;
      case PM_MenuPanelWidth: return look_ == MenuLook::Modern ? 1 : 2;
      case PM_MenuHMargin:
      case PM_MenuVMargin: return 1;
      default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    if (type != CT_MenuItem) return QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item == nullptr) return QProxyStyle::sizeFromContents(type, option, size, widget);
    if (item->menuItemType == QStyleOptionMenuItem::Separator) return QSize(10, kSeparatorHeight);
    const QFontMetrics metrics(item->font);
    QString text = item->text;
    text.replace(QLatin1Char('\t'), QStringLiteral("    "));
    const int width = kIconCellWidth + kTextGap + metrics.horizontalAdvance(QString(text).remove(QLatin1Char('&'))) +
                      kTextGap + 16;
    return QSize(width, std::max(kItemHeight, metrics.height() + 4));
  }

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_PanelMenu || element == PE_FrameMenu) {
      const QRect r = option->rect;
      if (look_ == MenuLook::Modern) {
        painter->fillRect(r, modernFace(option->palette));
        painter->setPen(option->palette.color(QPalette::Dark));
        painter->drawRect(r.adjusted(0, 0, -1, -1));
      } else {
        painter->fillRect(r, option->palette.color(QPalette::Button));
        painter->setPen(option->palette.color(QPalette::Light));
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.topLeft(), r.bottomLeft());
        painter->setPen(option->palette.color(QPalette::Shadow));
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
      }
      return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuEmptyArea) {
      painter->fillRect(option->rect, look_ == MenuLook::Modern ? modernFace(option->palette)
                                                                  : option->palette.color(QPalette::Button));
      return;
    }
    if (element != CE_MenuItem || item == nullptr) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    look_ == MenuLook::Modern ? drawModern(*item, painter) : drawClassic(*item, painter);
  }

private:
  static QColor modernFace(const QPalette& palette) { return palette.color(QPalette::Base); }
  static QColor modernBand(const QPalette& palette) { return palette.color(QPalette::Button); }

  static QRect iconCell(const QRect& r) {
    return QRect(r.left() + 3, r.top() + (r.height() - OwnerMenu::kIconHeight) / 2, OwnerMenu::kIconWidth,
                 OwnerMenu::kIconHeight);
  }

  static void drawTextAndMark(const QStyleOptionMenuItem& item, QPainter* painter, const QColor& color) {
    const QRect r = item.rect;
    const QRect textRect(r.left() + kIconCellWidth + kTextGap, r.top(), r.width() - kIconCellWidth - 2 * kTextGap,
                         r.height());
    const bool enabled = item.state & State_Enabled;
    painter->setPen(enabled ? color : item.palette.color(QPalette::Disabled, QPalette::Text));
    painter->setFont(item.font);
    const QStringList parts = item.text.split(QLatin1Char('\t'));
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    painter->drawText(textRect, flags | Qt::AlignLeft, parts.value(0));
    if (parts.size() > 1) painter->drawText(textRect.adjusted(0, 0, -8, 0), flags | Qt::AlignRight, parts.value(1));
    if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
      const int x = r.right() - 8;
      const int y = r.center().y();
      QPolygon arrow;
      arrow << QPoint(x, y - 3) << QPoint(x + 3, y) << QPoint(x, y + 3);
      painter->setBrush(painter->pen().color());
      painter->drawPolygon(arrow);
      painter->setBrush(Qt::NoBrush);
    }
  }

  static void drawIconOrCheck(const QStyleOptionMenuItem& item, QPainter* painter, const QColor& mark) {
    const QRect cell = iconCell(item.rect);
    if (!item.icon.isNull()) {
      const QIcon::Mode mode = (item.state & State_Enabled) ? QIcon::Normal : QIcon::Disabled;
      painter->drawPixmap(cell.topLeft(), item.icon.pixmap(cell.size(), 1.0, mode));
    } else if (item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked) {
      painter->setPen(QPen(mark, 2));
      painter->drawLine(cell.left() + 3, cell.center().y(), cell.left() + 6, cell.bottom() - 3);
      painter->drawLine(cell.left() + 6, cell.bottom() - 3, cell.right() - 3, cell.top() + 3);
    }
  }

  void drawModern(const QStyleOptionMenuItem& item, QPainter* painter) const {
    const QRect r = item.rect;
    const QPalette& palette = item.palette;
    painter->fillRect(r, modernFace(palette));
    painter->fillRect(QRect(r.left(), r.top(), kIconCellWidth, r.height()), modernBand(palette));
    if (item.menuItemType == QStyleOptionMenuItem::Separator) {
      painter->setPen(palette.color(QPalette::Mid));
      const int y = r.center().y();
      painter->drawLine(r.left() + kIconCellWidth + kTextGap, y, r.right() - 2, y);
      return;
    }
    const bool selected = (item.state & State_Selected) && (item.state & State_Enabled);
    if (selected) {
      const QColor highlight = palette.color(QPalette::Highlight);
      QColor fill = highlight;
      fill.setAlpha(60);
      painter->fillRect(r.adjusted(1, 0, -2, -1), fill);
      painter->setPen(highlight);
      painter->drawRect(r.adjusted(1, 0, -2, -1));
    }
    drawIconOrCheck(item, painter, palette.color(QPalette::Text));
    drawTextAndMark(item, painter, palette.color(QPalette::Text));
  }

  void drawClassic(const QStyleOptionMenuItem& item, QPainter* painter) const {
    const QRect r = item.rect;
    const QPalette& palette = item.palette;
    if (item.menuItemType == QStyleOptionMenuItem::Separator) {
      painter->fillRect(r, palette.color(QPalette::Button));
      const int y = r.center().y();
      painter->setPen(palette.color(QPalette::Dark));
      painter->drawLine(r.left() + 1, y, r.right() - 1, y);
      painter->setPen(palette.color(QPalette::Light));
      painter->drawLine(r.left() + 1, y + 1, r.right() - 1, y + 1);
      return;
    }
    const bool selected = (item.state & State_Selected) && (item.state & State_Enabled);
    painter->fillRect(r, palette.color(QPalette::Button));
    // The selection bar starts right of the icon cell; the icon gets a raised
    // edge instead.
    const QRect bar(r.left() + kIconCellWidth, r.top(), r.width() - kIconCellWidth, r.height());
    if (selected) painter->fillRect(item.icon.isNull() ? r : bar, palette.color(QPalette::Highlight));
    if (selected && !item.icon.isNull()) {
      const QRect cell = iconCell(r).adjusted(-2, -2, 1, 1);
      painter->setPen(palette.color(QPalette::Light));
      painter->drawLine(cell.topLeft(), cell.topRight());
      painter->drawLine(cell.topLeft(), cell.bottomLeft());
      painter->setPen(palette.color(QPalette::Dark));
      painter->drawLine(cell.bottomLeft(), cell.bottomRight());
      painter->drawLine(cell.topRight(), cell.bottomRight());
    }
    const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::ButtonText);
    drawIconOrCheck(item, painter, text);
    drawTextAndMark(item, painter, text);
  }

  MenuLook look_;
};

QStyle* StyleFor(MenuLook look) {
  // One style per look for the whole run; menus only borrow them.
  static OwnerMenuStyle* modern = new OwnerMenuStyle(MenuLook::Modern);
  static OwnerMenuStyle* classic = new OwnerMenuStyle(MenuLook::Classic);
  return look == MenuLook::Modern ? modern : classic;
}

}  // namespace

OwnerMenu::OwnerMenu(QWidget* parent) : QMenu(parent), look_(RunMenuLook()) { init(parent); }

OwnerMenu::OwnerMenu(const QString& title, QWidget* parent) : QMenu(title, parent), look_(RunMenuLook()) {
  init(parent);
}

void OwnerMenu::init(QWidget* /*parent*/) {
  setStyle(StyleFor(look_));
  connect(this, &QMenu::hovered, this, [this](QAction* action) { selected_ = actions().indexOf(action); });
  connect(this, &QMenu::aboutToHide, this, [this] { selected_ = -1; });
  connect(this, &QMenu::triggered, this, [this](QAction* action) {
    // Items of submenus reach their own menu's signal; the one the user
    // opened reports them as well.
    const int id = command(action);
    if (id >= 0) emit commandChosen(id);
  });
}

void OwnerMenu::setLook(MenuLook look) {
  look_ = look;
  setStyle(StyleFor(look_));
  for (QAction* action : actions()) {
    if (auto* sub = qobject_cast<OwnerMenu*>(action->menu())) sub->setLook(look);
  }
  update();
}

void OwnerMenu::setImageList(const QImage& strip) {
  images_.clear();
  if (!strip.isNull()) {
    QImage source = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(source.scanLine(y));
      for (int x = 0; x < source.width(); ++x) {
        if ((line[x] | 0xFF000000) == kIconTransparent) line[x] = 0;
      }
    }
    for (int x = 0; x + kIconWidth <= source.width(); x += kIconWidth) {
      QImage cell = source.copy(x, 0, kIconWidth, source.height());
      if (cell.height() != kIconHeight) {
        cell = cell.scaled(kIconWidth, kIconHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      }
      images_.append(QPixmap::fromImage(cell));
    }
  }
  for (QAction* action : actions()) applyIcon(action);
}

QPixmap OwnerMenu::image(int index) const { return index >= 0 && index < images_.size() ? images_[index] : QPixmap(); }

void OwnerMenu::applyIcon(QAction* action) {
  bool ok = false;
  const int index = action->property(kIconProperty).toInt(&ok);
  action->setIcon(ok ? QIcon(image(index)) : QIcon());
}

QAction* OwnerMenu::addItem(const QString& text, int command, int iconIndex) {
  QAction* action = addAction(text);
  action->setData(command);
  action->setProperty(kIconProperty, iconIndex);
  applyIcon(action);
  return action;
}

OwnerMenu* OwnerMenu::addSubMenu(const QString& title) {
  auto* sub = new OwnerMenu(title, this);
  sub->setLook(look_);
  addMenu(sub);
  return sub;
}

QAction* OwnerMenu::findCommand(int id) const {
  for (QAction* action : actions()) {
    if (action->menu() == nullptr && command(action) == id) return action;
    if (auto* sub = qobject_cast<OwnerMenu*>(action->menu())) {
      if (QAction* found = sub->findCommand(id)) return found;
    }
  }
  return nullptr;
}

int OwnerMenu::command(const QAction* action) {
  if (action == nullptr) return -1;
  bool ok = false;
  const int id = action->data().toInt(&ok);
  return ok ? id : -1;
}

}  // namespace ov

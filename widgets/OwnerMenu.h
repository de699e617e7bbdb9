#pragma once
// The program's own menus: items with a command number and an icon from the
// menu's image list, drawn in the run's look (see platform/MenuLook.h).

#include <QColor>
#include <QImage>
#include <QList>
#include <QMenu>
#include <QPixmap>
#include <QString>

#include "platform/MenuLook.h"

class QAction;

namespace ov {

class OwnerMenu : public QMenu {
  Q_OBJECT

public:
  // Every icon occupies a cell of this size; wider or taller images are
  // scaled into it.
  static constexpr int kIconWidth = 16;
  static constexpr int kIconHeight = 15;
  // The colour of icon bitmaps that stands for "transparent".
  static constexpr QRgb kIconTransparent = 0xFFC0C0C0;

  // The look is the run's (RunMenuLook) unless set.
  explicit OwnerMenu(QWidget* parent = nullptr);
  OwnerMenu(const QString& title, QWidget* parent = nullptr);

  // The icons: a strip of cells kIconWidth pixels wide (any height), in which
  // kIconTransparent pixels become transparent. Applies to the items already
  // added and to later ones.
  void setImageList(const QImage& strip);
  int imageCount() const { return images_.size(); }
  // One icon of the list, already made transparent; null for a bad index.
  QPixmap image(int index) const;

  // Adds an item: its text (with "&" marking the access key, "\t" before a
  // shortcut text), its command number (the action's data()) and the index of
  // its icon in the image list (−1 = none).
  QAction* addItem(const QString& text, int command, int iconIndex = -1);
  // Adds a submenu drawn the same way.
  OwnerMenu* addSubMenu(const QString& title);
  // The item with this command number here or in a submenu, or nullptr.
  QAction* findCommand(int command) const;
  static int command(const QAction* action);

  void setLook(MenuLook look);
  MenuLook look() const { return look_; }

  // The index of the highlighted item among actions(), −1 when none.
  int selectedItem() const { return selected_; }

signals:
  // An item was chosen: its command number.
  void commandChosen(int command);

private:
  void init(QWidget* parent);
  void applyIcon(QAction* action);

  MenuLook look_;
  QList<QPixmap> images_;
  int selected_ = -1;
};

}  // namespace ov

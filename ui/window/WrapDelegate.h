#pragma once
// Row heights for wrapped rows in a tree view: the style measures a row's
// text on one line unless told the width it wraps in, so a wrapped row
// would keep one line's height and be cut. While the view wraps, each row
// is measured at its column's width; otherwise rows are as the style has
// them.

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace ov::window {

class WrapDelegate : public QStyledItemDelegate {
public:
  explicit WrapDelegate(QTreeView* view) : QStyledItemDelegate(view), view_(view) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!view_->wordWrap()) return QStyledItemDelegate::sizeHint(option, index);
    QStyleOptionViewItem o = option;
    // A rectangle of no height counts as none: the text would not wrap.
    o.rect = QRect(0, 0, view_->header()->sectionSize(index.column()), 1);
    return QStyledItemDelegate::sizeHint(o, index);
  }

private:
  QTreeView* view_;
};

}  // namespace ov::window

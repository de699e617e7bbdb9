#include "widgets/BrowseField.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace ov {

namespace {

// The button's text in both programs.
const char kBrowseText[] = "&Browse";

// The button is narrow by rule (a few pixels wider than the edit is high),
// narrower than a style's push button margins allow for its text; so the
// style draws only the face and the text is centred on the whole button.
class BrowseButton : public QPushButton {
public:
  BrowseButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    const QPoint shift = isDown() ? QPoint(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this))
                                  : QPoint();
    painter.setFont(BrowseTextFont(font(), text(), width()));
    painter.drawItemText(rect().translated(shift), Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(),
                         text(), QPalette::ButtonText);
  }
};

}  // namespace

QFont BrowseTextFont(const QFont& font, const QString& text, int width) {
  QString shown = text;
  shown.remove(QLatin1Char('&'));
  QFont f = font;
  if (f.pointSizeF() <= 0) return f;  // a pixel-sized font is left as it is
  while (QFontMetrics(f).horizontalAdvance(shown) + 2 * kBrowseTextMargin > width && f.pointSizeF() > 6.0) {
    f.setPointSizeF(f.pointSizeF() - 0.5);
  }
  return f;
}

int BrowseButtonWidth(int editHeight, int extra) { return (editHeight * 8) / 10 + extra; }

QRect BrowseButtonRect(const QRect& edit, int extra) {
  return QRect(edit.right() + 1 + 1, edit.top(), BrowseButtonWidth(edit.height(), extra), edit.height());
}

bool FolderPicker(QWidget* owner, QString& folder, bool oldStyle, const QString& title) {
  QFileDialog::Options options = QFileDialog::ShowDirsOnly;
  if (oldStyle) options |= QFileDialog::DontUseNativeDialog;
  const QString chosen = QFileDialog::getExistingDirectory(owner, title, folder, options);
  if (chosen.isEmpty()) return false;
  QString clean = QDir::cleanPath(chosen);
  folder = QDir::toNativeSeparators(clean);
  return true;
}

BrowseField::BrowseField(QWidget* parent, int buttonExtra) : QLineEdit(parent), extra_(buttonExtra) {
  picker_ = &FolderPicker;
  installEventFilter(this);
  makeButton();
}

BrowseField::~BrowseField() {
  // The button lives in the parent; it goes with the field.
  delete button_.data();
}

void BrowseField::setButtonToolTip(const QString& tip) {
  tip_ = tip;
  if (button_) button_->setToolTip(tip_);
}

void BrowseField::setPicker(Picker picker) { picker_ = picker ? std::move(picker) : Picker(&FolderPicker); }

void BrowseField::makeButton() {
  QWidget* parent = parentWidget();
  if (parent == nullptr || parent == watchedParent_) return;
  if (watchedParent_) watchedParent_->removeEventFilter(this);
  watchedParent_ = parent;
  parent->installEventFilter(this);
  if (button_) {
    button_->setParent(parent);
  } else {
    button_ = new BrowseButton(QString::fromLatin1(kBrowseText), parent);
    button_->setObjectName(QStringLiteral("browseButton"));
    button_->setToolTip(tip_);
    connect(button_, &QPushButton::clicked, this, &BrowseField::browse);
  }
  button_->setFont(parent->font());
  updateButtonGeometry();
  button_->show();
}

void BrowseField::updateButtonGeometry() {
  if (button_) button_->setGeometry(BrowseButtonRect(geometry(), extra_));
}

bool BrowseField::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) makeButton();
  return QLineEdit::event(event);
}

bool BrowseField::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == this && (type == QEvent::Move || type == QEvent::Resize)) updateButtonGeometry();
  if (watched == watchedParent_ && (type == QEvent::Show || type == QEvent::Resize)) updateButtonGeometry();
  return QLineEdit::eventFilter(watched, event);
}

void BrowseField::browse() {
  QString folder = text();
  const bool chosen = picker_(window(), folder, oldStyle_, title_);
  if (chosen) setText(folder);
  emit browsed(text(), chosen);
}

}  // namespace ov

#pragma once
// An edit field with a "&Browse" button at its right that picks a folder.

#include <QFont>
#include <QLineEdit>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>

class QPushButton;

namespace ov {

// The browse button's width is (edit height × 8) / 10 plus one of these: the
// recovery program's and the installer's.
inline constexpr int kRecoveryBrowseExtra = 25;
inline constexpr int kSetupBrowseExtra = 35;

// (editHeight × 8) / 10 + extra, in integer arithmetic.
int BrowseButtonWidth(int editHeight, int extra);
// The button keeps its width by the rule above; its text is drawn in the
// button's font made as much smaller as it takes to leave this margin on
// either side.
inline constexpr int kBrowseTextMargin = 3;
QFont BrowseTextFont(const QFont& font, const QString& text, int width);
// The button's rectangle in the parent's coordinates for an edit at `edit`:
// the edit's top and bottom, and a one-pixel gap after the edit's last
// column (left = the edit's exclusive right edge + 1).
QRect BrowseButtonRect(const QRect& edit, int extra);

// Lets the user choose a folder, starting at `folder`, under `title`. The
// desktop's own folder dialog where it has one; Qt's own dialog when
// `oldStyle` is set. Only folders can be chosen. True, with `folder` set to
// the chosen folder (native separators, no trailing separator except for
// the root), only when a folder was chosen; otherwise `folder` is unchanged.
bool FolderPicker(QWidget* owner, QString& folder, bool oldStyle, const QString& title);

// The field. The button is a child of the field's parent, not of the field,
// so it keeps to the field's right side as the field moves or resizes, and
// stays shown when the field itself is hidden (the installer shows only the
// button). A layout that holds the field must leave room at its right.
//
// The button follows the field's move and resize events, and is placed again
// whenever the parent is shown or resized. Qt holds back those events for a
// hidden widget, so an owner that moves a hidden field while its parent is
// up calls updateButtonGeometry() afterwards.
class BrowseField : public QLineEdit {
  Q_OBJECT

public:
  // The picker as FolderPicker's signature; tests replace it.
  using Picker = std::function<bool(QWidget* owner, QString& folder, bool oldStyle, const QString& title)>;

  // `buttonExtra` is kRecoveryBrowseExtra in the recovery program and
  // kSetupBrowseExtra in the installer. The button, "&Browse" in the
  // parent's font, is created with the field when it has a parent, else
  // when it gets one.
  explicit BrowseField(QWidget* parent = nullptr, int buttonExtra = kRecoveryBrowseExtra);
  ~BrowseField() override;

  void setBrowseTitle(const QString& title) { title_ = title; }
  QString browseTitle() const { return title_; }
  // Qt's own folder dialog instead of the desktop's.
  void setOldStyle(bool oldStyle) { oldStyle_ = oldStyle; }
  bool oldStyle() const { return oldStyle_; }
  void setButtonToolTip(const QString& tip);
  QString buttonToolTip() const { return tip_; }
  int buttonExtra() const { return extra_; }

  QPushButton* browseButton() const { return button_; }
  // Puts the button at its place beside the field's present geometry.
  void updateButtonGeometry();
  void setPicker(Picker picker);

  // What a click on the button does: the picker starts at the field's text
  // under the browse title; a chosen folder becomes the text. Then
  // browsed() hands the text to the owner, chosen or not.
  void browse();

signals:
  void browsed(const QString& text, bool chosen);

protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void makeButton();

  int extra_;
  QString title_;
  bool oldStyle_ = false;
  QString tip_;
  QPointer<QPushButton> button_;
  QPointer<QWidget> watchedParent_;
  Picker picker_;
};

}  // namespace ov

#pragma once
// A group box drawn by the program in one of two styles: a rounded frame with
// the caption on its top line, or a window with a caption band over a body.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace ov {

// Where the rounded outline, the body and the caption of a box lie, for a
// box of `size` and a caption measuring `caption` in the box's font.
struct GroupBoxGeometry {
  QRect outline;  // rounded rectangle with 10 × 10 corner ellipses
  QRect body;     // window style: the plain rectangle under the caption band
  QRect caption;  // where the caption text is drawn, vertically centred
};

class CXPGroupBox : public QWidget {
  Q_OBJECT

public:
  enum BoxStyle { FrameStyle = 0, WindowStyle = 1 };
  enum CaptionAlignment { CaptionLeft = 0, CaptionCentre = 1, CaptionRight = 2 };

  // Distance of a left or right caption from the outline's side.
  static constexpr int kFrameCaptionIndent = 10;
  static constexpr int kWindowCaptionInset = 2;
  static constexpr int kCornerDiameter = 10;

  // Colours come from the palette as it is now: border = dark (button
  // shadow), body and caption background = button face, caption text =
  // window text. Later palette changes do not alter them; the setters do.
  explicit CXPGroupBox(const QString& title = QString(), QWidget* parent = nullptr);

  void setTitle(const QString& title);
  QString title() const { return title_; }

  // The caption's font; by default the box's own font.
  void setCaptionFont(const QFont& font);
  QFont captionFont() const { return captionFont_; }

  void setBoxStyle(BoxStyle style);
  BoxStyle boxStyle() const { return style_; }
  void setCaptionAlignment(CaptionAlignment alignment);
  CaptionAlignment captionAlignment() const { return alignment_; }

  void setBorderColor(const QColor& color);
  void setBodyColor(const QColor& color);
  void setCaptionBackgroundColor(const QColor& color);
  void setCaptionTextColor(const QColor& color);
  QColor borderColor() const { return border_; }
  QColor bodyColor() const { return body_; }
  QColor captionBackgroundColor() const { return captionBackground_; }
  QColor captionTextColor() const { return captionText_; }

  // The geometry for a box of `size` whose caption measures `caption`.
  static GroupBoxGeometry Geometry(QSize size, QSize caption, BoxStyle style, CaptionAlignment alignment);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  QSize captionSize() const;
  void updateMargins();

  QString title_;
  QFont captionFont_;
  bool ownCaptionFont_ = false;
  BoxStyle style_ = FrameStyle;
  CaptionAlignment alignment_ = CaptionLeft;
  QColor border_;
  QColor body_;
  QColor captionBackground_;
  QColor captionText_;
};

}  // namespace ov

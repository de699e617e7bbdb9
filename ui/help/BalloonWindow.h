#pragma once
// The balloon window: a title in bold over a word-wrapped text, in a
// rounded body whose tail points at an anchor on the screen. A balloon owns
// itself: it closes by the rules of its option bits (mouse buttons, the
// cursor moving away from where it was at launch) and, with bit 0x0200,
// which every launch adds, deletes itself when its window closes.
//
// It fades in and out over 200 ms where the desktop composites; elsewhere
// the launch adds the no-fade bits.

#include <QFont>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>

#include "platform/BalloonGeometry.h"

class QTimer;

namespace ov {

class BalloonWindow : public QWidget {
  Q_OBJECT

public:
  // Shows a new balloon; returns it for callers that watch it (through a
  // QPointer: it may be gone at any time after). `cursor` is where the
  // cursor stands at launch, which the move rule measures from: the
  // position of the mouse move that launches it, else the cursor's
  // position now.
  static BalloonWindow* Launch(const QString& title, const QString& content, QPoint anchor,
                               std::uint32_t options, std::optional<QPoint> cursor = std::nullopt);

  ~BalloonWindow() override;

  std::uint32_t options() const { return options_; }
  const balloon::Placement& placement() const { return placement_; }
  QRect placementArea() const { return area_; }
  QPoint launchCursor() const { return launchCursor_; }
  int hoverTolerance() const { return tolerance_; }
  QFont titleFont() const { return titleFont_; }
  QFont contentFont() const { return contentFont_; }
  QString title() const { return title_; }
  QString content() const { return content_; }

  // Closes as a close rule would: hidden (faded out unless bit 0x8000),
  // then closed.
  void CloseBalloon();

  // The screen rectangle a balloon at `anchor` is kept within: the
  // available geometry of the screen that holds it.
  static QRect PlacementArea(QPoint anchor);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  BalloonWindow(const QString& title, const QString& content, QPoint anchor, std::uint32_t options, QPoint cursor);
  void Layout();
  void CheckCursor();

  QString title_;
  QString content_;
  QPoint anchor_;
  std::uint32_t options_;
  QPoint launchCursor_;
  int tolerance_;
  QFont titleFont_;
  QFont contentFont_;
  QColor background_;
  QColor text_;
  QRect area_;
  QRect headerRect_;
  QRect contentRect_;
  balloon::Placement placement_;
  QTimer* cursorPoll_ = nullptr;
  QPoint polledCursor_;
  bool closing_ = false;
};

}  // namespace ov

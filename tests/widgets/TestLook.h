#pragma once
// The fixed look of the controls' tests, and small helpers to read pixels.

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QWidget>

namespace ov::test {

// Plain colours, each distinct, so a pixel names the role that drew it.
inline constexpr QRgb kHighlight = 0xFF000080;   // bar
inline constexpr QRgb kBase = 0xFFFFFFFF;        // empty part of the bar
inline constexpr QRgb kButton = 0xFFC0C0C0;      // button face
inline constexpr QRgb kWindow = 0xFFD4D0C8;      // window background
inline constexpr QRgb kDark = 0xFF808080;        // button shadow
inline constexpr QRgb kWindowText = 0xFF000000;
inline constexpr QRgb kButtonText = 0xFF101010;
inline constexpr QRgb kLight = 0xFFFFFFFF;

inline QPalette FixedPalette() {
  QPalette palette;
  palette.setColor(QPalette::Highlight, QColor::fromRgb(kHighlight));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Base, QColor::fromRgb(kBase));
  palette.setColor(QPalette::Button, QColor::fromRgb(kButton));
  palette.setColor(QPalette::Window, QColor::fromRgb(kWindow));
  palette.setColor(QPalette::Dark, QColor::fromRgb(kDark));
  palette.setColor(QPalette::Mid, QColor::fromRgb(0xFFA0A0A0));
  palette.setColor(QPalette::Shadow, QColor::fromRgb(0xFF404040));
  palette.setColor(QPalette::Light, QColor::fromRgb(kLight));
  palette.setColor(QPalette::WindowText, QColor::fromRgb(kWindowText));
  palette.setColor(QPalette::ButtonText, QColor::fromRgb(kButtonText));
  palette.setColor(QPalette::Text, QColor::fromRgb(kWindowText));
  return palette;
}

inline QFont FixedFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  // Unsmoothed glyphs, so every text pixel is exactly the pen's colour.
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

// The widget as it paints itself, at one image pixel per widget pixel.
inline QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000; }

// Paint events a widget receives while the counter lives.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
  ~PaintCounter() override { widget_->removeEventFilter(this); }
  int count = 0;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_ && event->type() == QEvent::Paint) ++count;
    return false;
  }

private:
  QWidget* widget_;
};

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <typename Done>
bool WaitUntil(Done done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return done();
}

// Shows a widget and lets it paint once, so later paints are the widget's own.
inline bool ShowAndSettle(QWidget& widget) {
  PaintCounter counter(&widget);
  widget.show();
  const bool painted = WaitUntil([&] { return counter.count > 0; });
  // Late exposures of a new window (an X server may send several) pass
  // before the test starts counting.
  WaitUntil([] { return false; }, 150);
  return painted;
}

// How many pixels of a rectangle have exactly this colour.
inline int CountColor(const QImage& image, const QRect& area, QRgb color) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (Pixel(image, x, y) == (color | 0xFF000000)) ++count;
  return count;
}

}  // namespace ov::test

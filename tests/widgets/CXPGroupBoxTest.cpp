#include "widgets/CXPGroupBox.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "widgets/TestLook.h"

namespace ov {
namespace {

using test::CountColor;
using test::Grab;
using test::kDark;
using test::kWindow;
using test::Pixel;

TEST(CXPGroupBoxGeometry, CaptionPlacesPerStyleAndAlignment) {
  const QSize box(200, 80);
  const QSize caption(50, 14);
  auto frame = [&](CXPGroupBox::CaptionAlignment a) {
    return CXPGroupBox::Geometry(box, caption, CXPGroupBox::FrameStyle, a);
  };
  EXPECT_EQ(frame(CXPGroupBox::CaptionLeft).outline, QRect(1, 8, 198, 71));
  EXPECT_EQ(frame(CXPGroupBox::CaptionLeft).caption, QRect(11, 1, 50, 14));
  EXPECT_EQ(frame(CXPGroupBox::CaptionCentre).caption, QRect(75, 1, 50, 14));
  EXPECT_EQ(frame(CXPGroupBox::CaptionRight).caption, QRect(139, 1, 50, 14));

  const auto window = CXPGroupBox::Geometry(box, caption, CXPGroupBox::WindowStyle, CXPGroupBox::CaptionRight);
  EXPECT_EQ(window.outline, QRect(1, 1, 198, 78));
  EXPECT_EQ(window.body, QRect(QPoint(1, 18), QPoint(198, 78)));
  EXPECT_EQ(window.caption, QRect(147, 3, 50, 14));
}

TEST(CXPGroupBoxPaint, FrameStyleLineBrokenByTheCaption) {
  CXPGroupBox box(QStringLiteral("Select Disk"));
  box.resize(200, 80);
  box.setCaptionAlignment(CXPGroupBox::CaptionRight);
  const QFontMetrics metrics(box.font());
  const int width = metrics.horizontalAdvance(box.title());
  const int line = 1 + metrics.height() / 2;
  const QImage image = Grab(box);

  const QRect caption(189 - width, line, width, 1);
  EXPECT_EQ(CountColor(image, caption, kDark), 0);
  EXPECT_EQ(CountColor(image, QRect(20, line, 100, 1), kDark), 100);
  EXPECT_EQ(Pixel(image, 1, 50), kDark);
  EXPECT_EQ(Pixel(image, 198, 50), kDark);
  EXPECT_EQ(Pixel(image, 100, 78), kDark);
  EXPECT_EQ(Pixel(image, 1, 78), kWindow);  // a rounded corner
  EXPECT_EQ(Pixel(image, 100, 50), kWindow);  // hollow
  EXPECT_EQ(Pixel(image, 0, 50), kWindow);  // shrunk by a pixel
}

TEST(CXPGroupBoxPaint, WindowStyleCaptionBandOverBody) {
  CXPGroupBox box(QStringLiteral("Report"));
  box.resize(200, 80);
  box.setBoxStyle(CXPGroupBox::WindowStyle);
  box.setCaptionBackgroundColor(QColor(0x20, 0x40, 0x80));
  box.setBodyColor(QColor(0xF0, 0xF0, 0xE0));
  const int band = QFontMetrics(box.font()).height() + 4;
  const QImage image = Grab(box);

  EXPECT_EQ(Pixel(image, 150, band / 2), 0xFF204080u);
  EXPECT_EQ(Pixel(image, 150, band), kDark);  // the body's top line
  EXPECT_EQ(Pixel(image, 100, 50), 0xFFF0F0E0u);
  EXPECT_EQ(Pixel(image, 198, 50), kDark);
  EXPECT_EQ(Pixel(image, 1, 1), kWindow);  // rounded
}

TEST(CXPGroupBoxColours, TakenFromThePaletteWhenConstructed) {
  CXPGroupBox box;
  EXPECT_EQ(box.borderColor().rgb(), kDark);
  EXPECT_EQ(box.bodyColor().rgb(), test::kButton);
  EXPECT_EQ(box.captionTextColor().rgb(), test::kWindowText);
  QPalette other = box.palette();
  other.setColor(QPalette::Dark, Qt::red);
  box.setPalette(other);
  EXPECT_EQ(box.borderColor().rgb(), kDark);
}

}  // namespace
}  // namespace ov

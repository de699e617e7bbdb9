#include "widgets/PercentProgressBar.h"

#include <gtest/gtest.h>

#include "widgets/TestLook.h"

namespace ov {
namespace {

TEST(ProgressGeometry, FilledExtentIsTruncatedAndSafeForWideRanges) {
  EXPECT_EQ(ProgressFilledExtent(300, 0, 3, 1), 100);
  EXPECT_EQ(ProgressFilledExtent(100, 0, 3, 2), 66);
  EXPECT_EQ(ProgressFilledExtent(100, 0, 0, 0), 0);
  EXPECT_EQ(ProgressFilledExtent(100, INT32_MIN, INT32_MAX, INT32_MAX), 100);
  EXPECT_EQ(ProgressFilledExtent(100, 0, 100, 29), 29);
}

TEST(ProgressGeometry, PercentTextTruncates) {
  EXPECT_EQ(ProgressPercentText(0, 3, 1), QStringLiteral("33%"));
  EXPECT_EQ(ProgressPercentText(0, 3, 3), QStringLiteral("100%"));
  // 0.29 × 100 is 28.999… in floating point; the text must still say 29.
  EXPECT_EQ(ProgressPercentText(0, 100, 29), QStringLiteral("29%"));
  EXPECT_EQ(ProgressPercentText(-50, 50, 7), QStringLiteral("57%"));
  EXPECT_EQ(ProgressPercentText(0, 0, 0), QString());
}

using test::CountColor;
using test::Grab;
using test::kBase;
using test::kHighlight;
using test::kWindow;
using test::Pixel;

// A 300 × 20 bar over 0 … 300, so a position is also its split column.
struct Bar {
  Bar() {
    bar.resize(300, 20);
    bar.setRange(0, 300);
  }
  PercentProgressBar bar;
};

TEST(PercentProgressBarPaint, SplitsAtThePositionWithTheTextInvertedAcrossIt) {
  Bar b;
  b.bar.setPosition(150);
  const QImage image = Grab(b.bar);
  EXPECT_EQ(Pixel(image, 0, 0), kHighlight);
  EXPECT_EQ(Pixel(image, 149, 0), kHighlight);
  EXPECT_EQ(Pixel(image, 150, 0), kBase);
  EXPECT_EQ(Pixel(image, 299, 19), kBase);
  // "50%" is centred on the split: its left part in the background colour
  // over the bar, its right part in the bar colour over the background.
  const QRect left(0, 0, 150, 20);
  const QRect right(150, 0, 150, 20);
  EXPECT_GT(CountColor(image, left, kBase), 10);
  EXPECT_GT(CountColor(image, right, kHighlight), 10);
  EXPECT_EQ(CountColor(image, left, kBase) + CountColor(image, left, kHighlight), 150 * 20);
  EXPECT_EQ(CountColor(image, right, kBase) + CountColor(image, right, kHighlight), 150 * 20);

  // A text colour of the caller's is used on both parts.
  b.bar.setTextColor(Qt::red);
  const QImage red = Grab(b.bar);
  EXPECT_GT(CountColor(red, left, 0xFFFF0000), 10);
  EXPECT_GT(CountColor(red, right, 0xFFFF0000), 10);
  EXPECT_EQ(CountColor(red, left, kBase), 0);
}

TEST(PercentProgressBarPaint, EmptyThirdAndFullBars) {
  PercentProgressBar bar;
  bar.resize(300, 20);
  bar.setRange(0, 3);
  const QImage empty = Grab(bar);
  EXPECT_EQ(bar.shownText(), QStringLiteral("0%"));
  EXPECT_EQ(CountColor(empty, empty.rect(), kBase) + CountColor(empty, empty.rect(), kHighlight), 300 * 20);
  EXPECT_GT(CountColor(empty, empty.rect(), kHighlight), 10);  // the text alone

  bar.setPosition(1);
  EXPECT_EQ(bar.shownText(), QStringLiteral("33%"));
  const QImage third = Grab(bar);
  EXPECT_EQ(Pixel(third, 99, 10), kHighlight);
  EXPECT_EQ(Pixel(third, 100, 10), kBase);
  EXPECT_EQ(CountColor(third, QRect(0, 0, 100, 20), kHighlight), 100 * 20);  // text lies right of the split

  bar.setPosition(3);
  EXPECT_EQ(bar.shownText(), QStringLiteral("100%"));
  const QImage full = Grab(bar);
  EXPECT_EQ(Pixel(full, 0, 0), kHighlight);
  EXPECT_EQ(Pixel(full, 299, 19), kHighlight);
  EXPECT_GT(CountColor(full, full.rect(), kBase), 10);
}

TEST(PercentProgressBarPaint, CustomTextUntilSetBackToEmpty) {
  Bar b;
  b.bar.setPosition(150);
  const QImage percent = Grab(b.bar);
  b.bar.setText(QStringLiteral("Working"));
  EXPECT_EQ(b.bar.shownText(), QStringLiteral("Working"));
  EXPECT_NE(Grab(b.bar), percent);
  b.bar.setText(QString());
  EXPECT_EQ(b.bar.shownText(), QStringLiteral("50%"));
  EXPECT_EQ(Grab(b.bar), percent);
  b.bar.setShowText(false);
  EXPECT_EQ(CountColor(Grab(b.bar), QRect(150, 0, 150, 20), kBase), 150 * 20);
}

TEST(PercentProgressBarPaint, EmptyRangePaintsNothing) {
  PercentProgressBar bar;
  bar.resize(100, 20);
  bar.setRange(0, 0);
  const QImage image = Grab(bar);
  EXPECT_EQ(CountColor(image, image.rect(), kWindow), 100 * 20);
  EXPECT_EQ(bar.shownText(), QString());
}

TEST(PercentProgressBarPaint, VerticalBarFillsFromTheBottomWithoutText) {
  PercentProgressBar bar;
  bar.setOrientation(Qt::Vertical);
  bar.resize(20, 100);
  bar.setPosition(30);
  const QImage image = Grab(bar);
  EXPECT_EQ(Pixel(image, 10, 70), kHighlight);
  EXPECT_EQ(Pixel(image, 10, 69), kBase);
  EXPECT_EQ(CountColor(image, QRect(0, 70, 20, 30), kHighlight), 20 * 30);
  EXPECT_EQ(CountColor(image, QRect(0, 0, 20, 70), kBase), 20 * 70);
  EXPECT_EQ(bar.shownText(), QString());
}

TEST(PercentProgressBarRepaint, OnlyWhenWhatItShowsChanges) {
  PercentProgressBar bar;
  bar.resize(50, 20);  // 0 … 100 over 50 pixels: two positions a pixel
  ASSERT_TRUE(test::ShowAndSettle(bar));
  test::PaintCounter paints(&bar);

  bar.setPosition(2);
  EXPECT_EQ(paints.count, 1);
  bar.setPosition(3);  // still one pixel
  EXPECT_EQ(paints.count, 1);
  bar.deltaPosition(1);  // 4: two pixels
  EXPECT_EQ(paints.count, 2);
  bar.setText(QStringLiteral("x"));
  bar.setText(QStringLiteral("x"));
  EXPECT_EQ(paints.count, 3);
  bar.setShowText(true);  // already set
  EXPECT_EQ(paints.count, 3);
  bar.setShowText(false);
  EXPECT_EQ(paints.count, 4);
  bar.setBarColor(Qt::green);
  EXPECT_EQ(paints.count, 5);
}

TEST(PercentProgressBarState, PositionStaysInsideTheBoundsAndStepsFromIt) {
  PercentProgressBar bar;
  bar.setRange(10, 20);
  EXPECT_EQ(bar.position(), 10);
  EXPECT_EQ(bar.setPosition(50), 10);
  EXPECT_EQ(bar.position(), 20);
  bar.setPosition(11);
  bar.setStep(4);
  EXPECT_EQ(bar.stepIt(), 11);
  EXPECT_EQ(bar.position(), 15);
  bar.deltaPosition(INT32_MIN);
  EXPECT_EQ(bar.position(), 10);
}

}  // namespace
}  // namespace ov

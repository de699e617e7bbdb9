// The controls' tests run in one QApplication with a fixed style, palette
// and font, so that pixels can be compared exactly on any platform plugin.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>

#include <memory>

#include "widgets/TestLook.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build does to register them) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(ov::test::FixedPalette());
  QApplication::setFont(ov::test::FixedFont());
  return RUN_ALL_TESTS();
}

// The print tests run inside one application object, on whatever platform
// QT_QPA_PLATFORM names. Listing the tests (at build time) needs no display,
// so no application is made for it.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

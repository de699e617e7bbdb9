// The window's tests run with one application object for all of them. Only
// listing the tests needs no platform.
#include <QApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <unistd.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> app;
  if (!GTEST_FLAG_GET(list_tests)) {
    // Offscreen, a screen of 1280 x 1024 (as under Xvfb): room for the
    // window as drawn, frame included.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
      const auto config = std::filesystem::temp_directory_path() / ("ovnss-window-tests-screen-" + std::to_string(getpid()) + ".json");
      std::ofstream(config) << R"({ "screens": [ { "name": "screen", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })";
      qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config.string()));
      app = std::make_unique<QApplication>(argc, argv);
      std::filesystem::remove(config);
    } else {
      app = std::make_unique<QApplication>(argc, argv);
    }
  }
  return RUN_ALL_TESTS();
}

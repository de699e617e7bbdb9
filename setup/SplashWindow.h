#pragma once
// The splash: the product picture on its yellow background, in a plain
// frame without caption, centred on the screen. It has no controls.

#include <QFrame>

namespace ov::setup {

class SplashWindow : public QFrame {
  Q_OBJECT
public:
  explicit SplashWindow(QWidget* parent = nullptr);
};

}  // namespace ov::setup

#include "setup/SplashWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "setup/Pictures.h"

namespace ov::setup {

SplashWindow::SplashWindow(QWidget* parent) : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kSplashBackground);
  setPalette(palette);
  setAutoFillBackground(true);
  auto* picture = new QLabel(this);
  picture->setPixmap(ProductPicture());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(picture);
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

}  // namespace ov::setup

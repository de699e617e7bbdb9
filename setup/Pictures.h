#pragma once
// The installer's pictures, drawn rather than stored: the product picture of
// the splash and the banner of the progress window.

#include <QColor>
#include <QPixmap>

namespace ov::setup {

// The splash's background: red 253, green 250, blue 130.
inline const QColor kSplashBackground(253, 250, 130);

QPixmap ProductPicture();
QPixmap BannerPicture(int width);

}  // namespace ov::setup

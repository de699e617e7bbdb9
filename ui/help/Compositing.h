#pragma once

namespace ov {

// True when the desktop composites windows, so that a window's opacity can
// change and a balloon can fade: always under Wayland, under X11 when a
// compositing manager owns the screen's _NET_WM_CM_S<n> selection, never on
// the offscreen and other platforms.
bool DesktopComposites();

}  // namespace ov

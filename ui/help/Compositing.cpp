#include "ui/help/Compositing.h"

#include <QGuiApplication>
#include <QString>

#ifdef OVNSS_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#endif

namespace ov {

namespace {

#ifdef OVNSS_HAVE_XCB
// The screen number of $DISPLAY (":0.1" is screen 1); 0 when none is given.
int DisplayScreen() {
  const char* display = std::getenv("DISPLAY");
  if (!display) return 0;
  const char* colon = std::strrchr(display, ':');
  const char* dot = colon ? std::strchr(colon, '.') : nullptr;
  return dot ? std::atoi(dot + 1) : 0;
}

bool X11Composites() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* connection = x11->connection();
  const std::string name = "_NET_WM_CM_S" + std::to_string(DisplayScreen());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()),
                                                        name.c_str()),
                            nullptr),
      &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return false;
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr),
      &std::free);
  return owner && owner->owner != XCB_WINDOW_NONE;
}
#endif

}  // namespace

bool DesktopComposites() {
  if (!qGuiApp) return false;
  const QString platform = QGuiApplication::platformName();
  if (platform.startsWith(QLatin1String("wayland"))) return true;
#ifdef OVNSS_HAVE_XCB
  if (platform == QLatin1String("xcb")) return X11Composites();
#endif
  return false;
}

}  // namespace ov

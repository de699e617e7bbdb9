#pragma once
// Which of the program's two menu looks a run uses.
//
// The program draws its menus itself, in a modern look (light face, a tinted
// icon band, framed selection) or a classic one (button-face menu, solid
// highlight bar, raised icon cells). The look follows the desktop's theme:
//
//   OVNSS_MENU_LOOK    "modern" or "classic" (ignoring case) decides outright;
//                      any other value is ignored. Tests set it.
//   GTK_THEME          a theme name ending, ignoring case, in "classic" asks
//                      for the classic look (an optional ":variant" suffix,
//                      as in "Adwaita:dark", is not part of the name).
//   XDG_CURRENT_DESKTOP  with no desktop named, the program runs on a bare
//                      X server or a remote display, and keeps to the
//                      classic look.
//
// Otherwise the look is modern. Unset and empty variables count as absent.
// The environment is read once per run; later changes have no effect.

#include <optional>
#include <string>
#include <string_view>

namespace ov {

enum class MenuLook { Modern, Classic };

// The rule above over given variable values (nullopt = absent).
MenuLook ChooseMenuLook(std::optional<std::string_view> override, std::optional<std::string_view> gtkTheme,
                        std::optional<std::string_view> desktop);

// The rule over this process's environment, evaluated on the first call and
// remembered for the rest of the run.
MenuLook RunMenuLook();

}  // namespace ov

#include "platform/MenuLook.h"

#include <algorithm>
#include <cstdlib>

namespace ov {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool EndsWithText(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameText(text.substr(text.size() - end.size()), end);
}

std::optional<std::string_view> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string_view(value);
}

}  // namespace

MenuLook ChooseMenuLook(std::optional<std::string_view> override, std::optional<std::string_view> gtkTheme,
                        std::optional<std::string_view> desktop) {
  if (override) {
    if (SameText(*override, "modern")) return MenuLook::Modern;
    if (SameText(*override, "classic")) return MenuLook::Classic;
  }
  if (gtkTheme && !gtkTheme->empty()) {
    std::string_view name = *gtkTheme;
    if (const auto colon = name.find(':'); colon != std::string_view::npos) name = name.substr(0, colon);
    if (EndsWithText(name, "classic")) return MenuLook::Classic;
  }
  if (!desktop || desktop->empty()) return MenuLook::Classic;
  return MenuLook::Modern;
}

MenuLook RunMenuLook() {
  static const MenuLook look = ChooseMenuLook(Env("OVNSS_MENU_LOOK"), Env("GTK_THEME"), Env("XDG_CURRENT_DESKTOP"));
  return look;
}

}  // namespace ov

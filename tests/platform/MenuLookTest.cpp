#include "platform/MenuLook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace ov {
namespace {

TEST(MenuLook, OverrideDecidesThenThemeThenDesktop) {
  const auto none = std::nullopt;
  EXPECT_EQ(ChooseMenuLook("Classic", none, "GNOME"), MenuLook::Classic);
  EXPECT_EQ(ChooseMenuLook("MODERN", "Windows Classic", none), MenuLook::Modern);
  // An override that names no look is ignored.
  EXPECT_EQ(ChooseMenuLook("fancy", none, "KDE"), MenuLook::Modern);

  EXPECT_EQ(ChooseMenuLook(none, "Redmond-Classic", "XFCE"), MenuLook::Classic);
  EXPECT_EQ(ChooseMenuLook(none, "win2k-CLASSIC:dark", "XFCE"), MenuLook::Classic);
  EXPECT_EQ(ChooseMenuLook(none, "Classical", "XFCE"), MenuLook::Modern);
  EXPECT_EQ(ChooseMenuLook(none, "Adwaita:dark", "GNOME"), MenuLook::Modern);

  EXPECT_EQ(ChooseMenuLook(none, none, none), MenuLook::Classic);
  EXPECT_EQ(ChooseMenuLook(none, none, ""), MenuLook::Classic);
  EXPECT_EQ(ChooseMenuLook(none, none, "ubuntu:GNOME"), MenuLook::Modern);
}

TEST(MenuLook, DecidedOncePerRun) {
  // A later change of the override does not change the run's look.
  const MenuLook first = RunMenuLook();
  const char* before = std::getenv("OVNSS_MENU_LOOK");
  const std::string kept = before != nullptr ? before : "";
  ::setenv("OVNSS_MENU_LOOK", first == MenuLook::Classic ? "modern" : "classic", 1);
  const MenuLook second = RunMenuLook();
  if (before != nullptr) {
    ::setenv("OVNSS_MENU_LOOK", kept.c_str(), 1);
  } else {
    ::unsetenv("OVNSS_MENU_LOOK");
  }
  EXPECT_EQ(first, second);
}

}  // namespace
}  // namespace ov

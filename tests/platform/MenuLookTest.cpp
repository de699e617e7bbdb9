#include "platform/MenuLook.h"

#include <gtest/gtest.h>

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

TEST(MenuLook, DecidedOncePerRun) { EXPECT_EQ(RunMenuLook(), RunMenuLook()); }

}  // namespace
}  // namespace ov

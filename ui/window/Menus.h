#pragma once
// Menu bar 102 as data: every item with its id, its text and its prompt
// (the string of the same id, kept for the menu tips).

#include <QMenuBar>

#include <span>
#include <string_view>

#include "ui/window/Elements.h"

namespace ov::window {

struct MenuItem {
  int id;                   // 0: a separator; -1: a submenu, its items follow until an item with id -2
  std::string_view text;
  std::string_view prompt;
  bool grayed = false;      // grayed at start
  bool checkable = false;   // ticked at start
};

struct MenuDef {
  std::string_view title;
  std::span<const MenuItem> items;
};

std::span<const MenuDef> MenuBar102();

// Builds the menus into `bar` and registers each item's action in
// `elements` by its id; the prompt is the action's "prompt" property.
void BuildMenuBar(QMenuBar* bar, Elements& elements);

}  // namespace ov::window

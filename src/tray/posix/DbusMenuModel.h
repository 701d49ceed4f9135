// The popup menu as a D-Bus menu (com.canonical.dbusmenu) sees it: the
// tray's menu model turned into numbered items with their properties, and
// what changed between two models. No bus here: StatusNotifierItem.cpp sends
// what this computes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tray/Desktop.h"

namespace zeph::posix {

// One property of a menu item: a string, a boolean or a 32-bit integer.
struct MenuProperty {
  enum class Kind { String, Bool, Int32 };
  std::string name;
  Kind kind = Kind::String;
  std::string text;
  bool flag = false;
  int32_t number = 0;

  bool operator==(const MenuProperty& other) const;
  bool operator!=(const MenuProperty& other) const { return !(*this == other); }
};

// One item under the menu's root (id 0). Ids follow the model's order from
// 1, so an entry keeps its id while the model keeps its shape.
struct DbusMenuItem {
  int32_t id = 0;
  std::optional<MenuEntry> entry;  // none for a separator
  std::vector<MenuProperty> properties;
};

// The caption as a D-Bus menu label: "&" marks the access key ("_" there),
// "&&" is a plain "&", and a plain "_" is doubled.
std::string MenuLabel(const std::string& caption);

// Every entry of the model in order, hidden ones invisible, separators as
// separators, the entries that carry a check mark (Suspend, the mouse
// toggle) as check-mark toggles.
std::vector<DbusMenuItem> BuildMenuItems(const std::vector<MenuItem>& model);

// The properties of the root item.
std::vector<MenuProperty> RootProperties();

// Only the properties named in names; all of them when names is empty.
std::vector<MenuProperty> SelectProperties(const std::vector<MenuProperty>& properties,
                                           const std::vector<std::string>& names);

// The item with id; null when there is none (the root is not an item).
const DbusMenuItem* FindMenuItem(const std::vector<DbusMenuItem>& items, int32_t id);

// What a new model changes for a host that holds the old one: the shape
// (the layout must be read again), or the properties of some items.
struct MenuChange {
  bool layout = false;
  std::vector<DbusMenuItem> updated;  // the changed items, with their changed properties
  bool Empty() const { return !layout && updated.empty(); }
};
MenuChange CompareMenus(const std::vector<DbusMenuItem>& before,
                        const std::vector<DbusMenuItem>& after);

}  // namespace zeph::posix

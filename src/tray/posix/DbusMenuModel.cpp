#include "tray/posix/DbusMenuModel.h"

#include <algorithm>

namespace zeph::posix {

namespace {

MenuProperty Text(const char* name, std::string value) {
  MenuProperty p;
  p.name = name;
  p.kind = MenuProperty::Kind::String;
  p.text = std::move(value);
  return p;
}

MenuProperty Flag(const char* name, bool value) {
  MenuProperty p;
  p.name = name;
  p.kind = MenuProperty::Kind::Bool;
  p.flag = value;
  return p;
}

MenuProperty Number(const char* name, int32_t value) {
  MenuProperty p;
  p.name = name;
  p.kind = MenuProperty::Kind::Int32;
  p.number = value;
  return p;
}

bool CarriesCheckMark(MenuEntry entry) {
  return entry == MenuEntry::Suspend || entry == MenuEntry::EventUtility;
}

// Same place, same kind: a separator stays a separator, an entry the same entry.
bool SameShape(const DbusMenuItem& a, const DbusMenuItem& b) {
  return a.id == b.id && a.entry == b.entry;
}

}  // namespace

bool MenuProperty::operator==(const MenuProperty& other) const {
  if (name != other.name || kind != other.kind) return false;
  switch (kind) {
    case Kind::String: return text == other.text;
    case Kind::Bool: return flag == other.flag;
    case Kind::Int32: return number == other.number;
  }
  return false;
}

std::string MenuLabel(const std::string& caption) {
  std::string label;
  for (size_t i = 0; i < caption.size(); ++i) {
    const char c = caption[i];
    if (c == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        label += '&';
        ++i;
      } else if (i + 1 < caption.size()) {
        label += '_';
      }
    } else if (c == '_') {
      label += "__";
    } else {
      label += c;
    }
  }
  return label;
}

std::vector<DbusMenuItem> BuildMenuItems(const std::vector<MenuItem>& model) {
  std::vector<DbusMenuItem> items;
  items.reserve(model.size());
  int32_t id = 0;
  for (const MenuItem& source : model) {
    DbusMenuItem item;
    item.id = ++id;
    item.entry = source.entry;
    if (!source.entry) {
      item.properties = {Text("type", "separator"), Flag("visible", source.visible)};
    } else {
      item.properties = {Text("label", MenuLabel(source.caption)), Flag("enabled", true),
                         Flag("visible", source.visible)};
      if (CarriesCheckMark(*source.entry)) {
        item.properties.push_back(Text("toggle-type", "checkmark"));
        item.properties.push_back(Number("toggle-state", source.checked ? 1 : 0));
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<MenuProperty> RootProperties() { return {Text("children-display", "submenu")}; }

std::vector<MenuProperty> SelectProperties(const std::vector<MenuProperty>& properties,
                                           const std::vector<std::string>& names) {
  if (names.empty()) return properties;
  std::vector<MenuProperty> chosen;
  for (const MenuProperty& p : properties) {
    if (std::find(names.begin(), names.end(), p.name) != names.end()) chosen.push_back(p);
  }
  return chosen;
}

const DbusMenuItem* FindMenuItem(const std::vector<DbusMenuItem>& items, int32_t id) {
  if (id < 1 || static_cast<size_t>(id) > items.size()) return nullptr;
  return &items[static_cast<size_t>(id) - 1];
}

MenuChange CompareMenus(const std::vector<DbusMenuItem>& before,
                        const std::vector<DbusMenuItem>& after) {
  MenuChange change;
  if (before.size() != after.size() ||
      !std::equal(before.begin(), before.end(), after.begin(), SameShape)) {
    change.layout = true;
    return change;
  }
  for (size_t i = 0; i < after.size(); ++i) {
    DbusMenuItem changed;
    changed.id = after[i].id;
    changed.entry = after[i].entry;
    for (const MenuProperty& p : after[i].properties) {
      const auto& old = before[i].properties;
      if (std::find(old.begin(), old.end(), p) == old.end()) changed.properties.push_back(p);
    }
    // A property that is gone needs the whole layout read again; the
    // items of one kind always carry the same names, so it does not happen
    // without a change of shape.
    if (changed.properties.empty()) continue;
    change.updated.push_back(std::move(changed));
  }
  return change;
}

}  // namespace zeph::posix

#include "tray/posix/StatusNotifierItem.h"

#include "tray/posix/DbusText.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include "tray/posix/IconPixmaps.h"

namespace zeph::posix {

namespace {

constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kMenuInterface[] = "com.canonical.dbusmenu";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kId[] = "ZephMonitor";
constexpr uint64_t kCallTimeout = 5 * 1000 * 1000;  // µs

// --- writing messages (every append returns < 0 on failure; the first one
// that fails decides)

int AppendProperties(sd_bus_message* m, const std::vector<MenuProperty>& properties) {
  int r = sd_bus_message_open_container(m, 'a', "{sv}");
  for (const MenuProperty& p : properties) {
    if (r < 0) break;
    r = sd_bus_message_open_container(m, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(m, "s", p.name.c_str());
    if (r < 0) break;
    switch (p.kind) {
      case MenuProperty::Kind::String:
        r = sd_bus_message_append(m, "v", "s", p.text.c_str());
        break;
      case MenuProperty::Kind::Bool: r = sd_bus_message_append(m, "v", "b", p.flag ? 1 : 0); break;
      case MenuProperty::Kind::Int32: r = sd_bus_message_append(m, "v", "i", p.number); break;
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

// One node of the layout: (ia{sv}av), with children as variants of nodes.
int AppendNode(sd_bus_message* m, int32_t id, const std::vector<MenuProperty>& properties,
               const std::vector<DbusMenuItem>* children, const std::vector<std::string>& names) {
  int r = sd_bus_message_open_container(m, 'r', "ia{sv}av");
  if (r >= 0) r = sd_bus_message_append(m, "i", id);
  if (r >= 0) r = AppendProperties(m, SelectProperties(properties, names));
  if (r >= 0) r = sd_bus_message_open_container(m, 'a', "v");
  if (children != nullptr) {
    for (const DbusMenuItem& child : *children) {
      if (r >= 0) r = sd_bus_message_open_container(m, 'v', "(ia{sv}av)");
      if (r >= 0) r = AppendNode(m, child.id, child.properties, nullptr, names);
      if (r >= 0) r = sd_bus_message_close_container(m);
    }
  }
  if (r >= 0) r = sd_bus_message_close_container(m);
  return r < 0 ? r : sd_bus_message_close_container(m);
}

int AppendPixmaps(sd_bus_message* m, const std::vector<Pixmap>& pixmaps) {
  int r = sd_bus_message_open_container(m, 'a', "(iiay)");
  for (const Pixmap& pixmap : pixmaps) {
    if (r >= 0) r = sd_bus_message_open_container(m, 'r', "iiay");
    if (r >= 0) r = sd_bus_message_append(m, "ii", pixmap.width, pixmap.height);
    if (r >= 0) r = sd_bus_message_append_array(m, 'y', pixmap.bytes.data(), pixmap.bytes.size());
    if (r >= 0) r = sd_bus_message_close_container(m);
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

// The names of a property list ("as"); empty means all.
int ReadNames(sd_bus_message* m, std::vector<std::string>* names) {
  int r = sd_bus_message_enter_container(m, 'a', "s");
  const char* name = nullptr;
  while (r >= 0 && (r = sd_bus_message_read(m, "s", &name)) > 0) names->push_back(name);
  return r < 0 ? r : sd_bus_message_exit_container(m);
}

int UnknownId(sd_bus_error* error, int32_t id) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no menu item %d",
                           static_cast<int>(id));
}

}  // namespace

// The callbacks sd-bus calls, with the item as their userdata. They answer
// from the item's state and post what the program must do.
struct StatusNotifierItem::Access {
  static StatusNotifierItem& Item(void* userdata) {
    return *static_cast<StatusNotifierItem*>(userdata);
  }

  // --- the item's properties
  static int Text(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                  void* userdata, sd_bus_error*) {
    const StatusNotifierItem& item = Item(userdata);
    const std::string name = property;
    std::string value;
    if (name == "Category") value = "ApplicationStatus";
    if (name == "Id") value = kId;
    if (name == "Title") value = kProgramTitle;
    if (name == "Status") value = "Active";
    if (name == "IconName" && item.themeIcons_) value = IconThemeName(item.image_);
    return sd_bus_message_append(reply, "s", value.c_str());
  }
  static int WindowId(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                      sd_bus_error*) {
    return sd_bus_message_append(reply, "i", 0);
  }
  static int ItemIsMenu(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                        void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 0);  // a click activates, the menu has its own
  }
  static int MenuPath(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                      sd_bus_error*) {
    return sd_bus_message_append(reply, "o", kMenuPath);
  }
  static int IconPixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                        void* userdata, sd_bus_error*) {
    return AppendPixmaps(reply, IconPixmaps(Item(userdata).image_));
  }
  static int NoPixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                      sd_bus_error*) {
    return AppendPixmaps(reply, {});
  }
  static int ToolTip(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                     void* userdata, sd_bus_error*) {
    const StatusNotifierItem& item = Item(userdata);
    int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
    if (r >= 0)
      r = sd_bus_message_append(reply, "s", item.themeIcons_ ? IconThemeName(item.image_) : "");
    if (r >= 0) r = AppendPixmaps(reply, {});
    if (r >= 0) r = sd_bus_message_append(reply, "ss", item.tip_.c_str(), "");
    return r < 0 ? r : sd_bus_message_close_container(reply);
  }

  // --- the item's methods
  static int Activate(sd_bus_message* m, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    item.bus_.Post([&item] {
      if (item.commands_) item.commands_->OnIconActivated();
    });
    return sd_bus_reply_method_return(m, "");
  }
  static int ContextMenu(sd_bus_message* m, void* userdata, sd_bus_error*) {
    // A host that shows no D-Bus menus asks the item for its menu.
    StatusNotifierItem& item = Item(userdata);
    item.bus_.Post([&item] {
      if (item.commands_) item.commands_->OnMenuRequested();
    });
    return sd_bus_reply_method_return(m, "");
  }
  static int Ignore(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "");  // the middle click and the wheel mean nothing here
  }

  // --- the menu
  static int MenuVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                         void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "u", 3u);
  }
  static int MenuText(sd_bus*, const char*, const char*, const char* property,
                      sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "s",
                                 std::string(property) == "TextDirection" ? "ltr" : "normal");
  }
  static int MenuThemePath(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                           void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 0);
  }

  static int GetLayout(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    const StatusNotifierItem& item = Item(userdata);
    int32_t parent = 0, depth = 0;
    std::vector<std::string> names;
    int r = sd_bus_message_read(m, "ii", &parent, &depth);
    if (r >= 0) r = ReadNames(m, &names);
    if (r < 0) return r;
    const DbusMenuItem* node = parent == 0 ? nullptr : FindMenuItem(item.menu_, parent);
    if (parent != 0 && node == nullptr) return UnknownId(error, parent);
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_append(reply, "u", item.revision_);
    if (r >= 0) {
      // The items have no submenus: below the root there is one level.
      r = node != nullptr
              ? AppendNode(reply, node->id, node->properties, nullptr, names)
              : AppendNode(reply, 0, RootProperties(), depth == 0 ? nullptr : &item.menu_, names);
    }
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
  }

  static int GetGroupProperties(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const StatusNotifierItem& item = Item(userdata);
    std::vector<int32_t> ids;
    std::vector<std::string> names;
    int r = sd_bus_message_enter_container(m, 'a', "i");
    int32_t id = 0;
    while (r >= 0 && (r = sd_bus_message_read(m, "i", &id)) > 0) ids.push_back(id);
    if (r >= 0) r = sd_bus_message_exit_container(m);
    if (r >= 0) r = ReadNames(m, &names);
    if (r < 0) return r;
    if (ids.empty()) {
      for (const DbusMenuItem& each : item.menu_) ids.push_back(each.id);
    }
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(ia{sv})");
    for (int32_t asked : ids) {
      const DbusMenuItem* node = FindMenuItem(item.menu_, asked);
      if (r < 0 || (asked != 0 && node == nullptr)) continue;  // unknown ids are left out
      r = sd_bus_message_open_container(reply, 'r', "ia{sv}");
      if (r >= 0) r = sd_bus_message_append(reply, "i", asked);
      if (r >= 0)
        r = AppendProperties(
            reply, SelectProperties(node != nullptr ? node->properties : RootProperties(), names));
      if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
  }

  static int GetProperty(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    const StatusNotifierItem& item = Item(userdata);
    int32_t id = 0;
    const char* name = nullptr;
    int r = sd_bus_message_read(m, "is", &id, &name);
    if (r < 0) return r;
    const DbusMenuItem* node = FindMenuItem(item.menu_, id);
    if (id != 0 && node == nullptr) return UnknownId(error, id);
    const std::vector<MenuProperty> found =
        SelectProperties(node != nullptr ? node->properties : RootProperties(), {name});
    if (found.empty())
      return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no property %s", name);
    const MenuProperty& p = found.front();
    switch (p.kind) {
      case MenuProperty::Kind::String:
        return sd_bus_reply_method_return(m, "v", "s", p.text.c_str());
      case MenuProperty::Kind::Bool: return sd_bus_reply_method_return(m, "v", "b", p.flag ? 1 : 0);
      case MenuProperty::Kind::Int32: return sd_bus_reply_method_return(m, "v", "i", p.number);
    }
    return -EINVAL;
  }

  // A click on an entry runs its command, later, from the loop. False when
  // the id names no item.
  static bool Clicked(StatusNotifierItem& item, int32_t id, const std::string& event) {
    const DbusMenuItem* node = FindMenuItem(item.menu_, id);
    if (id != 0 && node == nullptr) return false;
    if (event != "clicked" || node == nullptr || !node->entry) return true;
    const MenuEntry entry = *node->entry;
    item.bus_.Post([&item, entry] {
      if (item.commands_) item.commands_->OnMenuCommand(entry);
    });
    return true;
  }

  static int Event(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    int32_t id = 0;
    const char* event = nullptr;
    const int r = sd_bus_message_read(m, "is", &id, &event);
    if (r < 0) return r;
    if (!Clicked(Item(userdata), id, event)) return UnknownId(error, id);
    return sd_bus_reply_method_return(m, "");
  }

  static int EventGroup(sd_bus_message* m, void* userdata, sd_bus_error*) {
    std::vector<int32_t> unknown;
    int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
    while (r >= 0 && (r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
      int32_t id = 0;
      const char* event = nullptr;
      r = sd_bus_message_read(m, "is", &id, &event);
      if (r >= 0) r = sd_bus_message_skip(m, "vu");
      if (r >= 0) r = sd_bus_message_exit_container(m);
      if (r >= 0 && !Clicked(Item(userdata), id, event)) unknown.push_back(id);
    }
    if (r >= 0) r = sd_bus_message_exit_container(m);
    if (r < 0) return r;
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_append_array(reply, 'i', unknown.data(), unknown.size() * 4);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
  }

  static int AboutToShow(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "b", 0);  // the menu is always up to date
  }
  static int AboutToShowGroup(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "aiai", 0, 0);
  }

  // --- the watcher
  static int OwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 ||
        std::string(name) != kWatcherName)
      return 0;
    item.watcher_ = after;
    item.registered_ = false;
    item.hostThere_ = false;
    item.registerCall_ = item.hostCall_ = 0;
    if (item.watcher_.empty()) {
      item.Update("the StatusNotifierWatcher left the session bus");
    } else if (item.added_) {
      item.Register();
    }
    return 0;
  }

  static int HostRegistered(sd_bus_message* m, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    const char* sender = sd_bus_message_get_sender(m);
    if (sender == nullptr || item.watcher_ != sender) return 0;
    item.hostThere_ = true;
    item.Update("");
    return 0;
  }

  static int HostUnregistered(sd_bus_message* m, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    const char* sender = sd_bus_message_get_sender(m);
    if (sender != nullptr && item.watcher_ == sender && item.registered_) item.AskForHost();
    return 0;
  }

  static bool Answers(sd_bus_message* reply, uint64_t call) {
    uint64_t cookie = 0;
    return call != 0 && sd_bus_message_get_reply_cookie(reply, &cookie) >= 0 && cookie == call;
  }

  static int Registered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    if (!Answers(reply, item.registerCall_)) return 0;  // for a watcher gone since
    item.registerCall_ = 0;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
      item.Update(std::string("the StatusNotifierWatcher did not take the icon: ") +
                  (error->message ? error->message : error->name));
      return 0;
    }
    item.registered_ = true;
    item.AskForHost();
    return 0;
  }

  static int HostAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    StatusNotifierItem& item = Item(userdata);
    if (!Answers(reply, item.hostCall_)) return 0;
    item.hostCall_ = 0;
    int there = 0;
    if (sd_bus_message_get_error(reply) == nullptr &&
        sd_bus_message_read(reply, "v", "b", &there) < 0)
      there = 0;
    item.hostThere_ = there != 0;
    item.Update("the StatusNotifierWatcher has no tray (IsStatusNotifierHostRegistered is false)");
    return 0;
  }
};

namespace {

using A = StatusNotifierItem::Access;

const sd_bus_vtable kItemVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("WindowId", "i", A::WindowId, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", A::Text, 0, 0),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", A::IconPixmap, 0, 0),
    SD_BUS_PROPERTY("OverlayIconName", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", A::NoPixmap, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconName", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", A::NoPixmap, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionMovieName", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "s", A::Text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", A::ToolTip, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", A::ItemIsMenu, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", A::MenuPath, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("ContextMenu", "ii", "", A::ContextMenu, 0),
    SD_BUS_METHOD("Activate", "ii", "", A::Activate, 0),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", A::Ignore, 0),
    SD_BUS_METHOD("Scroll", "is", "", A::Ignore, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kMenuVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", A::MenuVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", A::MenuText, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", A::MenuText, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", A::MenuThemePath, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", A::GetLayout, 0),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", A::GetGroupProperties, 0),
    SD_BUS_METHOD("GetProperty", "is", "v", A::GetProperty, 0),
    SD_BUS_METHOD("Event", "isvu", "", A::Event, 0),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", A::EventGroup, 0),
    SD_BUS_METHOD("AboutToShow", "i", "b", A::AboutToShow, 0),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", A::AboutToShowGroup, 0),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

StatusNotifierItem::StatusNotifierItem(SessionBus& bus,
                                       std::function<void(const std::string&)> note)
    : bus_(bus),
      note_(std::move(note)),
      name_("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1"),
      themeIcons_(ThemeIconInstalled(IconThemeName(IconImage::Monitoring), IconDataFolders()) &&
                  ThemeIconInstalled(IconThemeName(IconImage::Suspended), IconDataFolders())) {}

StatusNotifierItem::~StatusNotifierItem() = default;

std::unique_ptr<StatusNotifierItem> StatusNotifierItem::Create(
    SessionBus& bus, std::function<void(const std::string&)> note, std::string* why) {
  std::unique_ptr<StatusNotifierItem> item(new StatusNotifierItem(bus, std::move(note)));
  if (!item->Export(why)) return nullptr;
  return item;
}

bool StatusNotifierItem::Export(std::string* why) {
  sd_bus* bus = bus_.Bus();
  // Slots are floating: they live as long as the connection, which the
  // desktop keeps for as long as this item.
  int r = sd_bus_add_object_vtable(bus, nullptr, kItemPath, kItemInterface, kItemVtable, this);
  const char* step = "put the icon on the session bus";
  if (r >= 0)
    r = sd_bus_add_object_vtable(bus, nullptr, kMenuPath, kMenuInterface, kMenuVtable, this);
  if (r >= 0) {
    step = "follow the StatusNotifierWatcher";
    // Only the watcher's name: on a desktop, connections come and go all the time.
    r = sd_bus_add_match(bus, nullptr,
                         "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                         "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                         "arg0='org.kde.StatusNotifierWatcher'",
                         A::OwnerChanged, this);
  }
  if (r >= 0)
    r = sd_bus_match_signal(bus, nullptr, nullptr, kWatcherPath, kWatcherName,
                            "StatusNotifierHostRegistered", A::HostRegistered, this);
  if (r >= 0)
    r = sd_bus_match_signal(bus, nullptr, nullptr, kWatcherPath, kWatcherName,
                            "StatusNotifierHostUnregistered", A::HostUnregistered, this);
  if (r < 0) {
    if (why) *why = std::string("cannot ") + step + ": " + BusErrorText(r);
    return false;
  }
  // The watcher of now; later ones arrive as NameOwnerChanged.
  sd_bus_message* reply = nullptr;
  const char* owner = nullptr;
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "GetNameOwner", nullptr, &reply, "s",
                         kWatcherName) >= 0 &&
      sd_bus_message_read(reply, "s", &owner) > 0)
    watcher_ = owner;
  sd_bus_message_unref(reply);
  bus_.Wake();  // for what the calls above read ahead
  return true;
}

void StatusNotifierItem::Add() {
  if (added_ || !bus_.Open()) return;
  added_ = true;
  const int r = sd_bus_request_name(bus_.Bus(), name_.c_str(), 0);
  if (r < 0) {
    Update("cannot take the name " + name_ + " on the session bus: " + BusErrorText(r));
    return;
  }
  if (watcher_.empty()) {
    Update("no StatusNotifierWatcher on the session bus");
  } else {
    Register();
  }
  bus_.Wake();  // for what the call above read ahead
}

void StatusNotifierItem::Remove() {
  if (!added_) return;
  added_ = false;
  registered_ = hostThere_ = false;
  registerCall_ = hostCall_ = 0;
  shown_ = -1;
  lastNote_.clear();
  if (!bus_.Open()) return;
  sd_bus_release_name(bus_.Bus(), name_.c_str());
  bus_.Flush();
}

void StatusNotifierItem::Register() {
  if (!bus_.Open()) return;
  sd_bus_message* call = nullptr;
  int r = sd_bus_message_new_method_call(bus_.Bus(), &call, kWatcherName, kWatcherPath,
                                         kWatcherName, "RegisterStatusNotifierItem");
  if (r >= 0) r = sd_bus_message_append(call, "s", name_.c_str());
  if (r >= 0) r = sd_bus_call_async(bus_.Bus(), nullptr, call, A::Registered, this, kCallTimeout);
  if (r >= 0) r = sd_bus_message_get_cookie(call, &registerCall_);
  sd_bus_message_unref(call);
  if (r < 0) Update("cannot register the icon with the StatusNotifierWatcher: " + BusErrorText(r));
  bus_.Flush();
}

void StatusNotifierItem::AskForHost() {
  if (!bus_.Open()) return;
  sd_bus_message* call = nullptr;
  int r = sd_bus_message_new_method_call(bus_.Bus(), &call, kWatcherName, kWatcherPath,
                                         "org.freedesktop.DBus.Properties", "Get");
  if (r >= 0) r = sd_bus_message_append(call, "ss", kWatcherName, "IsStatusNotifierHostRegistered");
  if (r >= 0) r = sd_bus_call_async(bus_.Bus(), nullptr, call, A::HostAnswer, this, kCallTimeout);
  if (r >= 0) r = sd_bus_message_get_cookie(call, &hostCall_);
  sd_bus_message_unref(call);
  if (r < 0) Update("cannot ask the StatusNotifierWatcher for a tray: " + BusErrorText(r));
  bus_.Flush();
}

void StatusNotifierItem::Update(const std::string& whyNot) {
  if (!added_) return;
  const int shown = registered_ && hostThere_ ? 1 : 0;
  // Not shown while the registration is under way: its answer decides.
  if (shown == 0 && (registerCall_ != 0 || hostCall_ != 0)) return;
  if (shown == 0 && whyNot.empty()) return;
  // Said again when the reason changes (a watcher came, but no tray).
  const std::string line =
      shown ? std::string("the desktop's tray shows the icon")
            : whyNot + "; the terminal stands in for the icon until a tray shows it";
  shown_ = shown;
  if (line == lastNote_) return;
  lastNote_ = line;
  if (note_) note_(line);
}

void StatusNotifierItem::Emit(const char* path, const char* interface, const char* member) {
  if (!bus_.Open()) return;
  sd_bus_emit_signal(bus_.Bus(), path, interface, member, "");
}

void StatusNotifierItem::SetMenu(const std::vector<MenuItem>& model) {
  std::vector<DbusMenuItem> items = BuildMenuItems(model);
  const MenuChange change = CompareMenus(menu_, items);
  menu_ = std::move(items);
  if (change.Empty()) return;
  ++revision_;
  if (!bus_.Open()) return;
  if (change.layout) {
    sd_bus_emit_signal(bus_.Bus(), kMenuPath, kMenuInterface, "LayoutUpdated", "ui", revision_, 0);
  } else {
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_signal(bus_.Bus(), &m, kMenuPath, kMenuInterface,
                                      "ItemsPropertiesUpdated");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(ia{sv})");
    for (const DbusMenuItem& item : change.updated) {
      if (r >= 0) r = sd_bus_message_open_container(m, 'r', "ia{sv}");
      if (r >= 0) r = sd_bus_message_append(m, "i", item.id);
      if (r >= 0) r = AppendProperties(m, item.properties);
      if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "a(ias)", 0);
    if (r >= 0) sd_bus_send(nullptr, m, nullptr);
    sd_bus_message_unref(m);
  }
  bus_.Flush();
}

void StatusNotifierItem::SetIcon(IconImage image, const std::string& tip) {
  // The tip names the game as its profile spells it, in the code page.
  const std::string text = DbusText(tip);
  const bool newImage = image != image_;
  const bool newTip = text != tip_;
  image_ = image;
  tip_ = text;
  if (newImage) Emit(kItemPath, kItemInterface, "NewIcon");
  if (newTip) Emit(kItemPath, kItemInterface, "NewToolTip");
  bus_.Flush();
}

}  // namespace zeph::posix

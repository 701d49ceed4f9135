// The notification icon as a StatusNotifierItem on the session bus, with
// the popup menu as a D-Bus menu (com.canonical.dbusmenu) beside it:
//  - the item (org.kde.StatusNotifierItem at /StatusNotifierItem, under the
//    name org.kde.StatusNotifierItem-PID-1) holds the icon's images, its tip
//    and the menu's path; its primary click (Activate) activates the icon;
//  - the menu (/MenuBar) holds the tray's menu model; a host reads it when
//    it shows the menu, and a click comes back as an Event;
//  - the item registers with the watcher (org.kde.StatusNotifierWatcher),
//    and again whenever a watcher appears on the bus, so the icon survives
//    a panel that restarts or starts after us.
// The icon is shown when a watcher took the item and a host is there to
// draw it; this says so (and why not) in one line each time that changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system/EventLoop.h"
#include "tray/Desktop.h"
#include "tray/posix/DbusMenuModel.h"
#include "tray/posix/SessionBus.h"

namespace zeph::posix {

inline constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
inline constexpr char kItemPath[] = "/StatusNotifierItem";
inline constexpr char kMenuPath[] = "/MenuBar";

class StatusNotifierItem {
 public:
  // The objects on bus (not registered yet: Add does that); null with why
  // when they cannot be put there. note receives the lines that say
  // whether a tray shows the icon.
  static std::unique_ptr<StatusNotifierItem> Create(SessionBus& bus,
                                                    std::function<void(const std::string&)> note,
                                                    std::string* why);
  ~StatusNotifierItem();
  StatusNotifierItem(const StatusNotifierItem&) = delete;
  StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

  // Where clicks go; they arrive from the event loop, never inside another
  // call of the bus.
  void SetCommands(Commands* commands) { commands_ = commands; }
  void SetMenu(const std::vector<MenuItem>& model);
  void SetIcon(IconImage image, const std::string& tip);
  // The icon appears (registered with the watcher) and goes (its name given
  // up, so that the watcher drops it).
  void Add();
  void Remove();
  // Whether the icon theme has the program's icons (they are named then).
  bool ThemeIcons() const { return themeIcons_; }
  // Whether a tray shows the icon now.
  bool Shown() const { return shown_ == 1 && bus_.Open(); }

  // For the bus's callbacks (StatusNotifierItem.cpp).
  struct Access;

 private:
  StatusNotifierItem(SessionBus& bus, std::function<void(const std::string&)> note);
  bool Export(std::string* why);
  void Register();
  void AskForHost();
  // Whether the icon is shown now; a line when that changed.
  void Update(const std::string& whyNot);
  void Emit(const char* path, const char* interface, const char* member);

  SessionBus& bus_;
  std::function<void(const std::string&)> note_;
  Commands* commands_ = nullptr;
  std::string name_;           // our well-known name on the bus
  std::string watcher_;        // the watcher's unique name; "" while there is none
  uint64_t registerCall_ = 0;  // the registration's call, whose reply counts
  uint64_t hostCall_ = 0;      // the question for a host, whose reply counts
  bool added_ = false;
  bool registered_ = false;
  bool hostThere_ = false;
  int shown_ = -1;        // -1 not known yet, 0 not shown, 1 shown
  std::string lastNote_;  // the line last said
  bool themeIcons_ = false;
  IconImage image_ = IconImage::Monitoring;
  std::string tip_;
  std::vector<DbusMenuItem> menu_;
  uint32_t revision_ = 0;
};

}  // namespace zeph::posix

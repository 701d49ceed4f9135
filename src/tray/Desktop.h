// The monitor's own user interface: message boxes, the debug window with its
// list and buttons, and the notification-area icon with its menu. Windows
// has the real thing (win32/); on Linux a backend chosen at start shows it,
// the terminal where nothing else can (posix/). The seam speaks in meanings:
// the icon's events arrive as Commands, the menu is a model the tray
// publishes, so that a modal menu shown on request and one that a desktop
// host shows by itself are backends alike.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "system/Boxes.h"
#include "system/DebugList.h"
#include "system/Error.h"
#include "system/EventLoop.h"

namespace zeph {

enum class IconMessage { Add, Modify, Delete };
enum class IconImage { Monitoring, Suspended };

// One entry of the popup menu, in menu order. A separator has no command.
struct MenuItem {
  std::optional<MenuEntry> entry;
  std::string caption;  // "-" for a separator
  bool visible = true;
  bool checked = false;
};

class AboutForm;
class StartUpForm;
class CheckAttachedForm;
enum class AttachedChoice { Continue, Exit };

// Boxes and the debug list's view are the parts that every subsystem uses
// (system/); the rest belongs to the tray.
class Desktop : public Boxes, public DebugView {
 public:
  // Whether the main window exists; err says why it could not be made.
  virtual bool Ready(SystemError* err) = 0;
  // The debug window's buttons and close button, and the menu, call these.
  virtual void SetCommands(Commands* commands) = 0;
  // Shows the debug window (debug mode). Otherwise it stays hidden.
  virtual void ShowMainWindow() = 0;
  // No task-bar button and no entry in the task list.
  virtual void HideFromTaskList() = 0;
  // The notification-area icon: one icon, identifier 1.
  virtual void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) = 0;
  // Caption of the debug window's Suspend/Resume button.
  virtual void SetSuspendCaption(const std::string& caption) = 0;
  // Brings the main window to the foreground (so that a menu closes when
  // the user clicks elsewhere).
  virtual void BringToForeground() = 0;
  // The popup menu's model: every entry in order, separators included, with its
  // visibility and check mark. The tray publishes it at start and whenever it
  // changes; the desktop shows the latest one.
  virtual void SetMenu(const std::vector<MenuItem>& items) = 0;
  // Shows the menu at the pointer, on platforms that show it on request (Windows:
  // modal, TrackPopupMenu; returns after the choice). The chosen entry arrives as
  // Commands::OnMenuCommand before this returns. Where a desktop host shows the
  // menu by itself at any time, this does nothing.
  virtual void ShowMenu() = 0;

  // The dialogs. Their logic lives in the forms (tray/Dialogs.h); the
  // desktop shows them and calls the forms' event handlers.
  // Modal where the desktop has modal dialogs (Windows: returns when it is
  // closed); a desktop that shows it as a notification returns at once and
  // carries out its links when chosen. The form outlives the dialog.
  virtual void ShowAbout(AboutForm& form) = 0;
  // Modeless: returns at once; while it is open, a second call only brings
  // it forward. The form outlives the dialog.
  virtual void ShowStartUp(StartUpForm& form) = 0;
  // Modal: the button that closed it.
  virtual AttachedChoice ShowCheckAttached(CheckAttachedForm& form) = 0;
};

// Made for the platform this program was built for (tray/win32, or on Linux
// the first of its backends that can be used here: tray/posix), with the
// program's event loop (CreatePlatformSystem's).
std::unique_ptr<Desktop> CreatePlatformDesktop(EventLoop& loop);

}  // namespace zeph

// The tray: the notification-area icon and its popup menu, suspend and
// resume, the companion tools started from the menu, and the dialogs. What
// only the program above it can do (start-up again after a resume, the
// closing sequence) a command returns as a request.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "activation/CompanionControl.h"
#include "activation/Game.h"
#include "companion/ModeChannel.h"
#include "system/DebugList.h"
#include "system/Seam.h"
#include "tray/Desktop.h"
#include "tray/Dialogs.h"

namespace zeph {

// Tip texts of the notification icon.
extern const char* const kTipIdle;       // "Thalix Monitor"
extern const char* const kTipSuspended;  // "Thalix Monitor - Suspended"
extern const char* const kTipWatching;   // "Thalix Monitor - Watching: "

constexpr int kSuspendedInterval = 2500;  // ms between ticks while suspended

// What a command of the tray leaves to the program above it.
enum class TrayRequest {
  None,
  StartAgain,  // monitoring resumed: the start-up sequence runs again
  Exit,        // the user chose to end the program
};

class Tray final : public WatchStatus {
 public:
  Tray(SystemSeam sys, Desktop& desktop, DebugList& debugList, CompanionControl& companions,
       ModeChannel& modes)
      : sys_(sys),
        desktop_(desktop),
        debugList_(debugList),
        companions_(companions),
        modes_(modes) {}

  // --- the icon (one icon; every change goes through SetIcon, so the
  // record of image and tip is always the one last sent)
  // Adds the icon once; on a resume it is there already.
  void AddIcon();
  void RemoveIcon();
  void SetIcon(IconMessage message, IconImage image, const std::string& tip);
  void WatchStarted(const Game& game) override;
  void WatchEnded() override;

  // --- the popup menu: a model published to the desktop whenever it
  // changes; a chosen entry comes back as a command
  // The menu's model as it stands now.
  std::vector<MenuItem> PopupMenuItems() const;
  // The menu on request (the icon's right button), the main window brought
  // forward first, where the platform shows menus on request.
  void ShowPopupMenu();
  TrayRequest OnMenuCommand(MenuEntry entry);

  // --- suspend and resume
  // The toggle, by the Suspend entry's check mark.
  TrayRequest mPopupSuspend_Click();
  // Suspends whatever the check mark says (before a companion tool starts).
  void Suspend();
  bool SuspendChecked() const { return suspendChecked_; }

  // --- companion tools
  void mnuZephEvent_Click();
  void mWebUpdate_Click();
  void mCustomize_Click();
  bool EventToggleChecked() const { return eventToggleChecked_; }

  // --- dialogs
  void mAbout_Click();
  void mnuStartup_Click();
  // The reminder to attach the controller, at the program's start.
  TrayRequest ShowCheckAttached();

 private:
  void LogSuspended();
  void LogResumed();

  SystemSeam sys_;
  Desktop& desktop_;
  DebugList& debugList_;
  CompanionControl& companions_;
  ModeChannel& modes_;

  bool iconAdded_ = false;
  IconImage iconImage_ = IconImage::Monitoring;
  std::string iconTip_;
  bool suspendChecked_ = false;      // check mark of the Suspend menu entry
  bool eventToggleChecked_ = false;  // check mark of the mouse toggle
  std::unique_ptr<AboutForm> aboutForm_;
  std::unique_ptr<StartUpForm> startUpForm_;
};

}  // namespace zeph

// The menu commands that start companion programs: the event utility's
// toggle, the web update utility and the customizer.
#include "companion/Companions.h"
#include "tray/Tray.h"

namespace zeph {

namespace {

// How long the customizer may take to show its window before we stop
// trying to bring it forward, and how often we look.
constexpr int kActivateWaitMs = 3000;
constexpr int kActivatePollMs = 50;

}  // namespace

void Tray::mnuZephEvent_Click() {
  const std::string path = sys_.program.Folder() + "\\" + kEventUtility;
  if (!sys_.files.IsFile(path)) {
    desktop_.ShowBox("ZephEvent utility not found... Aborting...", "Launch Error", BoxButtons::Ok,
                     BoxIcon::Critical);
    return;
  }
  companions_.ResetController();
  if (eventToggleChecked_) {
    eventToggleChecked_ = false;
    desktop_.SetMenu(PopupMenuItems());
    companions_.CloseZephEvent();
  } else {
    eventToggleChecked_ = true;
    desktop_.SetMenu(PopupMenuItems());
    companions_.CloseZephEvent();  // no earlier copy stays
    companions_.StartZephEvent();
  }
}

void Tray::mWebUpdate_Click() {
  const std::string path = sys_.program.Folder() + "\\" + kWebUpdate;
  if (!sys_.files.IsFile(path)) {
    desktop_.ShowBox("Thalix Web Update utility not found.", "Update Error", BoxButtons::Ok,
                     BoxIcon::Critical, true);
    return;
  }
  Suspend();
  uint32_t pid = 0;
  sys_.processes.StartShown(CompanionCommand(sys_.program.Folder(), kWebUpdate), kShowNormal, &pid,
                            nullptr);
}

void Tray::mCustomize_Click() {
  const std::string path = sys_.program.Folder() + "\\" + kCustomizer;
  if (!sys_.files.IsFile(path)) {
    desktop_.ShowBox("Thalix Customizer not found.", "Launch Error", BoxButtons::Ok,
                     BoxIcon::Critical, true);
    return;
  }
  Suspend();
  uint32_t pid = 0;
  if (!sys_.processes.StartShown(CompanionCommand(sys_.program.Folder(), kCustomizer),
                                 kShowMinimized, &pid, nullptr))
    return;
  // A program just started has no window yet: look for it a while, with
  // messages flowing, and give up quietly when none comes.
  for (int waited = 0; !sys_.processes.ActivateMainWindow(pid); waited += kActivatePollMs) {
    if (waited >= kActivateWaitMs) return;
    sys_.loop.WaitForObject(-1, kActivatePollMs);
  }
}

}  // namespace zeph

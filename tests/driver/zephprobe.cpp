// zephprobe: drives a running monitor's windows from the command line, for
// scripts (scripts/screenshots). One command a run; rectangles are printed
// as "LEFT TOP WIDTH HEIGHT" in screen pixels.
//
//   zephprobe [--desktop NAME] COMMAND
//     main                 the main window's rectangle
//     icon                 the icon's place on Wine's task bar
//     menu                 opens the popup menu as a right click on the icon
//                          does; its rectangle
//     open-menu            waits for an open popup menu; its rectangle
//     choose N             chooses entry N (from 1, separators skipped) of the
//                          open menu
//     close-menu           closes the open menu (Escape)
//     dialog CAPTION       waits for the dialog; its rectangle
//     press CAPTION ID     clicks control ID of the dialog (IDOK is 1)
//
// --desktop runs on the named desktop (Wine's "shell" desktop, say) rather
// than the one the probe was started on. Exit status 0 on success, 1 when a
// window was not found in time, 2 on a bad command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Driver.h"

namespace d = zeph::driver;

namespace {

constexpr DWORD kWaitMs = 10000;

int Usage() {
  std::fprintf(stderr,
               "usage: zephprobe [--desktop NAME] main | icon | menu | open-menu | choose N |"
               " close-menu | dialog CAPTION | press CAPTION ID\n");
  return 2;
}

int Missing(const std::string& what) {
  std::fprintf(stderr, "zephprobe: no %s\n", what.c_str());
  return 1;
}

int PrintRect(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return Missing("window");
  std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  return 0;
}

// The monitor's process, by its main window's caption.
DWORD MonitorPid() {
  for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs; Sleep(50)) {
    if (HWND main = FindWindowA(nullptr, d::kMainWindowCaption)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(main, &pid);
      return pid;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int at = 1;
  if (at + 1 < argc && std::string(argv[at]) == "--desktop") {
    // The desktop may still be on its way (explorer makes it).
    HDESK desktop = nullptr;
    for (DWORD start = GetTickCount(); desktop == nullptr && GetTickCount() - start < kWaitMs;
         Sleep(50))
      desktop = OpenDesktopA(argv[at + 1], 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr || !SetThreadDesktop(desktop))
      return Missing("desktop " + std::string(argv[at + 1]));
    at += 2;
  }
  if (at >= argc) return Usage();
  const std::string command = argv[at];
  const int args = argc - at - 1;

  if (command == "icon" && args == 0) {
    RECT slot{};
    if (!d::IconSlot(&slot)) return Missing("task bar of Wine's");
    std::printf("%ld %ld %ld %ld\n", slot.left, slot.top, slot.right - slot.left,
                slot.bottom - slot.top);
    return 0;
  }
  const DWORD pid = MonitorPid();
  if (pid == 0) return Missing("monitor");
  if (command == "main" && args == 0) {
    HWND main = d::FindMainWindow(pid);
    return main ? PrintRect(main) : Missing("main window");
  }
  if (command == "menu" && args == 0) {
    if (!d::PostIconMessage(d::FindMainWindow(pid), WM_RBUTTONUP)) return Missing("main window");
    HWND menu = d::WaitForPopupMenu(pid, kWaitMs);
    return menu ? PrintRect(menu) : Missing("popup menu");
  }
  if (command == "open-menu" && args == 0) {
    HWND menu = d::WaitForPopupMenu(pid, kWaitMs);
    return menu ? PrintRect(menu) : Missing("popup menu");
  }
  if ((command == "choose" && args == 1) || (command == "close-menu" && args == 0)) {
    HWND menu = d::WaitForPopupMenu(pid, kWaitMs);
    if (menu == nullptr) return Missing("popup menu");
    bool sent = command == "choose" ? d::ChooseMenuEntry(menu, std::atoi(argv[at + 1]))
                                    : d::PostKey(menu, VK_ESCAPE);
    return sent && d::WaitUntilGone(menu, kWaitMs) ? 0 : Missing("end of the menu");
  }
  if (command == "dialog" && args == 1) {
    HWND dialog = d::WaitForDialog(pid, argv[at + 1], kWaitMs);
    return dialog ? PrintRect(dialog) : Missing("dialog \"" + std::string(argv[at + 1]) + "\"");
  }
  if (command == "press" && args == 2) {
    HWND dialog = d::WaitForDialog(pid, argv[at + 1], kWaitMs);
    if (dialog == nullptr) return Missing("dialog \"" + std::string(argv[at + 1]) + "\"");
    return d::ClickControl(dialog, std::atoi(argv[at + 2]), d::Delivery::Post) ? 0
                                                                               : Missing("control");
  }
  return Usage();
}

// The tray's windows as the user meets them: the popup menu, the icon's
// callback and the three dialogs, on the real desktop of this process (under
// Wine here). The test's main thread owns the windows and blocks in the menu
// or a modal dialog as the monitor would; a second thread finds them, reads
// them and works them as a user would. The forms run on the fake system, so
// the tests read what they wrote from its registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Driver.h"
#include "monitor/MainForm.h"
#include "system/PlatformChecks.h"
#include "system/RegistryWriters.h"
#include "system/fake/FakeSystem.h"
#include "system/win32/ModelessDialog.h"
#include "system/win32/Win32Seam.h"
#include "tray/Dialogs.h"
#include "tray/IconEvents.h"
#include "tray/fake/FakeDesktop.h"
#include "tray/win32/MainWindow.h"
#include "tray/win32/MainWindowIds.h"

namespace zeph {

// Names in failure messages.
void PrintTo(MenuEntry entry, std::ostream* out) {
  static const char* const kNames[] = {"About",   "Customize", "EventUtility", "WebUpdate",
                                       "Startup", "Suspend",   "Exit"};
  *out << kNames[static_cast<int>(entry)];
}
void PrintTo(AttachedChoice choice, std::ostream* out) {
  *out << (choice == AttachedChoice::Exit ? "Exit" : "Continue");
}

namespace win32 {
namespace {

constexpr char kMenuClass[] = "#32768";
using driver::kDialogClass;
constexpr int kFindMs = 5000;

// The visible top-level windows of this process of class cls (and caption,
// when given).
std::vector<HWND> OurWindows(const std::string& cls, const char* caption = nullptr) {
  std::vector<HWND> found;
  for (const driver::WindowInfo& w : driver::TopLevelWindows(GetCurrentProcessId())) {
    if (w.visible && w.className == cls && (caption == nullptr || w.caption == caption))
      found.push_back(w.hwnd);
  }
  return found;
}

HWND WaitForWindow(const std::string& cls, const char* caption = nullptr, int timeoutMs = kFindMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::vector<HWND> found = OurWindows(cls, caption);
    if (!found.empty()) return found.front();
    if (std::chrono::steady_clock::now() >= end) return nullptr;
    ::Sleep(1);
  }
}

using driver::PostKey;

bool Ticked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Runs the user's part on a second thread while the main thread blocks in
// the call under test. A part that did not get to its end (a failed check)
// gets the main thread out again: menus are cancelled, dialogs closed.
class User {
 public:
  User(HWND mainWindow, std::function<void()> part)
      : thread_([this, mainWindow, part] {
          part();
          if (done_) return;
          PostMessageA(mainWindow, WM_CANCELMODE, 0, 0);
          for (HWND dialog : OurWindows(kDialogClass))
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }) {}
  ~User() { thread_.join(); }
  // Called by the part when it got to its end.
  void Done() { done_ = true; }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// What reaches the program from the windows.
struct RecordingCommands : Commands {
  std::vector<std::string> iconEvents;
  std::vector<MenuEntry> menuCommands;
  void OnTimer() override {}
  void OnExit() override {}
  void OnSuspendToggle() override {}
  void OnIconActivated() override { iconEvents.push_back("activated"); }
  void OnMenuRequested() override { iconEvents.push_back("menu requested"); }
  void OnMenuCommand(MenuEntry entry) override { menuCommands.push_back(entry); }
};

// The real desktop and the fake system the forms work on.
class TrayUi : public ::testing::Test {
 protected:
  TrayUi() : fakeDesktop(sys.log), desktop(CreatePlatformDesktop(sys.Seam().loop)) {}

  HWND MainHandle() {
    // The debug window is the one top-level window of our class.
    return FindWindowA("ZephMonitorMain", nullptr);
  }
  bool LogHas(const std::string& line) const {
    return std::find(sys.log.begin(), sys.log.end(), line) != sys.log.end();
  }
  std::string Registry(RegRoot root, const std::string& key, const std::string& name) {
    return ReadRegString(sys.Seam().registry, root, key, name);
  }

  FakeSystem sys;
  FakeDesktop fakeDesktop;  // for a form whose menu items the tests ask for
  std::unique_ptr<Desktop> desktop;
};

// --- the popup menu

using driver::MenuLine;

std::vector<MenuLine> ReadMenu(HWND menuWindow) {
  std::vector<MenuLine> lines;
  EXPECT_TRUE(driver::ReadPopupMenu(menuWindow, &lines));
  return lines;
}

TEST_F(TrayUi, MenuShowsTheLatestModelsVisibleItemsAndSendsTheEntryChosenWithTheKeyboard) {
  MainForm form(sys.Seam(), fakeDesktop);
  desktop->SetMenu(form.TrayIcon().PopupMenuItems());
  form.TrayIcon().Suspend();  // the Suspend entry is checked from now on
  desktop->SetMenu(form.TrayIcon().PopupMenuItems());
  RecordingCommands commands;
  desktop->SetCommands(&commands);
  std::vector<MenuLine> seen;
  {
    User user(MainHandle(), [&] {
      HWND menu = WaitForWindow(kMenuClass);
      ASSERT_NE(nullptr, menu) << "no menu appeared";
      seen = ReadMenu(menu);
      // Nothing is selected at first; Down goes over the separators.
      for (int i = 0; i < 4; ++i) PostKey(menu, VK_DOWN);
      PostKey(menu, VK_RETURN);
      user.Done();
    });
    desktop->ShowMenu();
  }
  desktop->SetCommands(nullptr);
  const std::vector<MenuLine> expected = {{"About...", false},
                                          {"Customize...", false},
                                          {"-", false},
                                          {"Web update...", false},
                                          {"Startup settings...", false},
                                          {"-", false},
                                          {"Suspend", true},
                                          {"Exit", false}};
  EXPECT_EQ(expected, seen);
  EXPECT_EQ(std::vector<MenuEntry>{MenuEntry::Startup}, commands.menuCommands);
  EXPECT_TRUE(OurWindows(kMenuClass).empty()) << "the menu is still shown";
}

TEST_F(TrayUi, MenuClosedWithEscapeOrCancelModeChoosesNothing) {
  MainForm form(sys.Seam(), fakeDesktop);
  desktop->SetMenu(form.TrayIcon().PopupMenuItems());
  RecordingCommands commands;
  desktop->SetCommands(&commands);
  HWND main = MainHandle();
  // Escape at the menu; the system cancelling the menu (a click elsewhere,
  // another program taking the foreground) through the owner window.
  const std::vector<std::function<void(HWND)>> closes = {
      [](HWND menu) { PostKey(menu, VK_ESCAPE); },
      [main](HWND) { SendMessageA(main, WM_CANCELMODE, 0, 0); },
  };
  for (size_t i = 0; i < closes.size(); ++i) {
    bool suspendChecked = true;
    {
      User user(main, [&] {
        HWND menu = WaitForWindow(kMenuClass);
        ASSERT_NE(nullptr, menu) << "no menu appeared";
        suspendChecked = ReadMenu(menu).at(6).checked;
        PostKey(menu, VK_DOWN);  // an entry selected, but not chosen
        closes[i](menu);
        user.Done();
      });
      desktop->ShowMenu();
    }
    EXPECT_FALSE(suspendChecked) << "close " << i;
    EXPECT_TRUE(commands.menuCommands.empty()) << "close " << i;
    EXPECT_TRUE(OurWindows(kMenuClass).empty()) << "close " << i;
  }
  desktop->SetCommands(nullptr);
}

// --- the icon's callback

TEST_F(TrayUi, IconMessagesArriveAsOurOwnMessageAndRealMouseMovesAreNotTakenForThem) {
  RecordingCommands commands;
  desktop->SetCommands(&commands);
  MessageLoop loop;
  HWND main = MainHandle();
  ASSERT_NE(nullptr, main);
  // What a real mouse move with x = 515 or 517 (the numbers of the double
  // click and of the right button's release) brings.
  PostMessageA(main, WM_MOUSEMOVE, 0, MAKELPARAM(kIconLeftDoubleClick, 0));
  PostMessageA(main, WM_MOUSEMOVE, 0, MAKELPARAM(kIconRightButtonUp, 0));
  // What the shell sends: the icon's id in wParam, the mouse message in
  // lParam. A single click means nothing.
  PostMessageA(main, WM_APP + 1, kIconId, WM_LBUTTONDBLCLK);
  PostMessageA(main, WM_APP + 1, kIconId, WM_LBUTTONDOWN);
  PostMessageA(main, WM_APP + 1, kIconId, WM_RBUTTONUP);
  loop.ProcessPendingMessages();
  EXPECT_EQ((std::vector<std::string>{"activated", "menu requested"}), commands.iconEvents);
  desktop->SetCommands(nullptr);
}

// --- frmStartUp: modeless, so all of it runs on the main thread

const char* const kRunPath = "\"C:\\Zeph\\ZephMonitor.exe\"";

TEST_F(TrayUi, StartUpTickedAndClosedWithEnterThroughTheMessageLoopWritesTheRunValue) {
  StartUpForm form(sys.Seam(), *desktop, "ZephMonitor");
  MessageLoop loop;
  desktop->ShowStartUp(form);
  HWND dialog = ModelessDialog();
  ASSERT_NE(nullptr, dialog);
  HWND check = GetDlgItem(dialog, IDC_STARTUP_CHECK);
  EXPECT_FALSE(Ticked(dialog, IDC_STARTUP_CHECK));
  SendMessageA(check, BM_CLICK, 0, 0);
  // Enter on the check box presses the default button only when the loop
  // hands the key to the dialog.
  PostKey(check, VK_RETURN);
  loop.ProcessPendingMessages();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(kRunPath, Registry(RegRoot::LocalMachine, kRunKey, kRunValueName));
  // Closed, the next request opens a new dialog, ticked from the value.
  desktop->ShowStartUp(form);
  ASSERT_NE(nullptr, ModelessDialog());
  EXPECT_TRUE(Ticked(ModelessDialog(), IDC_STARTUP_CHECK));
  SendMessageA(GetDlgItem(ModelessDialog(), IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(nullptr, ModelessDialog());
}
}  // namespace
}  // namespace win32
}  // namespace zeph

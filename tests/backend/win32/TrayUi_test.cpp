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

std::string TextOf(HWND window) { return driver::WindowText(window); }

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

// The real desktop and the fake system the forms work on.
class TrayUi : public ::testing::Test {
 protected:
  TrayUi() : fakeDesktop(sys.log), desktop(CreatePlatformDesktop()) {}

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

TEST_F(TrayUi, MenuShowsTheVisibleItemsAndReturnsTheEntryChosenWithTheKeyboard) {
  MainForm form(sys.Seam(), fakeDesktop);
  form.Suspend();  // the Suspend entry is checked from now on
  std::vector<MenuLine> seen;
  std::optional<MenuEntry> chosen;
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
    chosen = desktop->ShowPopupMenu(form.PopupMenuItems());
  }
  const std::vector<MenuLine> expected = {{"About...", false},
                                          {"Customize...", false},
                                          {"-", false},
                                          {"Web update...", false},
                                          {"Startup settings...", false},
                                          {"-", false},
                                          {"Suspend", true},
                                          {"Exit", false}};
  EXPECT_EQ(expected, seen);
  EXPECT_EQ(std::optional<MenuEntry>(MenuEntry::Startup), chosen);
  EXPECT_TRUE(OurWindows(kMenuClass).empty()) << "the menu is still shown";
}

TEST_F(TrayUi, MenuClosedWithEscapeOrCancelModeChoosesNothing) {
  MainForm form(sys.Seam(), fakeDesktop);
  const std::vector<MenuItem> items = form.PopupMenuItems();
  HWND main = MainHandle();
  // Escape at the menu; the system cancelling the menu (a click elsewhere,
  // another program taking the foreground) through the owner window.
  const std::vector<std::function<void(HWND)>> closes = {
      [](HWND menu) { PostKey(menu, VK_ESCAPE); },
      [main](HWND) { SendMessageA(main, WM_CANCELMODE, 0, 0); },
  };
  for (size_t i = 0; i < closes.size(); ++i) {
    bool suspendChecked = true;
    std::optional<MenuEntry> chosen = MenuEntry::About;
    {
      User user(main, [&] {
        HWND menu = WaitForWindow(kMenuClass);
        ASSERT_NE(nullptr, menu) << "no menu appeared";
        suspendChecked = ReadMenu(menu).at(6).checked;
        PostKey(menu, VK_DOWN);  // an entry selected, but not chosen
        closes[i](menu);
        user.Done();
      });
      chosen = desktop->ShowPopupMenu(items);
    }
    EXPECT_FALSE(suspendChecked) << "close " << i;
    EXPECT_EQ(std::nullopt, chosen) << "close " << i;
    EXPECT_TRUE(OurWindows(kMenuClass).empty()) << "close " << i;
  }
}

// --- the icon's callback

struct RecordingCommands : Commands {
  std::vector<uint32_t> iconMessages;
  void OnTimer() override {}
  void OnExit() override {}
  void OnSuspendToggle() override {}
  void OnIconMessage(uint32_t mouseMessage) override { iconMessages.push_back(mouseMessage); }
  void OnMenuCommand(MenuEntry) override {}
};

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
  // What the shell sends: the icon's id in wParam, the mouse message in lParam.
  PostMessageA(main, WM_APP + 1, kIconId, WM_LBUTTONDBLCLK);
  PostMessageA(main, WM_APP + 1, kIconId, WM_RBUTTONUP);
  loop.ProcessPendingMessages();
  EXPECT_EQ((std::vector<uint32_t>{kIconLeftDoubleClick, kIconRightButtonUp}),
            commands.iconMessages);
  desktop->SetCommands(nullptr);
}

TEST_F(TrayUi, RightButtonOnTheIconOpensTheMenuAndHowLongItTakes) {
  // The monitor's own handler: foreground, then the menu.
  MainForm form(sys.Seam(), *desktop);
  desktop->SetCommands(&form);
  MessageLoop loop;
  HWND main = MainHandle();
  ASSERT_NE(nullptr, main);
  constexpr int kRounds = 5;
  std::vector<double> ms;
  for (int round = 0; round < kRounds; ++round) {
    std::atomic<bool> closed{false};
    User user(main, [&] {
      const auto posted = std::chrono::steady_clock::now();
      PostMessageA(main, WM_APP + 1, kIconId, WM_RBUTTONUP);
      HWND menu = WaitForWindow(kMenuClass);
      const auto shown = std::chrono::steady_clock::now();
      if (menu != nullptr) {
        ms.push_back(std::chrono::duration<double, std::milli>(shown - posted).count());
        PostKey(menu, VK_ESCAPE);
        user.Done();
      }
      // Only once the menu is gone again (its window destroyed).
      while (!OurWindows(kMenuClass).empty()) ::Sleep(1);
      closed = true;
    });
    while (!closed) loop.WaitForObject(-1, 10);
  }
  desktop->SetCommands(nullptr);
  ASSERT_EQ(static_cast<size_t>(kRounds), ms.size()) << "a menu did not appear";
  std::sort(ms.begin(), ms.end());
  std::printf("menu open after the right button: min %.1f ms, median %.1f ms, max %.1f ms\n",
              ms.front(), ms[ms.size() / 2], ms.back());
  EXPECT_LT(ms[ms.size() / 2], 2000.0);
}

TEST_F(TrayUi, WatchTimerKeepsFiringWhileTheMenuOrAModalDialogIsOpen) {
  struct Ticks final : RecordingCommands {
    std::atomic<int> ticks{0};
    void OnTimer() override { ++ticks; }
  } commands;
  MessageLoop loop;
  loop.SetCommands(&commands);
  loop.SetTimerInterval(20);
  MainForm form(sys.Seam(), fakeDesktop);
  AboutForm about(sys.Seam(), *desktop);
  int duringMenu = 0, duringDialog = 0;
  // The user waits a while in the menu, then in the About dialog.
  auto waitIn = [&](int* ticks) {
    const int before = commands.ticks;
    ::Sleep(300);
    *ticks = commands.ticks - before;
  };
  {
    User user(MainHandle(), [&] {
      HWND menu = WaitForWindow(kMenuClass);
      ASSERT_NE(nullptr, menu);
      waitIn(&duringMenu);
      PostKey(menu, VK_ESCAPE);
      user.Done();
    });
    desktop->ShowPopupMenu(form.PopupMenuItems());
  }
  {
    User user(MainHandle(), [&] {
      HWND dialog = WaitForWindow(kDialogClass, "About Thalix Monitor");
      ASSERT_NE(nullptr, dialog);
      waitIn(&duringDialog);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      user.Done();
    });
    desktop->ShowAbout(about);
  }
  loop.SetTimerInterval(0);
  // 300 ms at 20 ms a tick; timers are coarse under load, so only a few.
  EXPECT_GE(duringMenu, 3);
  EXPECT_GE(duringDialog, 3);
}

// --- frmAbout

TEST_F(TrayUi, AboutShowsTheFormsTextsPictureAndLinksAndPassesClicksOn) {
  sys.regValues["hklm\\software\\microsoft\\shared tools\\msinfo\\path"] = {
      kRegSz, {'C', ':', '\\', 'm', 's', 'i', '.', 'e', 'x', 'e', 0}};
  AboutForm form(sys.Seam(), *desktop);
  std::string caption, version, info, credit, web, mail, ok, sysInfo;
  bool logo = false, line = false, linksNotify = false;
  COLORREF linkColour = 0, plainColour = 0;
  bool openedWeb = false, openedMail = false, startedSysInfo = false;
  {
    User user(MainHandle(), [&] {
      HWND about = WaitForWindow(kDialogClass, "About Thalix Monitor");
      ASSERT_NE(nullptr, about) << "no About dialog";
      auto text = [&](int id) { return TextOf(GetDlgItem(about, id)); };
      auto style = [&](int id) { return GetWindowLongA(GetDlgItem(about, id), GWL_STYLE); };
      caption = TextOf(about);
      version = text(IDC_ABOUT_VERSION);
      info = text(IDC_ABOUT_INFO);
      credit = text(IDC_ABOUT_CREDIT);
      web = text(IDC_ABOUT_WEBLINK);
      mail = text(IDC_ABOUT_MAILLINK);
      ok = text(IDOK);
      sysInfo = text(IDC_ABOUT_SYSINFO);
      logo = SendMessageA(GetDlgItem(about, IDC_ABOUT_LOGO), STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
      line = (style(IDC_ABOUT_LINE) & SS_TYPEMASK) == SS_ETCHEDHORZ;
      linksNotify =
          (style(IDC_ABOUT_WEBLINK) & SS_NOTIFY) && (style(IDC_ABOUT_MAILLINK) & SS_NOTIFY);
      // The colour the dialog gives a static when it is drawn.
      HDC dc = CreateCompatibleDC(nullptr);
      auto colourOf = [&](int id) {
        SetTextColor(dc, RGB(1, 2, 3));
        SendMessageA(about, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(about, id)));
        return GetTextColor(dc);
      };
      linkColour = colourOf(IDC_ABOUT_MAILLINK);
      plainColour = colourOf(IDC_ABOUT_VERSION);
      DeleteDC(dc);
      // A click on a link is a press of the left button on it.
      auto click = [&](int id) {
        HWND link = GetDlgItem(about, id);
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
      };
      click(IDC_ABOUT_WEBLINK);
      openedWeb = LogHas("open-address 2 https://zephmonitor.example.org/");
      click(IDC_ABOUT_MAILLINK);
      openedMail = LogHas(
          "open-address 0 mailto:support@zephmonitor.example.org?subject=Thalix Monitor v5.1.0.12");
      SendMessageA(GetDlgItem(about, IDC_ABOUT_SYSINFO), BM_CLICK, 0, 0);
      startedSysInfo = LogHas("start-shown 1 C:\\msi.exe");
      SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
      user.Done();
    });
    desktop->ShowAbout(form);
  }
  EXPECT_EQ("About Thalix Monitor", caption);
  EXPECT_EQ("Thalix Monitor v5.1.0.12", version);
  EXPECT_EQ(kAboutInfoText, info);
  EXPECT_EQ(kAboutCredit, credit);
  EXPECT_EQ(kAuthorWebPage, web);
  EXPECT_EQ(kAuthorMail, mail);
  EXPECT_EQ("OK", ok);
  EXPECT_EQ("&System Info...", sysInfo);
  EXPECT_TRUE(logo) << "the logo's bitmap is missing";
  EXPECT_TRUE(line);
  EXPECT_TRUE(linksNotify);
  EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), linkColour);
  EXPECT_NE(GetSysColor(COLOR_ACTIVECAPTION), plainColour);
  EXPECT_TRUE(openedWeb);
  EXPECT_TRUE(openedMail);
  EXPECT_TRUE(startedSysInfo);
  EXPECT_TRUE(OurWindows(kDialogClass).empty()) << "OK did not close the dialog";
}

// --- frmStartUp: modeless, so all of it runs on the main thread

const char* const kRunPath = "\"C:\\Zeph\\ZephMonitor.exe\"";

TEST_F(TrayUi, StartUpTickedFromTheRunValueAndTheCloseButtonClearsIt) {
  WriteRegString(sys.Seam().registry, RegRoot::CurrentUser, kRunKey, kRunValueName, kRunPath);
  StartUpForm form(sys.Seam(), *desktop, "ZephMonitor");
  MessageLoop loop;
  desktop->ShowStartUp(form);
  desktop->ShowStartUp(form);  // only brings the open one forward
  loop.ProcessPendingMessages();
  const std::vector<HWND> shown = OurWindows(kDialogClass, "Startup Settings");
  ASSERT_EQ(1u, shown.size());
  HWND dialog = shown[0];
  EXPECT_EQ(dialog, ModelessDialog());
  EXPECT_EQ("Launch the Thalix Monitor when Windows starts",
            TextOf(GetDlgItem(dialog, IDC_STARTUP_CHECK)));
  EXPECT_EQ("OK", TextOf(GetDlgItem(dialog, IDOK)));
  EXPECT_TRUE(Ticked(dialog, IDC_STARTUP_CHECK));

  SendMessageA(GetDlgItem(dialog, IDC_STARTUP_CHECK), BM_CLICK, 0, 0);
  EXPECT_EQ(kRunPath, Registry(RegRoot::CurrentUser, kRunKey, kRunValueName))
      << "saved before the dialog closed";
  SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  loop.ProcessPendingMessages();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(nullptr, ModelessDialog());
  EXPECT_EQ(sys.regValues.end(),
            sys.regValues.find("hkcu\\software\\microsoft\\windows\\currentversion\\run\\zeph "
                               "monitor"));
}

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

// --- frmCheckAttached

TEST_F(TrayUi, CheckAttachedTextsTheIgnoreBoxAndEachWayOut) {
  struct Way {
    const char* name;
    std::function<void(HWND)> close;
    AttachedChoice expected;
  };
  const std::vector<Way> ways = {
      {"Exit", [](HWND d) { SendMessageA(GetDlgItem(d, IDC_REMINDER_EXIT), BM_CLICK, 0, 0); },
       AttachedChoice::Exit},
      {"Continue Anyhow", [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); },
       AttachedChoice::Continue},
      {"close button", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
       AttachedChoice::Continue},
  };
  const std::string valuePath = "hklm\\software\\thalix\\kinetra\\checkattached";
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    CheckAttachedForm form(sys.Seam());
    std::vector<std::string> texts;
    bool picture = false, normal = false, tickedAtFirst = true;
    std::string afterTick, afterClear;
    AttachedChoice choice;
    {
      User user(MainHandle(), [&] {
        HWND dialog = WaitForWindow(kDialogClass, " Thalix Not Found");
        ASSERT_NE(nullptr, dialog) << "no reminder";
        for (int id :
             {IDC_REMINDER_TEXT1, IDC_REMINDER_TEXT2, IDC_REMINDER_IGNORE, IDOK, IDC_REMINDER_EXIT})
          texts.push_back(TextOf(GetDlgItem(dialog, id)));
        picture = SendMessageA(GetDlgItem(dialog, IDC_REMINDER_PICTURE), STM_GETIMAGE, IMAGE_BITMAP,
                               0) != 0;
        normal = !IsIconic(dialog) && !IsZoomed(dialog);
        tickedAtFirst = Ticked(dialog, IDC_REMINDER_IGNORE);
        HWND ignore = GetDlgItem(dialog, IDC_REMINDER_IGNORE);
        SendMessageA(ignore, BM_CLICK, 0, 0);
        afterTick = Registry(RegRoot::LocalMachine, kProductKey, "CheckAttached");
        SendMessageA(ignore, BM_CLICK, 0, 0);
        afterClear = Registry(RegRoot::LocalMachine, kProductKey, "CheckAttached");
        way.close(dialog);
        user.Done();
      });
      choice = desktop->ShowCheckAttached(form);
    }
    EXPECT_EQ((std::vector<std::string>{
                  "The Quenlar Thalix does not appear to be installed and selected as your "
                  "primary joystick.",
                  "The Thalix Kinetra software will not function correctly until this has been "
                  "corrected.",
                  "Do not display this error in the future", "Continue Anyhow...", "Exit"}),
              texts);
    EXPECT_TRUE(picture) << "the reminder's bitmap is missing";
    EXPECT_TRUE(normal);
    EXPECT_FALSE(tickedAtFirst);
    EXPECT_EQ("False", afterTick);
    EXPECT_EQ("True", afterClear);
    EXPECT_EQ(way.expected, choice);
    EXPECT_TRUE(OurWindows(kDialogClass).empty());
    sys.regValues.erase(valuePath);
  }
}

}  // namespace
}  // namespace win32
}  // namespace zeph

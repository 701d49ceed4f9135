// Windows-only scenarios through the monitor's real user interface: the
// notification-area icon, its popup menu and the three dialogs, driven from
// this process by window messages and, on the icon itself, by X clicks.
// Under Wine they run on a desktop of their own with Wine's task bar.
#include <algorithm>
#include <cctype>

#include "HarnessTray.h"
#include "HarnessWin32.h"
#include "Scenario.h"
#include "tray/win32/MainWindowIds.h"

namespace zeph::e2e {
namespace {

namespace d = zeph::driver;

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunValue = "Zeph Monitor";
const char* const kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const char* const kToolsKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const char* const kAboutCaption = "About Thalix Monitor";
const char* const kStartupCaption = "Startup Settings";
const char* const kReminderCaption = " Thalix Not Found";

// The visible entries, in order, when monitoring (Suspend unchecked).
const std::vector<d::MenuLine> kMenu = {{"About...", false},
                                        {"Customize...", false},
                                        {"-", false},
                                        {"Web update...", false},
                                        {"Startup settings...", false},
                                        {"-", false},
                                        {"Suspend", false},
                                        {"Exit", false}};
// Keyboard positions of the entries (separators are skipped).
enum Entry { kAbout = 1, kCustomize, kWebUpdate, kStartup, kSuspend, kExit };

constexpr DWORD kWindowWaitMs = 10000;

class TrayScenario : public Scenario {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(tray::JoinTrayDesktop(&why)) << why;
    Scenario::SetUp();
    Profile("racer.wyn", Racer(), "Racer");  // the monitor needs one to start
  }

  std::unique_ptr<MonitorHarness> MakeHarness() override {
    auto harness = Win32MonitorHarness::CreateWin32();
    harness->StartOnDesktop(d::UnderWine() ? tray::kTrayDesktop : "");
    w = harness.get();
    return harness;
  }

  // Opens the popup menu as a right click on the icon does; null when no
  // menu came.
  HWND OpenMenu(int copy) {
    EXPECT_TRUE(d::PostIconMessage(w->MainWindow(copy), WM_RBUTTONUP));
    HWND menu = d::WaitForPopupMenu(w->Pid(copy), kWindowWaitMs);
    EXPECT_NE(nullptr, menu) << "no popup menu";
    return menu;
  }

  // Opens the menu and chooses entry n from the keyboard.
  void Choose(int copy, Entry n) {
    HWND menu = OpenMenu(copy);
    if (menu == nullptr) return;
    ASSERT_TRUE(d::ChooseMenuEntry(menu, n));
    EXPECT_TRUE(d::WaitUntilGone(menu, kWindowWaitMs)) << "the menu stayed open";
  }

  void CloseMenu(HWND menu) {
    d::PostKey(menu, VK_ESCAPE);
    EXPECT_TRUE(d::WaitUntilGone(menu, kWindowWaitMs)) << "Escape did not close the menu";
  }

  HWND WaitForDialog(int copy, const std::string& caption) {
    HWND dialog = d::WaitForDialog(w->Pid(copy), caption, kWindowWaitMs);
    EXPECT_NE(nullptr, dialog) << "no dialog \"" << caption << "\"";
    return dialog;
  }

  // Chooses the menu entry that opens the dialog with this caption.
  HWND OpenDialog(int copy, Entry n, const std::string& caption) {
    Choose(copy, n);
    return WaitForDialog(copy, caption);
  }

  // Presses the dialog's button and waits until the dialog is gone.
  void CloseWith(HWND dialog, int button) {
    EXPECT_TRUE(d::ClickControl(dialog, button));
    EXPECT_TRUE(d::WaitUntilGone(dialog, kWindowWaitMs)) << "the dialog stayed open";
  }

  // Reads the box with this title, presses OK and waits until it is gone.
  d::MessageBoxInfo AnswerBox(int copy, const std::string& title) {
    d::MessageBoxInfo box;
    HWND window = d::WaitForDialog(w->Pid(copy), title, kWindowWaitMs);
    if (window == nullptr) {
      ADD_FAILURE() << "no box \"" << title << "\"";
      return box;
    }
    EXPECT_TRUE(d::ReadMessageBox(window, &box));
    EXPECT_TRUE(d::PressBoxButton(window, IDOK));
    EXPECT_TRUE(d::WaitUntilGone(window, kWindowWaitMs));
    return box;
  }

  // Whether the open menu shows a check mark by its Suspend entry: read from
  // the menu where the system allows it, else from the screen (the only
  // entry that can be checked is Suspend, near the menu's foot).
  bool SuspendShownChecked(HWND menu) {
    std::vector<d::MenuLine> lines;
    if (d::ReadPopupMenu(menu, &lines)) {
      auto it = std::find_if(lines.begin(), lines.end(),
                             [](const d::MenuLine& l) { return l.text == "Suspend"; });
      return it != lines.end() && it->checked;
    }
    RECT r{};
    GetWindowRect(menu, &r);
    // The lower half holds Suspend and Exit; once their text is drawn, the
    // check marks' column, left of the text, is too.
    const RECT lower{r.left + 2, r.top + (r.bottom - r.top) / 2, r.right - 2, r.bottom - 2};
    EXPECT_TRUE(WaitFor([&] { return AnyDark(tray::ScreenPixels(lower)); }, 5000))
        << "the menu was not drawn";
    RECT column = lower;
    column.right = column.left + GetSystemMetrics(SM_CXMENUCHECK);
    return AnyDark(tray::ScreenPixels(column));
  }

  static bool AnyDark(const std::vector<uint32_t>& pixels) {
    return std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) {
      return (p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF) < 3 * 0x60;
    });
  }

  // Indexes of the debug lines that start with prefix.
  std::vector<int> LinesStarting(int copy, const std::string& prefix) {
    std::vector<int> out;
    const auto lines = h->DebugLines(copy);
    for (int i = 0; i < static_cast<int>(lines.size()); ++i)
      if (StartsWith(lines[i], prefix)) out.push_back(i);
    return out;
  }

  // Every "Monitoring suspended at" line stands between exactly one empty
  // line before it and one after it.
  void ExpectOneEmptyLineAroundEachSuspend(int copy) {
    const auto lines = h->DebugLines(copy);
    for (int i : LinesStarting(copy, "Monitoring suspended at ")) {
      SCOPED_TRACE("debug line " + std::to_string(i));
      ASSERT_GE(i, 2);
      ASSERT_LT(i + 1, static_cast<int>(lines.size()));
      EXPECT_EQ("", lines[i - 1]);
      EXPECT_NE("", lines[i - 2]);
      EXPECT_EQ("", lines[i + 1]);
    }
  }

  std::string RunData() { return "\"" + h->Folder() + "\\ZephMonitor.exe\""; }
  std::string RunValue(HKEY root) {
    std::string value;
    return tray::RegString(root, kRunKey, kRunValue, &value) ? value : "(none)";
  }
  // The dialog is gone before it saves: the value is waited for.
  void ExpectRunValue(HKEY root, const std::string& expected) {
    EXPECT_TRUE(WaitFor([&] { return RunValue(root) == expected; }, 5000))
        << "expected " << expected << ", the Run value is " << RunValue(root);
  }

  Win32MonitorHarness* w = nullptr;
};

// --- the icon itself, clicked from the X side

TEST_F(TrayScenario, RightClickOnTheIconOpensTheMonitorsMenu) {
  int copy = StartMonitoring();
  RECT slot{};
  std::string why;
  if (!d::IconSlot(&slot)) GTEST_SKIP() << "only the place of icons on Wine's task bar is known";
  EXPECT_TRUE(WaitFor([&] { return tray::HoldsAnImage(tray::ScreenPixels(slot)); }))
      << "no icon at the task bar's end";
  RECT before = slot;  // the slot of a second icon: empty
  OffsetRect(&before, slot.left - slot.right, 0);
  EXPECT_FALSE(tray::HoldsAnImage(tray::ScreenPixels(before)));
  if (!tray::XClick(tray::Center(slot), 3, 1, &why)) GTEST_SKIP() << why;
  HWND menu = d::WaitForPopupMenu(w->Pid(copy), kWindowWaitMs);
  ASSERT_NE(nullptr, menu) << "the right click opened no menu of the monitor's";
  std::vector<d::MenuLine> lines;
  if (d::ReadPopupMenu(menu, &lines)) {
    EXPECT_EQ(kMenu, lines);
  } else {
    // Wine keeps another process's menu to that process: its size tells
    // whether it holds these entries, the keyboard tests their order.
    EXPECT_TRUE(d::UnderWine()) << "the menu could not be read";
    RECT r{};
    GetWindowRect(menu, &r);
    const SIZE expected = tray::MenuSizeFor(kMenu);
    EXPECT_EQ(expected.cx, r.right - r.left);
    EXPECT_EQ(expected.cy, r.bottom - r.top);
  }
  EXPECT_FALSE(SuspendShownChecked(menu));
  CloseMenu(menu);
  EXPECT_TRUE(h->IsRunning(copy));
  EXPECT_EQ("ACTIVE", Mode());
}

// The manifest at work in the real program: the loader gave it the common
// controls of the 6.0 assembly (Wine 8's library says 5.81 of itself, so
// its folder tells).
TEST_F(TrayScenario, TheMonitorRunsWithTheCommonControlsOfItsManifest) {
  int copy = StartMonitoring();
  std::string controls;
  for (const std::string& path : d::LoadedModules(w->Pid(copy))) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.size() > 13 && lower.compare(lower.size() - 13, 13, "\\comctl32.dll") == 0)
      controls = lower;
  }
  ASSERT_FALSE(controls.empty()) << "the monitor has no comctl32.dll loaded";
  EXPECT_NE(std::string::npos, controls.find("microsoft.windows.common-controls_")) << controls;
  EXPECT_NE(std::string::npos, controls.find("_6.0.")) << controls;
}

TEST_F(TrayScenario, DoubleClickOnTheIconSuspendsAndStartsTheCustomizer) {
  h->InstallCompanions();
  int copy = StartMonitoring();
  RECT slot{};
  std::string why;
  if (!d::IconSlot(&slot)) GTEST_SKIP() << "only the place of icons on Wine's task bar is known";
  ASSERT_TRUE(WaitFor([&] { return tray::HoldsAnImage(tray::ScreenPixels(slot)); }));
  const std::vector<uint32_t> monitoring = tray::ScreenPixels(slot);

  if (!tray::XClick(tray::Center(slot), 1, 2, &why)) GTEST_SKIP() << why;
  ASSERT_TRUE(WaitForLine(copy, "Monitoring suspended at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "SUSPEND"; }));
  EXPECT_TRUE(WaitFor([&] { return w->ProgramRunning("zephcfg.exe"); })) << "no customizer";
  EXPECT_TRUE(WaitFor([&] { return tray::ScreenPixels(slot) != monitoring; }))
      << "the icon did not change to the suspended one";
  HWND menu = OpenMenu(copy);
  ASSERT_NE(nullptr, menu);
  EXPECT_TRUE(SuspendShownChecked(menu));
  CloseMenu(menu);

  // Suspended again by a second double click: one empty line between.
  ASSERT_TRUE(tray::XClick(tray::Center(slot), 1, 2, &why)) << why;
  ASSERT_TRUE(WaitFor([&] { return LinesStarting(copy, "Monitoring suspended at ").size() == 2; }));
  ExpectOneEmptyLineAroundEachSuspend(copy);

  // Resumed from the menu: the monitoring icon again, no check mark.
  Choose(copy, kSuspend);
  ASSERT_TRUE(WaitForLine(copy, "Monitoring resumed at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));
  EXPECT_TRUE(WaitFor([&] { return tray::ScreenPixels(slot) == monitoring; }));
  menu = OpenMenu(copy);
  ASSERT_NE(nullptr, menu);
  EXPECT_FALSE(SuspendShownChecked(menu));
  CloseMenu(menu);
}

// --- the menu

// Each entry chosen by its keyboard position does its own thing: an entry
// out of place, or the hidden one shown, makes another entry run.
TEST_F(TrayScenario, MenuEntriesChosenByKeyboardInOrder) {
  h->InstallCompanions();
  fs::remove(Folder() / "zephweb.exe");
  tray::SavedRegValue machineRun(HKEY_LOCAL_MACHINE, kRunKey, kRunValue);
  tray::SavedRegValue userRun(HKEY_CURRENT_USER, kRunKey, kRunValue);
  int copy = StartMonitoring();

  HWND about = OpenDialog(copy, kAbout, kAboutCaption);
  ASSERT_NE(nullptr, about);
  CloseWith(about, IDOK);

  Choose(copy, kWebUpdate);
  d::MessageBoxInfo box = AnswerBox(copy, "Update Error");
  EXPECT_EQ("Thalix Web Update utility not found.", box.text);
  WaitForTicks(1);
  EXPECT_EQ("ACTIVE", Mode());
  EXPECT_EQ(-1, LineIndex(copy, "Monitoring suspended at "));

  HWND startup = OpenDialog(copy, kStartup, kStartupCaption);
  ASSERT_NE(nullptr, startup);
  CloseWith(startup, IDOK);

  Choose(copy, kCustomize);
  EXPECT_TRUE(WaitFor([&] { return w->ProgramRunning("zephcfg.exe"); })) << "no customizer";
  EXPECT_TRUE(WaitFor([&] { return Mode() == "SUSPEND"; }));

  Choose(copy, kSuspend);  // the customizer suspended: Suspend resumes
  EXPECT_TRUE(WaitForLine(copy, "Monitoring resumed at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));

  Choose(copy, kExit);
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());
}

class TrayActivationScenario : public TrayScenario {
 protected:
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    EXPECT_TRUE(ControlCalls(Slurp(Folder() / "zephcontrol.log"), &calls)) << "calls overlapped";
    return calls;
  }
  // How far the monitor got, for a failure's message.
  std::string Progress(int copy) {
    std::string text = std::to_string(Calls().size()) + " control calls; the debug list:\n";
    for (const std::string& line : h->DebugLines(copy)) text += "  " + line + "\n";
    return text;
  }
};

TEST_F(TrayActivationScenario, MenuSuspendWhileAGameRunsDropsItAndResetsTheController) {
  h->InstallCompanions();
  int copy = StartMonitoring();
  int game = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 38; }, 30000)) << Progress(copy);
  const size_t programmed = Calls().size();

  Choose(copy, kSuspend);
  ASSERT_TRUE(WaitForLine(copy, "Monitoring suspended at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "SUSPEND"; }));
  ASSERT_TRUE(WaitFor([&] { return Calls().size() >= programmed + kResetCalls.size(); }, 20000))
      << Progress(copy);
  std::vector<std::string> calls = Calls();
  EXPECT_EQ(kResetCalls, std::vector<std::string>(calls.end() - 6, calls.end()));
  EXPECT_EQ("0", ini::GetString(Slurp(Folder() / "zephcontrol.state"), "CONTROLLER", "NullRegion",
                                "ERROR", 255));
  h->StopGame(game);
  WaitForTicks(1, 2500);
  EXPECT_EQ(-1, LineIndex(copy, "Stopped watching: "));  // no end-of-game pass

  // Resumed and suspended again: one empty line between.
  Choose(copy, kSuspend);
  ASSERT_TRUE(WaitForLine(copy, "Monitoring resumed at "));
  ASSERT_TRUE(WaitForLine(copy, "Successfully added", LineIndex(copy, "Monitoring resumed at ")));
  Choose(copy, kSuspend);
  ASSERT_TRUE(WaitFor([&] { return LinesStarting(copy, "Monitoring suspended at ").size() == 2; }));
  ExpectOneEmptyLineAroundEachSuspend(copy);
}

// --- the dialogs

TEST_F(TrayScenario, StartupSettingsWriteReadAndDeleteTheRunValue) {
  tray::SavedRegValue machineRun(HKEY_LOCAL_MACHINE, kRunKey, kRunValue);
  tray::SavedRegValue userRun(HKEY_CURRENT_USER, kRunKey, kRunValue);
  tray::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue);
  tray::DeleteRegValue(HKEY_CURRENT_USER, kRunKey, kRunValue);
  int copy = StartMonitoring();

  // Ticked and closed with OK: the value names this copy, quoted.
  HWND dialog = OpenDialog(copy, kStartup, kStartupCaption);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(BST_UNCHECKED, d::CheckState(dialog, IDC_STARTUP_CHECK));
  ASSERT_TRUE(d::ClickControl(dialog, IDC_STARTUP_CHECK));
  EXPECT_EQ(BST_CHECKED, d::CheckState(dialog, IDC_STARTUP_CHECK));
  CloseWith(dialog, IDOK);
  ExpectRunValue(HKEY_LOCAL_MACHINE, RunData());

  // Another copy's path: the box opens ticked, and OK puts this copy's in.
  tray::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue,
                     "\"C:\\Program Files\\Other Place\\ZephMonitor.exe\" ");
  dialog = OpenDialog(copy, kStartup, kStartupCaption);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(BST_CHECKED, d::CheckState(dialog, IDC_STARTUP_CHECK));
  CloseWith(dialog, IDOK);
  ExpectRunValue(HKEY_LOCAL_MACHINE, RunData());

  // Cleared and closed with the window's close button: gone from both roots.
  tray::SetRegString(HKEY_CURRENT_USER, kRunKey, kRunValue, RunData());
  dialog = OpenDialog(copy, kStartup, kStartupCaption);
  ASSERT_NE(nullptr, dialog);
  ASSERT_TRUE(d::ClickControl(dialog, IDC_STARTUP_CHECK));
  EXPECT_EQ(BST_UNCHECKED, d::CheckState(dialog, IDC_STARTUP_CHECK));
  ASSERT_TRUE(PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0));
  ASSERT_TRUE(d::WaitUntilGone(dialog, kWindowWaitMs));
  ExpectRunValue(HKEY_LOCAL_MACHINE, "(none)");
  ExpectRunValue(HKEY_CURRENT_USER, "(none)");
  EXPECT_TRUE(h->IsRunning(copy));
}

TEST_F(TrayScenario, ReminderCheckBoxWritesAtEveryClickAndExitEndsTheProgram) {
  h->SetMachineString(kProductKey, "CheckAttached", "True");
  int copy = h->StartMonitor("-d");
  HWND reminder = WaitForDialog(copy, kReminderCaption);
  ASSERT_NE(nullptr, reminder);
  ASSERT_TRUE(d::ClickControl(reminder, IDC_REMINDER_IGNORE));
  EXPECT_EQ("False", h->MachineString(kProductKey, "CheckAttached"));
  ASSERT_TRUE(d::ClickControl(reminder, IDC_REMINDER_IGNORE));
  EXPECT_EQ("True", h->MachineString(kProductKey, "CheckAttached"));
  ASSERT_TRUE(d::ClickControl(reminder, IDC_REMINDER_EXIT, d::Delivery::Post));
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  h->SetMachineString(kProductKey, "CheckAttached", "False");
}

TEST_F(TrayScenario, AboutShowsTheVersionAndSaysWhenSystemInfoIsMissing) {
  tray::SavedRegValue toolPath(HKEY_LOCAL_MACHINE, kMsinfoKey, "PATH");
  tray::SavedRegValue toolFolder(HKEY_LOCAL_MACHINE, kToolsKey, "MSINFO");
  tray::DeleteRegValue(HKEY_LOCAL_MACHINE, kMsinfoKey, "PATH");
  tray::DeleteRegValue(HKEY_LOCAL_MACHINE, kToolsKey, "MSINFO");
  int copy = StartMonitoring();
  HWND about = OpenDialog(copy, kAbout, kAboutCaption);
  ASSERT_NE(nullptr, about);
  std::string version;
  EXPECT_TRUE(d::ControlText(about, IDC_ABOUT_VERSION, &version));
  EXPECT_EQ("Thalix Monitor v5.1.0.12", version);
  std::string button;
  EXPECT_TRUE(d::ControlText(about, IDC_ABOUT_SYSINFO, &button));
  EXPECT_EQ("&System Info...", button);

  // Posted: the click's handler waits in the box.
  ASSERT_TRUE(d::ClickControl(about, IDC_ABOUT_SYSINFO, d::Delivery::Post));
  d::MessageBoxInfo box = AnswerBox(copy, "Thalix Monitor");
  EXPECT_EQ("System Information Is Unavailable At This Time", box.text);
  EXPECT_TRUE(IsWindowVisible(about));  // back in the About dialog
  CloseWith(about, IDOK);
  EXPECT_TRUE(h->IsRunning(copy));
}

}  // namespace
}  // namespace zeph::e2e

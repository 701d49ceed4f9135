// The icon's mouse messages, the popup menu, the companion-tool commands and
// the three dialogs' logic, on the fake system and desktop.
#include <gtest/gtest.h>

#include "tests/unit/FormFixture.h"

namespace zeph::testing {
namespace {

const char* const kRunKeyPath =
    "hklm\\software\\microsoft\\windows\\currentversion\\run\\zeph monitor";
const char* const kUserRunKeyPath =
    "hkcu\\software\\microsoft\\windows\\currentversion\\run\\zeph monitor";

std::vector<uint8_t> Sz(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::string RegText(FakeSystem& sys, const std::string& path) {
  auto it = sys.regValues.find(path);
  if (it == sys.regValues.end()) return "(missing)";
  std::string text(it->second.second.begin(), it->second.second.end());
  return text.substr(0, text.find('\0'));
}

// The tray alone, monitoring, its icon added.
class Tray : public WorldFixture {
 protected:
  void SetUp() override {
    for (const char* tool : {"ZephEvent.exe", "zephcfg.exe", "zephweb.exe", "Zephcontrol.exe"})
      sys.AddFile(std::string("C:\\Zeph\\") + tool, "");
    unit.debugList.SetDebugMode(true);
    std::string why;
    ASSERT_TRUE(unit.modes.Prepare(&why)) << why;
    unit.tray.AddIcon();
    sys.log.clear();
  }

  TrayUnit unit{sys.Seam(), desk};

  std::vector<std::string> ResetRuns() {
    std::vector<std::string> runs;
    for (const auto& e : LogOf("run ")) {
      if (e.find("Zephcontrol.exe") != std::string::npos) runs.push_back(e);
    }
    return runs;
  }
};

// --- the icon and its menu

TEST_F(Tray, MenuRequestBringsTheWindowForwardThenShowsTheMenuInDesignOrder) {
  unit.tray.ShowPopupMenu();
  EXPECT_LT(LogIndex("foreground"), LogIndex("menu"));
  ASSERT_EQ(1u, desk.menusShown.size());
  std::vector<std::string> seen;
  for (const MenuItem& item : desk.menusShown[0]) {
    if (item.visible) seen.push_back(item.caption + (item.checked ? " [x]" : ""));
  }
  EXPECT_EQ((std::vector<std::string>{"About...", "Customize...", "-", "Web update...",
                                      "Startup settings...", "-", "Suspend", "Exit"}),
            seen);
  // The mouse toggle is in the menu, hidden, with its separator.
  const auto& items = desk.menusShown[0];
  ASSERT_EQ(10u, items.size());
  EXPECT_EQ("*BETA* Enable Mouse * BETA*", items[3].caption);
  EXPECT_FALSE(items[2].visible);
  EXPECT_FALSE(items[3].visible);
}

TEST_F(Tray, MenuChoiceRunsItsCommandAndLeavesResumeAndExitToTheForm) {
  unit.tray.ShowPopupMenu();
  ASSERT_EQ(1u, desk.menusShown.size());
  EXPECT_EQ(TrayRequest::None, unit.tray.OnMenuCommand(MenuEntry::Suspend));
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_EQ("Resume", desk.suspendCaption);
  EXPECT_TRUE(desk.menu[8].checked);
  // Exit is the form's to carry out.
  EXPECT_EQ(TrayRequest::Exit, unit.tray.OnMenuCommand(MenuEntry::Exit));
  EXPECT_EQ("SUSPEND", Mode());
  // Resuming asks the form to start up again, which writes the mode.
  EXPECT_EQ(TrayRequest::StartAgain, unit.tray.OnMenuCommand(MenuEntry::Suspend));
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_EQ(Mode::Active, unit.modes.Current());
  EXPECT_FALSE(desk.menu[8].checked);
}

TEST_F(Tray, MenuModelIsPublishedAtStartAndWithEachChangeOfACheckMark) {
  ASSERT_EQ(10u, desk.menu.size());  // published when the icon was added
  EXPECT_FALSE(desk.menu[8].checked);
  unit.tray.mnuZephEvent_Click();
  EXPECT_TRUE(desk.menu[3].checked);  // the mouse toggle
  unit.tray.mnuZephEvent_Click();
  EXPECT_FALSE(desk.menu[3].checked);
  unit.tray.mPopupSuspend_Click();
  EXPECT_TRUE(desk.menu[8].checked);
  unit.tray.mPopupSuspend_Click();
  EXPECT_FALSE(desk.menu[8].checked);
  unit.tray.mWebUpdate_Click();  // suspends
  EXPECT_TRUE(desk.menu[8].checked);
  EXPECT_TRUE(desk.menusShown.empty());
}

// The tray as the form connects it.
class TrayInForm : public FormFixture {
 protected:
  void SetUp() override {
    AddProfile("racer.wyn", "racer.exe", "Racer");
    sys.AddFile("C:\\Zeph\\zephcfg.exe", "");
    ASSERT_FALSE(Load("-d"));
    sys.log.clear();
  }
};

TEST_F(TrayInForm, ActivatedIconOpensTheCustomizer) {
  form.OnIconActivated();
  EXPECT_EQ(1u, LogOf("start-shown 2 \"C:\\Zeph\\zephcfg.exe\"").size());
  EXPECT_TRUE(desk.menusShown.empty());
}

TEST_F(TrayInForm, MenuChoiceArrivesAsACommandAndExitCloses) {
  desk.menuChoice = MenuEntry::Suspend;
  form.OnMenuRequested();
  EXPECT_EQ("SUSPEND", Mode());
  desk.menuChoice.reset();  // closed by a click elsewhere: nothing happens
  form.OnMenuRequested();
  EXPECT_EQ("SUSPEND", Mode());
  ASSERT_EQ(2u, desk.menusShown.size());
  EXPECT_EQ("Suspend", desk.menusShown[1][8].caption);
  EXPECT_TRUE(desk.menusShown[1][8].checked);
  desk.menuChoice = MenuEntry::Exit;
  EXPECT_TRUE(Ends([&] { form.OnMenuRequested(); }));
  EXPECT_EQ("", Mode());
}

TEST_F(TrayInForm, ResumeWatchesProfilesAddedMeanwhileWithoutASecondIcon) {
  form.mPopupSuspend_Click();
  AddProfile("flyer.wyn", "flyer.exe", "Flyer");
  form.mPopupSuspend_Click();
  EXPECT_EQ("ACTIVE", Mode());
  EXPECT_NE(nullptr, form.FindWatchEntry("flyer.exe"));
  EXPECT_EQ(1000, sys.timerInterval);
  int adds = 0;
  for (const auto& call : desk.iconCalls) adds += call.message == IconMessage::Add;
  EXPECT_EQ(1, adds);  // the one of the program's start
  EXPECT_EQ(0, desk.remindersShown);
}

// --- companion tools

TEST_F(Tray, MissingToolShowsItsBoxAndChangesNothing) {
  struct Row {
    const char* file;
    void (zeph::Tray::*command)();
    const char *text, *title;
    bool foreground;
  } rows[] = {
      {"zephweb.exe", &zeph::Tray::mWebUpdate_Click, "Thalix Web Update utility not found.",
       "Update Error", true},
      {"zephcfg.exe", &zeph::Tray::mCustomize_Click, "Thalix Customizer not found.", "Launch Error",
       true},
      {"ZephEvent.exe", &zeph::Tray::mnuZephEvent_Click,
       "ZephEvent utility not found... Aborting...", "Launch Error", false},
  };
  for (const Row& row : rows) {
    sys.DropFile(std::string("C:\\Zeph\\") + row.file);
    desk.boxes.clear();
    sys.log.clear();
    (unit.tray.*row.command)();
    ASSERT_EQ(1u, desk.boxes.size()) << row.file;
    EXPECT_EQ(row.text, desk.boxes[0].text);
    EXPECT_EQ(row.title, desk.boxes[0].title);
    EXPECT_EQ(BoxIcon::Critical, desk.boxes[0].icon);
    EXPECT_EQ(BoxButtons::Ok, desk.boxes[0].buttons);
    EXPECT_EQ(row.foreground, desk.boxes[0].foreground) << row.file;
    EXPECT_EQ("ACTIVE", Mode()) << row.file;
    EXPECT_TRUE(ResetRuns().empty()) << row.file;
    EXPECT_FALSE(unit.tray.EventToggleChecked());
  }
}

TEST_F(Tray, CustomizerWhileAGameRunsSuspendsWithoutResetAndActivatesItsWindow) {
  sys.windowAfterMs = 420;  // the customizer shows its window a while after its start
  unit.tray.mCustomize_Click();
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_TRUE(unit.tray.SuspendChecked());
  EXPECT_EQ("Thalix Monitor", desk.iconCalls.back().tip);  // not "... - Suspended"
  EXPECT_EQ(IconImage::Suspended, desk.iconCalls.back().image);
  EXPECT_TRUE(ResetRuns().empty());  // the controller keeps the game's settings
  EXPECT_LT(LogIndex("close-window ZephEvent"),
            LogIndex("start-shown 2 \"C:\\Zeph\\zephcfg.exe\""));
  ASSERT_EQ(1u, LogOf("activate ").size());
  EXPECT_GE(sys.nowMs, 420);
  EXPECT_LT(sys.nowMs, 600);
}

TEST_F(Tray, CustomizerWithoutAWindowIsGivenUpQuietly) {
  sys.windowAfterMs = -1;
  unit.tray.mCustomize_Click();
  EXPECT_TRUE(LogOf("activate ").empty());
  EXPECT_TRUE(desk.boxes.empty());
  EXPECT_LE(sys.nowMs, 3100);  // a bounded wait, messages flowing
  EXPECT_EQ("SUSPEND", Mode());
}

TEST_F(Tray, WebUpdateSuspendsAndStartsItNormal) {
  unit.tray.mWebUpdate_Click();
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_EQ(1u, LogOf("start-shown 1 \"C:\\Zeph\\zephweb.exe\"").size());
  EXPECT_TRUE(ResetRuns().empty());
}

TEST_F(Tray, MouseToggleResetsEachTimeAndStartsTheEventUtilityOnlyWhenSwitchedOn) {
  unit.tray.mnuZephEvent_Click();
  EXPECT_TRUE(unit.tray.EventToggleChecked());
  EXPECT_EQ(6u, ResetRuns().size());
  EXPECT_LT(LogIndex("close-window ZephEvent"), LogIndex("run \"C:\\Zeph\\ZephEvent.exe\""));
  sys.log.clear();
  unit.tray.mnuZephEvent_Click();
  EXPECT_FALSE(unit.tray.EventToggleChecked());
  EXPECT_EQ(6u, ResetRuns().size());
  EXPECT_EQ(1u, LogOf("close-window ZephEvent").size());
  EXPECT_TRUE(LogOf("run \"C:\\Zeph\\ZephEvent.exe\"").empty());
  EXPECT_EQ("ACTIVE", Mode());  // no suspend
}

// --- About

TEST_F(Tray, AboutShowsTitleAndVersionAndItsLinksOpenTheAddresses) {
  desk.onAbout = [](AboutForm& about) {
    about.lblWebLink_Click();
    about.lblMailLink_Click();
  };
  unit.tray.mAbout_Click();
  EXPECT_EQ((std::vector<std::string>{"About Thalix Monitor|Thalix Monitor v5.1.0.12"}),
            desk.aboutSeen);
  EXPECT_EQ(1u, LogOf(std::string("open-address 2 ") + kAuthorWebPage).size());
  // The subject is a header field, not part of the address.
  EXPECT_EQ(1u, LogOf(std::string("open-address 0 mailto:") + kAuthorMail +
                      "?subject=Thalix Monitor v5.1.0.12")
                    .size());
}

TEST_F(Tray, SystemInfoToolIsFoundThroughEitherRegistryValue) {
  const std::string pathValue = "hklm\\software\\microsoft\\shared tools\\msinfo\\path";
  const std::string folderValue = "hklm\\software\\microsoft\\shared tools location\\msinfo";
  AboutForm about(sys.Seam(), desk);

  sys.regValues[pathValue] = {1, Sz("D:\\Tools\\info.exe")};
  about.StartSysInfo();
  EXPECT_EQ(1u, LogOf("start-shown 1 D:\\Tools\\info.exe").size());

  sys.regValues.erase(pathValue);
  sys.regValues[folderValue] = {1, Sz("D:\\Shared")};
  about.StartSysInfo();  // no MSINFO32.EXE in that folder
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("System Information Is Unavailable At This Time", desk.boxes[0].text);
  EXPECT_EQ("Thalix Monitor", desk.boxes[0].title);
  EXPECT_EQ(BoxIcon::None, desk.boxes[0].icon);

  sys.AddFile("D:\\Shared\\MSINFO32.EXE", "");
  about.StartSysInfo();
  EXPECT_EQ(1u, LogOf("start-shown 1 D:\\Shared\\MSINFO32.EXE").size());
  EXPECT_EQ(1u, desk.boxes.size());

  // A tool that cannot be started is unavailable too.
  sys.onRun = [](const std::string&) { return -1; };
  about.StartSysInfo();
  EXPECT_EQ(2u, desk.boxes.size());
}

TEST_F(Tray, GetKeyValueTakesTheStringWithoutItsTerminator) {
  AboutForm about(sys.Seam(), desk);
  std::string value = "stale";
  EXPECT_FALSE(about.GetKeyValue(RegRoot::LocalMachine, "Software\\None", "X", value));
  EXPECT_EQ("", value);
  sys.regValues["hklm\\software\\k\\s"] = {1, Sz("text")};
  EXPECT_TRUE(about.GetKeyValue(RegRoot::LocalMachine, "Software\\K", "S", value));
  EXPECT_EQ("text", value);
  sys.regValues["hklm\\software\\k\\d"] = {4, {1, 0, 0, 0}};
  EXPECT_TRUE(about.GetKeyValue(RegRoot::LocalMachine, "Software\\K", "D", value));
  EXPECT_EQ("", value);  // only strings are read as text
}

// --- Startup settings

TEST_F(Tray, StartUpDialogReadsEitherRunValueAndWritesThisCopysPath) {
  struct Row {
    const char* name;
    const char* machine;  // nullptr: no value
    const char* user;
    bool ticked;
  } rows[] = {
      {"none", nullptr, nullptr, false},
      {"this copy", "\"C:\\Zeph\\ZephMonitor.exe\"", nullptr, true},
      {"another copy, other case", "  \"E:\\Old\\ZEPHMONITOR.EXE\"  ", nullptr, true},
      {"another program", "\"C:\\Other\\tool.exe\"", nullptr, false},
      {"the user's key", nullptr, "\"C:\\Zeph\\ZephMonitor.exe\"", true},
  };
  for (const Row& row : rows) {
    sys.regValues.erase(kRunKeyPath);
    sys.regValues.erase(kUserRunKeyPath);
    if (row.machine) sys.regValues[kRunKeyPath] = {1, Sz(row.machine)};
    if (row.user) sys.regValues[kUserRunKeyPath] = {1, Sz(row.user)};
    desk.startUpLoaded.clear();
    unit.tray.mnuStartup_Click();  // closed at once, as it was loaded
    ASSERT_EQ(1u, desk.startUpLoaded.size());
    EXPECT_EQ(row.ticked, desk.startUpLoaded[0]) << row.name;
    if (row.ticked) {
      EXPECT_EQ("\"C:\\Zeph\\ZephMonitor.exe\"", RegText(sys, kRunKeyPath)) << row.name;
    } else {
      EXPECT_EQ("(missing)", RegText(sys, kRunKeyPath)) << row.name;
      EXPECT_EQ("(missing)", RegText(sys, kUserRunKeyPath)) << row.name;
    }
  }
}

TEST_F(Tray, RunDataAtADrivesRootKeepsTheRootsBackslash) {
  sys.programFolder = "D:";
  StartUpForm startUp(sys.Seam(), desk, "ZephMonitor");
  EXPECT_EQ("\"D:\\\\ZephMonitor.exe\"", startUp.RunData());
  sys.programFolder = "D:\\Apps";
  EXPECT_EQ("\"D:\\Apps\\ZephMonitor.exe\"", startUp.RunData());
}

TEST_F(Tray, RefusedMachineKeyFallsBackToTheUsersAndClearingRemovesBoth) {
  sys.unwritable.push_back(kRunKeyPath);
  desk.onStartUp = [](StartUpForm&, bool& ticked) { ticked = true; };
  unit.tray.mnuStartup_Click();
  EXPECT_EQ("(missing)", RegText(sys, kRunKeyPath));
  EXPECT_EQ("\"C:\\Zeph\\ZephMonitor.exe\"", RegText(sys, kUserRunKeyPath));
  EXPECT_TRUE(desk.boxes.empty());

  sys.unwritable.clear();
  sys.regValues[kRunKeyPath] = {1, Sz("\"C:\\Zeph\\ZephMonitor.exe\"")};
  desk.onStartUp = [](StartUpForm&, bool& ticked) { ticked = false; };
  unit.tray.mnuStartup_Click();
  EXPECT_EQ("(missing)", RegText(sys, kRunKeyPath));
  EXPECT_EQ("(missing)", RegText(sys, kUserRunKeyPath));
  EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(Tray, StartUpSettingThatNoKeyTakesSaysWhy) {
  sys.unwritable = {kRunKeyPath, kUserRunKeyPath};
  desk.onStartUp = [](StartUpForm&, bool& ticked) { ticked = true; };
  unit.tray.mnuStartup_Click();
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("Startup Settings", desk.boxes[0].title);
  EXPECT_NE(std::string::npos, desk.boxes[0].text.find("(5)")) << desk.boxes[0].text;

  sys.unwritable = {kUserRunKeyPath};
  sys.regValues[kUserRunKeyPath] = {1, Sz("\"C:\\Zeph\\ZephMonitor.exe\"")};
  desk.onStartUp = [](StartUpForm&, bool& ticked) { ticked = false; };
  unit.tray.mnuStartup_Click();
  ASSERT_EQ(2u, desk.boxes.size());
  EXPECT_NE(std::string::npos, desk.boxes[1].text.find("cannot be removed"));
}

// --- the attached reminder

class Reminder : public FormFixture {
 protected:
  void SetUp() override {
    AddProfile("racer.wyn", "racer.exe", "Racer");
    sys.regValues.erase("hklm\\software\\thalix\\kinetra\\checkattached");
  }
  std::string CheckAttached() {
    return RegText(sys, "hklm\\software\\thalix\\kinetra\\checkattached");
  }
};

TEST_F(Reminder, EachClickOfTheBoxIsWrittenAndContinueGoesOn) {
  desk.onCheckAttached = [&](CheckAttachedForm& reminder) {
    reminder.chkIgnore_Click(true);
    EXPECT_EQ("False", CheckAttached());
    reminder.chkIgnore_Click(false);
  };
  EXPECT_FALSE(Load());
  EXPECT_EQ(1, desk.remindersShown);
  EXPECT_EQ("True", CheckAttached());
  EXPECT_EQ("ACTIVE", Mode());
}

TEST_F(Reminder, ExitEndsTheProgramBeforeTheSettingsFile) {
  desk.reminderChoice = AttachedChoice::Exit;
  EXPECT_TRUE(Load());
  EXPECT_FALSE(sys.HasFile("C:\\Zeph\\zephmon.ini"));
  EXPECT_EQ(IconMessage::Delete, desk.iconCalls.back().message);
}

TEST_F(Reminder, NotShownAgainOnResume) {
  EXPECT_FALSE(Load());
  form.mPopupSuspend_Click();
  form.mPopupSuspend_Click();
  EXPECT_EQ(1, desk.remindersShown);
}

}  // namespace
}  // namespace zeph::testing

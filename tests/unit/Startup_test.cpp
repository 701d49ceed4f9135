// Start-up and the watch list on the fake system.
#include <gtest/gtest.h>

#include "monitor/CommandLine.h"
#include "tests/unit/FormFixture.h"

namespace zeph::testing {
namespace {

class Startup : public FormFixture {};

TEST_F(Startup, NormalStartArmsTheTimerLast) {
  AddProfile("racer.wyn", "racer.exe");
  ASSERT_FALSE(Load());
  EXPECT_EQ("ACTIVE", Mode());
  EXPECT_EQ("5.1", sys.IniValue("C:\\Zeph\\zephmon.ini", "VERSION", "VERSION"));
  EXPECT_EQ(Mode::Active, form.Modes().Current());
  EXPECT_EQ("C:\\Zeph\\wyn\\", form.State().ProfileFolder);
  EXPECT_EQ(".wyn", form.State().ProfileExt);
  EXPECT_EQ("C:\\Zeph\\zephmon.ini", form.Modes().Path());
  EXPECT_TRUE(form.Modes().Prepared());
  EXPECT_EQ((std::vector<int>{1000}), sys.timerIntervals);
  EXPECT_EQ(sys.log.back(), "timer 1000");
  ASSERT_EQ(1u, desk.iconCalls.size());
  EXPECT_EQ(IconMessage::Add, desk.iconCalls[0].message);
  EXPECT_EQ("Thalix Monitor", desk.iconCalls[0].tip);
  EXPECT_TRUE(desk.hiddenFromTaskList);
  EXPECT_FALSE(desk.mainWindowShown);
  EXPECT_TRUE(desk.boxes.empty());
  // The suite's version is recorded as a string with its terminating zero.
  auto version = sys.regValues.at("hklm\\software\\thalix\\kinetra\\version");
  EXPECT_EQ(1u, version.first);
  EXPECT_EQ((std::vector<uint8_t>{'5', '.', '1', '0', 0}), version.second);
}

TEST_F(Startup, UsageBoxForEachKindOfBadCommandLine) {
  for (const char* args : {"-?", "-r 0.5", "-r 11", "-r", "-r abc", "-d  -s", "/x"}) {
    FakeWorld fresh;
    MainForm f(fresh.sys.Seam(), fresh.desktop);
    fresh.sys.commandArgs = args;
    EXPECT_THROW(f.Form_Load(), FakeSystem::ProgramEnded) << args;
    ASSERT_EQ(1u, fresh.desktop.boxes.size()) << args;
    EXPECT_EQ("Thalix Monitor", fresh.desktop.boxes[0].title);
    EXPECT_EQ(UsageText(), fresh.desktop.boxes[0].text);
    EXPECT_EQ(BoxIcon::None, fresh.desktop.boxes[0].icon);
    EXPECT_EQ(BoxButtons::Ok, fresh.desktop.boxes[0].buttons);
    // Nothing reaches the registry or the settings file before the box.
    EXPECT_TRUE(fresh.sys.regValues.empty()) << args;
    EXPECT_FALSE(fresh.sys.HasFile("C:\\Zeph\\zephmon.ini")) << args;
  }
}

TEST_F(Startup, RefreshOptionSetsTheInterval) {
  AddProfile("racer.wyn", "racer.exe");
  ASSERT_FALSE(Load("-r 5 -d"));
  EXPECT_EQ(5000, form.State().RefreshInterval);
  EXPECT_TRUE(form.Debug().DebugMode());
  EXPECT_TRUE(desk.mainWindowShown);
  EXPECT_EQ(5000, sys.timerInterval);
}

TEST_F(Startup, KillEmptiesModeOfTheRunningCopyAndEnds) {
  sys.AddFile("C:\\Zeph\\zephmon.ini", "[APPLICATION]\r\nMODE=ACTIVE\r\n");
  EXPECT_TRUE(Load("-d -k"));
  EXPECT_EQ("", Mode());
  EXPECT_FALSE(desk.mainWindowShown);  // served before the window is shown
  EXPECT_EQ(0u, sys.regValues.count("hklm\\software\\thalix\\kinetra\\version"));
  EXPECT_EQ(std::string::npos, LogIndex("timer 1000"));
}

TEST_F(Startup, KillWithoutSettingsFileOnlyEnds) {
  EXPECT_TRUE(Load("-k"));
  EXPECT_FALSE(sys.HasFile("C:\\Zeph\\zephmon.ini"));
}

TEST_F(Startup, SecondCopyEndsSilentlyWithoutTouchingTheRunningOne) {
  AddProfile("racer.wyn", "racer.exe");
  sys.AddFile("C:\\Zeph\\zephmon.ini", "[APPLICATION]\r\nMODE=SUSPEND\r\n");
  sys.otherInstance = true;
  EXPECT_TRUE(Load());
  EXPECT_TRUE(desk.boxes.empty());
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_TRUE(sys.closedWindows.empty());  // the running copy's event utility is left alone
  EXPECT_EQ(1u, sys.regValues.count("hklm\\software\\thalix\\kinetra\\version"));
}

TEST_F(Startup, MissingProfileFolder) {
  sys.programFolder = "C:\\Bare";
  sys.AddFolder("C:\\Bare");
  EXPECT_TRUE(Load());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("Configuration file folder C:\\Bare\\wyn\\ not found.", desk.boxes[0].text);
  EXPECT_EQ("Critical Error", desk.boxes[0].title);
  EXPECT_EQ(BoxIcon::Critical, desk.boxes[0].icon);
  EXPECT_FALSE(sys.HasFile("C:\\Bare\\zephmon.ini"));
}

TEST_F(Startup, EmptyProfileFolderEndsAndEmptiesMode) {
  EXPECT_TRUE(Load());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("No configuration files found in folder C:\\Zeph\\wyn\\", desk.boxes[0].text);
  EXPECT_EQ("Critical Error", desk.boxes[0].title);
  EXPECT_EQ("", Mode());  // the closing sequence ran with the settings file set
  EXPECT_EQ(IconMessage::Delete, desk.iconCalls.back().message);
}

TEST_F(Startup, SuspendedSettingsFileIsOverwrittenWithActive) {
  AddProfile("racer.wyn", "racer.exe");
  sys.AddFile("C:\\Zeph\\zephmon.ini", "[APPLICATION]\r\nMODE=SUSPEND\r\n");
  ASSERT_FALSE(Load());
  EXPECT_EQ("ACTIVE", Mode());
}

TEST_F(Startup, UnwritableSettingsFileIsReportedNotSilentlyFatalLater) {
  AddProfile("racer.wyn", "racer.exe");
  sys.unwritable.push_back("C:\\Zeph\\zephmon.ini");
  EXPECT_TRUE(Load());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("Settings file C:\\Zeph\\zephmon.ini cannot be written: access denied (5)",
            desk.boxes[0].text);
}

TEST_F(Startup, MainWindowThatCannotBeMadeIsACriticalError) {
  AddProfile("racer.wyn", "racer.exe");
  desk.windowFails = true;
  EXPECT_TRUE(Load());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("Critical Error", desk.boxes[0].title);
  EXPECT_EQ("The main window cannot be created: Cannot find window class. (1407)",
            desk.boxes[0].text);
  EXPECT_TRUE(desk.iconCalls.empty() || desk.iconCalls.back().message == IconMessage::Delete);
  EXPECT_EQ(std::string::npos, LogIndex("timer 1000"));
}

TEST_F(Startup, RefusedSystemEndsBeforeTheIcon) {
  AddProfile("racer.wyn", "racer.exe");
  sys.osVersion = {1, 4, 90};
  EXPECT_TRUE(Load());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("OS Version Error - Windows Mellinnium", desk.boxes[0].title);
  EXPECT_EQ("This program was designed to run on Windows 2000 / XP.", desk.boxes[0].text);
  EXPECT_TRUE(desk.iconCalls.empty());
  EXPECT_FALSE(sys.HasFile("C:\\Zeph\\zephmon.ini"));
}

TEST_F(Startup, SkipOptionSkipsTheSystemCheck) {
  AddProfile("racer.wyn", "racer.exe");
  sys.osVersion = {1, 4, 90};
  ASSERT_FALSE(Load("-s"));
  EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(Startup, AttachedReminderUnlessSwitchedOff) {
  AddProfile("racer.wyn", "racer.exe");
  sys.regValues.clear();
  ASSERT_FALSE(Load());
  EXPECT_EQ(1, desk.remindersShown);
  EXPECT_TRUE(desk.boxes.empty());
  // Shown after the icon, before the settings file.
  EXPECT_LT(LogIndex("icon add Thalix Monitor"), LogIndex("reminder"));
  EXPECT_LT(LogIndex("reminder"), LogIndex("ini zephmon.ini [VERSION] VERSION=5.1"));

  for (const char* value : {"FALSE", "false", "FaLsE"}) {
    FakeWorld w;
    w.sys.AddFile("C:\\Zeph\\wyn\\racer.wyn", sys.FileContents("C:\\Zeph\\wyn\\racer.wyn"));
    std::vector<uint8_t> data(value, value + 5);
    data.push_back(0);
    w.sys.regValues["hklm\\software\\thalix\\kinetra\\checkattached"] = {1, data};
    MainForm f(w.sys.Seam(), w.desktop);
    f.Form_Load();
    EXPECT_EQ(0, w.desktop.remindersShown) << value;
  }
}

// --- the watch list

struct ExecutableCase {
  const char* name;
  const char* value;  // text after "EXECUTABLE="
  std::vector<std::string> entries;
};

class WatchListTable : public FormFixture, public ::testing::WithParamInterface<ExecutableCase> {};

TEST_P(WatchListTable, EntriesOfTheExecutableValue) {
  const ExecutableCase& c = GetParam();
  AddProfile("game.wyn", c.value);
  AddProfile("other.wyn", "other.exe");  // keeps the list from being empty
  ASSERT_FALSE(Load());
  std::vector<std::string> names;
  for (const auto& e : form.State().WatchList)
    if (e.ProfileFile == "game.wyn") names.push_back(e.ExeName);
  EXPECT_EQ(c.entries, names);
}

const ExecutableCase kExecutableCases[] = {
    {"Plain", "game.exe", {"game.exe"}},
    {"Quoted", "\"game.exe\"", {"game.exe"}},
    {"TwoQuoted", "\"a.exe\",\"b.exe\"", {"a.exe", "b.exe"}},
    {"BlankAfterComma", "\"a.exe\", \"b.exe\"", {"a.exe", "b.exe"}},
    {"EmptyItemEndsList", "\"a.exe\",\"\",\"b.exe\"", {"a.exe"}},
    {"UnquotedList", "a.exe,b.exe", {"a.ex", ".exe"}},
    {"ShortPartEndsList", "\"a.exe\",x,\"b.exe\"", {"a.exe"}},
    {"Empty", "", {}},
    {"BlankValue", "   ", {}},
    {"ThreeNames", "\"a.exe\",\"b.exe\",\"c.exe\"", {"a.exe", "b.exe", "c.exe"}},
};

INSTANTIATE_TEST_SUITE_P(Rows, WatchListTable, ::testing::ValuesIn(kExecutableCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, ProfileFilters) {
  const std::string body = "[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nEXECUTABLE=x.exe\r\n";
  sys.AddFile("C:\\Zeph\\wyn\\lower.wyn", body + "HIDE_FILE=false\r\n");
  sys.AddFile("C:\\Zeph\\wyn\\UPPER.WYN", body + "HIDE_FILE=FaLsE\r\n");
  sys.AddFile("C:\\Zeph\\wyn\\hidden.wyn", body + "HIDE_FILE=TRUE\r\n");
  sys.AddFile("C:\\Zeph\\wyn\\nohide.wyn", body);
  sys.AddFile("C:\\Zeph\\wyn\\readme.txt", body + "HIDE_FILE=FALSE\r\n");
  sys.AddFile(
      "C:\\Zeph\\wyn\\v610.wyn",
      "[VERSION]\r\nVERSION=6.10\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=x.exe\r\n");
  sys.AddFile(
      "C:\\Zeph\\wyn\\v6.wyn",
      "[VERSION]\r\nVERSION=6\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=x.exe\r\n");
  sys.AddFile("C:\\Zeph\\wyn\\noexe.wyn",
              "[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\n");
  ASSERT_FALSE(Load());
  std::vector<std::string> files;
  for (const auto& e : form.State().WatchList) files.push_back(e.ProfileFile + ":" + e.ExeName);
  EXPECT_EQ((std::vector<std::string>{"lower.wyn:x.exe", "UPPER.WYN:x.exe", "noexe.wyn:ERROR"}),
            files);
}

TEST_F(Startup, WatchListDebugLinesAndSummary) {
  AddProfile("a.wyn", "\"one.exe\",\"two.exe\",\"three.exe\"");
  AddProfile("b.wyn", "solo.exe");
  ASSERT_FALSE(Load("-d"));
  EXPECT_EQ(
      (std::vector<std::string>{"Building watch list...", "--------", "a.wyn - one.exe",
                                "a.wyn - two.exe", "a.wyn - three.exe", "b.wyn - solo.exe",
                                "--------", "Successfully added 4 items to the watch list.", ""}),
      desk.debugLines);
  EXPECT_EQ(7, desk.selectedLine);  // the summary line
}

TEST_F(Startup, AValueCutByTheReadLosesItsCutLastItem) {
  std::string list;
  for (int i = 0; list.size() < 300; ++i)
    list += (i ? "," : "") + std::string("\"g") + std::to_string(1000 + i) + ".exe\"";
  AddProfile("many.wyn", list);
  ASSERT_FALSE(Load("-d"));
  ASSERT_FALSE(form.State().WatchList.empty());
  for (const auto& e : form.State().WatchList)
    EXPECT_EQ(9u, e.ExeName.size()) << "a cut name was watched: " << e.ExeName;
  // 254 characters hold 21 whole names of 12 with their comma; the 22nd is cut.
  EXPECT_EQ(21u, form.State().WatchList.size());
  EXPECT_NE(desk.debugLines.end(),
            std::find_if(desk.debugLines.begin(), desk.debugLines.end(), [](const std::string& l) {
              return l.find("left out") != std::string::npos;
            }));
}

TEST_F(Startup, DebugListKeepsItsLatestLines) {
  AddProfile("a.wyn", "one.exe");
  ASSERT_FALSE(Load());
  for (size_t i = 0; i < DebugList::kMaxLines + 10; ++i) form.Debug().Add(std::to_string(i));
  EXPECT_EQ(DebugList::kMaxLines, form.Debug().Lines().size());
  EXPECT_EQ(DebugList::kMaxLines, desk.debugLines.size());  // the list box too
  EXPECT_EQ(std::to_string(DebugList::kMaxLines + 9), desk.debugLines.back());
  EXPECT_EQ("10", desk.debugLines.front());  // after the one line of the start
}

TEST_F(Startup, EntryLinesAreAddedInEveryMode) {
  AddProfile("a.wyn", "one.exe");
  ASSERT_FALSE(Load());
  EXPECT_EQ((std::vector<std::string>{"a.wyn - one.exe"}), desk.debugLines);
}

TEST_F(Startup, DuplicateExecutablesStayAndTheFirstIsFound) {
  AddProfile("a.wyn", "game.exe");
  AddProfile("b.wyn", "GAME.EXE");
  ASSERT_FALSE(Load());
  ASSERT_EQ(2u, form.State().WatchList.size());
  ASSERT_NE(nullptr, form.FindWatchEntry("Game.Exe"));
  EXPECT_EQ("a.wyn", form.FindWatchEntry("Game.Exe")->ProfileFile);
  EXPECT_EQ(nullptr, form.FindWatchEntry("game"));
}

// The mode channel alone: what it reads, what it writes and when.
class ModeChannelOnFakes : public WorldFixture {
 protected:
  ModeChannel modes{sys.Seam().program, sys.Seam().files, sys.Seam().ini};
};

TEST_F(ModeChannelOnFakes, ReadsAnyCaseWritesOnlyWhenPreparedAndCountsSuspends) {
  EXPECT_EQ(Mode::Active, ModeOf("active"));
  EXPECT_EQ(Mode::Suspend, ModeOf("Suspend"));
  EXPECT_EQ(Mode::None, ModeOf(""));
  for (const char* other : {"ERROR", "ACTIVE ", "stop"}) EXPECT_EQ(Mode::Unknown, ModeOf(other));
  EXPECT_EQ(Mode::Unknown, modes.Read());  // no file: the read's "ERROR"

  // Before start-up has prepared the file, a switch writes nothing; one
  // that writes only where the file is leaves a missing file missing.
  EXPECT_FALSE(modes.Write(Mode::Suspend));
  modes.WriteIfThere(Mode::Suspend);
  EXPECT_FALSE(sys.HasFile("C:\\Zeph\\zephmon.ini"));

  std::string why;
  ASSERT_TRUE(modes.Prepare(&why)) << why;
  EXPECT_EQ("5.1", sys.IniValue("C:\\Zeph\\zephmon.ini", "VERSION", "VERSION"));
  EXPECT_EQ(Mode::Active, modes.Current());
  EXPECT_EQ(Mode::Active, modes.Read());
  EXPECT_TRUE(modes.Write(Mode::None));
  EXPECT_EQ(Mode::None, modes.Read());

  EXPECT_EQ(0u, modes.Suspends());
  modes.SetCurrent(Mode::Suspend);
  modes.SetCurrent(Mode::Active);
  modes.SetCurrent(Mode::Suspend);
  EXPECT_EQ(2u, modes.Suspends());
  {
    ModeChannel::Change outer(modes);
    ModeChannel::Change inner(modes);
    EXPECT_TRUE(modes.Changing());
  }
  EXPECT_FALSE(modes.Changing());
}

}  // namespace
}  // namespace zeph::testing

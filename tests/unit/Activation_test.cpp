// Reading a profile, the event settings and the command script, on the fake system.
#include <gtest/gtest.h>

#include "activation/CommandScript.h"
#include "activation/ProfileFormat.h"
#include "setup/PathHelpers.h"
#include "tests/unit/FormFixture.h"

namespace zeph::testing {
namespace {

TEST(ProfileFormat, ParseItemList) {
  struct Row {
    int count;
    const char* text;
    bool ok;
    const char *a, *b, *c;
  } rows[] = {
      {3, "Fire', 'Trigger', 'JOY1", true, "Fire", "Trigger", "JOY1"},
      {3, "a', 'b', 'c", true, "a", "b", "c"},
      {3, "ERROR", true, "'", "", "'"},
      {3, "error", true, "'", "", "'"},
      {3, "no commas at all", true, "'", "", "'"},
      {3, "a,b", true, "'", "", "'"},  // shorter than 8
      {2, "x", true, "'", "", ""},
      {2, "src.txt', 'dst\\a.txt'", true, "src.txt", "dst\\a.txt", ""},
      {3, "first', 'second'", false, "", "", ""},      // third piece missing
      {3, "first', 'second',   ", false, "", "", ""},  // third piece empty
      {3, "   , 'second', 'x'", false, "", "", ""},    // first piece empty
      {3, "first', x, 'third'", false, "", "", ""},    // second too short
  };
  for (const Row& r : rows) {
    std::string a, b, c;
    EXPECT_EQ(r.ok, ParseItemList(r.count, r.text, &a, &b, &c)) << r.text;
    if (!r.ok) continue;
    EXPECT_EQ(r.a, a) << r.text;
    EXPECT_EQ(r.b, b) << r.text;
    EXPECT_EQ(r.c, c) << r.text;
  }
}

TEST(ProfileFormat, TruthLevelAndGainFields) {
  for (const char* t : {"TRUE", "true", "-1", "1", "2.5"}) EXPECT_TRUE(IsTrue(t)) << t;
  for (const char* f : {"FALSE", "False", "0", "", "ERROR", "yes", "0x1"})
    EXPECT_FALSE(IsTrue(f)) << f;
  EXPECT_EQ("BEG", LevelCode("bEgInNeR"));
  EXPECT_EQ("INT", LevelCode("Intermediate"));
  for (const char* e : {"EXPERT", "", "ERROR"}) EXPECT_EQ("EXP", LevelCode(e));
  EXPECT_EQ("50", GainFieldText("050"));
  EXPECT_EQ("75", GainFieldText(" 75"));
  EXPECT_EQ("100", GainFieldText("100"));
  EXPECT_EQ("ERROR", GainFieldText("x5 "));
  EXPECT_EQ("ERROR", GainFieldText("   "));
}

TEST(PathHelpers, ResolveAndSplit) {
  const std::string game = "C:\\Games\\Foo", base = "C:\\Games\\Foo\\";
  struct Row {
    const char *in, *out;
  } rows[] = {
      {"cfg\\a.cfg", "C:\\Games\\Foo\\cfg\\a.cfg"},
      {".\\cfg\\a.cfg", "C:\\Games\\Foo\\cfg\\a.cfg"},
      {"..\\Bar\\b.ini", "C:\\Games\\Bar\\b.ini"},
      {"..\\..\\x.txt", "C:\\x.txt"},
      {"..\\..\\..\\x.txt", "ERROR"},
      {".\\..\\x.txt", "C:\\Games\\Foo\\..\\x.txt"},
      {"C:\\abs\\x.txt", "C:\\Games\\Foo\\C:\\abs\\x.txt"},
      {"", "C:\\Games\\Foo\\"},
  };
  for (const Row& r : rows) EXPECT_EQ(r.out, ResolveRelativePath(game, base, r.in)) << r.in;
  EXPECT_EQ("b.txt", GetFileOnly("C:\\a\\b.txt"));
  EXPECT_EQ("b.txt", GetFileOnly("b.txt"));
  EXPECT_EQ("", GetFileOnly("C:\\a\\"));
  EXPECT_EQ("C:\\a\\", GetPathOnly("C:\\a\\b.txt"));
  EXPECT_EQ("", GetPathOnly("b.txt"));
}

class Activation : public WorldFixture {
 protected:
  void SetUp() override { unit.debugList.SetDebugMode(true); }

  // Activates `profileText` (a whole profile) as if its game had been found;
  // false when the activation asks the program to stop (stop_ says how).
  bool Activate(const std::string& profileText, const std::string& name = "game.wyn") {
    sys.AddFile("C:\\Zeph\\wyn\\" + name, profileText);
    sys.log.clear();
    sys.runs.clear();
    desk.debugLines.clear();
    stop_.reset();
    EXPECT_TRUE(unit.activation.ActivateProfile("C:\\Zeph\\wyn\\" + name, "Game.EXE",
                                                "D:\\Games\\Game", 77, &stop_));
    return !stop_;
  }

  std::string Event(const std::string& section, const std::string& key) {
    return sys.IniValue("C:\\Zeph\\zephevent.ini", section, key);
  }

  ActivationUnit unit{sys.Seam(), desk};
  MaybeStop stop_;

  std::vector<std::string> ScriptRuns() {
    std::vector<std::string> lines;
    for (const auto& run : sys.runs)
      lines.push_back(run.substr(std::string("\"C:\\Zeph\\Zephcontrol.exe\" ").size()));
    return lines;
  }
};

TEST_F(Activation, LogsTellsTheCustomizerAndProgramsTheController) {
  ASSERT_TRUE(Activate(
      "[IDENTIFICATION]\r\nAPPLICATION_NAME=Game\r\n[TUNING]\r\nNULL_REGION_USER=4\r\n" + kMaps +
      "CURVE_0_USER=\r\nCURVE_1_USER=\r\nCURVE_2_USER=\r\nCURVE_3_USER=\r\n"
      "CURVE_4_USER=\r\nCURVE_5_USER=\r\n"));
  EXPECT_EQ((std::vector<std::string>{"Started watching: game.exe at 12:00:00",
                                      "Path: d:\\games\\game", "Process ID: 77"}),
            desk.debugLines);
  EXPECT_EQ(unit.debugList.Count() - 1, desk.selectedLine);
  EXPECT_EQ(std::vector<std::string>{"Game"}, unit.watch.started);
  EXPECT_EQ("game.wyn", sys.IniValue("C:\\Zeph\\zephcfg.ini", "Games", "Current"));
  // Six reset calls, then the script, line for line, each run on its own.
  std::vector<std::string> expected = {"--set-defaults",
                                       "--reset-sensitivity-curve 1",
                                       "--reset-sensitivity-curve 2",
                                       "--reset-sensitivity-curve 3",
                                       "--reset-sensitivity-curve 4",
                                       "--reset-sensitivity-curve 5"};
  std::vector<std::string> script = ScriptLines(sys.FileContents("C:\\Zeph\\active.zeph"));
  EXPECT_EQ(32u, script.size());
  expected.insert(expected.end(), script.begin(), script.end());
  EXPECT_EQ(expected, ScriptRuns());
  EXPECT_EQ("--set-null-region 4", script[7]);
  EXPECT_EQ("--set-gain 1 50", script[15]);
  EXPECT_EQ("--set-gain 5 100", script[19]);
  // The event utility is closed first and not started for this profile.
  EXPECT_EQ("close-window ZephEvent", LogOf("close-window").front());
  EXPECT_TRUE(LogOf("run \"C:\\Zeph\\ZephEvent.exe\"").empty());
}

TEST_F(Activation, MapOfWrongLengthAsksToStopWithItsBox) {
  struct Row {
    std::string maps;
    const char* text;
  } rows[] = {
      {"[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5}\r\n", "Axis Map Error14"},
      {"[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 } \"\"\r\n", "Axis Map Error18"},
      {"[THALIX]\r\n", "Axis Map Error5"},
      {"[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\n", "Polarity Map Error"},
      {"[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,+,+,+,+,+ }\r\n",
       "Gain Map Error"},
      {"[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,+,+,+,+,+ }\r\n"
       "GAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\n",
       "Sensitivity Map Error"},
  };
  for (const Row& r : rows) {
    sys.DropFile("C:\\Zeph\\zephevent.ini");
    sys.DropFile("C:\\Zeph\\active.zeph");
    EXPECT_FALSE(Activate(r.maps)) << r.text;
    // The box is the form's to show, before the closing sequence.
    EXPECT_TRUE(desk.boxes.empty());
    EXPECT_EQ(Stop::Way::Closing, stop_->way);
    ASSERT_TRUE(stop_->box) << r.text;
    EXPECT_EQ(r.text, stop_->box->text);
    EXPECT_EQ("Thalix Monitor", stop_->box->title);
    EXPECT_EQ(BoxIcon::Critical, stop_->box->icon);
    EXPECT_FALSE(sys.HasFile("C:\\Zeph\\zephevent.ini")) << r.text;
    EXPECT_FALSE(sys.HasFile("C:\\Zeph\\active.zeph")) << r.text;
    EXPECT_TRUE(sys.runs.empty()) << r.text;
    EXPECT_EQ("game.wyn", sys.IniValue("C:\\Zeph\\zephcfg.ini", "Games", "Current"));
  }
}

TEST_F(Activation, EventSettingsMouseAxesAndButtons) {
  ASSERT_TRUE(Activate(
      "[CONFIGURATION]\r\nUSE_KEYS=FALSE\r\n[TUNING]\r\nUSE_BUTTONS=true\r\n"
      "BUTTON_3_USER='north', 'south', 'east'\r\nBUTTON_4_USER='first', 'second'\r\n"
      "MOTION_ALIAS_0_POS_USER='a', 'b', 'LEFT'\r\nMOTION_ALIAS_2_NEG_USER='a', 'b', 'DOWN'\r\n"
      "MOTION_ALIAS_X=0\r\nMOTION_ALIAS_Y=1\r\n[ZEPHEVENT]\r\nDEADZONE_0_USER=12\r\n" +
      kMaps));
  EXPECT_EQ("12", Event("DEADZONE", "DEADZONE_0"));
  EXPECT_EQ("ERROR", Event("DEADZONE", "DEADZONE_1"));
  // The reader strips the quotes again; the raw file holds them.
  EXPECT_NE(std::string::npos,
            sys.FileContents("C:\\Zeph\\zephevent.ini").find("BUTTON_3=\"east\""));
  EXPECT_EQ("X", Event("MOTIONS", "MOTION_0_POS"));
  EXPECT_EQ("X", Event("MOTIONS", "MOTION_0_NEG"));
  EXPECT_EQ("Y", Event("MOTIONS", "MOTION_1_POS"));
  EXPECT_EQ("DOWN", Event("MOTIONS", "MOTION_2_NEG"));
  EXPECT_NE(std::string::npos,
            sys.FileContents("C:\\Zeph\\zephevent.ini").find("MOTION_3_POS=\"'\""));
  EXPECT_EQ("", Event("BUTTONS", "BUTTON_4"));  // a value that cannot be split: empty entry
  // The mouse mapping starts the event utility, without waiting.
  EXPECT_EQ(1u, LogOf("run \"C:\\Zeph\\ZephEvent.exe\"").size());

  // Next profile without buttons: the table of the last one is handed on;
  // the same axis for X and Y: Y wins; -1 and text are no axis.
  ASSERT_TRUE(Activate("[TUNING]\r\nMOTION_ALIAS_X=2\r\nMOTION_ALIAS_Y=2\r\n" + kMaps, "two.wyn"));
  EXPECT_EQ("east", Event("BUTTONS", "BUTTON_3"));
  EXPECT_EQ("Y", Event("MOTIONS", "MOTION_2_POS"));
  ASSERT_TRUE(
      Activate("[TUNING]\r\nMOTION_ALIAS_X=-1\r\nMOTION_ALIAS_Y=abc\r\n" + kMaps, "three.wyn"));
  EXPECT_TRUE(LogOf("run \"C:\\Zeph\\ZephEvent.exe\"").empty());
}

TEST_F(Activation, KeysFlagStartsTheEventUtility) {
  for (auto [keys, starts] : {std::pair{"TRUE", true},
                              {"true", true},
                              {"-1", true},
                              {"FALSE", false},
                              {"0", false},
                              {"maybe", false}}) {
    ASSERT_TRUE(Activate(std::string("[CONFIGURATION]\r\nUSE_KEYS=") + keys + "\r\n" + kMaps));
    EXPECT_EQ(starts, !LogOf("run \"C:\\Zeph\\ZephEvent.exe\"").empty()) << keys;
  }
}

TEST_F(Activation, ScriptThatCannotBeWrittenStillResetsAndRunsNoOldScript) {
  sys.AddFile("C:\\Zeph\\active.zeph", "--set-gain 0 999\r\n");  // the last game's
  sys.unwritable.push_back("C:\\Zeph\\active.zeph");
  ASSERT_TRUE(Activate(kMaps));
  EXPECT_FALSE(sys.HasFile("C:\\Zeph\\active.zeph"));
  EXPECT_EQ(
      (std::vector<std::string>{"--set-defaults", "--reset-sensitivity-curve 1",
                                "--reset-sensitivity-curve 2", "--reset-sensitivity-curve 3",
                                "--reset-sensitivity-curve 4", "--reset-sensitivity-curve 5"}),
      ScriptRuns());
  EXPECT_EQ("Error writing command script C:\\Zeph\\active.zeph: access denied (5)",
            desk.debugLines.back());
}

TEST_F(Activation, FailedControlCallsAreDebugLinesInDebugModeOnly) {
  sys.onRun = [](const std::string& line) {
    if (line.find("--set-defaults") != std::string::npos) return -1;  // cannot start
    return line.find("curve 2") != std::string::npos ? 2 : 0;         // refused
  };
  desk.debugLines.clear();
  unit.companions.ResetController();
  EXPECT_EQ(6u, sys.runs.size());
  EXPECT_EQ((std::vector<std::string>{
                "Error -1 running \"C:\\Zeph\\Zephcontrol.exe\" --set-defaults: not found (2)",
                "Error 2 running \"C:\\Zeph\\Zephcontrol.exe\" --reset-sensitivity-curve 2"}),
            desk.debugLines);
  unit.debugList.SetDebugMode(false);
  desk.debugLines.clear();
  unit.companions.ResetController();
  EXPECT_TRUE(desk.debugLines.empty());
}

TEST(CommandScript, Forms) {
  ProfileSettings s;
  s.axisMap = {"0", "1", "2", "3", "4", "5"};
  s.polarityMap = {"+", "+", "+", "+", "+", "+"};
  s.gainMap = {"1", "2", "3", "4", "5", "6", "70"};
  s.sensitivityMap = {"a", "b", "c", "d", "e", "f", "g"};
  s.nullRegion = "ERROR";
  s.curves = {"", ".\\curves\\a", "D:\\abs\\c", "ERROR", "", ""};
  s.master = true;
  s.chording = true;
  s.precision = true;
  s.precisionMode = "TOGGLE";
  s.precisionButton = "4";
  s.precisionSensitivity = "3";
  s.precisionGain = "9";
  std::vector<std::string> lines = BuildCommandScript(s, "C:\\Zeph");
  std::vector<std::string> expected = {"--reset-sensitivity-curve 0",
                                       "--reset-sensitivity-curve 1",
                                       "--reset-sensitivity-curve 2",
                                       "--reset-sensitivity-curve 3",
                                       "--reset-sensitivity-curve 4",
                                       "--reset-sensitivity-curve 5",
                                       "--upload-sensitivity-curve 1 \"C:\\Zeph\\curves\\a\"",
                                       "--upload-sensitivity-curve 2 \"D:\\abs\\c\"",
                                       "--upload-sensitivity-curve 3 \"ERROR\"",
                                       "--set-chording on",
                                       "--set-null-region ERROR",
                                       "--set-master-sensitivity g",
                                       "--set-master-gain 70",
                                       "--set-axis 0 0",
                                       "--set-axis 1 1",
                                       "--set-axis 2 2",
                                       "--set-axis 3 3",
                                       "--set-axis 4 4",
                                       "--set-axis 5 5",
                                       "--set-polarity 0 +",
                                       "--set-polarity 1 +",
                                       "--set-polarity 2 +",
                                       "--set-polarity 3 +",
                                       "--set-polarity 4 +",
                                       "--set-polarity 5 +",
                                       "--set-precision-button toggle 4",
                                       "--set-precision-sensitivity 3",
                                       "--set-precision-gain 9"};
  EXPECT_EQ(expected, lines);
  EXPECT_EQ("--set-axis 0 0\r\n--set-axis 1 1\r\n",
            ScriptText({"--set-axis 0 0", "--set-axis 1 1"}));

  // Held sideways: polarities first, slots 1/2 and 4/5 exchanged, axes at
  // positions 2 and 5 reversed.
  s.horizontal = true;
  lines = BuildCommandScript(s, "C:\\Zeph");
  std::vector<std::string> tail(lines.end() - 15, lines.end() - 3);
  EXPECT_EQ(
      (std::vector<std::string>{"--set-polarity 0 +", "--set-polarity 1 +", "--set-polarity 2 -",
                                "--set-polarity 3 +", "--set-polarity 4 +", "--set-polarity 5 -",
                                "--set-axis 0 0", "--set-axis 1 2", "--set-axis 2 1",
                                "--set-axis 3 3", "--set-axis 4 5", "--set-axis 5 4"}),
      tail);

  // A digit that names no axis: its axis line goes out, its polarity line does not.
  s.axisMap = {"7", "1", "2", "3", "4", "5"};
  lines = BuildCommandScript(s, "C:\\Zeph");
  EXPECT_EQ(0, std::count(lines.begin(), lines.end(), "--set-polarity 7 +"));
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "--set-axis 7 0"));
  EXPECT_EQ(5, std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
              return l.rfind("--set-polarity", 0) == 0;
            }));
}

TEST_F(Activation, ValuesThatWouldChangeTheArgumentsAreNotSent) {
  ASSERT_TRUE(Activate("[TUNING]\r\nNULL_REGION_USER=4 --set-defaults\r\n" + kMaps +
                       "CURVE_0_USER=soft.crv\" --set-defaults \"x\r\nCURVE_1_USER=C:\\c\\\r\n"
                       "CURVE_2_USER=C:\\My Curves\\b.crv\r\n"));
  std::vector<std::string> script = ScriptLines(sys.FileContents("C:\\Zeph\\active.zeph"));
  for (const std::string& line : script)
    EXPECT_EQ(std::string::npos, line.find("--set-defaults")) << line;
  // A blank inside the quotes is fine: it is one argument still.
  EXPECT_EQ(1, std::count(script.begin(), script.end(),
                          "--upload-sensitivity-curve 2 \"C:\\My Curves\\b.crv\""));
  EXPECT_EQ(3,
            std::count_if(desk.debugLines.begin(), desk.debugLines.end(), [](const std::string& l) {
              return l.rfind(
                         "Command not sent, a value would change its "
                         "arguments: ",
                         0) == 0;
            }));
  EXPECT_EQ(6u + script.size(), ScriptRuns().size());  // the rest went on
}

class GamePathsOnFakes : public WorldFixture {};

TEST_F(GamePathsOnFakes, BuildFoldersCreatesEachMissingFolder) {
  DebugList debugList(desk);
  GamePaths paths(sys.Seam().files, debugList);
  std::string path = "C:\\New\\Sub\\";
  paths.BuildFolders(path);
  EXPECT_EQ("C:\\New\\Sub", path);
  EXPECT_EQ((std::vector<std::string>{"mkdir C:\\New\\", "mkdir C:\\New\\Sub\\"}), LogOf("mkdir"));
  sys.log.clear();
  paths.BuildFolders(path);
  EXPECT_TRUE(LogOf("mkdir").empty());
  std::string none;
  paths.BuildFolders(none);
  EXPECT_EQ("Error 9 building path ", desk.debugLines.back());
}

// A path from the root of the system (a Linux path) builds each folder
// below the root, and not the root itself.
TEST_F(GamePathsOnFakes, BuildFoldersForAPathFromTheRoot) {
  DebugList debugList(desk);
  GamePaths paths(sys.Seam().files, debugList);
  const size_t lines = desk.debugLines.size();
  paths.BuildFoldersFor("\\games\\Racer\\notes.txt");
  EXPECT_EQ(lines, desk.debugLines.size());
  EXPECT_EQ((std::vector<std::string>{"mkdir \\games\\", "mkdir \\games\\Racer\\"}),
            LogOf("mkdir"));
}

}  // namespace
}  // namespace zeph::testing

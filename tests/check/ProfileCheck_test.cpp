// The check of a profile against what the monitor then really does with it:
// the same control-utility calls, and diffs that give the pass's changes
// byte for byte. Both on the fake; the check's own fake stays untouched.
#include "check/ProfileCheck.h"

#include <gtest/gtest.h>

#include "check/LineDiff.h"
#include "tests/unit/FormFixture.h"

namespace zeph::testing {
namespace {

const char* const kProfile = "C:\\Zeph\\wyn\\racer.wyn";
const char* const kGame = "D:\\Games\\Racer";

const std::string kBlocks =
    "COPY_FILES=TRUE\r\n{\r\n   'keys.cfg', 'cfg\\keys.cfg'\r\n   }\r\n"
    "CUSTOM=TRUE\r\n{\r\n"
    "   'a.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, 'set mouse 1'\\, ''\r\n"
    "   'a.cfg'\\, 'DELETE'\\, 'bind y'\\, '0'\\, ''\r\n"
    "   'a.cfg'\\, 'APPEND'\\, 'bind \xa7"
    "00; fire'\\, 'ALWAYS'\r\n"
    "   'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''\r\n"
    "   'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Racer'\\, 'Count'\\, '7'\\, ''\r\n"
    "   }\r\n"
    "[TUNING]\r\nUSE_BUTTONS=TRUE\r\nBUTTON_0_USER='MOUSE1', 'Trigger', 'mb1'\r\n"
    "[VERSION]\r\nFILE_REVISION_NUMBER=2\r\n";

void LayOut(FakeSystem& sys, const std::string& blocks) {
  sys.AddFile(kProfile, ProfileText("racer.exe", "Racer", blocks));
  sys.AddFolder("C:\\Zeph\\games");
  sys.AddFile("C:\\Zeph\\games\\keys.cfg", "keys\r\n");
  sys.AddFolder("D:\\Games");
  sys.AddFolder(kGame);
  sys.AddFile(std::string(kGame) + "\\a.cfg", "bind y 1\nset mouse 0\nkeep");
  sys.AddFile(std::string(kGame) + "\\game.ini", "[Input]\r\nMouse=1\r\n");
  sys.regValues["hklm\\software\\thalix\\kinetra\\checkattached"] = {1,
                                                                     {'F', 'a', 'l', 's', 'e', 0}};
}

CheckReport Check(FakeSystem& sys, bool configured = false, const char* game = kGame) {
  CheckOptions options;
  options.profile = kProfile;
  options.gameFolder = game;
  options.configured = configured;
  return CheckProfile(sys.Seam(), options);
}

// Every file's contents, and the registry, of a fake.
std::string State(FakeSystem& sys) {
  std::string state;
  for (const char* path :
       {"D:\\Games\\Racer\\a.cfg", "D:\\Games\\Racer\\game.ini", "D:\\Games\\Racer\\cfg\\keys.cfg",
        "D:\\Games\\Racer\\thalix.tlx", "C:\\Zeph\\active.zeph", "C:\\Zeph\\zephevent.ini"})
    state += std::string(path) + "=" + (sys.HasFile(path) ? sys.FileContents(path) : "-") + "\n";
  for (const auto& [path, value] : sys.regValues)
    state += path + "=" + std::string(value.second.begin(), value.second.end()) + "\n";
  return state;
}

TEST(ProfileCheck, TellsWhatTheMonitorThenDoesByteForByte) {
  FakeWorld checked;
  LayOut(checked.sys, kBlocks);
  const std::string untouched = State(checked.sys);
  const CheckReport report = Check(checked.sys);
  EXPECT_EQ(0, report.ExitStatus()) << ReportText(report);
  EXPECT_EQ(untouched, State(checked.sys));
  for (const std::string& entry : checked.sys.log) {
    EXPECT_TRUE(entry.rfind("write", 0) != 0 && entry.rfind("ini ", 0) != 0 &&
                entry.rfind("reg ", 0) != 0 && entry.rfind("run ", 0) != 0)
        << entry;
  }

  // The monitor itself: the game starts, runs a while and ends.
  FakeWorld real;
  LayOut(real.sys, kBlocks);
  MainForm form(real.sys.Seam(), real.desktop);
  real.sys.Seam().loop.SetCommands(&form);
  form.Form_Load();
  FakeSystem::Process game;
  game.id = 40;
  game.path = std::string(kGame) + "\\racer.exe";
  game.endMs = 800;
  real.sys.processes.push_back(game);
  real.sys.runs.clear();
  form.tmrMonitor_Timer();

  // The activation's calls, then the pass's reset.
  std::vector<std::string> expected = report.activation.controlCalls;
  std::vector<std::string> calls;
  for (const std::string& run : real.sys.runs)
    if (run.find("Zephcontrol.exe") != std::string::npos) calls.push_back(run);
  ASSERT_GT(calls.size(), expected.size());
  EXPECT_EQ(expected, std::vector<std::string>(calls.begin(), calls.begin() + expected.size()));
  EXPECT_EQ(report.activation.scriptLines.size() + 6, expected.size());

  // The diffs printed, applied in order, give the files the pass left.
  std::map<std::string, std::string> files;
  auto apply = [&](const std::vector<Effect>& effects) {
    for (const Effect& e : effects) {
      if (e.kind != Effect::Kind::FileWritten) continue;
      // The first write of a file starts from what the disk held.
      if (!files.count(e.path)) files[e.path] = e.before.value_or("");
      std::string& text = files[e.path];
      ASSERT_TRUE(ApplyUnifiedDiff(text, e.diff, &text)) << e.diff;
    }
  };
  apply(report.setup.copyEffects);
  for (const LineCheck& line : report.setup.lines) apply(line.effects);
  for (const char* name : {"a.cfg", "cfg\\keys.cfg"}) {
    const std::string path = std::string(kGame) + "\\" + name;
    ASSERT_TRUE(files.count(path)) << path;
    EXPECT_EQ(real.sys.FileContents(path), files[path]) << path;
  }
  EXPECT_EQ("bind MOUSE1 fire", report.setup.lines[2].entry[2]);
  // INI and registry: the values after, as the monitor left them.
  const Effect& ini = report.setup.lines[3].effects.at(0);
  EXPECT_EQ("1", ini.before.value_or("(missing)"));
  EXPECT_EQ(real.sys.IniValue(std::string(kGame) + "\\game.ini", "Input", "Mouse"), ini.after);
  const Effect& reg = report.setup.lines[4].effects.at(0);
  EXPECT_FALSE(reg.oldValue.has_value());
  EXPECT_EQ(real.sys.regValues.at("hkcu\\software\\racer\\count").second, reg.newValue->data);
  EXPECT_TRUE(report.setup.passed);
  ASSERT_EQ(1u, report.setup.boxes.size());
  EXPECT_EQ("Racer has been configured for use with the Thalix.", report.setup.boxes[0].text);
}

// For a game in a Wine prefix the pass's registry values are the prefix's,
// read from it and named with it, and a path that names a drive is found in
// the prefix; neither the prefix's values nor the system's are written.
TEST(ProfileCheck, AGameInAWinePrefix) {
  FakeSystem sys;
  sys.reachesWine = true;
  LayOut(sys,
         "CUSTOM=TRUE\r\n{\r\n"
         "   'C:\\users\\pad.ini'\\, 'INI'\\, 'Pad'\\, 'On'\\, '1'\\, ''\r\n"
         "   'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Racer'\\, 'Count'\\, '7'\\, ''\r\n"
         "   }\r\n[VERSION]\r\nFILE_REVISION_NUMBER=2\r\n");
  for (const char* folder : {"D:\\pfx", "D:\\pfx\\drive_c", "D:\\pfx\\drive_c\\users"})
    sys.AddFolder(folder);
  sys.regValues["D:\\pfx|hkcu\\software\\racer\\count"] = {kRegDword, {3, 0, 0, 0}};
  const auto values = sys.regValues;
  CheckOptions options;
  options.profile = kProfile;
  options.gameFolder = kGame;
  options.winePrefix = "D:\\pfx";
  const CheckReport report = CheckProfile(sys.Seam(), options);
  ASSERT_TRUE(report.setup.passed) << ReportText(report);
  std::vector<const Effect*> effects;
  for (const LineCheck& line : report.setup.lines)
    for (const Effect& e : line.effects) effects.push_back(&e);
  ASSERT_EQ(3u, effects.size()) << ReportText(report);  // the INI file made, its value, the DWORD
  EXPECT_EQ(Effect::Kind::IniWritten, effects[1]->kind);
  EXPECT_EQ("D:\\pfx\\drive_c\\users\\pad.ini", effects[1]->path);
  const Effect& reg = *effects[2];
  EXPECT_EQ(Effect::Kind::RegistrySet, reg.kind);
  EXPECT_EQ("D:\\pfx", reg.winePrefix);
  EXPECT_EQ((RegData{kRegDword, {3, 0, 0, 0}}), reg.oldValue);
  EXPECT_EQ((RegData{kRegDword, {7, 0, 0, 0}}), reg.newValue);
  EXPECT_NE(std::string::npos, ReportText(report).find("\"Count\" in the Wine prefix D:\\pfx: "));
  EXPECT_NE(std::string::npos, ReportJson(report).find("\"winePrefix\""));
  EXPECT_EQ(values, sys.regValues);
}

TEST(ProfileCheck, ConfiguredRunsOnlyTheAlwaysLines) {
  FakeWorld w;
  LayOut(w.sys, kBlocks);
  const CheckReport report = Check(w.sys, true);
  std::vector<bool> runs;
  for (const LineCheck& line : report.setup.lines) runs.push_back(line.runs);
  EXPECT_EQ((std::vector<bool>{false, false, true, false, false}), runs);
  EXPECT_TRUE(report.setup.boxes.empty());  // set up already: no box
  EXPECT_EQ(0, report.ExitStatus());
}

// Each row: a profile that the monitor would end with, fail on or take
// otherwise than its author meant; the problem the check names for it.
TEST(ProfileCheck, ProblemsTheAuthorLikelyDidNotMean) {
  struct Row {
    const char* name;
    std::string blocks;
    std::string executable;
    const char* problem;  // a part of the problem line
  } rows[] = {
      {"unknown command word",
       "CUSTOM=TRUE\r\n{\r\n   'a.cfg'\\, 'MODIFI'\\, 'x'\\, 'y'\\, ''\r\n   }\r\n", "racer.exe",
       "the command word \"MODIFI\" is unknown"},
      {"empty line", "CUSTOM=TRUE\r\n{\r\n\r\n   'a.cfg'\\, 'APPEND'\\, 'x'\\, ''\r\n   }\r\n",
       "racer.exe", "custom line 1 is empty and ends the custom block"},
      {"placeholder out of range",
       "CUSTOM=TRUE\r\n{\r\n   'a.cfg'\\, 'APPEND'\\, 'bind ^16; x'\\, ''\r\n   }\r\n", "racer.exe",
       "the placeholder \"^16;\" names no button or motion"},
      {"missing source", "COPY_FILES=TRUE\r\n{\r\n   'none.cfg', 'x.cfg'\r\n   }\r\n", "racer.exe",
       "the copy source C:\\Zeph\\games\\none.cfg is missing"},
      {"source outside the games folder",
       "COPY_FILES=TRUE\r\n{\r\n   '..\\zephmon.ini', 'x.cfg'\r\n   }\r\n", "racer.exe",
       "the copy source C:\\Zeph\\games\\..\\zephmon.ini is a path that climbs out of it, "
       "outside the program's games folder"},
      {"a failing operation",
       "CUSTOM=TRUE\r\n{\r\n   'a.cfg'\\, 'INI'\\, 'S'\\, 'k'\\, 'v'\\, ''\\, 'extra'\r\n   }\r\n",
       "racer.exe", "Copy/Custom section error 104"},
      {"no executable", "", "", "EXECUTABLE is \"\""},
  };
  for (const Row& row : rows) {
    FakeWorld w;
    LayOut(w.sys, "");
    w.sys.AddFile(kProfile, ProfileText(row.executable, "Racer", row.blocks));
    const CheckReport report = Check(w.sys);
    EXPECT_EQ(1, report.ExitStatus()) << row.name;
    std::string all;
    for (const std::string& p : report.problems) all += p + "\n";
    EXPECT_NE(std::string::npos, all.find(row.problem)) << row.name << ":\n" << all;
  }
}

// The check of a usable profile with one text in it changed to another.
CheckReport CheckEdited(const std::string& from, const std::string& to) {
  FakeWorld w;
  LayOut(w.sys, "");
  std::string text = ProfileText("racer.exe", "Racer", "");
  text.replace(text.find(from), from.size(), to);
  w.sys.AddFile(kProfile, text);
  return Check(w.sys);
}

TEST(ProfileCheck, AMapErrorIsTheBoxTheMonitorEndsOn) {
  const CheckReport report = CheckEdited("{ 0,1,2,3,4,5 }", "{ 0,1,2 }");
  ASSERT_TRUE(report.activation.endBox.has_value());
  EXPECT_EQ("Axis Map Error9", report.activation.endBox->text);
  EXPECT_EQ(1, report.ExitStatus());
  EXPECT_TRUE(report.setup.lines.empty());  // the monitor has ended by then
}

TEST(ProfileCheck, AHiddenProfileIsNoMistake) {
  const CheckReport report = CheckEdited("HIDE_FILE=FALSE", "HIDE_FILE=TRUE");
  EXPECT_FALSE(report.watch.used);
  EXPECT_EQ("HIDE_FILE", report.watch.failedTest);
  EXPECT_EQ(0, report.ExitStatus());
}

TEST(ProfileCheck, WithoutAGameFolderThePassRunsOnAnEmptyOne) {
  FakeWorld w;
  LayOut(w.sys, kBlocks);
  const CheckReport report = Check(w.sys, false, "");
  EXPECT_TRUE(report.setup.emptyGameFolder);
  // Nothing to edit there: the edits change nothing, APPEND creates its file.
  EXPECT_TRUE(report.setup.lines[0].effects.empty());
  ASSERT_EQ(1u, report.setup.lines[2].effects.size());
  EXPECT_FALSE(report.setup.lines[2].effects[0].existed);
  EXPECT_FALSE(w.sys.HasFile(report.setup.gameFolder + "\\a.cfg"));
}

TEST(ProfileCheck, JsonCarriesTheReport) {
  FakeWorld w;
  LayOut(w.sys, kBlocks);
  const std::string json = ReportJson(Check(w.sys));
  EXPECT_EQ('{', json.front());
  EXPECT_NE(std::string::npos, json.find("\"exitStatus\":0"));
  EXPECT_NE(std::string::npos, json.find("\"executables\":[\"racer.exe\"]"));
  EXPECT_NE(std::string::npos,
            json.find("\"fields\":[\"a.cfg\",\"APPEND\",\"bind MOUSE1 fire\",\"ALWAYS\"]"));
}

// Profiles and game files are other people's text: what they hold must not
// drive the terminal the report is printed on, yet stay visible.
TEST(ProfileCheck, ControlBytesAreShownEscaped) {
  FakeWorld w;
  LayOut(
      w.sys,
      "CUSTOM=TRUE\r\n{\r\n   'a.cfg'\\, 'APPEND'\\, 'bind \x1b[2J\x7f'\\, 'ALWAYS'\r\n   }\r\n");
  w.sys.AddFile(std::string(kGame) + "\\a.cfg",
                "name \x1b]0;owned\x07 caf\xe9\r\nset\tmouse 0\rhidden\n");
  const CheckReport report = Check(w.sys);

  const std::string text = ReportText(report);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool lineEnd = c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
    EXPECT_TRUE(lineEnd || (c >= 0x20 && c != 0x7f)) << "byte " << int(c) << " at " << i << " of:\n"
                                                     << text;
  }
  for (const char* shown :
       {"'a.cfg'\\, 'APPEND'\\, 'bind \\x1b[2J\\x7f'\\, 'ALWAYS'\n", "+bind \\x1b[2J\\x7f\r\n",
        " name \\x1b]0;owned\\x07 caf\xe9\r\n", " set\\x09mouse 0\\x0dhidden\n",
        "file changed: D:\\Games\\Racer\\a.cfg\n"})
    EXPECT_NE(std::string::npos, text.find(shown)) << shown << " in:\n" << text;

  const std::string json = ReportJson(report);
  EXPECT_EQ(std::string::npos, json.find_first_of(std::string("\x1b\x07\x7f\t\r", 5)));
  EXPECT_NE(std::string::npos, json.find("\"bind \\u001b[2J\\u007f\""));
  EXPECT_NE(std::string::npos, json.find("name \\u001b]0;owned\\u0007 caf\xc3\xa9\\r\\n"));
}

}  // namespace
}  // namespace zeph::testing

// End-to-end scenarios: the real monitor in a temporary program folder, with
// real profiles, a real settings file and stand-in game processes. The same
// scenarios run on Linux and, as Windows programs, under Wine.
#include "Scenario.h"

#include <algorithm>
#include <cstdlib>

#include "check/LineDiff.h"

namespace zeph::e2e {
namespace {

TEST_F(Scenario, StartUpRecordsVersionAndBuildsTheWatchList) {
  Profile("plain.wyn", "plain.exe");
  Profile("quoted.wyn", "\"quoted.exe\"");
  Profile("list.wyn", "\"a.exe\", \"b.exe\",\"c.exe\"");
  Profile("stop.wyn", "\"d.exe\",\"\",\"e.exe\"");
  Profile("bare.wyn", "f.exe,g.exe");
  Spill(Folder() / "wyn" / "readme.txt",
        "[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=x.exe\r\n");
  int copy = StartMonitoring();
  auto lines = h->DebugLines(copy);
  std::vector<std::string> entries;
  for (const auto& l : lines)
    if (l.find(".wyn - ") != std::string::npos) entries.push_back(l);
  std::sort(entries.begin(), entries.end());  // folder listing order is the platform's
  EXPECT_EQ(
      (std::vector<std::string>{"bare.wyn - .exe", "bare.wyn - f.ex", "list.wyn - a.exe",
                                "list.wyn - b.exe", "list.wyn - c.exe", "plain.wyn - plain.exe",
                                "quoted.wyn - quoted.exe", "stop.wyn - d.exe"}),
      entries);
  EXPECT_EQ("Building watch list...", lines.at(0));
  EXPECT_EQ("--------", lines.at(1));
  int summary = LineIndex(copy, "Successfully added");
  EXPECT_EQ("Successfully added 8 items to the watch list.", lines.at(summary));
  EXPECT_EQ("--------", lines.at(summary - 1));
  EXPECT_EQ("5.10", h->MachineString(kProductKey, "Version"));
  EXPECT_EQ("5.1", ini::GetString(Slurp(SettingsFile()), "VERSION", "VERSION", "ERROR", 255));
  EXPECT_TRUE(h->IsRunning(copy));
}

TEST_F(Scenario, MissingOrEmptyProfileFolder) {
  fs::remove_all(Folder() / "wyn");
  int copy = h->StartMonitor("");
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 10000, &box));
  EXPECT_EQ("Critical Error", box.title);
  EXPECT_TRUE(StartsWith(box.text, "Configuration file folder ")) << box.text;
  EXPECT_TRUE(EndsWith(box.text, "wyn\\ not found.")) << box.text;
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_FALSE(fs::exists(SettingsFile()));

  fs::create_directories(Folder() / "wyn");
  Spill(Folder() / "wyn" / "hidden.wyn",
        "[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nHIDE_FILE=TRUE\r\nEXECUTABLE=x.exe\r\n");
  copy = h->StartMonitor("");
  ASSERT_TRUE(h->NextMessageBox(copy, 10000, &box));
  EXPECT_EQ("Critical Error", box.title);
  EXPECT_TRUE(StartsWith(box.text, "No configuration files found in folder ")) << box.text;
  EXPECT_TRUE(EndsWith(box.text, "wyn\\")) << box.text;
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());  // the closing sequence emptied it
}

TEST_F(Scenario, KillOptionStopsTheRunningCopyAndASecondCopyEndsSilently) {
  Profile("racer.wyn", Racer());
  int first = StartMonitoring();
  int second = h->StartMonitor("");
  EXPECT_TRUE(h->WaitForExit(second, 10000));
  BoxSeen box;
  EXPECT_FALSE(h->NextMessageBox(second, 200, &box)) << box.title;
  EXPECT_TRUE(h->IsRunning(first));
  EXPECT_EQ("ACTIVE", Mode());

  int killer = h->StartMonitor("-k");
  EXPECT_TRUE(h->WaitForExit(killer, 10000));
  EXPECT_TRUE(h->WaitForExit(first, 10000));
  EXPECT_EQ("", Mode());
}

TEST_F(Scenario, GameInOtherLetterCaseIsFoundAndItsEndNoticed) {
  Profile("racer.wyn", Racer(), "Racer");
  int copy = StartMonitoring();
  int game = h->StartGame("games/Racer Game/" + ToUpper(Racer()));
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer() + " at "));
  // The three lines are written one by one: the last may come a moment later.
  ASSERT_TRUE(WaitForLine(copy, "Process ID: "));
  int started = LineIndex(copy, "Started watching: ");
  auto lines = h->DebugLines(copy);
  ASSERT_GT(static_cast<int>(lines.size()), started + 2);
  EXPECT_TRUE(StartsWith(lines[started + 1], "Path: ")) << lines[started + 1];
  EXPECT_TRUE(EndsWith(lines[started + 1], "games\\racer game")) << lines[started + 1];
  EXPECT_TRUE(StartsWith(lines[started + 2], "Process ID: ")) << lines[started + 2];
  h->StopGame(game);
  ASSERT_TRUE(WaitForLine(copy, "Stopped watching: " + ToUpper(Racer()) + " at "));
  EXPECT_TRUE(h->IsRunning(copy));
}

TEST_F(Scenario, TwoOverlappingGamesChainWithOneEndOfGamePass) {
  Profile("racer.wyn", Racer(), "Racer");
  Profile("flyer.wyn", Flyer(), "Flyer");
  int copy = StartMonitoring();
  int racer = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  int flyer = h->StartGame("games/Flyer/" + Flyer());
  // While it waits on a game the monitor lists nothing; a second game
  // would show up within a tick if it did.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(-1, LineIndex(copy, "Started watching: " + Flyer()));
  h->StopGame(racer);
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Flyer()));
  EXPECT_EQ(0, CountLines(copy, "Stopped watching: "));
  h->StopGame(flyer);
  ASSERT_TRUE(WaitForLine(copy, "Stopped watching: " + Flyer()));
  WaitForTicks(2);
  EXPECT_EQ(1, CountLines(copy, "Stopped watching: "));
}

TEST_F(Scenario, SuspendAndResumeThroughTheSettingsFile) {
  Profile("racer.wyn", Racer());
  int copy = StartMonitoring();
  WriteMode("suspend");
  ASSERT_TRUE(WaitForLine(copy, "Monitoring suspended at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "SUSPEND"; }));
  // A game started while suspended is not watched.
  int game = h->StartGame("games/Racer/" + Racer());
  WaitForTicks(2, 2500);
  EXPECT_EQ(-1, LineIndex(copy, "Started watching: "));
  Profile("flyer.wyn", Flyer());
  WriteMode("Active");
  ASSERT_TRUE(WaitForLine(copy, "Monitoring resumed at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));
  EXPECT_TRUE(WaitForLine(copy, "flyer.wyn - " + Flyer()));  // the rebuilt watch list
  EXPECT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  h->StopGame(game);
}

TEST_F(Scenario, SuspendButtonWhileAGameRunsDropsIt) {
  Profile("racer.wyn", Racer());
  int copy = StartMonitoring();
  int game = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  h->PressSuspend(copy);
  ASSERT_TRUE(WaitForLine(copy, "Monitoring suspended at "));
  EXPECT_TRUE(WaitFor([&] { return Mode() == "SUSPEND"; }));
  h->StopGame(game);
  WaitForTicks(1, 2500);
  EXPECT_EQ(-1, LineIndex(copy, "Stopped watching: "));  // no end-of-game pass
}

TEST_F(Scenario, SettingsFileDeletedWhileRunningEndsTheProgram) {
  Profile("racer.wyn", Racer());
  int copy = StartMonitoring();
  fs::remove(SettingsFile());
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());  // written back empty on the way out
}

TEST_F(Scenario, ExitCloseAndHangUpRunTheClosingSequence) {
  Profile("racer.wyn", Racer());
  int copy = StartMonitoring();
  h->PressExit(copy);
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());

  int again = StartMonitoring();
  h->CloseMainWindow(again);
  EXPECT_TRUE(h->WaitForExit(again, 10000));
  EXPECT_EQ("", Mode());
#ifndef _WIN32
  int terminal = StartMonitoring();  // a closed terminal: HUP
  h->HangUp(terminal);
  EXPECT_TRUE(h->WaitForExit(terminal, 10000));
  EXPECT_EQ("", Mode());
#endif
}

TEST_F(Scenario, DebugWindowOnlyInDebugMode) {
  Profile("racer.wyn", Racer());
  int hidden = h->StartMonitor("");
  // "ACTIVE" is written after the window has been shown or left hidden.
  ASSERT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));
  EXPECT_FALSE(h->HasVisibleWindow(hidden));
  h->PressExit(hidden);
  ASSERT_TRUE(h->WaitForExit(hidden, 10000));
#ifdef _WIN32
  int shown = StartMonitoring("-d");
  EXPECT_TRUE(h->HasVisibleWindow(shown));
#endif
}

TEST_F(Scenario, AttachedReminderIsShownUntilSwitchedOff) {
  Profile("racer.wyn", Racer());
  h->SetMachineString(kProductKey, "CheckAttached", "True");
  int copy = h->StartMonitor("");
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 10000, &box));
  EXPECT_EQ(" Thalix Not Found", box.title);
  EXPECT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));  // start-up goes on
  h->PressExit(copy);
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  h->SetMachineString(kProductKey, "CheckAttached", "False");
}

TEST_F(Scenario, ProfileGoneWhenItsGameStartsIsOneLineAndTheMonitorGoesOn) {
  Profile("racer.wyn", Racer());
  Profile("flyer.wyn", Flyer());
  int copy = StartMonitoring();
  fs::remove(Folder() / "wyn" / "racer.wyn");
  int game = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Error reading profile "));
  EXPECT_EQ(-1, LineIndex(copy, "Started watching: "));
  int other = h->StartGame("games/Flyer/" + Flyer());
  EXPECT_TRUE(WaitForLine(copy, "Started watching: " + Flyer()));
  EXPECT_EQ(1, CountLines(copy, "Error reading profile "));  // not again at every tick
  h->StopGame(other);
  h->StopGame(game);
}

}  // namespace
}  // namespace zeph::e2e

// --- activation with our stand-in companion programs

namespace zeph::e2e {
namespace {

// The program folder has a blank in its path and a program at the prefix
// before it: every companion still runs, and the planted program never.
TEST_F(ActivationScenario, GameStartProgramsTheControllerAndItsEndResetsIt) {
  Profile("racer.wyn", Racer(), "Racer",
          // Only the first TUNING section counts: it carries the null region too.
          "USE_KEYS=FALSE\r\n[TUNING]\r\nNULL_REGION_USER=10\r\nMOTION_ALIAS_X=0\r\n"
          "USE_BUTTONS=TRUE\r\n"
          "BUTTON_3_USER='north', 'south', 'east'\r\n");
  int copy = StartMonitoring();
  int game = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 38; }, 30000));

  std::string script = Slurp(Folder() / "active.zeph");
  std::vector<std::string> lines;
  for (size_t start = 0, nl; (nl = script.find("\r\n", start)) != std::string::npos; start = nl + 2)
    lines.push_back(script.substr(start, nl - start));
  ASSERT_EQ(32u, lines.size()) << script;
  EXPECT_EQ("--set-null-region 10", lines[7]);
  std::vector<std::string> expected = kResetCalls;
  expected.insert(expected.end(), lines.begin(), lines.end());
  EXPECT_EQ(expected, Calls());

  // What the stand-in controller now holds.
  EXPECT_EQ("10", State("NullRegion"));
  EXPECT_EQ("50", State("Gain1"));
  EXPECT_EQ("-", State("Polarity1"));
  EXPECT_EQ("6", State("Sensitivity5"));
  EXPECT_EQ("off", State("Chording"));

  std::string cfg = Slurp(Folder() / "zephcfg.ini");
  EXPECT_EQ("racer.wyn", ini::GetString(cfg, "Games", "Current", "ERROR", 255));
  std::string events = Slurp(Folder() / "zephevent.ini");
  EXPECT_NE(std::string::npos, events.find("MOTION_0_POS=\"X\"")) << events;
  EXPECT_NE(std::string::npos, events.find("BUTTON_3=\"east\"")) << events;
  // The mouse mapping started the event utility, which read its settings.
  ASSERT_TRUE(WaitFor([&] { return EventLogHas("BUTTON_3=east"); }))
      << Slurp(Folder() / "zephevent.log");

  h->StopGame(game);
  ASSERT_TRUE(WaitForLine(copy, "Stopped watching: " + Racer()));
  // The end of the game closes the event utility and resets the controller.
  EXPECT_TRUE(WaitFor([&] { return EventLogHas("closed"); }));
  ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 44; }, 20000));
  std::vector<std::string> calls = Calls();
  EXPECT_EQ(kResetCalls, std::vector<std::string>(calls.end() - 6, calls.end()));
  EXPECT_EQ("0", State("NullRegion"));
  EXPECT_TRUE(h->IsRunning(copy));
  EXPECT_FALSE(h->PlantedProgramRan());
}

TEST_F(ActivationScenario, MapOfWrongLengthEndsTheProgramAfterItsBox) {
  Profile("racer.wyn", Racer(), "Racer");
  std::string text = Slurp(Folder() / "wyn" / "racer.wyn");
  text.replace(text.find("{ 0,1,2,3,4,5 }"), 15, "{ 0,1,2,3,4,5}");
  Spill(Folder() / "wyn" / "racer.wyn", text);
  int copy = StartMonitoring();
  h->StartGame("games/Racer/" + Racer());
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 20000, &box));
  EXPECT_EQ("Thalix Monitor", box.title);
  EXPECT_EQ("Axis Map Error14", box.text);
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());
  EXPECT_FALSE(fs::exists(Folder() / "active.zeph"));
  EXPECT_FALSE(fs::exists(Folder() / "zephevent.ini"));
  EXPECT_EQ("racer.wyn",
            ini::GetString(Slurp(Folder() / "zephcfg.ini"), "Games", "Current", "ERROR", 255));
}

#ifndef _WIN32
// Closing the terminal runs the closing sequence: the event utility of the
// game is not left running, orphaned, and the mode says the monitor is gone.
TEST_F(ActivationScenario, HangUpDuringAGameClosesTheEventUtility) {
  Profile("racer.wyn", Racer(), "Racer", "USE_KEYS=TRUE\r\n");
  int copy = StartMonitoring();
  int game = h->StartGame("games/Racer/" + Racer());
  ASSERT_TRUE(WaitFor([&] { return EventLogHas("BUTTON_15="); }, 30000));
  h->HangUp(copy);
  EXPECT_TRUE(h->WaitForExit(copy, 10000));
  EXPECT_EQ("", Mode());
  EXPECT_TRUE(WaitFor([&] { return EventLogHas("closed"); }));
  h->StopGame(game);
}
#endif

}  // namespace
}  // namespace zeph::e2e

// --- the set-up pass at the end of a game, on real files

namespace zeph::e2e {
namespace {

class SetupScenario : public Scenario {
 protected:
  fs::path GameDir() { return Folder() / "games" / "Racer"; }

  // A profile for Racer() with the given revision and the lines of its two blocks.
  void SetupProfile(const std::string& revision, const std::vector<std::string>& copyLines,
                    const std::vector<std::string>& customLines) {
    std::string text =
        "[IDENTIFICATION]\r\nAPPLICATION_NAME=Racer\r\n[VERSION]\r\nVERSION=6.1\r\n"
        "FILE_REVISION_NUMBER=" +
        revision + "\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=" + Racer() +
        "\r\nCOPY_FILES=TRUE\r\n{\r\n";
    for (const auto& line : copyLines) text += "   " + line + "\r\n";
    text += "   }\r\nCUSTOM=TRUE\r\n{\r\n";
    for (const auto& line : customLines) text += "   " + line + "\r\n";
    Spill(Folder() / "wyn" / "racer.wyn", text + "   }\r\n" + kTuning);
  }

  // Starts and stops the game once; the copy's debug lines from then on start at the result.
  int PlayOnce(int copy) {
    const int from = static_cast<int>(h->DebugLines(copy).size());
    const int game = h->StartGame("games/Racer/" + Racer());
    EXPECT_TRUE(WaitForLine(copy, "Started watching: " + Racer(), from));
    h->StopGame(game);
    EXPECT_TRUE(WaitForLine(copy, "Stopped watching: " + Racer(), from));
    return from;
  }

  std::string Marker(const std::string& section, const std::string& key) {
    return ini::GetString(Slurp(GameDir() / "thalix.tlx"), section, key, "ERROR", 255);
  }

  // The names in the game folder, sorted.
  std::vector<std::string> GameFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(GameDir()))
      if (entry.is_regular_file())
        names.push_back(fs::relative(entry.path(), GameDir()).generic_string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

const char* const kConfig = "mouse=0\r\njoystick on\r\nquality=low\r\n";

TEST_F(SetupScenario, GameEndsSetUpTheInstallationOncePerRevision) {
  const std::string regKey = "Software\\" + h->Exe("settings");
  SetupProfile("9", {"'racer-keys.cfg', 'cfg\\keys.cfg'"},
               {"'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''",
                "'config.cfg'\\, 'DELETE'\\, 'JOYSTICK'\\, '2'\\, ''",
                "'config.cfg'\\, 'REPLACE'\\, 'low'\\, 'high'\\, ''",
                "'racer.ini'\\, 'INI'\\, 'Input'\\, 'Device'\\, 'ball'\\, ''",
                "'STRING'\\, 'REGISTRY'\\, 'HKLM\\" + regKey + "'\\, 'Mode'\\, 'ball'\\, ''",
                "'autoexec.cfg'\\, 'APPEND'\\, 'bind x jump'\\, 'ALWAYS'"});
  Spill(Folder() / "games" / "racer-keys.cfg", "keys v1\r\n");
  fs::create_directories(GameDir());
  Spill(GameDir() / "config.cfg", kConfig);
  Spill(GameDir() / "racer.ini", "[Input]\r\nDevice=mouse\r\n");
  const int copy = StartMonitoring();

  // First end: every entry runs, the marker is written and the user told.
  const int from = PlayOnce(copy);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));
  EXPECT_EQ("Thalix", box.title);
  EXPECT_EQ("Racer has been configured for use with the Thalix.", box.text);
  EXPECT_EQ("keys v1\r\n", Slurp(GameDir() / "cfg" / "keys.cfg"));
  EXPECT_EQ("mouse=1\r\nquality=high\r\n", Slurp(GameDir() / "config.cfg"));
  EXPECT_EQ("[Input]\r\nDevice=ball\r\n", Slurp(GameDir() / "racer.ini"));
  EXPECT_EQ("ball", h->MachineString(regKey, "Mode"));
  EXPECT_EQ("bind x jump\r\n", Slurp(GameDir() / "autoexec.cfg"));
  EXPECT_EQ("5.1", Marker("Thalix", "Version"));
  EXPECT_EQ("racer.wyn", Marker("Games", "WYN"));
  EXPECT_EQ("9", Marker("Games", "Revision"));
  EXPECT_GE(LineIndex(copy, "config.cfg, MODIFY, mouse=%, mouse=1, ", from), 0);
  EXPECT_GE(LineIndex(copy, "Copying racer-keys.cfg to ", from), 0);
  std::vector<std::string> expected{"autoexec.cfg", "cfg/keys.cfg", "config.cfg",
                                    "racer.ini",    "thalix.tlx",   Racer()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, GameFiles());

  // Second end: the copy and the ALWAYS entry run again, nothing else, no box.
  Spill(GameDir() / "config.cfg", kConfig);
  Spill(GameDir() / "cfg" / "keys.cfg", "the game's own keys\r\n");
  fs::remove(GameDir() / "autoexec.cfg");
  PlayOnce(copy);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(GameDir() / "autoexec.cfg"); }, 20000));
  EXPECT_FALSE(h->NextMessageBox(copy, 1500, &box)) << box.text;
  EXPECT_EQ("keys v1\r\n", Slurp(GameDir() / "cfg" / "keys.cfg"));
  EXPECT_EQ(kConfig, Slurp(GameDir() / "config.cfg"));

  // Revision 9 raised to 10 (newer, as a number): everything runs again.
  SetupProfile("10", {"'racer-keys.cfg', 'cfg\\keys.cfg'"},
               {"'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=2'\\, ''"});
  PlayOnce(copy);
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));
  EXPECT_EQ("mouse=2\r\njoystick on\r\nquality=low\r\n", Slurp(GameDir() / "config.cfg"));
  EXPECT_EQ("10", Marker("Games", "Revision"));
}

// A target the monitor may not replace: the entry fails with the system's
// code, the file stays byte for byte, and nothing is left beside it.
TEST_F(SetupScenario, ATargetThatCannotBeReplacedStaysAsItWas) {
  SetupProfile("1", {}, {"'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''"});
  // Not closed by its end line or by CR LF: read all the same, kept as it is.
  const std::string original = "mouse=0\nquality=low";
  fs::create_directories(GameDir());
  Spill(GameDir() / "config.cfg", original);
  std::string why;
  if (!h->ProtectFile((GameDir() / "config.cfg").string(), &why)) GTEST_SKIP() << why;
  const int copy = StartMonitoring();
  const int from = PlayOnce(copy);
  ASSERT_TRUE(WaitForLine(copy, "Copy/Custom section error 888", from));
  std::string line, reason;
  const std::vector<std::string> lines = h->DebugLines(copy);
  for (size_t i = static_cast<size_t>(from); i + 1 < lines.size(); ++i)
    if (EndsWith(lines[i], " modifying mouse=%")) {
      line = lines[i];
      reason = lines[i + 1];
    }
  EXPECT_EQ(0u, line.rfind("Error ", 0)) << line;
  EXPECT_NE("Error 0 modifying mouse=%", line);
  // The next line names the file and the system's reason, with its code.
  EXPECT_NE(std::string::npos, reason.find("config.cfg: ")) << reason;
  EXPECT_NE(std::string::npos, reason.find("(" + line.substr(6, line.find(' ', 6) - 6) + ")"))
      << reason;
  EXPECT_EQ(original, Slurp(GameDir() / "config.cfg"));
  EXPECT_EQ((std::vector<std::string>{"config.cfg", Racer()}), GameFiles());
  BoxSeen box;
  EXPECT_FALSE(h->NextMessageBox(copy, 500, &box));
}

}  // namespace
}  // namespace zeph::e2e

// --- the check tool on the same folders, before the game runs

namespace zeph::e2e {
namespace {

// The JSON string that starts at json[at] (its opening quote), unescaped;
// at ends past its closing quote.
std::string JsonStringAt(const std::string& json, size_t* at) {
  std::string value;
  for (++*at; *at < json.size() && json[*at] != '"'; ++*at) {
    if (json[*at] != '\\') {
      value += json[*at];
      continue;
    }
    const char c = json[++*at];
    if (c == 'n') {
      value += '\n';
    } else if (c == 'r') {
      value += '\r';
    } else if (c == 't') {
      value += '\t';
    } else if (c == 'u') {
      value += static_cast<char>(std::stoi(json.substr(*at + 1, 4), nullptr, 16));
      *at += 4;
    } else {
      value += c;
    }
  }
  ++*at;
  return value;
}

// The string values of every member key in a JSON text, in order; for an
// array of strings, its items.
std::vector<std::string> JsonStrings(const std::string& json, const std::string& key) {
  std::vector<std::string> values;
  const std::string start = "\"" + key + "\":";
  for (size_t at = json.find(start); at != std::string::npos; at = json.find(start, at)) {
    at += start.size();
    if (json[at] == '"') {
      values.push_back(JsonStringAt(json, &at));
      continue;
    }
    for (++at; at < json.size() && json[at] == '"';) {
      values.push_back(JsonStringAt(json, &at));
      if (json[at] == ',') ++at;
    }
  }
  return values;
}

// Every file below folder: its path and contents, and when it was written.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).generic_string();
    const auto written = entry.last_write_time().time_since_epoch().count();
    tree[name] =
        std::to_string(written) + (entry.is_regular_file() ? "\n" + Slurp(entry.path()) : "/");
  }
  return tree;
}

class CheckScenario : public SetupScenario {
 protected:
  // The game folder's files (by name below it) after the check's diffs,
  // applied in order to the files as they were.
  static std::map<std::string, std::string> ApplyDiffs(const std::string& json,
                                                       std::map<std::string, std::string> files) {
    for (const std::string& diff : JsonStrings(json, "diff")) {
      std::string name = diff.substr(diff.find("\n+++ ") + 5);
      name = name.substr(0, name.find('\n'));
      name = name.substr(name.find("Racer\\") + 6);
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_TRUE(ApplyUnifiedDiff(files[name], diff, &files[name])) << diff;
    }
    return files;
  }

  // Runs the check tool from the program folder; its exit status and output.
  int RunCheck(const std::string& args, std::string* out) {
    const fs::path output = fs::path(Folder()).parent_path() / "check-output.txt";
    std::string command = "\"" + (Folder() / fs::path(ZEPH_CHECK_EXE).filename()).string() + "\" " +
                          args + " > \"" + output.string() + "\"";
#ifdef _WIN32
    command = "\"" + command + "\"";  // the command shell takes off one pair of quotes
    const int status = std::system(command.c_str());
#else
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    *out = Slurp(output);
    fs::remove(output);
    return status;
  }
};

TEST_F(CheckScenario, CheckToolTellsWhatThePassThenDoesAndWritesNothing) {
  h->InstallCompanions();
  fs::copy_file(ZEPH_CHECK_EXE, Folder() / fs::path(ZEPH_CHECK_EXE).filename());
  const std::string regKey = "Software\\" + h->Exe("checked");
  SetupProfile("4", {"'racer-keys.cfg', 'cfg\\keys.cfg'"},
               {"'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''",
                "'config.cfg'\\, 'DELETE'\\, 'JOYSTICK'\\, '2'\\, ''",
                "'config.cfg'\\, 'APPEND'\\, 'bind x jump'\\, 'ALWAYS'",
                "'racer.ini'\\, 'INI'\\, 'Input'\\, 'Device'\\, 'ball'\\, ''",
                "'STRING'\\, 'REGISTRY'\\, 'HKLM\\" + regKey + "'\\, 'Mode'\\, 'ball'\\, ''"});
  Spill(Folder() / "games" / "racer-keys.cfg", "keys\r\n");
  fs::create_directories(GameDir());
  const std::string config = "mouse=0\njoystick on\nquality=low";  // LF only, no last line end
  Spill(GameDir() / "config.cfg", config);
  Spill(GameDir() / "racer.ini", "[Input]\r\nDevice=mouse\r\n");
  h->SetMachineString(regKey, "Mode", "mouse");

  const auto before = Tree(Folder());
#ifndef _WIN32
  // The registry of the POSIX build is a file under the harness's config folder.
  const fs::path configFolder = std::getenv("XDG_CONFIG_HOME");
  fs::create_directories(configFolder);
  const auto configBefore = Tree(configFolder);
#endif
  std::string json;
  const int status = RunCheck("\"" + (Folder() / "wyn" / "racer.wyn").string() +
                                  "\" --game-folder \"" + GameDir().string() + "\" --json",
                              &json);
  EXPECT_EQ(0, status) << json;
  EXPECT_EQ(before, Tree(Folder())) << "the check wrote into the program or game folder";
#ifndef _WIN32
  EXPECT_EQ(configBefore, Tree(configFolder)) << "the check wrote into the registry";
#endif
  EXPECT_EQ("mouse", h->MachineString(regKey, "Mode"));
  // The monitor's own pass on the same folders.
  const int copy = StartMonitoring();
  PlayOnce(copy);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));

  // The control utility ran what the check listed, in that order.
  std::vector<std::string> listed;
  for (const std::string& call : JsonStrings(json, "controlCalls"))
    listed.push_back(call.substr(call.find("\" ") + 2));
  std::vector<std::string> ran;
  ASSERT_TRUE(ControlCalls(Slurp(Folder() / "zephcontrol.log"), &ran));
  ASSERT_EQ(38u, listed.size()) << json;
  ASSERT_GE(ran.size(), listed.size());
  EXPECT_EQ(listed, std::vector<std::string>(ran.begin(), ran.begin() + 38));

  // The diffs printed, applied in order to the files as they were, give
  // the files the pass left, byte for byte.
  std::map<std::string, std::string> files = ApplyDiffs(json, {{"config.cfg", config}});
  EXPECT_EQ(Slurp(GameDir() / "config.cfg"), files["config.cfg"]);
  EXPECT_EQ(Slurp(GameDir() / "cfg" / "keys.cfg"), files["cfg/keys.cfg"]);
  EXPECT_EQ("mouse=1\r\nquality=low\r\nbind x jump\r\n", files["config.cfg"]);
  EXPECT_NE(std::string::npos,
            json.find("\"key\":\"Device\",\"before\":\"mouse\",\"after\":\"ball\""))
      << json;
  EXPECT_EQ("ball", h->MachineString(regKey, "Mode"));
}

#ifndef _WIN32
// Profiles are written for Windows: a name in another case finds the file,
// as Wine would. A configuration file the user keeps elsewhere and links in
// is edited where it is, the link kept; the check shows where that is.
TEST_F(CheckScenario, ANameInAnotherCaseAndALinkedFileAreEditedWhereTheyAre) {
  h->InstallCompanions();
  fs::copy_file(ZEPH_CHECK_EXE, Folder() / fs::path(ZEPH_CHECK_EXE).filename());
  SetupProfile("1", {}, {"'CONFIG.CFG'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''"});
  fs::create_directories(GameDir());
  const fs::path mine = fs::path(Folder()).parent_path() / "mine.cfg";
  Spill(mine, "mouse=0\r\nquality=low\r\n");
  fs::create_symlink(mine, GameDir() / "config.cfg");

  std::string out;
  EXPECT_EQ(0, RunCheck("\"" + (Folder() / "wyn" / "racer.wyn").string() + "\" --game-folder \"" +
                            GameDir().string() + "\"",
                        &out));
  std::string shown = mine.string();
  std::replace(shown.begin(), shown.end(), '/', '\\');
  EXPECT_NE(std::string::npos, out.find("(resolved: " + shown + ")")) << out;
  EXPECT_NE(std::string::npos, out.find("+mouse=1")) << out;

  const int copy = StartMonitoring();
  PlayOnce(copy);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));
  EXPECT_TRUE(fs::is_symlink(GameDir() / "config.cfg"));
  EXPECT_EQ("mouse=1\r\nquality=low\r\n", Slurp(mine));
  // No second file in the profile's spelling.
  EXPECT_FALSE(fs::exists(fs::symlink_status(GameDir() / "CONFIG.CFG")));
}
#endif

// The demo's profile with set-up blocks, for a game of this run's own name.
TEST_F(CheckScenario, TheDemoProfileIsCheckedAsTheMonitorThenSetsItUp) {
  h->InstallCompanions();
  fs::copy_file(ZEPH_CHECK_EXE, Folder() / fs::path(ZEPH_CHECK_EXE).filename());
  std::string profile = Slurp(fs::path(ZEPH_DEMO_DIR) / "wyn" / "tuner.wyn");
  profile.replace(profile.find("\"tuner.exe\""), 11, Racer());
  Spill(Folder() / "wyn" / "racer.wyn", profile);
  fs::copy_file(fs::path(ZEPH_DEMO_DIR) / "games" / "tuner-keys.cfg",
                Folder() / "games" / "tuner-keys.cfg");
  fs::create_directories(GameDir());
  std::map<std::string, std::string> originals;
  for (const char* name : {"config.cfg", "tuner.ini"}) {
    fs::copy_file(fs::path(ZEPH_DEMO_DIR) / "games" / "DemoTuner" / name, GameDir() / name);
    originals[name] = Slurp(GameDir() / name);
  }

  std::string json;
  EXPECT_EQ(0, RunCheck("\"" + (Folder() / "wyn" / "racer.wyn").string() + "\" --game-folder \"" +
                            GameDir().string() + "\" --json",
                        &json))
      << json;
  const int copy = StartMonitoring();
  PlayOnce(copy);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));
  EXPECT_NE(std::string::npos, json.find(box.text)) << box.text;
  const std::map<std::string, std::string> files = ApplyDiffs(json, originals);
  EXPECT_EQ(Slurp(GameDir() / "config.cfg"), files.at("config.cfg"));
  EXPECT_EQ(Slurp(GameDir() / "cfg" / "keys.cfg"), files.at("cfg/keys.cfg"));
  EXPECT_NE(std::string::npos,
            json.find("\"key\":\"Boost\",\"before\":\"ALT\",\"after\":\"SHIFT\""));
  EXPECT_EQ("SHIFT", ini::GetString(Slurp(GameDir() / "tuner.ini"), "Controls", "Boost", "", 255));
}

// The game folder's files and folders with their contents, without the
// stand-in game the harness puts there.
std::map<std::string, std::string> Contents(const fs::path& folder, const std::string& game) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).generic_string();
    if (name != game) tree[name] = entry.is_regular_file() ? Slurp(entry.path()) : "/";
  }
  return tree;
}

TEST_F(CheckScenario, UndoPutsBackWhatThePassChangedAndOnlyOnce) {
  h->InstallCompanions();
  fs::copy_file(ZEPH_CHECK_EXE, Folder() / fs::path(ZEPH_CHECK_EXE).filename());
  const std::string regKey = "Software\\" + h->Exe("undone");
  SetupProfile("5", {"'racer-keys.cfg', 'cfg\\keys.cfg'"},
               {"'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''",
                "'logs\\run.cfg'\\, 'APPEND'\\, 'started'\\, ''",
                "'racer.ini'\\, 'INI'\\, 'Input'\\, 'Device'\\, 'ball'\\, ''",
                "'STRING'\\, 'REGISTRY'\\, 'HKLM\\" + regKey + "'\\, 'Mode'\\, 'ball'\\, ''"});
  Spill(Folder() / "games" / "racer-keys.cfg", "keys\r\n");
  fs::create_directories(GameDir());
  Spill(GameDir() / "config.cfg", "mouse=0\nquality=low");
  Spill(GameDir() / "racer.ini", "[Input]\r\nDevice=mouse\r\n");
  h->SetMachineString(regKey, "Mode", "mouse");
  const auto before = Contents(GameDir(), Racer());
  const std::string game = " \"" + GameDir().string() + "\"";
  std::string out;
  EXPECT_EQ(1, RunCheck("--journal" + game, &out)) << out;
  EXPECT_NE(std::string::npos, out.find("no set-up pass is journaled for")) << out;

  const int copy = StartMonitoring();
  PlayOnce(copy);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 30000, &box));
  ASSERT_NE(before, Contents(GameDir(), Racer()));
  ASSERT_EQ("ball", h->MachineString(regKey, "Mode"));

  EXPECT_EQ(0, RunCheck("--journal" + game, &out)) << out;
  EXPECT_NE(std::string::npos, out.find("pass 1 ")) << out;
  EXPECT_EQ(0, RunCheck("--undo" + game, &out)) << out;
  EXPECT_EQ(before, Contents(GameDir(), Racer())) << out;
  EXPECT_EQ("mouse", h->MachineString(regKey, "Mode"));
  // Undone once, it is not undone again over what comes after.
  Spill(GameDir() / "config.cfg", "the user's own\r\n");
  EXPECT_EQ(0, RunCheck("--undo" + game, &out)) << out;
  EXPECT_NE(std::string::npos, out.find("undone already")) << out;
  EXPECT_EQ("the user's own\r\n", Slurp(GameDir() / "config.cfg"));
}

}  // namespace
}  // namespace zeph::e2e

// The built stand-in programs, run for real from a temporary program folder:
// the control utility's state after sequences of calls, its messages and
// log; the event utility's report and its closing on request, also with a
// second copy following at once; the customizer and the web update utility.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ProgramRunner.h"
#include "companion/Companions.h"
#include "companion/standins/ControlUtility.h"
#include "companion/standins/WindowedStandins.h"
#include "system/Platform.h"

#if !defined(ZEPH_CONTROL_EXE) || !defined(ZEPH_EVENT_EXE) || !defined(ZEPH_CUSTOMIZER_EXE) || \
    !defined(ZEPH_WEBUPDATE_EXE)
#error "the build must name the four built stand-in programs"
#endif

namespace zeph::companion_test {
namespace {

using standin::ControllerState;
using Args = std::vector<std::string>;

// Programs start slowly under Wine, and the machine may be busy.
constexpr int kStartMs = 30000;
constexpr int kEndMs = 30000;

class StandinFolder : public testing::Test {
 protected:
  void SetUp() override { IsolateWindows(folder_); }

  // A fresh stem for one program's output files.
  std::string OutputStem() { return folder_.File("run" + std::to_string(outputs_++)); }

  std::unique_ptr<Process> Start(const std::string& program) {
    const std::string stem = OutputStem();
    outFiles_.push_back(stem + ".out");
    return Process::Start(program, {}, stem + ".out", stem + ".err");
  }

  TempFolder folder_;
  std::vector<std::string> outFiles_;  // standard output of each started program

 private:
  int outputs_ = 0;
};

// --- the control utility

class ControlUtility : public StandinFolder {
 protected:
  void SetUp() override {
    StandinFolder::SetUp();
    exe_ = folder_.AddProgram(ZEPH_CONTROL_EXE, kControlUtility);
  }

  RunResult Control(const Args& args) { return companion_test::Run(exe_, args, OutputStem()); }

  // Runs a command that must succeed.
  void Good(const Args& args) {
    RunResult r = Control(args);
    ASSERT_EQ(0, r.exitCode) << standin::JoinArguments(args) << ": " << r.err;
    EXPECT_EQ("", r.err);
  }

  std::string StateText() { return ReadFile(folder_.File(standin::kStateFileName)); }
  ControllerState State() { return ControllerState::FromIni(StateText()); }

  std::string exe_;
};

TEST_F(ControlUtility, FirstCommandStartsFromTheDefaults) {
  ASSERT_FALSE(FileExists(folder_.File(standin::kStateFileName)));
  Good({"--set-chording", "on"});
  ControllerState expected = ControllerState::Defaults();
  expected.Set("Chording", "on");
  EXPECT_EQ(expected.ToIni(), StateText());
}

TEST_F(ControlUtility, ScriptOfCommandsProgramsTheStateAndSetDefaultsRestoresIt) {
  // An activation as the monitor runs it: the reset, then a script in
  // horizontal orientation with precision on.
  const std::vector<Args> script = {
      {"--set-defaults"},
      {"--reset-sensitivity-curve", "1"},
      {"--set-chording", "on"},
      {"--set-null-region", "12"},
      {"--set-sensitivity", "0", "10"},
      {"--set-sensitivity", "5", "60"},
      {"--set-gain", "3", "999"},
      {"--set-polarity", "2", "-"},
      {"--set-axis", "0", "0"},
      {"--set-axis", "1", "2"},
      {"--set-axis", "2", "1"},
      {"--set-precision-button", "toggle", "4"},
      {"--set-precision-sensitivity", "25"},
      {"--set-precision-gain", "030"},
  };
  for (const Args& args : script) Good(args);

  const ControllerState state = State();
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"Chording", "on"},
      {"NullRegion", "12"},
      {"Sensitivity0", "10"},
      {"Sensitivity1", "50"},
      {"Sensitivity5", "60"},
      {"Gain3", "999"},
      {"Polarity2", "-"},
      {"Polarity1", "+"},
      {"Axis0", "0"},
      {"Axis1", "2"},
      {"Axis2", "1"},
      {"Axis3", "3"},
      {"PrecisionMode", "toggle"},
      {"PrecisionButton", "4"},
      {"PrecisionSensitivity", "25"},
      {"PrecisionGain", "30"},
      {"Curve1", "default"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(value, state.Get(key)) << key;

  Good({"--set-defaults"});
  EXPECT_EQ(ControllerState::Defaults().ToIni(), StateText());
}

TEST_F(ControlUtility, UploadRecordsTheFileAndResetPutsOneCurveBack) {
  // A folder and a name with blanks: the path arrives as one argument.
  ASSERT_TRUE(WriteFile(folder_.File("curve a.crv"), "0 0\n100 100\n"));
  const std::string curve = folder_.File("curve a.crv");
  Good({"--upload-sensitivity-curve", "1", curve});
  Good({"--upload-sensitivity-curve", "2", curve});
  EXPECT_EQ(curve, State().Get("Curve1"));
  Good({"--reset-sensitivity-curve", "1"});
  EXPECT_EQ("default", State().Get("Curve1"));
  EXPECT_EQ(curve, State().Get("Curve2"));
}

TEST_F(ControlUtility, UploadOfAMissingFileIsRefusedAndChangesNothing) {
  Good({"--set-gain", "0", "70"});
  const std::string before = StateText();
  const std::string missing = folder_.File("none.crv");
  RunResult r = Control({"--upload-sensitivity-curve", "3", missing});
  EXPECT_EQ(standin::kExitBadCommand, r.exitCode);
  EXPECT_EQ(std::vector<std::string>{"Zephcontrol: --upload-sensitivity-curve: curve file \"" +
                                     missing + "\" not found"},
            Lines(r.err));
  EXPECT_EQ(before, StateText());
}

struct RefusedRun {
  const char* name;
  Args args;
  const char* message;
};

class RefusedControlRun : public ControlUtility, public testing::WithParamInterface<RefusedRun> {};

TEST_P(RefusedControlRun, ExitsWith2AndLeavesTheStateAsItWas) {
  // Without a state file none is made; with one it keeps every byte.
  RunResult first = Control(GetParam().args);
  EXPECT_EQ(standin::kExitBadCommand, first.exitCode);
  EXPECT_EQ(std::vector<std::string>{GetParam().message}, Lines(first.err));
  EXPECT_EQ("", first.out);
  EXPECT_FALSE(FileExists(folder_.File(standin::kStateFileName)));

  Good({"--set-null-region", "3"});
  const std::string before = StateText();
  RunResult second = Control(GetParam().args);
  EXPECT_EQ(standin::kExitBadCommand, second.exitCode);
  EXPECT_EQ(before, StateText());
}

const RefusedRun kRefusedRuns[] = {
    {"Unknown", {"--foo"}, "Zephcontrol: unknown command \"--foo\""},
    {"Nothing", {}, "Zephcontrol: no command given"},
    {"MissingArgument",
     {"--set-gain", "1"},
     "Zephcontrol: --set-gain takes 2 arguments (AXIS N), got 1"},
    {"ExtraArgument",
     {"--set-chording", "on", "now"},
     "Zephcontrol: --set-chording takes 1 argument (on|off), got 2"},
    {"BadAxis",
     {"--set-polarity", "6", "+"},
     "Zephcontrol: --set-polarity: bad AXIS \"6\" (expected 0..5)"},
    {"BadNumber",
     {"--set-null-region", "ERROR"},
     "Zephcontrol: --set-null-region: bad N \"ERROR\" (expected a whole number 0..999)"},
};

INSTANTIATE_TEST_SUITE_P(Control, RefusedControlRun, testing::ValuesIn(kRefusedRuns),
                         [](const testing::TestParamInfo<RefusedRun>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ControlUtility, LogShowsEachCallEndBeforeTheNextStarts) {
  const std::vector<std::pair<Args, int>> calls = {
      {{"--set-defaults"}, 0},
      {{"--bogus", "1"}, 2},
      {{"--set-master-gain", "40"}, 0},
  };
  for (const auto& call : calls) EXPECT_EQ(call.second, Control(call.first).exitCode);

  const std::vector<std::string> log = Lines(ReadFile(folder_.File(standin::kControlLogName)));
  ASSERT_EQ(calls.size() * 2, log.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    const std::string& start = log[2 * i];
    const std::string& end = log[2 * i + 1];
    ASSERT_EQ(0u, start.rfind("start ", 0)) << start;
    const std::string pid = start.substr(6, start.find(' ', 6) - 6);
    EXPECT_EQ("start " + pid + " " + standin::JoinArguments(calls[i].first), start);
    EXPECT_EQ("end " + pid + " " + std::to_string(calls[i].second), end);
  }
}

// The monitor's own way of running it: one command line, the path in quotes.
TEST_F(ControlUtility, TheMonitorsCommandLinesReachIt) {
  ASSERT_TRUE(WriteFile(folder_.File("my curve.crv"), "curve\n"));
  const std::string folder = MonitorPath(folder_.Path());
  const std::string curve = folder + "\\my curve.crv";
  auto sys = CreatePlatformSystem(0, nullptr);
  const std::vector<std::pair<std::string, int>> lines = {
      {"--set-defaults", 0},
      {"--upload-sensitivity-curve 4 \"" + curve + "\"", 0},
      {"--set-precision-button toggle 4", 0},
      {"--upload-sensitivity-curve 5 \"" + folder + "\\other.crv\"", 2},
      {"--set-axis 7 1", 2},
  };
  for (const auto& [line, code] : lines)
    EXPECT_EQ(code, sys->RunAndWait(ControlCommand(folder, line), false)) << line;
  const ControllerState state = State();
  EXPECT_EQ(curve, state.Get("Curve4"));
  EXPECT_EQ("default", state.Get("Curve5"));
  EXPECT_EQ("toggle", state.Get("PrecisionMode"));
  EXPECT_EQ("1", state.Get("Axis1"));
}

// --- the event utility

const char kEventSettings[] =
    "[DEADZONE]\r\nDEADZONE_0=10\r\nDEADZONE_1=20\r\nDEADZONE_2=\r\nDEADZONE_3=ERROR\r\n"
    "DEADZONE_4=0\r\nDEADZONE_5=5\r\n"
    "[MOTIONS]\r\nMOTION_0_POS=\"X\"\r\nMOTION_0_NEG=\"X\"\r\nMOTION_1_POS=\"Y\"\r\n"
    "MOTION_1_NEG=\"Y\"\r\nMOTION_2_POS=\"w\"\r\nMOTION_2_NEG=\"s\"\r\n"
    "[BUTTONS]\r\nBUTTON_0=\"fire\"\r\nBUTTON_3=\"east\"\r\nBUTTON_15=\"\"\r\n";

class EventUtility : public StandinFolder {
 protected:
  void SetUp() override {
    StandinFolder::SetUp();
    exe_ = folder_.AddProgram(ZEPH_EVENT_EXE, kEventUtility);
  }

  std::vector<std::string> Log() { return Lines(ReadFile(folder_.File(standin::kEventLogName))); }

  // Waits until this copy has reported (its window exists by then).
  bool WaitUntilReported(Process& copy) {
    const std::string started = "started " + std::to_string(copy.Pid());
    return WaitFor(
        [&] {
          const std::vector<std::string> log = Log();
          return log.size() >= 35 && log[0] == started;
        },
        kStartMs);
  }

  static std::vector<std::string> Report(unsigned long pid, const std::string& ini) {
    std::vector<std::string> lines = {"started " + std::to_string(pid)};
    for (const std::string& line : standin::EventReportLines(ini)) lines.push_back(line);
    return lines;
  }

  std::string exe_;
};

TEST_F(EventUtility, ReportsItsSettingsAndClosesOnRequest) {
  ASSERT_TRUE(WriteFile(folder_.File(kEventSettingsFile), kEventSettings));
  auto copy = Start(exe_);
  ASSERT_TRUE(WaitUntilReported(*copy)) << ReadFile(folder_.File(standin::kEventLogName));
  const std::vector<std::string> report = Report(copy->Pid(), kEventSettings);
  EXPECT_EQ(report, Log());
  EXPECT_EQ("DEADZONE DEADZONE_3=ERROR", report[4]);
  EXPECT_EQ("MOTIONS MOTION_1_NEG=Y", report[10]);
  EXPECT_EQ("BUTTONS BUTTON_3=east", report[22]);
  ASSERT_TRUE(copy->HasWindow(kEventWindowTitle));

  // It stays until asked.
  int code = -1;
  EXPECT_FALSE(copy->WaitForExit(300, &code));
  ASSERT_TRUE(copy->AskWindowToClose(kEventWindowTitle));
  ASSERT_TRUE(copy->WaitForExit(kEndMs, &code));
  EXPECT_EQ(0, code);
  std::vector<std::string> closed = report;
  closed.push_back("closed");
  EXPECT_EQ(closed, Log());
  EXPECT_EQ(closed, Lines(ReadFile(outFiles_[0])));
  EXPECT_FALSE(copy->HasWindow(kEventWindowTitle));
}

TEST_F(EventUtility, ASecondCopyFollowsOneThatWasJustAskedToClose) {
  ASSERT_TRUE(WriteFile(folder_.File(kEventSettingsFile), kEventSettings));
  auto first = Start(exe_);
  ASSERT_TRUE(WaitUntilReported(*first));

  // As an activation does it: close, rewrite the settings, start again at once.
  const std::string changed = "[DEADZONE]\r\nDEADZONE_0=99\r\n[BUTTONS]\r\nBUTTON_1=\"jump\"\r\n";
  ASSERT_TRUE(first->AskWindowToClose(kEventWindowTitle));
  ASSERT_TRUE(WriteFile(folder_.File(kEventSettingsFile), changed));
  auto second = Start(exe_);

  int code = -1;
  ASSERT_TRUE(first->WaitForExit(kEndMs, &code));
  EXPECT_EQ(0, code);
  EXPECT_EQ("closed", Lines(ReadFile(outFiles_[0])).back());
  ASSERT_TRUE(WaitUntilReported(*second)) << ReadFile(folder_.File(standin::kEventLogName));
  EXPECT_EQ(Report(second->Pid(), changed), Log());
  EXPECT_EQ("DEADZONE DEADZONE_0=99", Log()[1]);

  ASSERT_TRUE(second->AskWindowToClose(kEventWindowTitle));
  ASSERT_TRUE(second->WaitForExit(kEndMs, &code));
  EXPECT_EQ(0, code);
  EXPECT_EQ("closed", Log().back());
}

TEST_F(EventUtility, WithoutASettingsFileItReportsEveryKeyEmpty) {
  auto copy = Start(exe_);
  ASSERT_TRUE(WaitUntilReported(*copy));
  EXPECT_EQ(Report(copy->Pid(), ""), Log());
  EXPECT_EQ("BUTTONS BUTTON_15=", Log().back());
  ASSERT_TRUE(copy->AskWindowToClose(kEventWindowTitle));
  int code = -1;
  ASSERT_TRUE(copy->WaitForExit(kEndMs, &code));
  EXPECT_EQ(0, code);
}

// --- the customizer and the web update utility

struct WindowedCase {
  const char* name;
  const char* buildPath;
  const char* fileName;
  const char* title;
  const char* settings;  // written to zephcfg.ini when not null
  const char* text;
};

class WindowedStandin : public StandinFolder, public testing::WithParamInterface<WindowedCase> {};

TEST_P(WindowedStandin, ShowsItsTextAndStaysUntilClosed) {
  const WindowedCase& c = GetParam();
  const std::string exe = folder_.AddProgram(c.buildPath, c.fileName);
  if (c.settings) {
    ASSERT_TRUE(WriteFile(folder_.File(kCustomizerSettingsFile), c.settings));
  }
  auto copy = Start(exe);
  const std::vector<std::string> expected = {c.text};
  ASSERT_TRUE(
      WaitFor([&] { return copy->HasWindow(c.title) && Lines(ReadFile(outFiles_[0])) == expected; },
              kStartMs))
      << ReadFile(outFiles_[0]);
  const std::string shown = copy->WindowText(c.title);
  if (!shown.empty()) {
    EXPECT_EQ(c.text, shown);  // Windows; POSIX prints only
  }

  int code = -1;
  EXPECT_FALSE(copy->WaitForExit(300, &code));
  ASSERT_TRUE(copy->AskWindowToClose(c.title));
  ASSERT_TRUE(copy->WaitForExit(kEndMs, &code));
  EXPECT_EQ(0, code);
}

const WindowedCase kWindowedCases[] = {
    {"Customizer", ZEPH_CUSTOMIZER_EXE, kCustomizer, kCustomizerTitle,
     "[Games]\r\nCurrent=racer.wyn\r\nWYN=racer.wyn\r\n", "Current profile: racer.wyn"},
    {"CustomizerWithoutSettings", ZEPH_CUSTOMIZER_EXE, kCustomizer, kCustomizerTitle, nullptr,
     "Current profile: (none)"},
    {"WebUpdate", ZEPH_WEBUPDATE_EXE, kWebUpdate, kWebUpdateTitle, nullptr,
     "Web update: nothing to do"},
};

INSTANTIATE_TEST_SUITE_P(Standins, WindowedStandin, testing::ValuesIn(kWindowedCases),
                         [](const testing::TestParamInfo<WindowedCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace zeph::companion_test

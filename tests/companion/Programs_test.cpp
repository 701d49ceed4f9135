// The built stand-in programs, run for real from a temporary program folder:
// the control utility's state after a sequence of calls, its refusals and
// its log; the event utility's report and its closing on request; the
// customizer's window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ProgramRunner.h"
#include "companion/Companions.h"
#include "companion/standins/ControlUtility.h"
#include "companion/standins/WindowedStandins.h"

#if !defined(ZEPH_CONTROL_EXE) || !defined(ZEPH_EVENT_EXE) || !defined(ZEPH_CUSTOMIZER_EXE)
#error "the build must name the built stand-in programs"
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

  std::unique_ptr<Process> Start(const std::string& program, std::string* outFile) {
    *outFile = OutputStem() + ".out";
    return Process::Start(program, {}, *outFile, *outFile + ".err");
  }

  // Asks the copy's window to close; true when it then ends with 0.
  static bool CloseAndEnd(Process& copy, const std::string& title) {
    int code = -1;
    return copy.AskWindowToClose(title) && copy.WaitForExit(kEndMs, &code) && code == 0;
  }

  TempFolder folder_;

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
    EXPECT_EQ(0, r.exitCode) << standin::JoinArguments(args) << ": " << r.err;
  }

  std::string StateText() { return ReadFile(folder_.File(standin::kStateFileName)); }
  ControllerState State() { return ControllerState::FromIni(StateText()); }

  std::string exe_;
};

TEST_F(ControlUtility, SequenceOfCallsProgramsTheStateAndSetDefaultsRestoresIt) {
  Good({"--set-chording", "on"});  // the first call starts from the defaults
  ControllerState expected = ControllerState::Defaults();
  expected.Set("Chording", "on");
  EXPECT_EQ(expected.ToIni(), StateText());

  // A folder and a name with blanks: the path arrives as one argument.
  const std::string curve = folder_.File("curve a.crv");
  ASSERT_TRUE(WriteFile(curve, "0 0\n100 100\n"));
  Good({"--upload-sensitivity-curve", "1", curve});
  Good({"--upload-sensitivity-curve", "2", curve});
  Good({"--reset-sensitivity-curve", "1"});
  Good({"--set-axis", "1", "2"});
  Good({"--set-precision-gain", "030"});
  const ControllerState state = State();
  EXPECT_EQ("on", state.Get("Chording"));
  EXPECT_EQ("default", state.Get("Curve1"));
  EXPECT_EQ(curve, state.Get("Curve2"));
  EXPECT_EQ("1", state.Get("Axis2"));
  EXPECT_EQ("30", state.Get("PrecisionGain"));

  const std::string missing = folder_.File("none.crv");
  RunResult r = Control({"--upload-sensitivity-curve", "3", missing});
  EXPECT_EQ(standin::kExitBadCommand, r.exitCode);
  EXPECT_EQ(std::vector<std::string>{"Zephcontrol: --upload-sensitivity-curve: curve file \"" +
                                     missing + "\" not found"},
            Lines(r.err));
  EXPECT_EQ("default", State().Get("Curve3"));

  Good({"--set-defaults"});
  EXPECT_EQ(ControllerState::Defaults().ToIni(), StateText());
}

TEST_F(ControlUtility, ARefusedRunExitsWith2AndLeavesTheStateAsItWas) {
  RunResult first = Control({"--foo"});
  EXPECT_EQ(standin::kExitBadCommand, first.exitCode);
  EXPECT_EQ(std::vector<std::string>{"Zephcontrol: unknown command \"--foo\""}, Lines(first.err));
  EXPECT_FALSE(FileExists(folder_.File(standin::kStateFileName)));

  Good({"--set-null-region", "3"});
  const std::string before = StateText();
  for (const Args& args : std::vector<Args>{{"--set-gain", "1"}, {"--set-polarity", "6", "+"}}) {
    EXPECT_EQ(standin::kExitBadCommand, Control(args).exitCode) << standin::JoinArguments(args);
    EXPECT_EQ(before, StateText());
  }
}

// --- the event utility and the customizer

TEST_F(StandinFolder, EventUtilityReportsItsSettingsAndClosesOnRequest) {
  const std::string exe = folder_.AddProgram(ZEPH_EVENT_EXE, kEventUtility);
  const std::string settings =
      "[DEADZONE]\r\nDEADZONE_3=ERROR\r\n[BUTTONS]\r\nBUTTON_3=\"east\"\r\n";
  ASSERT_TRUE(WriteFile(folder_.File(kEventSettingsFile), settings));
  std::string outFile;
  auto copy = Start(exe, &outFile);
  const auto log = [&] { return Lines(ReadFile(folder_.File(standin::kEventLogName))); };
  std::vector<std::string> report = {"started " + std::to_string(copy->Pid())};
  for (const std::string& line : standin::EventReportLines(settings)) report.push_back(line);
  ASSERT_TRUE(WaitFor([&] { return log() == report; }, kStartMs)) << testing::PrintToString(log());
  EXPECT_EQ("BUTTONS BUTTON_3=east", report[22]);
  ASSERT_TRUE(copy->HasWindow(kEventWindowTitle));

  int code = -1;
  EXPECT_FALSE(copy->WaitForExit(300, &code));  // it stays until asked
  ASSERT_TRUE(CloseAndEnd(*copy, kEventWindowTitle));
  report.push_back("closed");
  EXPECT_EQ(report, log());
  EXPECT_EQ(report, Lines(ReadFile(outFile)));
}

TEST_F(StandinFolder, CustomizerShowsTheCurrentProfile) {
  const std::string exe = folder_.AddProgram(ZEPH_CUSTOMIZER_EXE, kCustomizer);
  ASSERT_TRUE(WriteFile(folder_.File(kCustomizerSettingsFile),
                        "[Games]\r\nCurrent=racer.wyn\r\nWYN=racer.wyn\r\n"));
  std::string outFile;
  auto copy = Start(exe, &outFile);
  const std::string text = "Current profile: racer.wyn";
  ASSERT_TRUE(WaitFor(
      [&] {
        return copy->HasWindow(kCustomizerTitle) &&
               Lines(ReadFile(outFile)) == std::vector<std::string>{text};
      },
      kStartMs))
      << ReadFile(outFile);
  const std::string shown = copy->WindowText(kCustomizerTitle);
  if (!shown.empty()) {
    EXPECT_EQ(text, shown);  // Windows; POSIX prints only
  }
  EXPECT_TRUE(CloseAndEnd(*copy, kCustomizerTitle));
}

}  // namespace
}  // namespace zeph::companion_test

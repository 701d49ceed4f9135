// The stand-ins' portable logic, in-process: the control utility's command
// forms, good and bad; the state file's text; the event utility's and the
// customizer's reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion/standins/ControlUtility.h"
#include "companion/standins/WindowedStandins.h"

namespace zeph::standin {
namespace {

using Args = std::vector<std::string>;

// Only this curve file "exists" for the parser.
bool CurveExists(const std::string& path) { return path == "C:\\My Curves\\a b.crv"; }

TEST(ControlCommand, GoodFormsGiveTheirChanges) {
  const std::vector<std::pair<Args, std::vector<Change>>> rows = {
      {{"--reset-sensitivity-curve", "5"}, {{"Curve5", "default"}}},
      {{"--upload-sensitivity-curve", "0", "C:\\My Curves\\a b.crv"},
       {{"Curve0", "C:\\My Curves\\a b.crv"}}},
      {{"--set-chording", "off"}, {{"Chording", "off"}}},
      {{"--set-null-region", "007"}, {{"NullRegion", "7"}}},
      {{"--set-sensitivity", "5", "999"}, {{"Sensitivity5", "999"}}},
      {{"--set-gain", "2", "0"}, {{"Gain2", "0"}}},
      {{"--set-master-sensitivity", "80"}, {{"MasterSensitivity", "80"}}},
      {{"--set-master-gain", "1"}, {{"MasterGain", "1"}}},
      // The state is kept per slot: the slot records the digit that drives it.
      {{"--set-axis", "2", "4"}, {{"Axis4", "2"}}},
      {{"--set-polarity", "1", "-"}, {{"Polarity1", "-"}}},
      {{"--set-precision-button", "hold", "15"},
       {{"PrecisionMode", "hold"}, {"PrecisionButton", "15"}}},
      {{"--set-precision-sensitivity", "25"}, {{"PrecisionSensitivity", "25"}}},
      {{"--set-precision-gain", "30"}, {{"PrecisionGain", "30"}}},
  };
  for (const auto& [args, expected] : rows) {
    std::vector<Change> changes;
    std::string error;
    EXPECT_TRUE(ParseCommand(args, CurveExists, &changes, &error)) << error;
    EXPECT_EQ(expected, changes) << JoinArguments(args);
  }
}

TEST(ControlCommand, SetDefaultsSetsEveryKeyToItsDefault) {
  std::vector<Change> changes;
  std::string error;
  ASSERT_TRUE(ParseCommand({"--set-defaults"}, CurveExists, &changes, &error)) << error;
  const ControllerState defaults = ControllerState::Defaults();
  ControllerState changed = defaults;
  for (const auto& field : defaults.Fields()) changed.Set(field.first, "something else");
  for (const Change& change : changes) changed.Set(change.key, change.value);
  EXPECT_EQ(defaults, changed);
}

TEST(ControlCommand, BadFormsAreRefused) {
  // The message is checked where given.
  const std::vector<std::pair<Args, std::string>> rows = {
      {{}, "Zephcontrol: no command given"},
      {{"--foo"}, "Zephcontrol: unknown command \"--foo\""},
      {{"--set-defaults", "now"}, "Zephcontrol: --set-defaults takes no arguments, got 1"},
      {{"--set-gain", "1"}, "Zephcontrol: --set-gain takes 2 arguments (AXIS N), got 1"},
      {{"--reset-sensitivity-curve", "6"},
       "Zephcontrol: --reset-sensitivity-curve: bad AXIS \"6\" (expected 0..5)"},
      {{"--set-null-region", "12a"},
       "Zephcontrol: --set-null-region: bad N \"12a\" (expected a whole number 0..999)"},
      {{"--SET-DEFAULTS"}, ""},
      {{"--set-chording", "on", "off"}, ""},
      {{"--set-chording", "ON"}, ""},
      {{"--upload-sensitivity-curve", "1", "none.crv"}, ""},
      {{"--set-null-region", "1000"}, ""},
      {{"--set-null-region", "-5"}, ""},
      {{"--set-axis", "0", "6"}, ""},
      {{"--set-polarity", "0", "plus"}, ""},
      {{"--set-precision-button", "Toggle", "4"}, ""},
      {{"--set-precision-button", "toggle", "16"}, ""},
  };
  for (const auto& [args, message] : rows) {
    std::vector<Change> changes = {{"left", "over"}};
    std::string error;
    EXPECT_FALSE(ParseCommand(args, CurveExists, &changes, &error)) << JoinArguments(args);
    if (!message.empty()) {
      EXPECT_EQ(message, error);
    }
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(changes.empty());
  }
}

// --- the state file's text

TEST(ControllerStateText, DefaultsAndRoundTrip) {
  const ControllerState d = ControllerState::Defaults();
  EXPECT_EQ("off", d.Get("Chording"));
  EXPECT_EQ("3", d.Get("Axis3"));
  EXPECT_EQ("+", d.Get("Polarity5"));
  EXPECT_EQ("none", d.Get("PrecisionMode"));
  EXPECT_EQ("default", d.Get("Curve0"));
  EXPECT_EQ(0u, d.ToIni().find("[CONTROLLER]\nChording=off\nNullRegion=0\n"));
  EXPECT_EQ(d, ControllerState::FromIni(""));

  ControllerState s = d;
  EXPECT_FALSE(s.Set("Sensitivity6", "1"));
  s.Set("Polarity4", "-");
  s.Set("Curve2", "C:\\My Curves\\a b.crv");
  EXPECT_EQ(s, ControllerState::FromIni(s.ToIni()));
  EXPECT_NE(d, s);
}

TEST(ControllerStateText, ReadsOnlyItsSectionAsTheProfileFunctionsDo) {
  ControllerState s = ControllerState::FromIni(
      "[OTHER]\r\nChording=on\r\n[controller]\r\nnullregion = 12\r\nGain3=\"7\"\r\n");
  EXPECT_EQ("off", s.Get("Chording"));
  EXPECT_EQ("12", s.Get("NullRegion"));
  EXPECT_EQ("7", s.Get("Gain3"));
}

// --- the event utility's and the customizer's reports

TEST(EventReport, ListsEveryKeyInFixedOrderWithQuotesRemoved) {
  const std::vector<std::string> lines = EventReportLines(
      "[DEADZONE]\r\nDEADZONE_0=10\r\n[MOTIONS]\r\nMOTION_3_NEG=\"'\"\r\n"
      "[BUTTONS]\r\nBUTTON_15=\"a b\"\r\n");
  ASSERT_EQ(6u + 12u + 16u, lines.size());
  EXPECT_EQ("DEADZONE DEADZONE_0=10", lines[0]);
  EXPECT_EQ("DEADZONE DEADZONE_1=", lines[1]);
  EXPECT_EQ("MOTIONS MOTION_3_NEG='", lines[13]);
  EXPECT_EQ("BUTTONS BUTTON_15=a b", lines[33]);
}

TEST(CustomizerReport, ShowsTheCurrentProfile) {
  EXPECT_EQ("Current profile: flight sim.wyn",
            CustomizerText("[games]\ncurrent = \"flight sim.wyn\"\n"));
  EXPECT_EQ("Current profile: (none)", CustomizerText("[Games]\r\nWYN=racer.wyn\r\n"));
}

}  // namespace
}  // namespace zeph::standin

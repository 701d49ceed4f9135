// The stand-ins' portable logic, in-process: every command form of the
// control utility, good and bad; the state file's text; the event
// utility's and the customizer's reports.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "companion/standins/ControlUtility.h"
#include "companion/standins/WindowedStandins.h"

namespace zeph::standin {
namespace {

using Args = std::vector<std::string>;

// Curve files that "exist" for the parser: any other path does not.
const std::set<std::string> kExistingCurves = {"C:\\Zeph\\curves\\soft.crv",
                                               "C:\\My Curves\\a b.crv", "rel.crv"};

bool CurveExists(const std::string& path) { return kExistingCurves.count(path) > 0; }

struct GoodCase {
  const char* name;
  Args args;
  std::vector<Change> changes;
};

class GoodCommand : public testing::TestWithParam<GoodCase> {};

TEST_P(GoodCommand, GivesItsChanges) {
  std::vector<Change> changes;
  std::string error;
  ASSERT_TRUE(ParseCommand(GetParam().args, CurveExists, &changes, &error)) << error;
  EXPECT_EQ(GetParam().changes, changes);
  // Every key a command sets is a key of the state file.
  for (const Change& change : changes)
    EXPECT_TRUE(ControllerState::Defaults().Set(change.key, "x"));
}

const GoodCase kGoodCases[] = {
    {"ResetCurve0", {"--reset-sensitivity-curve", "0"}, {{"Curve0", "default"}}},
    {"ResetCurve5", {"--reset-sensitivity-curve", "5"}, {{"Curve5", "default"}}},
    {"UploadCurve",
     {"--upload-sensitivity-curve", "3", "C:\\Zeph\\curves\\soft.crv"},
     {{"Curve3", "C:\\Zeph\\curves\\soft.crv"}}},
    {"UploadCurveWithBlanks",
     {"--upload-sensitivity-curve", "0", "C:\\My Curves\\a b.crv"},
     {{"Curve0", "C:\\My Curves\\a b.crv"}}},
    {"UploadRelativeCurve",
     {"--upload-sensitivity-curve", "5", "rel.crv"},
     {{"Curve5", "rel.crv"}}},
    {"ChordingOn", {"--set-chording", "on"}, {{"Chording", "on"}}},
    {"ChordingOff", {"--set-chording", "off"}, {{"Chording", "off"}}},
    {"NullRegionZero", {"--set-null-region", "0"}, {{"NullRegion", "0"}}},
    {"NullRegionMax", {"--set-null-region", "999"}, {{"NullRegion", "999"}}},
    {"NullRegionLeadingZeros", {"--set-null-region", "007"}, {{"NullRegion", "7"}}},
    {"NullRegionAllZeros", {"--set-null-region", "000"}, {{"NullRegion", "0"}}},
    {"Sensitivity", {"--set-sensitivity", "0", "10"}, {{"Sensitivity0", "10"}}},
    {"SensitivityLastAxis", {"--set-sensitivity", "5", "999"}, {{"Sensitivity5", "999"}}},
    {"Gain", {"--set-gain", "2", "75"}, {{"Gain2", "75"}}},
    {"MasterSensitivity", {"--set-master-sensitivity", "80"}, {{"MasterSensitivity", "80"}}},
    {"MasterGain", {"--set-master-gain", "0"}, {{"MasterGain", "0"}}},
    // The state is kept per slot: the slot records the digit that drives it.
    {"AxisDigitDrivesSlot", {"--set-axis", "2", "4"}, {{"Axis4", "2"}}},
    {"AxisSame", {"--set-axis", "0", "0"}, {{"Axis0", "0"}}},
    {"PolarityMinus", {"--set-polarity", "1", "-"}, {{"Polarity1", "-"}}},
    {"PolarityPlus", {"--set-polarity", "5", "+"}, {{"Polarity5", "+"}}},
    {"PrecisionButton",
     {"--set-precision-button", "toggle", "4"},
     {{"PrecisionMode", "toggle"}, {"PrecisionButton", "4"}}},
    {"PrecisionButtonLast",
     {"--set-precision-button", "hold", "15"},
     {{"PrecisionMode", "hold"}, {"PrecisionButton", "15"}}},
    {"PrecisionSensitivity",
     {"--set-precision-sensitivity", "25"},
     {{"PrecisionSensitivity", "25"}}},
    {"PrecisionGain", {"--set-precision-gain", "30"}, {{"PrecisionGain", "30"}}},
};

INSTANTIATE_TEST_SUITE_P(Control, GoodCommand, testing::ValuesIn(kGoodCases),
                         [](const testing::TestParamInfo<GoodCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ControlCommand, SetDefaultsSetsEveryKeyToItsDefault) {
  std::vector<Change> changes;
  std::string error;
  ASSERT_TRUE(ParseCommand({"--set-defaults"}, CurveExists, &changes, &error)) << error;
  const ControllerState defaults = ControllerState::Defaults();
  ControllerState changed = defaults;
  for (const auto& field : defaults.Fields()) changed.Set(field.first, "something else");
  ASSERT_EQ(changed.Fields().size(), changes.size());
  for (const Change& change : changes) changed.Set(change.key, change.value);
  EXPECT_EQ(defaults, changed);
}

struct BadCase {
  const char* name;
  Args args;
  const char* message;
};

class BadCommand : public testing::TestWithParam<BadCase> {};

TEST_P(BadCommand, IsRefusedWithItsMessage) {
  std::vector<Change> changes = {{"left", "over"}};
  std::string error;
  EXPECT_FALSE(ParseCommand(GetParam().args, CurveExists, &changes, &error));
  EXPECT_EQ(GetParam().message, error);
  EXPECT_TRUE(changes.empty());
}

const BadCase kBadCases[] = {
    {"NoCommand", {}, "Zephcontrol: no command given"},
    {"Unknown", {"--foo"}, "Zephcontrol: unknown command \"--foo\""},
    {"CommandWordsAreCaseSensitive",
     {"--SET-DEFAULTS"},
     "Zephcontrol: unknown command \"--SET-DEFAULTS\""},
    {"WordAndValueInOne",
     {"--set-chording on"},
     "Zephcontrol: unknown command \"--set-chording on\""},
    {"EmptyCommand", {""}, "Zephcontrol: unknown command \"\""},
    {"DefaultsWithArgument",
     {"--set-defaults", "now"},
     "Zephcontrol: --set-defaults takes no arguments, got 1"},
    {"ResetWithoutAxis",
     {"--reset-sensitivity-curve"},
     "Zephcontrol: --reset-sensitivity-curve takes 1 argument (AXIS), got 0"},
    {"ResetAxis6",
     {"--reset-sensitivity-curve", "6"},
     "Zephcontrol: --reset-sensitivity-curve: bad AXIS \"6\" (expected 0..5)"},
    {"ResetNegativeAxis",
     {"--reset-sensitivity-curve", "-1"},
     "Zephcontrol: --reset-sensitivity-curve: bad AXIS \"-1\" (expected 0..5)"},
    {"ResetAxisWithBlank",
     {"--reset-sensitivity-curve", " 1"},
     "Zephcontrol: --reset-sensitivity-curve: bad AXIS \" 1\" (expected 0..5)"},
    {"ResetEmptyAxis",
     {"--reset-sensitivity-curve", ""},
     "Zephcontrol: --reset-sensitivity-curve: bad AXIS \"\" (expected 0..5)"},
    {"UploadMissingFile",
     {"--upload-sensitivity-curve", "1", "C:\\Zeph\\curves\\none.crv"},
     "Zephcontrol: --upload-sensitivity-curve: curve file \"C:\\Zeph\\curves\\none.crv\" not "
     "found"},
    {"UploadProfileError",
     {"--upload-sensitivity-curve", "1", "ERROR"},
     "Zephcontrol: --upload-sensitivity-curve: curve file \"ERROR\" not found"},
    {"UploadEmptyPath",
     {"--upload-sensitivity-curve", "1", ""},
     "Zephcontrol: --upload-sensitivity-curve: curve file \"\" not found"},
    {"UploadUnquotedBlank",
     {"--upload-sensitivity-curve", "0", "C:\\My", "Curves\\a b.crv"},
     "Zephcontrol: --upload-sensitivity-curve takes 2 arguments (AXIS PATH), got 3"},
    {"UploadWithoutPath",
     {"--upload-sensitivity-curve", "0"},
     "Zephcontrol: --upload-sensitivity-curve takes 2 arguments (AXIS PATH), got 1"},
    {"UploadBadAxisBeforePath",
     {"--upload-sensitivity-curve", "9", "rel.crv"},
     "Zephcontrol: --upload-sensitivity-curve: bad AXIS \"9\" (expected 0..5)"},
    {"ChordingWithoutValue",
     {"--set-chording"},
     "Zephcontrol: --set-chording takes 1 argument (on|off), got 0"},
    {"ChordingCapitals",
     {"--set-chording", "ON"},
     "Zephcontrol: --set-chording: bad value \"ON\" (expected on or off)"},
    {"ChordingExtra",
     {"--set-chording", "on", "off"},
     "Zephcontrol: --set-chording takes 1 argument (on|off), got 2"},
    {"NullRegionTooBig",
     {"--set-null-region", "1000"},
     "Zephcontrol: --set-null-region: bad N \"1000\" (expected a whole number 0..999)"},
    {"NullRegionNegative",
     {"--set-null-region", "-5"},
     "Zephcontrol: --set-null-region: bad N \"-5\" (expected a whole number 0..999)"},
    {"NullRegionProfileError",
     {"--set-null-region", "ERROR"},
     "Zephcontrol: --set-null-region: bad N \"ERROR\" (expected a whole number 0..999)"},
    {"NullRegionTrailingText",
     {"--set-null-region", "12a"},
     "Zephcontrol: --set-null-region: bad N \"12a\" (expected a whole number 0..999)"},
    {"NullRegionHuge",
     {"--set-null-region", "99999999999999999999"},
     "Zephcontrol: --set-null-region: bad N \"99999999999999999999\" (expected a whole number "
     "0..999)"},
    {"NullRegionMissing",
     {"--set-null-region"},
     "Zephcontrol: --set-null-region takes 1 argument (N), got 0"},
    {"SensitivityWithoutValue",
     {"--set-sensitivity", "1"},
     "Zephcontrol: --set-sensitivity takes 2 arguments (AXIS N), got 1"},
    {"SensitivityBadAxis",
     {"--set-sensitivity", "x", "10"},
     "Zephcontrol: --set-sensitivity: bad AXIS \"x\" (expected 0..5)"},
    {"GainAxis7",
     {"--set-gain", "7", "10"},
     "Zephcontrol: --set-gain: bad AXIS \"7\" (expected 0..5)"},
    {"GainTooBig",
     {"--set-gain", "1", "1000"},
     "Zephcontrol: --set-gain: bad N \"1000\" (expected a whole number 0..999)"},
    {"MasterSensitivityEmpty",
     {"--set-master-sensitivity", ""},
     "Zephcontrol: --set-master-sensitivity: bad N \"\" (expected a whole number 0..999)"},
    {"MasterGainMissing",
     {"--set-master-gain"},
     "Zephcontrol: --set-master-gain takes 1 argument (N), got 0"},
    {"AxisDigit6",
     {"--set-axis", "6", "0"},
     "Zephcontrol: --set-axis: bad DIGIT \"6\" (expected 0..5)"},
    {"AxisSlot6",
     {"--set-axis", "0", "6"},
     "Zephcontrol: --set-axis: bad SLOT \"6\" (expected 0..5)"},
    {"AxisMissingSlot",
     {"--set-axis", "1"},
     "Zephcontrol: --set-axis takes 2 arguments (DIGIT SLOT), got 1"},
    {"PolarityWord",
     {"--set-polarity", "0", "plus"},
     "Zephcontrol: --set-polarity: bad value \"plus\" (expected + or -)"},
    {"PolarityBoth",
     {"--set-polarity", "0", "+-"},
     "Zephcontrol: --set-polarity: bad value \"+-\" (expected + or -)"},
    {"PolarityMissing",
     {"--set-polarity", "0"},
     "Zephcontrol: --set-polarity takes 2 arguments (AXIS +|-), got 1"},
    {"PrecisionModeCapitals",
     {"--set-precision-button", "Toggle", "4"},
     "Zephcontrol: --set-precision-button: bad MODE \"Toggle\" (expected a lower-case word)"},
    {"PrecisionModeTwoWords",
     {"--set-precision-button", "on hold", "4"},
     "Zephcontrol: --set-precision-button: bad MODE \"on hold\" (expected a lower-case word)"},
    {"PrecisionButton16",
     {"--set-precision-button", "toggle", "16"},
     "Zephcontrol: --set-precision-button: bad BUTTON \"16\" (expected 0..15)"},
    {"PrecisionButtonMissing",
     {"--set-precision-button", "toggle"},
     "Zephcontrol: --set-precision-button takes 2 arguments (MODE BUTTON), got 1"},
    {"PrecisionSensitivityNegative",
     {"--set-precision-sensitivity", "-1"},
     "Zephcontrol: --set-precision-sensitivity: bad N \"-1\" (expected a whole number 0..999)"},
    {"PrecisionGainMissing",
     {"--set-precision-gain"},
     "Zephcontrol: --set-precision-gain takes 1 argument (N), got 0"},
};

INSTANTIATE_TEST_SUITE_P(Control, BadCommand, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) {
                           return std::string(info.param.name);
                         });

// --- the state file's text

TEST(ControllerStateText, DefaultsAreTheDocumentedOnes) {
  const ControllerState d = ControllerState::Defaults();
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"Chording", "off"},
      {"NullRegion", "0"},
      {"Sensitivity0", "50"},
      {"Sensitivity5", "50"},
      {"Gain0", "50"},
      {"Gain5", "50"},
      {"MasterSensitivity", "50"},
      {"MasterGain", "50"},
      {"Axis0", "0"},
      {"Axis3", "3"},
      {"Axis5", "5"},
      {"Polarity0", "+"},
      {"Polarity5", "+"},
      {"PrecisionMode", "none"},
      {"PrecisionButton", "0"},
      {"PrecisionSensitivity", "50"},
      {"PrecisionGain", "50"},
      {"Curve0", "default"},
      {"Curve5", "default"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(value, d.Get(key)) << key;
  EXPECT_EQ(5u * 6 + 8, d.Fields().size());  // five per-axis groups, eight single keys
}

TEST(ControllerStateText, IsOneSectionOfKeyLinesInFixedOrder) {
  ControllerState s = ControllerState::Defaults();
  s.Set("Curve2", "C:\\My Curves\\a b.crv");
  const std::string text = s.ToIni();
  EXPECT_EQ(0u, text.find("[CONTROLLER]\nChording=off\nNullRegion=0\nSensitivity0=50\n"));
  EXPECT_NE(std::string::npos, text.find("\nCurve2=C:\\My Curves\\a b.crv\n"));
  EXPECT_EQ(text.size() - 1, text.rfind('\n'));
}

TEST(ControllerStateText, ReadsBackWhatItWrites) {
  ControllerState s = ControllerState::Defaults();
  s.Set("Chording", "on");
  s.Set("Axis1", "2");
  s.Set("Polarity4", "-");
  s.Set("Curve0", "\\tmp\\zeph\\curves\\x.crv");
  EXPECT_EQ(s, ControllerState::FromIni(s.ToIni()));
  EXPECT_NE(ControllerState::Defaults(), s);
}

TEST(ControllerStateText, MissingFileOrKeysMeanTheDefaults) {
  EXPECT_EQ(ControllerState::Defaults(), ControllerState::FromIni(""));
  // Other sections and unknown keys are ignored; names match in any case;
  // Windows line ends and quoted values read as the profile functions do.
  ControllerState s = ControllerState::FromIni(
      "[OTHER]\r\nChording=on\r\n[controller]\r\nnullregion = 12\r\nGain3=\"7\"\r\nJunk=1\r\n");
  EXPECT_EQ("off", s.Get("Chording"));
  EXPECT_EQ("12", s.Get("NullRegion"));
  EXPECT_EQ("7", s.Get("Gain3"));
  EXPECT_EQ("50", s.Get("Gain2"));
  EXPECT_EQ("", s.Get("Junk"));
}

TEST(ControllerStateText, KnowsOnlyItsOwnKeys) {
  ControllerState s = ControllerState::Defaults();
  EXPECT_FALSE(s.Set("Sensitivity6", "1"));
  EXPECT_FALSE(s.Set("chording", "on"));
  EXPECT_EQ(ControllerState::Defaults(), s);
}

TEST(ControlLog, JoinsArgumentsQuotingOnlyWhatNeedsIt) {
  const std::vector<std::pair<Args, const char*>> rows = {
      {{"--set-defaults"}, "--set-defaults"},
      {{"--set-gain", "1", "20"}, "--set-gain 1 20"},
      {{"--upload-sensitivity-curve", "1", "C:\\a b\\c.crv"},
       "--upload-sensitivity-curve 1 \"C:\\a b\\c.crv\""},
      {{"--set-null-region", ""}, "--set-null-region \"\""},
      {{}, ""},
  };
  for (const auto& [args, line] : rows) EXPECT_EQ(line, JoinArguments(args));
}

// --- the event utility's and the customizer's reports

TEST(EventReport, ListsEveryKeyInFixedOrderWithQuotesRemoved) {
  const std::string ini =
      "[DEADZONE]\r\nDEADZONE_0=10\r\nDEADZONE_5=55\r\n"
      "[MOTIONS]\r\nMOTION_0_POS=\"X\"\r\nMOTION_0_NEG=\"X\"\r\nMOTION_3_NEG=\"'\"\r\n"
      "MOTION_5_POS=\"\"\"\r\n"
      "[BUTTONS]\r\nBUTTON_0=\"fire\"\r\nBUTTON_3=\"east\"\r\nBUTTON_15=\"a b\"\r\n";
  const std::vector<std::string> lines = EventReportLines(ini);
  ASSERT_EQ(6u + 12u + 16u, lines.size());
  EXPECT_EQ("DEADZONE DEADZONE_0=10", lines[0]);
  EXPECT_EQ("DEADZONE DEADZONE_1=", lines[1]);
  EXPECT_EQ("DEADZONE DEADZONE_5=55", lines[5]);
  EXPECT_EQ("MOTIONS MOTION_0_POS=X", lines[6]);
  EXPECT_EQ("MOTIONS MOTION_0_NEG=X", lines[7]);
  EXPECT_EQ("MOTIONS MOTION_1_POS=", lines[8]);
  EXPECT_EQ("MOTIONS MOTION_3_NEG='", lines[13]);
  // Only one enclosing pair is removed.
  EXPECT_EQ("MOTIONS MOTION_5_POS=\"", lines[16]);
  EXPECT_EQ("MOTIONS MOTION_5_NEG=", lines[17]);
  EXPECT_EQ("BUTTONS BUTTON_0=fire", lines[18]);
  EXPECT_EQ("BUTTONS BUTTON_3=east", lines[21]);
  EXPECT_EQ("BUTTONS BUTTON_15=a b", lines[33]);
}

TEST(EventReport, AnEmptyFileReportsEveryKeyEmpty) {
  for (const std::string& line : EventReportLines("")) EXPECT_EQ('=', line.back()) << line;
}

TEST(CustomizerReport, ShowsTheCurrentProfile) {
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"[Games]\r\nCurrent=racer.wyn\r\n", "Current profile: racer.wyn"},
      {"[games]\ncurrent = \"flight sim.wyn\"\n", "Current profile: flight sim.wyn"},
      {"[Games]\r\nWYN=racer.wyn\r\n", "Current profile: (none)"},
      {"[Other]\r\nCurrent=racer.wyn\r\n", "Current profile: (none)"},
      {"", "Current profile: (none)"},
  };
  for (const auto& [ini, text] : rows) EXPECT_EQ(text, CustomizerText(ini)) << ini;
}

}  // namespace
}  // namespace zeph::standin

#include "monitor/CommandLine.h"

#include <gtest/gtest.h>

namespace zeph {
namespace {

struct CommandLineCase {
  const char* name;
  const char* args;
  StartAction action;
  bool debug;
  bool skip;
  int refresh;
};

class CommandLineTable : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTable, Parses) {
  const CommandLineCase& c = GetParam();
  CommandLineOptions o = ParseCommandLine(c.args);
  EXPECT_EQ(c.action, o.action);
  if (c.action == StartAction::Run) {
    EXPECT_EQ(c.debug, o.debug);
    EXPECT_EQ(c.skip, o.skipOsCheck);
    EXPECT_EQ(c.refresh, o.refreshInterval);
  }
}

const CommandLineCase kCases[] = {
    {"Empty", "", StartAction::Run, false, false, 1000},
    {"Debug", "-d", StartAction::Run, true, false, 1000},
    {"DebugUpper", "/DEBUG", StartAction::Run, true, false, 1000},
    {"DebugMixed", "-Debug", StartAction::Run, true, false, 1000},
    {"SkipForms", "-s /s -skiposcheck /SkipOsCheck", StartAction::Run, false, true, 1000},
    {"RefreshFraction", "-R 2.5", StartAction::Run, false, false, 2500},
    {"RefreshLongForm", "/refresh 10", StartAction::Run, false, false, 10000},
    {"RefreshOne", "-r 1", StartAction::Run, false, false, 1000},
    {"RefreshHalfDown", "-r 1.0625", StartAction::Run, false, false, 1062},
    {"RefreshHalfUp", "-r 1.1875", StartAction::Run, false, false, 1188},
    // Rounded on the decimal text, not on the nearest binary double.
    {"RefreshDecimalHalfDown", "-r 2.0005", StartAction::Run, false, false, 2000},
    {"RefreshDecimalHalfUp", "-r 2.0015", StartAction::Run, false, false, 2002},
    {"RefreshExponent", "-r 25e-1", StartAction::Run, false, false, 2500},
    {"RefreshJustAboveTen", "-r 10.0001", StartAction::Usage, false, false, 0},
    {"RefreshJustBelowOne", "-r 0.9999", StartAction::Usage, false, false, 0},
    {"ValueConsumed", "-r 5 -d", StartAction::Run, true, false, 5000},
    {"RefreshTooSmall", "-r 0.5", StartAction::Usage, false, false, 0},
    {"RefreshTooLarge", "-r 11", StartAction::Usage, false, false, 0},
    {"RefreshTrailing", "-d -r", StartAction::Usage, false, false, 0},
    {"RefreshNotANumber", "-r abc", StartAction::Usage, false, false, 0},
    {"RefreshHex", "-r 0x5", StartAction::Usage, false, false, 0},
    {"RefreshInfinity", "-r inf", StartAction::Usage, false, false, 0},
    {"RefreshValueIsOption", "-r -d", StartAction::Usage, false, false, 0},
    {"QuestionMark", "-?", StartAction::Usage, false, false, 0},
    {"DoubleBlank", "-d  -s", StartAction::Usage, false, false, 0},
    {"TrailingBlank", "-d ", StartAction::Usage, false, false, 0},
    {"Unknown", "--debug", StartAction::Usage, false, false, 0},
    {"Kill", "-k", StartAction::Kill, false, false, 0},
    {"KillForms", "/KILL", StartAction::Kill, false, false, 0},
    {"KillServedFirst", "-d -k -?", StartAction::Kill, false, false, 0},
    {"BadBeforeKill", "-x -k", StartAction::Usage, false, false, 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandWords, SplitAtEverySingleBlank) {
  EXPECT_TRUE(SplitCommandWords("").empty());
  EXPECT_EQ((std::vector<std::string>{"-d", "", "-s"}), SplitCommandWords("-d  -s"));
  EXPECT_EQ((std::vector<std::string>{"", "-d"}), SplitCommandWords(" -d"));
  EXPECT_EQ((std::vector<std::string>{"-d", ""}), SplitCommandWords("-d "));
}

TEST(UsageText, LinesJoinedByCrLfWithOneEmptyLine) {
  EXPECT_EQ(
      "Command line Options:\r\n\r\n-d for debug mode\r\n-r to set the Monitor refresh rate (1 to "
      "10 seconds)\r\n-s to skip Windows 2000/XP check\r\n-? to bring up this dialog",
      UsageText());
}

}  // namespace
}  // namespace zeph

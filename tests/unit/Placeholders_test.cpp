// Placeholder expansion in custom lines, with the buttons and motion
// aliases of the last activation.
#include "setup/Placeholders.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace zeph {
namespace {

struct Tables {
  std::array<ItemTriple, 16> buttons;
  std::array<ItemTriple, 6> positive, negative;
  Tables() {
    buttons[3] = {"MOUSE2", "Right button", "mb2"};
    buttons[15] = {"F15", "Fifteen", "f"};
    positive[0] = {"W", "Forward", "w"};
    negative[0] = {"S", "Back", "s"};
    positive[5] = {"E", "Up", "e"};
    negative[5] = {"Q", "Down", "q"};
  }
  std::string Expand(const std::string& text) const {
    return ExpandPlaceholders(text, buttons, positive, negative);
  }
};

struct Row {
  const char* name;
  std::string input;
  std::string expected;
};

// "\xa7" is the section sign, "\xa5" the yen sign, "\xa3" the pound sign.
const Row kRows[] = {
    {"ButtonKey",
     "bind \xa7"
     "03; +attack",
     "bind MOUSE2 +attack"},
    {"ButtonName", "bind ^03; +attack", "bind Right button +attack"},
    {"MotionKeyPositive",
     "key=\xa3"
     "00;",
     "key=W"},
    {"MotionKeyNegativeZero", "key=\xa3-0;", "key=S"},
    {"MotionNameBeforeKey",
     "key=\xa5"
     "00;  key2=\xa3"
     "00;",
     "key=Forward  key2=W"},
    {"MotionOutOfRangeStops",
     "x=\xa5"
     "09; y=\xa3"
     "00;",
     "x=\xa5"
     "09; y=\xa3"
     "00;"},
    {"FirstButtonOutOfRangeHidesLaterOnes",
     "\xa7"
     "20; \xa7"
     "03;",
     "\xa7"
     "20; \xa7"
     "03;"},
    {"NoMarkers", "no markers", "no markers"},
    {"EmptyButtonKeyEmptiesText",
     "bind \xa7"
     "05; +jump",
     ""},
    {"EmptyButtonNameIsRemoved", "a^05;b", "ab"},
    {"EmptyMotionKeyEmptiesText",
     "k=\xa3"
     "02;",
     ""},
    {"NumberForms", "^+3.^ 3.^3 .", "Right buttonRight buttonRight button"},
    {"HighestNumbers", "^15.\xa3-5.\xa5+5.", "FifteenQUp"},
    {"PlaceholderCutByTheEnd", "x=^03", "x=Right button"},
    {"MarkerAtTheEnd", "x=^", "x=^"},
    {"LettersAreNoNumber",
     "x=\xa7"
     "ab;",
     "x=\xa7"
     "ab;"},
    {"ButtonOutOfRangeFallsToMotion",
     "^99;\xa3"
     "00;",
     "^99;W"},
    {"SignWithoutDigitIsNoNumber", "x=\xa3- ;", "x=\xa3- ;"},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class PlaceholderRows : public ::testing::TestWithParam<Row> {};

TEST_P(PlaceholderRows, Expand) {
  EXPECT_EQ(Tables().Expand(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Placeholders, PlaceholderRows, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Values are expanded again; one that holds its own placeholder ends the
// expansion after a bounded number of replacements instead of running on.
TEST(Placeholders, ValuesExpandAgainAndSelfReferenceIsBounded) {
  Tables t;
  t.buttons[1] = {"K", "^03;", ""};
  EXPECT_EQ(t.Expand("^01;"), "Right button");
  t.buttons[2] = {"K", "x^02;", ""};
  const std::string out = t.Expand("^02;");
  EXPECT_EQ(out, std::string(kMaxPlaceholderReplacements, 'x') + "^02;");
}

// What expansion leaves because no table has its number is found; what it
// leaves for other reasons (no number at all) is not a placeholder.
TEST(Placeholders, OutOfRangeOnesAreFoundAfterExpansion) {
  Tables t;
  EXPECT_EQ(
      "\xa5"
      "09;",
      OutOfRangePlaceholder(t.Expand("x=\xa5"
                                     "09; y=\xa3"
                                     "00;")));
  EXPECT_EQ(
      "\xa7"
      "20;",
      OutOfRangePlaceholder(t.Expand("\xa7"
                                     "20; \xa7"
                                     "03;")));
  EXPECT_EQ("^99;", OutOfRangePlaceholder(t.Expand("^99;\xa3"
                                                   "00;")));
  EXPECT_EQ("\xa3-6", OutOfRangePlaceholder("k=\xa3-6"));
  for (const char* clean :
       {"HighestNumbers", "LettersAreNoNumber", "MarkerAtTheEnd", "NoMarkers"}) {
    for (const Row& row : kRows) {
      if (std::string(row.name) == clean) {
        EXPECT_EQ("", OutOfRangePlaceholder(row.expected)) << clean;
      }
    }
  }
}

}  // namespace
}  // namespace zeph

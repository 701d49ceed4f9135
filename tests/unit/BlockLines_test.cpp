// Splitting custom lines into their fields.
#include "setup/BlockLines.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace zeph {
namespace {

struct Row {
  const char* name;
  std::string line;
  CustomLineError error;
  std::vector<std::string> fields;
};

const Row kRows[] = {
    {"Append",
     "'autoexec.cfg'\\, 'APPEND'\\, 'bind x jump'\\, 'ALWAYS'",
     CustomLineError::None,
     {"autoexec.cfg", "APPEND", "bind x jump", "ALWAYS"}},
    {"IndentedWithBlanksInsideQuotes",
     "   ' a.cfg '\\,'DELETE'  \\, ' x' ",
     CustomLineError::None,
     {" a.cfg ", "DELETE", " x"}},
    {"PlainCommasStayInTheField",
     "'f'\\, 'MODIFY'\\, 'a, b, c'",
     CustomLineError::None,
     {"f", "MODIFY", "a, b, c"}},
    {"AnyQuoteCharacter", "\"f\"\\, xINIx\\, ''", CustomLineError::None, {"f", "INI", ""}},
    {"EmptyFieldWithoutQuotes", "'f'\\, 'INI'\\,\\, 'k'", CustomLineError::ShortField, {}},
    {"BlanksOnly", "   ", CustomLineError::ShortField, {}},
    {"OneCharacterField", "'f'\\, x", CustomLineError::ShortField, {}},
    {"OneField", "'file.cfg'", CustomLineError::NoCommandWord, {}},
    {"TrailingSeparator", "'f'\\, 'DELETE'\\,", CustomLineError::ShortField, {}},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class CustomLineRows : public ::testing::TestWithParam<Row> {};

TEST_P(CustomLineRows, Split) {
  std::vector<std::string> fields{"stale"};
  EXPECT_EQ(SplitCustomLine(GetParam().line, &fields), GetParam().error);
  EXPECT_EQ(fields, GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(CustomLine, CustomLineRows, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zeph

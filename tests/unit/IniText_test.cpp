// The INI reader and writer on contents in memory: the differential corpus
// with its Windows results (no system functions needed, so it runs
// everywhere), and what that corpus does not vary.
#include "system/IniText.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "../ini_diff/IniCorpus.h"

namespace {

using zeph::ini::GetString;
using zeph::ini::SetString;

constexpr size_t kBuffer = 255;  // what the monitor passes

// --- the differential corpus, checked natively against its Windows results

using zeph::inidiff::kReadCases;
using zeph::inidiff::kWriteCases;

class IniCorpusRead : public ::testing::TestWithParam<zeph::inidiff::ReadCase> {};

TEST_P(IniCorpusRead, AsWindows) {
  const auto& c = GetParam();
  EXPECT_EQ(GetString(c.contents, c.section, c.key, "ERROR", kBuffer), c.windows);
}

INSTANTIATE_TEST_SUITE_P(IniText, IniCorpusRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

class IniCorpusWrite : public ::testing::TestWithParam<zeph::inidiff::WriteCase> {};

TEST_P(IniCorpusWrite, ExactBytes) {
  const auto& c = GetParam();
  EXPECT_EQ(SetString(c.contents, c.section, c.key, c.value), c.windows);
}

TEST_P(IniCorpusWrite, ReadsBack) {
  const auto& c = GetParam();
  const std::string after = SetString(c.contents, c.section, c.key, c.value);
  for (const auto& p : c.probes) {
    EXPECT_EQ(GetString(after, p.section, p.key, "ERROR", kBuffer), p.windows)
        << "[" << p.section << "] " << p.key;
  }
}

// Everything around the changed or added text stays as it was: no line end
// is removed, and whatever is added ends its lines with CR LF.
TEST_P(IniCorpusWrite, TouchesOneSpot) {
  const auto& c = GetParam();
  const std::string after = SetString(c.contents, c.section, c.key, c.value);
  size_t head = 0;
  while (head < c.contents.size() && head < after.size() && c.contents[head] == after[head]) {
    ++head;
  }
  size_t tail = 0;
  while (tail < c.contents.size() - head && tail < after.size() - head &&
         c.contents[c.contents.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  const std::string removed = c.contents.substr(head, c.contents.size() - head - tail);
  const std::string added = after.substr(head, after.size() - head - tail);
  EXPECT_EQ(removed.find_first_of("\r\n"), std::string::npos) << "a line end went: " << removed;
  for (size_t i = 0; i < added.size(); ++i) {
    if (added[i] == '\n') {
      EXPECT_TRUE(i > 0 && added[i - 1] == '\r') << "bare LF written";
    }
    if (added[i] == '\r') {
      EXPECT_TRUE(i + 1 < added.size() && added[i + 1] == '\n') << "bare CR written";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(IniText, IniCorpusWrite, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- what the corpus does not vary: defaults and buffer sizes

struct SizedRead {
  const char* name;
  std::string contents;
  std::string def;
  size_t bufferSize;
  std::string expected;
};

const SizedRead kSizedReads[] = {
    {"SmallBuffer", "[a]\r\nx=abcd\r\n", "E", 4, "abc"},
    {"SmallBufferQuotedFits", "[a]\r\nx=\"abcd\"\r\n", "E", 6, "abcd"},
    {"SmallBufferQuotedFillingLosesOne", "[a]\r\nx=\"abcd\"\r\n", "E", 5, "abc"},
    {"SmallBufferQuotedCut", "[a]\r\nx=\"abcd\"\r\n", "E", 3, "ab"},
    {"BufferOfOne", "[a]\r\nx=abcd\r\n", "E", 1, ""},
    {"BufferOfNone", "[a]\r\nx=abcd\r\n", "E", 0, ""},
    {"BufferOfOneEmptyQuotes", "[a]\r\nx=\"\"\r\n", "E", 1, ""},
    {"DefaultTrailingSpacesGo", "", "dflt   ", kBuffer, "dflt"},
    {"DefaultTrailingTabStays", "", "dflt \t ", kBuffer, "dflt \t"},
    {"DefaultLeadingSpacesStay", "", "  dflt", kBuffer, "  dflt"},
    {"DefaultQuotesGo", "", "\"dflt\" ", kBuffer, "dflt"},
    {"DefaultEmpty", "", "", kBuffer, ""},
    {"DefaultCut", "", "0123456789", 5, "0123"},
    {"DefaultForKeyWithoutEquals", "[a]\r\nx\r\n", "none", kBuffer, "none"},
    {"EmptyValueIsNotDefault", "[a]\r\nx=\r\n", "none", kBuffer, ""},
};

void PrintTo(const SizedRead& c, std::ostream* os) { *os << c.name; }

class IniSizedRead : public ::testing::TestWithParam<SizedRead> {};

TEST_P(IniSizedRead, AsWindows) {
  const SizedRead& c = GetParam();
  EXPECT_EQ(GetString(c.contents, "a", "x", c.def, c.bufferSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(IniText, IniSizedRead, ::testing::ValuesIn(kSizedReads),
                         [](const auto& info) { return std::string(info.param.name); });

// Several writes in a row build the file Windows builds.
TEST(IniWriteSequence, BuildsUpAFile) {
  std::string text;
  text = SetString(text, "App1", "key1", "string1");
  text = SetString(text, "App1", "key2", "string2");
  text = SetString(text, "App2", "key3", "string3");
  text = SetString(text, "app1", "KEY1", "again");
  EXPECT_EQ(text, "[App1]\r\nkey1=again\r\nkey2=string2\r\n[App2]\r\nkey3=string3\r\n");
}

}  // namespace

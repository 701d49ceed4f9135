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

// --- the index an activation reads its profile through

class CountingSource final : public zeph::ini::ByteSource {
 public:
  explicit CountingSource(const std::string& bytes) : inner_(bytes) {}
  bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override {
    const bool ok = inner_.ReadAt(offset, out, size, got);
    bytes += *got;
    return ok;
  }
  uint64_t bytes = 0;

 private:
  zeph::ini::StringSource inner_;
};

std::string ProfileWithKeys(int count, const std::string& before) {
  std::string text = "[Game]\r\n" + before;
  for (int i = 0; i < count; ++i)
    text += "KEY" + std::to_string(i) + " = v" + std::to_string(i) + "\r\n";
  return text + "[Other]\r\nKEY0=other\r\n";
}

// A profile with one 5 MB line is scanned once; each read then fetches its
// value only (one scan per key made such a profile take seconds).
TEST(IniIndex, ManyReadsScanTheFileOnce) {
  const std::string text = ProfileWithKeys(60, "NOTE=" + std::string(5 << 20, 'n') + "\r\n");
  CountingSource source(text);
  zeph::ini::Index index;
  ASSERT_TRUE(index.Build(&source));
  EXPECT_TRUE(index.complete());
  EXPECT_LE(source.bytes, text.size() + 2);
  const uint64_t built = source.bytes;
  std::string value;
  for (int i = 0; i < 60; ++i) {
    ASSERT_TRUE(index.Read(&source, "game", "key" + std::to_string(i), "ERROR", kBuffer, &value));
    EXPECT_EQ(value, "v" + std::to_string(i));
  }
  ASSERT_TRUE(index.Read(&source, "Game", "ABSENT", "ERROR", kBuffer, &value));
  EXPECT_EQ(value, "ERROR");
  EXPECT_LT(source.bytes - built, 60u * 8);
}

// Past its limits the index still gives every answer a scan gives.
TEST(IniIndex, BeyondItsLimitsAnswersAsAScan) {
  const std::string text = ProfileWithKeys(12, "LONGNAME=long\r\nKEY3\r\n");
  zeph::ini::IndexLimits limits;
  limits.entries = 6;
  limits.nameLength = 5;
  zeph::ini::StringSource source(text);
  zeph::ini::Index index;
  ASSERT_TRUE(index.Build(&source, limits));
  EXPECT_FALSE(index.complete());
  for (const std::string section : {"Game", "Other", "None"}) {
    for (const std::string key : {"LONGNAME", "KEY0", "KEY3", "KEY5", "KEY11", "ABSENT"}) {
      std::string value;
      ASSERT_TRUE(index.Read(&source, section, key, "ERROR", kBuffer, &value));
      EXPECT_EQ(value, GetString(text, section, key, "ERROR", kBuffer)) << section << "/" << key;
    }
  }
}

}  // namespace

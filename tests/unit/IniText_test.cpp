// The INI reader and writer on contents in memory: the differential corpus
// with its Windows results (no system functions needed, so it runs
// everywhere), and what that corpus does not vary.
#include "system/IniText.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "../ini_diff/IniCorpus.h"
#include "system/fake/FakeSystem.h"

namespace {

using zeph::IniEntry;
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

// The file as the entries written at once leave it; the edits must come in
// file order and apart, as ApplyEdits takes them.
std::string WrittenAtOnce(const std::string& contents, const std::vector<IniEntry>& entries) {
  zeph::ini::StringSource source(contents);
  std::vector<zeph::ini::Edit> edits;
  EXPECT_TRUE(zeph::ini::PlanWrites(&source, entries, &edits));
  for (size_t i = 1; i < edits.size(); ++i)
    EXPECT_LE(edits[i - 1].to, edits[i].from) << "edit " << i << " is out of order";
  std::string out;
  zeph::ini::ApplyEdits(&source, edits, [&out](const char* data, size_t size) {
    out.append(data, size);
    return true;
  });
  return out;
}

std::string WrittenOneByOne(std::string contents, const std::vector<IniEntry>& entries) {
  for (const IniEntry& e : entries) contents = SetString(contents, e.section, e.key, e.value);
  return contents;
}

// Each file of the corpus with writes that build on one another: a key in a
// section an earlier write made, a key written twice, a new key between.
TEST_P(IniCorpusWrite, ManyKeysAtOnceAsOneByOne) {
  const auto& c = GetParam();
  const std::vector<IniEntry> entries = {
      {c.section, c.key, c.value}, {"Added", "first", "1"},  {c.section, "Later", "x"},
      {"added", "FIRST", "again"}, {"Added", "second", "2"}, {c.section, c.key, "last"},
  };
  EXPECT_EQ(WrittenAtOnce(c.contents, entries), WrittenOneByOne(c.contents, entries));
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

// --- many keys of one file written at once

// What the file holds already, or a key changed and then put back, gives no
// edit: the file is not rewritten.
TEST(IniWriteMany, NothingChangedGivesNoEdit) {
  const std::string text = "[A]\r\nk=1\r\n[B]\r\nj=2";
  zeph::ini::StringSource source(text);
  std::vector<zeph::ini::Edit> edits;
  ASSERT_TRUE(zeph::ini::PlanWrites(&source, {{"a", "K", "1"}, {"B", "j", "2"}}, &edits));
  EXPECT_TRUE(edits.empty());
  ASSERT_TRUE(zeph::ini::PlanWrites(&source, {{"A", "k", "9"}, {"A", "k", "1"}}, &edits));
  EXPECT_TRUE(edits.empty());
}

// Thirty-five keys into a 1 MB profile: the edits hold what changes, never
// the file's bytes.
TEST(IniWriteMany, EditsOfABigFileHoldOnlyWhatChanges) {
  const std::string text = ProfileWithKeys(40, "NOTE=" + std::string(1 << 20, 'n') + "\r\n");
  std::vector<IniEntry> entries;
  for (int i = 0; i < 35; ++i) entries.push_back({"Game", "KEY" + std::to_string(i * 7 % 45), "w"});
  entries.push_back({"New", "KEY", "v"});
  zeph::ini::StringSource source(text);
  std::vector<zeph::ini::Edit> edits;
  ASSERT_TRUE(zeph::ini::PlanWrites(&source, entries, &edits));
  size_t held = 0;
  for (const auto& e : edits) held += e.bytes.size();
  EXPECT_LT(held, 1024u);
  EXPECT_EQ(WrittenAtOnce(text, entries), WrittenOneByOne(text, entries));
}

// A file that cannot be read to its end gives no edits: a write must not
// replace it with the part that could be read.
TEST(IniWriteMany, AReadFailureIsAFailure) {
  class BrokenSource final : public zeph::ini::ByteSource {
   public:
    explicit BrokenSource(const std::string& bytes) : inner_(bytes) {}
    bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override {
      *got = 0;
      return offset < 100 && inner_.ReadAt(offset, out, std::min<size_t>(size, 100 - offset), got);
    }

   private:
    zeph::ini::StringSource inner_;
  };
  const std::string text = ProfileWithKeys(20, "");
  BrokenSource source(text);
  std::vector<zeph::ini::Edit> edits;
  EXPECT_FALSE(zeph::ini::PlanWrites(&source, {{"Game", "ABSENT", "a"}}, &edits));
}

// Where the platform has no write of its own for many keys, each is written
// in turn, past a failure, and the first failure is the answer.
TEST(IniWriteMany, OneByOneGoesOnPastAFailure) {
  zeph::FakeSystem sys;
  sys.AddFolder("C:\\Zeph");
  sys.failCall = 2;
  zeph::SystemError err;
  EXPECT_FALSE(sys.Seam().ini.WriteStrings(
      "C:\\Zeph\\s.ini", {{"A", "one", "1"}, {"A", "two", "2"}, {"A", "three", "3"}}, &err));
  EXPECT_NE(err.code, 0);
  EXPECT_EQ(sys.FileContents("C:\\Zeph\\s.ini"), "[A]\r\none=1\r\nthree=3\r\n");
}

}  // namespace

// The set-up pass's rules that need no files, and its line streams.
#include "setup/EditRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "system/TextStreams.h"
#include "system/fake/FakeSystem.h"
#include "tests/support/PieceReader.h"

namespace zeph {
namespace {

using testing::PieceReader;

TEST(EditRules, LineMatching) {
  struct Row {
    const char* name;
    std::string mode, text, line;
    bool drops;
  } rows[] = {
      {"BeginsWith", "0", "bind y", "BIND Y mouse1", true},
      {"BeginsWithNotAfterBlanks", "0", "bind x", "  Bind X  ", false},
      {"EmptyTextBeginsEveryLine", "0", "", "anything", true},
      {"TrimmedEquals", "1", "bind x", "  Bind X  ", true},
      {"TrimmedEqualsOnlyBlanksForEmpty", "1", "", "   ", true},
      {"TrimmedNotPartOf", "1", "bind", "bind x", false},
      {"Anywhere", "2", "jump", "bind space +JUMP", true},
      {"AnywhereNot", "2", "jumpx", "bind space +jump", false},
      {"OtherModeDropsNothing", "5", "", "x", false},
  };
  for (const Row& r : rows) EXPECT_EQ(r.drops, DeleteRule(r.text, r.mode).Drops(r.line)) << r.name;

  ModifyRule mouse("set mouse %", "set mouse 1");
  EXPECT_TRUE(mouse.Matches("SET MOUSE 0"));
  EXPECT_FALSE(mouse.Matches("set mousex 0"));
  ModifyRule overlap("ab%bc", "x");
  EXPECT_TRUE(overlap.Matches("abc"));  // prefix and suffix tested apart
  EXPECT_FALSE(overlap.Matches("abx"));
  ModifyRule secondPercent("a%b%", "x");  // the suffix is "b%"
  EXPECT_TRUE(secondPercent.Matches("a-b%"));
  EXPECT_FALSE(ModifyRule("", "x").Active());
  EXPECT_FALSE(ModifyRule("a", "").Matches("a"));

  std::string scratch;
  EXPECT_EQ("high;high;shigh", ReplaceRule("low", "high").Apply("Low;LOW;slow", &scratch));
  EXPECT_EQ("XX", ReplaceRule("aa", "X").Apply("aaaa", &scratch));  // not overlapping
  EXPECT_EQ("same", ReplaceRule("", "X").Apply("same", &scratch));

  EXPECT_TRUE(HoldsLine("  BIND X jump ", "bind x jump"));
  EXPECT_FALSE(HoldsLine("bind x jump;", "bind x jump"));
  // Both letter cases of the first character are found, wherever they come first.
  EXPECT_EQ(5u, FindNoCase("aaaaaAb", "ab"));
  EXPECT_EQ(std::string::npos, FindNoCase("ab", "abc"));
}

TEST(EditRules, RevisionsAndNumbers) {
  struct Row {
    const char* name;
    std::string marker, profile;
    bool covers;
  } rows[] = {
      {"Same", "3", "3", true},
      {"Older", "3", "4", false},
      {"TenCoversNine", "10", "9", true},
      {"NineDoesNotCoverTen", "9", "10", false},
      {"LeadingZeros", "010", "10", true},
      {"LongNumbers", "123456789012345678901", "99", true},
      {"MarkerNotWhole", "ERROR", "3", false},
      {"TextIgnoringCase", "b", "A", true},
      {"TextOlder", "1.2a", "1.2b", false},
      {"BothMissing", "ERROR", "error", true},
      {"ProfileNotWholeTextRule", "2", "1.5", true},
  };
  for (const Row& r : rows) EXPECT_EQ(r.covers, RevisionCovers(r.marker, r.profile)) << r.name;

  struct Number {
    const char* text;
    bool ok;
    int32_t value;
  } numbers[] = {
      {"-1", true, -1},
      {" +42 ", true, 42},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"0x10", true, 16},
      {"&HFFFFFFFF", true, -1},
      {"0x123456789", false, 0},
      {"abc", false, 0},
      {"1.5", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"00000000000000000007", true, 7},
  };
  for (const Number& n : numbers) {
    int32_t value = 0;
    EXPECT_EQ(n.ok, ParseDwordData(n.text, &value)) << n.text;
    if (n.ok) {
      EXPECT_EQ(n.value, value) << n.text;
    }
  }
}

// Lines as the text streams read them, and bytes as they write them.
TEST(TextStreams, LineEndsAndBytes) {
  FakeSystem sys;
  sys.AddFolder("C:\\t");
  std::string all;
  for (int b = 0; b < 256; ++b)
    if (b != '\n' && b != '\r') all += static_cast<char>(b);
  const std::string longLine(200000, 'x');  // longer than the read buffer
  sys.AddFile("C:\\t\\a.txt", "one\r\ntwo\nthree\rsame\r\n\r\n\r\r\n\n\r" + all + "\n" + longLine);
  ReadResult result;
  auto in = OpenLines(sys.Seam().files, "C:\\t\\a.txt", &result, nullptr);
  ASSERT_TRUE(in);
  std::string line;
  std::vector<std::pair<std::string, std::string>> got;
  while (in->Next(&line, nullptr) == LineRead::Line) got.emplace_back(line, in->LastEnding());
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"one", "\r\n"}, {"two", "\n"}, {"three", "\r"}, {"same", "\r\n"}, {"", "\r\n"},  {"", "\r"},
      {"", "\r\n"},    {"", "\n"},    {"", "\r"},      {all, "\n"},      {longLine, ""}};
  EXPECT_EQ(expected, got);
  EXPECT_TRUE(in->AtEnd(nullptr));
  EXPECT_FALSE(in->Failed());

  LineWriter out(sys.Seam().files.CreateWorkFile("C:\\t\\b.txt", nullptr));
  ASSERT_TRUE(out.WriteLine(all, nullptr) && out.WriteLine(longLine, nullptr) &&
              out.Commit(nullptr));
  EXPECT_EQ(all + "\r\n" + longLine + "\r\n", sys.FileContents("C:\\t\\b.txt"));
}

// Lines and line ends read from text handed out in pieces of the given sizes.
std::vector<std::string> ReadPieces(const std::string& text, std::vector<size_t> pieces) {
  LineReader in(std::make_unique<PieceReader>(text, std::move(pieces)));
  std::vector<std::string> got;
  std::string line;
  while (in.Next(&line, nullptr) == LineRead::Line) got.push_back(line + "|" + in.LastEnding());
  EXPECT_FALSE(in.Failed());
  return got;
}

// A CR LF split between two reads is one line end; a CR last in a read and
// a CR last in the file end their lines alone.
TEST(TextStreams, LineEndsSplitBetweenReads) {
  const std::string text = "a\r\nb\rc\r\r\nd\n\re\r";
  const std::vector<std::string> whole = {"a|\r\n", "b|\r", "c|\r", "|\r\n", "d|\n", "|\r", "e|\r"};
  EXPECT_EQ(whole, ReadPieces(text, {1000}));
  for (size_t piece = 1; piece <= 4; ++piece) EXPECT_EQ(whole, ReadPieces(text, {piece})) << piece;
  EXPECT_EQ(whole, ReadPieces(text, {2, 1, 3}));
  // The CR of "input=mouse\r" last in one read, its LF first in the next.
  EXPECT_EQ((std::vector<std::string>{"input=mouse|\r\n", "x|"}),
            ReadPieces("input=mouse\r\nx", {12, 1}));
}

// A line longer than the limit fails the read with its code and the file's
// name, after reading little more than the limit; one at the limit is read.
TEST(TextStreams, ALineLongerThanTheLimitFails) {
  struct Row {
    const char* name;
    std::string text;
    bool fails;
  } rows[] = {
      {"AtTheLimit", std::string(16, 'x') + "\r\ny", false},
      {"LastLineAtTheLimit", "a\n" + std::string(16, 'x'), false},
      {"CrAfterTheLimit", std::string(17, 'x') + "\r", true},
      {"NoLineEnd", std::string(1000, '\0'), true},
      {"LaterLine", "short\n" + std::string(40, 'x') + "\n", true},
  };
  for (const Row& r : rows) {
    auto piece = std::make_unique<PieceReader>(r.text, std::vector<size_t>{3});
    LineReader in(std::move(piece), "C:\\t\\a.txt", 16);
    std::string line;
    LineRead read;
    SystemError err;
    while ((read = in.Next(&line, &err)) == LineRead::Line) {
    }
    EXPECT_EQ(r.fails, read == LineRead::Failed) << r.name;
    EXPECT_EQ(r.fails, in.Failed()) << r.name;
    if (r.fails) {
      EXPECT_EQ(kLineTooLongCode, err.code) << r.name;
      EXPECT_EQ("line longer than 16 bytes in C:\\t\\a.txt", err.text) << r.name;
      EXPECT_EQ(LineRead::Failed, in.Next(&line, &err)) << r.name;
    }
  }
  // With the real limit, a file of zeros is given up after about that much.
  std::string zeros(8 << 20, '\0');
  auto counted = std::make_unique<PieceReader>(zeros, std::vector<size_t>{zeros.size()});
  PieceReader& reader = *counted;
  LineReader in(std::move(counted));
  std::string line;
  EXPECT_EQ(LineRead::Failed, in.Next(&line, nullptr));
  EXPECT_LE(reader.read, kMaxLineBytes + 64 * 1024);
}

}  // namespace
}  // namespace zeph

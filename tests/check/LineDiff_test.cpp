// Diffs must be exact to the byte: applying one to the old text gives the
// new text, line ends and a missing last line end included.
#include "check/LineDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/support/PieceReader.h"

namespace zeph {
namespace {

TEST(LineDiff, HunksCountLinesAndKeepThreeLinesOfContext) {
  std::string before, after;
  for (int i = 1; i <= 20; ++i) {
    before += "line " + std::to_string(i) + "\r\n";
    after += i == 10 ? std::string("changed\r\n") : "line " + std::to_string(i) + "\r\n";
  }
  EXPECT_EQ(
      "--- a\n+++ b\n@@ -7,7 +7,7 @@\n line 7\r\n line 8\r\n line 9\r\n-line 10\r\n+changed\r\n"
      " line 11\r\n line 12\r\n line 13\r\n",
      UnifiedDiff(before, after, "a", "b"));
  EXPECT_EQ("", UnifiedDiff(before, before, "a", "b"));
}

TEST(LineDiff, LineEndsAndTheLastLineAreChangesOfTheirOwn) {
  struct Row {
    const char *name, *before, *after, *diff;
  } rows[] = {
      {"LF becomes CR LF", "a\nb\n", "a\r\nb\r\n",
       "--- x\n+++ y\n@@ -1,2 +1,2 @@\n-a\n-b\n+a\r\n+b\r\n"},
      {"a last line end added", "a\nb", "a\nb\r\n",
       "--- x\n+++ y\n@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\r\n"},
      {"from nothing", "", "new\r\n", "--- x\n+++ y\n@@ -0,0 +1,1 @@\n+new\r\n"},
      {"to nothing", "old\n", "", "--- x\n+++ y\n@@ -1,1 +0,0 @@\n-old\n"},
  };
  for (const Row& row : rows) {
    const std::string diff = UnifiedDiff(row.before, row.after, "x", "y");
    EXPECT_EQ(row.diff, diff) << row.name;
    std::string applied;
    ASSERT_TRUE(ApplyUnifiedDiff(row.before, diff, &applied)) << row.name;
    EXPECT_EQ(row.after, applied) << row.name;
  }
}

TEST(LineDiff, RandomEditsApplyBackExactly) {
  std::mt19937 random(7);
  const char* const pieces[] = {"a\r\n", "b\n", "c\r\n", "\r\n", "\n", "d\re\n", "\xff\x00z\n"};
  auto text = [&](int lines) {
    std::string t;
    for (int i = 0; i < lines; ++i) t += pieces[random() % 7];
    if (random() % 2) t += "end";
    return t;
  };
  for (int round = 0; round < 300; ++round) {
    const std::string before = text(static_cast<int>(random() % 40));
    std::string after = before;
    for (int e = static_cast<int>(random() % 5); e > 0; --e) {
      size_t at = after.empty() ? 0 : random() % after.size();
      if (random() % 2)
        after.insert(at, pieces[random() % 7]);
      else
        after.erase(at, random() % 6);
    }
    std::string applied;
    const std::string diff =
        UnifiedDiff(before, after, "old", "new", static_cast<int>(random() % 4));
    ASSERT_TRUE(ApplyUnifiedDiff(before, diff, &applied)) << round << "\n" << diff;
    ASSERT_EQ(after, applied) << round << "\n" << diff;
  }
}

TEST(LineDiff, AHugeChangeIsShownWholeInsteadOfSearchedForEver) {
  std::string before, after;
  for (int i = 0; i < 20000; ++i) {
    before += std::to_string(i) + "\n";
    after += std::to_string(i * 7 + 1) + "x\n";
  }
  const std::string diff = UnifiedDiff(before, after, "a", "b");
  std::string applied;
  ASSERT_TRUE(ApplyUnifiedDiff(before, diff, &applied));
  EXPECT_EQ(after, applied);
}

DiffResult Stream(const std::string& before, const std::string& after, const DiffLimits& limits,
                  std::string* diff) {
  zeph::testing::PieceReader a(before, {1, 2, 3, 4, 5, 6, 7}), b(after, {1, 2, 3, 4, 5, 6, 7});
  return StreamUnifiedDiff(a, b, "old", "new", limits, diff, nullptr);
}

// Windows of a few lines give diffs that apply back exactly, and where no
// change spans a window, the same diff as the whole texts.
TEST(LineDiff, SmallWindowsApplyBackExactly) {
  std::mt19937 random(11);
  const char* const pieces[] = {"a\r\n", "b\n", "c\r\n", "\r\n", "\n", "d\re\n", "f"};
  for (int round = 0; round < 400; ++round) {
    std::string before;
    for (int i = static_cast<int>(random() % 60); i > 0; --i) before += pieces[random() % 6];
    std::string after = before;
    for (int e = static_cast<int>(random() % 6); e > 0; --e) {
      const size_t at = after.empty() ? 0 : random() % after.size();
      if (random() % 2)
        after.insert(at, pieces[random() % 7]);
      else
        after.erase(at, random() % 8);
    }
    DiffLimits limits;
    limits.context = static_cast<int>(random() % 4);
    limits.windowLines = 1 + random() % 6;
    limits.windowBytes = 1 + random() % 30;
    std::string diff, applied;
    const DiffResult result = Stream(before, after, limits, &diff);
    ASSERT_EQ(before == after ? DiffResult::Same : DiffResult::Shown, result) << round;
    ASSERT_TRUE(ApplyUnifiedDiff(before, diff, &applied)) << round << "\n" << diff;
    ASSERT_EQ(after, applied) << round << "\n" << diff;
  }

  // One line changed, one removed, one added, in a long file: each window
  // takes the change whole, so the hunks are those of the whole texts.
  std::string before, after;
  for (int i = 0; i < 500; ++i) {
    const std::string line = "key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    before += line;
    if (i == 50) after += "key50=changed\r\n";
    if (i != 50 && i != 260) after += line;
    if (i == 400) after += "added\r\n";
  }
  DiffLimits small;
  small.windowLines = 16;
  std::string diff;
  ASSERT_EQ(DiffResult::Shown, Stream(before, after, small, &diff));
  EXPECT_EQ(UnifiedDiff(before, after, "old", "new"), diff);
  EXPECT_EQ(3u, static_cast<size_t>(std::count(diff.begin(), diff.end(), '@')) / 4);
}

// A diff or a line over its limit gives no half diff.
TEST(LineDiff, LimitsGiveTooLargeInsteadOfAPart) {
  std::string before, after;
  for (int i = 0; i < 1000; ++i) {
    before += "line " + std::to_string(i) + "\n";
    after += "LINE " + std::to_string(i) + "\n";
  }
  DiffLimits limits;
  limits.maxDiffBytes = 4096;
  std::string diff = "stale";
  EXPECT_EQ(DiffResult::TooLarge, Stream(before, after, limits, &diff));
  EXPECT_EQ("", diff);
  limits.maxDiffBytes = 1 << 20;
  EXPECT_EQ(DiffResult::Shown, Stream(before, after, limits, &diff));

  limits.maxLine = 8;
  EXPECT_EQ(DiffResult::LongLine,
            Stream("short\n", "short\n" + std::string(9, '\0'), limits, &diff));
  EXPECT_EQ(DiffResult::Shown, Stream("short\n", "short\n" + std::string(8, '\0'), limits, &diff));
  EXPECT_EQ(DiffResult::Same, Stream("same\r\n", "same\r\n", limits, &diff));
  EXPECT_EQ("", diff);
}

}  // namespace
}  // namespace zeph

// The dry run's versions of a large file through many edits: each version
// holds the bytes the monitor's own edits give, each diff applies to the
// version before it, and the scratch files that hold the versions go with
// the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "check/DryRunSystem.h"
#include "check/LineDiff.h"
#include "setup/TextEdits.h"
#include "system/fake/FakeSystem.h"

namespace zeph {
namespace {

namespace fs = std::filesystem;

const char* const kFile = "C:\\Games\\big.cfg";

class DryRunVersions : public ::testing::Test {
 protected:
  DryRunVersions() {
    std::random_device random;
    scratch_ = fs::temp_directory_path() / ("zeph-dry-run-" + std::to_string(random()));
    fs::create_directories(scratch_);
    for (FakeSystem* sys : {&real_, &monitor_}) sys->AddFolder("C:\\Games");
  }
  ~DryRunVersions() override {
    dry_.reset();  // its scratch files first: an open file cannot be removed everywhere
    std::error_code ec;
    fs::remove_all(scratch_, ec);
  }

  void Start(const std::string& text) {
    original_ = text;
    real_.AddFile(kFile, text);
    monitor_.AddFile(kFile, text);
    DryRunOptions options;
    options.scratchFolder = scratch_.string();
    dry_ = std::make_unique<DryRunSystem>(real_.Seam(), options);
  }
  // One edit, dry and by the monitor's own routines on a copy.
  void Edit(const std::function<bool(Files& files)>& edit) {
    ASSERT_TRUE(edit(dry_->Seam().files));
    ASSERT_TRUE(edit(monitor_.Seam().files));
  }
  std::string After() {
    std::string contents;
    EXPECT_EQ(ReadResult::Ok, dry_->ContentsAfter(kFile, &contents, nullptr));
    return contents;
  }
  size_t ScratchFiles() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(scratch_), {}));
  }

  fs::path scratch_;
  FakeSystem real_, monitor_;
  std::string original_;
  std::unique_ptr<DryRunSystem> dry_;
};

TEST_F(DryRunVersions, ManyEditsGiveTheMonitorsBytesAndDiffsThatApply) {
  std::string text;
  for (int i = 0; i < 30000; ++i)
    text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  ASSERT_GT(text.size(), kKeptContentsBytes);
  Start(text);
  for (int k = 0; k < 60; ++k) {
    const std::string key = "key" + std::to_string(k * 487);
    switch (k % 4) {
      case 0:
        Edit([&](Files& f) {
          return ModifyLines(f, kFile, ModifyRule(key + "=%", key + "=x"), nullptr);
        });
        break;
      case 1:
        Edit([&](Files& f) { return DeleteLines(f, kFile, DeleteRule(key + "=", "0"), nullptr); });
        break;
      case 2:
        Edit([&](Files& f) { return AppendLine(f, kFile, "bind k" + std::to_string(k), nullptr); });
        break;
      case 3:
        Edit([&](Files& f) {
          return ReplaceInLines(f, kFile, ReplaceRule(key + "=", key + ":"), nullptr);
        });
        break;
    }
  }
  const std::string expected = monitor_.FileContents(kFile);
  ASSERT_NE(text, expected);
  EXPECT_TRUE(expected == After());
  EXPECT_TRUE(text == real_.FileContents(kFile)) << "the dry run wrote the file";

  // Every write's diff, applied in turn to the original, gives the last version.
  std::string version = original_;
  size_t writes = 0;
  for (const Effect& e : dry_->Effects()) {
    ASSERT_EQ(Effect::Kind::FileWritten, e.kind);
    ++writes;
    EXPECT_FALSE(e.contentsKept);
    EXPECT_FALSE(e.before.has_value());
    ASSERT_EQ(0u, e.diff.rfind("--- " + std::string(kFile) + "\n", 0)) << e.diff;
    ASSERT_TRUE(ApplyUnifiedDiff(version, e.diff, &version)) << writes << "\n" << e.diff;
  }
  EXPECT_EQ(60u, writes);
  EXPECT_TRUE(expected == version);

  dry_.reset();
  EXPECT_EQ(0u, ScratchFiles()) << "a scratch file was left";
}

TEST_F(DryRunVersions, SmallFilesKeepTheirContents) {
  Start("a\r\nb\r\n");
  Edit([&](Files& f) { return AppendLine(f, kFile, "c", nullptr); });
  Edit([&](Files& f) { return ModifyLines(f, kFile, ModifyRule("a", "A"), nullptr); });
  const std::vector<Effect>& effects = dry_->Effects();
  ASSERT_EQ(2u, effects.size());
  EXPECT_TRUE(effects[1].contentsKept);
  EXPECT_EQ("a\r\nb\r\nc\r\n", effects[1].before.value_or("(none)"));
  EXPECT_EQ("A\r\nb\r\nc\r\n", effects[1].after);
  EXPECT_EQ(
      "--- C:\\Games\\big.cfg\n+++ C:\\Games\\big.cfg\n@@ -1,3 +1,3 @@\n-a\r\n+A\r\n b\r\n c\r\n",
      effects[1].diff);
}

// Where a diff cannot be shown, a note says why, and the version is still right.
TEST_F(DryRunVersions, ADiffThatCannotBeShownIsANote) {
  std::string text;
  while (text.size() <= kMaxDiffBytes) text += "setting " + std::to_string(text.size()) + "\r\n";
  Start(text);
  Edit([&](Files& f) {
    return ReplaceInLines(f, kFile, ReplaceRule("setting", "SETTING"), nullptr);
  });
  const std::string longLine(kMaxLineBytes + 1, 'x');
  Edit([&](Files& f) { return f.WriteText(kFile, longLine, nullptr); });
  const std::vector<Effect>& effects = dry_->Effects();
  ASSERT_EQ(2u, effects.size());
  EXPECT_EQ("(diff not shown: it is longer than " + std::to_string(kMaxDiffBytes) + " bytes)\n",
            effects[0].diff);
  EXPECT_EQ("(diff not shown: a line is longer than " + std::to_string(kMaxLineBytes) + " bytes)\n",
            effects[1].diff);
  EXPECT_TRUE(longLine == After());
}

}  // namespace
}  // namespace zeph

// The set-up journal on the real POSIX seam in a temporary folder: the
// backup kept at a replace (a link on the same volume, a copy across
// volumes), and a journaled pass undone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "monitor/MainForm.h"
#include "setup/Journal.h"
#include "setup/Undo.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"
#include "tray/fake/FakeDesktop.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

ino_t Inode(const fs::path& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_ino;
}

// The real program, in the test's program folder.
class ProgramAt final : public Program {
 public:
  ProgramAt(Program& real, std::string folder) : real_(real), folder_(std::move(folder)) {}
  std::string Folder() override { return folder_; }
  std::string ExeName() override { return real_.ExeName(); }
  std::string Arguments() override { return {}; }
  bool AnotherInstanceRunning() override { return false; }
  [[noreturn]] void End() override { std::abort(); }
  OsVersion Version() override { return real_.Version(); }
  std::string DataFolder() override { return real_.DataFolder(); }

 private:
  Program& real_;
  std::string folder_;
};

class PosixJournal : public ::testing::Test {
 protected:
  PosixJournal() {
    char pattern[] = "/tmp/zeph-journal-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
  }
  ~PosixJournal() override { fs::remove_all(root_); }
  std::string Seam(const fs::path& path) { return ToWindowsPath(path.string()); }

  fs::path root_;
};

TEST_F(PosixJournal, ABackupIsALinkOnOneVolumeAndACopyAcrossVolumes) {
  Put(root_ / "t.txt", "old");
  const ino_t old = Inode(root_ / "t.txt");
  int error = 0;
  auto work = NativeWorkFile::Create((root_ / "t.txt").string(), &error);
  ASSERT_TRUE(work && work->Write("new", 3, &error));
  ASSERT_TRUE(work->CommitKeeping((root_ / "kept").string(), Sync::ToDisk, &error)) << error;
  EXPECT_EQ("new", Slurp(root_ / "t.txt"));
  EXPECT_EQ("old", Slurp(root_ / "kept"));
  EXPECT_EQ(old, Inode(root_ / "kept"));  // moved aside, not copied

  // No target: nothing to keep.
  work = NativeWorkFile::Create((root_ / "fresh.txt").string(), &error);
  ASSERT_TRUE(work && work->CommitKeeping((root_ / "kept2").string(), Sync::ToDisk, &error));
  EXPECT_FALSE(fs::exists(root_ / "kept2"));

  // A backup that cannot be made leaves the target as it was.
  work = NativeWorkFile::Create((root_ / "t.txt").string(), &error);
  ASSERT_TRUE(work && work->Write("newer", 5, &error));
  EXPECT_FALSE(work->CommitKeeping((root_ / "no" / "kept").string(), Sync::ToDisk, &error));
  EXPECT_EQ(ENOENT, error);
  EXPECT_EQ("new", Slurp(root_ / "t.txt"));

  struct stat tmp {
  }, shm{};
  if (stat("/dev/shm", &shm) != 0 || stat(root_.c_str(), &tmp) != 0 || tmp.st_dev == shm.st_dev)
    GTEST_SKIP() << "no second volume at /dev/shm";
  char pattern[] = "/dev/shm/zeph-journal-XXXXXX";
  const fs::path other = mkdtemp(pattern);
  work = NativeWorkFile::Create((root_ / "t.txt").string(), &error);
  ASSERT_TRUE(work && work->Write("third", 5, &error));
  const bool kept = work->CommitKeeping((other / "kept").string(), Sync::ToDisk, &error);
  const std::string copy = Slurp(other / "kept");
  fs::remove_all(other);
  ASSERT_TRUE(kept) << error;
  EXPECT_EQ("new", copy);
  EXPECT_EQ("third", Slurp(root_ / "t.txt"));
}

}  // namespace
}  // namespace zeph::posix

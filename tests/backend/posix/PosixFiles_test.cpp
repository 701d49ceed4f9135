// Work files on real paths: a replace leaves the new bytes and nothing else,
// a dropped or refused one leaves everything as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixPaths.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string Get(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
bool SetImmutable(const fs::path& path, bool on) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int flags = 0;
  bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zeph-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    SetImmutable(dir_ / "locked.cfg", false);
    fs::remove_all(dir_);
  }
  std::string Win(const std::string& name) const { return ToWindowsPath((dir_ / name).string()); }
  // Every entry of the folder, hidden ones too.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
    return names;
  }

  fs::path dir_;
  FileSystem files_;
};

TEST_F(PosixFiles, CommitReplacesTheBytesKeepsTheModeAndLeavesNothingElse) {
  Put(dir_ / "autoexec.cfg", "old\n");
  Put(dir_ / "autoexec.tmp", "not ours");
  ASSERT_EQ(chmod((dir_ / "autoexec.cfg").c_str(), 0640), 0);
  SystemError err;
  auto work = files_.CreateWorkFile(Win("autoexec.cfg"), &err);
  ASSERT_TRUE(work && work->Write("new ", 4, &err) && work->Write("bytes", 5, &err))
      << err.Describe();
  EXPECT_EQ(Get(dir_ / "autoexec.cfg"), "old\n") << "replaced before Commit";
  ASSERT_TRUE(work->Commit(&err)) << err.Describe();
  EXPECT_EQ(Get(dir_ / "autoexec.cfg"), "new bytes");
  EXPECT_EQ(fs::status(dir_ / "autoexec.cfg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Get(dir_ / "autoexec.tmp"), "not ours");
  EXPECT_EQ(Entries(), (std::set<std::string>{"autoexec.cfg", "autoexec.tmp"}));

  // A link: the file it names is replaced, and the link stays.
  fs::create_directory(dir_ / "real");
  Put(dir_ / "real" / "settings.cfg", "old");
  fs::create_symlink("real/settings.cfg", dir_ / "link.cfg");
  ASSERT_TRUE(files_.WriteText(Win("link.cfg"), "new", nullptr));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.cfg"));
  EXPECT_EQ(Get(dir_ / "real" / "settings.cfg"), "new");
  EXPECT_EQ(fs::directory_iterator(dir_ / "real")->path().filename(), "settings.cfg");
}

TEST_F(PosixFiles, DroppedOrRefusedLeavesTheTargetAndNothingBehind) {
  Put(dir_ / "locked.cfg", "kept");
  auto work = files_.CreateWorkFile(Win("locked.cfg"), nullptr);
  ASSERT_TRUE(work && work->Write("lost", 4, nullptr));
  EXPECT_EQ(Entries().size(), 2u) << "the work file is beside its target";
  work.reset();
  EXPECT_EQ(Entries(), std::set<std::string>{"locked.cfg"});

  // Immutable: refused although root may write whatever the mode bits say.
  if (!SetImmutable(dir_ / "locked.cfg", true))
    GTEST_SKIP() << "the immutable attribute cannot be set here: " << strerror(errno);
  SystemError err;
  EXPECT_FALSE(files_.CreateWorkFile(Win("locked.cfg"), &err));
  EXPECT_EQ(err.code, EPERM) << err.Describe();
  EXPECT_FALSE(files_.WriteText(Win("locked.cfg"), "new", nullptr));
  EXPECT_EQ(Get(dir_ / "locked.cfg"), "kept");
  EXPECT_EQ(Entries(), std::set<std::string>{"locked.cfg"});
}

TEST_F(PosixFiles, OpenReadOfAFifoIsMissingAtOnce) {
  ASSERT_EQ(mkfifo((dir_ / "fifo.bin").c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  ReadResult result = ReadResult::Failed;
  SystemError err;
  EXPECT_FALSE(files_.OpenRead(Win("fifo.bin"), &result, &err));
  EXPECT_EQ(result, ReadResult::Missing);
  EXPECT_EQ(err.code, EINVAL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace zeph::posix

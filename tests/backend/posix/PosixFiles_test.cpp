// Files on real paths: a replace leaves the new bytes and nothing else, a
// dropped or refused one leaves everything as it was; names are found as
// Windows finds them, modes are kept or taken as a copy takes them, and a
// link stays a link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "system/TextStreams.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixFiles.h"
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
unsigned Mode(const fs::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
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
  std::set<std::string> Entries(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / sub))
      names.insert(entry.path().filename());
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

// A scratch replace swaps the new file in: the old one is never changed in
// place, the new one keeps the target's mode, a link stays a link, nothing
// is left beside it, and a file that cannot be swapped stays as it was.
TEST_F(PosixFiles, AScratchReplaceSwapsTheNewFileIn) {
  const fs::path path = dir_ / "zephcontrol.state";
  Put(path, "Chording=on\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  fs::create_hard_link(path, dir_ / "seen");  // stays with the old file
  int error = 0;
  ASSERT_TRUE(WriteFileAtomic(path.string(), "Chording=off\n", Sync::Scratch, &error)) << error;
  EXPECT_EQ(Get(path), "Chording=off\n");
  EXPECT_EQ(Get(dir_ / "seen"), "Chording=on\n") << "changed in place";
  EXPECT_EQ(Mode(path), 0640u);
  fs::create_symlink("zephcontrol.state", dir_ / "link.state");
  ASSERT_TRUE(WriteFileAtomic((dir_ / "link.state").string(), "linked", Sync::Scratch, &error));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.state"));
  EXPECT_EQ(Get(path), "linked");
  ASSERT_TRUE(WriteFileAtomic((dir_ / "new.state").string(), "new", Sync::Scratch, &error));
  EXPECT_EQ(Get(dir_ / "new.state"), "new");
  EXPECT_EQ(Entries(),
            (std::set<std::string>{"link.state", "new.state", "seen", "zephcontrol.state"}));

  Put(dir_ / "locked.cfg", "kept");
  auto work = NativeWorkFile::Create((dir_ / "locked.cfg").string(), &error);
  ASSERT_TRUE(work && work->Write("lost", 4, &error));
  if (!SetImmutable(dir_ / "locked.cfg", true))
    GTEST_SKIP() << "the immutable attribute cannot be set here: " << strerror(errno);
  EXPECT_FALSE(work->Commit(Sync::Scratch, &error));
  EXPECT_EQ(error, EPERM);
  SetImmutable(dir_ / "locked.cfg", false);
  EXPECT_EQ(Get(dir_ / "locked.cfg"), "kept");
  EXPECT_EQ(Entries().size(), 5u) << "a work file was left";
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

// --- names that differ from the disk's only in case

TEST_F(PosixFiles, AMissingNameFindsTheEntryThatDiffersOnlyInCase) {
  fs::create_directory(dir_ / "Cfg");
  Put(dir_ / "Cfg" / "Config.cfg", "[Video]\r\nwidth=640\r\n");
  SystemError err;
  std::string text;
  ASSERT_EQ(files_.ReadText(Win("CFG/CONFIG.CFG"), &text, &err), ReadResult::Ok) << err.Describe();
  EXPECT_EQ(text, "[Video]\r\nwidth=640\r\n");
  EXPECT_TRUE(files_.IsFile(Win("cfg/config.cfg")));
  EXPECT_TRUE(files_.IsFolder(Win("CFG")));
  uint64_t size = 0;
  EXPECT_EQ(files_.Size(Win("cFG/cONFIG.cFG"), &size, &err), ReadResult::Ok);
  std::vector<std::string> names;
  ASSERT_TRUE(files_.List(Win("CFG"), &names, &err)) << err.Describe();
  EXPECT_EQ(names, std::vector<std::string>{"Config.cfg"});

  // INI reads and writes, and a work file, land in the one file there is.
  IniFileSystem ini;
  EXPECT_EQ(ini.ReadString(Win("CFG/CONFIG.CFG"), "video", "WIDTH", "none", 255), "640");
  ASSERT_TRUE(ini.WriteString(Win("cfg/CONFIG.cfg"), "Video", "width", "800", &err))
      << err.Describe();
  ReadResult opened = ReadResult::Failed;
  auto reader = ini.Open(Win("CFG/config.CFG"), &opened, &err);
  ASSERT_TRUE(reader) << err.Describe();
  EXPECT_EQ(reader->Read("Video", "width", "none", 255), "800");
  ASSERT_TRUE(files_.WriteText(Win("CFG/Config.CFG"), "whole\r\n", &err)) << err.Describe();
  EXPECT_EQ(Get(dir_ / "Cfg" / "Config.cfg"), "whole\r\n");

  // An existing folder is the one made for another spelling; a new file
  // keeps the spelling it was given, in the folder that is there.
  ASSERT_TRUE(files_.MakeFolder(Win("CFG"), &err)) << err.Describe();
  ASSERT_TRUE(files_.MakeFolder(Win("cfg/Keys"), &err)) << err.Describe();
  ASSERT_TRUE(files_.WriteText(Win("cfg/keys/Binds.CFG"), "bind", &err)) << err.Describe();
  EXPECT_EQ(Get(dir_ / "Cfg" / "Keys" / "Binds.CFG"), "bind");
  EXPECT_TRUE(files_.MakeEmptyFile(Win("CFG/KEYS/binds.cfg"), &err));
  EXPECT_EQ(Get(dir_ / "Cfg" / "Keys" / "Binds.CFG"), "bind");
  EXPECT_EQ(Entries(), std::set<std::string>{"Cfg"});

  ASSERT_TRUE(files_.Remove(Win("CFG/KEYS/BINDS.CFG"), &err)) << err.Describe();
  ASSERT_TRUE(files_.RemoveFolder(Win("cfg/KEYS"), &err)) << err.Describe();
  ASSERT_TRUE(files_.Remove(Win("cfg/config.cfg"), &err)) << err.Describe();
  EXPECT_TRUE(fs::is_empty(dir_ / "Cfg"));
  EXPECT_FALSE(files_.Remove(Win("cfg/config.cfg"), &err));
  EXPECT_EQ(err.code, ENOENT) << err.Describe();
}

TEST_F(PosixFiles, AnExactNameWinsAndAmbiguousSpellingsTakeTheFirstInByteOrder) {
  Put(dir_ / "game.ini", "lower");
  Put(dir_ / "GAME.ini", "upper");
  Put(dir_ / "Game.INI", "mixed");
  std::string text;
  ASSERT_EQ(files_.ReadText(Win("Game.INI"), &text, nullptr), ReadResult::Ok);
  EXPECT_EQ(text, "mixed");
  // No exact name: "GAME.ini" < "Game.INI" < "game.ini" byte for byte.
  ASSERT_EQ(files_.ReadText(Win("game.INI"), &text, nullptr), ReadResult::Ok);
  EXPECT_EQ(text, "upper");
  ASSERT_TRUE(files_.WriteText(Win("gAME.ini"), "new", nullptr));
  EXPECT_EQ(Get(dir_ / "GAME.ini"), "new");
  EXPECT_EQ(Entries().size(), 3u);

  // Only ASCII letters fold: "É" and "é" are different names.
  Put(dir_ / "\xc3\xa9t\xc3\xa9.cfg", "e");
  EXPECT_EQ(files_.ReadText(Win("\xc3\x89T\xc3\x89.CFG"), &text, nullptr), ReadResult::Missing);
  EXPECT_EQ(files_.ReadText(Win("\xc3\xa9T\xc3\xa9.CFG"), &text, nullptr), ReadResult::Ok);
}

// --- the mode of what is written

TEST_F(PosixFiles, ACopyTakesTheSourcesModeAndAnEditKeepsTheTargetsOwn) {
  Put(dir_ / "secret.cfg", "token");
  ASSERT_EQ(chmod((dir_ / "secret.cfg").c_str(), 0600), 0);
  Put(dir_ / "run.sh", "#!/bin/sh\n");
  ASSERT_EQ(chmod((dir_ / "run.sh").c_str(), 0750), 0);
  Put(dir_ / "old.cfg", "old");
  ASSERT_EQ(chmod((dir_ / "old.cfg").c_str(), 0644), 0);
  SystemError err;
  ASSERT_TRUE(CopyFileOver(files_, Win("secret.cfg"), Win("new.cfg"), &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "new.cfg"), 0600u);
  ASSERT_TRUE(CopyFileOver(files_, Win("secret.cfg"), Win("old.cfg"), &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "old.cfg"), 0600u);
  EXPECT_EQ(Get(dir_ / "old.cfg"), "token");
  ASSERT_TRUE(CopyFileOver(files_, Win("run.sh"), Win("run2.sh"), &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "run2.sh"), 0750u);
  // A source that cannot be looked at says why, and nothing is written.
  auto work = files_.CreateWorkFile(Win("run2.sh"), &err);
  ASSERT_TRUE(work);
  EXPECT_FALSE(work->TakePermissionsOf(Win("gone.sh"), &err));
  EXPECT_EQ(err.code, ENOENT);
  EXPECT_FALSE(err.text.empty());
  work.reset();

  // Edits in place: the INI writer and a whole-file write keep the mode,
  // and the new contents are never more open than the old ones were.
  work = files_.CreateWorkFile(Win("secret.cfg"), &err);
  ASSERT_TRUE(work) << err.Describe();
  std::string hidden;
  for (const std::string& name : Entries())
    if (name[0] == '.') hidden = name;
  ASSERT_FALSE(hidden.empty()) << "no work file beside the target";
  EXPECT_EQ(Mode(dir_ / hidden), 0600u);
  work.reset();
  IniFileSystem ini;
  ASSERT_TRUE(ini.WriteString(Win("secret.cfg"), "Net", "token", "x", &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "secret.cfg"), 0600u);
  ASSERT_TRUE(files_.WriteText(Win("run.sh"), "#!/bin/sh\nexit 0\n", &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "run.sh"), 0750u);
}

// A folder on another file system than the test folder's, or "" when none can be had.
fs::path FolderOnAnotherFileSystem(const fs::path& than) {
  struct stat ours, theirs;
  if (stat(than.c_str(), &ours) != 0) return {};
  for (const char* base : {"/dev/shm", "/run/user", "/var/tmp"}) {
    std::string pattern = std::string(base) + "/zeph-files-XXXXXX";
    if (stat(base, &theirs) != 0 || theirs.st_dev == ours.st_dev) continue;
    if (mkdtemp(pattern.data())) return pattern;
  }
  return {};
}

TEST_F(PosixFiles, ABackupCopiedToAnotherFileSystemIsNoMoreOpenThanTheOldFile) {
  Put(dir_ / "secret.cfg", "old");
  ASSERT_EQ(chmod((dir_ / "secret.cfg").c_str(), 0600), 0);
  const fs::path other = FolderOnAnotherFileSystem(dir_);
  if (other.empty()) GTEST_SKIP() << "no other writable file system here";
  SystemError err;
  auto work = files_.CreateWorkFile(Win("secret.cfg"), &err);
  ASSERT_TRUE(work && work->Write("new", 3, &err)) << err.Describe();
  const bool committed = work->CommitKeeping(ToWindowsPath((other / "kept").string()), &err);
  const std::string kept = Get(other / "kept");
  const unsigned keptMode = Mode(other / "kept");
  fs::remove_all(other);
  ASSERT_TRUE(committed) << err.Describe();
  EXPECT_EQ(kept, "old");
  EXPECT_EQ(keptMode, 0600u);
  EXPECT_EQ(Mode(dir_ / "secret.cfg"), 0600u);
}

TEST_F(PosixFiles, APrivateFolderIsClosedToOthersAlsoWhenItWasThere) {
  const mode_t saved = umask(0);  // a new folder would be open to all
  SystemError err;
  const bool made = files_.MakePrivateFolder(Win("journal"), &err);
  umask(saved);
  ASSERT_TRUE(made) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "journal"), 0700u);
  ASSERT_EQ(chmod((dir_ / "journal").c_str(), 0755), 0);
  ASSERT_TRUE(files_.MakePrivateFolder(Win("JOURNAL"), &err)) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "journal"), 0700u);
  EXPECT_EQ(Entries(), std::set<std::string>{"journal"});

  Put(dir_ / "file", "");
  EXPECT_FALSE(files_.MakePrivateFolder(Win("file"), &err));
  EXPECT_EQ(err.code, EEXIST) << err.Describe();
  EXPECT_FALSE(files_.MakePrivateFolder(Win("none/journal"), &err));
  EXPECT_EQ(err.code, ENOENT) << err.Describe();

  // Another's folder is left as it is: accepted only when it is closed.
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another";
  fs::create_directory(dir_ / "theirs");
  ASSERT_EQ(chown((dir_ / "theirs").c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod((dir_ / "theirs").c_str(), 0755), 0);
  EXPECT_FALSE(files_.MakePrivateFolder(Win("theirs"), &err));
  EXPECT_EQ(err.code, EPERM) << err.Describe();
  EXPECT_EQ(Mode(dir_ / "theirs"), 0755u);
  ASSERT_EQ(chmod((dir_ / "theirs").c_str(), 0700), 0);
  EXPECT_TRUE(files_.MakePrivateFolder(Win("theirs"), &err)) << err.Describe();
}

// --- symbolic links

TEST_F(PosixFiles, AWriteThroughALinkKeepsTheLinkEvenWhereItPointsToNothingYet) {
  fs::create_directory(dir_ / "real");
  // A chain of two links to a file that is there.
  Put(dir_ / "real" / "a.cfg", "old");
  fs::create_symlink("real/a.cfg", dir_ / "first.cfg");
  fs::create_symlink("first.cfg", dir_ / "chain.cfg");
  SystemError err;
  ASSERT_TRUE(files_.WriteText(Win("chain.cfg"), "new a", &err)) << err.Describe();
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain.cfg") && fs::is_symlink(dir_ / "first.cfg"));
  EXPECT_EQ(Get(dir_ / "real" / "a.cfg"), "new a");

  // Dangling, into a folder that exists: the file is made where it points.
  fs::create_symlink("real/b.cfg", dir_ / "dangling.cfg");
  ASSERT_TRUE(files_.WriteText(Win("dangling.cfg"), "new b", &err)) << err.Describe();
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.cfg"));
  EXPECT_EQ(Get(dir_ / "real" / "b.cfg"), "new b");
  IniFileSystem ini;
  fs::create_symlink(dir_ / "real" / "c.ini", dir_ / "c.ini");
  ASSERT_TRUE(ini.WriteString(Win("c.ini"), "S", "k", "v", &err)) << err.Describe();
  EXPECT_TRUE(fs::is_symlink(dir_ / "c.ini"));
  EXPECT_EQ(Get(dir_ / "real" / "c.ini"), "[S]\r\nk=v\r\n");

  // Into a folder that does not exist: refused, and the link stays.
  fs::create_symlink("gone/d.cfg", dir_ / "nowhere.cfg");
  EXPECT_FALSE(files_.WriteText(Win("nowhere.cfg"), "new d", &err));
  EXPECT_EQ(err.code, ENOENT) << err.Describe();
  EXPECT_TRUE(fs::is_symlink(dir_ / "nowhere.cfg"));
  fs::create_symlink("loop.cfg", dir_ / "loop.cfg");
  EXPECT_FALSE(files_.WriteText(Win("loop.cfg"), "new", &err));
  EXPECT_EQ(err.code, ELOOP) << err.Describe();
  EXPECT_EQ(Entries(), (std::set<std::string>{"real", "first.cfg", "chain.cfg", "dangling.cfg",
                                              "c.ini", "nowhere.cfg", "loop.cfg"}));
  EXPECT_EQ(Entries("real"), (std::set<std::string>{"a.cfg", "b.cfg", "c.ini"}));
}

TEST_F(PosixFiles, ResolvedPathIsWhereAWriteLands) {
  fs::create_directory(dir_ / "Cfg");
  Put(dir_ / "Cfg" / "Config.cfg", "");
  fs::create_symlink("Cfg/Config.cfg", dir_ / "link.cfg");
  fs::create_symlink("Cfg/New.cfg", dir_ / "dangling.cfg");
  const std::string real = ToWindowsPath(fs::canonical(dir_ / "Cfg").string());
  // Nothing to resolve: the path as given, to the byte.
  const std::string exact = Win("Cfg") + "/Config.cfg";
  EXPECT_EQ(files_.ResolvedPath(exact), exact);
  EXPECT_EQ(files_.ResolvedPath(Win("none/X.cfg")), Win("none/X.cfg"));
  EXPECT_EQ(files_.ResolvedPath(Win("CFG/CONFIG.CFG")), Win("Cfg/Config.cfg"));
  EXPECT_EQ(files_.ResolvedPath(Win("cfg/New.CFG")), Win("Cfg/New.CFG"));
  EXPECT_EQ(files_.ResolvedPath(Win("LINK.cfg")), real + "\\Config.cfg");
  EXPECT_EQ(files_.ResolvedPath(Win("dangling.cfg")), real + "\\New.cfg");
}

}  // namespace
}  // namespace zeph::posix

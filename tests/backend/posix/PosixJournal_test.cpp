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

TEST_F(PosixJournal, AJournaledPassIsUndone) {
  const fs::path game = root_ / "game";
  const fs::path program = root_ / "prog";
  Put(program / "games" / "keys.cfg", "new keys\r\n");
  Put(program / "games" / "new.cfg", "brand new\r\n");
  Put(game / "keys.cfg", "old keys\r\n");
  Put(game / "a.cfg", "bind mouse1\r\nkeep\r\n");
  Put(game / "game.ini", "[Input]\r\nMouse=1\r\n");
  Put(game / "thalix.tlx", "[Thalix]\r\nVersion=4.0\r\n");
  const std::string profile = Seam(program / "wyn" / "foo.wyn");
  Put(program / "wyn" / "foo.wyn",
      "[CONFIGURATION]\r\nCOPY_FILES=TRUE\r\n{\r\n'keys.cfg', 'keys.cfg'\r\n"
      "'new.cfg', 'sub\\new.cfg'\r\n   }\r\nCUSTOM=TRUE\r\n{\r\n"
      "'a.cfg'\\, 'DELETE'\\, 'mouse'\\, '2'\\, ''\r\n"
      "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''\r\n"
      "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Foo'\\, 'Mouse'\\, 'on'\\, ''\r\n   }\r\n");
  const std::map<std::string, std::string> before = {{"keys.cfg", Slurp(game / "keys.cfg")},
                                                     {"a.cfg", Slurp(game / "a.cfg")},
                                                     {"game.ini", Slurp(game / "game.ini")},
                                                     {"thalix.tlx", Slurp(game / "thalix.tlx")}};

  PlatformSystem real = CreatePlatformSystem(0, nullptr);
  const std::string journalRoot = real.program->DataFolder() + "\\journal";
  EXPECT_EQ(Seam(root_ / "state" / "zephmonitor" / "journal"), journalRoot);
  ProgramAt at(*real.program, Seam(program));
  JournaledSystem journal({at, *real.files, *real.ini, *real.registry, *real.processes, *real.loop},
                          journalRoot);
  std::vector<std::string> log;
  FakeDesktop desktop(log);
  {
    MainForm form(journal.Seam(), desktop);
    form.setupJournal = &journal;
    form.state.ProfileFolder = Seam(program / "wyn") + "\\";
    form.state.ActiveProfile = profile;
    form.state.GameFolder = Seam(game);
    form.profile.copyFiles = "TRUE";
    form.profile.custom = "TRUE";
    form.profile.revision = "1";
    form.WriteStuff();
  }
  EXPECT_EQ("new keys\r\n", Slurp(game / "keys.cfg"));
  EXPECT_EQ("brand new\r\n", Slurp(game / "sub" / "new.cfg"));
  EXPECT_EQ("keep\r\n", Slurp(game / "a.cfg"));
  EXPECT_NE(std::string::npos, Slurp(game / "game.ini").find("Mouse=0"));
  EXPECT_NE(std::string::npos, Slurp(game / "thalix.tlx").find("5.1"));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(ReadResult::Ok, real.registry->QueryValue(RegRoot::CurrentUser, "Software\\Foo",
                                                      "Mouse", &type, &data, nullptr));

  UndoResult undo = UndoPass(*real.files, *real.registry, journalRoot, Seam(game), 0, false);
  EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed)
                                  << ::testing::PrintToString(undo.leftAlone);
  for (const auto& [name, text] : before) EXPECT_EQ(text, Slurp(game / name)) << name;
  EXPECT_EQ(ReadResult::Missing, real.registry->QueryValue(RegRoot::CurrentUser, "Software\\Foo",
                                                           "Mouse", &type, &data, nullptr));
  EXPECT_FALSE(fs::exists(game / "sub"));
  // No work file or backup is left in the game folder.
  for (const auto& entry : fs::directory_iterator(game))
    EXPECT_NE('.', entry.path().filename().string()[0]) << entry.path();
  EXPECT_TRUE(
      UndoPass(*real.files, *real.registry, journalRoot, Seam(game), 0, false).alreadyUndone);
}

}  // namespace
}  // namespace zeph::posix

// The set-up journal on the real POSIX seam in a temporary folder: the
// backup kept at a replace (a link on the same volume, a copy across
// volumes), and a journaled pass undone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "setup/Journal.h"
#include "setup/Undo.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"
#include "tests/unit/Components.h"
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

  // A journaled end-of-game pass of the real monitor on game, with these
  // custom lines, on the platform's own seam.
  void RunPass(const fs::path& game, const std::string& custom) {
    const fs::path program = root_ / "prog";
    Put(program / "wyn" / "foo.wyn",
        "[CONFIGURATION]\r\nCUSTOM=TRUE\r\n{\r\n" + custom + "   }\r\n");
    PlatformSystem& real = Real();
    ProgramAt at(*real.program, Seam(program));
    JournaledSystem journal(
        {at, *real.files, *real.ini, *real.registry, *real.processes, *real.loop}, JournalRoot());
    std::vector<std::string> log;
    FakeDesktop desktop(log);
    testing::SetupUnit unit(journal.Seam(), desktop);
    unit.pass.SetJournal(&journal);
    unit.game.profile = Seam(program / "wyn" / "foo.wyn");
    unit.game.folder = Seam(game);
    unit.profile.custom = ProfileFlag::Of("TRUE");
    unit.profile.revision = "1";
    unit.WriteStuff();
  }
  UndoResult Undo(const fs::path& game, bool force = false) {
    return UndoPass(*Real().files, *Real().registry, JournalRoot(), Seam(game), 0, force);
  }
  PlatformSystem& Real() {
    if (!real_.files) real_ = CreatePlatformSystem(0, nullptr);
    return real_;
  }
  std::string JournalRoot() { return Real().program->DataFolder() + "\\journal"; }

  fs::path root_;
  PlatformSystem real_;
};

const char* const kToBall =
    "'config.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, ''\r\n"
    "'Config.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, ''\r\n";

// On Linux names differ by case: game and Game are two installations with
// two journals, and config.cfg and Config.cfg two files of one pass.
TEST_F(PosixJournal, FoldersAndFilesThatDifferOnlyInCaseAreUndoneApart) {
  const fs::path lower = root_ / "game", upper = root_ / "Game";
  for (const fs::path& game : {lower, upper}) {
    Put(game / "config.cfg", "input=mouse\r\n");
    Put(game / "Config.cfg", "input=pad\r\n");
  }
  RunPass(upper, kToBall);
  RunPass(lower, kToBall);
  for (const fs::path& game : {lower, upper})
    for (const char* name : {"config.cfg", "Config.cfg"})
      ASSERT_EQ("input=ball\r\n", Slurp(game / name)) << game / name;

  UndoResult undo = Undo(lower);
  EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed);
  EXPECT_EQ("input=mouse\r\n", Slurp(lower / "config.cfg"));
  EXPECT_EQ("input=pad\r\n", Slurp(lower / "Config.cfg"));
  EXPECT_EQ("input=ball\r\n", Slurp(upper / "config.cfg"));
  EXPECT_EQ("input=ball\r\n", Slurp(upper / "Config.cfg"));
  undo = Undo(upper);
  EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed);
  EXPECT_EQ("input=mouse\r\n", Slurp(upper / "config.cfg"));
  EXPECT_EQ("input=pad\r\n", Slurp(upper / "Config.cfg"));
}

// The old content is kept by a hard link to the old file; another link of
// the user's to that file can change it after the pass. Undo then refuses
// to write content the file never held, and names the file.
TEST_F(PosixJournal, AKeptCopyChangedThroughAnotherLinkIsNotRestored) {
  const fs::path game = root_ / "game";
  Put(game / "config.cfg", "input=mouse\r\n");
  fs::create_hard_link(game / "config.cfg", root_ / "mine.cfg");
  RunPass(game, "'config.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, ''\r\n");
  ASSERT_EQ("input=ball\r\n", Slurp(game / "config.cfg"));
  std::ofstream(root_ / "mine.cfg", std::ios::binary) << "input=keyboard\r\n";  // same inode

  const UndoResult undo = Undo(game);
  EXPECT_EQ(1, undo.ExitStatus());
  ASSERT_EQ(1u, undo.failed.size()) << ::testing::PrintToString(undo.changed);
  EXPECT_NE(std::string::npos, undo.failed[0].find(Seam(game / "config.cfg")));
  EXPECT_NE(std::string::npos, undo.failed[0].find("changed since")) << undo.failed[0];
  EXPECT_EQ("input=ball\r\n", Slurp(game / "config.cfg"));
}

// The journal holds old contents of the user's files: its folders are the
// user's alone, and a kept copy is no more open than the file it keeps.
TEST_F(PosixJournal, OldContentsAreKeptPrivate) {
  const fs::path game = root_ / "game";
  Put(game / "game.ini", "[Input]\r\nToken=secret\r\n");
  Put(game / "config.cfg", "input=mouse\r\n");
  fs::permissions(game / "game.ini", fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(game / "config.cfg", fs::perms::owner_read | fs::perms::owner_write);
  RunPass(game,
          "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''\r\n"
          "'config.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, ''\r\n");
  const fs::path journal = ToNativePath(JournalRoot());
  auto mode = [](const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
  };
  EXPECT_EQ(0700u, mode(journal));
  for (const auto& entry : fs::directory_iterator(journal))
    EXPECT_EQ(0700u, mode(entry.path())) << entry.path();
  // b1 keeps game.ini and b2 config.cfg (the marker's own copies follow).
  const fs::path pass = ToNativePath(GameJournalFolder(JournalRoot(), Seam(game))) + "/1";
  for (const char* blob : {"b1", "b2"}) {
    ASSERT_TRUE(fs::exists(pass / blob)) << blob;
    EXPECT_EQ(0600u, mode(pass / blob)) << blob;
  }
  EXPECT_EQ(0600u, mode(game / "game.ini"));
  EXPECT_EQ(0600u, mode(game / "config.cfg"));
}

// A pass killed while it writes a large file leaves its work file in the
// game's folder; the next pass on that game removes it, and so does an undo.
TEST_F(PosixJournal, AWorkFileLeftByAKilledPassIsRemoved) {
  const fs::path game = root_ / "game";
  Put(game / "config.cfg", "input=mouse\r\n");
  for (const bool byUndo : {false, true}) {
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
      PlatformSystem real = CreatePlatformSystem(0, nullptr);
      JournaledSystem journal(real.Seam(), real.program->DataFolder() + "\\journal");
      if (!journal.OpenPass({Seam(game), "foo.wyn", "1"}, nullptr)) _exit(3);
      std::unique_ptr<WorkFile> work =
          journal.Seam().files.CreateWorkFile(Seam(game / "config.cfg"), nullptr);
      const std::string block(1 << 20, 'x');
      for (int k = 0; k < 4; ++k)
        if (!work || !work->Write(block.data(), block.size(), nullptr)) _exit(4);
      raise(SIGKILL);
      _exit(5);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    auto workFiles = [&] {
      int count = 0;
      for (const auto& entry : fs::directory_iterator(game))
        count += entry.path().filename().string()[0] == '.';
      return count;
    };
    ASSERT_EQ(1, workFiles());
    if (byUndo) {
      const UndoResult undo = Undo(game);
      EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed);
    } else {
      RunPass(game, "'config.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, 'ALWAYS'\r\n");
    }
    EXPECT_EQ(0, workFiles()) << (byUndo ? "after an undo" : "after the next pass");
  }
}

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

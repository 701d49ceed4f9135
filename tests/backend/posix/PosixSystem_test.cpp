// The POSIX seam against the real system: files, processes, signals and
// the clock of this machine. Each test gets its own runtime and config
// folders, so the instance lock, the registry and the window registrations
// of one test never meet another's.
#include "system/posix/PosixSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "system/posix/PosixPaths.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/PosixRegistry.h"
#include "system/posix/PosixWindows.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zeph::ToNativePath;
using zeph::ToWindowsPath;

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  auto start = Clock::now();
  while (!done()) {
    if (ElapsedMs(start) > ms) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// Status of a forked child that ran fn and ended with its result.
int InChild(const std::function<int()>& fn) {
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A pid that no process has right now.
pid_t EndedPid() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

struct Stop : std::runtime_error {
  Stop() : std::runtime_error("stop") {}
};

class RecordingCommands : public zeph::Commands {
 public:
  void OnTimer() override {
    ++timers;
    if (stopAfterTimers && timers >= stopAfterTimers) throw Stop();
  }
  void OnExit() override { ++exits; }
  void OnSuspendToggle() override {
    ++toggles;
    if (stopOnToggle) throw Stop();
  }
  int timers = 0, exits = 0, toggles = 0;
  int stopAfterTimers = 0;
  bool stopOnToggle = false;
};

// Sends sig to this process after delay, from another thread.
class DelayedSignal {
 public:
  DelayedSignal(int sig, std::chrono::milliseconds delay)
      : thread_([sig, delay] {
          std::this_thread::sleep_for(delay);
          kill(getpid(), sig);
        }) {}
  ~DelayedSignal() { thread_.join(); }

 private:
  std::thread thread_;
};

class PosixSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zephposixXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    sys_ = std::make_unique<zeph::PosixSystem>(1, args_);
    // A signal left over from an earlier test must not count in this one.
    sys_->ProcessPendingMessages();
    sys_->SetCommands(&commands_);
  }

  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    sys_->ProcessPendingMessages();
    sys_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The test child copied to root_/relative, made executable.
  fs::path CopyChild(const std::string& relative) {
    fs::path to = root_ / relative;
    fs::create_directories(to.parent_path());
    fs::copy_file(ZEPH_TESTCHILD, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    return to;
  }

  std::string Win(const fs::path& p) { return ToWindowsPath(p.string()); }
  std::string Quoted(const fs::path& p) { return "\"" + Win(p) + "\""; }

  uint32_t FindProcess(const fs::path& image) {
    uint32_t found = 0;
    WaitUntil(
        [&] {
          for (const auto& p : sys_->ListProcesses())
            if (p.imagePath == Win(image)) found = p.id;
          return found != 0;
        },
        3000);
    if (found) started_.push_back(static_cast<pid_t>(found));
    return found;
  }

  char arg0_[5] = "prog";
  char* args_[2] = {arg0_, nullptr};
  fs::path root_;
  std::unique_ptr<zeph::PosixSystem> sys_;
  RecordingCommands commands_;
  std::vector<pid_t> started_;
};

// --- paths and the program itself

TEST(PosixPaths, TranslatesSeparatorsBothWays) {
  EXPECT_EQ(ToNativePath("\\tmp\\a b\\Zeph.ini"), "/tmp/a b/Zeph.ini");
  EXPECT_EQ(ToWindowsPath("/tmp/a b/Zeph.ini"), "\\tmp\\a b\\Zeph.ini");
  EXPECT_EQ(ToNativePath(ToWindowsPath("/x//y/")), "/x//y/");
  EXPECT_EQ(zeph::posix::ParentFolder("/a/b/"), "/a");
  EXPECT_EQ(zeph::posix::ParentFolder("/b"), "/");
  EXPECT_EQ(zeph::posix::ParentFolder("b"), ".");
}

TEST_F(PosixSystemTest, ProgramFolderHoldsThisExecutable) {
  std::string folder = sys_->ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.find('/'), std::string::npos);
  EXPECT_NE(folder.back(), '\\');
  std::string self = fs::path(program_invocation_name).filename().string();
  EXPECT_TRUE(sys_->FileExists(folder + "\\" + self)) << folder;
}

TEST_F(PosixSystemTest, CommandArgsJoinWithOneBlank) {
  char a[] = "prog", b[] = "-d", c[] = "", d[] = "x y";
  char* argv[] = {a, b, c, d, nullptr};
  EXPECT_EQ(zeph::PosixSystem(4, argv).CommandArgs(), "-d  x y");
  EXPECT_EQ(sys_->CommandArgs(), "");
}

TEST_F(PosixSystemTest, OsVersionAndTimeOfDay) {
  zeph::OsVersion v = sys_->GetOsVersion();
  EXPECT_EQ(v.platformId + v.major + v.minor, 0u);
  EXPECT_TRUE(std::regex_match(sys_->TimeOfDay(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")));
}

TEST_F(PosixSystemTest, EndProgramFlushesAndEndsWithZero) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    std::printf("unflushed");
    sys_->EndProgram();
  }
  close(out[1]);
  char buffer[64] = {};
  ssize_t n = read(out[0], buffer, sizeof buffer - 1);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "unflushed");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// --- one copy per program folder

TEST_F(PosixSystemTest, CopyThatAsksNeverCountsItself) {
  EXPECT_FALSE(sys_->AnotherInstanceRunning());
  EXPECT_FALSE(sys_->AnotherInstanceRunning());
}

TEST_F(PosixSystemTest, SecondCopySeesFirstOnlyAfterFirstAsked) {
  auto secondSees = [&] {
    return InChild([] { return zeph::PosixSystem(0, nullptr).AnotherInstanceRunning() ? 1 : 0; });
  };
  EXPECT_EQ(secondSees(), 0);
  ASSERT_FALSE(sys_->AnotherInstanceRunning());
  EXPECT_EQ(secondSees(), 1);
  sys_ = std::make_unique<zeph::PosixSystem>(1, args_);  // the first copy ends
  EXPECT_EQ(secondSees(), 0);
}

TEST_F(PosixSystemTest, LockIsPerProgramFolderInRuntimeFolder) {
  std::string a = zeph::InstanceLockPath("\\opt\\zeph");
  EXPECT_EQ(a, zeph::InstanceLockPath("\\opt\\zeph"));
  EXPECT_NE(a, zeph::InstanceLockPath("\\opt\\zeph2"));
  EXPECT_EQ(fs::path(a).parent_path(), root_ / "run");
}

TEST_F(PosixSystemTest, StartedProgramDoesNotKeepTheLock) {
  ASSERT_FALSE(sys_->AnotherInstanceRunning());
  fs::path child = CopyChild("lock/Keeper.exe");
  ASSERT_EQ(sys_->RunAndWait(Quoted(child), true), 0);
  ASSERT_NE(FindProcess(child), 0u);
  sys_ = std::make_unique<zeph::PosixSystem>(1, args_);  // we end; the child runs on
  EXPECT_EQ(InChild([] { return zeph::PosixSystem(0, nullptr).AnotherInstanceRunning(); }), 0);
}

// --- files

TEST_F(PosixSystemTest, FilesAndFoldersAreToldApart) {
  fs::create_directories(root_ / "dir");
  WriteText(root_ / "file.txt", "x");
  EXPECT_TRUE(sys_->FileExists(Win(root_ / "file.txt")));
  EXPECT_FALSE(sys_->FolderExists(Win(root_ / "file.txt")));
  EXPECT_TRUE(sys_->FolderExists(Win(root_ / "dir")));
  EXPECT_FALSE(sys_->FileExists(Win(root_ / "dir")));
  EXPECT_FALSE(sys_->FileExists(Win(root_ / "missing")));
  EXPECT_FALSE(sys_->FolderExists(Win(root_ / "missing")));
  EXPECT_FALSE(sys_->FileExists(""));
}

TEST_F(PosixSystemTest, ListFilesLeavesSubFoldersOut) {
  fs::path dir = root_ / "list";
  fs::create_directories(dir / "sub");
  WriteText(dir / "a.ini", "");
  WriteText(dir / "B.INI", "");
  fs::create_symlink(dir / "a.ini", dir / "link.ini");
  fs::create_directory_symlink(dir / "sub", dir / "sublink");
  auto names = sys_->ListFiles(Win(dir));
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"a.ini", "B.INI", "link.ini"}));
  EXPECT_EQ(names.size(), 3u);
  EXPECT_TRUE(sys_->ListFiles(Win(root_ / "missing")).empty());
}

TEST_F(PosixSystemTest, CreateEmptyFileKeepsWhatIsThere) {
  WriteText(root_ / "old", "kept");
  EXPECT_TRUE(sys_->CreateEmptyFile(Win(root_ / "old")));
  EXPECT_EQ(ReadText(root_ / "old"), "kept");
  EXPECT_TRUE(sys_->CreateEmptyFile(Win(root_ / "new")));
  EXPECT_EQ(fs::file_size(root_ / "new"), 0u);
  EXPECT_FALSE(sys_->CreateEmptyFile(Win(root_ / "missing" / "x")));
}

// --- INI files through the real file system

TEST_F(PosixSystemTest, IniReadsTheFile) {
  WriteText(root_ / "a.ini", "[Game]\r\nPath = C:\\x \r\n");
  std::string ini = Win(root_ / "a.ini");
  EXPECT_EQ(sys_->ReadIniString(ini, "game", "PATH", "", 255), "C:\\x");
  EXPECT_EQ(sys_->ReadIniString(ini, "Game", "Other", "def", 255), "def");
  EXPECT_EQ(sys_->ReadIniString(Win(root_ / "none.ini"), "Game", "Path", "abcdef", 4), "abc");
  EXPECT_EQ(sys_->ReadIniString(Win(root_), "Game", "Path", "dflt", 255), "dflt");
}

TEST_F(PosixSystemTest, IniWriteCreatesAndReplacesInOneStep) {
  fs::path file = root_ / "ini" / "Zeph.ini";
  fs::create_directories(file.parent_path());
  std::string ini = Win(file);
  ASSERT_TRUE(sys_->WriteIniString(ini, "Mode", "Suspend", "1"));
  EXPECT_EQ(sys_->ReadIniString(ini, "Mode", "Suspend", "", 255), "1");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string old = ReadText(file);
  // A reader that has the file open keeps seeing the old contents whole.
  int reader = open(file.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(sys_->WriteIniString(ini, "Mode", "Suspend", "0"));
  ASSERT_TRUE(sys_->WriteIniString(ini, "Mode", "Other", "x"));
  char seen[256] = {};
  ssize_t n = pread(reader, seen, sizeof seen, 0);
  close(reader);
  EXPECT_EQ(std::string(seen, n > 0 ? static_cast<size_t>(n) : 0), old) << "written in place";
  struct stat after;
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(sys_->ReadIniString(ini, "Mode", "Suspend", "", 255), "0");
  EXPECT_EQ(sys_->ReadIniString(ini, "Mode", "Other", "", 255), "x");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
}

TEST_F(PosixSystemTest, IniWriteFollowsALink) {
  fs::create_directories(root_ / "real");
  WriteText(root_ / "real" / "t.ini", "[a]\r\nx=1\r\n");
  fs::create_symlink(root_ / "real" / "t.ini", root_ / "link.ini");
  ASSERT_TRUE(sys_->WriteIniString(Win(root_ / "link.ini"), "a", "x", "2"));
  EXPECT_TRUE(fs::is_symlink(root_ / "link.ini"));
  EXPECT_EQ(ReadText(root_ / "real" / "t.ini"), "[a]\r\nx=2\r\n");
}

TEST_F(PosixSystemTest, IniWriteRefusesReadOnlyFileAndMissingFolder) {
  fs::path dir = root_ / "ro";
  fs::create_directories(dir);
  // Root may write anything: try it as nobody, in a folder nobody may write in.
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(dir, fs::perms::all);
  WriteText(dir / "r.ini", "[a]\r\nx=1\r\n");
  fs::permissions(dir / "r.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::string ini = Win(dir / "r.ini");
  int wrote = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    return sys_->WriteIniString(ini, "a", "x", "2") ? 1 : 0;
  });
  EXPECT_EQ(wrote, 0);
  EXPECT_EQ(ReadText(dir / "r.ini"), "[a]\r\nx=1\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  EXPECT_FALSE(sys_->WriteIniString(Win(root_ / "nofolder" / "n.ini"), "a", "x", "1"));
  EXPECT_FALSE(fs::exists(root_ / "nofolder"));
}

// --- the registry store

class PosixRegistryTest : public PosixSystemTest {
 protected:
  using Bytes = std::vector<uint8_t>;
  const zeph::RegRoot hklm = zeph::RegRoot::LocalMachine;
  const zeph::RegRoot hkcu = zeph::RegRoot::CurrentUser;
  fs::path StoreFile() { return root_ / "config" / "zephmonitor" / "registry.ini"; }
  bool Query(zeph::RegRoot root, const std::string& key, const std::string& name, uint32_t* type,
             Bytes* data) {
    return sys_->RegQueryValue(root, key, name, type, data);
  }
};

TEST_F(PosixRegistryTest, DwordKeepsItsBytes) {
  ASSERT_TRUE(sys_->RegSetValue(hklm, "Software\\Zeph Test", "Count", zeph::kRegDword,
                                {0xff, 0xff, 0xff, 0xff}));
  uint32_t type = 0;
  Bytes data;
  ASSERT_TRUE(Query(hklm, "Software\\Zeph Test", "Count", &type, &data));
  EXPECT_EQ(type, zeph::kRegDword);
  EXPECT_EQ(data, (Bytes{0xff, 0xff, 0xff, 0xff}));
  std::string text = ReadText(StoreFile());
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Zeph Test]"), std::string::npos) << text;
  EXPECT_NE(text.find("Count=4:ffffffff"), std::string::npos) << text;
}

TEST_F(PosixRegistryTest, StringKeepsItsNul) {
  Bytes abc = {'a', 'b', 'c', 0};
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "Software\\Zeph", "Name", zeph::kRegSz, abc));
  uint32_t type = 0;
  Bytes data;
  ASSERT_TRUE(Query(hkcu, "Software\\Zeph", "Name", &type, &data));
  EXPECT_EQ(type, zeph::kRegSz);
  EXPECT_EQ(data, abc);
  EXPECT_TRUE(Query(hkcu, "Software\\Zeph", "Name", nullptr, nullptr));
}

TEST_F(PosixRegistryTest, KeysAndNamesIgnoreCaseButRootsDoNotMix) {
  ASSERT_TRUE(sys_->RegSetValue(hklm, "Software\\Zeph", "Value", zeph::kRegSz, {'1', 0}));
  ASSERT_TRUE(sys_->RegSetValue(hklm, "SOFTWARE\\zeph\\", "VALUE", zeph::kRegSz, {'2', 0}));
  Bytes data;
  ASSERT_TRUE(Query(hklm, "software\\ZEPH", "value", nullptr, &data));
  EXPECT_EQ(data, (Bytes{'2', 0}));
  EXPECT_FALSE(Query(hkcu, "Software\\Zeph", "Value", nullptr, &data));
  EXPECT_FALSE(Query(hklm, "Software", "Value", nullptr, &data));
  std::string text = ReadText(StoreFile());
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos) << "the first spelling stays: " << text;
}

TEST_F(PosixRegistryTest, ReplacingChangesTheType) {
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "K", "v", zeph::kRegSz, {'x', 0}));
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "K", "V", zeph::kRegDword, {1, 0, 0, 0}));
  uint32_t type = 0;
  Bytes data;
  ASSERT_TRUE(Query(hkcu, "K", "v", &type, &data));
  EXPECT_EQ(type, zeph::kRegDword);
  EXPECT_EQ(data, (Bytes{1, 0, 0, 0}));
}

TEST_F(PosixRegistryTest, QueryAndDeleteNeverCreate) {
  uint32_t type = 0;
  Bytes data;
  EXPECT_FALSE(Query(hkcu, "Software\\Zeph", "Name", &type, &data));
  EXPECT_FALSE(sys_->RegDeleteValue(hkcu, "Software\\Zeph", "Name"));
  EXPECT_FALSE(fs::exists(StoreFile()));
}

TEST_F(PosixRegistryTest, DeleteRemovesOnlyThatValue) {
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "Run", "A", zeph::kRegSz, {'a', 0}));
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "Run", "B", zeph::kRegSz, {'b', 0}));
  EXPECT_TRUE(sys_->RegDeleteValue(hkcu, "run", "a"));
  EXPECT_FALSE(sys_->RegDeleteValue(hkcu, "Run", "A"));
  EXPECT_FALSE(Query(hkcu, "Run", "A", nullptr, nullptr));
  EXPECT_TRUE(Query(hkcu, "Run", "B", nullptr, nullptr));
}

TEST_F(PosixRegistryTest, AwkwardNamesRoundTrip) {
  const std::string key = "Software\\[odd] = key;#\\ end ";
  const std::vector<std::string> names = {"", "a=b", "[x]", ";c", "%41", " lead", "tab\t",
                                          "\xe9t\xe9", "line\nbreak"};
  for (size_t i = 0; i < names.size(); ++i)
    ASSERT_TRUE(sys_->RegSetValue(hklm, key, names[i], zeph::kRegDword,
                                  {static_cast<uint8_t>(i), 0, 0, 0}));
  for (size_t i = 0; i < names.size(); ++i) {
    Bytes data;
    ASSERT_TRUE(Query(hklm, key, names[i], nullptr, &data)) << i;
    EXPECT_EQ(data[0], i) << i;
  }
}

TEST(PosixRegistryText, BrokenLinesAreSkipped) {
  auto keys = zeph::posix::ParseRegistryText(
      "; comment\n"
      "orphan=1:00\n"
      "[HKEY_CURRENT_USER\\A]\r\n"
      "  good = 4:01000000\n"
      "good=1:zz\n"   // not hex: the earlier value stands
      "odd=1:123\n"   // half a byte
      "notype=:00\n"
      "nocolon=100\n"
      "[broken\n"
      "lost=1:00\n"
      "[hkey_current_user\\a]\n"
      "empty=1:\n");
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 2u);
  EXPECT_EQ(keys[0].values[0].name, "good");
  EXPECT_EQ(keys[0].values[0].data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(keys[0].values[1].name, "empty");
  EXPECT_TRUE(keys[0].values[1].data.empty());
}

// --- processes

struct SplitCase {
  const char* name;
  const char* text;
  std::vector<std::string> args;
};

TEST(PosixArguments, SplitByTheWindowsRules) {
  const SplitCase cases[] = {
      {"Blanks", "  a \t b  ", {"a", "b"}},
      {"Empty", "", {}},
      {"QuotesGroup", "\"a b\" c", {"a b", "c"}},
      {"QuotesInsideWord", "a\"b c\"d", {"ab cd"}},
      {"EmptyQuoted", "\"\" x", {"", "x"}},
      {"DoubledQuoteInQuotes", "\"a\"\"b\"", {"a\"b"}},
      {"PathBackslashesKept", "C:\\dir\\x.ini", {"C:\\dir\\x.ini"}},
      {"EscapedQuote", "a\\\"b", {"a\"b"}},
      {"TwoBackslashesThenQuote", "\"a\\\\\" b", {"a\\", "b"}},
      {"ThreeBackslashesThenQuote", "a\\\\\\\"b", {"a\\\"b"}},
      {"UnclosedQuote", "\"a b", {"a b"}},
  };
  for (const SplitCase& c : cases)
    EXPECT_EQ(zeph::posix::SplitArguments(c.text), c.args) << c.name;
}

TEST_F(PosixSystemTest, ListFindsAStartedGameWithItsFolder) {
  fs::path game = CopyChild("Game Folder/Game.EXE");
  ASSERT_EQ(sys_->RunAndWait(Quoted(game), true), 0);
  uint32_t pid = FindProcess(game);
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(getpgid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid)) << "in our process group";
  auto handle = sys_->OpenProcess(pid);
  ASSERT_TRUE(handle);
  uint32_t code = 0;
  ASSERT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(code, zeph::kStillActive);
  kill(static_cast<pid_t>(pid), SIGKILL);
  // Our own child: its real end is known.
  EXPECT_TRUE(WaitUntil([&] { return handle->ExitCode(&code) && code != zeph::kStillActive; }, 3000));
  EXPECT_EQ(code, 128u + SIGKILL);
}

TEST_F(PosixSystemTest, OpenProcessSeesAnotherProgramEnd) {
  pid_t pid = fork();
  if (pid == 0) {
    execl(ZEPH_TESTCHILD, ZEPH_TESTCHILD, "exit", "9", static_cast<char*>(nullptr));
    _exit(127);
  }
  auto handle = sys_->OpenProcess(static_cast<uint32_t>(pid));
  ASSERT_TRUE(handle);
  uint32_t code = 1;
  EXPECT_TRUE(WaitUntil([&] { return handle->ExitCode(&code) && code != zeph::kStillActive; }, 3000));
  EXPECT_EQ(code, 0u) << "another program's exit code is not ours to read";
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(code, 0u);
}

TEST_F(PosixSystemTest, OpenProcessOfNoProcessIsNull) {
  EXPECT_FALSE(sys_->OpenProcess(static_cast<uint32_t>(EndedPid())));
  EXPECT_FALSE(sys_->OpenProcess(0));
  EXPECT_TRUE(sys_->OpenProcess(static_cast<uint32_t>(getpid())));
}

// --- running programs

TEST_F(PosixSystemTest, RunAndWaitReturnsTheExitCode) {
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " exit 3", false), 3);
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " exit 0", false), 0);
  EXPECT_EQ(sys_->RunAndWait("  " + Win(ZEPH_TESTCHILD) + "\texit 255", false), 255);
}

TEST_F(PosixSystemTest, RunAndWaitPassesGroupedArguments) {
  EXPECT_EQ(sys_->RunAndWait(R"(/bin/sh -c "test \"$1\" = 'a b' && exit 7 || exit 1" x "a b")", false), 7);
}

TEST_F(PosixSystemTest, KilledChildGives128PlusSignal) {
  EXPECT_EQ(sys_->RunAndWait(R"(/bin/sh -c "kill -9 $$")", false), 128 + SIGKILL);
}

TEST_F(PosixSystemTest, UnquotedProgramWithBlanksTriesEachBlank) {
  fs::path dir = root_ / "p";
  CopyChild("p/a b/child");
  WriteText(dir / "a", "not a program");  // an existing file, but no program
  EXPECT_EQ(sys_->RunAndWait(Win(dir / "a b" / "child") + " exit 5", false), 5);

  // Shortest first: "go" wins over "go exit".
  CopyChild("p/go");
  WriteText(dir / "go exit", "#!/bin/sh\nexit 99\n");
  fs::permissions(dir / "go exit", fs::perms::owner_all);
  EXPECT_EQ(sys_->RunAndWait(Win(dir / "go") + " exit 4", false), 4);
  // Quoted, the first word is taken as it is.
  EXPECT_EQ(sys_->RunAndWait(Quoted(dir / "go exit") + " 4", false), 99);
}

TEST_F(PosixSystemTest, BareNameIsFoundInTheProgramFolder) {
  std::string self = fs::path(program_invocation_name).filename().string();
  fs::path beside = fs::path(ToNativePath(sys_->ProgramFolder())) / self;
  ASSERT_TRUE(fs::exists(beside));
  // The test program itself, asked to list no tests, ends with 0.
  EXPECT_EQ(sys_->RunAndWait(self + " --gtest_filter=NoSuchTest", false), 0);
}

TEST_F(PosixSystemTest, ProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(sys_->RunAndWait(Win(root_ / "no" / "such.exe") + " x", false), -1);
  EXPECT_EQ(sys_->RunAndWait("\"" + Win(root_ / "no such.exe") + "\"", true), -1);
  WriteText(root_ / "plain.exe", "");
  EXPECT_EQ(sys_->RunAndWait(Win(root_ / "plain.exe"), false), -1);
  EXPECT_EQ(sys_->RunAndWait(Win(root_), false), -1);
  EXPECT_EQ(sys_->RunAndWait("   ", false), -1);
}

TEST_F(PosixSystemTest, NoWaitReturnsAtOnceAndLeavesNoZombie) {
  fs::path waiter = CopyChild("w/Waiter.exe");
  fs::path mark = root_ / "mark";
  auto start = Clock::now();
  ASSERT_EQ(sys_->RunAndWait(Quoted(waiter) + " touch " + mark.string() + " 400", true), 0);
  EXPECT_LT(ElapsedMs(start), 300);
  uint32_t pid = FindProcess(waiter);
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(mark); }, 3000));
  fs::path proc = "/proc/" + std::to_string(pid);
  EXPECT_TRUE(WaitUntil(
      [&] {
        sys_->ProcessPendingMessages();
        return !fs::exists(proc);
      },
      3000))
      << "the ended child was not reaped";
  started_.clear();
}

TEST_F(PosixSystemTest, WaitingUsesNoProcessorTime) {
  double cpu = CpuMs();
  auto start = Clock::now();
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " sleep 1000", false), 0);
  EXPECT_GE(ElapsedMs(start), 990);
  EXPECT_LT(CpuMs() - cpu, 50.0);
}

// --- signals, the timer and the message loop

TEST_F(PosixSystemTest, SignalsAreDispatchedAsCommands) {
  raise(SIGTERM);
  raise(SIGINT);
  raise(SIGUSR1);
  EXPECT_EQ(commands_.exits + commands_.toggles, 0) << "dispatched from the handler";
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.exits, 2);
  EXPECT_EQ(commands_.toggles, 1);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.exits, 2);
}

TEST_F(PosixSystemTest, SignalsAndTimerAreDispatchedWhileWaiting) {
  DelayedSignal usr1(SIGUSR1, 150ms);
  sys_->SetTimerInterval(100);
  auto start = Clock::now();
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " sleep 600", false), 0);
  EXPECT_EQ(commands_.toggles, 1);
  EXPECT_GE(commands_.timers, 4);
  EXPECT_LE(commands_.timers, ElapsedMs(start) / 100) << "ticks came in a burst";
}

TEST_F(PosixSystemTest, SleepSleepsThroughSignalsWithoutDispatching) {
  auto start = Clock::now();
  {
    DelayedSignal usr1(SIGUSR1, 50ms);
    sys_->Sleep(300);
  }
  EXPECT_GE(ElapsedMs(start), 300);
  EXPECT_EQ(commands_.toggles, 0);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.toggles, 1);
}

TEST_F(PosixSystemTest, MessageLoopRunsTheTimerIdly) {
  commands_.stopAfterTimers = 4;
  sys_->SetTimerInterval(50);
  double cpu = CpuMs();
  auto start = Clock::now();
  EXPECT_THROW(sys_->RunMessageLoop(), Stop);
  EXPECT_GE(ElapsedMs(start), 200);
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_LT(CpuMs() - cpu, 30.0);
}

TEST_F(PosixSystemTest, MessageLoopWakesForASignal) {
  commands_.stopOnToggle = true;
  DelayedSignal usr1(SIGUSR1, 100ms);
  EXPECT_THROW(sys_->RunMessageLoop(), Stop);
  EXPECT_EQ(commands_.timers, 0);
}

TEST_F(PosixSystemTest, PendingMessagesFireADueTimerOnce) {
  sys_->SetTimerInterval(30);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.timers, 0);
  sys_->Sleep(100);
  sys_->ProcessPendingMessages();
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.timers, 1);
  sys_->SetTimerInterval(0);
  sys_->Sleep(60);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.timers, 1);
}

TEST_F(PosixSystemTest, SettingTheTimerRestartsItsCount) {
  sys_->SetTimerInterval(150);
  sys_->Sleep(100);
  sys_->SetTimerInterval(150);
  sys_->Sleep(100);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.timers, 0);
  sys_->Sleep(80);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.timers, 1);
}

// --- windows of other programs

TEST_F(PosixSystemTest, CloseWindowByTitleEndsTheOwner) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGTERM, SIG_DFL);  // our handler would only note the signal
    if (!zeph::RegisterWindowTitle("Zeph Event")) _exit(3);
    execl(ZEPH_TESTCHILD, ZEPH_TESTCHILD, static_cast<char*>(nullptr));
    _exit(4);
  }
  started_.push_back(pid);
  fs::path reg = fs::path(zeph::posix::WindowRegistrationFolder()) /
                 zeph::posix::WindowRegistrationName("Zeph Event", pid);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(reg); }, 3000));
  EXPECT_FALSE(sys_->CloseWindowByTitle("Zeph Even"));
  EXPECT_FALSE(sys_->CloseWindowByTitle("Zeph Event "));
  EXPECT_TRUE(sys_->CloseWindowByTitle("Zeph Event"));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  started_.clear();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  // Its registration is now stale: removed, and no window found.
  EXPECT_FALSE(sys_->CloseWindowByTitle("Zeph Event"));
  EXPECT_FALSE(fs::exists(reg));
}

TEST_F(PosixSystemTest, RegisterAndUnregisterOwnWindow) {
  ASSERT_TRUE(zeph::RegisterWindowTitle("Mine"));
  fs::path reg = fs::path(zeph::posix::WindowRegistrationFolder()) /
                 zeph::posix::WindowRegistrationName("Mine", getpid());
  EXPECT_EQ(fs::path(zeph::posix::WindowRegistrationFolder()).parent_path(), root_ / "run");
  EXPECT_EQ(ReadText(reg), std::to_string(getpid()) + "\n");
  zeph::UnregisterWindowTitle("Mine");
  EXPECT_FALSE(fs::exists(reg));
  EXPECT_FALSE(sys_->CloseWindowByTitle("Mine"));
}

// --- the monitor's own user interface

TEST_F(PosixSystemTest, MessageBoxIsPrintedAndAnsweredWithItsDefault) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(sys_->MessageBox("one\r\ntwo\nthree", "Zeph", zeph::BoxButtons::OkCancel,
                             zeph::BoxIcon::Question),
            zeph::BoxAnswer::Ok);
  EXPECT_EQ(sys_->MessageBox("Sure?", "Ask", zeph::BoxButtons::YesNo, zeph::BoxIcon::None),
            zeph::BoxAnswer::Yes);
  EXPECT_EQ(sys_->MessageBox("", "T", zeph::BoxButtons::Ok, zeph::BoxIcon::Critical),
            zeph::BoxAnswer::Ok);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "=== Zeph ===\none\ntwo\nthree\n=== OK ===\n"
            "=== Ask ===\nSure?\n=== Yes ===\n"
            "=== T ===\n\n=== OK ===\n");
}

TEST_F(PosixSystemTest, DebugLinesAreShownOnlyInDebugMode) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  sys_->AddDebugLine("hidden");
  sys_->HideFromTaskList();
  sys_->NotifyIcon(zeph::IconMessage::Add, zeph::IconImage::Monitoring, "tip");
  sys_->SetSuspendChecked(true);
  sys_->SetSuspendCaption("Resume");
  sys_->SelectDebugLine(0);
  sys_->ShowMainWindow();
  sys_->AddDebugLine("shown");
  sys_->AddDebugLine("");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "shown\n\n");
}

}  // namespace

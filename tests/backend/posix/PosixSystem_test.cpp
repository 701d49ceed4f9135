// The POSIX seam against the real system: files, processes, signals and
// the clock of this machine. Each test gets its own runtime and config
// folders, so the instance lock, the registry and the window registrations
// of one test never meet another's.
#include "system/posix/PosixSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "system/posix/PosixPaths.h"
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
  void OnSuspendToggle() override { ++toggles; }
  int timers = 0, exits = 0, toggles = 0;
  int stopAfterTimers = 0;
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

  char arg0_[5] = "prog";
  char* args_[2] = {arg0_, nullptr};
  fs::path root_;
  std::unique_ptr<zeph::PosixSystem> sys_;
  RecordingCommands commands_;
  std::vector<pid_t> started_;
};

TEST(PosixPaths, TranslatesSeparatorsBothWays) {
  EXPECT_EQ(ToNativePath("\\tmp\\a b\\Zeph.ini"), "/tmp/a b/Zeph.ini");
  EXPECT_EQ(ToWindowsPath("/tmp/a b/Zeph.ini"), "\\tmp\\a b\\Zeph.ini");
}

TEST_F(PosixSystemTest, InstanceLockIsSeenByAnotherCopyOnly) {
  auto secondSees = [&] {
    return InChild([] { return zeph::PosixSystem(0, nullptr).AnotherInstanceRunning() ? 1 : 0; });
  };
  EXPECT_EQ(secondSees(), 0);
  EXPECT_FALSE(sys_->AnotherInstanceRunning());
  EXPECT_FALSE(sys_->AnotherInstanceRunning()) << "a copy counted itself";
  EXPECT_EQ(secondSees(), 1);
  sys_ = std::make_unique<zeph::PosixSystem>(1, args_);  // the first copy ends
  EXPECT_EQ(secondSees(), 0);
}

TEST_F(PosixSystemTest, IniWriteIsAtomicAndLeavesUnwritableFileAlone) {
  fs::path file = root_ / "ini" / "Zeph.ini";
  fs::create_directories(file.parent_path());
  std::string ini = Win(file);
  ASSERT_TRUE(sys_->WriteIniString(ini, "Mode", "Suspend", "1"));
  EXPECT_EQ(sys_->ReadIniString(ini, "mode", "SUSPEND", "", 255), "1");
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
  EXPECT_EQ(sys_->ReadIniString(ini, "Mode", "Suspend", "", 255), "0");
  EXPECT_EQ(sys_->ReadIniString(ini, "Mode", "Other", "", 255), "x");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
      << "a temporary file was left behind";

  fs::path dir = root_ / "ro";
  fs::create_directories(dir);
  // Root may write anything: try it as nobody, in a folder nobody may write in.
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(dir, fs::perms::all);
  WriteText(dir / "r.ini", "[a]\r\nx=1\r\n");
  fs::permissions(dir / "r.ini",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::string ro = Win(dir / "r.ini");
  int wrote = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    return sys_->WriteIniString(ro, "a", "x", "2") ? 1 : 0;
  });
  EXPECT_EQ(wrote, 0);
  EXPECT_EQ(ReadText(dir / "r.ini"), "[a]\r\nx=1\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(PosixSystemTest, RegistryRoundTripsValuesWithKeysIgnoringCase) {
  using Bytes = std::vector<uint8_t>;
  const auto hklm = zeph::RegRoot::LocalMachine;
  const auto hkcu = zeph::RegRoot::CurrentUser;
  ASSERT_TRUE(sys_->RegSetValue(hklm, "Software\\Zeph Test", "Count", zeph::kRegDword,
                                {0xff, 0xff, 0xff, 0xff}));
  uint32_t type = 0;
  Bytes data;
  ASSERT_TRUE(sys_->RegQueryValue(hklm, "SOFTWARE\\zeph test", "COUNT", &type, &data));
  EXPECT_EQ(type, zeph::kRegDword);
  EXPECT_EQ(data, (Bytes{0xff, 0xff, 0xff, 0xff}));
  EXPECT_FALSE(sys_->RegQueryValue(hkcu, "Software\\Zeph Test", "Count", nullptr, &data));

  Bytes abc = {'a', 'b', 'c', 0};
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "Software\\Zeph", "Name", zeph::kRegSz, {'x', 0}));
  ASSERT_TRUE(sys_->RegSetValue(hkcu, "software\\ZEPH\\", "NAME", zeph::kRegSz, abc));
  ASSERT_TRUE(sys_->RegQueryValue(hkcu, "Software\\Zeph", "name", &type, &data));
  EXPECT_EQ(type, zeph::kRegSz);
  EXPECT_EQ(data, abc);
  EXPECT_TRUE(sys_->RegDeleteValue(hkcu, "SOFTWARE\\Zeph", "Name"));
  EXPECT_FALSE(sys_->RegQueryValue(hkcu, "Software\\Zeph", "Name", nullptr, nullptr));
}

TEST_F(PosixSystemTest, ListFindsAStartedGameAndOpenProcessSeesItEnd) {
  fs::path game = CopyChild("Game Folder/Game.EXE");
  ASSERT_EQ(sys_->RunAndWait(Quoted(game), true), 0);
  uint32_t pid = 0;
  WaitUntil(
      [&] {
        for (const auto& p : sys_->ListProcesses())
          if (p.imagePath == Win(game)) pid = p.id;
        return pid != 0;
      },
      3000);
  ASSERT_NE(pid, 0u);
  started_.push_back(static_cast<pid_t>(pid));
  auto handle = sys_->OpenProcess(pid);
  ASSERT_TRUE(handle);
  uint32_t code = 0;
  ASSERT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(code, zeph::kStillActive);
  kill(static_cast<pid_t>(pid), SIGKILL);
  EXPECT_TRUE(
      WaitUntil([&] { return handle->ExitCode(&code) && code != zeph::kStillActive; }, 3000));
  EXPECT_EQ(code, 128u + SIGKILL);
}

TEST_F(PosixSystemTest, RunAndWaitReportsExitCodesAndFailures) {
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " exit 3", false), 3);
  EXPECT_EQ(sys_->RunAndWait(Win(CopyChild("p/a b/child")) + " exit 5", false), 5);
  EXPECT_EQ(sys_->RunAndWait(Win(root_ / "no" / "such.exe") + " x", false), -1);
  EXPECT_EQ(sys_->RunAndWait("\"" + Win(root_ / "no such.exe") + "\"", true), -1);

  auto start = Clock::now();
  EXPECT_EQ(sys_->RunAndWait(Quoted(CopyChild("w/Waiter.exe")) + " sleep 2000", true), 0);
  EXPECT_LT(ElapsedMs(start), 300) << "noWait waited";
}

TEST_F(PosixSystemTest, WaitingDispatchesSignalsAndTimerWithoutBusyPolling) {
  DelayedSignal usr1(SIGUSR1, 150ms);
  sys_->SetTimerInterval(100);
  double cpu = CpuMs();
  auto start = Clock::now();
  EXPECT_EQ(sys_->RunAndWait(Quoted(ZEPH_TESTCHILD) + " sleep 600", false), 0);
  EXPECT_GE(ElapsedMs(start), 590);
  EXPECT_LT(CpuMs() - cpu, 50.0);
  EXPECT_EQ(commands_.toggles, 1);
  EXPECT_GE(commands_.timers, 4);
  EXPECT_LE(commands_.timers, ElapsedMs(start) / 100) << "ticks came in a burst";
  raise(SIGTERM);
  sys_->ProcessPendingMessages();
  EXPECT_EQ(commands_.exits, 1);
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
  EXPECT_TRUE(sys_->CloseWindowByTitle("Zeph Event"));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  started_.clear();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

}  // namespace

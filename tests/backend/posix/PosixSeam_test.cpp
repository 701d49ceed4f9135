// The POSIX seam against the real system: processes, signals, window
// registrations, the registry store, the clock of this machine and the
// event loop's watched descriptors (on pipes). Each test
// gets its own runtime and config folders, so the instance lock, the
// registry and the window registrations of one test never meet another's.
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
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "system/ProcessHelpers.h"
#include "system/posix/PosixEventLoop.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/PosixProgram.h"
#include "system/posix/PosixRegistry.h"
#include "system/posix/PosixWindows.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace zeph::posix {
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

class RecordingCommands : public Commands {
 public:
  void OnTimer() override {
    ++timers;
    if (stopAfterTimers && timers >= stopAfterTimers) throw Stop();
  }
  void OnExit() override { ++exits; }
  void OnSuspendToggle() override { ++toggles; }
  void OnIconActivated() override { iconEvents.push_back("activated"); }
  void OnMenuRequested() override { iconEvents.push_back("menu requested"); }
  void OnMenuCommand(MenuEntry entry) override { menuCommands.push_back(entry); }
  std::vector<std::string> iconEvents;
  std::vector<MenuEntry> menuCommands;
  int timers = 0, exits = 0, toggles = 0;
  int stopAfterTimers = 0;
};

class PosixSeam : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zephposixXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    // A signal left over from an earlier test must not count in this one.
    loop_.ProcessPendingMessages();
    loop_.SetCommands(&commands_);
  }

  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    loop_.SetCommands(nullptr);
    loop_.ProcessPendingMessages();
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

  uint32_t ListedPid(const fs::path& image) {
    for (const auto& p : processes_.List())
      if (p.imagePath == Win(image)) return p.id;
    return 0;
  }

  int Run(const std::string& commandLine, bool noWait, SystemError* err = nullptr) {
    return RunAndWait(processes_, loop_, commandLine, noWait, err);
  }

  std::string Win(const fs::path& p) { return ToWindowsPath(p.string()); }
  std::string Quoted(const fs::path& p) { return QuotedProgram(Win(p)); }

  fs::path root_;
  EventLoop loop_;
  ProcessTable processes_{""};
  RecordingCommands commands_;
  std::vector<pid_t> started_;
};

TEST(PosixPaths, TranslatesSeparatorsBothWays) {
  EXPECT_EQ(ToNativePath("\\tmp\\a b\\Zeph.ini"), "/tmp/a b/Zeph.ini");
  EXPECT_EQ(ToWindowsPath("/tmp/a b/Zeph.ini"), "\\tmp\\a b\\Zeph.ini");
}

TEST_F(PosixSeam, InstanceLockIsSeenByAnotherCopyOnly) {
  auto secondSees = [&] {
    return InChild([] { return RunningProgram(0, nullptr).AnotherInstanceRunning() ? 1 : 0; });
  };
  auto first = std::make_unique<RunningProgram>(0, nullptr);
  EXPECT_EQ(secondSees(), 0);
  EXPECT_FALSE(first->AnotherInstanceRunning());
  EXPECT_FALSE(first->AnotherInstanceRunning()) << "a copy counted itself";
  EXPECT_EQ(secondSees(), 1);
  first.reset();  // the first copy ends
  EXPECT_EQ(secondSees(), 0);
}

TEST_F(PosixSeam, RegistryRoundTripsValuesWithKeysIgnoringCase) {
  using Bytes = std::vector<uint8_t>;
  FileRegistry reg;
  const auto hklm = RegRoot::LocalMachine;
  const auto hkcu = RegRoot::CurrentUser;
  ASSERT_TRUE(reg.SetValue(hklm, "Software\\Zeph Test", "Count", kRegDword,
                           {0xff, 0xff, 0xff, 0xff}, nullptr));
  uint32_t type = 0;
  Bytes data;
  ASSERT_EQ(reg.QueryValue(hklm, "SOFTWARE\\zeph test", "COUNT", &type, &data, nullptr),
            ReadResult::Ok);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, (Bytes{0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(reg.QueryValue(hkcu, "Software\\Zeph Test", "Count", &type, &data, nullptr),
            ReadResult::Missing);

  Bytes abc = {'a', 'b', 'c', 0};
  ASSERT_TRUE(reg.SetValue(hkcu, "Software\\Zeph", "Name", kRegSz, {'x', 0}, nullptr));
  ASSERT_TRUE(reg.SetValue(hkcu, "software\\ZEPH\\", "NAME", kRegSz, abc, nullptr));
  ASSERT_EQ(reg.QueryValue(hkcu, "Software\\Zeph", "name", &type, &data, nullptr), ReadResult::Ok);
  EXPECT_EQ(data, abc);
  EXPECT_TRUE(reg.DeleteValue(hkcu, "SOFTWARE\\Zeph", "Name", nullptr));
  SystemError err;
  EXPECT_FALSE(reg.DeleteValue(hkcu, "Software\\Zeph", "Name", &err));
  EXPECT_EQ(err.code, ENOENT);

  // A store that cannot be written says why.
  setenv("XDG_CONFIG_HOME", "/proc/no-such-folder", 1);
  EXPECT_FALSE(reg.SetValue(hkcu, "Software\\Zeph", "Name", kRegSz, abc, &err));
  EXPECT_NE(err.code, 0);
  EXPECT_FALSE(err.text.empty());
}

TEST_F(PosixSeam, ListFindsAGameSeesAnExecAtOnceAndOpenSeesTheEnd) {
  fs::path game = CopyChild("Game Folder/Game.EXE");
  // A launcher that turns into the game under its own pid.
  pid_t launcher = fork();
  if (launcher == 0) {
    execl("/bin/sh", "sh", "-c", ("sleep 0.4; exec '" + game.string() + "'").c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  started_.push_back(launcher);
  ASSERT_TRUE(WaitUntil([&] { return processes_.List().size() > 0 && ListedPid(game) == 0; }, 100));
  ASSERT_TRUE(WaitUntil([&] { return ListedPid(game) != 0; }, 3000));
  EXPECT_EQ(ListedPid(game), static_cast<uint32_t>(launcher));

  SystemError err;
  auto handle = processes_.Open(static_cast<uint32_t>(launcher), &err);
  ASSERT_TRUE(handle) << err.Describe();
  bool running = false;
  uint32_t code = 0;
  ASSERT_TRUE(handle->State(&running, &code, nullptr));
  EXPECT_TRUE(running);
  kill(launcher, SIGKILL);
  EXPECT_TRUE(WaitUntil([&] { return handle->State(&running, &code, nullptr) && !running; }, 3000));
  EXPECT_FALSE(processes_.Open(999999999u, &err));
  EXPECT_EQ(err.code, ESRCH);
}

TEST_F(PosixSeam, RunAndWaitReportsExitCodesAndFailures) {
  EXPECT_EQ(Run(Quoted(ZEPH_TESTCHILD) + " exit 3", false), 3);
  EXPECT_EQ(Run(Win(CopyChild("p/a b/child")) + " exit 5", false), 5);
  SystemError err;
  EXPECT_EQ(Run(Win(root_ / "no" / "such.exe") + " x", false, &err), -1);
  EXPECT_EQ(err.code, ENOENT);
  EXPECT_EQ(Run(Quoted(root_ / "no such.exe"), true), -1);

  // A quoted program is that program: the planted "a" is never tried.
  CopyChild("a");
  CopyChild("a b/c");
  EXPECT_EQ(Run(Quoted(root_ / "a b" / "c") + " exit 7", false), 7);

  auto start = Clock::now();
  EXPECT_EQ(Run(Quoted(CopyChild("w/Waiter.exe")) + " sleep 2000", true), 0);
  EXPECT_LT(ElapsedMs(start), 300) << "noWait waited";
}

TEST_F(PosixSeam, WaitingDispatchesSignalsAndTimerWithoutBusyPolling) {
  std::thread signals([] {
    std::this_thread::sleep_for(150ms);
    kill(getpid(), SIGUSR1);
    std::this_thread::sleep_for(50ms);
    kill(getpid(), SIGHUP);
  });
  loop_.SetTimerInterval(100);
  double cpu = CpuMs();
  auto start = Clock::now();
  EXPECT_EQ(Run(Quoted(ZEPH_TESTCHILD) + " sleep 600", false), 0);
  signals.join();
  EXPECT_GE(ElapsedMs(start), 590);
  EXPECT_LT(CpuMs() - cpu, 50.0);
  EXPECT_EQ(commands_.toggles, 1);
  EXPECT_EQ(commands_.exits, 1) << "HUP is Exit";
  EXPECT_GE(commands_.timers, 4);
  EXPECT_LE(commands_.timers, ElapsedMs(start) / 100) << "ticks came in a burst";
  raise(SIGTERM);
  loop_.ProcessPendingMessages();
  EXPECT_EQ(commands_.exits, 2);
}

TEST_F(PosixSeam, TerminalLinesAndUsr2AreTheIconAndItsMenu) {
  // Standard input becomes a pipe for this test; a loop made now reads it.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const int savedStdin = dup(STDIN_FILENO);
  dup2(pipeFds[0], STDIN_FILENO);
  close(pipeFds[0]);
  {
    EventLoop loop;
    RecordingCommands commands;
    loop.SetCommands(&commands);
    const std::string typed =
        "menu\n  ABOUT \nweb\nstartup\nsuspend\ncustomize\nbogus\n\nexit\nparti";
    ASSERT_EQ(write(pipeFds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    loop.WaitForObject(-1, 200);
    raise(SIGUSR2);
    loop.ProcessPendingMessages();
    close(pipeFds[1]);  // end of input: the unfinished line is no command
    loop.WaitForObject(-1, 200);
    auto start = Clock::now();
    loop.WaitForObject(-1, 100);
    EXPECT_GE(ElapsedMs(start), 90) << "the ended input woke the loop";
    EXPECT_EQ((std::vector<std::string>{"menu requested", "activated"}), commands.iconEvents);
    EXPECT_EQ((std::vector<MenuEntry>{MenuEntry::About, MenuEntry::WebUpdate, MenuEntry::Startup,
                                      MenuEntry::Suspend, MenuEntry::Customize, MenuEntry::Exit}),
              commands.menuCommands);
    loop.SetCommands(nullptr);
  }
  dup2(savedStdin, STDIN_FILENO);
  close(savedStdin);
}

TEST_F(PosixSeam, MessageLoopRunsTheTimerIdly) {
  commands_.stopAfterTimers = 4;
  loop_.SetTimerInterval(50);
  double cpu = CpuMs();
  auto start = Clock::now();
  EXPECT_THROW(loop_.Run(), Stop);
  EXPECT_GE(ElapsedMs(start), 200);
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_LT(CpuMs() - cpu, 30.0);
}

TEST_F(PosixSeam, CloseWindowByTitleEndsTheOwnerAndNeverAStranger) {
  pid_t owner = fork();
  if (owner == 0) {
    signal(SIGTERM, SIG_DFL);  // our handler would only note the signal
    if (!RegisterWindowTitle("Zeph Event")) _exit(3);
    for (;;) pause();
  }
  started_.push_back(owner);
  ASSERT_TRUE(WaitUntil([&] { return WindowOwners("Zeph Event").size() == 1; }, 3000));
  EXPECT_FALSE(processes_.CloseWindowByTitle("Zeph Even"));
  EXPECT_TRUE(processes_.CloseWindowByTitle("Zeph Event"));
  int status = 0;
  ASSERT_EQ(waitpid(owner, &status, 0), owner);
  started_.clear();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);

  // A registration left by an owner that died, naming a pid that another
  // live program has now: removed, and that program left alone.
  pid_t stranger = fork();
  if (stranger == 0) {
    signal(SIGTERM, SIG_DFL);
    for (;;) pause();
  }
  started_.push_back(stranger);
  std::string hexTitle = "5a65706845766e74";  // "ZephEvnt"
  fs::path stale =
      fs::path(WindowRegistrationFolder()) / (hexTitle + "." + std::to_string(stranger));
  std::ofstream(stale) << stranger << "\n";
  EXPECT_FALSE(processes_.CloseWindowByTitle("ZephEvnt"));
  EXPECT_FALSE(fs::exists(stale));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(waitpid(stranger, &status, WNOHANG), 0) << "the stranger was signalled";
}

// --- descriptors watched by the loop, on real pipes

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int in() const { return fds[0]; }
  void Write(char c) { EXPECT_EQ(write(fds[1], &c, 1), 1); }
  void CloseWriteEnd() {
    close(fds[1]);
    fds[1] = -1;
  }
  // One byte read; '\0' at the end of input.
  char Read() {
    char c = 0;
    return read(fds[0], &c, 1) == 1 ? c : '\0';
  }
  int fds[2] = {-1, -1};
};

// A new loop reads its standard input's end (under ctest, say) first: then
// that end wakes no wait of the test.
void Settle(EventLoop& loop) { loop.ProcessPendingMessages(); }

// Writes c into the pipe after ms, from another thread.
std::thread WriteLater(Pipe& p, char c, std::chrono::milliseconds ms) {
  return std::thread([&p, c, ms] {
    std::this_thread::sleep_for(ms);
    p.Write(c);
  });
}

TEST(DescriptorWatch, ReadableDescriptorIsDispatchedInEveryKindOfWait) {
  EventLoop loop;
  Settle(loop);
  Pipe p;
  std::string got;
  long gotAtMs = -1;
  Clock::time_point start = Clock::now();
  loop.WatchDescriptor(p.in(), [&] {
    got += p.Read();
    gotAtMs = ElapsedMs(start);
  });

  // Sleep: at once, and the sleep still lasts its time.
  std::thread writer = WriteLater(p, 'a', 100ms);
  loop.Sleep(400);
  writer.join();
  EXPECT_EQ("a", got);
  EXPECT_LT(gotAtMs, 300) << "dispatched only at the end of the sleep";
  EXPECT_GE(ElapsedMs(start), 390);

  // WaitForObject: it returns when the byte arrives (or a stray signal of
  // an earlier test does).
  start = Clock::now();
  writer = WriteLater(p, 'b', 100ms);
  while (got.size() < 2 && ElapsedMs(start) < 2000) loop.WaitForObject(-1, 3000);
  writer.join();
  EXPECT_EQ("ab", got);
  EXPECT_LT(ElapsedMs(start), 1000);

  // ProcessPendingMessages: what waits, and no call when nothing does.
  p.Write('c');
  loop.ProcessPendingMessages();
  loop.ProcessPendingMessages();
  EXPECT_EQ("abc", got);
  loop.UnwatchDescriptor(p.in());
}

TEST(DescriptorWatch, NoCallAfterUnwatchingEvenOfADescriptorAlreadyFoundReady) {
  EventLoop loop;
  Settle(loop);
  Pipe first, second;
  std::string got;
  loop.WatchDescriptor(first.in(), [&] {
    got += first.Read();
    loop.UnwatchDescriptor(second.in());  // both are ready in the same poll
  });
  loop.WatchDescriptor(second.in(), [&] { got += second.Read(); });
  second.Write('2');
  first.Write('1');
  loop.ProcessPendingMessages();
  EXPECT_EQ("1", got);

  // Watched again, a descriptor calls its new callback only.
  loop.WatchDescriptor(first.in(), [&] { got += "old"; });
  loop.WatchDescriptor(first.in(), [&] { got += first.Read(); });
  first.Write('3');
  loop.ProcessPendingMessages();
  EXPECT_EQ("13", got);

  loop.UnwatchDescriptor(first.in());
  first.Write('4');
  loop.ProcessPendingMessages();
  EXPECT_EQ("13", got);
}

TEST(DescriptorWatch, ClosedEndIsToldOnceAndAnIdleWatchDoesNotBusyPoll) {
  EventLoop loop;
  Settle(loop);
  Pipe p;
  int calls = 0;
  loop.WatchDescriptor(p.in(), [&] {
    ++calls;
    if (p.Read() == '\0') loop.UnwatchDescriptor(p.in());  // the other end closed
  });
  double cpu = CpuMs();
  loop.Sleep(300);
  EXPECT_EQ(0, calls);
  EXPECT_LT(CpuMs() - cpu, 30.0) << "an idle watch kept the loop busy";

  p.CloseWriteEnd();
  const Clock::time_point start = Clock::now();
  while (calls == 0 && ElapsedMs(start) < 2000) loop.WaitForObject(-1, 3000);
  EXPECT_EQ(1, calls);
  cpu = CpuMs();
  loop.Sleep(200);
  EXPECT_EQ(1, calls);
  EXPECT_LT(CpuMs() - cpu, 30.0) << "the unwatched end still woke the loop";
}

}  // namespace
}  // namespace zeph::posix

// --- Wine loaders in the listing

namespace zeph::posix {
namespace {

class WineListing : public PosixSeam {
 protected:
  // Starts program with argv and only WINEPREFIX in its environment;
  // stdin is the read end of a pipe this test keeps open.
  pid_t StartLoader(const fs::path& program, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const std::string prefix = "WINEPREFIX=" + (root_ / "pfx").string();
    pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[0], 0);
      close(fds[1]);
      std::vector<char*> argv;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      char* env[] = {const_cast<char*>(prefix.c_str()), nullptr};
      execve(program.c_str(), argv.data(), env);
      _exit(127);
    }
    close(fds[0]);
    held_.push_back(fds[1]);
    started_.push_back(pid);
    return pid;
  }
  void TearDown() override {
    for (int fd : held_) close(fd);
    PosixSeam::TearDown();
  }

  const ProcessInfo* Listed(const std::vector<ProcessInfo>& list, pid_t pid) {
    for (const auto& p : list)
      if (p.id == static_cast<uint32_t>(pid)) return &p;
    return nullptr;
  }

  // Lists until pid is listed as holds() wants, within ms; the last listing
  // in *list.
  bool ListedWhen(pid_t pid, const std::function<bool(const ProcessInfo&)>& holds, int ms,
                  std::vector<ProcessInfo>* list) {
    return WaitUntil(
        [&] {
          *list = processes_.List();
          const ProcessInfo* p = Listed(*list, pid);
          return p && holds(*p);
        },
        ms);
  }

  std::vector<int> held_;
};

// A loader's process is listed as the Windows program it runs, its folder
// mapped through the prefix's C: link and spelled as on disk; one that runs
// no Windows program yet is the loader until it does (read again each time,
// though its exe stays the same).
TEST_F(WineListing, ALoaderIsListedAsItsProgramOnceItRunsOne) {
  const std::string umlaut = "\xC3\xA4";
  const fs::path games = root_ / "pfx" / "drive_c" / "Games";
  fs::create_directories(games / ("My R" + umlaut + "cer"));
  std::ofstream(games / ("My R" + umlaut + "cer") / "racer.exe") << "MZ";
  fs::create_directories(games / "Flyer");
  fs::create_directories(root_ / "pfx" / "dosdevices");
  fs::create_symlink("../drive_c", root_ / "pfx" / "dosdevices" / "c:");
  const fs::path loader = CopyChild("files/bin/wine64");
  const std::string pfx = Win(fs::canonical(root_ / "pfx"));

  pid_t game = StartLoader(loader, {"C:\\GAMES\\MY R" + umlaut + "CER\\RACER.EXE"});
  fs::path bash = root_ / "other bin" / "wine";
  fs::create_directories(bash.parent_path());
  fs::copy_file("/bin/bash", bash);
  pid_t later = StartLoader(bash, {"wine", "-c",
                                   "sleep 0.6; exec -a 'C:\\Games\\Flyer\\flyer.exe' '" +
                                       bash.string() + "' -c 'read x'"});

  const auto runsWindowsProgram = [](const ProcessInfo& p) { return !p.wine.Empty(); };
  std::vector<ProcessInfo> list;
  ASSERT_TRUE(ListedWhen(game, runsWindowsProgram, 3000, &list));
  const ProcessInfo* p = Listed(list, game);
  EXPECT_EQ(Win(fs::canonical(games / ("My R" + umlaut + "cer") / "racer.exe")), p->imagePath);
  EXPECT_EQ(Win(root_ / "pfx"), p->wine.prefix);
  EXPECT_EQ(Win(loader), p->wine.loader);

  // Before its exec the bash copy runs no Windows program: it is the loader.
  ASSERT_TRUE(ListedWhen(
      later, [&](const ProcessInfo& q) { return q.imagePath == Win(bash); }, 500, &list));
  EXPECT_TRUE(Listed(list, later)->wine.Empty());
  ASSERT_TRUE(ListedWhen(later, runsWindowsProgram, 3000, &list));
  EXPECT_EQ(pfx + "\\drive_c\\Games\\Flyer\\flyer.exe", Listed(list, later)->imagePath);
  EXPECT_EQ(Win(bash), Listed(list, later)->wine.loader);
}

}  // namespace
}  // namespace zeph::posix

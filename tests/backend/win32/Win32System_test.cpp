// The Win32 seam against the real system (run under Wine here, or on Windows).
//
// Several tests start a child process: the test child of the build tree, or
// this test program itself running one of the DISABLED_ child cases below.
#include "system/win32/Win32System.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tray/win32/MainWindowIds.h"

// Rectangles are compared by GoogleTest, which looks for these beside RECT.
bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace zeph::win32 {
namespace {

// --- helpers

std::string ThisExe() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return std::string(full, n);
}

// testchild.exe is built into the tests folder, two levels above this program.
std::string TestChild() { return FullPath(FolderOfPath(ThisExe()) + "\\..\\..\\testchild.exe"); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

// A fresh folder under the temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char longTemp[MAX_PATH];
    // Long names, so that paths compare with what processes report.
    if (GetLongPathNameA(temp, longTemp, sizeof longTemp) == 0) lstrcpyA(longTemp, temp);
    path_ = std::string(longTemp) + "zeph-w32-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempDir() { RemoveTree(path_); }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// A child process started by the test itself, ended when the test ends.
class Child {
 public:
  explicit Child(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info_)) {
      CloseHandle(info_.hThread);
    }
  }
  ~Child() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return info_.hProcess != nullptr; }
  uint32_t Pid() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

// Sets an environment variable (inherited by children) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* name_;
};

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    ::Sleep(20);
  }
  return condition();
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A plain top-level window that records what reaches it.
struct TestWindow {
  static constexpr UINT kProbe = WM_APP + 7;
  HWND handle = nullptr;
  int closeMessages = 0;
  DWORD probeAt = 0;  // GetTickCount when kProbe was dispatched

  explicit TestWindow(const std::string& title) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = &Procedure;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "ZephTestWindow";
      return RegisterClassA(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    handle = CreateWindowExA(0, "ZephTestWindow", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100,
                             100, nullptr, nullptr, GetModuleHandleA(nullptr), this);
  }
  ~TestWindow() {
    if (handle != nullptr) DestroyWindow(handle);
  }
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrA(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_CLOSE) {
      ++self->closeMessages;
      return 0;
    }
    if (self != nullptr && message == kProbe) {
      self->probeAt = GetTickCount();
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
};

struct RecordingCommands : Commands {
  int timers = 0, exits = 0, suspends = 0;
  void OnTimer() override { ++timers; }
  void OnExit() override { ++exits; }
  void OnSuspendToggle() override { ++suspends; }
};

uint64_t ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000;
  };
  return ms(kernel) + ms(user);
}

// --- command line, folder and instance name (pure text)

TEST(CommandLineText, ArgumentsFollowTheProgramName) {
  struct Row {
    const char* name;
    const char* line;
    const char* args;
  };
  const Row rows[] = {
      {"plain", "C:\\z\\ZephMonitor.exe /debug", "/debug"},
      {"quoted with blanks", "\"C:\\Program Files\\z\\ZephMonitor.exe\" /debug", "/debug"},
      {"several blanks and a tab", "ZephMonitor.exe  \t /kill", "/kill"},
      {"trailing blanks kept", "\"C:\\a b\\z.exe\" x y  ", "x y  "},
      {"only the program", "\"C:\\a b\\z.exe\"", ""},
      {"only the program and blanks", "z.exe   ", ""},
      {"quotes inside the arguments stay", "z.exe \"a b\"  c", "\"a b\"  c"},
      {"empty", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.args, ArgsFromCommandLine(row.line)) << row.name;
  }
}

TEST(CommandLineText, FolderOfPathDropsTheLastPart) {
  EXPECT_EQ("C:\\Program Files\\Zeph", FolderOfPath("C:\\Program Files\\Zeph\\ZephMonitor.exe"));
  EXPECT_EQ("C:", FolderOfPath("C:\\z.exe"));
  EXPECT_EQ("", FolderOfPath("z.exe"));
}

TEST(InstanceName, IgnoresCaseAndTellsFoldersApart) {
  const std::string name = InstanceMutexName("C:\\Games\\Zeph");
  EXPECT_EQ(name, InstanceMutexName("c:\\GAMES\\zeph"));
  EXPECT_NE(name, InstanceMutexName("C:\\Games\\Zeph2"));
  EXPECT_NE(name, InstanceMutexName("D:\\Games\\Zeph"));
  EXPECT_EQ(std::string::npos, name.find('\\'));
}

// --- files, INI files and the registry

TEST(Files, ExistenceListingAndCreation) {
  TempDir dir;
  Win32System sys;
  ASSERT_TRUE(sys.CreateEmptyFile(dir / "b.wyn"));
  ASSERT_TRUE(sys.CreateEmptyFile(dir / "a.wyn"));
  ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));

  EXPECT_TRUE(sys.FileExists(dir / "a.wyn"));
  EXPECT_FALSE(sys.FileExists(dir / "sub"));
  EXPECT_FALSE(sys.FileExists(dir / "missing"));
  EXPECT_TRUE(sys.FolderExists(dir / "sub"));
  EXPECT_TRUE(sys.FolderExists(dir.Path() + "\\"));
  EXPECT_FALSE(sys.FolderExists(dir / "a.wyn"));

  std::vector<std::string> files = sys.ListFiles(dir.Path());
  std::sort(files.begin(), files.end());
  EXPECT_EQ((std::vector<std::string>{"a.wyn", "b.wyn"}), files);
  EXPECT_EQ(files.size(), sys.ListFiles(dir.Path() + "\\").size());
  EXPECT_TRUE(sys.ListFiles(dir / "missing").empty());
}

TEST(Files, CreateEmptyFileKeepsAnExistingFileAndFailsInAMissingFolder) {
  TempDir dir;
  Win32System sys;
  ASSERT_TRUE(sys.WriteIniString(dir / "x.ini", "S", "K", "V"));
  EXPECT_TRUE(sys.CreateEmptyFile(dir / "x.ini"));
  EXPECT_EQ("V", sys.ReadIniString(dir / "x.ini", "S", "K", "", 255));
  EXPECT_FALSE(sys.CreateEmptyFile(dir / "no\\such\\folder.txt"));
}

TEST(Ini, RoundTripThroughTheProfileFunctions) {
  TempDir dir;
  Win32System sys;
  const std::string file = dir / "zephmon.ini";
  EXPECT_EQ("ERROR", sys.ReadIniString(file, "APPLICATION", "MODE", "ERROR", 255));
  ASSERT_TRUE(sys.WriteIniString(file, "APPLICATION", "MODE", "ACTIVE"));
  ASSERT_TRUE(sys.WriteIniString(file, "Games", "WYN", "racer.wyn"));
  EXPECT_EQ("ACTIVE", sys.ReadIniString(file, "APPLICATION", "MODE", "ERROR", 255));
  EXPECT_EQ("ACTIVE", sys.ReadIniString(file, "application", "mode", "ERROR", 255));
  EXPECT_EQ("ERROR", sys.ReadIniString(file, "APPLICATION", "OTHER", "ERROR", 255));
  ASSERT_TRUE(sys.WriteIniString(file, "APPLICATION", "MODE", ""));
  EXPECT_EQ("", sys.ReadIniString(file, "APPLICATION", "MODE", "ERROR", 255));
  EXPECT_EQ("racer.wyn", sys.ReadIniString(file, "Games", "WYN", "", 255));
}

TEST(Ini, BufferSizeCutsValueAndDefault) {
  TempDir dir;
  Win32System sys;
  const std::string file = dir / "cut.ini";
  ASSERT_TRUE(sys.WriteIniString(file, "S", "K", "abcdefgh"));
  EXPECT_EQ("abcd", sys.ReadIniString(file, "S", "K", "", 5));
  EXPECT_EQ("ERR", sys.ReadIniString(file, "S", "missing", "ERROR", 4));
  EXPECT_EQ("", sys.ReadIniString(file, "S", "K", "", 0));
}

class Registry : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }
  const std::string base_ = "Software\\ZephMonitorTest" + std::to_string(GetCurrentProcessId());
  Win32System sys_;
};

TEST_F(Registry, DwordAndStringAreStoredAsGivenUnderNewKeys) {
  const std::string key = base_ + "\\Missing\\Parents";
  ASSERT_TRUE(
      sys_.RegSetValue(RegRoot::CurrentUser, key, "Number", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(
      sys_.RegSetValue(RegRoot::CurrentUser, key, "Text", kRegSz, Bytes(std::string("abc", 4))));

  // Read back through the system itself, not through our own reader.
  DWORD number = 0, size = sizeof number, type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Number", RRF_RT_ANY, &type,
                                        &number, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(0xFFFFFFFFu, number);

  uint32_t readType = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "Text", &readType, &data));
  EXPECT_EQ(kRegSz, readType);
  EXPECT_EQ(Bytes(std::string("abc", 4)), data);
  ASSERT_TRUE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "Number", &readType, &data));
  EXPECT_EQ(kRegDword, readType);
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}), data);
}

TEST_F(Registry, QueryCreatesNothingAndDeleteRemovesOnlyTheValue) {
  const std::string key = base_ + "\\Kinetra";
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_FALSE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "Version", &type, &data));
  HKEY probe = nullptr;
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, key.c_str(), &probe));

  ASSERT_TRUE(sys_.RegSetValue(RegRoot::CurrentUser, key, "Version", kRegSz,
                               Bytes(std::string("5.10", 5))));
  EXPECT_FALSE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "Other", &type, &data));
  EXPECT_TRUE(sys_.RegDeleteValue(RegRoot::CurrentUser, key, "Version"));
  EXPECT_FALSE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "Version", &type, &data));
  EXPECT_FALSE(sys_.RegDeleteValue(RegRoot::CurrentUser, key, "Version"));
  EXPECT_FALSE(sys_.RegDeleteValue(RegRoot::CurrentUser, base_ + "\\Nowhere", "Version"));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, key.c_str(), &probe));  // key stays
  RegCloseKey(probe);
}

TEST_F(Registry, LocalMachineIsTheOtherRoot) {
  const std::string key = base_ + "\\Machine";
  ASSERT_TRUE(
      sys_.RegSetValue(RegRoot::LocalMachine, key, "V", kRegSz, Bytes(std::string("m", 2))));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_TRUE(sys_.RegQueryValue(RegRoot::LocalMachine, key, "V", &type, &data));
  EXPECT_FALSE(sys_.RegQueryValue(RegRoot::CurrentUser, key, "V", &type, &data));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, base_.c_str());
}

// --- processes

TEST(Processes, ListFindsAStartedGameByItsFullPath) {
  TempDir dir;
  const std::string game = dir / "Game.EXE";
  ASSERT_TRUE(CopyFileA(TestChild().c_str(), game.c_str(), FALSE)) << TestChild();
  std::vector<std::unique_ptr<Child>> games;
  // Enough processes that the id buffer has to grow past its first sizes.
  for (int i = 0; i < 20; ++i) {
    games.push_back(std::make_unique<Child>(Quoted(game)));
    ASSERT_TRUE(games.back()->Started());
  }

  Win32System sys;
  std::vector<ProcessInfo> list;
  auto allListed = [&] {
    list = sys.ListProcesses();
    for (const auto& child : games) {
      bool found = false;
      for (const ProcessInfo& p : list) found = found || p.id == child->Pid();
      if (!found) return false;
    }
    return true;
  };
  ASSERT_TRUE(WaitUntil(allListed, 10000));
  for (const ProcessInfo& p : list) {
    if (p.id == games[0]->Pid()) {
      EXPECT_TRUE(SameText(game, p.imagePath)) << p.imagePath;
      EXPECT_EQ("Game.EXE", p.imagePath.substr(p.imagePath.rfind('\\') + 1));
    }
    if (p.id == GetCurrentProcessId()) {
      EXPECT_TRUE(SameText(ThisExe(), p.imagePath)) << p.imagePath;
    }
    EXPECT_FALSE(p.imagePath.empty());
    EXPECT_NE(' ', p.imagePath.back());
  }
}

TEST(Processes, ExitCodeWhileRunningAndAfterTheEnd) {
  Win32System sys;
  Child child(Quoted(TestChild()));
  ASSERT_TRUE(child.Started());
  std::unique_ptr<ProcessHandle> handle = sys.OpenProcess(child.Pid());
  ASSERT_NE(nullptr, handle);
  uint32_t code = 0;
  ASSERT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(kStillActive, code);

  TerminateProcess(child.Process(), 17);
  WaitForSingleObject(child.Process(), 5000);
  ASSERT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(17u, code);
}

TEST(Processes, ExitCodeOfAProcessThatHasAlreadyEnded) {
  Win32System sys;
  Child child(Quoted(TestChild()) + " exit 42");
  ASSERT_TRUE(child.Started());
  WaitForSingleObject(child.Process(), 5000);
  std::unique_ptr<ProcessHandle> handle = sys.OpenProcess(child.Pid());
  ASSERT_NE(nullptr, handle);
  uint32_t code = 0;
  ASSERT_TRUE(handle->ExitCode(&code));
  EXPECT_EQ(42u, code);
}

TEST(Processes, OpenProcessOfNoProcessIsNull) {
  Win32System sys;
  EXPECT_EQ(nullptr, sys.OpenProcess(0x7FFFFFF3));  // ids are multiples of 4
}

// --- run and wait

TEST(RunAndWait, ReturnsTheExitCode) {
  Win32System sys;
  EXPECT_EQ(42, sys.RunAndWait(Quoted(TestChild()) + " exit 42", false));
  EXPECT_EQ(0, sys.RunAndWait(Quoted(TestChild()) + " exit 0", false));
}

TEST(RunAndWait, AMissingProgramIsMinusOne) {
  Win32System sys;
  TempDir dir;
  EXPECT_EQ(-1, sys.RunAndWait(Quoted(dir / "nothing.exe") + " x", false));
  EXPECT_EQ(-1, sys.RunAndWait(Quoted(dir / "nothing.exe"), true));
  EXPECT_EQ(-1, sys.RunAndWait("", false));
}

TEST(RunAndWait, NoWaitReturnsWhileTheChildRuns) {
  Win32System sys;
  TempDir dir;
  const std::string program = dir / "NoWait.exe";
  ASSERT_TRUE(CopyFileA(TestChild().c_str(), program.c_str(), FALSE));
  const std::string marker = dir / "started.txt";

  const DWORD start = GetTickCount();
  EXPECT_EQ(0, sys.RunAndWait(Quoted(program) + " touch " + Quoted(marker), true));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_TRUE(WaitUntil([&] { return sys.FileExists(marker); }, 10000));

  // The child runs until killed; find it by its path and end it.
  bool ended = false;
  for (const ProcessInfo& p : sys.ListProcesses()) {
    if (!SameText(p.imagePath, program)) continue;
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.id);
    ASSERT_NE(nullptr, process);
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    ended = true;
  }
  EXPECT_TRUE(ended) << "the child was not running";
}

TEST(RunAndWait, WaitsWithoutBurningProcessorTime) {
  // The measurement itself must work for the test to mean anything.
  const uint64_t before = ProcessCpuMs();
  const DWORD spinUntil = GetTickCount() + 300;
  volatile uint64_t sink = 0;
  while (GetTickCount() < spinUntil) sink = sink + 1;
  if (ProcessCpuMs() - before < 100) GTEST_SKIP() << "GetProcessTimes does not count here";

  Win32System sys;
  const uint64_t cpuBefore = ProcessCpuMs();
  const DWORD start = GetTickCount();
  EXPECT_EQ(0, sys.RunAndWait(Quoted(TestChild()) + " sleep 1000", false));
  EXPECT_GE(GetTickCount() - start, 900u);
  // A busy loop of PeekMessage shows as about 300 ms here under Wine (the
  // server does part of the work) and the whole second on Windows; a real
  // wait as a few ms.
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 100u);
}

TEST(RunAndWait, DispatchesMessagesDuringTheWait) {
  Win32System sys;
  TestWindow window("ZephMonitor probe " + std::to_string(GetCurrentProcessId()));
  ASSERT_NE(nullptr, window.handle);
  const DWORD start = GetTickCount();
  std::thread poster([&] {
    ::Sleep(200);
    PostMessageA(window.handle, TestWindow::kProbe, 0, 0);
  });
  EXPECT_EQ(0, sys.RunAndWait(Quoted(TestChild()) + " sleep 1500", false));
  const DWORD returned = GetTickCount();
  poster.join();
  ASSERT_NE(0u, window.probeAt) << "the posted message was not dispatched";
  EXPECT_LT(window.probeAt - start, returned - start - 500) << "dispatched only after the wait";
}

// --- the instance mutex, program folder and argument text, seen from a child

bool GetEnv(const char* name, std::string* value) {
  char text[1024];
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  if (n == 0 || n >= sizeof text) return false;
  value->assign(text, n);
  return true;
}

// Runs only as a child of the tests below; the environment says what to expect.
TEST(InstanceChild, DISABLED_Report) {
  Win32System sys;
  std::string expected;
  if (GetEnv("ZEPH_TEST_EXPECT_ANOTHER", &expected)) {
    EXPECT_EQ(expected == "1", sys.AnotherInstanceRunning());
  }
  if (GetEnv("ZEPH_TEST_EXPECT_FOLDER", &expected)) {
    EXPECT_TRUE(SameText(expected, sys.ProgramFolder())) << sys.ProgramFolder();
  }
  if (GetEnv("ZEPH_TEST_EXPECT_ARGS", &expected)) {
    EXPECT_EQ(expected, sys.CommandArgs());
  }
}

// Ends inside EndProgram, before GoogleTest can write its report.
TEST(InstanceChild, DISABLED_EndProgram) {
  Win32System sys;
  sys.EndProgram();
}

std::string ChildCommand(const std::string& exe, const std::string& testName) {
  return Quoted(exe) +
         " --gtest_brief=1 --gtest_also_run_disabled_tests --gtest_filter=InstanceChild." +
         testName;
}

TEST(Instance, NeverCountsItselfAndIsSeenByAnotherCopy) {
  Win32System another;  // only to run the children
  ScopedEnv expect("ZEPH_TEST_EXPECT_ANOTHER", "1");
  {
    Win32System sys;
    EXPECT_FALSE(sys.AnotherInstanceRunning());
    EXPECT_FALSE(sys.AnotherInstanceRunning());
    EXPECT_EQ(0, another.RunAndWait(ChildCommand(ThisExe(), "DISABLED_Report"), false));
  }
  // Our copy has ended: the mutex is gone with it.
  ScopedEnv expectNone("ZEPH_TEST_EXPECT_ANOTHER", "0");
  EXPECT_EQ(0, another.RunAndWait(ChildCommand(ThisExe(), "DISABLED_Report"), false));
}

TEST(Instance, ACopyInAnotherFolderIsNotAnotherInstance) {
  TempDir dir;
  const std::string copy = dir / "ZephMonitor.exe";
  ASSERT_TRUE(CopyFileA(ThisExe().c_str(), copy.c_str(), FALSE));
  Win32System sys;
  EXPECT_FALSE(sys.AnotherInstanceRunning());
  ScopedEnv expectNone("ZEPH_TEST_EXPECT_ANOTHER", "0");
  ScopedEnv folder("ZEPH_TEST_EXPECT_FOLDER", dir.Path());
  EXPECT_EQ(0, sys.RunAndWait(ChildCommand(copy, "DISABLED_Report"), false));
}

TEST(Instance, ArgumentTextKeepsTrailingBlanks) {
  Win32System sys;
  const std::string args =
      "--gtest_brief=1 --gtest_also_run_disabled_tests "
      "--gtest_filter=InstanceChild.DISABLED_Report  ";
  ScopedEnv expect("ZEPH_TEST_EXPECT_ARGS", args);
  ScopedEnv folder("ZEPH_TEST_EXPECT_FOLDER", FolderOfPath(ThisExe()));
  EXPECT_EQ(0, sys.RunAndWait(Quoted(ThisExe()) + "  \t" + args, false));
}

TEST(Instance, EndProgramEndsAtOnceWithCodeZero) {
  TempDir dir;
  const std::string report = dir / "report.xml";
  Win32System sys;
  // The report is written when the tests have run; a test that ends the
  // process leaves none.
  EXPECT_EQ(0, sys.RunAndWait(ChildCommand(ThisExe(), "DISABLED_EndProgram") + " " +
                                  Quoted("--gtest_output=xml:" + report),
                              false));
  EXPECT_FALSE(sys.FileExists(report));
  // The same child without EndProgram does write it: the check above means something.
  EXPECT_EQ(0, sys.RunAndWait(ChildCommand(ThisExe(), "DISABLED_Report") + " " +
                                  Quoted("--gtest_output=xml:" + report),
                              false));
  EXPECT_TRUE(sys.FileExists(report));
}

// --- windows of other programs

TEST(OtherWindows, CloseWindowByTitlePostsTheCloseMessage) {
  Win32System sys;
  const std::string title = "ZephMonitor close me " + std::to_string(GetCurrentProcessId());
  TestWindow window(title);
  ASSERT_NE(nullptr, window.handle);
  EXPECT_TRUE(sys.CloseWindowByTitle(title));
  EXPECT_EQ(0, window.closeMessages) << "sent, not posted";
  sys.ProcessPendingMessages();
  EXPECT_EQ(1, window.closeMessages);
  EXPECT_FALSE(sys.CloseWindowByTitle(title + " (no such window)"));
}

// --- the platform

TEST(Platform, VersionAndTimeOfDay) {
  Win32System sys;
  const OsVersion version = sys.GetOsVersion();
  EXPECT_EQ(2u, version.platformId);  // NT family
  EXPECT_GE(version.major, 5u);
  const std::string time = sys.TimeOfDay();
  EXPECT_NE(std::string::npos, time.find_first_of("0123456789")) << time;
  EXPECT_EQ(std::string::npos, time.find('\0'));
}

// --- the main window

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = sys_.Window().Handle();
    ASSERT_NE(nullptr, main_);
    sys_.SetCommands(&commands_);
  }
  // The control's rectangle in the main window's client coordinates.
  RECT ClientRectOf(int id) {
    RECT r{};
    HWND control = GetDlgItem(main_, id);
    EXPECT_NE(nullptr, control) << id;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  std::string TextOf(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
  }
  std::string ListLine(int index) {
    char text[256] = "";
    SendDlgItemMessageA(main_, IDC_DEBUG_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
  }
  // Top-level windows of this process that can be seen.
  static BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
  }
  int VisibleTopLevelWindows() {
    int count = 0;
    EnumWindows(&CountVisible, reinterpret_cast<LPARAM>(&count));
    return count;
  }
  void PumpFor(int ms) {
    const DWORD end = GetTickCount() + ms;
    while (GetTickCount() < end) {
      sys_.ProcessPendingMessages();
      ::Sleep(5);
    }
  }

  Win32System sys_;
  RecordingCommands commands_;
  HWND main_ = nullptr;
};

TEST_F(MainWindowTest, LayoutFollowsTheTwipDesign) {
  RECT client{};
  GetClientRect(main_, &client);
  EXPECT_EQ(596, client.right);
  EXPECT_EQ(230, client.bottom);
  EXPECT_EQ("Thalix Monitor - Debug Mode", TextOf(main_));

  EXPECT_EQ((RECT{4, 6, 592, 179}), ClientRectOf(IDC_DEBUG_LIST));
  EXPECT_EQ((RECT{425, 202, 504, 224}), ClientRectOf(IDC_SUSPEND));
  EXPECT_EQ((RECT{511, 202, 590, 224}), ClientRectOf(IDC_EXIT));
  EXPECT_EQ("Suspend", TextOf(GetDlgItem(main_, IDC_SUSPEND)));
  EXPECT_EQ("Exit", TextOf(GetDlgItem(main_, IDC_EXIT)));

  HWND list = GetDlgItem(main_, IDC_DEBUG_LIST);
  char cls[32] = "";
  GetClassNameA(list, cls, sizeof cls);
  EXPECT_TRUE(SameText("ListBox", cls)) << cls;
  EXPECT_FALSE(GetWindowLongPtrA(list, GWL_STYLE) & LBS_SORT);
  // The list shows its scroll bar once the lines no longer fit.
  for (int i = 0; i < 40; ++i) sys_.AddDebugLine("line " + std::to_string(i));
  EXPECT_TRUE(GetWindowLongPtrA(list, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(MainWindowTest, HiddenUntilShown) {
  sys_.AddDebugLine("line");
  sys_.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  sys_.ProcessPendingMessages();
  EXPECT_FALSE(IsWindowVisible(main_));
  sys_.ShowMainWindow();
  EXPECT_TRUE(IsWindowVisible(main_));
  EXPECT_FALSE(IsIconic(main_));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(main_, IDC_DEBUG_LIST)));
}

TEST_F(MainWindowTest, DebugLinesKeepTheirOrderAndCanBeSelected) {
  sys_.AddDebugLine("zeta");
  sys_.AddDebugLine("alpha");
  sys_.AddDebugLine("mid");
  EXPECT_EQ(3, SendDlgItemMessageA(main_, IDC_DEBUG_LIST, LB_GETCOUNT, 0, 0));
  EXPECT_EQ("zeta", ListLine(0));
  EXPECT_EQ("alpha", ListLine(1));
  EXPECT_EQ("mid", ListLine(2));
  sys_.SelectDebugLine(2);
  EXPECT_EQ(2, SendDlgItemMessageA(main_, IDC_DEBUG_LIST, LB_GETCURSEL, 0, 0));
}

TEST_F(MainWindowTest, ButtonsAndCloseBoxReachTheCommands) {
  sys_.ShowMainWindow();
  SendMessageA(GetDlgItem(main_, IDC_SUSPEND), BM_CLICK, 0, 0);
  PumpFor(50);
  EXPECT_EQ(1, commands_.suspends);
  EXPECT_EQ(0, commands_.exits);

  SendMessageA(GetDlgItem(main_, IDC_EXIT), BM_CLICK, 0, 0);
  PumpFor(50);
  EXPECT_EQ(1, commands_.exits);

  SendMessageA(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(2, commands_.exits);
  EXPECT_TRUE(IsWindow(main_)) << "closing is left to the program";
  EXPECT_EQ(1, commands_.suspends);
}

TEST_F(MainWindowTest, SuspendCaptionAndCheckMark) {
  sys_.SetSuspendCaption("Resume");
  EXPECT_EQ("Resume", TextOf(GetDlgItem(main_, IDC_SUSPEND)));
  sys_.SetSuspendChecked(true);
  EXPECT_TRUE(sys_.Window().SuspendChecked());
  sys_.SetSuspendChecked(false);
  EXPECT_FALSE(sys_.Window().SuspendChecked());
}

TEST_F(MainWindowTest, WatchTimerTicksUntilStopped) {
  sys_.SetTimerInterval(40);
  PumpFor(400);
  EXPECT_GE(commands_.timers, 3);
  EXPECT_LE(commands_.timers, 12);
  sys_.SetTimerInterval(0);
  PumpFor(20);  // a tick that fell due before the stop may still be queued
  commands_.timers = 0;
  PumpFor(200);
  EXPECT_EQ(0, commands_.timers);
}

TEST_F(MainWindowTest, HideFromTaskListOwnsTheWindowByAHiddenOne) {
  EXPECT_EQ(nullptr, GetWindow(main_, GW_OWNER));
  sys_.HideFromTaskList();
  HWND owner = GetWindow(main_, GW_OWNER);
  ASSERT_NE(nullptr, owner);
  EXPECT_FALSE(GetWindowLongPtrA(main_, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  sys_.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  sys_.ProcessPendingMessages();
  EXPECT_EQ(0, VisibleTopLevelWindows());

  sys_.ShowMainWindow();
  EXPECT_TRUE(IsWindowVisible(main_));
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_EQ(1, VisibleTopLevelWindows());
}

TEST_F(MainWindowTest, HideFromTaskListAfterShowKeepsTheWindowShown) {
  sys_.ShowMainWindow();
  sys_.HideFromTaskList();
  EXPECT_NE(nullptr, GetWindow(main_, GW_OWNER));
  EXPECT_TRUE(IsWindowVisible(main_));
}

TEST_F(MainWindowTest, IconRecordHasTheClassicLayout) {
  const MainWindow& window = sys_.Window();
  HICON monitoring = window.IconHandle(IconImage::Monitoring);
  HICON suspended = window.IconHandle(IconImage::Suspended);
  ASSERT_NE(nullptr, monitoring);
  ASSERT_NE(nullptr, suspended);
  EXPECT_NE(monitoring, suspended);
  EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), monitoring) << "not from the resources";

  sys_.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  const NOTIFYICONDATAA& record = window.IconRecord();
  EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), record.cbSize);
  EXPECT_EQ(main_, record.hWnd);
  EXPECT_EQ(1u, record.uID);
  EXPECT_EQ(7u, record.uFlags);
  EXPECT_EQ(0x200u, record.uCallbackMessage);
  EXPECT_EQ(monitoring, record.hIcon);
  EXPECT_STREQ("Thalix Monitor", record.szTip);

  sys_.NotifyIcon(IconMessage::Modify, IconImage::Suspended, "Thalix Monitor - Suspended");
  EXPECT_EQ(suspended, record.hIcon);
  EXPECT_STREQ("Thalix Monitor - Suspended", record.szTip);
  sys_.NotifyIcon(IconMessage::Delete, IconImage::Suspended, "Thalix Monitor");
}

TEST(IconTip, AlwaysEndsWithItsNul) {
  NOTIFYICONDATAA record{};
  const std::string prefix = "Thalix Monitor - Watching: ";
  SetIconTip(&record, prefix + std::string(40, 'x'));
  EXPECT_EQ(63u, std::string(record.szTip).size());
  EXPECT_EQ('\0', record.szTip[63]);
  EXPECT_EQ(prefix, std::string(record.szTip, prefix.size()));

  SetIconTip(&record, std::string(63, 'y'));
  EXPECT_EQ(std::string(63, 'y'), record.szTip);
  SetIconTip(&record, "short");
  EXPECT_STREQ("short", record.szTip);
  EXPECT_EQ('\0', record.szTip[10]) << "the rest of an earlier tip is cleared";
}

TEST_F(MainWindowTest, ShellRestartAddsTheIconAgain) {
  sys_.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  NOTIFYICONDATAA record = sys_.Window().IconRecord();
  // The shell forgets the icon, then announces that it is back.
  Shell_NotifyIconA(NIM_DELETE, &record);
  ASSERT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &record)) << "the shell keeps deleted icons";
  SendMessageA(main_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &record));

  // A deleted icon stays deleted.
  sys_.NotifyIcon(IconMessage::Delete, IconImage::Monitoring, "Thalix Monitor");
  SendMessageA(main_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &record));
}

// --- message boxes

// Answers the next message box with this title from another thread.
class BoxAnswerer {
 public:
  BoxAnswerer(const std::string& title, int button)
      : thread_([this, title, button] {
          for (int i = 0; i < 500 && !box_; ++i) {
            HWND box = FindWindowA("#32770", title.c_str());
            if (box != nullptr) {
              owner_ = GetWindow(box, GW_OWNER);
              box_ = box;
              SendMessageA(box, WM_COMMAND, button, 0);
            }
            ::Sleep(20);
          }
        }) {}
  ~BoxAnswerer() { thread_.join(); }
  HWND Owner() const { return owner_; }

 private:
  std::atomic<HWND> box_{nullptr};
  std::atomic<HWND> owner_{nullptr};
  std::thread thread_;  // last: starts once the fields it uses exist
};

TEST_F(MainWindowTest, MessageBoxAnswersAreMapped) {
  struct Row {
    BoxButtons buttons;
    int press;
    BoxAnswer expected;
  };
  const Row rows[] = {
      {BoxButtons::OkCancel, IDCANCEL, BoxAnswer::Cancel},
      {BoxButtons::YesNo, IDYES, BoxAnswer::Yes},
      {BoxButtons::YesNo, IDNO, BoxAnswer::No},
  };
  int n = 0;
  for (const Row& row : rows) {
    const std::string title = "Zeph box " + std::to_string(++n);
    BoxAnswer answer;
    {
      BoxAnswerer answerer(title, row.press);
      answer = sys_.MessageBox("text", title, row.buttons, BoxIcon::Question);
      EXPECT_EQ(main_, answerer.Owner()) << title;
    }
    EXPECT_EQ(row.expected, answer) << title;
  }
}

}  // namespace
}  // namespace zeph::win32

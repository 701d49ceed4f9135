// The Win32 seam against the real system (run under Wine here, or on Windows).
//
// Several tests start a child process: the test child of the build tree, or
// this test program itself running the DISABLED_ child case below.
#include "system/win32/Win32System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tray/win32/MainWindowIds.h"

// Rectangles are compared by GoogleTest, which looks for this beside RECT.
bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace zeph::win32 {
namespace {

// --- helpers

std::string ThisExe() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

// testchild.exe is built into the tests folder, two levels above this program.
std::string TestChild() {
  char full[MAX_PATH];
  const std::string path = FolderOfPath(ThisExe()) + "\\..\\..\\testchild.exe";
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return std::string(full, n);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

// A fresh folder under the temporary folder, removed with its (flat) contents.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    char temp[MAX_PATH], longTemp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // Long names, so that paths compare with what processes report.
    if (GetLongPathNameA(temp, longTemp, sizeof longTemp) == 0) lstrcpyA(longTemp, temp);
    path_ = std::string(longTemp) + "zeph-w32-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempDir() {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do DeleteFileA((*this / found.cFileName).c_str());
      while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(path_.c_str());
  }
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
  bool Started() const { return info_.hProcess != nullptr; }
  uint32_t Pid() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    ::Sleep(20);
  }
  return condition();
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
    if (registered)
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
    if (self != nullptr && message == WM_CLOSE) return ++self->closeMessages, 0;
    if (self != nullptr && message == kProbe) return self->probeAt = GetTickCount(), 0;
    return DefWindowProcA(window, message, wParam, lParam);
  }
};

uint64_t ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000;
  };
  return ms(kernel) + ms(user);
}

// --- INI files and the registry

TEST(Ini, RoundTripThroughTheProfileFunctions) {
  TempDir dir;
  Win32System sys;
  const std::string file = dir / "zephmon.ini";
  EXPECT_EQ("ERROR", sys.ReadIniString(file, "APPLICATION", "MODE", "ERROR", 255));
  ASSERT_TRUE(sys.WriteIniString(file, "APPLICATION", "MODE", "ACTIVE"));
  ASSERT_TRUE(sys.WriteIniString(file, "Games", "WYN", "racer.wyn"));
  EXPECT_EQ("ACTIVE", sys.ReadIniString(file, "application", "mode", "ERROR", 255));
  EXPECT_EQ("racer.wyn", sys.ReadIniString(file, "Games", "WYN", "", 255));
  EXPECT_EQ("race", sys.ReadIniString(file, "Games", "WYN", "", 5));
}

TEST(Registry, WriteReadAndDeleteUnderNewKeys) {
  Win32System sys;
  const std::string base = "Software\\ZephMonitorTest" + std::to_string(GetCurrentProcessId());
  const std::string key = base + "\\Missing\\Parents";
  const std::vector<uint8_t> minusOne{0xFF, 0xFF, 0xFF, 0xFF}, abc{'a', 'b', 'c', 0};
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_FALSE(sys.RegQueryValue(RegRoot::CurrentUser, key, "Number", &type, &data));
  ASSERT_TRUE(sys.RegSetValue(RegRoot::CurrentUser, key, "Number", kRegDword, minusOne));
  ASSERT_TRUE(sys.RegSetValue(RegRoot::CurrentUser, key, "Text", kRegSz, abc));

  // Read back through the system itself, not only through our own reader.
  DWORD number = 0, size = sizeof number, sysType = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Number", RRF_RT_ANY,
                                        &sysType, &number, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), sysType);
  EXPECT_EQ(0xFFFFFFFFu, number);
  ASSERT_TRUE(sys.RegQueryValue(RegRoot::CurrentUser, key, "Text", &type, &data));
  EXPECT_EQ(kRegSz, type);
  EXPECT_EQ(abc, data);
  ASSERT_TRUE(sys.RegQueryValue(RegRoot::CurrentUser, key, "Number", &type, &data));
  EXPECT_EQ(kRegDword, type);
  EXPECT_EQ(minusOne, data);

  EXPECT_TRUE(sys.RegDeleteValue(RegRoot::CurrentUser, key, "Text"));
  EXPECT_FALSE(sys.RegQueryValue(RegRoot::CurrentUser, key, "Text", &type, &data));
  EXPECT_FALSE(sys.RegDeleteValue(RegRoot::CurrentUser, key, "Text"));
  RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
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
  auto listed = [&](const std::unique_ptr<Child>& child) {
    for (const ProcessInfo& p : list)
      if (p.id == child->Pid()) return true;
    return false;
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        list = sys.ListProcesses();
        return std::all_of(games.begin(), games.end(), listed);
      },
      10000));
  for (const ProcessInfo& p : list) {
    if (p.id == games[0]->Pid()) {
      EXPECT_TRUE(SameText(game, p.imagePath)) << p.imagePath;
      EXPECT_EQ("Game.EXE", p.imagePath.substr(p.imagePath.rfind('\\') + 1));
    }
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

// --- run and wait

TEST(RunAndWait, ExitCodesMissingProgramAndNoWait) {
  Win32System sys;
  TempDir dir;
  EXPECT_EQ(42, sys.RunAndWait(Quoted(TestChild()) + " exit 42", false));
  EXPECT_EQ(-1, sys.RunAndWait(Quoted(dir / "nothing.exe") + " x", false));

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

TEST(RunAndWait, WaitsWithoutBusyPollingAndDispatchesMessages) {
  // The processor time measurement must work for its check to mean anything.
  const uint64_t spinBefore = ProcessCpuMs();
  const DWORD spinUntil = GetTickCount() + 300;
  volatile uint64_t sink = 0;
  while (GetTickCount() < spinUntil) sink = sink + 1;
  const bool cpuCounts = ProcessCpuMs() - spinBefore >= 100;

  Win32System sys;
  TestWindow window("ZephMonitor probe " + std::to_string(GetCurrentProcessId()));
  ASSERT_NE(nullptr, window.handle);
  std::thread poster([&] {
    ::Sleep(200);
    PostMessageA(window.handle, TestWindow::kProbe, 0, 0);
  });
  const uint64_t cpuBefore = ProcessCpuMs();
  const DWORD start = GetTickCount();
  EXPECT_EQ(0, sys.RunAndWait(Quoted(TestChild()) + " sleep 1500", false));
  const DWORD returned = GetTickCount();
  const uint64_t cpuUsed = ProcessCpuMs() - cpuBefore;
  poster.join();
  EXPECT_GE(returned - start, 1400u);
  ASSERT_NE(0u, window.probeAt) << "the posted message was not dispatched";
  EXPECT_LT(window.probeAt - start, returned - start - 500) << "dispatched only after the wait";
  // A busy loop of PeekMessage shows as hundreds of ms; a real wait as a few.
  EXPECT_LT(cpuCounts ? cpuUsed : uint64_t{0}, 100u) << "busy polling";
}

// --- the instance mutex, seen from a child

// Runs only as a child of the test below; the environment says what to expect.
TEST(InstanceChild, DISABLED_Report) {
  Win32System sys;
  char expected[8] = "";
  ASSERT_NE(0u, GetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", expected, sizeof expected));
  EXPECT_EQ(std::string(expected) == "1", sys.AnotherInstanceRunning());
}

TEST(Instance, NeverCountsItselfAndIsSeenByAnotherCopy) {
  Win32System runner;  // only to run the children
  const std::string child = Quoted(ThisExe()) +
                            " --gtest_brief=1 --gtest_also_run_disabled_tests"
                            " --gtest_filter=InstanceChild.DISABLED_Report";
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", "1");
  {
    Win32System sys;
    EXPECT_FALSE(sys.AnotherInstanceRunning());
    EXPECT_EQ(0, runner.RunAndWait(child, false));
  }
  // Our copy has ended: the mutex is gone with it.
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", "0");
  EXPECT_EQ(0, runner.RunAndWait(child, false));
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", nullptr);
}

// --- windows

TEST(OtherWindows, CloseWindowByTitlePostsTheCloseMessage) {
  Win32System sys;
  const std::string title = "ZephMonitor close me " + std::to_string(GetCurrentProcessId());
  TestWindow window(title);
  ASSERT_NE(nullptr, window.handle);
  EXPECT_TRUE(sys.CloseWindowByTitle(title));
  sys.ProcessPendingMessages();
  EXPECT_EQ(1, window.closeMessages);
  EXPECT_FALSE(sys.CloseWindowByTitle(title + " (no such window)"));
}

TEST(MainWindow, LayoutAndHiddenUntilShown) {
  Win32System sys;
  HWND main = sys.Window().Handle();
  ASSERT_NE(nullptr, main);
  auto textOf = [](HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return std::string(text);
  };
  // The control's rectangle in the main window's client coordinates.
  auto rectOf = [&](int id) {
    RECT r{};
    HWND control = GetDlgItem(main, id);
    EXPECT_NE(nullptr, control) << id;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ((RECT{0, 0, 596, 230}), client);
  EXPECT_EQ("Thalix Monitor - Debug Mode", textOf(main));
  EXPECT_EQ((RECT{4, 6, 592, 179}), rectOf(IDC_DEBUG_LIST));
  EXPECT_EQ((RECT{425, 202, 504, 224}), rectOf(IDC_SUSPEND));
  EXPECT_EQ((RECT{511, 202, 590, 224}), rectOf(IDC_EXIT));
  EXPECT_EQ("Suspend", textOf(GetDlgItem(main, IDC_SUSPEND)));
  EXPECT_EQ("Exit", textOf(GetDlgItem(main, IDC_EXIT)));

  sys.AddDebugLine("line");
  sys.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  sys.ProcessPendingMessages();
  EXPECT_FALSE(IsWindowVisible(main));
  sys.ShowMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
  sys.NotifyIcon(IconMessage::Delete, IconImage::Monitoring, "Thalix Monitor");
}

TEST(IconTip, CutTo63CharactersAndEndsWithItsNul) {
  NOTIFYICONDATAA record{};
  const std::string prefix = "Thalix Monitor - Watching: ";
  SetIconTip(&record, prefix + std::string(40, 'x'));
  EXPECT_EQ(63u, std::string(record.szTip).size());
  EXPECT_EQ('\0', record.szTip[63]);
  EXPECT_EQ(prefix, std::string(record.szTip, prefix.size()));
  SetIconTip(&record, "short");
  EXPECT_STREQ("short", record.szTip);
}

}  // namespace
}  // namespace zeph::win32

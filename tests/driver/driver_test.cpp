// The driver and the Windows harness against the stand-in monitor
// (fake_monitor.cpp), which shows the same kinds of windows as the monitor.
// ZEPH_MONITOR_EXE names the stand-in, so the harness runs it as the monitor.
#include "Driver.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Harness.h"
#include "tray/win32/MainWindowIds.h"

namespace d = zeph::driver;
using zeph::e2e::BoxSeen;
using zeph::e2e::MonitorHarness;

namespace {

constexpr DWORD kPatienceMs = 15000;

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines) {
    if (l == line) return true;
  }
  return false;
}

// A stand-in monitor started directly, ended when the test is over.
class Fake {
 public:
  explicit Fake(const std::string& args) {
    std::string exe = d::WindowsPath(ZEPH_MONITOR_EXE);
    std::string commandLine = "\"" + exe + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
      CloseHandle(info.hThread);
      process_ = info.hProcess;
      pid_ = info.dwProcessId;
    }
  }
  ~Fake() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
  DWORD pid() const { return pid_; }
  bool started() const { return process_ != nullptr; }

  HWND WaitMain() {
    HWND main = nullptr;
    WaitFor([&] { return (main = d::FindMainWindow(pid_)) != nullptr; });
    return main;
  }
  HWND WaitBox() {
    HWND box = nullptr;
    WaitFor([&] {
      auto boxes = d::FindMessageBoxes(pid_);
      if (boxes.empty()) return false;
      box = boxes.front();
      return true;
    });
    return box;
  }
  std::vector<std::string> WaitLines(const std::string& last) {
    std::vector<std::string> lines;
    WaitFor([&] {
      HWND main = d::FindMainWindow(pid_);
      return main && d::ReadDebugList(main, &lines) && Contains(lines, last);
    });
    return lines;
  }
  // Exit code once ended; kStillRunning when it did not end in time.
  static constexpr DWORD kStillRunning = 0xFFFFFFFF;
  DWORD ExitCode() {
    DWORD code = kStillRunning;
    if (WaitForSingleObject(process_, kPatienceMs) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process_, &code);
    }
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

bool ProcessRunsFrom(const std::string& image) {
  bool found = false;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                 entry.th32ProcessID);
    if (!process) continue;
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    found = QueryFullProcessImageNameA(process, 0, path, &size) &&
            lstrcmpiA(path, image.c_str()) == 0 &&
            WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// --- text helpers

TEST(DriverText, LineEndsBecomeNewlines) {
  EXPECT_EQ(d::NormalizeLineEnds("a\r\nb\rc\nd"), "a\nb\nc\nd");
  EXPECT_EQ(d::NormalizeLineEnds("\r\n\r\n"), "\n\n");
  EXPECT_EQ(d::NormalizeLineEnds(""), "");
}

TEST(DriverText, ButtonNamesRoundTrip) {
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
    EXPECT_EQ(d::BoxButtonFromName(d::BoxButtonName(id)), id);
  }
  EXPECT_EQ(d::BoxButtonFromName("YES"), IDYES);
  EXPECT_EQ(d::BoxButtonFromName("retry"), 0);
  EXPECT_STREQ(d::BoxButtonName(IDABORT), "");
}

TEST(DriverText, PathsBecomeWindowsPaths) {
  EXPECT_EQ(d::WindowsPath("C:/a/b.exe"), "C:\\a\\b.exe");
  std::string fromUnix = d::WindowsPath("/tmp/some dir/x.exe");
  ASSERT_GE(fromUnix.size(), 3u);
  EXPECT_EQ(fromUnix.substr(1, 2), ":\\");
  const std::string tail = "\\tmp\\some dir\\x.exe";
  ASSERT_GT(fromUnix.size(), tail.size());
  EXPECT_EQ(fromUnix.substr(fromUnix.size() - tail.size()), tail);
  EXPECT_TRUE(FileExists(d::WindowsPath(ZEPH_MONITOR_EXE)));
}

// --- windows of another process

TEST(DriverWindows, ProcessWithoutWindowsHasNone) {
  DWORD self = GetCurrentProcessId();
  EXPECT_EQ(d::FindMainWindow(self), nullptr);
  EXPECT_TRUE(d::FindMessageBoxes(self, false).empty());
  EXPECT_FALSE(d::HasVisibleWindow(self));
  EXPECT_TRUE(d::TopLevelWindows(0).empty());
}

TEST(DriverWindows, HiddenMainWindowIsFoundAndRead) {
  Fake fake("lines 3");
  ASSERT_TRUE(fake.started());
  HWND main = fake.WaitMain();
  ASSERT_NE(main, nullptr);
  auto lines = fake.WaitLines("script done");
  EXPECT_EQ(lines, (std::vector<std::string>{"args: lines 3", "line 1", "line 2", "line 3",
                                             "script done"}));
  EXPECT_FALSE(d::HasVisibleWindow(fake.pid()));
  EXPECT_EQ(d::ButtonCaption(main, IDC_SUSPEND), "Suspend");
  EXPECT_EQ(d::ButtonCaption(main, IDC_EXIT), "Exit");
  EXPECT_EQ(d::ButtonCaption(main, 4242), "");
  EXPECT_FALSE(d::ClickButton(main, 4242));
  // Not a message box, though it is the process's only window.
  EXPECT_TRUE(d::FindMessageBoxes(fake.pid(), false).empty());
}

TEST(DriverWindows, ShownMainWindowIsVisible) {
  Fake fake("show");
  ASSERT_NE(fake.WaitMain(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return d::HasVisibleWindow(fake.pid()); }));
}

TEST(DriverWindows, ManyLongAndEightBitLinesReadWhole) {
  Fake fake("lines 300 long 3000 latin1");
  auto lines = fake.WaitLines("script done");
  ASSERT_EQ(lines.size(), 304u);
  EXPECT_EQ(lines[300], "line 300");
  EXPECT_EQ(lines[301], std::string(3000, 'x'));
  // Round trip through the wide messages keeps what the code page can hold.
  if (GetACP() == 1252) {
    EXPECT_EQ(lines[302], "caf\xe9");
  }
}

TEST(DriverWindows, SuspendClickTogglesCaption) {
  Fake fake("");
  HWND main = fake.WaitMain();
  ASSERT_NE(main, nullptr);
  // Sent: the click has been handled when the call returns.
  ASSERT_TRUE(d::ClickButton(main, IDC_SUSPEND, d::Delivery::Send));
  EXPECT_EQ(d::ButtonCaption(main, IDC_SUSPEND), "Resume");
  ASSERT_TRUE(d::ClickButton(main, IDC_SUSPEND, d::Delivery::Send));
  EXPECT_EQ(d::ButtonCaption(main, IDC_SUSPEND), "Suspend");
  auto lines = fake.WaitLines("resumed");
  EXPECT_TRUE(Contains(lines, "suspended"));
}

TEST(DriverWindows, ExitButtonAndCloseButtonEndTheProcess) {
  Fake exiting("");
  Fake closing("");
  HWND exitMain = exiting.WaitMain();
  HWND closeMain = closing.WaitMain();
  ASSERT_NE(exitMain, nullptr);
  ASSERT_NE(closeMain, nullptr);
  EXPECT_TRUE(d::ClickButton(exitMain, IDC_EXIT, d::Delivery::Post));
  EXPECT_TRUE(d::RequestClose(closeMain));
  EXPECT_EQ(exiting.ExitCode(), 3u);
  EXPECT_EQ(closing.ExitCode(), 4u);
  EXPECT_FALSE(d::RequestClose(closeMain));  // gone
}

// --- message boxes

TEST(DriverBoxes, OkBoxReadAndPressed) {
  Fake fake("box");
  HWND box = fake.WaitBox();
  ASSERT_NE(box, nullptr);
  d::MessageBoxInfo info;
  ASSERT_TRUE(d::ReadMessageBox(box, &info));
  EXPECT_EQ(info.title, "Fake Box");
  EXPECT_EQ(info.text, "First line\nSecond line");
  ASSERT_EQ(info.buttons.size(), 1u);
  EXPECT_EQ(info.buttons[0].id, IDOK);
  EXPECT_EQ(info.defaultButton, IDOK);
  EXPECT_TRUE(info.visible);
  EXPECT_EQ(GetWindow(box, GW_OWNER), d::FindMainWindow(fake.pid()));

  EXPECT_FALSE(d::PressBoxButton(box, IDCANCEL));  // no such button: box stays
  EXPECT_TRUE(IsWindow(box));
  EXPECT_TRUE(d::PressBoxButton(box, IDOK));
  EXPECT_TRUE(d::WaitUntilGone(box, kPatienceMs));
  EXPECT_TRUE(Contains(fake.WaitLines("script done"), "answer 1"));
  EXPECT_FALSE(d::ReadMessageBox(box, &info));
}

TEST(DriverBoxes, DebugListReadableWhileBoxIsOpen) {
  Fake fake("lines 2 box");
  ASSERT_NE(fake.WaitBox(), nullptr);
  std::vector<std::string> lines;
  ASSERT_TRUE(d::ReadDebugList(d::FindMainWindow(fake.pid()), &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"args: lines 2 box", "line 1", "line 2"}));
}

TEST(DriverBoxes, DefaultButtonFollowsTheBox) {
  struct Case {
    const char* script;
    int expectedDefault;
    int press;
    const char* answer;
  };
  for (const Case& c : {Case{"yesno", IDYES, IDNO, "answer 7"},
                        Case{"yesno2", IDNO, IDYES, "answer 6"},
                        Case{"okcancel", IDOK, IDCANCEL, "answer 2"}}) {
    SCOPED_TRACE(c.script);
    Fake fake(c.script);
    HWND box = fake.WaitBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(d::DefaultButton(box), c.expectedDefault);
    d::MessageBoxInfo info;
    ASSERT_TRUE(d::ReadMessageBox(box, &info));
    EXPECT_EQ(info.buttons.size(), 2u);
    EXPECT_TRUE(d::PressBoxButton(box, c.press, d::Delivery::Post));
    EXPECT_TRUE(Contains(fake.WaitLines("script done"), c.answer));
  }
}

TEST(DriverBoxes, DialogClassMainWindowIsNoBox) {
  Fake fake("dialogmain lines 1 box");
  HWND box = fake.WaitBox();
  ASSERT_NE(box, nullptr);
  HWND main = d::FindMainWindow(fake.pid());
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(d::ClassName(main), "#32770");
  EXPECT_EQ(d::FindMessageBoxes(fake.pid(), false), std::vector<HWND>{box});
  std::vector<std::string> lines;
  ASSERT_TRUE(d::ReadDebugList(main, &lines));
  EXPECT_EQ(lines.back(), "line 1");
  EXPECT_TRUE(d::PressBoxButton(box, IDOK));
  EXPECT_TRUE(Contains(fake.WaitLines("script done"), "answer 1"));
  EXPECT_TRUE(d::FindMessageBoxes(fake.pid(), false).empty());
}

TEST(DriverBoxes, BoxBeforeTheMainWindowIsFound) {
  Fake fake("prebox");
  HWND box = fake.WaitBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(d::FindMainWindow(fake.pid()), nullptr);
  d::MessageBoxInfo info;
  ASSERT_TRUE(d::ReadMessageBox(box, &info));
  EXPECT_EQ(info.title, "Fake Early");
  EXPECT_EQ(info.text, "Before the window");
  EXPECT_TRUE(d::PressBoxButton(box, info.defaultButton));
  EXPECT_NE(fake.WaitMain(), nullptr);
}

// --- the harness, with the stand-in as the monitor

TEST(HarnessWin32, FolderMadeFreshAndRemovedAfterwards) {
  std::string folder;
  std::string other;
  {
    auto harness = MonitorHarness::Create();
    auto second = MonitorHarness::Create();
    folder = harness->Folder();
    other = second->Folder();
    EXPECT_NE(folder, other);
    EXPECT_TRUE(FileExists(folder + "\\ZephMonitor.exe"));
    EXPECT_TRUE(FolderExists(folder + "\\wyn"));
    EXPECT_TRUE(FolderExists(folder + "\\games"));
    harness->StartMonitor("");  // still running when the harness goes
  }
  EXPECT_FALSE(FolderExists(folder));
  EXPECT_FALSE(FolderExists(other));
}

TEST(HarnessWin32, ArgumentTextReachesTheMonitor) {
  auto harness = MonitorHarness::Create();
  int withArgs = harness->StartMonitor("lines 1");
  int without = harness->StartMonitor("");
  EXPECT_TRUE(WaitFor([&] { return Contains(harness->DebugLines(withArgs), "args: lines 1"); }));
  EXPECT_TRUE(WaitFor([&] { return Contains(harness->DebugLines(without), "args: "); }));
  EXPECT_TRUE(harness->IsRunning(withArgs));
  // Unknown copies are simply not there.
  EXPECT_TRUE(harness->DebugLines(7).empty());
  EXPECT_FALSE(harness->IsRunning(7));
  EXPECT_FALSE(harness->WaitForExit(-1, 10));
}

TEST(HarnessWin32, BoxesAnsweredInTurnWithTheirDefaults) {
  auto harness = MonitorHarness::Create();
  int copy = harness->StartMonitor("box wait 500 yesno2 okcancel");
  BoxSeen box;
  ASSERT_TRUE(harness->NextMessageBox(copy, kPatienceMs, &box));
  EXPECT_EQ(box.title, "Fake Box");
  EXPECT_EQ(box.text, "First line\nSecond line");
  ASSERT_TRUE(harness->NextMessageBox(copy, kPatienceMs, &box));
  EXPECT_EQ(box.title, "Fake Question");
  ASSERT_TRUE(harness->NextMessageBox(copy, kPatienceMs, &box));
  EXPECT_EQ(box.title, "Fake Choice");
  std::vector<std::string> lines;
  ASSERT_TRUE(WaitFor([&] {
    lines = harness->DebugLines(copy);
    return Contains(lines, "script done");
  }));
  EXPECT_EQ(lines, (std::vector<std::string>{"args: box wait 500 yesno2 okcancel", "answer 1",
                                             "answer 7", "answer 1", "script done"}));
}

TEST(HarnessWin32, NoBoxMeansFalseAfterTheTimeoutOrAtTheEnd) {
  auto harness = MonitorHarness::Create();
  int idle = harness->StartMonitor("");
  int ending = harness->StartMonitor("quit");
  DWORD start = GetTickCount();
  BoxSeen box;
  EXPECT_FALSE(harness->NextMessageBox(idle, 400, &box));
  EXPECT_GE(GetTickCount() - start, 400u);
  ASSERT_TRUE(harness->WaitForExit(ending, kPatienceMs));
  start = GetTickCount();
  EXPECT_FALSE(harness->NextMessageBox(ending, 60000, &box));
  EXPECT_LT(GetTickCount() - start, 5000u);  // did not wait out the minute
}

TEST(HarnessWin32, ButtonsAndCloseReachTheMainWindow) {
  auto harness = MonitorHarness::Create();
  int exiting = harness->StartMonitor("show");
  int closing = harness->StartMonitor("");
  ASSERT_TRUE(WaitFor([&] { return !harness->DebugLines(exiting).empty(); }));
  ASSERT_TRUE(WaitFor([&] { return !harness->DebugLines(closing).empty(); }));
  EXPECT_TRUE(WaitFor([&] { return harness->HasVisibleWindow(exiting); }));
  EXPECT_FALSE(harness->HasVisibleWindow(closing));

  harness->PressSuspend(exiting);
  EXPECT_TRUE(Contains(harness->DebugLines(exiting), "suspended"));  // no waiting needed
  harness->PressExit(exiting);
  harness->CloseMainWindow(closing);
  EXPECT_TRUE(harness->WaitForExit(exiting, kPatienceMs));
  EXPECT_TRUE(harness->WaitForExit(closing, kPatienceMs));
  EXPECT_FALSE(harness->IsRunning(exiting));
  EXPECT_TRUE(harness->DebugLines(exiting).empty());
}

TEST(HarnessWin32, GamesStartInTheirFoldersAndStop) {
  auto harness = MonitorHarness::Create();
  int game = harness->StartGame("games/Racer Two/racer.exe");
  std::string image = harness->Folder() + "\\games\\Racer Two\\racer.exe";
  ASSERT_TRUE(FileExists(image));
  EXPECT_TRUE(WaitFor([&] { return ProcessRunsFrom(image); }));
  harness->StopGame(game);
  EXPECT_FALSE(ProcessRunsFrom(image));
  harness->StopGame(game);  // twice is harmless
  harness->StopGame(9);
}

TEST(HarnessWin32, ProcessesStartedByTheMonitorEndWithTheHarness) {
  std::string folder;
  std::string helper;
  {
    auto harness = MonitorHarness::Create();
    folder = harness->Folder();
    helper = folder + "\\games\\helper.exe";
    ASSERT_TRUE(CopyFileA(d::WindowsPath(ZEPH_TESTCHILD_EXE).c_str(), helper.c_str(), FALSE));
    int copy = harness->StartMonitor("spawn games\\helper.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(harness->DebugLines(copy), "script done"); }));
    ASSERT_TRUE(Contains(harness->DebugLines(copy), "spawned games\\helper.exe"));
    ASSERT_TRUE(WaitFor([&] { return ProcessRunsFrom(helper); }));
  }
  EXPECT_FALSE(ProcessRunsFrom(helper));
  EXPECT_FALSE(FolderExists(folder));
}

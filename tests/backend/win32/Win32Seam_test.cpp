// The Win32 seam against the real system (run under Wine here, or on Windows).
//
// Several tests start a child process: the test child of the build tree, or
// this test program itself running the DISABLED_ child case below.
#include "system/win32/Win32Seam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "system/IniText.h"
#include "system/ProcessHelpers.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"
#include "tray/win32/MainWindow.h"
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
  const std::string path = FolderOf(ThisExe()) + "\\..\\..\\testchild.exe";
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return std::string(full, n);
}

std::string Quoted(const std::string& path) { return QuotedProgram(path); }

// The seam's processes and loop, as the monitor uses them.
struct Seam {
  ProcessTable processes;
  MessageLoop loop;
  int Run(const std::string& commandLine, bool noWait, SystemError* err = nullptr) {
    return RunAndWait(processes, loop, commandLine, noWait, err);
  }
};

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

TEST(Files, IniRoundTripAndWritesThatFailSayWhy) {
  TempDir dir;
  ProfileFiles ini;
  FileSystem files;
  const std::string file = dir / "zephmon.ini";
  EXPECT_EQ("ERROR", ini.ReadString(file, "APPLICATION", "MODE", "ERROR", 255));
  ReadResult read = ReadResult::Ok;
  EXPECT_EQ(nullptr, ini.Open(file, &read, nullptr));
  EXPECT_EQ(ReadResult::Missing, read);
  ASSERT_TRUE(ini.WriteString(file, "APPLICATION", "MODE", "ACTIVE", nullptr));
  ASSERT_TRUE(ini.WriteString(file, "Games", "WYN", "racer.wyn", nullptr));
  EXPECT_EQ("ACTIVE", ini.ReadString(file, "application", "mode", "ERROR", 255));
  EXPECT_EQ("race", ini.ReadString(file, "Games", "WYN", "", 5));
  auto reader = ini.Open(file, &read, nullptr);
  ASSERT_NE(nullptr, reader);
  EXPECT_EQ("racer.wyn", reader->Read("games", "wyn", "", 255));

  // Held open without sharing by another program: the write fails, with
  // the system's code, and the file stays as it was.
  const std::string text = dir / "active.zeph";
  ASSERT_TRUE(files.WriteText(text, "old\r\n", nullptr));
  HANDLE holder =
      CreateFileA(text.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  SystemError err;
  EXPECT_FALSE(files.WriteText(text, "new\r\n", &err));
  EXPECT_NE(0, err.code);
  EXPECT_FALSE(err.text.empty());
  EXPECT_FALSE(files.Remove(text, &err));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, err.code);
  CloseHandle(holder);
  std::string now;
  EXPECT_EQ(ReadResult::Ok, files.ReadText(text, &now, nullptr));
  EXPECT_EQ("old\r\n", now);
  EXPECT_EQ(ReadResult::Missing, files.ReadText(dir / "none.txt", &now, &err));
}

// The files of dir, sorted.
std::vector<std::string> Names(FileSystem& files, const TempDir& dir) {
  std::vector<std::string> names;
  EXPECT_TRUE(files.List(dir / "", &names, nullptr));
  std::sort(names.begin(), names.end());
  return names;
}

std::string Contents(FileSystem& files, const std::string& path) {
  std::string text;
  return files.ReadText(path, &text, nullptr) == ReadResult::Ok ? text : "<unread>";
}

// Many keys of one file at once: the bytes of as many single writes by the
// INI rules, read back by the system's function; a write that changes
// nothing does not replace the file, one that cannot replace it leaves it.
TEST(Files, ManyIniKeysAreWrittenInOneReplace) {
  TempDir dir;
  ProfileFiles ini;
  FileSystem files;
  const std::string file = dir / "zephevent.ini";
  const std::string before = "; kept\r\n[DEADZONE]\r\nDEADZONE_0 = 4\r\n\r\n[BUTTONS]\r\n";
  ASSERT_TRUE(files.WriteText(file, before, nullptr));
  const std::vector<IniEntry> entries = {{"DEADZONE", "DEADZONE_0", "5"},
                                         {"BUTTONS", "BUTTON_0", "\"F1\""},
                                         {"MOTIONS", "MOTION_0_POS", "\"X\""},
                                         {"deadzone", "DEADZONE_1", "6"}};
  std::string expected = before;
  for (const IniEntry& e : entries) expected = ini::SetString(expected, e.section, e.key, e.value);
  SystemError err;
  ASSERT_TRUE(ini.WriteStrings(file, entries, &err)) << err.Describe();
  EXPECT_EQ(expected, Contents(files, file));
  EXPECT_EQ("F1", ini.ReadString(file, "buttons", "button_0", "ERROR", 255));
  EXPECT_EQ("6", ini.ReadString(file, "DEADZONE", "DEADZONE_1", "ERROR", 255));

  HANDLE holder =
      CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_TRUE(ini.WriteStrings(file, entries, &err))
      << "tried to replace it though nothing changed";
  EXPECT_FALSE(ini.WriteStrings(file, {{"DEADZONE", "DEADZONE_0", "7"}}, &err));
  EXPECT_NE(0, err.code);
  CloseHandle(holder);
  EXPECT_EQ(expected, Contents(files, file));
  EXPECT_EQ(std::vector<std::string>{"zephevent.ini"}, Names(files, dir));

  ASSERT_TRUE(ini.WriteStrings(dir / "new.ini", entries, &err)) << err.Describe();
  EXPECT_EQ("5", ini.ReadString(dir / "new.ini", "DEADZONE", "DEADZONE_0", "ERROR", 255));
  EXPECT_FALSE(ini.WriteStrings(dir / "no folder\\x.ini", entries, &err));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, err.code);
}

// --- work files

// Wine's ReplaceFileA drops the target's hidden attribute; the commit puts it back.
TEST(WorkFiles, CommitReplacesTheBytesKeepsHiddenAndLeavesNothingElse) {
  TempDir dir;
  FileSystem files;
  const std::string target = dir / "autoexec.cfg", naive = dir / "autoexec.tmp";
  ASSERT_TRUE(files.WriteText(target, "old\r\n", nullptr));
  ASSERT_TRUE(files.WriteText(naive, "not ours", nullptr));
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN));
  SystemError err;
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(target, &err);
  ASSERT_TRUE(work && work->Write("new bytes", 9, &err)) << err.Describe();
  EXPECT_EQ("old\r\n", Contents(files, target)) << "replaced before Commit";
  ASSERT_TRUE(work->Commit(&err)) << err.Describe();
  EXPECT_EQ("new bytes", Contents(files, target));
  EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ("not ours", Contents(files, naive));
  EXPECT_EQ((std::vector<std::string>{"autoexec.cfg", "autoexec.tmp"}), Names(files, dir));

  // No target when the work file was made, one made meanwhile: kept.
  const std::string late = dir / "late.cfg";
  work = files.CreateWorkFile(late, &err);
  ASSERT_TRUE(work && files.WriteText(late, "theirs", nullptr));
  EXPECT_FALSE(work->Commit(&err));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, err.code);
  EXPECT_EQ("theirs", Contents(files, late));
  EXPECT_EQ(3u, Names(files, dir).size());
}

TEST(WorkFiles, DroppedOrRefusedLeavesTheTargetAndNothingBehind) {
  TempDir dir;
  FileSystem files;
  const std::string target = dir / "game.ini";
  ASSERT_TRUE(files.WriteText(target, "kept", nullptr));
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(target, nullptr);
  ASSERT_TRUE(work && work->Write("lost", 4, nullptr));
  EXPECT_EQ(2u, Names(files, dir).size()) << "the work file is beside its target";
  work.reset();
  EXPECT_EQ(std::vector<std::string>{"game.ini"}, Names(files, dir));

  SystemError err;
  EXPECT_EQ(nullptr, files.CreateWorkFile(dir / "no folder\\x.ini", &err));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, err.code);
  // Read-only: refused, though Wine lets root move over such a file.
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(nullptr, files.CreateWorkFile(target, &err));
  EXPECT_EQ(ERROR_ACCESS_DENIED, err.code);
  EXPECT_FALSE(files.WriteText(target, "new", nullptr));
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ("kept", Contents(files, target));
  EXPECT_EQ(std::vector<std::string>{"game.ini"}, Names(files, dir));
}

// A folder on another volume than folder's, made for the test; "" when
// this machine has no other writable fixed drive.
std::string FolderOnAnotherVolume(const std::string& folder) {
  char ours[MAX_PATH], theirs[MAX_PATH];
  if (!GetVolumePathNameA(folder.c_str(), ours, MAX_PATH)) return "";
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!(drives & (1u << (letter - 'A')))) continue;
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED ||
        !GetVolumePathNameA(root.c_str(), theirs, MAX_PATH) || lstrcmpiA(ours, theirs) == 0)
      continue;
    for (const std::string& parent : {root + "tmp", root + "Temp", root.substr(0, 2)}) {
      const std::string made = parent + "\\zeph-volume-" + std::to_string(GetCurrentProcessId());
      if (CreateDirectoryA(made.c_str(), nullptr)) return made;
    }
  }
  return "";
}

TEST(WorkFiles, CommitKeepingMovesTheOldFileOnOneVolumeAndCopiesItToAnother) {
  TempDir dir;
  FileSystem files;
  const std::string target = dir / "config.cfg";
  ASSERT_TRUE(files.WriteText(target, "old 1", nullptr));
  SystemError err;
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(target, &err);
  ASSERT_TRUE(work && work->Write("new 1", 5, &err)) << err.Describe();
  ASSERT_TRUE(work->CommitKeeping(dir / "kept", &err)) << err.Describe();
  EXPECT_EQ("new 1", Contents(files, target));
  EXPECT_EQ("old 1", Contents(files, dir / "kept"));
  EXPECT_EQ((std::vector<std::string>{"config.cfg", "kept"}), Names(files, dir));

  const std::string other = FolderOnAnotherVolume(dir / "");
  if (other.empty()) GTEST_SKIP() << "no other fixed drive to keep a copy on";
  const std::string kept = other + "\\kept";
  work = files.CreateWorkFile(target, &err);
  ASSERT_TRUE(work && work->Write("new 2", 5, &err)) << err.Describe();
  const bool committed = work->CommitKeeping(kept, &err);
  EXPECT_TRUE(committed) << err.Describe();
  EXPECT_EQ("new 2", Contents(files, target));
  EXPECT_EQ("new 1", Contents(files, kept));
  EXPECT_EQ((std::vector<std::string>{"config.cfg", "kept"}), Names(files, dir));
  DeleteFileA(kept.c_str());
  RemoveDirectoryA(other.c_str());
}

TEST(WorkFiles, TargetHeldWithoutWriteOrDeleteSharingFailsAfterRetries) {
  TempDir dir;
  FileSystem files;
  const std::string target = dir / "player.cfg";
  ASSERT_TRUE(files.WriteText(target, "old", nullptr));
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(target, nullptr);
  ASSERT_TRUE(work && work->Write("new", 3, nullptr));
  HANDLE holder = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  SystemError err;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(work->Commit(&err));
  const DWORD took = GetTickCount() - start;
  CloseHandle(holder);
  EXPECT_TRUE(err.code == ERROR_SHARING_VIOLATION || err.code == ERROR_UNABLE_TO_REMOVE_REPLACED)
      << err.Describe();
  EXPECT_GE(took, 150u) << "no retries";
  EXPECT_EQ("old", Contents(files, target));
  EXPECT_EQ(std::vector<std::string>{"player.cfg"}, Names(files, dir)) << "work or backup left";
}

TEST(WorkFiles, ACopyTakesTheSourcesAttributesAsCopyFileDoes) {
  TempDir dir;
  FileSystem files;
  const std::string source = dir / "secret.cfg", fresh = dir / "fresh.cfg", over = dir / "over.cfg";
  ASSERT_TRUE(files.WriteText(source, "token", nullptr));
  ASSERT_TRUE(files.WriteText(over, "old", nullptr));
  ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  SystemError err;
  EXPECT_TRUE(CopyFileOver(files, source, fresh, &err)) << err.Describe();
  EXPECT_TRUE(CopyFileOver(files, source, over, &err)) << err.Describe();
  for (const std::string& copy : {fresh, over}) {
    SCOPED_TRACE(copy);
    const DWORD attributes = GetFileAttributesA(copy.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("token", Contents(files, copy));
  }
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(dir / "other.cfg", &err);
  ASSERT_TRUE(work);
  EXPECT_FALSE(work->TakePermissionsOf(dir / "gone.cfg", &err));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, err.code);
  work.reset();
  for (const std::string& file : {source, fresh, over})
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Files, ResolvedPathSpellsNamesAsOnDiskAndAPrivateFolderIsMade) {
  TempDir dir;
  FileSystem files;
  ASSERT_TRUE(files.WriteText(dir / "Config.cfg", "", nullptr));
  const std::string resolved = files.ResolvedPath(dir / "CONFIG.CFG");
  EXPECT_TRUE(SameText(dir / "Config.cfg", resolved)) << resolved;
  EXPECT_EQ("Config.cfg", GetFileOnly(resolved));
  EXPECT_EQ(dir / "none.cfg", files.ResolvedPath(dir / "none.cfg"));

  SystemError err;
  EXPECT_TRUE(files.MakePrivateFolder(dir / "journal", &err)) << err.Describe();
  EXPECT_TRUE(files.MakePrivateFolder(dir / "journal", &err)) << err.Describe();
  EXPECT_TRUE(files.IsFolder(dir / "journal"));
  EXPECT_FALSE(files.MakePrivateFolder(dir / "none\\journal", &err));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, err.code);
  RemoveDirectoryA((dir / "journal").c_str());
}

TEST(Registry, WriteReadAndDeleteUnderNewKeys) {
  SystemRegistry reg;
  const std::string base = "Software\\ZephMonitorTest" + std::to_string(GetCurrentProcessId());
  const std::string key = base + "\\Missing\\Parents";
  const std::vector<uint8_t> minusOne{0xFF, 0xFF, 0xFF, 0xFF}, abc{'a', 'b', 'c', 0};
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(ReadResult::Missing,
            reg.QueryValue(RegRoot::CurrentUser, key, "Number", &type, &data, nullptr));
  ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, key, "Number", kRegDword, minusOne, nullptr));
  ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, key, "Text", kRegSz, abc, nullptr));

  // Read back through the system itself, not only through our own reader.
  DWORD number = 0, size = sizeof number, sysType = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Number", RRF_RT_ANY,
                                        &sysType, &number, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), sysType);
  EXPECT_EQ(0xFFFFFFFFu, number);
  ASSERT_EQ(ReadResult::Ok,
            reg.QueryValue(RegRoot::CurrentUser, key, "Text", &type, &data, nullptr));
  EXPECT_EQ(kRegSz, type);
  EXPECT_EQ(abc, data);

  EXPECT_TRUE(reg.DeleteValue(RegRoot::CurrentUser, key, "Text", nullptr));
  EXPECT_EQ(ReadResult::Missing,
            reg.QueryValue(RegRoot::CurrentUser, key, "Text", &type, &data, nullptr));
  SystemError err;
  EXPECT_FALSE(reg.DeleteValue(RegRoot::CurrentUser, key, "Text", &err));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, err.code);
  RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
}

// --- processes

TEST(Processes, ListFindsStartedGamesByTheirFullPathAndDropsThoseThatEnd) {
  TempDir dir;
  const std::string game = dir / "Game.EXE";
  ASSERT_TRUE(CopyFileA(TestChild().c_str(), game.c_str(), FALSE)) << TestChild();
  std::vector<std::unique_ptr<Child>> games;
  // Enough processes that the id buffer has to grow past its first sizes.
  for (int i = 0; i < 20; ++i) {
    games.push_back(std::make_unique<Child>(Quoted(game)));
    ASSERT_TRUE(games.back()->Started());
  }
  ProcessTable table;
  std::vector<ProcessInfo> list;
  auto listed = [&](const std::unique_ptr<Child>& child) {
    for (const ProcessInfo& p : list)
      if (p.id == child->Pid()) return true;
    return false;
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        list = table.List();
        return std::all_of(games.begin(), games.end(), listed);
      },
      10000));
  for (const ProcessInfo& p : list) {
    if (p.id == games[0]->Pid()) {
      EXPECT_TRUE(SameText(game, p.imagePath)) << p.imagePath;
      EXPECT_EQ("Game.EXE", GetFileOnly(p.imagePath));
    }
  }
  // Known processes come from what was read before; one that ends is gone
  // at the next listing, though the table held a handle to it.
  TerminateProcess(games[0]->Process(), 0);
  WaitForSingleObject(games[0]->Process(), 5000);
  list = table.List();
  EXPECT_FALSE(listed(games[0]));
  EXPECT_TRUE(listed(games[1]));
}

TEST(Processes, StateWhileRunningAndAfterTheEnd) {
  ProcessTable table;
  Child child(Quoted(TestChild()));
  ASSERT_TRUE(child.Started());
  std::unique_ptr<ProcessHandle> handle = table.Open(child.Pid(), nullptr);
  ASSERT_NE(nullptr, handle);
  bool running = false;
  uint32_t code = 0;
  ASSERT_TRUE(handle->State(&running, &code, nullptr));
  EXPECT_TRUE(running);
  // Ending with the very code that means "still active" is still an end.
  TerminateProcess(child.Process(), STILL_ACTIVE);
  WaitForSingleObject(child.Process(), 5000);
  ASSERT_TRUE(handle->State(&running, &code, nullptr));
  EXPECT_FALSE(running);
  SystemError err;
  EXPECT_EQ(nullptr, table.Open(0xFFFFFFF0u, &err));
  EXPECT_NE(0, err.code);
}

TEST(Processes, StartShownAndActivationOfAVisibleUnownedWindow) {
  ProcessTable table;
  uint32_t pid = 0;
  ASSERT_TRUE(table.StartShown(Quoted(TestChild()), kShowMinimized, &pid, nullptr));
  UniqueHandle started(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  ASSERT_TRUE(started) << "no process with the id given";
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(started.Get(), 0)) << "waited for, or ended";
  EXPECT_FALSE(table.ActivateMainWindow(pid)) << "the child has no window";
  TerminateProcess(started.Get(), 0);
  WaitForSingleObject(started.Get(), 5000);

  // Our own process: a hidden window, or a visible one owned by another
  // window, is no main window.
  TestWindow owner("ZephMonitor owner");
  TestWindow owned("ZephMonitor owned");
  ASSERT_NE(nullptr, owned.handle);
  SetWindowLongPtrA(owned.handle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner.handle));
  EXPECT_FALSE(table.ActivateMainWindow(GetCurrentProcessId()));
  ShowWindow(owned.handle, SW_SHOWNOACTIVATE);
  EXPECT_FALSE(table.ActivateMainWindow(GetCurrentProcessId()));
  ShowWindow(owner.handle, SW_SHOWNOACTIVATE);
  EXPECT_TRUE(table.ActivateMainWindow(GetCurrentProcessId()));
}

TEST(Processes, StartShownAndOpenAddressSayWhyTheyFailed) {
  ProcessTable table;
  TempDir dir;
  SystemError err;
  uint32_t pid = 99;
  EXPECT_FALSE(table.StartShown(Quoted(dir / "nothing.exe"), kShowNormal, &pid, &err));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, err.code);
  EXPECT_FALSE(err.text.empty());
  EXPECT_EQ(99u, pid);
  err = {};
  EXPECT_FALSE(table.OpenAddress(dir / "nothing.txt", kShowNormal, &err));
  EXPECT_TRUE(err.code == SE_ERR_FNF || err.code == SE_ERR_PNF) << err.Describe();
  EXPECT_FALSE(err.text.empty());
}

TEST(Program, ExeNameIsTheFileNameOfTheRunningExecutable) {
  RunningProgram program;
  EXPECT_EQ("zeph_backend_tests.exe", program.ExeName());
  EXPECT_TRUE(SameText(ThisExe(), program.Folder() + "\\" + program.ExeName()));
}

// --- run and wait

TEST(RunAndWait, ExitCodesMissingProgramAndNoWait) {
  Seam sys;
  FileSystem files;
  TempDir dir;
  EXPECT_EQ(42, sys.Run(Quoted(TestChild()) + " exit 42", false));
  SystemError err;
  EXPECT_EQ(-1, sys.Run(Quoted(dir / "nothing.exe") + " x", false, &err));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, err.code);

  const std::string program = dir / "NoWait.exe";
  ASSERT_TRUE(CopyFileA(TestChild().c_str(), program.c_str(), FALSE));
  const std::string marker = dir / "started.txt";
  const DWORD start = GetTickCount();
  EXPECT_EQ(0, sys.Run(Quoted(program) + " touch " + Quoted(marker), true));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_TRUE(WaitUntil([&] { return files.IsFile(marker); }, 10000));

  // The child runs until killed; find it by its path and end it.
  bool ended = false;
  for (const ProcessInfo& p : sys.processes.List()) {
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

  Seam sys;
  TestWindow window("ZephMonitor probe " + std::to_string(GetCurrentProcessId()));
  ASSERT_NE(nullptr, window.handle);
  std::thread poster([&] {
    ::Sleep(200);
    PostMessageA(window.handle, TestWindow::kProbe, 0, 0);
  });
  const uint64_t cpuBefore = ProcessCpuMs();
  const DWORD start = GetTickCount();
  EXPECT_EQ(0, sys.Run(Quoted(TestChild()) + " sleep 1500", false));
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
  RunningProgram sys;
  char expected[8] = "";
  ASSERT_NE(0u, GetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", expected, sizeof expected));
  EXPECT_EQ(std::string(expected) == "1", sys.AnotherInstanceRunning());
}

TEST(Instance, NeverCountsItselfAndIsSeenByAnotherCopy) {
  Seam runner;  // only to run the children
  const std::string child = Quoted(ThisExe()) +
                            " --gtest_brief=1 --gtest_also_run_disabled_tests"
                            " --gtest_filter=InstanceChild.DISABLED_Report";
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", "1");
  {
    RunningProgram sys;
    EXPECT_FALSE(sys.AnotherInstanceRunning());
    EXPECT_EQ(0, runner.Run(child, false));
  }
  // Our copy has ended: the mutex is gone with it.
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", "0");
  EXPECT_EQ(0, runner.Run(child, false));
  SetEnvironmentVariableA("ZEPH_TEST_EXPECT_ANOTHER", nullptr);
}

// --- windows

TEST(OtherWindows, CloseWindowByTitlePostsTheCloseMessage) {
  Seam sys;
  const std::string title = "ZephMonitor close me " + std::to_string(GetCurrentProcessId());
  TestWindow window(title);
  ASSERT_NE(nullptr, window.handle);
  EXPECT_TRUE(sys.processes.CloseWindowByTitle(title));
  sys.loop.ProcessPendingMessages();
  EXPECT_EQ(1, window.closeMessages);
  EXPECT_FALSE(sys.processes.CloseWindowByTitle(title + " (no such window)"));
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

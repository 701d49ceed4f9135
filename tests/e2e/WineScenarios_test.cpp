// Windows games under Wine, found by the native Linux monitor: the Windows
// test child runs in a throwaway prefix, started by the system's Wine or by
// a copy of its loader in a folder of its own (as a game launcher ships
// one), and the monitor activates its profile and resets the controller at
// its end; at its end the set-up pass edits the game folder and writes the
// prefix's registry, and the check tool undoes both. Skipped where Wine or
// the Windows build of the child is missing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "Scenario.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixRegistry.h"

#ifndef ZEPH_WINE_CHILD_EXE
#error "ZEPH_WINE_CHILD_EXE must name the Windows test child (\"\" when it cannot be built)"
#endif

namespace zeph::e2e {
namespace {

// The first executable `name` on $PATH; "" when there is none.
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  for (const std::string& folder : SplitAt(rest, ':')) {
    fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// The system's 64-bit loader, where the Wine packages put it.
std::string SystemLoader() {
  for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/lib64/wine/wine64", "/usr/bin/wine64",
                                "/opt/wine-stable/bin/wine64"})
    if (access(candidate, X_OK) == 0) return candidate;
  return {};
}

// A prefix for this test program, made once and kept up by its own server.
class WinePrefix {
 public:
  static WinePrefix& Get() {
    static WinePrefix prefix;
    return prefix;
  }
  bool Ready() const { return ready_; }
  const std::string& Why() const { return why_; }
  const fs::path& Path() const { return path_; }

  // What `wine reg query` prints for a value in this prefix; "" when it fails.
  std::string Query(const std::string& key, const std::string& name) const {
    std::string line = "WINEPREFIX='" + path_.string() + "' WINEDEBUG=-all wine reg query '" + key +
                       "' /v '" + name + "' 2>/dev/null </dev/null";
    std::string out;
    if (FILE* pipe = popen(line.c_str(), "r")) {
      char buffer[256];
      while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
      if (pclose(pipe) != 0) out.clear();
    }
    return out;
  }

  ~WinePrefix() {
    if (!path_.empty()) {
      // Ends this prefix's server and with it Wine's services in it.
      Shell("wineserver -k");
      std::error_code ignored;
      fs::remove_all(path_.parent_path(), ignored);
    }
  }

 private:
  WinePrefix() {
    if (std::string(ZEPH_WINE_CHILD_EXE).empty()) {
      why_ = "no Windows build of the test child (no mingw-w64 compiler)";
      return;
    }
    if (OnPath("wine").empty() || OnPath("wineserver").empty() || SystemLoader().empty()) {
      why_ = "Wine is not installed";
      return;
    }
    std::string pattern = (fs::temp_directory_path() / "zeph-wine-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = fs::path(pattern) / "pfx";
    // No offer to install Mono or Gecko; the server ends once so that the
    // new prefix is on disk, then stays up for the tests (and ends a minute
    // after the last program, should this test die before it ends it).
    if (Shell("WINEDLLOVERRIDES='mscoree,mshtml=' wineboot -i") != 0) {
      why_ = "wineboot failed";
      return;
    }
    Shell("timeout 60 wineserver -w");
    Shell("wineserver -p60");
    ready_ = true;
  }

  int Shell(const std::string& command) const {
    std::string line = "WINEPREFIX='" + path_.string() + "' WINEDEBUG=-all " + command +
                       " </dev/null >/dev/null 2>&1";
    return std::system(line.c_str());
  }

  fs::path path_;
  bool ready_ = false;
  std::string why_;
};

class WineScenario : public ActivationScenario {
 protected:
  void SetUp() override {
    WinePrefix& prefix = WinePrefix::Get();
    if (!prefix.Ready()) GTEST_SKIP() << prefix.Why();
    ActivationScenario::SetUp();
  }

  void TearDown() override {
    for (pid_t pid : games_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    ActivationScenario::TearDown();
  }

  fs::path DriveC() { return WinePrefix::Get().Path() / "drive_c"; }

  // The Windows test child copied to relativePath under drive_c.
  void PlaceGame(const fs::path& relativePath) {
    fs::create_directories((DriveC() / relativePath).parent_path());
    fs::copy_file(ZEPH_WINE_CHILD_EXE, DriveC() / relativePath,
                  fs::copy_options::overwrite_existing);
  }

  // Runs loader with the program's Windows path in the test's prefix.
  pid_t StartUnderWine(const std::string& loader, const std::string& windowsPath) {
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      setenv("WINEPREFIX", WinePrefix::Get().Path().c_str(), 1);
      setenv("WINEDEBUG", "-all", 1);
      setenv("LANG", "C.UTF-8", 1);  // the program's path holds 8-bit characters
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      execl(loader.c_str(), loader.c_str(), windowsPath.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    games_.push_back(pid);
    return pid;
  }

  void StopUnderWine(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    games_.erase(std::remove(games_.begin(), games_.end(), pid), games_.end());
  }

  // Starts the game and checks what the monitor makes of it: found within
  // a tick, its folder the Linux path of the program's folder, the profile
  // activated, and the controller reset at its end.
  void PlayAndCheck(const std::string& loader, const std::string& windowsPath,
                    const fs::path& gameFolder) {
    Profile("racer.wyn", Racer(), "Racer");
    const int copy = StartMonitoring();
    const auto started = Clock::now();
    const pid_t game = StartUnderWine(loader, windowsPath);
    ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
    // One tick is a second; another second for a busy machine.
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2000));
    const int path = LineIndex(copy, "Path: ");
    ASSERT_GE(path, 0);
    EXPECT_EQ("Path: " + ToLower(ToWindowsPath(fs::canonical(gameFolder).string())),
              h->DebugLines(copy)[static_cast<size_t>(path)]);

    ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 38; }, 30000));
    std::vector<std::string> calls = Calls();
    EXPECT_EQ(kResetCalls, std::vector<std::string>(calls.begin(), calls.begin() + 6));
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "--set-null-region 10"));
    EXPECT_EQ("10", State("NullRegion"));

    StopUnderWine(game);
    ASSERT_TRUE(WaitForLine(copy, "Stopped watching: " + Racer()));
    ASSERT_TRUE(WaitFor([&] { return Calls().size() >= calls.size() + 6; }, 20000));
    calls = Calls();
    EXPECT_EQ(kResetCalls, std::vector<std::string>(calls.end() - 6, calls.end()));
    EXPECT_EQ("0", State("NullRegion"));
    EXPECT_TRUE(h->IsRunning(copy));
  }

  std::vector<pid_t> games_;
};

TEST_F(WineScenario, AGameStartedWithWineIsActivatedAndItsEndResetsTheController) {
  PlaceGame(fs::path("Games") / "Racer" / Racer());
  PlayAndCheck(OnPath("wine"), "C:\\Games\\Racer\\" + Racer(), DriveC() / "Games" / "Racer");
}

// The loader in a launcher's own folder (its libraries and data reached
// through links, as the loader looks for them beside itself), the game's
// folder with blanks and 8-bit characters, and its path in capitals: Wine
// finds it, and so does the monitor.
TEST_F(WineScenario, ALoaderOfItsOwnFolderAndAFolderWithBlanksAndUmlauts) {
  const std::string folder =
      "My R\xC3\xA4"
      "cer Game";
  PlaceGame(fs::path("Games") / folder / Racer());

  const fs::path system = fs::path(SystemLoader()).parent_path();
  const fs::path tool = WinePrefix::Get().Path().parent_path() / "launcher lib" / "Tool 8";
  const fs::path bin = tool / "files" / "bin";
  fs::create_directories(bin);
  fs::copy_file(SystemLoader(), bin / "wine64");
  for (const auto& entry : fs::directory_iterator(system.parent_path()))
    if (entry.path().filename() != "bin" && entry.path() != system)
      fs::create_symlink(entry.path(), tool / "files" / entry.path().filename());
  for (const auto& entry : fs::directory_iterator(system.parent_path().parent_path()))
    if (entry.path().filename() != "files")
      fs::create_symlink(entry.path(), tool / entry.path().filename());

  PlayAndCheck((bin / "wine64").string(), "C:\\GAMES\\" + ToUpper(folder) + "\\" + ToUpper(Racer()),
               DriveC() / "Games" / folder);
}

// The set-up pass of a game run by Wine works inside its prefix: a file of
// the game folder edited, a REGISTRY value in the prefix's registry (read
// back by that prefix's Wine) and none in the monitor's own store; the check
// tool's undo puts both back.
TEST_F(WineScenario, TheEndOfAGameSetsItUpInsideItsPrefixAndUndoPutsItBack) {
  h->InstallCompanions();
  fs::copy_file(ZEPH_CHECK_EXE, Folder() / fs::path(ZEPH_CHECK_EXE).filename());
  const fs::path game = DriveC() / "Games" / ("Set Up " + h->Exe("pass"));
  PlaceGame(fs::relative(game, DriveC()) / Racer());
  Spill(game / "config.cfg", "mouse=0\r\nquality=low\r\n");
  const std::string key = "HKCU\\Software\\" + h->Exe("zephwine");
  Spill(Folder() / "wyn" / "racer.wyn",
        "[IDENTIFICATION]\r\nAPPLICATION_NAME=Racer\r\n[VERSION]\r\nVERSION=6.1\r\n"
        "FILE_REVISION_NUMBER=3\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=" +
            Racer() +
            "\r\nCOPY_FILES=FALSE\r\nCUSTOM=TRUE\r\n{\r\n"
            "   'config.cfg'\\, 'MODIFY'\\, 'mouse=%'\\, 'mouse=1'\\, ''\r\n"
            "   'STRING'\\, 'REGISTRY'\\, '" +
            key + "'\\, 'Mode'\\, 'ball'\\, ''\r\n   }\r\n" + kTuning);

  const int copy = StartMonitoring();
  // The monitor's own store as start-up has left it (it writes the version).
  ASSERT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));
  const std::string store = posix::RegistryStore::DefaultFile();
  const std::string storeBefore = fs::exists(store) ? Slurp(store) : "(none)";
  const pid_t pid =
      StartUnderWine(OnPath("wine"), "C:\\Games\\" + game.filename().string() + "\\" + Racer());
  ASSERT_TRUE(WaitForLine(copy, "Started watching: " + Racer()));
  StopUnderWine(pid);
  BoxSeen box;
  ASSERT_TRUE(h->NextMessageBox(copy, 60000, &box));
  EXPECT_EQ("Racer has been configured for use with the Thalix.", box.text);
  EXPECT_EQ("mouse=1\r\nquality=low\r\n", Slurp(game / "config.cfg"));
  const std::string value = WinePrefix::Get().Query(key, "Mode");
  EXPECT_NE(std::string::npos, value.find("REG_SZ")) << value;
  EXPECT_NE(std::string::npos, value.find("ball")) << value;
  EXPECT_EQ(storeBefore, fs::exists(store) ? Slurp(store) : "(none)");

  const fs::path output = Folder().parent_path() / "check-output.txt";
  const std::string command = "\"" + (Folder() / fs::path(ZEPH_CHECK_EXE).filename()).string() +
                              "\" --undo \"" + game.string() + "\" > \"" + output.string() +
                              "\" 2>&1";
  const int raw = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << Slurp(output);
  EXPECT_EQ("mouse=0\r\nquality=low\r\n", Slurp(game / "config.cfg")) << Slurp(output);
  EXPECT_EQ("", WinePrefix::Get().Query(key, "Mode"));
}

}  // namespace
}  // namespace zeph::e2e

// The Run key of the POSIX registry against real folders: its values become
// desktop entries in $XDG_CONFIG_HOME/autostart that read back as written
// and that a desktop's launcher runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "system/posix/PosixAutostart.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixRegistry.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

using Bytes = std::vector<uint8_t>;
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kName[] = "Zeph Monitor";
const auto kHklm = RegRoot::LocalMachine;
const auto kHkcu = RegRoot::CurrentUser;

Bytes Sz(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}
std::string Get(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class PosixAutostart : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zeph-autostart-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    config_ = pattern;
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  void TearDown() override {
    fs::remove_all(config_);
    unsetenv("XDG_CONFIG_HOME");
  }
  fs::path Entry() const { return config_ / "autostart" / "zephmonitor.desktop"; }
  // The status of command, what it printed in *output.
  int Run(const std::string& command, std::string* output) {
    const fs::path log = config_ / "log";
    int status = std::system((command + " >'" + log.string() + "' 2>&1").c_str());
    *output = Get(log);
    return status;
  }
  // A script in a folder whose name needs every kind of quoting but '%'
  // (GLib looks the program up before it undoes the doubling), written as
  // the Run value; the script puts its path and arguments in "ran".
  fs::path WriteProgramEntry() {
    const fs::path program = config_ / "my games $HOME `x` 'q' \"d\" ;&(1)~" / "ZephMonitor";
    fs::create_directories(program.parent_path());
    std::ofstream(program) << "#!/bin/sh\nprintf '[%s]' \"$0\" \"$@\" > \"$XDG_CONFIG_HOME/ran\"\n";
    fs::permissions(program, fs::perms::owner_all);
    const std::string data = "\"" + ToWindowsPath(program.string()) + "\" /hide \"a b\"";
    EXPECT_TRUE(reg_.SetValue(kHkcu, kRun, kName, kRegSz, Sz(data), nullptr));
    return program;
  }

  fs::path config_;
  FileRegistry reg_;
};

TEST(AutostartEntry, ExecQuotesTheNativeProgramAndKeepsTheArguments) {
  struct Case {
    const char* data;
    const char* exec;  // as it stands in the file
  } cases[] = {
      {R"("\home\u\zeph\ZephMonitor")", R"(/home/u/zeph/ZephMonitor)"},
      {R"("\home\u\my games\ZephMonitor")", R"("/home/u/my games/ZephMonitor")"},
      {R"("\opt\a$b`c "hi"\it's~\Zeph")", R"("/opt/a\\$b\\`c \\"hi\\"/it's~/Zeph")"},
      {"\"\\opt\\100%\\a\tb\"", R"("/opt/100%%/a\tb")"},
      {R"("\opt\Zeph\ZephMonitor" /hide "a b" "")", R"(/opt/Zeph/ZephMonitor /hide "a b" "")"},
      {R"(\opt\Zeph\ZephMonitor -x)", R"(/opt/Zeph/ZephMonitor -x)"},
  };
  for (const Case& c : cases) EXPECT_EQ(AutostartExec(c.data), c.exec) << c.data;
}

TEST(AutostartEntry, FileNameKeepsLettersAndDigitsInLowerCase) {
  EXPECT_EQ(AutostartFileName("Zeph Monitor"), "zephmonitor.desktop");
  EXPECT_EQ(AutostartFileName("\xc4Zeph-Monitor/../2"), "zephmonitor2.desktop");
  EXPECT_EQ(AutostartFileName(" -./ "), "");
}

TEST_F(PosixAutostart, ValuesRoundTripThroughOneEntrySeenFromBothRoots) {
  const std::string texts[] = {
      "\"\\tmp\\my games $HOME `x` 'q' \"d\" 100% ;&|<>*?#()~\\ZephMonitor\"",
      " \"\\opt\\Zeph\\ZephMonitor\" /a\\b\t\"c d\"\n\r ",
      "",
  };
  for (const std::string& text : texts) {
    ASSERT_TRUE(reg_.SetValue(kHklm, kRun, kName, kRegSz, Sz(text), nullptr));
    for (const char* subkey : {kRun, "software\\microsoft\\windows\\currentversion\\RUN\\"}) {
      uint32_t type = 0;
      Bytes data;
      ASSERT_EQ(reg_.QueryValue(kHkcu, subkey, kName, &type, &data, nullptr), ReadResult::Ok);
      EXPECT_EQ(type, kRegSz);
      EXPECT_EQ(data, Sz(text));
    }
  }
  EXPECT_TRUE(fs::exists(Entry()));
  EXPECT_FALSE(fs::exists(config_ / "zephmonitor" / "registry.ini")) << "kept in the store too";
  EXPECT_EQ(reg_.QueryValue(kHkcu, kRun, "Zeph", nullptr, nullptr, nullptr), ReadResult::Missing);
}

TEST_F(PosixAutostart, DeleteRemovesTheEntryAndThenReportsItMissing) {
  ASSERT_TRUE(reg_.SetValue(kHklm, kRun, kName, kRegSz, Sz("\"\\a\\Zeph\""), nullptr));
  EXPECT_TRUE(reg_.DeleteValue(kHkcu, kRun, "zeph monitor", nullptr));
  EXPECT_TRUE(fs::is_empty(Entry().parent_path()));
  SystemError err;
  EXPECT_EQ(reg_.QueryValue(kHklm, kRun, kName, nullptr, nullptr, &err), ReadResult::Missing);
  EXPECT_FALSE(reg_.DeleteValue(kHklm, kRun, kName, &err));
  EXPECT_EQ(err.code, ENOENT);
}

TEST_F(PosixAutostart, RefusedWritesLeaveNoEntryAndSayWhy) {
  SystemError err;
  EXPECT_FALSE(reg_.SetValue(kHkcu, kRun, kName, kRegDword, {1, 0, 0, 0}, &err));
  EXPECT_EQ(err.code, EINVAL);
  EXPECT_FALSE(reg_.SetValue(kHkcu, kRun, " - ", kRegSz, Sz("x"), &err));
  EXPECT_EQ(err.code, EINVAL);
  EXPECT_FALSE(fs::exists(Entry().parent_path()));

  // An autostart that is a file cannot be made a folder, even by root.
  std::ofstream(Entry().parent_path()) << "not a folder";
  err = {};
  EXPECT_FALSE(reg_.SetValue(kHkcu, kRun, kName, kRegSz, Sz("x"), &err));
  EXPECT_EQ(err.code, ENOTDIR);
  EXPECT_FALSE(err.text.empty());
  EXPECT_EQ(Get(Entry().parent_path()), "not a folder");
}

// A user's copy of an installed program folder holds a record naming the
// launcher of each program, which keeps the copy up to date: the entry runs
// that launcher while it is there, and the program itself otherwise.
TEST_F(PosixAutostart, ProgramOfAnInstalledCopyStartsThroughItsLauncher) {
  const fs::path copy = config_ / "share" / "zephmonitor";
  const fs::path launcher = config_ / "usr bin" / "zephmonitor";
  fs::create_directories(copy);
  fs::create_directories(launcher.parent_path());
  std::ofstream(launcher) << "#!/bin/sh\n";
  fs::permissions(launcher, fs::perms::owner_all);
  std::ofstream(copy / ".installed")
      << "launch ZephMonitor " << launcher.string() << "\nlaunch zephcheck "
      << (config_ / "gone").string() << "\nZephMonitor 123 1700000000.000000000 42\n";
  auto data = [&copy](const char* program) {
    return "\"" + ToWindowsPath((copy / program).string()) + "\" -d";
  };
  const std::string quoted = "\"" + launcher.string() + "\" -d";
  EXPECT_EQ(AutostartExec(data("ZephMonitor")), quoted);
  EXPECT_EQ(AutostartExec(data("zephcheck")), (copy / "zephcheck").string() + " -d");
  EXPECT_EQ(AutostartExec(data("ZephEvent.exe")), (copy / "ZephEvent.exe").string() + " -d");

  // The entry keeps the program's own path as its Run data, and the icon.
  ASSERT_TRUE(reg_.SetValue(kHkcu, kRun, kName, kRegSz, Sz(data("ZephMonitor")), nullptr));
  const std::string entry = Get(Entry());
  EXPECT_NE(entry.find("\nExec=" + quoted + "\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=zephmonitor\n"), std::string::npos) << entry;
  Bytes read;
  ASSERT_EQ(reg_.QueryValue(kHkcu, kRun, kName, nullptr, &read, nullptr), ReadResult::Ok);
  EXPECT_EQ(read, Sz(data("ZephMonitor")));

  // Without the launcher (the package removed) the copy runs by itself.
  fs::remove(launcher);
  EXPECT_EQ(AutostartExec(data("ZephMonitor")), (copy / "ZephMonitor").string() + " -d");
}

TEST_F(PosixAutostart, WrittenEntryPassesTheValidator) {
  if (!Installed("desktop-file-validate"))
    GTEST_SKIP() << "desktop-file-validate is not installed (package desktop-file-utils)";
  WriteProgramEntry();
  std::string output;
  EXPECT_EQ(Run("desktop-file-validate '" + Entry().string() + "'", &output), 0) << output;
  EXPECT_EQ(output.find("error"), std::string::npos) << output;
}

}  // namespace
}  // namespace zeph::posix

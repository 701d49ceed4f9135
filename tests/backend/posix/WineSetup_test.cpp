// A game run by Wine, set up inside its own prefix: the wine reg command
// lines, the export read back, drive paths through dosdevices, and a
// journaled pass and its undo against a real prefix (skipped when wine is
// not installed). Failing writes are made with a stand-in wine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "setup/Journal.h"
#include "setup/PathHelpers.h"
#include "setup/Undo.h"
#include "system/RegistryWriters.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixRegistry.h"
#include "system/posix/WineRegistry.h"
#include "tests/unit/Components.h"
#include "tray/fake/FakeDesktop.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

using Args = std::vector<std::string>;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const fs::path& path, const std::string& text, bool executable = false) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
  if (executable) chmod(path.c_str(), 0755);
}

std::string Seam(const fs::path& path) { return ToWindowsPath(path.string()); }

// Text as a reg export file holds it: UTF-16LE after its byte-order mark.
std::string Utf16Export(const std::u16string& text) {
  std::string out = "\xff\xfe";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xff);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(WineRegCommands, AddDeleteAndExportArguments) {
  struct Row {
    const char* name;
    RegRoot root;
    std::string subkey, value;
    uint32_t type;
    std::vector<uint8_t> data;
    Args expected;
  } rows[] = {
      {"TextIsUtf8UpToItsZero",
       RegRoot::CurrentUser,
       "Software\\Zeph Racer",
       "Pad Mode",
       kRegSz,
       Bytes(std::string("caf\xe9 \x80\0junk", 11)),
       {"reg", "add", "HKCU\\Software\\Zeph Racer", "/v", "Pad Mode", "/t", "REG_SZ", "/d",
        "caf\xc3\xa9 \xe2\x82\xac", "/f"}},
      {"DwordUnsignedDecimal",
       RegRoot::LocalMachine,
       "\\Software\\\\Zeph\\",
       "n",
       kRegDword,
       {0xff, 0xff, 0xff, 0xff},
       {"reg", "add", "HKLM\\Software\\Zeph", "/v", "n", "/t", "REG_DWORD", "/d", "4294967295",
        "/f"}},
      {"DefaultValueAndDataLikeAnOption",
       RegRoot::CurrentUser,
       "Software\\Zeph",
       "",
       kRegSz,
       Bytes(std::string("/f\0", 3)),
       {"reg", "add", "HKCU\\Software\\Zeph", "/ve", "/t", "REG_SZ", "/d", "/f", "/f"}},
      {"BinaryAsHex",
       RegRoot::CurrentUser,
       "S",
       "b",
       3,
       {0x0a, 0xff},
       {"reg", "add", "HKCU\\S", "/v", "b", "/t", "REG_BINARY", "/d", "0aff", "/f"}},
      {"ExpandText",
       RegRoot::CurrentUser,
       "S",
       "p",
       2,
       Bytes(std::string("%TEMP%\0", 7)),
       {"reg", "add", "HKCU\\S", "/v", "p", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%", "/f"}},
  };
  for (const Row& r : rows) {
    Args args;
    SystemError err;
    ASSERT_TRUE(RegAddArguments(r.root, r.subkey, r.value, r.type, r.data, &args, &err)) << r.name;
    EXPECT_EQ(r.expected, args) << r.name;
  }

  Args args;
  SystemError err;
  EXPECT_FALSE(RegAddArguments(RegRoot::CurrentUser, "S", "m", 7, Bytes("a"), &args, &err));
  EXPECT_NE(std::string::npos, err.text.find("type 7")) << err.text;
  EXPECT_FALSE(RegAddArguments(RegRoot::CurrentUser, "S", "d", kRegDword, {1, 2}, &args, &err));
  EXPECT_NE(std::string::npos, err.text.find("four bytes")) << err.text;

  EXPECT_EQ((Args{"reg", "delete", "HKCU\\Software\\Zeph Racer", "/v", "caf\xc3\xa9", "/f"}),
            RegDeleteArguments(RegRoot::CurrentUser, "Software\\Zeph Racer", "caf\xe9"));
  EXPECT_EQ((Args{"reg", "delete", "HKLM\\S", "/ve", "/f"}),
            RegDeleteArguments(RegRoot::LocalMachine, "S", ""));
  EXPECT_EQ((Args{"reg", "export", "HKCU\\A b", "Z:\\tmp\\x.reg", "/y"}),
            RegExportArguments(RegRoot::CurrentUser, "A b\\", "Z:\\tmp\\x.reg"));
}

TEST(WineRegCommands, ValuesFoundInAnExport) {
  const std::string bytes = Utf16Export(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Zeph Racer]\r\n"
      u"@=\"def \\\"q\\\" \\\\ back\"\r\n"
      u"\"Pad Mode\"=\"caf\u00e9 \u20ac \u4e2d\"\r\n"
      u"\"Count\"=dword:0000002a\r\n"
      u"\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,e9,00,\\\r\n"
      u"  00,00\r\n"
      u"\"Bin\"=hex:01,ff\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Zeph Racer\\Deeper]\r\n"
      u"\"Count\"=dword:00000001\r\n");
  const std::string key = "HKCU\\Software\\Zeph Racer";
  struct Row {
    const char* name;
    std::string key, value;
    uint32_t type;
    std::vector<uint8_t> data;
  } rows[] = {
      {"DefaultWithEscapes", key, "", kRegSz, Bytes(std::string("def \"q\" \\ back\0", 15))},
      {"TextInTheAnsiCodePage", key, "pad mode", kRegSz, Bytes(std::string("caf\xe9 \x80 ?\0", 9))},
      {"Dword", key, "Count", kRegDword, {0x2a, 0, 0, 0}},
      {"ContinuedExpandText", key, "Path", 2, Bytes(std::string("%TEMP%\\\xe9\0", 9))},
      {"Binary", key, "Bin", 3, {0x01, 0xff}},
      {"SubkeyApart", key + "\\deeper", "Count", kRegDword, {1, 0, 0, 0}},
  };
  for (const Row& r : rows) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(ReadResult::Ok, FindExportedValue(bytes, r.key, r.value, &type, &data)) << r.name;
    EXPECT_EQ(r.type, type) << r.name;
    EXPECT_EQ(r.data, data) << r.name;
  }
  EXPECT_EQ(ReadResult::Missing, FindExportedValue(bytes, key, "Nope", nullptr, nullptr));
  EXPECT_EQ(ReadResult::Missing,
            FindExportedValue(bytes, "HKCU\\Software", "Count", nullptr, nullptr));
}

class TempFolder : public ::testing::Test {
 protected:
  TempFolder() {
    char pattern[] = "/tmp/zeph-winesetup-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~TempFolder() override { fs::remove_all(root_); }
  fs::path root_;
};

using WineLoaders = TempFolder;

TEST_F(WineLoaders, TheWineBesideTheLoader) {
  const fs::path both = root_ / "proton" / "files" / "bin", only = root_ / "runner" / "bin";
  for (const char* name : {"wine", "wine64", "wine64-preloader", "wine-preloader"})
    Put(both / name, "#!/bin/sh\n", true);
  Put(only / "wine", "#!/bin/sh\n", true);
  EXPECT_EQ((both / "wine64").string(), WineBesideLoader((both / "wine64-preloader").string()));
  EXPECT_EQ((both / "wine").string(), WineBesideLoader((both / "wine-preloader").string()));
  EXPECT_EQ((only / "wine").string(), WineBesideLoader((only / "wine64-preloader").string()));
  EXPECT_EQ("/usr/lib/wine/wine64", WineBesideLoader("/usr/lib/wine/wine64"));
  EXPECT_EQ("wine", WineBesideLoader(""));
}

using DrivePaths = TempFolder;

TEST_F(DrivePaths, MappedThroughThePrefix) {
  const fs::path linked = root_ / "linked", bare = root_ / "bare";
  fs::create_directories(linked / "drive_c" / "Games");
  fs::create_directories(linked / "dosdevices");
  fs::create_directories(root_ / "elsewhere");
  fs::create_symlink("../drive_c", linked / "dosdevices" / "c:");
  fs::create_symlink(root_ / "elsewhere", linked / "dosdevices" / "d:");
  fs::create_symlink("/", linked / "dosdevices" / "z:");
  fs::create_directories(bare / "drive_c");
  FileSystem files;
  const std::string l = Seam(linked), b = Seam(bare);
  struct Row {
    const char* name;
    std::string prefix, path, expected;
  } rows[] = {
      {"LinkFollowed", l, "C:\\Games\\Racer\\x.cfg", l + "\\drive_c\\Games\\Racer\\x.cfg"},
      {"LetterInAnyCase", l, "c:\\Games", l + "\\drive_c\\Games"},
      {"DriveAlone", l, "C:", l + "\\drive_c"},
      {"LinkOutOfThePrefix", l, "D:\\save.dat", Seam(root_ / "elsewhere") + "\\save.dat"},
      {"TheRootOfThisSystem", l, "Z:\\etc\\hosts", "\\etc\\hosts"},
      {"NoSuchDrive", l, "E:\\x", ""},
      {"NoDosdevicesDriveC", b, "C:\\x.ini", b + "\\drive_c\\x.ini"},
      {"NoDosdevicesNoOtherDrive", b, "D:\\x.ini", ""},
      {"NotADrivePath", l, "Games\\x", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(r.expected, MapDrivePath(files, r.prefix, r.path)) << r.name;
}

// A stand-in wine: each reg command answers as the script says.
class StandInWine : public TempFolder {
 protected:
  StandInWine() {
    fs::create_directories(prefix_);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  }
  void Script(const std::string& body) { Put(loader_, "#!/bin/sh\n" + body, true); }
  WinePrefixRegistry Registry() { return WinePrefixRegistry(prefix_.string(), loader_.string()); }

  fs::path prefix_ = root_ / "pfx", loader_ = root_ / "bin" / "wine64";
};

TEST_F(StandInWine, AFailingWriteSaysWhy) {
  Script(
      "case \"$2\" in export) echo 'reg: Unable to find the specified registry key'; exit 1;;\n"
      "add) echo \"reg: Access is denied ($WINEPREFIX)\"; exit 5;; esac\n");
  WinePrefixRegistry registry = Registry();
  SystemError err;
  EXPECT_FALSE(WriteRegString(registry, RegRoot::CurrentUser, "Software\\Zeph", "v", "x", &err));
  EXPECT_EQ(5, err.code);
  EXPECT_NE(std::string::npos, err.text.find("exited with code 5")) << err.text;
  EXPECT_NE(std::string::npos, err.text.find("reg: Access is denied (" + prefix_.string() + ")"))
      << err.text;
  uint32_t type = 0;
  EXPECT_EQ(ReadResult::Missing,
            registry.QueryValue(RegRoot::CurrentUser, "Software\\Zeph", "v", &type, nullptr, &err));

  // Any other failure of the export is a failed read, not a missing value.
  Script("echo 'wine: could not load kernel32.dll'; exit 1\n");
  EXPECT_EQ(ReadResult::Failed,
            registry.QueryValue(RegRoot::CurrentUser, "Software\\Zeph", "v", &type, nullptr, &err));
  EXPECT_NE(std::string::npos, err.text.find("kernel32")) << err.text;

  // A wine that cannot run, and a prefix that is gone (wine would make a new one).
  chmod(loader_.c_str(), 0644);
  EXPECT_FALSE(WriteRegString(registry, RegRoot::CurrentUser, "Software\\Zeph", "v", "x", &err));
  EXPECT_NE(std::string::npos, err.text.find("cannot run " + loader_.string())) << err.text;
  fs::remove_all(prefix_);
  chmod(loader_.c_str(), 0755);
  EXPECT_FALSE(WriteRegString(registry, RegRoot::CurrentUser, "Software\\Zeph", "v", "x", &err));
  EXPECT_NE(std::string::npos, err.text.find("Wine prefix " + prefix_.string() + " is not there"))
      << err.text;
  EXPECT_FALSE(fs::exists(prefix_));
}

// The pass's journal names the prefix; an undo that cannot reach it any more
// fails saying why and leaves the pass undoable.
TEST_F(StandInWine, AnUndoThatCannotReachThePrefixFails) {
  Script(
      "case \"$2\" in export) echo 'reg: Unable to find the specified registry key'; exit 1;;\n"
      "esac\n");
  PlatformSystem real = CreatePlatformSystem(0, nullptr);
  const std::string journalRoot = Seam(root_ / "journal");
  JournaledSystem journal(real.Seam(), journalRoot);
  const fs::path game = prefix_ / "drive_c" / "Games" / "Racer";
  Put(game / "racer.cfg", "input=mouse\r\n");
  Put(root_ / "prog" / "wyn" / "racer.wyn",
      "[CONFIGURATION]\r\nCUSTOM=TRUE\r\n{\r\n"
      "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Zeph Racer'\\, 'v'\\, 'x'\\, ''\r\n   }\r\n");
  std::vector<std::string> log;
  FakeDesktop desktop(log);
  testing::SetupUnit unit(journal.Seam(), desktop);
  unit.pass.SetJournal(&journal);
  unit.game.profile = Seam(root_ / "prog" / "wyn" / "racer.wyn");
  unit.game.folder = Seam(game);
  unit.game.wine = {Seam(prefix_), Seam(loader_)};
  unit.profile.custom = ProfileFlag::Of("TRUE");
  unit.profile.revision = "1";
  unit.WriteStuff();

  fs::remove_all(prefix_);
  UndoResult undo = UndoPass(*real.files, *real.registry, journalRoot, Seam(game), 0, false);
  EXPECT_EQ(1, undo.ExitStatus());
  ASSERT_EQ(1u, undo.failed.size()) << ::testing::PrintToString(undo.changed);
  EXPECT_NE(
      std::string::npos,
      undo.failed[0].find("HKCU\\Software\\Zeph Racer\\v in the Wine prefix " + Seam(prefix_)))
      << undo.failed[0];
  EXPECT_NE(std::string::npos, undo.failed[0].find("is not there")) << undo.failed[0];
}

// --- against the real Wine

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The output and exit code of a shell command. The output goes through a
// file: a wineserver the command starts keeps a pipe open long after.
int Shell(const std::string& command, std::string* output = nullptr) {
  char name[] = "/tmp/zeph-winesetup-out-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return -1;
  close(fd);
  const int status = std::system((command + " >" + name + " 2>&1 </dev/null").c_str());
  if (output) *output = Slurp(name);
  unlink(name);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The system's loader, the program a game's process runs as; "" when the
// system has none of the usual places (then "wine" from the search path).
std::string SystemLoader() {
  for (const char* path : {"/usr/lib/wine/wine64", "/usr/lib/x86_64-linux-gnu/wine/wine64",
                           "/usr/lib64/wine/wine64", "/opt/wine-stable/bin/wine64"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

// One throwaway prefix for the suite, its wineserver kept running between
// the tests' wine starts and ended at the end.
class RealWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Shell("command -v wine >/dev/null") != 0) return;
    char pattern[] = "/tmp/zeph-winesetup-pfx-XXXXXX";
    suite_ = new fs::path(mkdtemp(pattern));
    // wine's menu builder writes below the user's configuration folder.
    setenv("XDG_CONFIG_HOME", (*suite_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (*suite_ / "data").c_str(), 1);
    const std::string env =
        "WINEPREFIX=" + Quote(Prefix().string()) +
        " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' ";
    std::string out;
    if (Shell(env + "wineboot -i", &out) != 0) {
      bootError_ = new std::string(out);
      return;
    }
    // Kept between the wine starts; it ends by itself should the suite not end it.
    Shell(env + "wineserver -p30");
  }
  static void TearDownTestSuite() {
    if (!suite_) return;
    Shell("WINEPREFIX=" + Quote(Prefix().string()) + " wineserver -k");
    fs::remove_all(*suite_);
    delete suite_;
    suite_ = nullptr;
    delete bootError_;
    bootError_ = nullptr;
  }
  static fs::path Prefix() { return *suite_ / "pfx"; }

  void SetUp() override {
    if (!suite_) GTEST_SKIP() << "wine is not installed";
    ASSERT_EQ(nullptr, bootError_) << "wineboot failed: " << *bootError_;
    char pattern[] = "/tmp/zeph-winesetup-home-XXXXXX";
    home_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (home_ / "state").c_str(), 1);
  }
  void TearDown() override {
    if (!home_.empty()) fs::remove_all(home_);
  }

  // wine reg query in the prefix: its exit code and output.
  int RegQuery(const std::string& key, const std::string& name, std::string* out) {
    return Shell("WINEPREFIX=" + Quote(Prefix().string()) + " WINEDEBUG=-all wine reg query " +
                     Quote(key) + " /v " + Quote(name),
                 out);
  }

  static fs::path* suite_;
  static std::string* bootError_;
  fs::path home_;
};
fs::path* RealWine::suite_ = nullptr;
std::string* RealWine::bootError_ = nullptr;

// The monitor's journaled pass for a game run by Wine: a file of the game
// folder edited, a file named by its drive path appended to, and values
// written to the prefix's registry (read back there by wine reg query), the
// monitor's own registry file untouched; the undo puts all of it back. One
// test, so that the prefix is made once.
TEST_F(RealWine, APassInsideThePrefixAndItsUndo) {
  const auto started = std::chrono::steady_clock::now();
  PlatformSystem real = CreatePlatformSystem(0, nullptr);
  // The monitor's own registry file, which must stay as it is.
  ASSERT_TRUE(WriteRegString(*real.registry, RegRoot::CurrentUser, "Software\\Zeph Racer",
                             "Pad Mode", "mine"));
  const fs::path ownFile = home_ / "config" / "zephmonitor" / "registry.ini";
  const std::string ownBytes = Slurp(ownFile);
  ASSERT_FALSE(ownBytes.empty());

  const fs::path game = Prefix() / "drive_c" / "Games" / "Racer";
  Put(game / "racer.cfg", "input=mouse\r\n");
  Put(home_ / "prog" / "wyn" / "racer.wyn",
      "[CONFIGURATION]\r\nCUSTOM=TRUE\r\n{\r\n"
      "'racer.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=pad'\\, ''\r\n"
      "'C:\\GAMES\\racer\\Notes.txt'\\, 'APPEND'\\, 'pad on'\\, ''\r\n"
      "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Zeph Racer'\\, 'Pad Mode'\\, 'caf\xe9 pad'\\, "
      "''\r\n"
      "'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Zeph Racer'\\, 'Dead Zone'\\, '42'\\, ''\r\n"
      "   }\r\n");
  const std::string journalRoot = Seam(home_ / "journal");
  {
    JournaledSystem journal(real.Seam(), journalRoot);
    std::vector<std::string> log;
    FakeDesktop desktop(log);
    testing::SetupUnit unit(journal.Seam(), desktop);
    unit.pass.SetJournal(&journal);
    unit.game.profile = Seam(home_ / "prog" / "wyn" / "racer.wyn");
    unit.game.folder = Seam(game);
    unit.game.wine = {Seam(Prefix()), Seam(SystemLoader())};
    unit.profile.custom = ProfileFlag::Of("TRUE");
    unit.profile.revision = "1";
    unit.WriteStuff();
    for (const std::string& line : log) EXPECT_EQ(std::string::npos, line.find("Error")) << line;
  }
  EXPECT_EQ("input=pad\r\n", Slurp(game / "racer.cfg"));
  ASSERT_TRUE(fs::exists(game / "Notes.txt"));  // "racer" and "Notes.txt" as spelt new: the
                                                // folder matched ignoring case
  EXPECT_NE(std::string::npos, Slurp(game / "Notes.txt").find("pad on"));
  std::string out;
  EXPECT_EQ(0, RegQuery("HKCU\\Software\\Zeph Racer", "Dead Zone", &out)) << out;
  EXPECT_NE(std::string::npos, out.find("REG_DWORD    0x2a")) << out;
  EXPECT_EQ(0, RegQuery("HKCU\\Software\\Zeph Racer", "Pad Mode", &out)) << out;
  EXPECT_NE(std::string::npos, out.find("REG_SZ    caf")) << out;
  // The 8-bit text, exactly, as the prefix's export holds it.
  Registry* prefix = real.registry->ForWine({Seam(Prefix()), Seam(SystemLoader())});
  ASSERT_NE(nullptr, prefix);
  EXPECT_EQ("caf\xe9 pad",
            ReadRegString(*prefix, RegRoot::CurrentUser, "Software\\Zeph Racer", "Pad Mode"));
  EXPECT_EQ(ownBytes, Slurp(ownFile));

  UndoResult undo = UndoPass(*real.files, *real.registry, journalRoot, Seam(game), 0, false);
  EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed)
                                  << ::testing::PrintToString(undo.leftAlone);
  EXPECT_EQ("input=mouse\r\n", Slurp(game / "racer.cfg"));
  EXPECT_FALSE(fs::exists(game / "Notes.txt"));
  EXPECT_EQ(1, RegQuery("HKCU\\Software\\Zeph Racer", "Pad Mode", &out)) << out;
  EXPECT_EQ(1, RegQuery("HKCU\\Software\\Zeph Racer", "Dead Zone", &out)) << out;
  EXPECT_EQ(ownBytes, Slurp(ownFile));
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  std::printf("pass and undo inside the prefix: %lld s\n", static_cast<long long>(seconds));

  // A write the prefix's reg refuses (a key name longer than the registry
  // takes) fails with reg's code and message.
  WinePrefixRegistry registry(Prefix().string(), WineBesideLoader(SystemLoader()));
  SystemError err;
  EXPECT_FALSE(WriteRegString(registry, RegRoot::CurrentUser, "Software\\" + std::string(300, 'k'),
                              "v", "x", &err));
  EXPECT_EQ(1, err.code);
  EXPECT_NE(std::string::npos, err.text.find("exited with code 1: reg: ")) << err.text;
  EXPECT_EQ(1, registry.WineStarts());
}

}  // namespace
}  // namespace zeph::posix

// Which Windows program a Wine loader process runs, and where its folder is
// on this system: a table of what the listing may read of such a process.
#include "system/posix/WineProgram.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zeph::posix {
namespace {

TEST(WineProgram, OnlyTheLoadersNamesAreLoaders) {
  for (const char* name : {"wine", "wine64", "wine-preloader", "wine64-preloader"})
    EXPECT_TRUE(IsWineLoaderName(name)) << name;
  for (const char* name : {"wineserver", "wineserver64", "wine64.exe", "Wine64", "wine32", "",
                           "winedbg", "/usr/lib/wine/wine64"})
    EXPECT_FALSE(IsWineLoaderName(name)) << name;
}

struct Row {
  const char* name;
  WineProcessText text;
  bool windows;
  bool byName;
  std::string path;
  std::string prefix;
};

// A home with the default prefix, its C: a relative link and Z: the root;
// a second prefix whose D: is a link into a folder that is itself a link;
// a prefix without dosdevices.
const std::map<std::string, std::string> kLinks = {
    {"/home/ann/.wine/dosdevices/c:", "/home/ann/.wine/drive_c"},
    {"/home/ann/.wine/dosdevices/z:", "/"},
    {"/games/pfx/dosdevices/c:", "/games/pfx/drive_c"},
    {"/games/pfx/dosdevices/d:", "/mnt/disk2/Library"},
    {"/bare/drive_c", "/bare/drive_c"},
    {"/broken/drive_c", "/broken/drive_c"},
};

std::string Resolve(const std::string& path) {
  auto it = kLinks.find(path);
  return it == kLinks.end() ? std::string() : it->second;
}

const std::string kUmlaut = "\xC3\xA4";  // "ä" in UTF-8
const std::string kLatin1 = "\xE9";      // "é" in Latin-1, as a folder may be named

TEST(WineProgram, MapsTheProgramThroughItsPrefix) {
  const std::string racerDir = "C:\\Games\\Racer\\";
  const std::vector<Row> rows = {
      {"drive path, prefix from the environment",
       {{"C:\\Games\\Racer\\racer.exe"}, "racer.exe", "/games/pfx", "/home/ann", "/tmp"},
       true,
       false,
       "/games/pfx/drive_c/Games/Racer/racer.exe",
       "/games/pfx"},
      {"lower-case drive letter, arguments after it, slashes, prefix with a trailing slash",
       {{"c:/Games/Racer/Racer.EXE", "-window", ""}, "Racer.EXE", "/games/pfx/", "", ""},
       true,
       false,
       "/games/pfx/drive_c/Games/Racer/Racer.EXE",
       "/games/pfx"},
      {"no WINEPREFIX: ~/.wine of the user",
       {{"C:\\Games\\Racer\\racer.exe"}, "racer.exe", "", "/home/ann", ""},
       true,
       false,
       "/home/ann/.wine/drive_c/Games/Racer/racer.exe",
       "/home/ann/.wine"},
      {"a drive that is a link to a linked folder",
       {{"D:\\Steam\\Flyer\\flyer.exe"}, "flyer.exe", "/games/pfx", "", ""},
       true,
       false,
       "/mnt/disk2/Library/Steam/Flyer/flyer.exe",
       "/games/pfx"},
      {"Z: is the root of this system",
       {{"Z:\\opt\\games\\racer.exe"}, "racer.exe", "", "/home/ann", ""},
       true,
       false,
       "/opt/games/racer.exe",
       "/home/ann/.wine"},
      {"a prefix without dosdevices: C: is drive_c",
       {{"C:\\Games\\racer.exe"}, "racer.exe", "/bare", "", ""},
       true,
       false,
       "/bare/drive_c/Games/racer.exe",
       "/bare"},
      {"a drive the prefix does not have: the name alone",
       {{"E:\\racer.exe"}, "racer.exe", "/games/pfx", "", "/tmp"},
       true,
       false,
       "racer.exe",
       "/games/pfx"},
      {"a Unix path",
       {{"/home/ann/Games/Racer/racer.exe"}, "racer.exe", "", "/home/ann", "/"},
       true,
       false,
       "/home/ann/Games/Racer/racer.exe",
       "/home/ann/.wine"},
      {"blanks and 8-bit characters in the folder",
       {{"C:\\Games\\My R" + kUmlaut + "cer " + kLatin1 + "\\r" + kUmlaut + "cer.exe"},
        "r" + kUmlaut + "cer.exe",
        "/games/pfx",
        "",
        ""},
       true,
       false,
       "/games/pfx/drive_c/Games/My R" + kUmlaut + "cer " + kLatin1 + "/r" + kUmlaut + "cer.exe",
       "/games/pfx"},
      {"a relative name is in the working folder",
       {{"racer.exe"}, "racer.exe", "/games/pfx", "", "/home/ann/Games/Racer"},
       true,
       false,
       "/home/ann/Games/Racer/racer.exe",
       "/games/pfx"},
      {"a relative path below the working folder, which is the root",
       {{"Racer\\racer.exe"}, "racer.exe", "/games/pfx", "", "/"},
       true,
       false,
       "/Racer/racer.exe",
       "/games/pfx"},
      {"relative, working folder unknown: the name alone",
       {{"Racer\\racer.exe"}, "racer.exe", "/games/pfx", "", ""},
       true,
       false,
       "racer.exe",
       "/games/pfx"},
      {"a network path: the name alone",
       {{"\\\\server\\games\\racer.exe"}, "racer.exe", "/games/pfx", "", "/tmp"},
       true,
       false,
       "racer.exe",
       "/games/pfx"},
      {"just started: the loader first, then an absolute program",
       {{"/usr/lib/wine/wine64", racerDir + "racer.exe"}, "wine64", "/games/pfx", "", ""},
       true,
       false,
       "/games/pfx/drive_c/Games/Racer/racer.exe",
       "/games/pfx"},
      {"the preloader, then the loader, then the program",
       {{"/opt/x/files/bin/wine64-preloader", "/opt/x/files/bin/wine64", racerDir + "racer.exe"},
        "wine64-preloa",
        "/games/pfx",
        "",
        ""},
       true,
       false,
       "/games/pfx/drive_c/Games/Racer/racer.exe",
       "/games/pfx"},
      {"just started with a relative program: not yet",
       {{"wine64", "racer.exe"}, "racer.exe", "/games/pfx", "", "/tmp"},
       false,
       false,
       "",
       "/games/pfx"},
      {"the loader alone: not a Windows program",
       {{"/usr/lib/wine/wine64", "--version"}, "wine64", "/games/pfx", "", "/tmp"},
       false,
       false,
       "",
       "/games/pfx"},
      {"no command line: the process name, in the working folder",
       {{}, "racer.exe", "/games/pfx", "", "/home/ann/Games/Racer"},
       true,
       true,
       "/home/ann/Games/Racer/racer.exe",
       "/games/pfx"},
      {"a command line that is no program: the process name",
       {{"game launcher"}, "Racer.exe", "", "/home/ann", ""},
       true,
       true,
       "Racer.exe",
       "/home/ann/.wine"},
      {"neither a program nor a process name ending in .exe",
       {{}, "wine64", "/games/pfx", "", "/tmp"},
       false,
       false,
       "",
       "/games/pfx"},
      {"a process name that is only the suffix",
       {{""}, ".exe", "/games/pfx", "", "/tmp"},
       false,
       false,
       "",
       "/games/pfx"},
      {"a service of Wine keeps its name",
       {{"C:\\windows\\system32\\services.exe"}, "services.exe", "/games/pfx", "", "/"},
       true,
       false,
       "/games/pfx/drive_c/windows/system32/services.exe",
       "/games/pfx"},
      {"no prefix and no home: the name alone",
       {{"C:\\Games\\racer.exe"}, "racer.exe", "", "", "/tmp"},
       true,
       false,
       "racer.exe",
       ""},
  };
  for (const Row& row : rows) {
    WineProgram p = MapWineProgram(row.text, Resolve);
    EXPECT_EQ(row.windows, p.windows) << row.name;
    EXPECT_EQ(row.byName, p.byName) << row.name;
    EXPECT_EQ(row.path, p.path) << row.name;
    EXPECT_EQ(row.prefix, p.prefix) << row.name;
  }
}

}  // namespace
}  // namespace zeph::posix

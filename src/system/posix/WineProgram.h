// Windows programs run by Wine: which processes are Wine's loaders, and
// which program a loader runs, with its folder as a path of this system.
// No file is read here: the listing hands in what it read of the process.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zeph::posix {

// True for the file name of one of Wine's loaders (wine, wine64,
// wine-preloader, wine64-preloader), whatever folder it is in.
bool IsWineLoaderName(const std::string& fileName);

// What the listing read of a loader process.
struct WineProcessText {
  std::vector<std::string> args;  // its command line, split at the NULs
  std::string comm;               // its process name (15 characters at most)
  std::string winePrefix;         // WINEPREFIX of its environment, "" when unset
  std::string home;               // the home folder of its user
  std::string workingFolder;      // its working folder, "" when unknown
};

// The Windows program a loader runs.
struct WineProgram {
  // False while the loader does not run a Windows program yet (or never
  // will): the listing reads the process again at its next pass.
  bool windows = false;
  // Told by the process name alone (its command line empty or naming no
  // program): the listing reads the process again, for a better answer.
  bool byName = false;
  // Native path: the program's folder and name, or its name alone when its
  // folder cannot be told.
  std::string path;
  std::string prefix;  // native, without a trailing "/"
};

// A native path with every link in it resolved; "" when it does not exist.
using ResolvePath = std::function<std::string(const std::string& nativePath)>;

// The program of a loader process. It is named by the first argument that
// is not a loader itself (Wine puts the program's Windows path first once
// it runs; before that the loader comes first), when that ends in ".exe";
// an argument after a loader counts only as an absolute path (a relative
// one waits until Wine has put the program first). Without either, a
// process name ending in ".exe" names it.
//   - "X:\dir\prog.exe" is mapped through the prefix's dosdevices/x: link;
//     without one, C: is the prefix's drive_c.
//   - "/dir/prog.exe" is a path of this system already.
//   - A program without a folder ("prog.exe", "dir\prog.exe", or the process
//     name) is in the working folder, where Wine looks for it first.
// The prefix is WINEPREFIX, else ~/.wine of the process's user.
WineProgram MapWineProgram(const WineProcessText& text, const ResolvePath& resolve);

}  // namespace zeph::posix

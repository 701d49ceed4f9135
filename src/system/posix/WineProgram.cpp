#include "system/posix/WineProgram.h"

#include <algorithm>

#include "system/posix/PosixPaths.h"

namespace zeph::posix {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool EndsWithExe(const std::string& name) {
  if (name.size() < 5) return false;  // a name before the ".exe"
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return tail == ".exe";
}

// "C:\..." or "C:/...".
bool HasDrive(const std::string& path) {
  return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

std::string WithSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// "C:\dir\prog.exe" in prefix as a native path; "" when the drive is not there.
std::string MapDrivePath(const std::string& windowsPath, const std::string& prefix,
                         const ResolvePath& resolve) {
  if (prefix.empty()) return {};
  char letter = windowsPath[0];
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  std::string root = resolve(prefix + "/dosdevices/" + letter + ":");
  if (root.empty() && letter == 'c') root = resolve(prefix + "/drive_c");
  if (root.empty()) return {};
  return WithoutTrailingSlashes(root) + WithSlashes(windowsPath.substr(2));
}

}  // namespace

bool IsWineLoaderName(const std::string& fileName) {
  return fileName == "wine" || fileName == "wine64" || fileName == "wine-preloader" ||
         fileName == "wine64-preloader";
}

WineProgram MapWineProgram(const WineProcessText& text, const ResolvePath& resolve) {
  WineProgram result;
  result.prefix = WithoutTrailingSlashes(
      !text.winePrefix.empty() ? text.winePrefix
                               : (text.home.empty() ? std::string() : text.home + "/.wine"));

  // The preloader is started with the loader's path after its own; Wine
  // moves the program to the front once it has set up the process.
  size_t first = 0;
  while (first < text.args.size() && IsWineLoaderName(FileNameOf(text.args[first]))) ++first;
  std::string program = first < text.args.size() ? text.args[first] : std::string();
  // Relative to what the loader was given: wait until Wine has put it first.
  if (first > 0 && !program.empty() && !HasDrive(program) && program[0] != '/') return result;
  if (!EndsWithExe(program)) {
    if (!EndsWithExe(text.comm)) return result;
    program = text.comm;
    result.byName = true;
  }
  result.windows = true;

  std::string native;
  if (HasDrive(program)) {
    native = MapDrivePath(program, result.prefix, resolve);
  } else if (program[0] == '/') {
    native = program;
  } else if (program[0] != '\\' && !text.workingFolder.empty()) {
    // Not a network path nor one from the root of the current drive.
    native = WithoutTrailingSlashes(text.workingFolder) + "/" + WithSlashes(program);
  }
  if (native.empty()) {
    native = FileNameOf(WithSlashes(program));
  }
  // "/" + "dir" when the working folder is the root.
  if (native.compare(0, 2, "//") == 0) native.erase(0, 1);
  result.path = native;
  return result;
}

}  // namespace zeph::posix

#include "system/posix/PosixPaths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zeph {

std::string ToNativePath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::string ToWindowsPath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

namespace posix {

namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringAsciiCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return a[i] == '\0' && i == b.size();
}

// The entry of folder that matches name ignoring case; "" when none does.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = readdir(dir)) {
    if (SameIgnoringAsciiCase(entry->d_name, name) && (found.empty() || entry->d_name < found))
      found = entry->d_name;
  }
  closedir(dir);
  return found;
}

}  // namespace

std::string MatchCase(const std::string& nativePath) {
  struct stat st;
  if (nativePath.empty() || lstat(nativePath.c_str(), &st) == 0 ||
      (errno != ENOENT && errno != ENOTDIR))
    return nativePath;
  // Folding ASCII letters keeps the length, so a match takes the place of
  // its component byte for byte.
  std::string path = nativePath;
  size_t begin = 0;
  while (begin < path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(begin, end - begin);
    if (!name.empty() && name != "." && name != ".." &&
        lstat(path.substr(0, end).c_str(), &st) != 0) {
      if (errno != ENOENT) return path;  // not a folder, or not ours to look into
      const std::string match = FindIgnoringCase(path.substr(0, begin), name);
      if (match.empty()) return path;
      path.replace(begin, name.size(), match);
    }
    begin = end + 1;
  }
  return path;
}

std::string ReadLink(const std::string& linkPath) {
  char target[PATH_MAX];
  ssize_t len = readlink(linkPath.c_str(), target, sizeof target);
  if (len <= 0 || static_cast<size_t>(len) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(len));
}

std::string ReadExeLink(const std::string& linkPath) {
  return WithoutDeletedMark(ReadLink(linkPath));
}

std::string WithoutDeletedMark(std::string target) {
  const std::string deleted = " (deleted)";
  if (target.size() > deleted.size() &&
      target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
    target.resize(target.size() - deleted.size());
  return target;
}

std::string FileNameOf(const std::string& nativePath) {
  size_t slash = nativePath.rfind('/');
  return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

std::string ParentFolder(const std::string& nativePath) {
  std::string p = nativePath;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  p.resize(slash);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

static std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string RuntimeFolder() { return Env("XDG_RUNTIME_DIR"); }

std::string ConfigFolder() {
  std::string c = Env("XDG_CONFIG_HOME");
  if (!c.empty()) return c;
  std::string home = Env("HOME");
  return home.empty() ? std::string() : home + "/.config";
}

std::string StateFolder() {
  std::string s = Env("XDG_STATE_HOME");
  if (!s.empty()) return s;
  std::string home = Env("HOME");
  return home.empty() ? std::string() : home + "/.local/state";
}

bool MakeFolders(const std::string& nativePath, unsigned mode) {
  struct stat st;
  if (nativePath.empty()) return false;
  if (stat(nativePath.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = ParentFolder(nativePath);
  if (parent != nativePath && !MakeFolders(parent, mode)) return false;
  if (mkdir(nativePath.c_str(), static_cast<mode_t>(mode)) == 0) return true;
  // Another process may have made it in the meantime.
  return errno == EEXIST && stat(nativePath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PrivateTempFolder(const std::string& name) {
  std::string folder = "/tmp/" + name + "-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  // /tmp is shared: never use a folder someone else made for us.
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
  return folder;
}

}  // namespace posix
}  // namespace zeph

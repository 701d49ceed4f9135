#include "system/posix/PosixAutostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "system/ProcessHelpers.h"
#include "system/WinPath.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixRegistry.h"

namespace zeph::posix {
namespace {

const char kRunSubkey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kGroup[] = "[Desktop Entry]";
const char kRunValueKey[] = "X-ZephMonitor-RunValue";
// Characters that make an Exec argument need quotes.
const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
const char kBlanks[] = " \t\r";
// Written by the installed launcher into the program folder it copies.
const char kCopyRecord[] = ".installed";

// A string value: backslash and control characters escaped, and blanks at
// either end, which readers would otherwise drop.
std::string EscapeValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += i == 0 || i + 1 == text.size() ? "\\s" : " "; break;
      default: out += text[i];
    }
  }
  return out;
}

// Unknown escapes are kept as they stand.
std::string UnescapeValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += text[i];
    }
  }
  return out;
}

// One Exec argument, quoted when it holds a reserved character, with '%'
// doubled so that it is no field code.
std::string ExecArgument(const std::string& arg) {
  const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : arg) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  return out;
}

// The launcher that made the program folder of nativeProgram, as the copy's
// record names it ("launch <program> <launcher>" lines); "" for a folder that
// is no copy, or whose launcher is gone.
std::string CopyLauncher(const std::string& nativeProgram) {
  const size_t slash = nativeProgram.rfind('/');
  if (slash == std::string::npos) return {};
  std::string record;
  if (ReadWholeFile(ParentFolder(nativeProgram) + "/" + kCopyRecord, &record) != ReadStatus::Okay)
    return {};
  const std::string prefix = "launch " + nativeProgram.substr(slash + 1) + " ";
  for (const std::string& line : SplitAt(record, '\n')) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string launcher = line.substr(prefix.size());
    if (!launcher.empty() && launcher[0] == '/' && access(launcher.c_str(), X_OK) == 0)
      return launcher;
  }
  return {};
}

bool IsFile(const std::string& windowsPath) {
  struct stat st;
  return stat(ToNativePath(windowsPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The program and the argument text of Run data. A quoted program ends at a
// quote followed by a blank or the end: the first such quote, unless a later
// one closes the path of a file that exists (Windows paths never hold a
// quote, but a folder here may).
void SplitRunData(const std::string& data, std::string* program, std::string* rest) {
  size_t start = 0;
  while (start < data.size() && IsBlank(data[start])) ++start;
  if (start < data.size() && data[start] == '"') {
    size_t chosen = std::string::npos;
    for (size_t close = start + 1; close < data.size(); ++close) {
      if (data[close] != '"' || (close + 1 < data.size() && !IsBlank(data[close + 1]))) continue;
      if (chosen == std::string::npos) chosen = close;
      if (IsFile(data.substr(start + 1, close - start - 1))) {
        chosen = close;
        break;
      }
    }
    *program = data.substr(start + 1,
                           chosen == std::string::npos ? std::string::npos : chosen - start - 1);
    *rest = chosen == std::string::npos ? std::string() : data.substr(chosen + 1);
    return;
  }
  size_t end = start;
  while (end < data.size() && !IsBlank(data[end])) ++end;
  *program = data.substr(start, end - start);
  *rest = data.substr(end);
}

}  // namespace

bool IsRunKey(RegRoot root, const std::string& subkey) {
  if (root != RegRoot::CurrentUser && root != RegRoot::LocalMachine) return false;
  return EqualsNoCase(RegistryKeyPath(root, subkey), RegistryKeyPath(root, kRunSubkey));
}

std::string AutostartFileName(const std::string& valueName) {
  std::string base;
  for (char c : valueName) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) base += c;
    if (c >= 'A' && c <= 'Z') base += static_cast<char>(c - 'A' + 'a');
  }
  return base.empty() ? std::string() : base + ".desktop";
}

std::string AutostartExec(const std::string& runData) {
  std::string program, rest;
  SplitRunData(runData, &program, &rest);
  const std::string native = ToNativePath(program);
  const std::string launcher = CopyLauncher(native);
  std::string exec = ExecArgument(launcher.empty() ? native : launcher);
  for (const std::string& arg : SplitArguments(rest)) exec += " " + ExecArgument(arg);
  return EscapeValue(exec);
}

std::string FormatAutostartEntry(const std::string& valueName, const std::string& runData) {
  const std::string name = EscapeValue(valueName);
  std::string out = std::string(kGroup) + "\n";
  auto line = [&out](const std::string& key, const std::string& value) {
    out += key + "=" + value + "\n";
  };
  line("Type", "Application");
  line("Name", name);
  line("Comment", "Starts " + name + " when you log in");
  line("Exec", AutostartExec(runData));
  line("Icon", "zephmonitor");
  line(kRunValueKey, EscapeValue(runData));
  line("Terminal", "false");
  line("X-GNOME-Autostart-enabled", "true");
  return out;
}

std::string ParseAutostartEntry(const std::string& text) {
  bool inGroup = false, kept = false;
  std::string runData, exec;
  for (const std::string& raw : SplitAt(text, '\n')) {
    const std::string line = Trim(raw, kBlanks);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == kGroup;
      continue;
    }
    size_t eq = line.find('=');
    if (!inGroup || eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq), kBlanks);
    const std::string value = UnescapeValue(Trim(line.substr(eq + 1), kBlanks));
    if (key == kRunValueKey) {
      runData = value;
      kept = true;
    } else if (key == "Exec") {
      exec = value;
    }
  }
  return kept ? runData : exec;
}

std::string AutostartFolder::DefaultFolder() {
  std::string config = ConfigFolder();
  return config.empty() ? std::string() : config + "/autostart";
}

bool AutostartFolder::EntryPath(const std::string& name, std::string* path, int* error) const {
  const std::string file = AutostartFileName(name);
  if (file.empty()) {
    *error = EINVAL;
    return false;
  }
  if (folder_.empty()) {
    *error = ENOENT;  // no home to keep it in
    return false;
  }
  *path = folder_ + "/" + file;
  return true;
}

bool AutostartFolder::Set(const std::string& name, uint32_t type, const std::vector<uint8_t>& data,
                          int* error) {
  std::string path;
  if (!EntryPath(name, &path, error)) return false;
  if (type != kRegSz) {
    *error = EINVAL;
    return false;
  }
  errno = 0;
  if (!MakeFolders(folder_, 0700)) {
    // MakeFolders finds something that is no folder without an errno of its own.
    struct stat st;
    *error = stat(folder_.c_str(), &st) == 0 ? ENOTDIR : (errno != 0 ? errno : EIO);
    return false;
  }
  // The text up to its terminating NUL.
  std::string text(data.begin(), data.end());
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return WriteFileAtomic(path, FormatAutostartEntry(name, text), Sync::ToDisk, error);
}

ReadResult AutostartFolder::Query(const std::string& name, uint32_t* type,
                                  std::vector<uint8_t>* data, int* error) const {
  std::string path;
  if (!EntryPath(name, &path, error))
    return *error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  std::string text;
  switch (ReadWholeFile(path, &text)) {
    case ReadStatus::Okay: break;
    case ReadStatus::NotFound:
      if (errno == ENOENT || errno == ENOTDIR) return ReadResult::Missing;
      [[fallthrough]];  // a folder or a device where the entry should be
    case ReadStatus::OtherError: *error = errno; return ReadResult::Failed;
  }
  const std::string runData = ParseAutostartEntry(text);
  if (type) *type = kRegSz;
  if (data) {
    data->assign(runData.begin(), runData.end());
    data->push_back(0);
  }
  return ReadResult::Ok;
}

bool AutostartFolder::Delete(const std::string& name, int* error) {
  std::string path;
  if (!EntryPath(name, &path, error)) return false;
  if (unlink(path.c_str()) == 0) return true;
  *error = errno == ENOTDIR ? ENOENT : errno;
  return false;
}

}  // namespace zeph::posix

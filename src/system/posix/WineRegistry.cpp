#include "system/posix/WineRegistry.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "system/IniText.h"
#include "system/WinPath.h"
#include "system/posix/PosixError.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"

extern char** environ;

namespace zeph::posix {
namespace {

// A wine that hangs (a dialog nobody sees) must not hold the monitor forever.
constexpr auto kWineTimeout = std::chrono::seconds(60);
constexpr int kRegSzExpand = 2;
constexpr int kRegBinary = 3;
constexpr int kRegMultiSz = 7;

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string ToAnsi(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) out += ini::UnicodeToAnsi(u);
  return out;
}

// UTF-16LE bytes (of a hex(2) or hex(7) value) as ANSI bytes, zeros kept.
std::vector<uint8_t> Utf16BytesToAnsi(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<uint8_t>(
        ini::UnicodeToAnsi(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8))));
  return out;
}

bool EqualsNoCase16(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::u16string FromAnsi(const std::string& ansi) {
  std::u16string out;
  for (char c : ansi) out += ini::AnsiToUnicode(c);
  return out;
}

int HexDigit(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted string of the export from at (its opening quote); *end past its
// closing quote. False when it does not close.
bool ReadQuoted(const std::u16string& line, size_t at, std::u16string* text, size_t* end) {
  text->clear();
  for (size_t i = at + 1; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c == '"') {
      *end = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < line.size()) {
      c = line[++i];
      if (c == 'n') c = '\n';
      if (c == 'r') c = '\r';
      if (c == '0') c = 0;
    }
    *text += c;
  }
  return false;
}

// The lines of the export, each value's continued hex lines ("\" at the end)
// joined into one.
std::vector<std::u16string> ExportLines(const std::string& bytes) {
  std::u16string text;
  size_t at = bytes.compare(0, 2, "\xff\xfe") == 0 ? 2 : 0;
  for (; at + 1 < bytes.size(); at += 2)
    text += static_cast<char16_t>(static_cast<uint8_t>(bytes[at]) |
                                  static_cast<uint8_t>(bytes[at + 1]) << 8);
  std::vector<std::u16string> lines;
  std::u16string line;
  bool continued = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\n') {
      if (text[i] != '\r') line += text[i];
      continue;
    }
    std::u16string piece = line;
    line.clear();
    if (continued) {
      const size_t first = piece.find_first_not_of(u" \t");
      piece = first == std::u16string::npos ? u"" : piece.substr(first);
      lines.back() += piece;
    } else {
      lines.push_back(piece);
    }
    continued = !lines.back().empty() && lines.back().back() == '\\' &&
                lines.back().find(u"=hex") != std::u16string::npos;
    if (continued) lines.back().pop_back();
  }
  return lines;
}

// "hex(N):aa,bb" or "hex:aa" after the "=".
bool ParseHexData(const std::u16string& data, uint32_t* type, std::vector<uint8_t>* bytes) {
  size_t at = 0;
  *type = kRegBinary;
  if (data.compare(0, 4, u"hex(") == 0) {
    const size_t close = data.find(u"):", 4);
    if (close == std::u16string::npos) return false;
    uint32_t t = 0;
    for (size_t i = 4; i < close; ++i) {
      const int d = HexDigit(data[i]);
      if (d < 0) return false;
      t = t * 16 + static_cast<uint32_t>(d);
    }
    *type = t;
    at = close + 2;
  } else if (data.compare(0, 4, u"hex:") == 0) {
    at = 4;
  } else {
    return false;
  }
  bytes->clear();
  for (size_t i = at; i < data.size();) {
    if (data[i] == ',' || data[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= data.size() || HexDigit(data[i]) < 0 || HexDigit(data[i + 1]) < 0) return false;
    bytes->push_back(static_cast<uint8_t>(HexDigit(data[i]) * 16 + HexDigit(data[i + 1])));
    i += 2;
  }
  return true;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case kRegSz: return "REG_SZ";
    case kRegSzExpand: return "REG_EXPAND_SZ";
    case kRegDword: return "REG_DWORD";
    case kRegBinary: return "REG_BINARY";
    default: return {};
  }
}

std::string ExitText(int status) {
  if (WIFEXITED(status)) return "exited with code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

// The name a value is given on the command line: /v NAME, or /ve for the
// key's default value.
void AddValueName(const std::string& name, std::vector<std::string>* args) {
  if (name.empty()) {
    args->push_back("/ve");
  } else {
    args->push_back("/v");
    args->push_back(ini::AnsiToUtf8(name));
  }
}

}  // namespace

std::string WineBesideLoader(const std::string& loaderNative) {
  if (loaderNative.empty()) return "wine";
  const std::string name = FileNameOf(loaderNative);
  const std::string folder = ParentFolder(loaderNative);
  auto beside = [&](const char* first, const char* second) {
    const std::string a = folder + "/" + first;
    return IsExecutable(a) ? a : folder + "/" + second;
  };
  if (name == "wine64-preloader") return beside("wine64", "wine");
  if (name == "wine-preloader") return beside("wine", "wine64");
  return loaderNative;
}

std::string WineKeyName(RegRoot root, const std::string& subkey) {
  std::string key = root == RegRoot::LocalMachine ? "HKLM" : "HKCU";
  for (const std::string& part : SplitAt(subkey, '\\'))
    if (!part.empty()) key += "\\" + part;
  return key;
}

bool RegAddArguments(RegRoot root, const std::string& subkey, const std::string& name,
                     uint32_t type, const std::vector<uint8_t>& data,
                     std::vector<std::string>* args, SystemError* err) {
  const std::string typeName = TypeName(type);
  if (typeName.empty())
    return Fail(err, EINVAL, "wine reg cannot write a value of type " + std::to_string(type));
  std::string text;
  if (type == kRegDword) {
    if (data.size() != 4) return Fail(err, EINVAL, "a REG_DWORD value is not four bytes long");
    const uint32_t v =
        data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    text = std::to_string(v);
  } else if (type == kRegBinary) {
    const char* const hex = "0123456789abcdef";
    for (uint8_t b : data) {
      text += hex[b >> 4];
      text += hex[b & 15];
    }
  } else {
    // The text up to its terminating zero, as an 8-bit call stores it.
    const std::string ansi(data.begin(), data.end());
    text = ini::AnsiToUtf8(ansi.substr(0, ansi.find('\0')));
  }
  *args = {"reg", "add", ini::AnsiToUtf8(WineKeyName(root, subkey))};
  AddValueName(name, args);
  args->insert(args->end(), {"/t", typeName, "/d", text, "/f"});
  return true;
}

std::vector<std::string> RegDeleteArguments(RegRoot root, const std::string& subkey,
                                            const std::string& name) {
  std::vector<std::string> args = {"reg", "delete", ini::AnsiToUtf8(WineKeyName(root, subkey))};
  AddValueName(name, &args);
  args.push_back("/f");
  return args;
}

std::vector<std::string> RegExportArguments(RegRoot root, const std::string& subkey,
                                            const std::string& windowsFile) {
  return {"reg", "export", ini::AnsiToUtf8(WineKeyName(root, subkey)), windowsFile, "/y"};
}

ReadResult FindExportedValue(const std::string& exportBytes, const std::string& key,
                             const std::string& name, uint32_t* type, std::vector<uint8_t>* data) {
  // The export names the roots in full.
  std::string fullKey = key;
  if (EqualsNoCase(key.substr(0, 4), "HKCU"))
    fullKey = "HKEY_CURRENT_USER" + key.substr(4);
  else if (EqualsNoCase(key.substr(0, 4), "HKLM"))
    fullKey = "HKEY_LOCAL_MACHINE" + key.substr(4);
  const std::u16string header = u"[" + FromAnsi(fullKey) + u"]";
  const std::u16string wanted = FromAnsi(name);
  bool inKey = false;
  for (const std::u16string& line : ExportLines(exportBytes)) {
    if (!line.empty() && line[0] == '[') {
      inKey = EqualsNoCase16(line, header);
      continue;
    }
    if (!inKey || line.empty()) continue;
    std::u16string valueName;
    size_t eq = 0;
    if (line[0] == '@') {
      eq = 1;
    } else if (line[0] != '"' || !ReadQuoted(line, 0, &valueName, &eq)) {
      continue;
    }
    if (eq >= line.size() || line[eq] != '=' || !EqualsNoCase16(valueName, wanted)) continue;
    const std::u16string value = line.substr(eq + 1);
    uint32_t t = 0;
    std::vector<uint8_t> bytes;
    if (!value.empty() && value[0] == '"') {
      std::u16string text;
      size_t end = 0;
      if (!ReadQuoted(value, 0, &text, &end)) continue;
      t = kRegSz;
      const std::string ansi = ToAnsi(text);
      bytes.assign(ansi.begin(), ansi.end());
      bytes.push_back(0);
    } else if (value.compare(0, 6, u"dword:") == 0) {
      uint32_t v = 0;
      for (size_t i = 6; i < value.size(); ++i) {
        const int d = HexDigit(value[i]);
        if (d < 0) break;
        v = v * 16 + static_cast<uint32_t>(d);
      }
      t = kRegDword;
      bytes = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
               static_cast<uint8_t>(v >> 24)};
    } else if (ParseHexData(value, &t, &bytes)) {
      // Text kept as UTF-16 reads as ANSI through an 8-bit call.
      if (t == kRegSz || t == kRegSzExpand || t == kRegMultiSz) bytes = Utf16BytesToAnsi(bytes);
    } else {
      continue;
    }
    if (type) *type = t;
    if (data) *data = bytes;
    return ReadResult::Ok;
  }
  return ReadResult::Missing;
}

bool WinePrefixRegistry::Run(const std::vector<std::string>& args, int* exitCode,
                             std::string* output, SystemError* err) {
  struct stat st;
  // wine would make a new prefix where there is none: the game's is gone.
  if (stat(prefix_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail(err, ENOENT, "the Wine prefix " + prefix_ + " is not there");
  const std::string temp = PrivateTempFolder("zephmonitor-winereg");
  if (temp.empty()) return Fail(err, EACCES, "no private temporary folder for wine's output");
  std::string outName = temp + "/outXXXXXX";
  const int out = mkstemp(&outName[0]);
  if (out < 0) return Fail(err, ErrnoError(errno));

  std::vector<std::string> env = {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all",
                                  // Arguments are UTF-8, messages are English.
                                  "LC_ALL=C.UTF-8",
                                  // A prefix being updated asks for no add-ons
                                  // and makes no menu entries.
                                  "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"};
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (key != "WINEPREFIX" && key != "WINEDEBUG" && key != "LC_ALL" && key != "WINEDLLOVERRIDES")
      env.push_back(entry);
  }
  std::vector<char*> argv, envp;
  std::string program = wine_;
  argv.push_back(&program[0]);
  std::vector<std::string> argsCopy = args;
  for (std::string& a : argsCopy) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  pid_t pid = 0;
  ++starts_;
  const int spawned =
      program.find('/') == std::string::npos
          ? posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data())
          : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    close(out);
    unlink(outName.c_str());
    return Fail(err, spawned, "cannot run " + program + ": " + ErrnoError(spawned).text);
  }

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + kWineTimeout;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      close(out);
      unlink(outName.c_str());
      return Fail(err, ETIMEDOUT,
                  program + " " + args[0] + " " + args[1] + " did not end within " +
                      std::to_string(kWineTimeout.count()) + " s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  close(out);
  output->clear();
  ReadWholeFile(outName, output);
  unlink(outName.c_str());
  *output = Trim(*output, " \t\r\n");
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!WIFEXITED(status)) *output = program + " " + ExitText(status) + ". " + *output;
  return true;
}

bool WinePrefixRegistry::Failed(const std::vector<std::string>& args, int exitCode,
                                const std::string& output, SystemError* err) const {
  return Fail(err, exitCode,
              wine_ + " " + args[0] + " " + args[1] + " in the Wine prefix " + prefix_ +
                  " exited with code " + std::to_string(exitCode) +
                  (output.empty() ? std::string() : ": " + output));
}

bool WinePrefixRegistry::SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                                  uint32_t type, const std::vector<uint8_t>& data,
                                  SystemError* err) {
  std::vector<std::string> args;
  if (!RegAddArguments(root, subkey, name, type, data, &args, err)) return false;
  int code = 0;
  std::string output;
  if (!Run(args, &code, &output, err)) return false;
  return code == 0 || Failed(args, code, output, err);
}

ReadResult WinePrefixRegistry::QueryValue(RegRoot root, const std::string& subkey,
                                          const std::string& name, uint32_t* type,
                                          std::vector<uint8_t>* data, SystemError* err) {
  // The export, unlike reg query's listing, holds the data exactly (UTF-16).
  const std::string temp = PrivateTempFolder("zephmonitor-winereg");
  if (temp.empty()) {
    Fail(err, EACCES, "no private temporary folder for wine's export");
    return ReadResult::Failed;
  }
  const std::string file =
      temp + "/export-" + std::to_string(getpid()) + "-" + std::to_string(starts_) + ".reg";
  std::string windowsFile = "Z:" + file;
  for (char& c : windowsFile)
    if (c == '/') c = '\\';
  const std::vector<std::string> args = RegExportArguments(root, subkey, windowsFile);
  int code = 0;
  std::string output;
  if (!Run(args, &code, &output, err)) return ReadResult::Failed;
  std::string bytes;
  const ReadStatus read = ReadWholeFile(file, &bytes);
  unlink(file.c_str());
  if (code != 0) {
    // A key that is not there is a value that is not there.
    if (code == 1 && output.find("Unable to find") != std::string::npos) return ReadResult::Missing;
    Failed(args, code, output, err);
    return ReadResult::Failed;
  }
  if (read != ReadStatus::Okay) {
    Fail(err, ENOENT,
         wine_ + " reg export wrote nothing to " + windowsFile + " (the prefix has no drive Z:?)");
    return ReadResult::Failed;
  }
  return FindExportedValue(bytes, WineKeyName(root, subkey), name, type, data);
}

bool WinePrefixRegistry::DeleteValue(RegRoot root, const std::string& subkey,
                                     const std::string& name, SystemError* err) {
  const std::vector<std::string> args = RegDeleteArguments(root, subkey, name);
  int code = 0;
  std::string output;
  if (!Run(args, &code, &output, err)) return false;
  return code == 0 || Failed(args, code, output, err);
}

}  // namespace zeph::posix

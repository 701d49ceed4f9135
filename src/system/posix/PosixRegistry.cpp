#include "system/posix/PosixRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "system/WinPath.h"
#include "system/posix/PosixAutostart.h"
#include "system/posix/PosixError.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"

namespace zeph::posix {
namespace {

const char kHex[] = "0123456789abcdef";
// Blanks around the parts of a line: a hand edit's (a name's own blanks are escaped).
const char kBlanks[] = " \t\r";
const char kBlanksAndLineEnd[] = " \t\r\n";

struct RegValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool edgeBlank = (c == ' ' || c == '\t') && (i == 0 || i + 1 == text.size());
    if (c < 0x20 || c >= 0x7f || c == '%' || c == '=' || c == '[' || c == ']' || c == ';' ||
        c == '#' || edgeBlank) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Blanks around the parts are a hand edit's; blanks of a name are escaped.
bool ParseValue(const std::string& line, RegValue* value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  value->name = Unescape(Trim(line.substr(0, eq), kBlanks));
  std::string rest = Trim(line.substr(eq + 1), kBlanks);
  size_t colon = rest.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  uint64_t type = 0;
  for (size_t i = 0; i < colon; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return false;
    type = type * 10 + static_cast<uint64_t>(rest[i] - '0');
    if (type > 0xffffffffu) return false;
  }
  value->type = static_cast<uint32_t>(type);
  value->data.clear();
  std::string hex = rest.substr(colon + 1);
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    value->data.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

std::string ValueLine(const RegValue& v) {
  std::string out = Escape(v.name) + "=" + std::to_string(v.type) + ":";
  for (uint8_t b : v.data) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// What a line ends with: CR LF, LF, or nothing for a last line without one.
std::string LineEnd(const std::string& line) {
  if (line.empty() || line.back() != '\n') return "";
  return line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
}

const char kUtf8Mark[] = "\xef\xbb\xbf";
const char kHeader[] =
    "; ZephMonitor registry: name=TYPE:BYTES (1 REG_SZ, 4 REG_DWORD; bytes in hex)";

// Whether the store may read and rewrite these bytes. UTF-16 text holds NULs
// (each ASCII character has one), and so does nearly every binary file; the
// store never writes one.
bool IsRegistryText(const std::string& bytes) {
  if (bytes.find('\0') != std::string::npos) return false;
  return bytes.compare(0, 2, "\xff\xfe") != 0 && bytes.compare(0, 2, "\xfe\xff") != 0;
}

// The store's file line by line, each line kept with its own bytes, so that
// a change rewrites only the lines of the value it is about. Lines it does
// not understand (comments, hand edits, values under a key line without its
// "]") are carried along untouched, in their place.
class RegistryText {
 public:
  explicit RegistryText(const std::string& text) {
    size_t pos = 0;
    if (text.compare(0, 3, kUtf8Mark) == 0) {  // an editor's mark, kept for it
      mark_ = kUtf8Mark;
      pos = 3;
    }
    std::string key;  // the key of the lines that follow; "" under none
    while (pos < text.size()) {
      size_t next = text.find('\n', pos);
      next = next == std::string::npos ? text.size() : next + 1;
      Line line;
      line.bytes = text.substr(pos, next - pos);
      pos = next;
      const std::string trimmed = Trim(line.bytes, kBlanksAndLineEnd);
      if (!trimmed.empty() && trimmed[0] == '[') {
        // What stands under a broken key line belongs to no key we could name.
        key = trimmed.back() == ']' ? Unescape(trimmed.substr(1, trimmed.size() - 2)) : "";
        if (!key.empty()) line.kind = Line::Kind::Key;
      } else if (!key.empty() && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
                 ParseValue(trimmed, &line.value)) {
        line.kind = Line::Kind::Value;
      }
      line.key = key;
      if (newline_.empty()) newline_ = LineEnd(line.bytes);
      lines_.push_back(std::move(line));
    }
    if (newline_.empty()) newline_ = "\n";  // new lines end as the file's first one does
  }

  // A value written twice reads as its last line, as a second key line of
  // the same key adds to the first.
  const RegValue* Find(const std::string& keyPath, const std::string& name) const {
    const RegValue* found = nullptr;
    for (const Line& line : lines_)
      if (Holds(line, keyPath, name)) found = &line.value;
    return found;
  }

  void Set(const std::string& keyPath, const std::string& name, uint32_t type,
           const std::vector<uint8_t>& data) {
    for (size_t i = lines_.size(); i-- > 0;) {
      Line& line = lines_[i];
      if (!Holds(line, keyPath, name)) continue;
      // The name keeps the spelling it has, as in the Windows registry.
      line.value.type = type;
      line.value.data = data;
      line.bytes = ValueLine(line.value) + LineEnd(line.bytes);
      return;
    }
    // A new value goes after the last value of the key's last key line, so
    // that a comment leading the next key stays where it is.
    size_t at = lines_.size();
    std::vector<Line> added;
    size_t header = kNone;
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].kind == Line::Kind::Key && EqualsNoCase(lines_[i].key, keyPath)) header = i;
    if (header != kNone) {
      at = header + 1;
      for (size_t i = header + 1; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Kind::Value && EqualsNoCase(lines_[i].key, keyPath)) at = i + 1;
    } else {
      if (lines_.empty()) added.push_back(Line{kHeader + newline_, Line::Kind::Other, "", {}});
      added.push_back(Line{newline_, Line::Kind::Other, "", {}});
      added.push_back(Line{"[" + Escape(keyPath) + "]" + newline_, Line::Kind::Key, keyPath, {}});
    }
    const RegValue value{name, type, data};
    added.push_back(Line{ValueLine(value) + newline_, Line::Kind::Value, keyPath, value});
    if (at > 0 && LineEnd(lines_[at - 1].bytes).empty()) lines_[at - 1].bytes += newline_;
    lines_.insert(lines_.begin() + static_cast<long>(at), added.begin(), added.end());
  }

  // Removes every line of the value; false when there was none.
  bool Delete(const std::string& keyPath, const std::string& name) {
    const size_t before = lines_.size();
    for (size_t i = lines_.size(); i-- > 0;)
      if (Holds(lines_[i], keyPath, name)) lines_.erase(lines_.begin() + static_cast<long>(i));
    return lines_.size() != before;
  }

  std::string Bytes() const {
    std::string out = mark_;
    for (const Line& line : lines_) out += line.bytes;
    return out;
  }

 private:
  struct Line {
    enum class Kind { Other, Key, Value };
    std::string bytes;  // as in the file, line end included
    Kind kind = Kind::Other;
    std::string key;  // of a key line, or of the key a value line is under
    RegValue value;   // of a value line
  };
  static constexpr size_t kNone = ~size_t{0};

  static bool Holds(const Line& line, const std::string& keyPath, const std::string& name) {
    return line.kind == Line::Kind::Value && EqualsNoCase(line.key, keyPath) &&
           EqualsNoCase(line.value.name, name);
  }

  std::string mark_;
  std::string newline_;
  std::vector<Line> lines_;
};

// Holds the store's lock for one read-change-write, so that two programs
// changing it at once do not lose each other's values.
class StoreLock {
 public:
  explicit StoreLock(const std::string& file) {
    fd_ = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

std::string RegistryKeyPath(RegRoot root, const std::string& subkey) {
  std::string path;
  switch (root) {
    case RegRoot::CurrentUser: path = "HKEY_CURRENT_USER"; break;
    case RegRoot::LocalMachine: path = "HKEY_LOCAL_MACHINE"; break;
    default: return {};
  }
  size_t pos = 0;
  while (pos <= subkey.size()) {
    size_t bs = subkey.find('\\', pos);
    if (bs == std::string::npos) bs = subkey.size();
    if (bs > pos) path += "\\" + subkey.substr(pos, bs - pos);
    pos = bs + 1;
  }
  return path;
}

std::string RegistryStore::DefaultFile() {
  std::string config = ConfigFolder();
  return config.empty() ? std::string() : config + "/zephmonitor/registry.ini";
}

SystemError RegistryStore::Describe(int error) const {
  if (error == EILSEQ)
    return SystemError{error, "the registry file " + file_ +
                                  " is not text (UTF-16 or binary); it is left as it is"};
  return ErrnoError(error);
}

bool RegistryStore::Load(std::string* text, int* error) const {
  ReadStatus st = ReadWholeFile(file_, text);
  if (st == ReadStatus::OtherError) {
    *error = errno;
    return false;
  }
  if (st == ReadStatus::NotFound) text->clear();
  if (!IsRegistryText(*text)) {
    *error = EILSEQ;
    return false;
  }
  return true;
}

bool RegistryStore::Set(const std::string& keyPath, const std::string& name, uint32_t type,
                        const std::vector<uint8_t>& data, int* error) {
  if (file_.empty() || keyPath.empty()) {
    *error = ENOENT;  // no home to keep the store in, or no such root
    return false;
  }
  if (!MakeFolders(ParentFolder(file_), 0700)) {
    *error = errno;
    return false;
  }
  StoreLock lock(file_);
  std::string bytes;
  if (!Load(&bytes, error)) return false;
  RegistryText text(bytes);
  text.Set(keyPath, name, type, data);
  return WriteFileAtomic(file_, text.Bytes(), Sync::ToDisk, error);
}

ReadResult RegistryStore::Query(const std::string& keyPath, const std::string& name, uint32_t* type,
                                std::vector<uint8_t>* data, int* error) const {
  if (file_.empty() || keyPath.empty()) return ReadResult::Missing;
  std::string bytes;
  if (!Load(&bytes, error)) return ReadResult::Failed;
  const RegistryText text(bytes);
  const RegValue* value = text.Find(keyPath, name);
  if (!value) return ReadResult::Missing;
  if (type) *type = value->type;
  if (data) *data = value->data;
  return ReadResult::Ok;
}

bool RegistryStore::Delete(const std::string& keyPath, const std::string& name, int* error) {
  *error = ENOENT;
  if (file_.empty() || keyPath.empty()) return false;
  StoreLock lock(file_);
  std::string bytes;
  if (!Load(&bytes, error)) return false;
  RegistryText text(bytes);
  if (!text.Delete(keyPath, name)) return false;
  return WriteFileAtomic(file_, text.Bytes(), Sync::ToDisk, error);
}

bool FileRegistry::SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                            uint32_t type, const std::vector<uint8_t>& data, SystemError* err) {
  int error = 0;
  if (IsRunKey(root, subkey)) {
    if (Autostart().Set(name, type, data, &error)) return true;
    return Fail(err, ErrnoError(error));
  }
  RegistryStore store = Store();
  if (store.Set(RegistryKeyPath(root, subkey), name, type, data, &error)) return true;
  return Fail(err, store.Describe(error));
}

ReadResult FileRegistry::QueryValue(RegRoot root, const std::string& subkey,
                                    const std::string& name, uint32_t* type,
                                    std::vector<uint8_t>* data, SystemError* err) {
  int error = 0;
  if (IsRunKey(root, subkey)) {
    ReadResult result = Autostart().Query(name, type, data, &error);
    if (result == ReadResult::Failed) Fail(err, ErrnoError(error));
    return result;
  }
  RegistryStore store = Store();
  ReadResult result = store.Query(RegistryKeyPath(root, subkey), name, type, data, &error);
  if (result == ReadResult::Failed) Fail(err, store.Describe(error));
  return result;
}

bool FileRegistry::DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                               SystemError* err) {
  int error = 0;
  if (IsRunKey(root, subkey)) {
    if (Autostart().Delete(name, &error)) return true;
    return Fail(err, ErrnoError(error));
  }
  RegistryStore store = Store();
  if (store.Delete(RegistryKeyPath(root, subkey), name, &error)) return true;
  return Fail(err, store.Describe(error));
}

Registry* FileRegistry::ForWine(const WineRun& wine) {
  if (wine.Empty()) return this;
  std::unique_ptr<WinePrefixRegistry>& r = prefixes_[wine.prefix + '\n' + wine.loader];
  if (!r)
    r = std::make_unique<WinePrefixRegistry>(ToNativePath(wine.prefix),
                                             WineBesideLoader(ToNativePath(wine.loader)));
  return r.get();
}

}  // namespace zeph::posix

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

RegKey* FindKey(std::vector<RegKey>& keys, const std::string& path) {
  for (RegKey& k : keys)
    if (EqualsNoCase(k.path, path)) return &k;
  return nullptr;
}

}  // namespace

std::vector<RegKey> ParseRegistryText(const std::string& text) {
  std::vector<RegKey> keys;
  RegKey* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = Trim(text.substr(pos, nl - pos), kBlanks);
    pos = nl + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      current = nullptr;
      if (line.back() != ']') continue;
      std::string path = Unescape(line.substr(1, line.size() - 2));
      current = FindKey(keys, path);
      if (!current) {
        keys.push_back(RegKey{path, {}});
        current = &keys.back();
      }
      continue;
    }
    RegValue value;
    if (!current || !ParseValue(line, &value)) continue;  // not ours to guess at
    bool replaced = false;
    for (RegValue& v : current->values) {
      if (EqualsNoCase(v.name, value.name)) {
        v = value;
        replaced = true;
      }
    }
    if (!replaced) current->values.push_back(value);
  }
  return keys;
}

std::string FormatRegistryText(const std::vector<RegKey>& keys) {
  std::string out =
      "; ZephMonitor registry: name=TYPE:BYTES (1 REG_SZ, 4 REG_DWORD; bytes in hex)\n";
  for (const RegKey& key : keys) {
    out += "\n[" + Escape(key.path) + "]\n";
    for (const RegValue& v : key.values) {
      out += Escape(v.name) + "=" + std::to_string(v.type) + ":";
      for (uint8_t b : v.data) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      out += '\n';
    }
  }
  return out;
}

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

bool RegistryStore::Load(std::vector<RegKey>* keys, int* error) const {
  std::string text;
  ReadStatus st = ReadWholeFile(file_, &text);
  if (st == ReadStatus::OtherError) {
    *error = errno;
    return false;
  }
  *keys = ParseRegistryText(text);
  return true;
}

bool RegistryStore::Save(const std::vector<RegKey>& keys, int* error) {
  return WriteFileAtomic(file_, FormatRegistryText(keys), Sync::ToDisk, error);
}

namespace {

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
  std::vector<RegKey> keys;
  if (!Load(&keys, error)) return false;
  RegKey* key = FindKey(keys, keyPath);
  if (!key) {
    keys.push_back(RegKey{keyPath, {}});
    key = &keys.back();
  }
  bool replaced = false;
  for (RegValue& v : key->values) {
    if (EqualsNoCase(v.name, name)) {
      v.type = type;
      v.data = data;
      replaced = true;
    }
  }
  if (!replaced) key->values.push_back(RegValue{name, type, data});
  return Save(keys, error);
}

ReadResult RegistryStore::Query(const std::string& keyPath, const std::string& name, uint32_t* type,
                                std::vector<uint8_t>* data, int* error) const {
  std::vector<RegKey> keys;
  if (file_.empty() || keyPath.empty()) return ReadResult::Missing;
  if (!Load(&keys, error)) return ReadResult::Failed;
  RegKey* key = FindKey(keys, keyPath);
  if (!key) return ReadResult::Missing;
  for (const RegValue& v : key->values) {
    if (EqualsNoCase(v.name, name)) {
      if (type) *type = v.type;
      if (data) *data = v.data;
      return ReadResult::Ok;
    }
  }
  return ReadResult::Missing;
}

bool RegistryStore::Delete(const std::string& keyPath, const std::string& name, int* error) {
  *error = ENOENT;
  if (file_.empty() || keyPath.empty()) return false;
  StoreLock lock(file_);
  std::vector<RegKey> keys;
  if (!Load(&keys, error)) return false;
  RegKey* key = FindKey(keys, keyPath);
  if (!key) return false;
  for (size_t i = 0; i < key->values.size(); ++i) {
    if (EqualsNoCase(key->values[i].name, name)) {
      key->values.erase(key->values.begin() + static_cast<long>(i));
      return Save(keys, error);
    }
  }
  return false;
}

bool FileRegistry::SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                            uint32_t type, const std::vector<uint8_t>& data, SystemError* err) {
  int error = 0;
  if (IsRunKey(root, subkey)) {
    if (Autostart().Set(name, type, data, &error)) return true;
  } else if (Store().Set(RegistryKeyPath(root, subkey), name, type, data, &error)) {
    return true;
  }
  return Fail(err, ErrnoError(error));
}

ReadResult FileRegistry::QueryValue(RegRoot root, const std::string& subkey,
                                    const std::string& name, uint32_t* type,
                                    std::vector<uint8_t>* data, SystemError* err) {
  int error = 0;
  ReadResult result = IsRunKey(root, subkey)
                          ? Autostart().Query(name, type, data, &error)
                          : Store().Query(RegistryKeyPath(root, subkey), name, type, data, &error);
  if (result == ReadResult::Failed) Fail(err, ErrnoError(error));
  return result;
}

bool FileRegistry::DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                               SystemError* err) {
  int error = 0;
  if (IsRunKey(root, subkey) ? Autostart().Delete(name, &error)
                             : Store().Delete(RegistryKeyPath(root, subkey), name, &error))
    return true;
  return Fail(err, ErrnoError(error));
}

}  // namespace zeph::posix

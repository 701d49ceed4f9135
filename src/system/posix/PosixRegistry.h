// The registry of the POSIX build: a small text file of keys and values.
//
// The file lives at $XDG_CONFIG_HOME/zephmonitor/registry.ini (else
// $HOME/.config/zephmonitor/registry.ini) and reads like this:
//
//   [HKEY_CURRENT_USER\Software\Zeph]
//   Path=1:2f6f707400
//   Count=4:ffffffff
//
// One section per key, named by its full path with the root spelled out;
// one line per value, "name=TYPE:BYTES", where TYPE is the value type in
// decimal (1 REG_SZ, 4 REG_DWORD; others are kept as given) and BYTES the
// data exactly as stored, two lowercase hex digits a byte (a REG_SZ keeps
// its terminating NUL, a REG_DWORD is little-endian). In key paths and
// names, '%', '=', '[', ']', ';', '#', control and non-ASCII bytes, and
// blanks at either end are written as %XX. Lines starting with ';' or '#'
// are comments. Keys and names match without regard to ASCII case, like
// Windows; a key exists while any key below it does.
//
// The file may be edited by hand. A write changes only the lines of the
// value it sets or deletes (or adds a line, or a key line and a line), and
// keeps every other byte where it was: comments, lines it cannot read, and
// what stands under a key line without its "]" (which belongs to no key).
// New lines end as the file's first line does (LF or CR LF). A UTF-8
// byte-order mark is kept. A file that is no text (UTF-16, or binary data:
// any NUL byte) is neither read nor written; calls fail with EILSEQ.
//
// The values of Software\Microsoft\Windows\CurrentVersion\Run, under
// either root, are not in the file: each is a desktop entry in the user's
// autostart folder ($XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart),
// named by the value name's letters and digits in lower case
// ("zephmonitor.desktop" for "Zeph Monitor"), so the desktop session starts
// the program at login. The entry's Exec runs the program the data names;
// its X-ZephMonitor-RunValue keeps the data itself, which is read back
// (see PosixAutostart.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "system/Registry.h"
#include "system/posix/PosixAutostart.h"
#include "system/posix/WineRegistry.h"

namespace zeph::posix {

// "HKEY_CURRENT_USER\Software\Zeph" for (CurrentUser, "Software\\Zeph\\");
// empty components are dropped. "" for an unknown root.
std::string RegistryKeyPath(RegRoot root, const std::string& subkey);

class RegistryStore {
 public:
  explicit RegistryStore(std::string nativeFile) : file_(std::move(nativeFile)) {}
  // Where the store of this user lives; "" when there is no home to keep it in.
  static std::string DefaultFile();

  // Failures give an errno value in *error: EILSEQ when the file is not
  // text, which is then neither read nor written.
  bool Set(const std::string& keyPath, const std::string& name, uint32_t type,
           const std::vector<uint8_t>& data, int* error);
  ReadResult Query(const std::string& keyPath, const std::string& name, uint32_t* type,
                   std::vector<uint8_t>* data, int* error) const;
  bool Delete(const std::string& keyPath, const std::string& name, int* error);
  // A failure's error as the seam gives it, naming the file where it matters.
  SystemError Describe(int error) const;

 private:
  bool Load(std::string* bytes, int* error) const;
  std::string file_;
};

// The registry of the seam: the store and the autostart folder of this
// user, looked up at every call (the environment names them). A Wine
// prefix's registry is reached through that prefix's wine (WineRegistry.h).
class FileRegistry final : public Registry {
 public:
  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError* err) override;
  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError* err) override;
  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override;
  Registry* ForWine(const WineRun& wine) override;

 private:
  static RegistryStore Store() { return RegistryStore(RegistryStore::DefaultFile()); }
  static AutostartFolder Autostart() { return AutostartFolder(AutostartFolder::DefaultFolder()); }
  // By prefix and loader.
  std::map<std::string, std::unique_ptr<WinePrefixRegistry>> prefixes_;
};

}  // namespace zeph::posix

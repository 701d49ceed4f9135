// The Run key of the POSIX registry: its values are kept as desktop entries
// in the user's autostart folder, which the desktop session starts at login.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/Registry.h"

namespace zeph::posix {

// Whether subkey under root is "Software\Microsoft\Windows\CurrentVersion\Run",
// matched as the store matches keys (ASCII case and empty components
// ignored). Both roots count: a desktop has only per-user autostart.
bool IsRunKey(RegRoot root, const std::string& subkey);

// "zephmonitor.desktop" for "Zeph Monitor": the ASCII letters and digits of
// the value name, lower-cased; "" when it has none.
std::string AutostartFileName(const std::string& valueName);

// The Exec line's value for Run data (a Windows-form program path, mostly in
// double quotes, then arguments): the program's native path and the
// arguments, each quoted where the desktop entry rules want it, '%' doubled,
// then escaped as a string value. Where a quoted path could end at more than
// one quote, the one that closes the path of an existing file counts.
// A program in a user's copy of an installed program folder is started
// through the launcher that keeps the copy up to date, as its record
// (".installed" in the folder) names it, while that launcher exists.
std::string AutostartExec(const std::string& runData);

// The whole entry for a value, keeping runData itself for reading back.
std::string FormatAutostartEntry(const std::string& valueName, const std::string& runData);

// The Run data an entry holds: the copy kept by FormatAutostartEntry, else
// (an entry made by another program) the Exec value; "" when it has neither.
std::string ParseAutostartEntry(const std::string& text);

// One autostart folder (native path) holding the Run values as entries.
// Failures give an errno value in *error; a value name without letters or
// digits is EINVAL, as is a type other than REG_SZ.
class AutostartFolder {
 public:
  explicit AutostartFolder(std::string nativeFolder) : folder_(std::move(nativeFolder)) {}
  // $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart; "" without either.
  static std::string DefaultFolder();

  // Written all or nothing, the folder created as needed.
  bool Set(const std::string& name, uint32_t type, const std::vector<uint8_t>& data, int* error);
  // REG_SZ with its terminating NUL; Missing when there is no entry.
  ReadResult Query(const std::string& name, uint32_t* type, std::vector<uint8_t>* data,
                   int* error) const;
  // ENOENT when there is no entry, as the store reports a missing value.
  bool Delete(const std::string& name, int* error);

 private:
  // The entry's native path; false, with EINVAL or ENOENT in *error, when
  // the name or the folder gives none.
  bool EntryPath(const std::string& name, std::string* path, int* error) const;
  std::string folder_;
};

}  // namespace zeph::posix

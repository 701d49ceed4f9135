// INI files on native paths, by the Windows rules (see system/IniText.h).
#pragma once

#include <memory>
#include <string>

namespace zeph::posix {

// GetPrivateProfileStringA on a native path: def when the file, section or
// key is missing, or the file cannot be read.
std::string ReadIniValue(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize);
// WritePrivateProfileStringA: creates file, section and key as needed and
// changes only the key's line, all or nothing. False with an errno value in
// *error when it cannot.
bool WriteIniValue(const std::string& nativePath, const std::string& section,
                   const std::string& key, const std::string& value, int* error);

// A file opened for many reads.
class IniFileReader {
 public:
  // Null when the file cannot be read: *error is ENOENT when nothing is
  // there, else the errno.
  static std::unique_ptr<IniFileReader> Open(const std::string& nativePath, int* error);
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize);

 private:
  std::string contents_;
};

}  // namespace zeph::posix

// INI files with the Windows rules: names match ignoring case, one pair of
// enclosing quotes comes off a value, a value is cut to the buffer, and a
// write changes only the line of its key.
#pragma once

#include <memory>
#include <string>

#include "system/Error.h"

namespace zeph {

// One INI file opened for many reads, read from the disk once.
class IniReader {
 public:
  virtual ~IniReader() = default;
  virtual std::string Read(const std::string& section, const std::string& key,
                           const std::string& def, size_t bufferSize) = 0;
};

class IniFiles {
 public:
  virtual ~IniFiles() = default;
  // At most bufferSize - 1 characters; def when the file, section or key is
  // missing (a file that cannot be read counts as missing, as on Windows).
  virtual std::string ReadString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& def,
                                 size_t bufferSize) = 0;
  // Creates file, section and key as needed; replaces a value in place.
  virtual bool WriteString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& value, SystemError* err) = 0;
  // Null when the file cannot be read; *result tells Missing from Failed.
  virtual std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                          SystemError* err) = 0;
};

}  // namespace zeph

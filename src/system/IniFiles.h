// INI files with the Windows rules: names match ignoring case, one pair of
// enclosing quotes comes off a value, a value is cut to the buffer, and a
// write changes only the line of its key.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "system/Error.h"

namespace zeph {

// One key's value, for writing many keys of one file at once.
struct IniEntry {
  std::string section;
  std::string key;
  std::string value;
};

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
  // The file as WriteString for each entry in turn would leave it. A platform
  // that can replaces the file once for all of them, all or nothing; this
  // default writes them one by one, going on past a failure, and reports
  // the first.
  virtual bool WriteStrings(const std::string& file, const std::vector<IniEntry>& entries,
                            SystemError* err) {
    bool written = true;
    SystemError first;
    for (const IniEntry& e : entries) {
      SystemError failure;
      if (WriteString(file, e.section, e.key, e.value, &failure)) continue;
      if (written) first = failure;
      written = false;
    }
    if (!written && err) *err = first;
    return written;
  }
  // Null when the file cannot be read; *result tells Missing from Failed.
  virtual std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                          SystemError* err) = 0;
};

}  // namespace zeph

// INI files on native paths, by the rules of zeph::ini: read as a stream
// through a fixed buffer (memory stays the same whatever the file's size),
// written by streaming the file into its replacement with the lines of the
// keys written changed. Only regular files are read or written; a FIFO, a device or a
// folder at the path is never opened for reading in a way that could wait,
// and never written.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "system/IniText.h"

namespace zeph::posix {

// GetPrivateProfileStringA on a native path: def (as a read hands it back)
// when no regular file is at the path, when the section or key is missing, or
// when the file cannot be read.
std::string ReadIniValue(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize);

// ReadIniValue, false instead when nothing is at the path (ENOENT, ENOTDIR).
bool ReadIniValueIfThere(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize,
                         std::string* value);

// WritePrivateProfileStringA: creates the file, the section and the key as
// needed and changes only the key's line; all or nothing. False with *error
// (when not null) set to an errno value when it cannot: EISDIR or EINVAL for
// a path that holds no regular file, else the errno of the failing call.
// Writing what the file already holds leaves it untouched and returns true.
bool WriteIniValue(const std::string& nativePath, const std::string& section,
                   const std::string& key, const std::string& value, int* error);

// WriteIniValue for each entry in turn, with the file replaced once for all
// of them: all or nothing, untouched when it holds all of them already.
bool WriteIniValues(const std::string& nativePath, const std::vector<IniEntry>& entries,
                    int* error);

// A file opened for many reads: scanned once into an ini::Index when opened,
// kept open, and each value then fetched by its offset. The answers are those
// of the file as it was opened (one replaced by a rename since is still read
// as it was).
class FileSource;

class IniFileReader {
 public:
  // Null when the file cannot be read: *error (when not null) is ENOENT when
  // nothing, or no regular file, is at the path, else the errno.
  static std::unique_ptr<IniFileReader> Open(const std::string& nativePath, int* error);
  // The same with the index held to other limits.
  static std::unique_ptr<IniFileReader> Open(const std::string& nativePath,
                                             const ini::IndexLimits& limits, int* error);
  ~IniFileReader();
  IniFileReader(const IniFileReader&) = delete;
  IniFileReader& operator=(const IniFileReader&) = delete;

  // ReadIniValue's answer for the file as opened.
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize);

  // Whether the whole file fitted in the index (else some reads scan it).
  bool indexComplete() const { return index_.complete(); }

 private:
  explicit IniFileReader(int fd);

  int fd_;
  std::unique_ptr<FileSource> source_;  // keeps the file's first bytes between reads
  ini::Index index_;
};

}  // namespace zeph::posix

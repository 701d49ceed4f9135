#include "system/posix/PosixIni.h"

#include <cerrno>

#include "system/IniText.h"
#include "system/posix/PosixFiles.h"

namespace zeph::posix {

std::string ReadIniValue(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize) {
  std::string contents;
  // A file that cannot be read reads as an empty one: the default.
  if (ReadWholeFile(nativePath, &contents) != ReadStatus::Okay) contents.clear();
  return ini::GetString(contents, section, key, def, bufferSize);
}

bool WriteIniValue(const std::string& nativePath, const std::string& section,
                   const std::string& key, const std::string& value, int* error) {
  std::string contents;
  // A file that exists but cannot be read must not be replaced by a new one.
  if (ReadWholeFile(nativePath, &contents) == ReadStatus::OtherError) {
    *error = errno;
    return false;
  }
  std::string updated = ini::SetString(contents, section, key, value);
  // Writing what the file already holds changes nothing: leave it alone.
  if (updated == contents && !contents.empty()) return true;
  errno = 0;
  if (WriteFileAtomic(nativePath, updated, Sync::Replace)) return true;
  *error = errno ? errno : EIO;
  return false;
}

std::unique_ptr<IniFileReader> IniFileReader::Open(const std::string& nativePath, int* error) {
  auto reader = std::make_unique<IniFileReader>();
  switch (ReadWholeFile(nativePath, &reader->contents_)) {
    case ReadStatus::Okay: return reader;
    case ReadStatus::NotFound: *error = ENOENT; return nullptr;
    case ReadStatus::OtherError: *error = errno; return nullptr;
  }
  return nullptr;
}

std::string IniFileReader::Read(const std::string& section, const std::string& key,
                                const std::string& def, size_t bufferSize) {
  return ini::GetString(contents_, section, key, def, bufferSize);
}

}  // namespace zeph::posix

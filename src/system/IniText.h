// INI files by the Windows rules, on file contents held in memory.
//
// The POSIX implementation and the fake read and write INI files through
// these functions; the Win32 implementation uses the system's own profile
// functions, and a differential test holds the two to the same results.
// Contents are 8-bit text; nothing is converted.
#pragma once

#include <cstddef>
#include <string>

namespace zeph::ini {

// The value of key in section, as GetPrivateProfileStringA returns it:
// blanks around the value removed, one enclosing pair of matching quotes
// removed, cut to bufferSize - 1 characters. def (cut the same way) when the
// section or the key is missing.
std::string GetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize);

// contents after writing key=value into section, as Windows writes it: only
// the key's own line changes (or one line, or a section header and a line,
// are added); every other byte stays as it was.
std::string SetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& value);

}  // namespace zeph::ini

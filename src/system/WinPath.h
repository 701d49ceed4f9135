// Small helpers for texts compared ignoring case and for Windows-form paths.
#pragma once

#include <string>
#include <vector>

namespace zeph {

// Equal when equal ignoring ASCII letter case (8-bit letters are compared
// as they are, whatever the locale).
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string ToLower(std::string text);
std::string ToUpper(std::string text);
// text split at every separator: n separators give n + 1 parts, empty
// ones included ("a,,b" gives "a", "", "b"; "" gives one empty part).
std::vector<std::string> SplitAt(const std::string& text, char separator);
// text without the characters of `blanks` at either end.
std::string Trim(const std::string& text, const char* blanks = " ");
// A space or a tab: what separates the words of a command line.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// FNV-1a of text as 16 hexadecimal digits: a short, stable name for a folder.
std::string HashName(const std::string& text);

// How this platform's file system compares names: ignoring case on Windows,
// byte for byte elsewhere. Two paths name one file when their keys are equal.
#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif
std::string PathKey(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);

// The part of path after its last backslash (the whole path when it has none).
std::string GetFileOnly(const std::string& path);
// The part up to and including its last backslash (empty when it has none).
std::string GetPathOnly(const std::string& path);
// The part before its last backslash, without it (empty when it has none).
std::string FolderOf(const std::string& path);

}  // namespace zeph

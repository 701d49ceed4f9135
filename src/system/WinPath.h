// Small helpers for Windows-form paths and texts compared ignoring case.
#pragma once

#include <string>
#include <vector>

namespace zeph {

// Equal when equal ignoring ASCII letter case.
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string ToLower(std::string text);
std::string ToUpper(std::string text);
// text split at every separator: n separators give n + 1 parts, empty
// ones included ("a,,b" gives "a", "", "b"; "" gives one empty part).
std::vector<std::string> SplitAt(const std::string& text, char separator);

// Blanks (spaces) removed at both ends.
std::string TrimBlanks(const std::string& text);

// The part of path before its last backslash (without it; empty when there
// is none), and the part after it.
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

}  // namespace zeph

// The rules of the set-up pass that need no files: which lines a text edit
// matches and what it makes of them, when a marker's revision is current,
// and how a DWORD's data text reads. Texts compare ignoring ASCII case.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

// Position of the first needle in text at or after from, ignoring case;
// npos when there is none. An empty needle is found at from.
size_t FindNoCase(const std::string& text, const std::string& needle, size_t from = 0);

// DELETE: mode "0" drops the lines that begin with the text, "1" those that
// equal it once their spaces at both ends are gone, "2" those that hold it
// anywhere; any other mode drops nothing.
class DeleteRule {
 public:
  DeleteRule(const std::string& text, const std::string& mode);
  bool Drops(const std::string& line) const;

 private:
  std::string text_;
  int mode_ = -1;
};

// MODIFY: a pattern "prefix%suffix" (or just a prefix) and the line that
// replaces every line it matches. Prefix and suffix are tested apart, so
// they may overlap in a short line.
class ModifyRule {
 public:
  ModifyRule(const std::string& pattern, const std::string& newLine);
  // False when pattern or new line is empty: then no line matches.
  bool Active() const { return active_; }
  bool Matches(const std::string& line) const;
  const std::string& NewLine() const { return newLine_; }

 private:
  bool active_ = false;
  std::string prefix_;
  std::string suffix_;
  bool hasSuffix_ = false;
  std::string newLine_;
};

// REPLACE: every occurrence of a text, left to right and not overlapping,
// by another. An empty text changes nothing.
class ReplaceRule {
 public:
  ReplaceRule(std::string find, std::string with);
  // line with the replacements made; *scratch holds the result when it differs.
  const std::string& Apply(const std::string& line, std::string* scratch) const;

 private:
  std::string find_;
  std::string with_;
};

// APPEND: a line that already holds the text, spaces at both ends aside.
bool HoldsLine(const std::string& line, const std::string& text);

// Whether a marker's revision covers the profile's: as whole numbers when
// both are ("10" covers "9"), otherwise as text ignoring case (marker >=
// profile). A marker revision that is no whole number never covers a
// profile revision that is one.
bool RevisionCovers(const std::string& marker, const std::string& profile);

// A DWORD's data: optionally signed decimal within the signed 32-bit range,
// or hexadecimal ("0x" or "&H", one to eight digits) taken as the value's
// bits, so 0xFFFFFFFF is -1. Blanks around are allowed. False for anything
// else, fractions included.
bool ParseDwordData(const std::string& text, int32_t* value);

}  // namespace zeph

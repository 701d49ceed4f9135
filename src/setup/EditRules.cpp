#include "setup/EditRules.h"

#include <algorithm>
#include <cstring>

#include "system/WinPath.h"

namespace zeph {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// part[skip..] equals text[at + skip..] ignoring case.
bool EqualAtNoCase(const std::string& text, size_t at, const std::string& part, size_t skip = 0) {
  if (at > text.size() || text.size() - at < part.size()) return false;
  for (size_t i = skip; i < part.size(); ++i)
    if (Lower(text[at + i]) != Lower(part[i])) return false;
  return true;
}

// The next place at or after from, before limit, that holds c; limit when none.
size_t NextOf(const char* base, size_t from, size_t limit, char c) {
  const void* hit = from < limit ? std::memchr(base + from, c, limit - from) : nullptr;
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - base) : limit;
}

bool IsWholeNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

size_t FindNoCase(const std::string& text, const std::string& needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string::npos;
  if (from >= text.size() || text.size() - from < needle.size()) return std::string::npos;
  const char lower = Lower(needle[0]);
  const char upper = (lower >= 'a' && lower <= 'z') ? static_cast<char>(lower - 'a' + 'A') : lower;
  const size_t limit = text.size() - needle.size() + 1;  // past the last place a match can begin
  const char* base = text.data();
  // The next place of the first character in each case, each looked up again
  // only once passed, so a long line is scanned once.
  size_t nextLower = NextOf(base, from, limit, lower);
  size_t nextUpper = upper == lower ? limit : NextOf(base, from, limit, upper);
  for (;;) {
    const size_t at = std::min(nextLower, nextUpper);
    if (at >= limit) return std::string::npos;
    if (EqualAtNoCase(text, at, needle, 1)) return at;
    if (at == nextLower) nextLower = NextOf(base, at + 1, limit, lower);
    if (at == nextUpper) nextUpper = NextOf(base, at + 1, limit, upper);
  }
}

DeleteRule::DeleteRule(const std::string& text, const std::string& mode) : text_(text) {
  if (mode == "0") mode_ = 0;
  if (mode == "1") mode_ = 1;
  if (mode == "2") mode_ = 2;
}

bool DeleteRule::Drops(const std::string& line) const {
  switch (mode_) {
    case 0: return EqualAtNoCase(line, 0, text_);
    case 1: return EqualsNoCase(Trim(line), text_);
    case 2: return FindNoCase(line, text_) != std::string::npos;
    default: return false;
  }
}

ModifyRule::ModifyRule(const std::string& pattern, const std::string& newLine)
    : active_(!pattern.empty() && !newLine.empty()), newLine_(newLine) {
  const size_t percent = pattern.find('%');
  hasSuffix_ = percent != std::string::npos;
  prefix_ = pattern.substr(0, percent);
  if (hasSuffix_) suffix_ = pattern.substr(percent + 1);
}

bool ModifyRule::Matches(const std::string& line) const {
  if (!active_ || !EqualAtNoCase(line, 0, prefix_)) return false;
  return !hasSuffix_ || (line.size() >= suffix_.size() &&
                         EqualAtNoCase(line, line.size() - suffix_.size(), suffix_));
}

ReplaceRule::ReplaceRule(std::string find, std::string with)
    : find_(std::move(find)), with_(std::move(with)) {}

const std::string& ReplaceRule::Apply(const std::string& line, std::string* scratch) const {
  if (find_.empty()) return line;
  size_t at = FindNoCase(line, find_);
  if (at == std::string::npos) return line;
  scratch->clear();
  size_t from = 0;
  while (at != std::string::npos) {
    scratch->append(line, from, at - from).append(with_);
    from = at + find_.size();
    at = FindNoCase(line, find_, from);
  }
  scratch->append(line, from, std::string::npos);
  return *scratch;
}

bool HoldsLine(const std::string& line, const std::string& text) {
  return EqualsNoCase(Trim(line), text);
}

bool RevisionCovers(const std::string& marker, const std::string& profile) {
  const std::string m = Trim(marker);
  const std::string p = Trim(profile);
  if (IsWholeNumber(p)) {
    if (!IsWholeNumber(m)) return false;
    // Compared as numbers of any length: leading zeros off, then length, then digits.
    const std::string a = m.substr(std::min(m.find_first_not_of('0'), m.size()));
    const std::string b = p.substr(std::min(p.find_first_not_of('0'), p.size()));
    return a.size() != b.size() ? a.size() > b.size() : a >= b;
  }
  return ToLower(marker).compare(ToLower(profile)) >= 0;
}

bool ParseDwordData(const std::string& text, int32_t* value) {
  const std::string t = Trim(text);
  const bool hex = t.size() > 2 && ((t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) ||
                                    (t[0] == '&' && (t[1] == 'h' || t[1] == 'H')));
  if (hex) {
    const std::string digits = t.substr(2);
    if (digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    *value = static_cast<int32_t>(static_cast<uint32_t>(std::stoul(digits, nullptr, 16)));
    return true;
  }
  size_t start = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  const std::string digits = t.substr(start);
  if (!IsWholeNumber(digits)) return false;
  const std::string significant =
      digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  if (significant.size() > 10) return false;
  const int64_t magnitude = significant.empty() ? 0 : std::stoll(significant);
  const int64_t number = t[0] == '-' ? -magnitude : magnitude;
  if (number < INT32_MIN || number > INT32_MAX) return false;
  *value = static_cast<int32_t>(number);
  return true;
}

}  // namespace zeph

#include "activation/ProfileFormat.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "system/WinPath.h"

namespace zeph {

bool ParseItemList(int count, const std::string& text, std::string* item1, std::string* item2,
                   std::string* item3) {
  static const std::string kThreeEmpty = " '', '', '' ";
  static const std::string kTwoEmpty = " '', '' ";
  std::string list = text;
  if (EqualsNoCase(list, "ERROR")) list = kThreeEmpty;
  if (list.find(',') == std::string::npos) list = kThreeEmpty;
  if (count == 2 && list.size() < 8) list = kTwoEmpty;
  if (count == 3 && list.size() < 8) list = kThreeEmpty;

  std::vector<std::string> pieces = SplitAt(list, ',');
  if (pieces.size() < static_cast<size_t>(count)) return false;
  std::string first = Trim(pieces[0]);
  std::string second = Trim(pieces[1]);
  if (first.empty() || second.size() < 2) return false;
  std::string third;
  if (count == 3) {
    third = Trim(pieces[2]);
    if (third.empty()) return false;
  }
  *item1 = first.substr(0, first.size() - 1);
  *item2 = second.substr(1, second.size() - 2);
  if (count == 3) *item3 = third.substr(1);
  return true;
}

bool ParseNumber(const std::string& text, double* value) {
  std::string t = Trim(text);
  if (t.empty() || t.find_first_not_of("0123456789.+-") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE) return false;
  *value = v;
  return true;
}

bool IsTrue(const std::string& value) {
  if (EqualsNoCase(value, "TRUE")) return true;
  if (EqualsNoCase(value, "FALSE")) return false;
  double number = 0;
  return ParseNumber(value, &number) && number != 0;
}

bool IsTRUE(const std::string& value) { return EqualsNoCase(value, "TRUE"); }

std::string LevelCode(const std::string& level) {
  if (EqualsNoCase(level, "BEGINNER")) return "BEG";
  if (EqualsNoCase(level, "INTERMEDIATE")) return "INT";
  return "EXP";
}

std::string GainFieldText(const std::string& field) {
  std::string t = Trim(field);
  size_t digits = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  if (t.size() == digits || t.find_first_not_of("0123456789", digits) != std::string::npos)
    return "ERROR";
  long value = std::strtol(t.c_str(), nullptr, 10);
  return std::to_string(value);
}

}  // namespace zeph

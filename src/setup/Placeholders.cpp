#include "setup/Placeholders.h"

namespace zeph {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The two characters after the marker at p as a whole number: an optional
// sign and digits, with blanks around them. False when they are no number
// (also when the text ends before them).
bool NumberAfter(const std::string& text, size_t p, int* value) {
  if (p + 3 > text.size()) return false;
  std::string two = text.substr(p + 1, 2);
  size_t b = two.find_first_not_of(' ');
  size_t e = two.find_last_not_of(' ');
  if (b == std::string::npos) return false;
  std::string n = two.substr(b, e - b + 1);
  int sign = 1;
  if (n[0] == '+' || n[0] == '-') {
    sign = n[0] == '-' ? -1 : 1;
    n.erase(0, 1);
  }
  if (n.empty()) return false;
  int v = 0;
  for (char c : n) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  *value = sign * v;
  return true;
}

}  // namespace

std::string ExpandPlaceholders(std::string text, const std::array<ItemTriple, 16>& buttons,
                               const std::array<ItemTriple, 6>& motionPositive,
                               const std::array<ItemTriple, 6>& motionNegative) {
  // A placeholder is the marker, two number characters and one more; fewer
  // characters go when the text ends sooner.
  for (int replaced = 0; replaced < kMaxPlaceholderReplacements && !text.empty(); ++replaced) {
    int n = 0;
    size_t p = text.find(kButtonNameMarker);
    if (p != std::string::npos && NumberAfter(text, p, &n) && n >= 0 && n <= 15) {
      text.replace(p, 4, buttons[static_cast<size_t>(n)].second);
      continue;
    }
    p = text.find(kButtonKeyMarker);
    if (p != std::string::npos && NumberAfter(text, p, &n) && n >= 0 && n <= 15) {
      const std::string& key = buttons[static_cast<size_t>(n)].first;
      if (key.empty()) return std::string();
      text.replace(p, 4, key);
      continue;
    }
    // A motion placeholder: a number from -5 to 5; a '-' as its first
    // character chooses the negative table, so -0 is entry 0 of that one.
    const bool name = text.find(kMotionNameMarker) != std::string::npos;
    p = text.find(name ? kMotionNameMarker : kMotionKeyMarker);
    if (p == std::string::npos || !NumberAfter(text, p, &n) || n < -5 || n > 5) break;
    const auto& table = text[p + 1] == '-' ? motionNegative : motionPositive;
    const ItemTriple& alias = table[static_cast<size_t>(n < 0 ? -n : n)];
    if (name) {
      text.replace(p, 4, alias.second);
    } else {
      if (alias.first.empty()) return std::string();
      text.replace(p, 4, alias.first);
    }
  }
  return text;
}

std::string OutOfRangePlaceholder(const std::string& text) {
  for (size_t p = 0; p < text.size(); ++p) {
    const char c = text[p];
    const bool button = c == kButtonNameMarker || c == kButtonKeyMarker;
    const bool motion = c == kMotionNameMarker || c == kMotionKeyMarker;
    int n = 0;
    if ((!button && !motion) || !NumberAfter(text, p, &n)) continue;
    if ((button && (n < 0 || n > 15)) || (motion && (n < -5 || n > 5))) return text.substr(p, 4);
  }
  return "";
}

}  // namespace zeph

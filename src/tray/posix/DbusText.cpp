#include "tray/posix/DbusText.h"

#include <algorithm>
#include <cstdint>

#include "system/IniText.h"

namespace zeph::posix {

namespace {

bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0) return false;
    size_t more = 0;
    uint32_t min = 0;
    uint32_t code = c;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000, code = c & 0x07;
    } else {
      return false;
    }
    if (i + more >= text.size()) return false;  // cut short
    for (size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and what lies beyond Unicode are not UTF-8.
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

}  // namespace

std::string DbusText(const std::string& text) {
  if (IsUtf8(text)) return text;
  std::string bytes = text;
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  return ini::AnsiToUtf8(bytes);
}

std::string MarkupEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace zeph::posix

#include "monitor/CommandLine.h"

#include <algorithm>
#include <cctype>

#include "system/WinPath.h"

namespace zeph {

std::vector<std::string> SplitCommandWords(const std::string& args) {
  if (args.empty()) return {};
  return SplitAt(args, ' ');
}

namespace {

// A plain decimal number as digits and a power of ten: value = digits x 10^exponent.
// False for anything else (hexadecimal, "inf", "nan", stray characters).
bool ParseDecimal(const std::string& word, bool* negative, std::string* digits, long* exponent) {
  size_t i = 0;
  *negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) *negative = word[i++] == '-';
  bool seenDigit = false;
  long exp = 0;
  for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
    *digits += word[i];
    seenDigit = true;
  }
  if (i < word.size() && word[i] == '.') {
    for (++i; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
      *digits += word[i];
      --exp;
      seenDigit = true;
    }
  }
  if (!seenDigit) return false;
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) minus = word[i++] == '-';
    if (i == word.size()) return false;
    long e = 0;
    for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i)
      e = std::min(e * 10 + (word[i] - '0'), 100000L);  // far beyond any range that matters
    exp += minus ? -e : e;
  }
  if (i != word.size()) return false;
  *exponent = exp;
  return true;
}

}  // namespace

bool ParseRefreshSeconds(const std::string& word, int16_t* milliseconds) {
  // Taken as the decimal text it is, not as a binary double: 2.0005 s is
  // exactly 2000.5 ms, and the half goes to the even neighbour, 2000.
  bool negative = false;
  std::string digits;
  long exponent = 0;
  if (!ParseDecimal(word, &negative, &digits, &exponent)) return false;
  exponent += 3;  // seconds to milliseconds
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return false;  // zero is below the range
  if (negative) return false;
  digits.erase(0, first);
  // Whole milliseconds and the fraction's digits.
  std::string whole, fraction;
  long point = static_cast<long>(digits.size()) + exponent;
  if (point <= 0) {
    fraction = std::string(static_cast<size_t>(-point), '0') + digits;
  } else if (point >= static_cast<long>(digits.size())) {
    if (point > 6) return false;  // at least a million ms
    whole = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
  } else {
    whole = digits.substr(0, static_cast<size_t>(point));
    fraction = digits.substr(static_cast<size_t>(point));
  }
  if (whole.size() > 6) return false;
  long ms = whole.empty() ? 0 : std::stol(whole);
  bool fractionZero = fraction.find_first_not_of('0') == std::string::npos;
  // 1 to 10 seconds inclusive, on the exact value.
  if (ms < 1000 || ms > 10000 || (ms == 10000 && !fractionZero)) return false;
  if (!fraction.empty()) {
    bool restZero = fraction.find_first_not_of('0', 1) == std::string::npos;
    if (fraction[0] > '5' || (fraction[0] == '5' && (!restZero || ms % 2 == 1))) ++ms;
  }
  *milliseconds = static_cast<int16_t>(ms);
  return true;
}

CommandLineOptions ParseCommandLine(const std::string& args) {
  CommandLineOptions options;
  std::vector<std::string> words = SplitCommandWords(args);
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = ToLower(words[i]);
    if (word == "-k" || word == "-kill" || word == "/k" || word == "/kill") {
      options.action = StartAction::Kill;
      return options;
    }
    if (word == "-d" || word == "/d" || word == "-debug" || word == "/debug") {
      options.debug = true;
    } else if (word == "-r" || word == "/r" || word == "-refresh" || word == "/refresh") {
      if (i + 1 >= words.size() || !ParseRefreshSeconds(words[i + 1], &options.refreshInterval)) {
        options.action = StartAction::Usage;
        return options;
      }
      ++i;  // the value word is consumed
    } else if (word == "-s" || word == "-skiposcheck" || word == "/s" || word == "/skiposcheck") {
      options.skipOsCheck = true;
    } else {
      options.action = StartAction::Usage;
      return options;
    }
  }
  return options;
}

std::string UsageText() {
  return "Command line Options:\r\n"
         "\r\n"
         "-d for debug mode\r\n"
         "-r to set the Monitor refresh rate (1 to 10 seconds)\r\n"
         "-s to skip Windows 2000/XP check\r\n"
         "-? to bring up this dialog";
}

}  // namespace zeph

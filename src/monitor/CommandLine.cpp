#include "monitor/CommandLine.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "system/WinPath.h"

namespace zeph {

std::vector<std::string> SplitCommandWords(const std::string& args) {
  if (args.empty()) return {};
  return SplitAt(args, ' ');
}

bool ParseRefreshSeconds(const std::string& word, int16_t* milliseconds) {
  // Plain decimal numbers only: no hexadecimal, "inf" or "nan" that strtod
  // would also take.
  if (word.empty() || word.find_first_not_of("0123456789.+-eE") != std::string::npos) return false;
  const char* begin = word.c_str();
  char* end = nullptr;
  errno = 0;
  double seconds = std::strtod(begin, &end);
  if (end != begin + word.size() || errno == ERANGE) return false;
  if (!(seconds >= 1.0 && seconds <= 10.0)) return false;
  std::fesetround(FE_TONEAREST);  // halves go to the even neighbour
  *milliseconds = static_cast<int16_t>(std::nearbyint(seconds * 1000.0));
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

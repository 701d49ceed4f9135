// The monitor's command line: words, options and the refresh value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeph {

enum class StartAction {
  Run,    // go on with start-up
  Kill,   // ask the running copy to stop, then end
  Usage,  // show the usage box, then end
};

struct CommandLineOptions {
  StartAction action = StartAction::Run;
  bool debug = false;
  bool skipOsCheck = false;
  int16_t refreshInterval = 1000;  // ms
};

// The argument text split at every single blank: two blanks in a row give an
// empty word between them, and an empty text gives no words.
std::vector<std::string> SplitCommandWords(const std::string& args);

// A refresh value in seconds, 1 to 10 inclusive, fractions allowed, as
// milliseconds rounded half to even. False for anything else, including text
// that is not a number at all.
bool ParseRefreshSeconds(const std::string& word, int16_t* milliseconds);

// The words taken from first to last: a kill option is served as soon as it
// is met, and the first bad word ends the scan with the usage box.
CommandLineOptions ParseCommandLine(const std::string& args);

// The usage box's text, lines joined by CR LF.
std::string UsageText();

}  // namespace zeph

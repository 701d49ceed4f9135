// What one game profile will do, found by running the monitor's own routines
// (watch list, activation, end-of-game pass) on a dry-run seam: the real
// files and registry are read, nothing is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check/DryRunSystem.h"
#include "setup/SetupObserver.h"
#include "system/Seam.h"

namespace zeph {

struct CheckOptions {
  std::string profile;        // the profile's path, seam form
  std::string programFolder;  // seam form; empty: the profile's folder's parent
  std::string gameFolder;     // seam form; empty: an empty game folder
  std::string winePrefix;     // seam form; the game runs by Wine in this prefix ("" natively)
  bool configured = false;    // as if the marker file were current
  bool posixErrors = false;   // refusals in errno style (the POSIX build)
};

struct CheckBox {
  std::string title, text;
};

struct WatchCheck {
  bool used = false;
  std::string failedTest;  // the first test the profile fails ("VERSION"), "" when used
  std::string value;       // the value that failed it
  std::vector<std::string> executables;
  std::string leftOut;          // a cut executable name the monitor leaves out
  bool inProfileFolder = true;  // the profile is in the program folder's "wyn"
};

struct ActivationCheck {
  std::string exe;                 // the executable the activation is for
  std::optional<CheckBox> endBox;  // a map error: the box the monitor ends on
  std::vector<Effect> settings;    // INI values written (customizer, event utility)
  bool eventUtilityStarts = false;
  std::vector<std::string> scriptLines;   // the command script, line by line
  std::vector<std::string> controlCalls;  // control-utility command lines, in order
  std::vector<std::string> debugLines;    // what the debug window would show
};

struct CopyCheck {
  std::string source, destination;  // resolved; destination "ERROR" when it cannot be
  bool sourceExists = false;
};

struct LineCheck {
  std::string line;
  CustomLineStatus status = CustomLineStatus::Parsed;
  std::vector<std::string> entry;  // fields in order, placeholders expanded
  bool decided = false;            // the entry reached its operation's turn
  bool runs = false;
  std::string outOfRange;       // a placeholder no table has
  std::vector<Effect> effects;  // what running it changed
};

struct SetupCheck {
  bool runs = false;  // COPY_FILES or CUSTOM is set
  std::string gameFolder;
  bool emptyGameFolder = false;
  std::string marker;
  bool markerExists = false, markerCurrent = false;
  std::vector<CopyCheck> copies;
  std::vector<Effect> copyEffects;  // the copies, the marker, folders made
  std::vector<LineCheck> lines;
  std::vector<Effect> endEffects;  // after the last line: the marker written
  std::vector<CheckBox> boxes;
  std::vector<std::string> debugLines;
  bool passed = false;
  std::string failure;  // the line or box that says the pass failed
};

struct CheckReport {
  std::string profile, programFolder;
  WatchCheck watch;
  ActivationCheck activation;
  SetupCheck setup;
  // What the author likely did not mean; empty when the profile works as written.
  std::vector<std::string> problems;
  std::vector<std::string> notes;
  int ExitStatus() const { return problems.empty() ? 0 : 1; }
};

CheckReport CheckProfile(SystemSeam real, const CheckOptions& options);

// The report for people, and as one JSON document.
std::string ReportText(const CheckReport& report);
std::string ReportJson(const CheckReport& report);

}  // namespace zeph

// The stand-in control utility (Zephcontrol.exe): checks one command and
// records what it programs in the controller's state file.
//
// The state file "zephcontrol.state" lies beside the program. It is an INI
// file with one section, always written whole, keys in this order:
//
//   [CONTROLLER]
//   Chording=off                  on | off                     --set-chording
//   NullRegion=0                  0..999                       --set-null-region
//   Sensitivity0=50 .. Sensitivity5=50    per axis, 0..999     --set-sensitivity
//   Gain0=50 .. Gain5=50                  per axis, 0..999     --set-gain
//   MasterSensitivity=50          0..999                       --set-master-sensitivity
//   MasterGain=50                 0..999                       --set-master-gain
//   Axis0=0 .. Axis5=5            per slot: the physical axis
//                                 (digit) that drives it       --set-axis DIGIT SLOT
//   Polarity0=+ .. Polarity5=+    per axis, + | -              --set-polarity
//   PrecisionMode=none            a lower-case word            --set-precision-button
//   PrecisionButton=0             0..15                        --set-precision-button
//   PrecisionSensitivity=50       0..999                       --set-precision-sensitivity
//   PrecisionGain=50              0..999                       --set-precision-gain
//   Curve0=default .. Curve5=default      per axis: "default",
//                                 or the uploaded file's path
//                                 as the command line gave it  --reset-sensitivity-curve,
//                                                              --upload-sensitivity-curve
//
// The values shown are the defaults; "--set-defaults" puts every key back
// to them, and a missing file (or a missing key) means them. Numbers are
// stored without leading zeros. Lines end in LF.
//
// Beside it, "zephcontrol.log" gets two lines per run:
//   start <pid> <command and arguments, blank-separated>
//   end <pid> <exit code>
// (an argument that is empty or holds a blank is written in double quotes).
//
// Exit codes: 0 done; 2 bad command line (state left as it was); 1 the
// state file could not be read or written.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zeph::standin {

constexpr const char* kStateFileName = "zephcontrol.state";
constexpr const char* kControlLogName = "zephcontrol.log";
constexpr const char* kStateSection = "CONTROLLER";

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadCommand = 2;

// Every key of the state with its value, in file order.
class ControllerState {
 public:
  static ControllerState Defaults();
  // The state an INI text holds; keys it lacks keep their defaults.
  static ControllerState FromIni(const std::string& text);
  std::string ToIni() const;

  // "" for a key the state does not have.
  std::string Get(const std::string& key) const;
  // False (and nothing changes) for a key the state does not have.
  bool Set(const std::string& key, const std::string& value);

  const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }
  bool operator==(const ControllerState& other) const { return fields_ == other.fields_; }
  bool operator!=(const ControllerState& other) const { return !(*this == other); }

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

// One key of the state and the value a command gives it.
struct Change {
  std::string key;
  std::string value;
  bool operator==(const Change& other) const { return key == other.key && value == other.value; }
};

// Whether a curve file named on the command line exists (the path as given).
using FileCheck = std::function<bool(const std::string& path)>;

// Checks a command line (the arguments after the program name). On success
// fills *changes with what it sets, in state order; otherwise fills *error
// with a one-line message ("Zephcontrol: ...") and leaves *changes empty.
bool ParseCommand(const std::vector<std::string>& args, const FileCheck& fileExists,
                  std::vector<Change>* changes, std::string* error);

// The arguments as one line for the log.
std::string JoinArguments(const std::vector<std::string>& args);

// One whole run: logs, checks, reads the state beside the program, applies
// and writes it back. Returns the exit code. Messages go to standard error.
int RunControlUtility(const std::vector<std::string>& args);

}  // namespace zeph::standin

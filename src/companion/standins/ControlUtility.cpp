#include "companion/standins/ControlUtility.h"

#include "companion/standins/StandinHost.h"
#include "system/IniText.h"

namespace zeph::standin {
namespace {

constexpr int kAxes = 6;
constexpr const char* kProgram = "Zephcontrol: ";
constexpr const char* kDefaultCurve = "default";

// What one argument of a command must look like.
enum class Kind { Axis, Digit, Slot, Number, OnOff, Polarity, Mode, Button, CurvePath };

struct KindRule {
  const char* label;     // as the usage names it
  const char* expected;  // as an error message describes it
  int max;               // for numbers; -1 for words
};

KindRule RuleOf(Kind kind) {
  switch (kind) {
    case Kind::Axis: return {"AXIS", "0..5", kAxes - 1};
    case Kind::Digit: return {"DIGIT", "0..5", kAxes - 1};
    case Kind::Slot: return {"SLOT", "0..5", kAxes - 1};
    case Kind::Number: return {"N", "a whole number 0..999", 999};
    case Kind::OnOff: return {"on|off", "on or off", -1};
    case Kind::Polarity: return {"+|-", "+ or -", -1};
    case Kind::Mode: return {"MODE", "a lower-case word", -1};
    case Kind::Button: return {"BUTTON", "0..15", 15};
    case Kind::CurvePath: return {"PATH", "an existing file", -1};
  }
  return {"?", "?", -1};
}

// A whole number in decimal, digits only, at most max. Returns it without
// leading zeros, or "" when the text is not one.
std::string CheckNumber(const std::string& text, int max) {
  if (text.empty()) return {};
  for (char c : text) {
    if (c < '0' || c > '9') return {};
  }
  size_t first = text.find_first_not_of('0');
  std::string digits = first == std::string::npos ? "0" : text.substr(first);
  if (digits.size() > 9 || std::stol(digits) > max) return {};
  return digits;
}

bool IsLowerWord(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

// The value an argument stands for, or "" with *error filled.
std::string CheckArgument(const std::string& command, Kind kind, const std::string& text,
                          const FileCheck& fileExists, std::string* error) {
  const KindRule rule = RuleOf(kind);
  std::string value;
  switch (kind) {
    case Kind::OnOff: value = (text == "on" || text == "off") ? text : ""; break;
    case Kind::Polarity: value = (text == "+" || text == "-") ? text : ""; break;
    case Kind::Mode: value = IsLowerWord(text) ? text : ""; break;
    case Kind::CurvePath:
      if (text.empty() || !fileExists(text)) {
        *error = kProgram + command + ": curve file \"" + text + "\" not found";
        return {};
      }
      return text;
    default: value = CheckNumber(text, rule.max); break;
  }
  if (value.empty()) {
    const bool named = rule.label[0] >= 'A' && rule.label[0] <= 'Z';
    *error = kProgram + command + ": bad " + (named ? rule.label : "value") + " \"" + text +
             "\" (expected " + rule.expected + ")";
  }
  return value;
}

using Values = std::vector<std::string>;

struct CommandForm {
  const char* word;
  std::vector<Kind> kinds;
  // The changes, from the checked values of the arguments.
  std::vector<Change> (*changes)(const Values& v);
};

std::vector<Change> AllDefaults(const Values&) {
  const ControllerState defaults = ControllerState::Defaults();
  std::vector<Change> out;
  for (const auto& field : defaults.Fields()) out.push_back({field.first, field.second});
  return out;
}

const std::vector<CommandForm>& Forms() {
  static const std::vector<CommandForm> forms = {
      {"--set-defaults", {}, AllDefaults},
      {"--reset-sensitivity-curve",
       {Kind::Axis},
       [](const Values& v) {
         return std::vector<Change>{{"Curve" + v[0], kDefaultCurve}};
       }},
      {"--upload-sensitivity-curve",
       {Kind::Axis, Kind::CurvePath},
       [](const Values& v) {
         return std::vector<Change>{{"Curve" + v[0], v[1]}};
       }},
      {"--set-chording",
       {Kind::OnOff},
       [](const Values& v) {
         return std::vector<Change>{{"Chording", v[0]}};
       }},
      {"--set-null-region",
       {Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"NullRegion", v[0]}};
       }},
      {"--set-sensitivity",
       {Kind::Axis, Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"Sensitivity" + v[0], v[1]}};
       }},
      {"--set-gain",
       {Kind::Axis, Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"Gain" + v[0], v[1]}};
       }},
      {"--set-master-sensitivity",
       {Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"MasterSensitivity", v[0]}};
       }},
      {"--set-master-gain",
       {Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"MasterGain", v[0]}};
       }},
      // Physical axis DIGIT drives slot SLOT: the state is kept per slot.
      {"--set-axis",
       {Kind::Digit, Kind::Slot},
       [](const Values& v) {
         return std::vector<Change>{{"Axis" + v[1], v[0]}};
       }},
      {"--set-polarity",
       {Kind::Axis, Kind::Polarity},
       [](const Values& v) {
         return std::vector<Change>{{"Polarity" + v[0], v[1]}};
       }},
      {"--set-precision-button",
       {Kind::Mode, Kind::Button},
       [](const Values& v) {
         return std::vector<Change>{{"PrecisionMode", v[0]}, {"PrecisionButton", v[1]}};
       }},
      {"--set-precision-sensitivity",
       {Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"PrecisionSensitivity", v[0]}};
       }},
      {"--set-precision-gain",
       {Kind::Number},
       [](const Values& v) {
         return std::vector<Change>{{"PrecisionGain", v[0]}};
       }},
  };
  return forms;
}

std::string CountText(size_t n) {
  if (n == 0) return "no arguments";
  return std::to_string(n) + (n == 1 ? " argument" : " arguments");
}

std::string Usage(const CommandForm& form) {
  std::string out;
  for (Kind kind : form.kinds) out += (out.empty() ? "" : " ") + std::string(RuleOf(kind).label);
  return out;
}

int Execute(const std::vector<std::string>& args) {
  std::vector<Change> changes;
  std::string error;
  if (!ParseCommand(args, CommandLineFileExists, &changes, &error)) {
    PrintError(error);
    return kExitBadCommand;
  }
  const std::string path = FileBesideProgram(kStateFileName);
  std::string text;
  ControllerState state = ControllerState::Defaults();
  switch (ReadWholeFile(path, &text)) {
    case ReadStatus::Okay: state = ControllerState::FromIni(text); break;
    case ReadStatus::NotFound: break;
    case ReadStatus::OtherError:
      PrintError(kProgram + std::string("cannot read the state file \"") + path + "\"");
      return kExitFailed;
  }
  for (const Change& change : changes) state.Set(change.key, change.value);
  if (!WriteFileAtomic(path, state.ToIni())) {
    PrintError(kProgram + std::string("cannot write the state file \"") + path + "\"");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

ControllerState ControllerState::Defaults() {
  ControllerState s;
  auto add = [&s](const std::string& key, const std::string& value) {
    s.fields_.emplace_back(key, value);
  };
  auto perAxis = [&add](const std::string& key, const std::string& value) {
    for (int i = 0; i < kAxes; ++i) add(key + std::to_string(i), value);
  };
  add("Chording", "off");
  add("NullRegion", "0");
  perAxis("Sensitivity", "50");
  perAxis("Gain", "50");
  add("MasterSensitivity", "50");
  add("MasterGain", "50");
  for (int i = 0; i < kAxes; ++i) add("Axis" + std::to_string(i), std::to_string(i));
  perAxis("Polarity", "+");
  add("PrecisionMode", "none");
  add("PrecisionButton", "0");
  add("PrecisionSensitivity", "50");
  add("PrecisionGain", "50");
  perAxis("Curve", kDefaultCurve);
  return s;
}

ControllerState ControllerState::FromIni(const std::string& text) {
  ControllerState s = Defaults();
  for (auto& field : s.fields_)
    field.second = ini::GetString(text, kStateSection, field.first, field.second, 4096);
  return s;
}

std::string ControllerState::ToIni() const {
  std::string out = "[" + std::string(kStateSection) + "]\n";
  for (const auto& field : fields_) out += field.first + "=" + field.second + "\n";
  return out;
}

std::string ControllerState::Get(const std::string& key) const {
  for (const auto& field : fields_) {
    if (field.first == key) return field.second;
  }
  return {};
}

bool ControllerState::Set(const std::string& key, const std::string& value) {
  for (auto& field : fields_) {
    if (field.first == key) {
      field.second = value;
      return true;
    }
  }
  return false;
}

bool ParseCommand(const std::vector<std::string>& args, const FileCheck& fileExists,
                  std::vector<Change>* changes, std::string* error) {
  changes->clear();
  if (args.empty()) {
    *error = kProgram + std::string("no command given");
    return false;
  }
  const std::string& word = args[0];
  for (const CommandForm& form : Forms()) {
    if (word != form.word) continue;
    const size_t given = args.size() - 1;
    if (given != form.kinds.size()) {
      *error = kProgram + word + " takes " + CountText(form.kinds.size()) +
               (form.kinds.empty() ? "" : " (" + Usage(form) + ")") + ", got " +
               std::to_string(given);
      return false;
    }
    Values values;
    for (size_t i = 0; i < form.kinds.size(); ++i) {
      values.push_back(CheckArgument(word, form.kinds[i], args[i + 1], fileExists, error));
      if (values.back().empty()) return false;
    }
    *changes = form.changes(values);
    return true;
  }
  *error = kProgram + std::string("unknown command \"") + word + "\"";
  return false;
}

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string out;
  for (const std::string& arg : args) {
    if (!out.empty()) out += ' ';
    const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    out += quote ? "\"" + arg + "\"" : arg;
  }
  return out;
}

int RunControlUtility(const std::vector<std::string>& args) {
  const std::string log = FileBesideProgram(kControlLogName);
  const std::string pid = std::to_string(CurrentProcessId());
  AppendToFile(log, "start " + pid + (args.empty() ? "" : " " + JoinArguments(args)) + "\n");
  const int code = Execute(args);
  AppendToFile(log, "end " + pid + " " + std::to_string(code) + "\n");
  return code;
}

}  // namespace zeph::standin

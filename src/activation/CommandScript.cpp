#include "activation/CommandScript.h"

#include "system/ProcessHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

std::string InvertPolarity(const std::string& p) {
  if (p == "+") return "-";
  if (p == "-") return "+";
  return p;
}

// The polarity-map index a digit names, or -1 when it names none.
int AxisIndex(const std::string& digit) {
  return digit.size() == 1 && digit[0] >= '0' && digit[0] <= '5' ? digit[0] - '0' : -1;
}

}  // namespace

std::vector<std::string> BuildCommandScript(const ProfileSettings& s,
                                            const std::string& programFolder,
                                            std::vector<std::string>* refused) {
  std::vector<std::string> lines;
  // line must split into exactly these arguments, as the control utility's
  // C runtime splits it.
  auto add = [&](const std::string& line, const std::vector<std::string>& arguments) {
    if (SplitArguments(line) == arguments) {
      lines.push_back(line);
    } else if (refused) {
      refused->push_back(line);
    }
  };
  auto add1 = [&](const std::string& word, const std::string& value) {
    add(word + " " + value, {word, value});
  };
  auto add2 = [&](const std::string& word, const std::string& first, const std::string& second) {
    add(word + " " + first + " " + second, {word, first, second});
  };

  for (int i = 0; i < 6; ++i) add1("--reset-sensitivity-curve", std::to_string(i));
  for (int i = 0; i < 6; ++i) {
    std::string f = s.curves[i];
    if (f.empty()) continue;
    if (f.compare(0, 2, ".\\") == 0) f = programFolder + f.substr(1);
    std::string axis = std::to_string(i);
    add("--upload-sensitivity-curve " + axis + " \"" + f + "\"",
        {"--upload-sensitivity-curve", axis, f});
  }
  add1("--set-chording", s.chording ? "on" : "off");
  add1("--set-null-region", s.nullRegion);
  if (!s.master) {
    for (int i = 0; i < 6; ++i) add2("--set-sensitivity", std::to_string(i), s.sensitivityMap[i]);
    for (int i = 0; i < 6; ++i) add2("--set-gain", std::to_string(i), s.gainMap[i]);
  } else {
    add1("--set-master-sensitivity", s.sensitivityMap[6]);
    add1("--set-master-gain", s.gainMap[6]);
  }
  if (!s.horizontal) {
    for (int k = 0; k < 6; ++k) add2("--set-axis", s.axisMap[k], std::to_string(k));
    for (int k = 0; k < 6; ++k) add2("--set-polarity", std::to_string(k), s.polarityMap[k]);
  } else {
    // Held sideways: slots 1/2 and 4/5 change places and the axes named at
    // positions 2 and 5 turn round. A digit that names no axis (6 to 9) has
    // no polarity to turn: its polarity line is left out, its axis line kept.
    static const int kSlot[6] = {0, 2, 1, 3, 5, 4};
    for (int k = 0; k < 6; ++k) {
      int axis = AxisIndex(s.axisMap[k]);
      if (axis < 0) continue;
      std::string q = s.polarityMap[axis];
      if (k == 2 || k == 5) q = InvertPolarity(q);
      add2("--set-polarity", s.axisMap[k], q);
    }
    for (int k = 0; k < 6; ++k) add2("--set-axis", s.axisMap[k], std::to_string(kSlot[k]));
  }
  if (s.precision) {
    add2("--set-precision-button", ToLower(s.precisionMode), s.precisionButton);
    add1("--set-precision-sensitivity", s.precisionSensitivity);
    add1("--set-precision-gain", s.precisionGain);
  }
  return lines;
}

std::string ScriptText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> ScriptLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    std::string line = text.substr(start, nl == std::string::npos ? nl : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

}  // namespace zeph

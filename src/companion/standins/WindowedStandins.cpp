#include "companion/standins/WindowedStandins.h"

#include "companion/Companions.h"
#include "companion/standins/StandinHost.h"
#include "system/IniText.h"

namespace zeph::standin {
namespace {

constexpr size_t kValueBuffer = 4096;

std::string ReadBeside(const std::string& name) {
  std::string text;
  if (ReadWholeFile(FileBesideProgram(name), &text) != ReadStatus::Okay) text.clear();
  return text;
}

}  // namespace

std::vector<std::string> EventReportLines(const std::string& iniText) {
  std::vector<std::string> lines;
  auto report = [&](const std::string& section, const std::string& key) {
    lines.push_back(section + " " + key + "=" +
                    ini::GetString(iniText, section, key, "", kValueBuffer));
  };
  for (int n = 0; n < 6; ++n) report("DEADZONE", "DEADZONE_" + std::to_string(n));
  for (int n = 0; n < 6; ++n) {
    report("MOTIONS", "MOTION_" + std::to_string(n) + "_POS");
    report("MOTIONS", "MOTION_" + std::to_string(n) + "_NEG");
  }
  for (int n = 0; n < 16; ++n) report("BUTTONS", "BUTTON_" + std::to_string(n));
  return lines;
}

std::string CustomizerText(const std::string& iniText) {
  std::string current = ini::GetString(iniText, "Games", "Current", "", kValueBuffer);
  return "Current profile: " + (current.empty() ? std::string("(none)") : current);
}

int RunEventUtility() {
  if (!WaitUntilNoEarlierCopy(kEventWindowTitle, kEarlierCopyWaitMs))
    PrintError("ZephEvent: an earlier copy is still running; going on");
  const std::string log = FileBesideProgram(kEventLogName);
  const std::string started = "started " + std::to_string(CurrentProcessId());
  const std::vector<std::string> lines = EventReportLines(ReadBeside(kEventSettingsFile));

  auto ready = [&] {
    std::string text = started + "\n";
    for (const std::string& line : lines) text += line + "\n";
    if (!WriteFileAtomic(log, text)) PrintError("ZephEvent: cannot write \"" + log + "\"");
    PrintLine(started);
    for (const std::string& line : lines) PrintLine(line);
  };
  auto closing = [&] {
    // A later copy that did not wait for us owns the log by now.
    std::string now;
    if (ReadWholeFile(log, &now) == ReadStatus::Okay && now.rfind(started + "\n", 0) == 0)
      AppendToFile(log, "closed\n");
    PrintLine("closed");
  };
  return RunWindowUntilClosed({kEventWindowTitle, "", false}, ready, closing);
}

int RunCustomizer() {
  const std::string text = CustomizerText(ReadBeside(kCustomizerSettingsFile));
  return RunWindowUntilClosed(
      {kCustomizerTitle, text, true}, [&] { PrintLine(text); }, [] {});
}

int RunWebUpdate() {
  const std::string text = kWebUpdateText;
  return RunWindowUntilClosed(
      {kWebUpdateTitle, text, true}, [&] { PrintLine(text); }, [] {});
}

}  // namespace zeph::standin

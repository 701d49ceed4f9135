// The event utility's settings file "zephevent.ini", written anew at
// every activation (all its keys at once), and the start of the event
// utility when the game needs mouse or key emulation.
#include "activation/ProfileFormat.h"
#include "companion/Companions.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"

namespace zeph {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

void MainForm::WriteEventSettings() {
  const std::string folder = sys_.program.Folder();
  const std::string file = folder + "\\" + kEventSettingsFile;
  CloseZephEvent();
  // Gathered and written at once: the file is replaced once, not per key.
  std::vector<IniEntry> settings;

  for (int n = 0; n < 6; ++n) {
    std::string i = std::to_string(n);
    profile.deadZones[n] = ReadGameIni("ZEPHEVENT", "DEADZONE_" + i + "_USER");
    settings.push_back({"DEADZONE", "DEADZONE_" + i, profile.deadZones[n]});
  }

  for (int n = 0; n < 6; ++n) {
    std::string i = std::to_string(n);
    for (bool positive : {true, false}) {
      ItemTriple& entry = positive ? profile.motionPositive[n] : profile.motionNegative[n];
      std::string key = "MOTION_ALIAS_" + i + (positive ? "_POS_USER" : "_NEG_USER");
      // A value that cannot be split leaves the entry empty.
      if (!ParseItemList(3, ReadGameIni("TUNING", key), &entry.first, &entry.second, &entry.third))
        entry = ItemTriple{};
    }
    settings.push_back(
        {"MOTIONS", "MOTION_" + i + "_POS", Quoted(profile.motionPositive[n].third)});
    settings.push_back(
        {"MOTIONS", "MOTION_" + i + "_NEG", Quoted(profile.motionNegative[n].third)});
  }

  // The mouse axes come after the aliases, so they replace them; Y last.
  for (const char* axis : {"X", "Y"}) {
    std::string value = ReadGameIni("TUNING", std::string("MOTION_ALIAS_") + axis);
    double number = -1;
    // Text that is no number counts as out of range: no mouse axis.
    if (!ParseNumber(value, &number) || number < 0 || number > 5) continue;
    startEvent_ = true;
    settings.push_back({"MOTIONS", "MOTION_" + value + "_POS", Quoted(axis)});
    settings.push_back({"MOTIONS", "MOTION_" + value + "_NEG", Quoted(axis)});
  }

  for (int n = 0; n < 16; ++n)
    settings.push_back(
        {"BUTTONS", "BUTTON_" + std::to_string(n), Quoted(profile.buttonTable[n].third)});
  sys_.ini.WriteStrings(file, settings, nullptr);

  if (startEvent_) RunAndWait(CompanionCommand(folder, kEventUtility), true);
}

}  // namespace zeph

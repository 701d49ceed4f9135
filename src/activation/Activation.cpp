// Activation of a game found by the watch loop: the profile is read into the
// profile settings, the customizer is told, the event utility is set up and
// the controller programmed.
#include "activation/ProfileFormat.h"
#include "companion/Companions.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

std::string Key(const char* prefix, int n, const char* suffix) {
  return prefix + std::to_string(n) + suffix;
}

}  // namespace

void MainForm::WYNActivate() {
  if (state.DebugMode) {
    debugList.Add("Started watching: " + ToLower(state.GameExe) + " at " + sys_.loop.TimeOfDay());
    debugList.Add("Path: " + ToLower(state.GameFolder));
    debugList.Add("Process ID: " + state.GameProcessId);
    debugList.SelectLast();
  }
  SetIcon(IconMessage::Modify, iconImage_, kTipWatching + state.ActiveAppName);

  WriteIni(sys_.ini, sys_.program.Folder() + "\\" + kCustomizerSettingsFile, "Games", "Current",
           GetFileOnly(state.ActiveProfile));

  startEvent_ = false;
  ReadProfileSettings();
  if (!ReadProfileMaps()) Form_Unload();
  for (int n = 0; n < 6; ++n) profile.curves[n] = ReadGameIni("THALIX", Key("CURVE_", n, "_USER"));

  WriteEventSettings();
  RunCommandScript();
}

void MainForm::ReadProfileSettings() {
  ProfileSettings& p = profile;
  p.revision = ReadGameIni("VERSION", "FILE_REVISION_NUMBER");
  p.level = ReadGameIni("IDENTIFICATION", "LEVEL");
  p.levelCode = LevelCode(p.level);
  p.orientation = ReadGameIni("IDENTIFICATION", "ORIENTATION");
  p.copyFiles = ReadGameIni("CONFIGURATION", "COPY_FILES");
  p.custom = ReadGameIni("CONFIGURATION", "CUSTOM");
  p.master = ReadGameIni("CONFIGURATION", "USE_MASTER_USER");
  p.chording = ReadGameIni("CONFIGURATION", "USE_CHORDING_USER");
  p.keys = ReadGameIni("CONFIGURATION", "USE_KEYS");
  if (IsTrue(p.keys)) startEvent_ = true;

  p.buttons = ReadGameIni("TUNING", "USE_BUTTONS");
  if (EqualsNoCase(p.buttons, "TRUE")) {
    for (int n = 0; n < 16; ++n) {
      ItemTriple& entry = p.buttonTable[n];
      // A value that cannot be split leaves the entry empty.
      if (!ParseItemList(3, ReadGameIni("TUNING", Key("BUTTON_", n, "_USER")), &entry.first,
                         &entry.second, &entry.third))
        entry = ItemTriple{};
    }
  }

  p.precision = ReadGameIni("TUNING", "USE_PRECISION_USER");
  if (EqualsNoCase(p.precision, "TRUE")) {
    p.precisionSensitivity = ReadGameIni("TUNING", "PRECISION_SENS_USER");
    p.precisionGain = ReadGameIni("TUNING", "PRECISION_GAIN_USER");
    p.precisionMode = ReadGameIni("TUNING", "PRECISION_MODE_USER");
    p.precisionButton = ReadGameIni("TUNING", "PRECISION_BUTTON_USER");
  }
  p.nullRegion = ReadGameIni("TUNING", "NULL_REGION_USER");
}

bool MainForm::ReadProfileMaps() {
  auto fail = [&](const std::string& text) {
    desktop_.ShowBox(text, kProgramTitle, BoxButtons::Ok, BoxIcon::Critical);
    return false;
  };
  // Fields sit at fixed places: the first at the third character, then
  // every second character (every fifth for the gains).
  std::string axis = ReadGameIni("THALIX", "AXIS_MAP_USER");
  if (axis.size() != 15) return fail("Axis Map Error" + std::to_string(axis.size()));
  for (int k = 0; k < 6; ++k) {
    char c = axis[2 + 2 * k];
    profile.axisMap[k] = (c >= '0' && c <= '9') ? std::string(1, c) : "ERROR";
  }

  std::string polarity = ReadGameIni("THALIX", "POLARITY_USER");
  if (polarity.size() != 15) return fail("Polarity Map Error");
  for (int k = 0; k < 6; ++k) profile.polarityMap[k] = polarity.substr(2 + 2 * k, 1);

  std::string gain = ReadGameIni("THALIX", "GAIN_" + profile.levelCode + "_USER");
  if (gain.size() != 37) return fail("Gain Map Error");
  for (int k = 0; k < 7; ++k) profile.gainMap[k] = GainFieldText(gain.substr(2 + 5 * k, 3));

  std::string sensitivity = ReadGameIni("THALIX", "SENS_" + profile.levelCode + "_USER");
  if (sensitivity.size() != 17) return fail("Sensitivity Map Error");
  for (int k = 0; k < 7; ++k) profile.sensitivityMap[k] = sensitivity.substr(2 + 2 * k, 1);
  return true;
}

}  // namespace zeph

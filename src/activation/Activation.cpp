// Activation of a game found by the watch loop: the profile is read into the
// profile settings, the customizer is told, the event utility is set up and
// the controller programmed.
#include "activation/Activation.h"

#include "activation/CommandScript.h"
#include "activation/ProfileFormat.h"
#include "companion/Companions.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

std::string Key(const char* prefix, int n, const char* suffix) {
  return prefix + std::to_string(n) + suffix;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

bool Activation::ActivateProfile(const std::string& profilePath, const std::string& exeName,
                                 const std::string& gameFolder, uint32_t processId, MaybeStop* stop,
                                 const WineRun& wine) {
  SystemError err;
  ReadResult read = ReadResult::Ok;
  gameProfile_ = ini_.Open(profilePath, &read, &err);
  if (!gameProfile_) {
    debugList_.Add("Error reading profile " + profilePath + " for " + exeName + ": " +
                   DescribeRead(read, err));
    return false;
  }
  game_.profile = profilePath;
  game_.appName = ReadGameIni("IDENTIFICATION", "APPLICATION_NAME");
  game_.exe = exeName;
  game_.folder = gameFolder;
  game_.processId = processId;
  game_.wine = wine;
  *stop = WYNActivate();
  gameProfile_.reset();
  return true;
}

std::string Activation::ReadGameIni(const std::string& section, const std::string& key) {
  // During an activation the profile is read from disk once, not per key.
  if (gameProfile_) return gameProfile_->Read(section, key, kIniMissing, kIniBufferSize);
  return ReadIni(ini_, game_.profile, section, key);
}

MaybeStop Activation::WYNActivate() {
  if (debugList_.DebugMode()) {
    debugList_.Add("Started watching: " + ToLower(game_.exe) + " at " + loop_.TimeOfDay());
    debugList_.Add("Path: " + ToLower(game_.folder));
    debugList_.Add("Process ID: " + std::to_string(game_.processId));
    debugList_.SelectLast();
  }
  status_.WatchStarted(game_);

  WriteIni(ini_, program_.Folder() + "\\" + kCustomizerSettingsFile, "Games", "Current",
           GetFileOnly(game_.profile));

  startEvent_ = false;
  ReadProfileSettings();
  if (MaybeStop stop = ReadProfileMaps()) return stop;
  for (int n = 0; n < 6; ++n) profile_.curves[n] = ReadGameIni("THALIX", Key("CURVE_", n, "_USER"));

  WriteEventSettings();
  RunCommandScript();
  return std::nullopt;
}

void Activation::ReadProfileSettings() {
  ProfileSettings& p = profile_;
  p.revision = ReadGameIni("VERSION", "FILE_REVISION_NUMBER");
  p.levelCode = LevelCode(ReadGameIni("IDENTIFICATION", "LEVEL"));
  p.horizontal = EqualsNoCase(ReadGameIni("IDENTIFICATION", "ORIENTATION"), "HORIZONTAL");
  p.copyFiles = ProfileFlag::Of(ReadGameIni("CONFIGURATION", "COPY_FILES"));
  p.custom = ProfileFlag::Of(ReadGameIni("CONFIGURATION", "CUSTOM"));
  p.master = IsTRUE(ReadGameIni("CONFIGURATION", "USE_MASTER_USER"));
  p.chording = IsTRUE(ReadGameIni("CONFIGURATION", "USE_CHORDING_USER"));
  p.keys = IsTrue(ReadGameIni("CONFIGURATION", "USE_KEYS"));
  if (p.keys) startEvent_ = true;

  p.buttons = IsTRUE(ReadGameIni("TUNING", "USE_BUTTONS"));
  if (p.buttons) {
    for (int n = 0; n < 16; ++n) {
      ItemTriple& entry = p.buttonTable[n];
      // A value that cannot be split leaves the entry empty.
      if (!ParseItemList(3, ReadGameIni("TUNING", Key("BUTTON_", n, "_USER")), &entry.first,
                         &entry.second, &entry.third))
        entry = ItemTriple{};
    }
  }

  p.precision = IsTRUE(ReadGameIni("TUNING", "USE_PRECISION_USER"));
  if (p.precision) {
    p.precisionSensitivity = ReadGameIni("TUNING", "PRECISION_SENS_USER");
    p.precisionGain = ReadGameIni("TUNING", "PRECISION_GAIN_USER");
    p.precisionMode = ReadGameIni("TUNING", "PRECISION_MODE_USER");
    p.precisionButton = ReadGameIni("TUNING", "PRECISION_BUTTON_USER");
  }
  p.nullRegion = ReadGameIni("TUNING", "NULL_REGION_USER");
}

MaybeStop Activation::ReadProfileMaps() {
  // The box is the program's last word: it ends through the closing sequence.
  auto fail = [&](const std::string& text) {
    return Stop::WithBox(Stop::Way::Closing, text, kProgramTitle);
  };
  // Fields sit at fixed places: the first at the third character, then
  // every second character (every fifth for the gains).
  std::string axis = ReadGameIni("THALIX", "AXIS_MAP_USER");
  if (axis.size() != 15) return fail("Axis Map Error" + std::to_string(axis.size()));
  for (int k = 0; k < 6; ++k) {
    char c = axis[2 + 2 * k];
    profile_.axisMap[k] = (c >= '0' && c <= '9') ? std::string(1, c) : "ERROR";
  }

  std::string polarity = ReadGameIni("THALIX", "POLARITY_USER");
  if (polarity.size() != 15) return fail("Polarity Map Error");
  for (int k = 0; k < 6; ++k) profile_.polarityMap[k] = polarity.substr(2 + 2 * k, 1);

  std::string gain = ReadGameIni("THALIX", "GAIN_" + profile_.levelCode + "_USER");
  if (gain.size() != 37) return fail("Gain Map Error");
  for (int k = 0; k < 7; ++k) profile_.gainMap[k] = GainFieldText(gain.substr(2 + 5 * k, 3));

  std::string sensitivity = ReadGameIni("THALIX", "SENS_" + profile_.levelCode + "_USER");
  if (sensitivity.size() != 17) return fail("Sensitivity Map Error");
  for (int k = 0; k < 7; ++k) profile_.sensitivityMap[k] = sensitivity.substr(2 + 2 * k, 1);
  return std::nullopt;
}

void Activation::WriteEventSettings() {
  const std::string folder = program_.Folder();
  const std::string file = folder + "\\" + kEventSettingsFile;
  companions_.CloseZephEvent();
  // Gathered and written at once: the file is replaced once, not per key.
  std::vector<IniEntry> settings;

  for (int n = 0; n < 6; ++n) {
    std::string i = std::to_string(n);
    profile_.deadZones[n] = ReadGameIni("ZEPHEVENT", "DEADZONE_" + i + "_USER");
    settings.push_back({"DEADZONE", "DEADZONE_" + i, profile_.deadZones[n]});
  }

  for (int n = 0; n < 6; ++n) {
    std::string i = std::to_string(n);
    for (bool positive : {true, false}) {
      ItemTriple& entry = positive ? profile_.motionPositive[n] : profile_.motionNegative[n];
      std::string key = "MOTION_ALIAS_" + i + (positive ? "_POS_USER" : "_NEG_USER");
      // A value that cannot be split leaves the entry empty.
      if (!ParseItemList(3, ReadGameIni("TUNING", key), &entry.first, &entry.second, &entry.third))
        entry = ItemTriple{};
    }
    settings.push_back(
        {"MOTIONS", "MOTION_" + i + "_POS", Quoted(profile_.motionPositive[n].third)});
    settings.push_back(
        {"MOTIONS", "MOTION_" + i + "_NEG", Quoted(profile_.motionNegative[n].third)});
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
        {"BUTTONS", "BUTTON_" + std::to_string(n), Quoted(profile_.buttonTable[n].third)});
  ini_.WriteStrings(file, settings, nullptr);

  if (startEvent_) companions_.StartZephEvent();
}

void Activation::RunCommandScript() {
  const std::string folder = program_.Folder();
  const std::string script = folder + "\\" + kCommandScriptFile;
  // Once the monitor has been suspended (even if resumed since), this
  // activation sends nothing more: the suspend has reset the controller.
  const uint64_t epoch = modes_.Suspends();
  auto keepGoing = [this, epoch] {
    return modes_.Suspends() == epoch && modes_.Current() == Mode::Active;
  };

  std::vector<std::string> refused;
  std::vector<std::string> lines = BuildCommandScript(profile_, folder, &refused);
  for (const std::string& line : refused)
    debugList_.Add("Command not sent, a value would change its arguments: " + line);

  // The last game's script goes first, so that it can neither be run nor be
  // taken for this game's when the new one cannot be written.
  SystemError err;
  bool written = !files_.IsFile(script) || files_.Remove(script, &err);
  written = written && files_.WriteTextUnsynced(script, ScriptText(lines), &err);
  if (!written) debugList_.Add("Error writing command script " + script + ": " + err.Describe());

  companions_.RunControlCommands(CompanionControl::ResetCommands(), keepGoing);
  loop_.ProcessPendingMessages();
  if (!written) return;

  std::string text;
  ReadResult read = files_.ReadText(script, &text, &err);
  if (read != ReadResult::Ok) {
    debugList_.Add("Error reading command script " + script + ": " + DescribeRead(read, err));
    return;
  }
  companions_.RunControlCommands(ScriptLines(text), keepGoing);
}

}  // namespace zeph

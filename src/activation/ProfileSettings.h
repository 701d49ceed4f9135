// The profile settings an activation reads from the game profile, parsed
// once as they are read. They stay between activations: each activation
// overwrites the fields it reads.
#pragma once

#include <array>
#include <string>

#include "activation/ProfileFormat.h"

namespace zeph {

// A TRUE/FALSE key that is read both ways: whether the end-of-game pass runs
// at all takes the wide truth test, whether its block runs only "TRUE".
struct ProfileFlag {
  bool isTRUE = false;  // "TRUE", any case
  bool isTrue = false;  // IsTrue: "TRUE" or a non-zero number
  static ProfileFlag Of(const std::string& text) { return {IsTRUE(text), IsTrue(text)}; }
};

struct ProfileSettings {
  std::string revision;     // VERSION / FILE_REVISION_NUMBER, as written
  std::string levelCode;    // IDENTIFICATION / LEVEL as "BEG", "INT" or "EXP"
  bool horizontal = false;  // IDENTIFICATION / ORIENTATION is "HORIZONTAL"
  ProfileFlag copyFiles;    // CONFIGURATION / COPY_FILES
  ProfileFlag custom;       // CONFIGURATION / CUSTOM
  bool master = false;      // CONFIGURATION / USE_MASTER_USER is "TRUE"
  bool chording = false;    // CONFIGURATION / USE_CHORDING_USER is "TRUE"
  bool keys = false;        // CONFIGURATION / USE_KEYS, by IsTrue
  bool buttons = false;     // TUNING / USE_BUTTONS is "TRUE"
  // Filled only by profiles with buttons on; kept from the last such one.
  std::array<ItemTriple, 16> buttonTable;
  bool precision = false;  // TUNING / USE_PRECISION_USER is "TRUE"
  std::string precisionSensitivity, precisionGain, precisionMode, precisionButton;
  std::string nullRegion;
  // Axis map: the digit of each slot as text ("0".."9"; "ERROR" for a
  // character that is no digit).
  std::array<std::string, 6> axisMap;
  std::array<std::string, 6> polarityMap;
  std::array<std::string, 7> gainMap;         // index 6: master
  std::array<std::string, 7> sensitivityMap;  // index 6: master
  std::array<std::string, 6> curves;
  std::array<std::string, 6> deadZones;
  std::array<ItemTriple, 6> motionPositive;
  std::array<ItemTriple, 6> motionNegative;
};

}  // namespace zeph

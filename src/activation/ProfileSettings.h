// The profile settings an activation reads from the game profile. They stay
// between activations: each activation overwrites the fields it reads.
#pragma once

#include <array>
#include <string>

#include "activation/ProfileFormat.h"

namespace zeph {

struct ProfileSettings {
  std::string revision;     // VERSION / FILE_REVISION_NUMBER
  std::string level;        // IDENTIFICATION / LEVEL
  std::string levelCode;    // "BEG", "INT" or "EXP"
  std::string orientation;  // IDENTIFICATION / ORIENTATION
  std::string copyFiles;    // CONFIGURATION / COPY_FILES
  std::string custom;       // CONFIGURATION / CUSTOM
  std::string master;       // CONFIGURATION / USE_MASTER_USER
  std::string chording;     // CONFIGURATION / USE_CHORDING_USER
  std::string keys;         // CONFIGURATION / USE_KEYS
  std::string buttons;      // TUNING / USE_BUTTONS
  // Filled only by profiles with buttons on; kept from the last such one.
  std::array<ItemTriple, 16> buttonTable;
  std::string precision;  // TUNING / USE_PRECISION_USER
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

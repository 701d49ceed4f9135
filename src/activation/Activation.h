// The activation of a game the watch loop has found: its profile is read
// into the profile settings, the customizer is told, the event utility is
// set up, and the controller is programmed through the command script.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "activation/CompanionControl.h"
#include "activation/Game.h"
#include "activation/ProfileSettings.h"
#include "companion/ModeChannel.h"
#include "system/DebugList.h"
#include "system/EventLoop.h"
#include "system/Files.h"
#include "system/IniFiles.h"
#include "system/Program.h"
#include "system/Stop.h"

namespace zeph {

class Activation {
 public:
  Activation(Program& program, Files& files, IniFiles& ini, EventLoop& loop, DebugList& debugList,
             CompanionControl& companions, const ModeChannel& modes, WatchStatus& status)
      : program_(program),
        files_(files),
        ini_(ini),
        loop_(loop),
        debugList_(debugList),
        companions_(companions),
        modes_(modes),
        status_(status) {}

  // Reads the profile at profilePath and activates it for the game exeName
  // in gameFolder (run by Wine in a prefix, when wine says so). False, with
  // a debug line, when the profile cannot be read; *stop is set when the
  // activation finds the profile unusable.
  bool ActivateProfile(const std::string& profilePath, const std::string& exeName,
                       const std::string& gameFolder, uint32_t processId, MaybeStop* stop,
                       const WineRun& wine = {});

  // The steps of an activation of the current game; a stop (with its box)
  // when the profile's controller maps are wrong.
  MaybeStop WYNActivate();
  // A key of the current game's profile, as an INI read gives it.
  std::string ReadGameIni(const std::string& section, const std::string& key);

  // The game of the last activation, kept after it ends.
  const Game& CurrentGame() const { return game_; }
  // The settings the last activations read.
  const ProfileSettings& Profile() const { return profile_; }

 private:
  void ReadProfileSettings();
  MaybeStop ReadProfileMaps();
  void WriteEventSettings();
  void RunCommandScript();

  Program& program_;
  Files& files_;
  IniFiles& ini_;
  EventLoop& loop_;
  DebugList& debugList_;
  CompanionControl& companions_;
  const ModeChannel& modes_;
  WatchStatus& status_;

  Game game_;
  ProfileSettings profile_;
  bool startEvent_ = false;  // the event utility is started by this activation
  // The game profile of the activation under way, read from disk once.
  std::unique_ptr<IniReader> gameProfile_;
};

}  // namespace zeph

// The components below the main form, each made alone on a seam and
// connected as the form connects them, for tests of one component.
#pragma once

#include <string>
#include <vector>

#include "activation/Activation.h"
#include "setup/SetupPass.h"
#include "tray/Desktop.h"
#include "tray/Tray.h"

namespace zeph::testing {

// What the components tell the tray of the watch, recorded.
struct RecordedWatch final : WatchStatus {
  std::vector<std::string> started;  // the application name of each watch begun
  int ended = 0;
  void WatchStarted(const Game& game) override { started.push_back(game.appName); }
  void WatchEnded() override { ++ended; }
};

// The parts that every component below the form shares, made on a seam as
// the form makes them.
struct Shared {
  Shared(SystemSeam seam, Desktop& desktop)
      : debugList(desktop),
        modes(seam.program, seam.files, seam.ini),
        companions(seam.program, seam.processes, seam.loop, debugList) {}
  DebugList debugList;
  ModeChannel modes;
  CompanionControl companions;
  RecordedWatch watch;
};

// The end-of-game pass alone, with the game and the settings it runs for.
struct SetupUnit : Shared {
  SetupUnit(SystemSeam seam, Desktop& desktop)
      : Shared(seam, desktop),
        pass(seam.program, seam.files, seam.ini, seam.registry, seam.loop, desktop, debugList,
             companions, watch) {}
  void WriteStuff() { pass.WriteStuff(game, profile); }
  SetupPass pass;
  Game game;
  ProfileSettings profile;
};

// The activation alone, monitoring.
struct ActivationUnit : Shared {
  ActivationUnit(SystemSeam seam, Desktop& desktop)
      : Shared(seam, desktop),
        activation(seam.program, seam.files, seam.ini, seam.loop, debugList, companions, modes,
                   watch) {
    modes.SetCurrent(Mode::Active);
  }
  Activation activation;
};

// The tray alone.
struct TrayUnit : Shared {
  TrayUnit(SystemSeam seam, Desktop& desktop)
      : Shared(seam, desktop), tray(seam, desktop, debugList, companions, modes) {}
  Tray tray;
};

}  // namespace zeph::testing

// The end-of-game pass: the controller is reset, then the profile's copy
// and custom blocks are carried out on the game's installation, and a
// marker file in the game folder records the profile revision set up.
#pragma once

#include <string>
#include <vector>

#include "activation/CompanionControl.h"
#include "activation/Game.h"
#include "activation/ProfileSettings.h"
#include "setup/CustomOperations.h"
#include "setup/PathHelpers.h"
#include "setup/SetupJournal.h"
#include "setup/SetupObserver.h"
#include "system/Boxes.h"
#include "system/DebugList.h"
#include "system/EventLoop.h"
#include "system/Files.h"
#include "system/IniFiles.h"
#include "system/Program.h"
#include "system/Registry.h"

namespace zeph {

// One file of a profile's copy-files block.
struct CopyEntry {
  std::string source;       // name in the games folder
  std::string destination;  // path relative to the game folder
};

class SetupPass {
 public:
  SetupPass(Program& program, Files& files, IniFiles& ini, Registry& registry, EventLoop& loop,
            Boxes& boxes, DebugList& debugList, CompanionControl& companions, WatchStatus& status)
      : program_(program),
        files_(files),
        ini_(ini),
        registry_(registry),
        loop_(loop),
        boxes_(boxes),
        debugList_(debugList),
        companions_(companions),
        status_(status),
        paths_(files, debugList) {}

  // Told what the pass reads and decides (a check tool's); null: nobody.
  void SetObserver(SetupObserver* observer) { observer_ = observer; }
  // Records each change of a pass before it is made (the monitor's);
  // null: the pass runs unrecorded.
  void SetJournal(SetupJournal* journal) { journal_ = journal; }

  // The pass after game has ended, by the profile settings its activation read.
  void WriteStuff(const Game& game, const ProfileSettings& profile);

  // strJoyCheck with its placeholders replaced by the profile's buttons and
  // motion aliases.
  static std::string CheckForJoy(std::string strJoyCheck, const ProfileSettings& profile);
  // The game's paths as the last pass resolved them.
  const GamePaths& Paths() const { return paths_; }
  // The copy-files block as the last pass read it.
  const std::vector<CopyEntry>& CopyList() const { return copyList_; }

 private:
  // The copy and custom blocks and the marker; true when the pass passed.
  bool RunSetupPass();
  // The marker file is current for this profile; deletes one that is not.
  bool MarkerIsCurrent(const std::string& marker);
  void WriteMarker(const std::string& marker);
  bool RunCopySection();
  bool CopySectionFiles();
  bool RunCustomSection();
  // Runs one parsed entry of op, or skips it when the installation is set
  // up already and the entry is not marked "ALWAYS".
  bool RunEntry(const CustomOperation& op, const CustomEntry& entry);

  Program& program_;
  Files& files_;
  IniFiles& ini_;
  Registry& registry_;
  EventLoop& loop_;
  Boxes& boxes_;
  DebugList& debugList_;
  CompanionControl& companions_;
  WatchStatus& status_;
  GamePaths paths_;
  SetupObserver* observer_ = nullptr;
  SetupJournal* journal_ = nullptr;

  // The pass under way.
  const Game* game_ = nullptr;
  const ProfileSettings* profile_ = nullptr;
  // Set while the marker file shows this profile revision set up already:
  // then only the entries flagged "ALWAYS" run.
  bool alreadyConfigured_ = false;
  int customFailure_ = 0;  // code of the custom pass's failure, 0 when none is pending
  std::vector<CopyEntry> copyList_;
};

}  // namespace zeph

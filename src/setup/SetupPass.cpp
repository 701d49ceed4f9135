// The end-of-game pass: the controller is reset, then the profile's copy
// and custom blocks are carried out on the game's installation, and a
// marker file in the game folder records the profile revision set up.
#include "setup/SetupPass.h"

#include <utility>

#include "setup/EditRules.h"
#include "setup/Placeholders.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

const char* const kMarkerName = "thalix.tlx";
const char* const kMarkerVersion = "5.1";

}  // namespace

void SetupPass::WriteStuff(const Game& game, const ProfileSettings& profile) {
  if (debugList_.DebugMode()) {
    debugList_.Add("Stopped watching: " + game.exe + " at " + loop_.TimeOfDay());
    debugList_.Add("");
    debugList_.SelectBeforeLast();
  }
  status_.WatchEnded();
  companions_.ResetController();

  if (!profile.custom.isTrue && !profile.copyFiles.isTrue) return;
  game_ = &game;
  profile_ = &profile;
  paths_.SetGameFolder(game.folder);
  paths_.SetWinePrefix(game.wine.prefix);
  if (journal_) {
    SystemError err;
    // Without its records a pass could not be undone, so it changes
    // nothing at all; the marker stays as it is and the pass is tried
    // again at the next game end. Running unrecorded would leave the user
    // a change with no way back, and a failing journal is rare.
    if (!journal_->OpenPass({game.folder, game.profile, profile.revision}, &err)) {
      debugList_.Add("Set-up pass not run: its journal cannot be written: " + err.Describe());
      return;
    }
  }
  const bool passed = RunSetupPass();
  if (journal_) journal_->ClosePass(passed);
  game_ = nullptr;
  profile_ = nullptr;
}

bool SetupPass::RunSetupPass() {
  alreadyConfigured_ = false;
  customFailure_ = 0;
  const std::string marker = game_->folder + "\\" + kMarkerName;
  const bool markerThere = files_.IsFile(marker);
  if (markerThere && MarkerIsCurrent(marker)) alreadyConfigured_ = true;
  if (observer_) observer_->MarkerChecked(marker, markerThere, &alreadyConfigured_);

  bool passed = true;
  if (profile_->copyFiles.isTRUE) {
    copyList_.assign(1, CopyEntry{});
    if (files_.IsFile(game_->profile)) passed = RunCopySection();
  }
  if (passed && profile_->custom.isTRUE && files_.IsFile(game_->profile))
    passed = RunCustomSection();
  if (passed) {
    if (debugList_.DebugMode()) {
      debugList_.Add("");
      debugList_.SelectBeforeLast();
    }
    if (!alreadyConfigured_) {
      WriteMarker(marker);
      boxes_.ShowBox(game_->appName + " has been configured for use with the Thalix.", "Thalix",
                     BoxButtons::Ok, BoxIcon::None);
    }
  }
  if (customFailure_ != 0)
    debugList_.Add("Copy/Custom section error " + std::to_string(customFailure_));
  return passed;
}

bool SetupPass::MarkerIsCurrent(const std::string& marker) {
  const std::string version = ReadIni(ini_, marker, "Thalix", "Version");
  const std::string wyn = ReadIni(ini_, marker, "Games", "WYN");
  const std::string revision = ReadIni(ini_, marker, "Games", "Revision");
  if (EqualsNoCase(version, kMarkerVersion) &&
      EqualsNoCase(game_->profile, program_.Folder() + "\\wyn\\" + wyn) &&
      RevisionCovers(revision, profile_->revision))
    return true;
  SystemError err;
  if (!files_.Remove(marker, &err))
    debugList_.Add("Could not delete the marker file " + marker + ": " + err.Describe());
  return false;
}

void SetupPass::WriteMarker(const std::string& marker) {
  // The profile's name as the profile folder holds it.
  const std::string profileFolder = program_.Folder() + "\\wyn\\";
  const std::string wyn = game_->profile.size() > profileFolder.size()
                              ? game_->profile.substr(profileFolder.size())
                              : std::string();
  SystemError err;
  if (!WriteIni(ini_, marker, "Thalix", "Version", kMarkerVersion, &err) ||
      !WriteIni(ini_, marker, "Games", "WYN", wyn, &err) ||
      !WriteIni(ini_, marker, "Games", "Revision", profile_->revision, &err))
    debugList_.Add("Could not write the marker file " + marker + ": " + err.Describe());
}

std::string SetupPass::CheckForJoy(std::string strJoyCheck, const ProfileSettings& profile) {
  return ExpandPlaceholders(std::move(strJoyCheck), profile.buttonTable, profile.motionPositive,
                            profile.motionNegative);
}

}  // namespace zeph

// The end-of-game pass: the controller is reset, then the profile's copy
// and custom blocks are carried out on the game's installation, and a
// marker file in the game folder records the profile revision set up.
#include <utility>

#include "activation/ProfileFormat.h"
#include "monitor/MainForm.h"
#include "system/WinPath.h"
#include "setup/EditRules.h"
#include "setup/Placeholders.h"
#include "system/IniHelpers.h"

namespace zeph {

namespace {

const char* const kMarkerName = "thalix.tlx";
const char* const kMarkerVersion = "5.1";

// Field counts of the entry tables, in CustomCommand order.
constexpr size_t kFieldCounts[kCustomCommands] = {5, 5, 4, 5, 6, 6};

}  // namespace

void MainForm::WriteStuff() {
  if (state.DebugMode) {
    debugList.Add("Stopped watching: " + state.GameExe + " at " + sys_.loop.TimeOfDay());
    debugList.Add("");
    debugList.SelectBeforeLast();
  }
  SetIcon(IconMessage::Modify, iconImage_, kTipIdle);
  ResetController();

  if (!IsTrue(profile.custom) && !IsTrue(profile.copyFiles)) return;
  if (setupJournal) {
    SystemError err;
    // Without its records a pass could not be undone, so it changes
    // nothing at all; the marker stays as it is and the pass is tried
    // again at the next game end. Running unrecorded would leave the user
    // a change with no way back, and a failing journal is rare.
    if (!setupJournal->OpenPass({state.GameFolder, state.ActiveProfile, profile.revision}, &err)) {
      debugList.Add("Set-up pass not run: its journal cannot be written: " + err.Describe());
      return;
    }
  }
  const bool passed = RunSetupPass();
  if (setupJournal) setupJournal->ClosePass(passed);
}

bool MainForm::RunSetupPass() {
  alreadyConfigured = false;
  customFailure_ = 0;
  const std::string marker = state.GameFolder + "\\" + kMarkerName;
  const bool markerThere = sys_.files.IsFile(marker);
  if (markerThere && MarkerIsCurrent(marker)) alreadyConfigured = true;
  if (setupObserver) setupObserver->MarkerChecked(marker, markerThere, &alreadyConfigured);

  bool passed = true;
  if (EqualsNoCase(profile.copyFiles, "TRUE")) {
    copyList.assign(1, CopyEntry{});
    if (sys_.files.IsFile(state.ActiveProfile)) passed = RunCopySection();
  }
  if (passed && EqualsNoCase(profile.custom, "TRUE")) {
    for (size_t c = 0; c < kCustomCommands; ++c)
      entryTables_[c].assign(1, std::vector<std::string>(kFieldCounts[c]));
    if (sys_.files.IsFile(state.ActiveProfile)) passed = RunCustomSection();
  }
  if (passed) {
    if (state.DebugMode) {
      debugList.Add("");
      debugList.SelectBeforeLast();
    }
    if (!alreadyConfigured) {
      WriteMarker(marker);
      desktop_.ShowBox(state.ActiveAppName + " has been configured for use with the Thalix.",
                       "Thalix", BoxButtons::Ok, BoxIcon::None);
    }
  }
  if (customFailure_ != 0)
    debugList.Add("Copy/Custom section error " + std::to_string(customFailure_));
  return passed;
}

bool MainForm::MarkerIsCurrent(const std::string& marker) {
  const std::string version = ReadIni(sys_.ini, marker, "Thalix", "Version");
  const std::string wyn = ReadIni(sys_.ini, marker, "Games", "WYN");
  const std::string revision = ReadIni(sys_.ini, marker, "Games", "Revision");
  if (EqualsNoCase(version, kMarkerVersion) &&
      EqualsNoCase(state.ActiveProfile, sys_.program.Folder() + "\\wyn\\" + wyn) &&
      RevisionCovers(revision, profile.revision))
    return true;
  SystemError err;
  if (!sys_.files.Remove(marker, &err))
    debugList.Add("Could not delete the marker file " + marker + ": " + err.Describe());
  return false;
}

void MainForm::WriteMarker(const std::string& marker) {
  const std::string wyn = state.ActiveProfile.size() > state.ProfileFolder.size()
                              ? state.ActiveProfile.substr(state.ProfileFolder.size())
                              : std::string();
  SystemError err;
  if (!WriteIni(sys_.ini, marker, "Thalix", "Version", kMarkerVersion, &err) ||
      !WriteIni(sys_.ini, marker, "Games", "WYN", wyn, &err) ||
      !WriteIni(sys_.ini, marker, "Games", "Revision", profile.revision, &err))
    debugList.Add("Could not write the marker file " + marker + ": " + err.Describe());
}

std::string MainForm::CheckForJoy(std::string strJoyCheck) const {
  return ExpandPlaceholders(std::move(strJoyCheck), profile.buttonTable, profile.motionPositive,
                            profile.motionNegative);
}

}  // namespace zeph

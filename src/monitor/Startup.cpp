// The start-up sequence. It runs when the program starts and again at every
// resume; the watch timer is armed only by its last step.
#include "monitor/CommandLine.h"
#include "monitor/MainForm.h"
#include "system/PlatformChecks.h"
#include "system/RegistryWriters.h"

namespace zeph {

void MainForm::Form_Load() {
  // A modal box of start-up lets timer messages through; on a resume the
  // settings file still says "SUSPEND" until the settings step. The hold
  // lasts through the box of a stop.
  ModeChannel::Change change(modes_);
  if (MaybeStop stop = StartUp()) StopProgram(*stop);
}

MaybeStop MainForm::StartUp() {
  const std::string folder = sys_.program.Folder();

  state_.RefreshInterval = 1000;
  CommandLineOptions options = ParseCommandLine(sys_.program.Arguments());
  if (options.debug) debugList_.SetDebugMode(true);
  if (options.skipOsCheck) state_.SkipOsCheck = true;
  if (options.action == StartAction::Kill) {
    killRequested_ = true;
    modes_.WriteIfThere(Mode::None);
    return Stop::Closing();
  }
  if (options.action == StartAction::Usage) return StartError();
  state_.RefreshInterval = options.refreshInterval;

  WriteRegString(sys_.registry, RegRoot::LocalMachine, kProductKey, "Version", "5.10");

  // Without its window the monitor would have no icon and no buttons, and
  // nobody would know why.
  SystemError windowError;
  if (!startedOnce_ && !desktop_.Ready(&windowError))
    return Stop::WithBox(Stop::Way::Closing,
                         "The main window cannot be created: " + windowError.Describe(),
                         "Critical Error");
  if (debugList_.DebugMode()) desktop_.ShowMainWindow();

  if (AnotherCopyRunning()) return Stop::Closing();

  if (!startedOnce_) {
    desktop_.HideFromTaskList();
    if (!state_.SkipOsCheck) {
      if (MaybeStop stop = CheckOSVersion(nullptr)) return stop;
    }
  }

  // On a resume the icon already exists: it is changed, never added twice.
  tray_.AddIcon();

  // The attached reminder belongs to the program's start, not to resumes.
  if (!startedOnce_ && !SkipAttachedCheck(sys_.registry) &&
      tray_.ShowCheckAttached() == TrayRequest::Exit)
    return Stop::Closing();

  state_.ProfileFolder = folder + "\\wyn\\";
  if (state_.ProfileFolder.back() != '\\') state_.ProfileFolder += "\\";
  if (!sys_.files.IsFolder(state_.ProfileFolder))
    return Stop::WithBox(Stop::Way::Closing,
                         "Configuration file folder " + state_.ProfileFolder + " not found.",
                         "Critical Error");

  state_.ProfileExt = ".wyn";

  std::string why;
  if (!modes_.Prepare(&why))
    return Stop::WithBox(Stop::Way::Closing,
                         "Settings file " + modes_.Path() + " cannot be written: " + why,
                         "Critical Error");

  if (MaybeStop stop = BuildWatchList()) return stop;

  startedOnce_ = true;
  sys_.loop.SetTimerInterval(state_.RefreshInterval);
  return std::nullopt;
}

MaybeStop MainForm::CheckOSVersion(std::string* name) {
  const std::string os = OsName(sys_.program.Version());
  if (name) *name = os;
  if (IsRefusedSystem(os))
    return Stop::WithBox(Stop::Way::AtOnce,
                         "This program was designed to run on Windows 2000 / XP.",
                         "OS Version Error - " + os);
  return std::nullopt;
}

MaybeStop MainForm::StartError() {
  return Stop::WithBox(Stop::Way::Closing, UsageText(), kProgramTitle, BoxIcon::None);
}

}  // namespace zeph

// The start-up sequence. It runs when the program starts and again at every
// resume; the watch timer is armed only by its last step.
#include "companion/Companions.h"
#include "monitor/CommandLine.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/PlatformChecks.h"
#include "system/RegistryWriters.h"

namespace zeph {

namespace {

const char* const kSettingsName = kMonitorSettingsFile;

}  // namespace

void MainForm::Form_Load() {
  // A modal box of start-up lets timer messages through; on a resume the
  // settings file still says "SUSPEND" until the settings step.
  Busy busy(*this);
  const std::string folder = sys_.program.Folder();
  const std::string settingsPath = folder + "\\" + kSettingsName;

  state.RefreshInterval = 1000;
  CommandLineOptions options = ParseCommandLine(sys_.program.Arguments());
  if (options.debug) state.DebugMode = true;
  if (options.skipOsCheck) state.SkipOsCheck = true;
  if (options.action == StartAction::Kill) {
    killRequested_ = true;
    if (sys_.files.IsFile(settingsPath))
      WriteIni(sys_.ini, settingsPath, "APPLICATION", "MODE", "");
    Form_Unload();
  }
  if (options.action == StartAction::Usage) StartError();
  state.RefreshInterval = options.refreshInterval;

  WriteRegString(sys_.registry, RegRoot::LocalMachine, kProductKey, "Version", "5.10");

  // Without its window the monitor would have no icon and no buttons, and
  // nobody would know why.
  SystemError windowError;
  if (!startedOnce_ && !desktop_.Ready(&windowError)) {
    desktop_.ShowBox("The main window cannot be created: " + windowError.Describe(),
                     "Critical Error", BoxButtons::Ok, BoxIcon::Critical);
    Form_Unload();
  }
  if (state.DebugMode) desktop_.ShowMainWindow();

  if (AnotherCopyRunning()) Form_Unload();

  if (!startedOnce_) {
    desktop_.HideFromTaskList();
    if (!state.SkipOsCheck) CheckOSVersion();
  }

  // On a resume the icon already exists: it is changed, never added twice.
  if (!iconAdded_) {
    desktop_.SetMenu(PopupMenuItems());
    SetIcon(IconMessage::Add, IconImage::Monitoring, kTipIdle);
    iconAdded_ = true;
  }

  // The attached reminder belongs to the program's start, not to resumes.
  if (!startedOnce_ && !SkipAttachedCheck(sys_.registry)) {
    CheckAttachedForm reminder(sys_);
    if (desktop_.ShowCheckAttached(reminder) == AttachedChoice::Exit) Form_Unload();
  }

  state.ProfileFolder = folder + "\\wyn\\";
  if (state.ProfileFolder.back() != '\\') state.ProfileFolder += "\\";
  if (!sys_.files.IsFolder(state.ProfileFolder)) {
    desktop_.ShowBox("Configuration file folder " + state.ProfileFolder + " not found.",
                     "Critical Error", BoxButtons::Ok, BoxIcon::Critical);
    Form_Unload();
  }

  state.ProfileExt = ".wyn";

  PrepareSettingsFile();

  BuildWatchList();

  startedOnce_ = true;
  SetTimerInterval(state.RefreshInterval);
}

std::string MainForm::CheckOSVersion() {
  std::string name = OsName(sys_.program.Version());
  if (IsRefusedSystem(name)) {
    desktop_.ShowBox("This program was designed to run on Windows 2000 / XP.",
                     "OS Version Error - " + name, BoxButtons::Ok, BoxIcon::Critical);
    EndProgram();
  }
  return name;
}

void MainForm::PrepareSettingsFile() {
  const std::string path = sys_.program.Folder() + "\\" + kSettingsName;
  SystemError err;
  bool ok = sys_.files.IsFile(path) || sys_.files.MakeEmptyFile(path, &err);
  state.SettingsFile = path;
  ok = ok && WriteIni(sys_.ini, path, "VERSION", "VERSION", "5.1", &err);
  ok = ok && WriteIni(sys_.ini, path, "APPLICATION", "MODE", "ACTIVE", &err);
  state.CurrentMode = "ACTIVE";
  // Without a settings file that says "ACTIVE" the first tick would end the
  // program without a word; say why now instead.
  if (!ok || ReadIni(sys_.ini, path, "APPLICATION", "MODE") != "ACTIVE") {
    std::string why = ok ? "it does not keep what is written" : err.Describe();
    desktop_.ShowBox("Settings file " + path + " cannot be written: " + why, "Critical Error",
                     BoxButtons::Ok, BoxIcon::Critical);
    Form_Unload();
  }
}

void MainForm::StartError() {
  desktop_.ShowBox(UsageText(), kProgramTitle, BoxButtons::Ok, BoxIcon::None);
  Form_Unload();
}

}  // namespace zeph

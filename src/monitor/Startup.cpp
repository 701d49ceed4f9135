// The start-up sequence. It runs when the program starts and again at every
// resume; the watch timer is armed only by its last step.
#include "monitor/CommandLine.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/PlatformChecks.h"
#include "system/Registry.h"

namespace zeph {

namespace {

const char* const kSettingsName = "zephmon.ini";

// Marks start-up as running so that no tick reads the settings file while
// it still says "SUSPEND" during a resume (a modal box lets timers through).
class Flag {
 public:
  explicit Flag(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~Flag() { flag_ = old_; }

 private:
  bool& flag_;
  bool old_;
};

}  // namespace

void MainForm::Form_Load() {
  Flag running(startupRunning_);
  const std::string folder = sys_.ProgramFolder();
  const std::string settingsPath = folder + "\\" + kSettingsName;

  state.RefreshInterval = 1000;
  CommandLineOptions options = ParseCommandLine(sys_.CommandArgs());
  if (options.debug) state.DebugMode = true;
  if (options.skipOsCheck) state.SkipOsCheck = true;
  if (options.action == StartAction::Kill) {
    killRequested_ = true;
    if (sys_.FileExists(settingsPath)) WriteIni(sys_, settingsPath, "APPLICATION", "MODE", "");
    Form_Unload();
  }
  if (options.action == StartAction::Usage) StartError();
  state.RefreshInterval = options.refreshInterval;

  WriteRegString(sys_, RegRoot::LocalMachine, kProductKey, "Version", "5.10");

  if (state.DebugMode) sys_.ShowMainWindow();

  if (AnotherCopyRunning()) Form_Unload();

  if (!startedOnce_) {
    sys_.HideFromTaskList();
    if (!state.SkipOsCheck) CheckOSVersion(sys_);
  }

  // On a resume the icon already exists: it is changed, never added twice.
  if (!iconAdded_) {
    SetIcon(IconMessage::Add, IconImage::Monitoring, kTipIdle);
    iconAdded_ = true;
  }

  // The attached reminder belongs to the program's start, not to resumes.
  if (!startedOnce_ && !SkipAttachedCheck(sys_)) {
    sys_.MessageBox(
        "The Quenlar Thalix does not appear to be installed and selected as your primary "
        "joystick.\r\n\r\nThe Thalix Kinetra software will not function correctly until this has "
        "been corrected.",
        " Thalix Not Found", BoxButtons::Ok, BoxIcon::Exclamation);
  }

  state.ProfileFolder = folder + "\\wyn\\";
  if (state.ProfileFolder.back() != '\\') state.ProfileFolder += "\\";
  if (!sys_.FolderExists(state.ProfileFolder)) {
    sys_.MessageBox("Configuration file folder " + state.ProfileFolder + " not found.",
                    "Critical Error", BoxButtons::Ok, BoxIcon::Critical);
    Form_Unload();
  }

  state.ProfileExt = ".wyn";

  PrepareSettingsFile();

  BuildWatchList();

  startedOnce_ = true;
  SetTimerInterval(state.RefreshInterval);
}

void MainForm::PrepareSettingsFile() {
  const std::string path = sys_.ProgramFolder() + "\\" + kSettingsName;
  if (!sys_.FileExists(path)) sys_.CreateEmptyFile(path);
  state.SettingsFile = path;
  WriteIni(sys_, path, "VERSION", "VERSION", "5.1");
  WriteIni(sys_, path, "APPLICATION", "MODE", "ACTIVE");
  state.CurrentMode = "ACTIVE";
  // Without a settings file that says "ACTIVE" the first tick would end the
  // program without a word; say why now instead.
  if (ReadIni(sys_, path, "APPLICATION", "MODE") != "ACTIVE") {
    sys_.MessageBox("Settings file " + path + " cannot be written.", "Critical Error",
                    BoxButtons::Ok, BoxIcon::Critical);
    Form_Unload();
  }
}

void MainForm::StartError() {
  sys_.MessageBox(UsageText(), kProgramTitle, BoxButtons::Ok, BoxIcon::None);
  Form_Unload();
}

}  // namespace zeph

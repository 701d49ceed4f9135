// The main form: owns the monitor's state and carries its routines. Its
// methods are spread over the folders of their subsystems: start-up and the
// watch loop in monitor/, the icon, suspend and closing in tray/, the
// activation in activation/, the end-of-game pass in setup/.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "activation/ProfileSettings.h"
#include "monitor/DebugList.h"
#include "monitor/MonitorState.h"
#include "system/System.h"

namespace zeph {

// One row of the process table of one enumeration.
struct ProcessRow {
  std::string ExeName;  // file name of the executable
  uint32_t ProcessId = 0;
  std::string ExeFolder;  // folder of the executable, without trailing "\"
};

// Tip texts of the notification icon.
extern const char* const kTipIdle;       // "Thalix Monitor"
extern const char* const kTipSuspended;  // "Thalix Monitor - Suspended"
extern const char* const kTipWatching;   // "Thalix Monitor - Watching: "
extern const char* const kProgramTitle;  // "Thalix Monitor", the default box title

constexpr int kSuspendedInterval = 2500;  // ms between ticks while suspended
constexpr int kWaitCycle = 250;           // ms per cycle while a game runs

class MainForm : public Commands {
 public:
  explicit MainForm(System& sys);

  System& sys() { return sys_; }
  MonitorState state;
  DebugList debugList;
  ProfileSettings profile;  // read by each activation, kept until the next

  // --- start-up (monitor/Startup.cpp)
  void Form_Load();
  [[noreturn]] void StartError();

  // --- watch list (monitor/WatchList.cpp)
  void BuildWatchList();
  // The first watch entry, in list order, whose executable is exeName
  // (ignoring case); null when none is.
  const WatchEntry* FindWatchEntry(const std::string& exeName) const;

  // --- watch loop (monitor/WatchLoop.cpp)
  void tmrMonitor_Timer();
  std::vector<ProcessRow> ListProcessTable();
  std::string ReadGameIni(const std::string& section, const std::string& key);

  // --- tray (tray/)
  void mPopupSuspend_Click();
  void cmdSuspend_Click() { mPopupSuspend_Click(); }
  void Suspend();
  void mPopupExit_Click() { Form_Unload(); }
  void cmdExit_Click() { Form_Unload(); }
  [[noreturn]] void Form_Unload();
  void SetIcon(IconMessage message, IconImage image, const std::string& tip);
  bool SuspendChecked() const { return suspendChecked_; }
  int TimerInterval() const { return timerInterval_; }

  // --- activation and companions (activation/)
  void WYNActivate();
  void CloseZephEvent();
  void ResetController();

  // --- path helpers (setup/PathHelpers.cpp)
  // varCopyUp resolved against varPathUp (the game folder + ""); "ERROR"
  // when it climbs above the drive.
  std::string CheckRelativePath(std::string varPathUp, std::string varCopyUp);
  // Creates every missing folder of buildPath; removes one trailing "".
  void BuildFolders(std::string& buildPath);

  // --- end-of-game pass (setup/)
  void WriteStuff();

  // Commands arriving through message processing.
  void OnTimer() override { tmrMonitor_Timer(); }
  void OnExit() override { cmdExit_Click(); }
  void OnSuspendToggle() override { cmdSuspend_Click(); }

 private:
  void SetTimerInterval(int ms);
  [[noreturn]] void EndProgram();
  bool AnotherCopyRunning();
  [[noreturn]] void ShutDownOnModeChange();
  void LogSuspended();
  void LogResumed();
  void PrepareSettingsFile();
  void ReadProfileSettings();
  bool ReadProfileMaps();
  void WriteEventSettings();
  void RunCommandScript();
  bool startEvent_ = false;  // the event utility is started by this activation

  System& sys_;
  bool tickRunning_ = false;     // a tick never nests in another
  bool startupRunning_ = false;  // nor runs while start-up is under way
  bool startedOnce_ = false;     // start-up has run to its end at least once
  bool iconAdded_ = false;
  bool suspendChecked_ = false;  // check mark of the Suspend menu entry
  bool killRequested_ = false;
  int instanceState_ = -1;  // -1 not asked yet, 0 alone, 1 another copy runs
  int timerInterval_ = 0;
  IconImage iconImage_ = IconImage::Monitoring;
  std::string iconTip_;
  // Lower-cased executable name -> index of its first watch entry.
  std::unordered_map<std::string, size_t> watchIndex_;
  // Games that were listed but could not be opened: not tried again while
  // they keep running.
  std::set<uint32_t> unopenableGames_;
};

}  // namespace zeph

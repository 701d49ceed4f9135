// The main form (frmMain), on top of the components: start-up, the watch
// list and the watch loop. It owns the components and connects them, and it
// alone ends the program: a component that finds a reason to stop returns it
// here.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "activation/Activation.h"
#include "activation/CompanionControl.h"
#include "companion/ModeChannel.h"
#include "monitor/MonitorState.h"
#include "setup/SetupPass.h"
#include "system/DebugList.h"
#include "system/Seam.h"
#include "system/Stop.h"
#include "tray/Desktop.h"
#include "tray/Tray.h"

namespace zeph {

// One row of the process table of one enumeration.
struct ProcessRow {
  std::string ExeName;  // file name of the executable
  uint32_t ProcessId = 0;
  std::string ExeFolder;  // folder of the executable, without trailing "\"
  WineRun Wine;           // the prefix of a program run by Wine
};

constexpr int kWaitCycle = 250;  // ms per cycle while a game runs

class MainForm final : public Commands {
 public:
  MainForm(SystemSeam sys, Desktop& desktop);

  // --- start-up (monitor/Startup.cpp)
  // The start-up sequence, at the program's start and at every resume; a
  // reason to stop ends the program from here.
  void Form_Load();

  // --- watch list (monitor/WatchList.cpp)
  // The first watch entry, in list order, whose executable is exeName
  // (ignoring case); null when none is.
  const WatchEntry* FindWatchEntry(const std::string& exeName) const;
  const std::vector<WatchEntry>& WatchList() const { return state_.WatchList; }

  // --- watch loop (monitor/WatchLoop.cpp)
  void tmrMonitor_Timer();
  std::vector<ProcessRow> ListProcessTable();

  // --- ending (monitor/Closing.cpp)
  // The closing sequence every orderly exit goes through.
  [[noreturn]] void Form_Unload();
  void mPopupExit_Click() { Form_Unload(); }
  void cmdExit_Click() { Form_Unload(); }
  // The Suspend entry and button: the tray's toggle, and start-up again on a resume.
  void mPopupSuspend_Click();
  void cmdSuspend_Click() { mPopupSuspend_Click(); }

  const MonitorState& State() const { return state_; }
  // The components, for what reaches them from outside.
  DebugList& Debug() { return debugList_; }
  const ModeChannel& Modes() const { return modes_; }
  Activation& GameActivation() { return activation_; }
  SetupPass& Setup() { return setup_; }
  Tray& TrayIcon() { return tray_; }

  // Commands arriving through message processing.
  void OnTimer() override { tmrMonitor_Timer(); }
  void OnExit() override { cmdExit_Click(); }
  void OnSuspendToggle() override { cmdSuspend_Click(); }
  void OnIconActivated() override { tray_.mCustomize_Click(); }
  void OnMenuRequested() override { tray_.ShowPopupMenu(); }
  void OnMenuCommand(MenuEntry entry) override;

 private:
  // The steps of start-up; a reason to stop ends them.
  MaybeStop StartUp();
  // Names the system; a refused system is a reason to stop at once.
  MaybeStop CheckOSVersion(std::string* name);
  MaybeStop StartError();
  MaybeStop BuildWatchList();
  // Finds a watched game in table, records it and activates it; false when
  // none can be.
  bool ActivateGameFrom(const std::vector<ProcessRow>& table, std::unique_ptr<ProcessHandle>* game,
                        MaybeStop* stop);
  // What a tray command leaves to the form.
  void Carry(TrayRequest request);
  // Shows the stop's box and ends the program as it says.
  [[noreturn]] void StopProgram(const Stop& stop);
  [[noreturn]] void EndProgram();
  bool AnotherCopyRunning();
  [[noreturn]] void ShutDownOnModeChange();

  SystemSeam sys_;
  Desktop& desktop_;
  DebugList debugList_;
  ModeChannel modes_;
  CompanionControl companions_;
  Tray tray_;
  Activation activation_;
  SetupPass setup_;
  MonitorState state_;

  bool tickRunning_ = false;  // a tick never nests in another
  bool startedOnce_ = false;  // start-up has run to its end at least once
  bool killRequested_ = false;
  int instanceState_ = -1;  // -1 not asked yet, 0 alone, 1 another copy runs
  // Lower-cased executable name -> index of its first watch entry.
  std::unordered_map<std::string, size_t> watchIndex_;
  // Games that were listed but cannot be watched (their process cannot be
  // opened, their profile cannot be read): not tried again while they run.
  std::set<uint32_t> skippedGames_;
};

}  // namespace zeph

// The watch loop: one tick lists the processes, reads the mode from the
// settings file and, while active, finds a watched game and stays in the
// tick until it ends.
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

class TickFlag {
 public:
  explicit TickFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~TickFlag() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

std::vector<ProcessRow> MainForm::ListProcessTable() {
  std::vector<ProcessRow> rows;
  for (const ProcessInfo& process : sys_.ListProcesses()) {
    std::string path = TrimBlanks(process.imagePath);
    rows.push_back({FileNameOf(path), process.id, FolderOf(path)});
  }
  return rows;
}

std::string MainForm::ReadGameIni(const std::string& section, const std::string& key) {
  return ReadIni(sys_, state.ActiveProfile, section, key);
}

void MainForm::tmrMonitor_Timer() {
  // Timer expiries that fall due while a tick waits on a game, or while
  // start-up runs, start no tick of their own.
  if (tickRunning_ || startupRunning_) return;
  TickFlag running(tickRunning_);

  bool gameEnded = false;
  for (;;) {
    std::vector<ProcessRow> table = ListProcessTable();

    std::string mode = ReadIni(sys_, state.SettingsFile, "APPLICATION", "MODE");
    if (!EqualsNoCase(mode, state.CurrentMode)) {
      if (EqualsNoCase(mode, "ACTIVE") || EqualsNoCase(mode, "SUSPEND")) {
        mPopupSuspend_Click();
      } else {
        ShutDownOnModeChange();
      }
    }
    if (!EqualsNoCase(state.CurrentMode, "ACTIVE")) return;

    // Forget games that could not be opened once they are gone.
    std::set<uint32_t> stillListed;
    for (const ProcessRow& row : table)
      if (unopenableGames_.count(row.ProcessId)) stillListed.insert(row.ProcessId);
    unopenableGames_.swap(stillListed);

    // First process in system order; the watch list's order breaks ties.
    const ProcessRow* found = nullptr;
    const WatchEntry* entry = nullptr;
    std::unique_ptr<ProcessHandle> game;
    for (const ProcessRow& row : table) {
      entry = FindWatchEntry(row.ExeName);
      if (!entry || unopenableGames_.count(row.ProcessId)) continue;
      game = sys_.OpenProcess(row.ProcessId);
      if (game) {
        found = &row;
        break;
      }
      // Its exit could never be seen: activating it would repeat at every
      // listing. Leave it out until it has gone.
      unopenableGames_.insert(row.ProcessId);
      if (state.DebugMode)
        debugList.Add("Cannot watch " + row.ExeName + " (process " + std::to_string(row.ProcessId) +
                      ")");
    }
    if (!found) break;

    state.ActiveProfile = state.ProfileFolder + entry->ProfileFile;
    state.ActiveAppName = ReadGameIni("IDENTIFICATION", "APPLICATION_NAME");
    state.GameExe = found->ExeName;
    state.GameFolder = found->ExeFolder;
    state.GameProcessId = std::to_string(found->ProcessId);
    WYNActivate();

    for (;;) {
      if (!EqualsNoCase(state.CurrentMode, "ACTIVE")) return;  // suspended: no end-of-game pass
      uint32_t exitCode = 0;
      if (!game->ExitCode(&exitCode)) exitCode = 0;
      sys_.ProcessPendingMessages();
      sys_.Sleep(kWaitCycle);
      if (exitCode != kStillActive) break;
    }
    game.reset();
    sys_.Sleep(kWaitCycle);
    gameEnded = true;
  }

  if (gameEnded) {
    CloseZephEvent();
    WriteStuff();
  }
}

void MainForm::ShutDownOnModeChange() {
  // Asked to stop (empty mode), or the settings file is gone or garbled:
  // end at once. The event utility and the controller are left as they are.
  SetTimerInterval(0);
  WriteIni(sys_, state.SettingsFile, "APPLICATION", "MODE", "");
  SetIcon(IconMessage::Delete, iconImage_, iconTip_);
  EndProgram();
}

}  // namespace zeph

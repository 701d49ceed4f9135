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
  for (const ProcessInfo& process : sys_.processes.List()) {
    std::string path = Trim(process.imagePath);
    rows.push_back({GetFileOnly(path), process.id, FolderOf(path)});
  }
  return rows;
}

std::string MainForm::ReadGameIni(const std::string& section, const std::string& key) {
  // During an activation the profile is read from disk once, not per key.
  if (gameProfile_) return gameProfile_->Read(section, key, kIniMissing, kIniBufferSize);
  return ReadIni(sys_.ini, state.ActiveProfile, section, key);
}

bool MainForm::ActivateProfile(const std::string& profilePath, const std::string& exeName,
                               const std::string& gameFolder, uint32_t processId) {
  SystemError err;
  ReadResult read = ReadResult::Ok;
  gameProfile_ = sys_.ini.Open(profilePath, &read, &err);
  if (!gameProfile_) {
    debugList.Add("Error reading profile " + profilePath + " for " + exeName + ": " +
                  DescribeRead(read, err));
    return false;
  }
  state.ActiveProfile = profilePath;
  state.ActiveAppName = ReadGameIni("IDENTIFICATION", "APPLICATION_NAME");
  state.GameExe = exeName;
  state.GameFolder = gameFolder;
  state.GameProcessId = std::to_string(processId);
  WYNActivate();
  gameProfile_.reset();
  return true;
}

bool MainForm::ActivateGameFrom(const std::vector<ProcessRow>& table,
                                std::unique_ptr<ProcessHandle>* game) {
  // Forget the games left out once they are gone.
  std::set<uint32_t> stillListed;
  for (const ProcessRow& row : table)
    if (skippedGames_.count(row.ProcessId)) stillListed.insert(row.ProcessId);
  skippedGames_.swap(stillListed);

  // First process in system order; the watch list's order breaks ties.
  for (const ProcessRow& row : table) {
    const WatchEntry* entry = FindWatchEntry(row.ExeName);
    if (!entry || skippedGames_.count(row.ProcessId)) continue;
    // A game that cannot be opened, or whose profile cannot be read, would
    // be found again at every listing: leave it out until it has gone.
    SystemError err;
    *game = sys_.processes.Open(row.ProcessId, &err);
    if (!*game) {
      skippedGames_.insert(row.ProcessId);
      if (state.DebugMode)
        debugList.Add("Cannot watch " + row.ExeName + " (process " + std::to_string(row.ProcessId) +
                      "): " + err.Describe());
      continue;
    }
    if (!ActivateProfile(state.ProfileFolder + entry->ProfileFile, row.ExeName, row.ExeFolder,
                         row.ProcessId)) {
      game->reset();
      skippedGames_.insert(row.ProcessId);
      continue;
    }
    return true;
  }
  return false;
}

void MainForm::tmrMonitor_Timer() {
  // Timer expiries that fall due while a tick waits on a game, or while a
  // routine that changes the mode runs, start no tick of their own.
  if (tickRunning_ || busy_ > 0) return;
  TickFlag running(tickRunning_);

  bool gameEnded = false;
  for (;;) {
    std::vector<ProcessRow> table = ListProcessTable();

    std::string mode = ReadIni(sys_.ini, state.SettingsFile, "APPLICATION", "MODE");
    if (!EqualsNoCase(mode, state.CurrentMode)) {
      if (EqualsNoCase(mode, "ACTIVE") || EqualsNoCase(mode, "SUSPEND")) {
        mPopupSuspend_Click();
      } else {
        ShutDownOnModeChange();
      }
    }
    if (!EqualsNoCase(state.CurrentMode, "ACTIVE")) return;

    const uint64_t epoch = suspendCount_;
    std::unique_ptr<ProcessHandle> game;
    if (!ActivateGameFrom(table, &game)) break;

    for (;;) {
      // Suspended, even if resumed since: the game is dropped, no
      // end-of-game pass; a resumed monitor finds it afresh.
      if (!ActivationMayGoOn(epoch)) return;
      bool running = false;
      uint32_t exitCode = 0;
      if (!game->State(&running, &exitCode, nullptr)) running = false;
      sys_.loop.ProcessPendingMessages();
      sys_.loop.Sleep(kWaitCycle);
      if (!running) break;
    }
    game.reset();
    sys_.loop.Sleep(kWaitCycle);
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
  WriteIni(sys_.ini, state.SettingsFile, "APPLICATION", "MODE", "");
  SetIcon(IconMessage::Delete, iconImage_, iconTip_);
  EndProgram();
}

}  // namespace zeph

// The watch loop: one tick lists the processes, reads the mode from the
// settings file and, while active, finds a watched game and stays in the
// tick until it ends.
#include "monitor/MainForm.h"
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
  std::vector<ProcessInfo> listed = sys_.processes.List();
  rows.reserve(listed.size());
  for (ProcessInfo& process : listed) {
    const std::string path = Trim(process.imagePath);
    rows.push_back({GetFileOnly(path), process.id, FolderOf(path), std::move(process.wine)});
  }
  return rows;
}

bool MainForm::ActivateGameFrom(const std::vector<ProcessRow>& table,
                                std::unique_ptr<ProcessHandle>* game, MaybeStop* stop) {
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
      if (debugList_.DebugMode())
        debugList_.Add("Cannot watch " + row.ExeName + " (process " +
                       std::to_string(row.ProcessId) + "): " + err.Describe());
      continue;
    }
    if (!activation_.ActivateProfile(state_.ProfileFolder + entry->ProfileFile, row.ExeName,
                                     row.ExeFolder, row.ProcessId, stop, row.Wine)) {
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
  if (tickRunning_ || modes_.Changing()) return;
  TickFlag running(tickRunning_);

  bool gameEnded = false;
  for (;;) {
    std::vector<ProcessRow> table = ListProcessTable();

    const Mode mode = modes_.Read();
    if (mode != modes_.Current()) {
      if (mode == Mode::Active || mode == Mode::Suspend) {
        mPopupSuspend_Click();
      } else {
        StopProgram({Stop::Way::ModeCleared, std::nullopt});
      }
    }
    if (modes_.Current() != Mode::Active) return;

    const uint64_t epoch = modes_.Suspends();
    std::unique_ptr<ProcessHandle> game;
    MaybeStop stop;
    const bool found = ActivateGameFrom(table, &game, &stop);
    if (stop) StopProgram(*stop);
    if (!found) break;

    for (;;) {
      // Suspended, even if resumed since: the game is dropped, no
      // end-of-game pass; a resumed monitor finds it afresh.
      if (modes_.Suspends() != epoch || modes_.Current() != Mode::Active) return;
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
    companions_.CloseZephEvent();
    setup_.WriteStuff(activation_.CurrentGame(), activation_.Profile());
  }
}

}  // namespace zeph

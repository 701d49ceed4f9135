// The main form: owns the monitor's state and carries its routines. Its
// methods are spread over the folders of their subsystems: start-up and the
// watch loop in monitor/, the icon, suspend and closing in tray/, the
// activation in activation/, the end-of-game pass in setup/.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "activation/ProfileSettings.h"
#include "monitor/DebugList.h"
#include "monitor/MonitorState.h"
#include "setup/SetupJournal.h"
#include "setup/SetupObserver.h"
#include "system/Seam.h"
#include "tray/Desktop.h"
#include "tray/Dialogs.h"

namespace zeph {

// One row of the process table of one enumeration.
struct ProcessRow {
  std::string ExeName;  // file name of the executable
  uint32_t ProcessId = 0;
  std::string ExeFolder;  // folder of the executable, without trailing "\"
};

// One file of a profile's copy-files block.
struct CopyEntry {
  std::string source;       // name in the games folder
  std::string destination;  // path relative to the game folder
};

// The commands of a profile's custom block, each with a table of its own.
enum class CustomCommand { Delete, Modify, Append, Replace, Ini, Registry };
constexpr size_t kCustomCommands = 6;
// A command's entries, each holding its fields in line order (field k at k - 1).
using EntryTable = std::vector<std::vector<std::string>>;

// Tip texts of the notification icon.
extern const char* const kTipIdle;       // "Thalix Monitor"
extern const char* const kTipSuspended;  // "Thalix Monitor - Suspended"
extern const char* const kTipWatching;   // "Thalix Monitor - Watching: "
extern const char* const kProgramTitle;  // "Thalix Monitor", the default box title

constexpr int kSuspendedInterval = 2500;  // ms between ticks while suspended
constexpr int kWaitCycle = 250;           // ms per cycle while a game runs

class MainForm : public Commands {
 public:
  MainForm(SystemSeam sys, Desktop& desktop);

  SystemSeam& sys() { return sys_; }
  Desktop& desktop() { return desktop_; }
  MonitorState state;
  DebugList debugList;
  ProfileSettings profile;  // read by each activation, kept until the next

  // --- start-up (monitor/Startup.cpp)
  void Form_Load();
  [[noreturn]] void StartError();
  // Names the system; on a refused system shows the refusal box and ends
  // the program without the closing sequence.
  std::string CheckOSVersion();

  // --- watch list (monitor/WatchList.cpp)
  void BuildWatchList();
  // The first watch entry, in list order, whose executable is exeName
  // (ignoring case); null when none is.
  const WatchEntry* FindWatchEntry(const std::string& exeName) const;

  // --- watch loop (monitor/WatchLoop.cpp)
  void tmrMonitor_Timer();
  std::vector<ProcessRow> ListProcessTable();
  std::string ReadGameIni(const std::string& section, const std::string& key);
  // Reads the profile at profilePath and activates it for the game exeName
  // in gameFolder; false, with a debug line, when the profile cannot be read.
  bool ActivateProfile(const std::string& profilePath, const std::string& exeName,
                       const std::string& gameFolder, uint32_t processId);

  // --- tray (tray/)
  void mPopupSuspend_Click();
  void cmdSuspend_Click() { mPopupSuspend_Click(); }
  void Suspend();
  void mPopupExit_Click() { Form_Unload(); }
  void cmdExit_Click() { Form_Unload(); }
  [[noreturn]] void Form_Unload();
  void SetIcon(IconMessage message, IconImage image, const std::string& tip);
  // The popup menu's model as it stands now.
  std::vector<MenuItem> PopupMenuItems() const;
  void mAbout_Click();
  void mnuStartup_Click();
  bool SuspendChecked() const { return suspendChecked_; }

  // --- companion tools (tray/CompanionTools.cpp)
  void mnuZephEvent_Click();
  void mWebUpdate_Click();
  void mCustomize_Click();
  bool EventToggleChecked() const { return eventToggleChecked_; }
  int TimerInterval() const { return timerInterval_; }

  // --- activation and companions (activation/)
  void WYNActivate();
  void CloseZephEvent();
  void ResetController();

  // --- path helpers (setup/PathHelpers.cpp)
  // varCopyUp resolved against varPathUp (the game folder + "\"); "ERROR"
  // when it climbs above the drive.
  std::string CheckRelativePath(std::string varPathUp, std::string varCopyUp);
  // Creates every missing folder of buildPath; removes one trailing "\".
  void BuildFolders(std::string& buildPath);

  // --- end-of-game pass (setup/)
  void WriteStuff();
  // strJoyCheck with its placeholders replaced by the last activation's
  // buttons and motion aliases.
  std::string CheckForJoy(std::string strJoyCheck) const;
  // The custom block's operations: each carries out every entry of its
  // table and is false when one of them failed (its debug line says why).
  bool ExecDelete();
  bool ExecModify();
  bool ExecAppend();
  bool ExecReplace();
  bool ExecIni();
  bool ExecRegistry();
  EntryTable& Entries(CustomCommand command) { return entryTables_[static_cast<size_t>(command)]; }
  // Set while the marker file shows this profile revision set up already:
  // then only the entries flagged "ALWAYS" run.
  bool alreadyConfigured = false;
  std::vector<CopyEntry> copyList;
  // Told what the pass reads and decides (a check tool's); null in the monitor.
  SetupObserver* setupObserver = nullptr;
  // Records each change of a pass before it is made (the monitor's, set in
  // main.cpp); null: the pass runs unrecorded.
  SetupJournal* setupJournal = nullptr;

  // Commands arriving through message processing.
  void OnTimer() override { tmrMonitor_Timer(); }
  void OnExit() override { cmdExit_Click(); }
  void OnSuspendToggle() override { cmdSuspend_Click(); }
  void OnIconActivated() override { mCustomize_Click(); }
  // The menu, the main window brought forward first.
  void OnMenuRequested() override;
  void OnMenuCommand(MenuEntry entry) override;

 private:
  // Holds off the watch timer while a routine that changes the mode or the
  // controller runs: its waits keep messages flowing, and a tick in the
  // middle would read a mode that is about to change.
  class Busy {
   public:
    explicit Busy(MainForm& form) : form_(form) { ++form_.busy_; }
    ~Busy() { --form_.busy_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    MainForm& form_;
  };

  void SetTimerInterval(int ms);
  [[noreturn]] void EndProgram();
  bool AnotherCopyRunning();
  [[noreturn]] void ShutDownOnModeChange();
  void LogSuspended();
  void LogResumed();
  void PrepareSettingsFile();
  // Finds a watched game in table, records it and activates it; false when
  // none can be.
  bool ActivateGameFrom(const std::vector<ProcessRow>& table, std::unique_ptr<ProcessHandle>* game);
  void ReadProfileSettings();
  bool ReadProfileMaps();
  void WriteEventSettings();
  void RunCommandScript();
  // Runs each command through the control utility, in order, each waited
  // for, while keepGoing() holds. Failures are debug lines in debug mode.
  void RunControlCommands(const std::vector<std::string>& commands,
                          const std::function<bool()>& keepGoing);
  int RunAndWait(const std::string& commandLine, bool noWait, SystemError* err = nullptr);
  // The activation started at suspend count `epoch` may go on sending.
  bool ActivationMayGoOn(uint64_t epoch) const;

  // --- end-of-game pass (setup/)
  // The copy and custom blocks and the marker; true when the pass passed.
  bool RunSetupPass();
  // The marker file is current for this profile; deletes one that is not.
  bool MarkerIsCurrent(const std::string& marker);
  void WriteMarker(const std::string& marker);
  bool RunCopySection();
  bool CopySectionFiles();
  bool RunCustomSection();
  // Runs work on each entry of command's table that the skip test lets
  // through (alwaysField: the field that may say "ALWAYS").
  bool RunEntries(CustomCommand command, size_t alwaysField,
                  const std::function<bool(const std::vector<std::string>& fields)>& work);
  // DELETE, MODIFY and REPLACE: rewrite edits each target that is there,
  // and a failure is logged with what.
  using Rewriter = std::function<bool(const std::string& path,
                                      const std::vector<std::string>& fields, SystemError* err)>;
  bool RunRewrites(CustomCommand command, const char* what, const Rewriter& rewrite);
  // "Error <code><what><subject>", then "  <target>: <why>" (the line alone
  // may name only a pattern), and false.
  bool LogOperationError(const char* what, const std::string& subject, const std::string& target,
                         const SystemError& why);
  // BuildFolders for each folder of path, from the innermost out.
  void BuildFoldersFor(const std::string& path);
  // The target of an operation: field 1 resolved against the game folder.
  std::string TargetPath(const std::string& field);

  SystemSeam sys_;
  Desktop& desktop_;
  std::array<EntryTable, kCustomCommands> entryTables_;
  int customFailure_ = 0;     // code of the custom pass's failure, 0 when none is pending
  bool startEvent_ = false;   // the event utility is started by this activation
  bool tickRunning_ = false;  // a tick never nests in another
  int busy_ = 0;              // nor runs while a Busy routine does
  bool startedOnce_ = false;  // start-up has run to its end at least once
  bool iconAdded_ = false;
  bool suspendChecked_ = false;      // check mark of the Suspend menu entry
  bool eventToggleChecked_ = false;  // check mark of the mouse toggle
  std::unique_ptr<StartUpForm> startUpForm_;
  bool killRequested_ = false;
  int instanceState_ = -1;  // -1 not asked yet, 0 alone, 1 another copy runs
  int timerInterval_ = 0;
  // Counts the suspends: an activation or a wait that began before the
  // latest suspend stops, even when a resume has followed.
  uint64_t suspendCount_ = 0;
  IconImage iconImage_ = IconImage::Monitoring;
  std::string iconTip_;
  // The game profile of the activation under way, read from disk once.
  std::unique_ptr<IniReader> gameProfile_;
  // Lower-cased executable name -> index of its first watch entry.
  std::unordered_map<std::string, size_t> watchIndex_;
  // Games that were listed but cannot be watched (their process cannot be
  // opened, their profile cannot be read): not tried again while they run.
  std::set<uint32_t> skippedGames_;
};

}  // namespace zeph

#include "check/ProfileCheck.h"

#include "activation/Activation.h"
#include "companion/Companions.h"
#include "monitor/WatchList.h"
#include "setup/Placeholders.h"
#include "setup/SetupPass.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"
#include "tray/recording/RecordingDesktop.h"

namespace zeph {

namespace {

// "" when source is inside the program's games folder, else where it leads.
std::string OutsideGames(Files& files, const std::string& programFolder,
                         const std::string& source) {
  for (const std::string& part : SplitAt(source.substr(programFolder.size()), '\\'))
    if (part == "..") return "a path that climbs out of it";
  const std::string games = PathKey(files.ResolvedPath(programFolder + "\\games")) + "\\";
  const std::string resolved = files.ResolvedPath(source);
  if (PathKey(resolved).compare(0, games.size(), games) == 0) return "";
  return "really " + resolved;
}

}  // namespace

namespace {

const char* const kProfileExt = ".wyn";

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && EqualsNoCase(text.substr(text.size() - end.size()), end);
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines = SplitAt(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

// Hands each custom line its effects: what the run did between that line
// and the next.
class LineObserver final : public SetupObserver {
 public:
  LineObserver(const DryRunSystem& dry, SetupCheck& setup, bool configured)
      : dry_(dry), setup_(setup), configured_(configured) {}

  void MarkerChecked(const std::string& path, bool exists, bool* current) override {
    setup_.marker = path;
    setup_.markerExists = exists;
    setup_.markerCurrent = *current;
    if (configured_) *current = true;
  }
  void CustomLine(const std::string& line, CustomLineStatus status,
                  const std::vector<std::string>& entry) override {
    Close();
    LineCheck check;
    check.line = line;
    check.status = status;
    check.entry = entry;
    for (const std::string& field : entry) {
      if (check.outOfRange.empty()) check.outOfRange = OutOfRangePlaceholder(field);
    }
    setup_.lines.push_back(check);
    open_ = true;
  }
  void EntryDecided(bool runs) override {
    if (!open_ || setup_.lines.back().decided) return;
    setup_.lines.back().decided = true;
    setup_.lines.back().runs = runs;
  }

  // The effects up to now go to the open line, or (before the first line)
  // to the copies.
  void Close() {
    std::vector<Effect>& to = open_ ? setup_.lines.back().effects : setup_.copyEffects;
    const auto& all = dry_.Effects();
    for (; taken_ < all.size(); ++taken_) to.push_back(all[taken_]);
  }
  void Start() { taken_ = dry_.Effects().size(); }
  void Finish() {
    Close();
    open_ = false;
  }

 private:
  const DryRunSystem& dry_;
  SetupCheck& setup_;
  bool configured_;
  bool open_ = false;
  size_t taken_ = 0;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The check has no icon whose tip would change.
class NoIcon final : public WatchStatus {
 public:
  void WatchStarted(const Game&) override {}
  void WatchEnded() override {}
};

}  // namespace

CheckReport CheckProfile(SystemSeam real, const CheckOptions& options) {
  CheckReport report;
  report.profile = options.profile;
  const std::string profileName = GetFileOnly(options.profile);
  const std::string profileFolder = GetPathOnly(options.profile);
  report.programFolder =
      options.programFolder.empty() ? FolderOf(FolderOf(options.profile)) : options.programFolder;

  DryRunOptions dryOptions;
  dryOptions.programFolder = report.programFolder;
  dryOptions.pathsIgnoreCase = !options.posixErrors;
  dryOptions.errors = options.posixErrors ? DryRunErrors::Posix() : DryRunErrors::Windows();
  DryRunSystem dry(real, dryOptions);
  SystemSeam seam = dry.Seam();
  // The monitor's own components, in debug mode, monitoring.
  RecordingDesktop desktop;         // boxes answered with their default button
  desktop.dropsDebugLines = false;  // the report takes the lines by their position
  DebugList debugList(desktop);
  debugList.SetDebugMode(true);
  ModeChannel modes(seam.program, seam.files, seam.ini);
  modes.SetCurrent(Mode::Active);
  CompanionControl companions(seam.program, seam.processes, seam.loop, debugList);
  NoIcon icon;
  Activation activator(seam.program, seam.files, seam.ini, seam.loop, debugList, companions, modes,
                       icon);
  SetupPass pass(seam.program, seam.files, seam.ini, seam.registry, seam.loop, desktop, debugList,
                 companions, icon);
  const std::string monitorProfiles = report.programFolder + "\\wyn\\";

  // --- the watch list
  WatchCheck& watch = report.watch;
  watch.inProfileFolder = EqualsNoCase(profileFolder, monitorProfiles);
  if (!watch.inProfileFolder)
    report.notes.push_back("the profile is not in the program folder's profile folder " +
                           monitorProfiles + ": the monitor does not see it there");
  if (!seam.files.IsFile(options.profile)) {
    report.problems.push_back("the profile " + options.profile + " cannot be found");
    return report;
  }
  const ProfileWatch read = ReadProfileWatch(seam.ini, options.profile, profileName, kProfileExt);
  watch.used = read.test == ProfileTest::Usable;
  watch.failedTest = ProfileTestName(read.test);
  watch.executables = read.names;
  watch.leftOut = read.leftOut;
  switch (read.test) {
    case ProfileTest::Usable: break;
    case ProfileTest::Extension: watch.value = profileName; break;
    case ProfileTest::HideFile:
      watch.value = ReadIni(seam.ini, options.profile, "CONFIGURATION", "HIDE_FILE");
      break;
    case ProfileTest::Version:
      watch.value = ReadIni(seam.ini, options.profile, "VERSION", "VERSION");
      break;
    case ProfileTest::Executable: watch.value = read.executable; break;
  }
  // A hidden profile is hidden on purpose; the other tests fail by mistake.
  if (!watch.used && read.test != ProfileTest::HideFile)
    report.problems.push_back("the monitor does not watch for this profile's game: " +
                              watch.failedTest + " is " + Quoted(watch.value));
  // A hidden profile is never activated: there is nothing more to show.
  if (read.test == ProfileTest::HideFile) return report;
  if (!watch.leftOut.empty())
    report.problems.push_back("the EXECUTABLE value is longer than " +
                              std::to_string(kIniBufferSize - 1) + " characters: " + watch.leftOut +
                              " is left out");

  // --- the activation, as when the first executable starts
  ActivationCheck& activation = report.activation;
  activation.exe = watch.executables.empty() ? "" : watch.executables.front();
  std::string gameFolder = options.gameFolder;
  if (gameFolder.empty()) {
    // A folder of nothing, known to the overlay only.
    gameFolder = report.programFolder + "\\zephcheck-empty-game-folder";
    for (int n = 2; seam.files.IsFolder(gameFolder) || seam.files.IsFile(gameFolder); ++n)
      gameFolder = report.programFolder + "\\zephcheck-empty-game-folder-" + std::to_string(n);
    seam.files.MakeFolder(gameFolder, nullptr);
    report.setup.emptyGameFolder = true;
  }
  report.setup.gameFolder = gameFolder;

  size_t effectsBefore = dry.Effects().size();
  size_t linesBefore = desktop.debugLines.size();
  MaybeStop stop;
  const bool activated =
      activator.ActivateProfile(options.profile, activation.exe, gameFolder, 0, &stop);
  for (size_t i = effectsBefore; i < dry.Effects().size(); ++i) {
    const Effect& e = dry.Effects()[i];
    if (e.kind == Effect::Kind::IniWritten) activation.settings.push_back(e);
    if (e.kind == Effect::Kind::FileWritten &&
        EndsWithNoCase(e.path, std::string("\\") + kCommandScriptFile))
      activation.scriptLines = TextLines(e.after);
    if (e.kind == Effect::Kind::ProgramStarted) {
      if (e.command.find(kControlUtility) != std::string::npos)
        activation.controlCalls.push_back(e.command);
      if (e.command.find(kEventUtility) != std::string::npos) activation.eventUtilityStarts = true;
    }
  }
  activation.debugLines.assign(desktop.debugLines.begin() + static_cast<long>(linesBefore),
                               desktop.debugLines.end());
  if (stop) {
    if (stop->box) activation.endBox = CheckBox{stop->box->title, stop->box->text};
    report.problems.push_back(
        "the monitor ends at the activation" +
        (activation.endBox ? ": box " + Quoted(activation.endBox->text) : std::string()));
    return report;
  }
  if (!activated) {
    report.problems.push_back(activation.debugLines.empty() ? "the profile cannot be read"
                                                            : activation.debugLines.back());
    return report;
  }
  for (const std::string& line : activation.debugLines) {
    if (line.rfind("Command not sent", 0) == 0 || line.rfind("Error", 0) == 0)
      report.problems.push_back(line);
  }

  // --- the end of the game
  SetupCheck& setup = report.setup;
  const ProfileSettings& profile = activator.Profile();
  setup.runs = profile.custom.isTrue || profile.copyFiles.isTrue;
  LineObserver observer(dry, setup, options.configured);
  pass.SetObserver(&observer);
  const size_t boxesBefore = desktop.boxes.size();
  linesBefore = desktop.debugLines.size();
  observer.Start();
  Game game = activator.CurrentGame();
  // Its registry values and drive paths are then the prefix's, read through its wine.
  game.wine.prefix = options.winePrefix;
  pass.WriteStuff(game, profile);
  observer.Finish();
  pass.SetObserver(nullptr);
  // The controller's reset opens the pass; its calls are the activation's kind.
  std::vector<Effect> kept;
  for (Effect& e : setup.copyEffects) {
    if (e.kind != Effect::Kind::ProgramStarted) kept.push_back(std::move(e));
  }
  setup.copyEffects.swap(kept);
  // The marker written after the last line belongs to the pass's end.
  if (!setup.lines.empty()) {
    std::vector<Effect>& last = setup.lines.back().effects;
    for (size_t i = 0; i < last.size(); ++i) {
      if (EqualsNoCase(last[i].path, setup.marker)) {
        setup.endEffects.assign(last.begin() + static_cast<long>(i), last.end());
        last.resize(i);
        break;
      }
    }
  }

  for (const CopyEntry& entry : pass.CopyList()) {
    if (entry.source.empty() && entry.destination.empty()) continue;
    CopyCheck copy;
    copy.source = report.programFolder + "\\games\\" + entry.source;
    copy.destination = pass.Paths().CheckRelativePath(gameFolder + "\\", entry.destination);
    copy.sourceExists = real.files.IsFile(copy.source);
    const std::string outside = OutsideGames(real.files, report.programFolder, copy.source);
    if (!outside.empty())
      report.problems.push_back("the copy source " + copy.source + " is " + outside +
                                ", outside the program's games folder");
    else if (!copy.sourceExists)
      report.problems.push_back("the copy source " + copy.source + " is missing");
    setup.copies.push_back(copy);
  }
  for (size_t i = boxesBefore; i < desktop.boxes.size(); ++i)
    setup.boxes.push_back({desktop.boxes[i].title, desktop.boxes[i].text});
  setup.debugLines.assign(desktop.debugLines.begin() + static_cast<long>(linesBefore),
                          desktop.debugLines.end());

  setup.passed = true;
  for (const std::string& line : setup.debugLines) {
    const bool failed = line.rfind("Error ", 0) == 0 ||
                        line.rfind("Copy/Custom section error", 0) == 0 ||
                        line.rfind("Could not copy ", 0) == 0;
    if (failed) {
      setup.passed = false;
      if (setup.failure.empty()) setup.failure = line;
    } else if (line.rfind("Could not ", 0) == 0) {
      report.problems.push_back(line);
    }
  }
  for (const CheckBox& box : setup.boxes) {
    if (box.text.rfind("Could not copy file: ", 0) == 0) {
      setup.passed = false;
      setup.failure = box.text;
    }
  }
  int number = 0;
  for (const LineCheck& line : setup.lines) {
    ++number;
    const std::string where = "custom line " + std::to_string(number);
    switch (line.status) {
      case CustomLineStatus::Parsed: break;
      case CustomLineStatus::UnknownWord:
        report.problems.push_back(where + ": the command word " +
                                  Quoted(line.entry.size() > 1 ? line.entry[1] : "") +
                                  " is unknown; the line is passed over");
        break;
      case CustomLineStatus::Empty:
        setup.passed = false;
        if (setup.failure.empty()) setup.failure = where + " is empty and ends the custom block";
        break;
      case CustomLineStatus::ShortField:
      case CustomLineStatus::NoCommandWord:
      case CustomLineStatus::TooManyFields: break;  // their code is in the debug lines
    }
    if (!line.outOfRange.empty())
      report.problems.push_back(where + ": the placeholder " + Quoted(line.outOfRange) +
                                " names no button or motion and stays as it is");
  }
  if (!setup.passed) report.problems.push_back("the end-of-game pass fails: " + setup.failure);
  return report;
}

}  // namespace zeph

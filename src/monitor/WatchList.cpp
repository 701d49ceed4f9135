// The watch list: one entry for each executable that a usable profile names.
#include "monitor/WatchList.h"

#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

// Long enough for any EXECUTABLE value a profile line can hold in practice;
// only used to tell whether the 254 characters of the usual read were all.
constexpr size_t kLongReadBuffer = 32767;

}  // namespace

const char* ProfileTestName(ProfileTest test) {
  switch (test) {
    case ProfileTest::Usable: return "";
    case ProfileTest::Extension: return "extension";
    case ProfileTest::HideFile: return "HIDE_FILE";
    case ProfileTest::Version: return "VERSION";
    case ProfileTest::Executable: return "EXECUTABLE";
  }
  return "";
}

ProfileTest TestProfile(const std::string& name, const std::string& ext, const std::string& hide,
                        const std::string& version, const std::string& executable) {
  if (name.size() < ext.size() || !EqualsNoCase(name.substr(name.size() - ext.size()), ext))
    return ProfileTest::Extension;
  if (!EqualsNoCase(hide, "FALSE")) return ProfileTest::HideFile;
  if (!EqualsNoCase(version, "6.1")) return ProfileTest::Version;
  if (executable.empty()) return ProfileTest::Executable;
  return ProfileTest::Usable;
}

// The reader has removed one enclosing pair of quotes; wrapping the value in
// quotes again and splitting at the commas gives parts that each carry their
// own quotes.
std::vector<std::string> ExecutableNames(const std::string& value) {
  std::vector<std::string> parts = SplitAt("\"" + value + "\"", ',');
  if (parts.size() == 1) return {value};

  std::vector<std::string> names;
  for (const std::string& part : parts) {
    std::string trimmed = Trim(part);
    // An empty item ends the list; so does a part too short to hold its quotes.
    if (trimmed.size() <= 2) break;
    names.push_back(trimmed.substr(1, trimmed.size() - 2));
  }
  return names;
}

ProfileWatch ReadProfileWatch(IniFiles& ini, const std::string& path, const std::string& name,
                              const std::string& ext) {
  ProfileWatch watch;
  std::string hide = ReadIni(ini, path, "CONFIGURATION", "HIDE_FILE");
  std::string version = ReadIni(ini, path, "VERSION", "VERSION");
  watch.executable = ReadIni(ini, path, "CONFIGURATION", "EXECUTABLE");
  watch.test = TestProfile(name, ext, hide, version, watch.executable);
  if (watch.test != ProfileTest::Usable) return watch;

  watch.executable = ReadIni(ini, path, "CONFIGURATION", "EXECUTABLE");
  watch.names = ExecutableNames(watch.executable);
  // A value cut by the read ends in a part of a name, which would watch
  // for a program nobody meant: leave that last item out.
  if (watch.executable.size() == kIniBufferSize - 1 && !watch.names.empty()) {
    std::vector<std::string> whole = ExecutableNames(
        ini.ReadString(path, "CONFIGURATION", "EXECUTABLE", kIniMissing, kLongReadBuffer));
    if (whole.size() < watch.names.size() || whole[watch.names.size() - 1] != watch.names.back()) {
      watch.leftOut = watch.names.back();
      watch.names.pop_back();
    }
  }
  return watch;
}

MaybeStop MainForm::BuildWatchList() {
  state_.WatchList.clear();
  watchIndex_.clear();

  if (debugList_.DebugMode()) {
    debugList_.Add("Building watch list...");
    debugList_.Add("--------");
  }

  std::vector<std::string> files;
  sys_.files.List(state_.ProfileFolder, &files, nullptr);  // an unreadable folder lists nothing
  for (const std::string& name : files) {
    ProfileWatch watch =
        ReadProfileWatch(sys_.ini, state_.ProfileFolder + name, name, state_.ProfileExt);
    if (watch.test != ProfileTest::Usable) continue;
    if (!watch.leftOut.empty() && debugList_.DebugMode())
      debugList_.Add(name + " - " + watch.leftOut + " left out: the EXECUTABLE value is " +
                     "longer than " + std::to_string(kIniBufferSize - 1) + " characters");
    for (const std::string& exe : watch.names) {
      if (state_.WatchList.size() >= kMaxWatchEntries) break;
      watchIndex_.emplace(ToLower(exe), state_.WatchList.size());  // keeps the first
      state_.WatchList.push_back({name, exe});
      debugList_.Add(name + " - " + exe);
    }
  }

  if (state_.WatchList.empty())
    return Stop::WithBox(Stop::Way::Closing,
                         "No configuration files found in folder " + state_.ProfileFolder,
                         "Critical Error");

  if (debugList_.DebugMode()) {
    debugList_.Add("--------");
    debugList_.Add("Successfully added " + std::to_string(state_.WatchList.size()) +
                   " items to the watch list.");
    debugList_.Add("");
    debugList_.SelectBeforeLast();
  }
  return std::nullopt;
}

const WatchEntry* MainForm::FindWatchEntry(const std::string& exeName) const {
  auto it = watchIndex_.find(ToLower(exeName));
  return it == watchIndex_.end() ? nullptr : &state_.WatchList[it->second];
}

}  // namespace zeph

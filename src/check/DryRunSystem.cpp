#include "check/DryRunSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "system/IniText.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

// The default of an INI read that no value can equal: values end at a line end.
const char* const kNoValue = "\n";
constexpr size_t kWholeValue = 1 << 16;

std::optional<std::string> IniValueIn(const std::string& contents, const std::string& section,
                                      const std::string& key) {
  std::string value = ini::GetString(contents, section, key, kNoValue, kWholeValue);
  if (value == kNoValue) return std::nullopt;
  return value;
}

bool IsRoot(const std::string& folder) {
  return folder == "\\" || (folder.size() == 3 && folder[1] == ':' && folder[2] == '\\');
}

// The folder path is in: "\" for a file at the root, "X:\" for one on a drive.
std::string ParentOf(std::string path) {
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  std::string folder = FolderOf(path);
  if (folder.empty() && !path.empty() && path[0] == '\\') return "\\";
  if (folder.size() == 2 && folder[1] == ':') return folder + "\\";
  return folder;
}

// "Software\\Zeph\\" and "Software\\\\Zeph" are one key, as the registry sees them.
std::string ValueKey(RegRoot root, const std::string& subkey, const std::string& name) {
  std::string key = std::to_string(static_cast<uint32_t>(root));
  for (const std::string& part : SplitAt(subkey, '\\'))
    if (!part.empty()) key += "\\" + ToLower(part);
  return key + '\0' + ToLower(name);
}

// Reads a copy of the contents it was opened with.
class MemoryReader final : public FileReader {
 public:
  explicit MemoryReader(std::string contents) : contents_(std::move(contents)) {}
  bool Read(char* out, size_t size, size_t* got, SystemError*) override {
    *got = std::min(size, contents_.size() - offset_);
    std::copy_n(contents_.data() + offset_, *got, out);
    offset_ += *got;
    return true;
  }

 private:
  std::string contents_;
  size_t offset_ = 0;
};

class MemoryIniReader final : public IniReader {
 public:
  explicit MemoryIniReader(std::string contents) : contents_(std::move(contents)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize) override {
    return ini::GetString(contents_, section, key, def, bufferSize);
  }

 private:
  std::string contents_;
};

// A reader over a file the overlay holds; Missing when the run removed it.
template <typename Base, typename Reader, typename Entry>
std::unique_ptr<Base> OpenHeld(const Entry& entry, const DryRunErrors& errors, ReadResult* result,
                               SystemError* err) {
  if (!entry.exists) {
    *result = ReadResult::Missing;
    Fail(err, errors.fileNotFound);
    return nullptr;
  }
  *result = ReadResult::Ok;
  return std::make_unique<Reader>(entry.contents);
}

}  // namespace

DryRunErrors DryRunErrors::Windows() {
  return {{2, "The system cannot find the file specified."},
          {3, "The system cannot find the path specified."},
          {183, "Cannot create a file when that file already exists."},
          {5, "Access is denied."}};
}

DryRunErrors DryRunErrors::Posix() {
  return {{ENOENT, std::strerror(ENOENT)},
          {ENOENT, std::strerror(ENOENT)},
          {EEXIST, std::strerror(EEXIST)},
          {EISDIR, std::strerror(EISDIR)}};
}

class DryRunSystem::OverlayProgram final : public Program {
 public:
  explicit OverlayProgram(DryRunSystem& d) : d_(d) {}
  std::string Folder() override {
    return d_.options_.programFolder.empty() ? d_.real_.program.Folder()
                                             : d_.options_.programFolder;
  }
  std::string ExeName() override { return d_.real_.program.ExeName(); }
  std::string Arguments() override { return d_.real_.program.Arguments(); }
  // Asking the real one would make this copy count for later copies.
  bool AnotherInstanceRunning() override { return false; }
  [[noreturn]] void End() override { throw ProgramEnded{}; }
  OsVersion Version() override { return d_.real_.program.Version(); }
  std::string DataFolder() override { return d_.real_.program.DataFolder(); }

 private:
  DryRunSystem& d_;
};

class DryRunSystem::OverlayFiles final : public Files {
 public:
  explicit OverlayFiles(DryRunSystem& d) : d_(d) {}

  bool IsFile(const std::string& path) override { return d_.ViewIsFile(path); }
  bool IsFolder(const std::string& path) override { return d_.ViewIsFolder(path); }

  bool List(const std::string& folder, std::vector<std::string>* names, SystemError* err) override {
    names->clear();
    if (!d_.MadeFolder(folder) && !d_.real_.files.List(folder, names, err)) return false;
    const std::string folderKey = d_.PathKey(folder);
    // Files removed in this run go; files it made come after the real ones.
    std::vector<std::string> keys;
    std::vector<std::string> kept;
    for (const std::string& name : *names) {
      const FileEntry* entry = d_.FindFile(folder + "\\" + name);
      if (entry && !entry->exists) continue;
      kept.push_back(name);
      keys.push_back(d_.PathKey(folder + "\\" + name));
    }
    for (const FileEntry& entry : d_.files_) {
      if (!entry.exists || d_.PathKey(ParentOf(entry.path)) != folderKey) continue;
      const std::string key = d_.PathKey(entry.path);
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
      kept.push_back(GetFileOnly(entry.path));
      keys.push_back(key);
    }
    *names = std::move(kept);
    return true;
  }

  bool MakeEmptyFile(const std::string& path, SystemError* err) override {
    if (d_.ViewIsFile(path)) return true;
    if (!d_.CanCreateFile(path, err)) return false;
    d_.PutFile(path, "");
    return true;
  }

  bool MakeFolder(const std::string& path, SystemError* err) override {
    if (d_.ViewIsFolder(path)) return true;
    if (d_.ViewIsFile(path)) return Fail(err, d_.options_.errors.alreadyExists);
    const std::string parent = ParentOf(path);
    if (parent.empty() || (!IsRoot(parent) && !d_.ViewIsFolder(parent)))
      return Fail(err, d_.options_.errors.pathNotFound);
    d_.folderIndex_[d_.PathKey(path)] = d_.folders_.size();
    d_.folders_.push_back(path);
    Effect e;
    e.kind = Effect::Kind::FolderMade;
    e.path = path;
    d_.effects_.push_back(std::move(e));
    return true;
  }

  // A folder made in the overlay has no permissions to close.
  bool MakePrivateFolder(const std::string& path, SystemError* err) override {
    return MakeFolder(path, err);
  }
  std::string ResolvedPath(const std::string& path) override {
    return d_.real_.files.ResolvedPath(path);
  }

  ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) override {
    if (const FileEntry* entry = d_.FindFile(path)) {
      if (!entry->exists) return ReadResult::Missing;
      *contents = entry->contents;
      return ReadResult::Ok;
    }
    return d_.real_.files.ReadText(path, contents, err);
  }

  bool WriteText(const std::string& path, const std::string& contents, SystemError* err) override {
    if (!d_.CanCreateFile(path, err)) return false;
    d_.PutFile(path, contents);
    return true;
  }

  std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                       SystemError* err) override {
    if (const FileEntry* entry = d_.FindFile(path))
      return OpenHeld<FileReader, MemoryReader>(*entry, d_.options_.errors, result, err);
    return d_.real_.files.OpenRead(path, result, err);
  }

  // Collects the new contents; Commit puts them in the overlay.
  class Work final : public WorkFile {
   public:
    Work(DryRunSystem& d, std::string target) : d_(d), target_(std::move(target)) {}
    bool Write(const char* data, size_t size, SystemError*) override {
      contents_.append(data, size);
      return true;
    }
    // Contents are all the overlay keeps of a file.
    bool TakePermissionsOf(const std::string&, SystemError*) override { return true; }
    bool Commit(SystemError*) override {
      d_.PutFile(target_, std::move(contents_));
      contents_.clear();
      return true;
    }
    // The monitor's routines keep no backups; a journal is not run dry.
    bool CommitKeeping(const std::string&, SystemError* err) override { return Commit(err); }
    std::string Path() const override { return {}; }

   private:
    DryRunSystem& d_;
    std::string target_;
    std::string contents_;
  };

  std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) override {
    if (!d_.CanCreateFile(target, err)) return nullptr;
    return std::make_unique<Work>(d_, target);
  }

  bool Remove(const std::string& path, SystemError* err) override {
    if (!d_.ViewIsFile(path)) {
      return Fail(err, d_.ViewIsFolder(ParentOf(path)) ? d_.options_.errors.fileNotFound
                                                       : d_.options_.errors.pathNotFound);
    }
    Effect e;
    e.kind = Effect::Kind::FileRemoved;
    e.path = path;
    e.existed = true;
    std::string old;
    SystemError ignored;
    if (ReadText(path, &old, &ignored) == ReadResult::Ok) e.before = std::move(old);
    d_.effects_.push_back(std::move(e));
    d_.StoreFile(path, "");
    d_.FindFile(path)->exists = false;
    return true;
  }

  // The real folders: the routines run dry list none, and remove none.
  bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                   SystemError* err) override {
    return d_.real_.files.ListFolders(folder, names, err);
  }
  bool RemoveFolder(const std::string&, SystemError* err) override {
    return Fail(err, d_.options_.errors.isFolder);
  }
  ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) override {
    if (const FileEntry* entry = d_.FindFile(path)) {
      if (!entry->exists) return ReadResult::Missing;
      *size = entry->contents.size();
      return ReadResult::Ok;
    }
    return d_.real_.files.Size(path, size, err);
  }

 private:
  DryRunSystem& d_;
};

class DryRunSystem::OverlayIni final : public IniFiles {
 public:
  explicit OverlayIni(DryRunSystem& d) : d_(d) {}

  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def,
                         size_t bufferSize) override {
    if (const FileEntry* entry = d_.FindFile(file))
      return ini::GetString(entry->exists ? entry->contents : std::string(), section, key, def,
                            bufferSize);
    return d_.real_.ini.ReadString(file, section, key, def, bufferSize);
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, SystemError* err) override {
    std::string current;
    const ReadResult read = d_.filesPart_->ReadText(file, &current, err);
    if (read == ReadResult::Failed) return false;
    if (read == ReadResult::Missing && !d_.CanCreateFile(file, err)) return false;
    Effect e;
    e.kind = Effect::Kind::IniWritten;
    e.path = file;
    e.existed = read == ReadResult::Ok;
    e.section = section;
    e.key = key;
    e.before = IniValueIn(current, section, key);
    e.after = value;
    d_.effects_.push_back(std::move(e));
    d_.StoreFile(file, ini::SetString(current, section, key, value));
    return true;
  }

  std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                  SystemError* err) override {
    if (const FileEntry* entry = d_.FindFile(file))
      return OpenHeld<IniReader, MemoryIniReader>(*entry, d_.options_.errors, result, err);
    return d_.real_.ini.Open(file, result, err);
  }

 private:
  DryRunSystem& d_;
};

class DryRunSystem::OverlayRegistry final : public Registry {
 public:
  explicit OverlayRegistry(DryRunSystem& d) : d_(d) {}

  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError*) override {
    Effect e;
    e.kind = Effect::Kind::RegistrySet;
    e.root = root;
    e.subkey = subkey;
    e.name = name;
    e.oldValue = Current(root, subkey, name, nullptr);
    e.newValue = RegData{type, data};
    d_.effects_.push_back(std::move(e));
    Store(root, subkey, name, RegData{type, data});
    return true;
  }

  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError* err) override {
    auto it = d_.valueIndex_.find(ValueKey(root, subkey, name));
    if (it == d_.valueIndex_.end())
      return d_.real_.registry.QueryValue(root, subkey, name, type, data, err);
    const std::optional<RegData>& value = d_.values_[it->second].value;
    if (!value) return ReadResult::Missing;
    if (type) *type = value->type;
    if (data) *data = value->data;
    return ReadResult::Ok;
  }

  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override {
    SystemError readErr;
    std::optional<RegData> old = Current(root, subkey, name, &readErr);
    if (!old) return Fail(err, readErr.code != 0 ? readErr : d_.options_.errors.fileNotFound);
    Effect e;
    e.kind = Effect::Kind::RegistryDeleted;
    e.root = root;
    e.subkey = subkey;
    e.name = name;
    e.oldValue = std::move(old);
    d_.effects_.push_back(std::move(e));
    Store(root, subkey, name, std::nullopt);
    return true;
  }

 private:
  // The value as a read sees it now; none when it is missing or cannot be read.
  std::optional<RegData> Current(RegRoot root, const std::string& subkey, const std::string& name,
                                 SystemError* err) {
    RegData value;
    SystemError ignored;
    const ReadResult read =
        QueryValue(root, subkey, name, &value.type, &value.data, err ? err : &ignored);
    if (read != ReadResult::Ok) return std::nullopt;
    return value;
  }

  void Store(RegRoot root, const std::string& subkey, const std::string& name,
             std::optional<RegData> value) {
    const std::string key = ValueKey(root, subkey, name);
    auto it = d_.valueIndex_.find(key);
    if (it != d_.valueIndex_.end()) {
      d_.values_[it->second].value = std::move(value);
      return;
    }
    d_.valueIndex_[key] = d_.values_.size();
    d_.values_.push_back({root, subkey, name, std::move(value)});
  }

  DryRunSystem& d_;
};

class DryRunSystem::OverlayProcesses final : public Processes {
 public:
  explicit OverlayProcesses(DryRunSystem& d) : d_(d) {}

  // A program that was never started: it has already ended, with code 0.
  // Looking at it marks its effect as waited for.
  class Ended final : public ProcessHandle {
   public:
    Ended(DryRunSystem& d, size_t effect) : d_(d), effect_(effect) {}
    bool State(bool* running, uint32_t* exitCode, SystemError*) override {
      if (effect_ < d_.effects_.size()) d_.effects_[effect_].waited = true;
      *running = false;
      *exitCode = 0;
      return true;
    }
    intptr_t WaitObject() const override { return -1; }

   private:
    DryRunSystem& d_;
    size_t effect_;
  };

  std::vector<ProcessInfo> List() override { return d_.real_.processes.List(); }

  std::unique_ptr<ProcessHandle> Open(uint32_t pid, SystemError* err) override {
    for (size_t k = 0; k < shown_.size(); ++k)
      if (shown_[k].first == pid) return std::make_unique<Ended>(d_, shown_[k].second);
    return d_.real_.processes.Open(pid, err);
  }

  std::unique_ptr<ProcessHandle> Start(const std::string& commandLine, SystemError*) override {
    const size_t at = Record(Effect::Kind::ProgramStarted, commandLine, kShowHidden);
    return std::make_unique<Ended>(d_, at);
  }

  bool CloseWindowByTitle(const std::string& title) override {
    Effect e;
    e.kind = Effect::Kind::WindowClosed;
    e.title = title;
    d_.effects_.push_back(std::move(e));
    return true;
  }

  bool StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                  SystemError*) override {
    const size_t at = Record(Effect::Kind::ProgramStarted, commandLine, showCommand);
    *pid = nextPid_++;
    shown_.emplace_back(*pid, at);
    return true;
  }

  // A program started here would have its window; no real window is touched.
  bool ActivateMainWindow(uint32_t pid) override {
    return std::any_of(shown_.begin(), shown_.end(),
                       [&](const auto& shown) { return shown.first == pid; });
  }

  bool OpenAddress(const std::string& address, int showCommand, SystemError*) override {
    Record(Effect::Kind::AddressOpened, address, showCommand);
    return true;
  }

 private:
  size_t Record(Effect::Kind kind, const std::string& command, int showCommand) {
    Effect e;
    e.kind = kind;
    e.command = command;
    e.showCommand = showCommand;
    d_.effects_.push_back(std::move(e));
    return d_.effects_.size() - 1;
  }

  DryRunSystem& d_;
  // Ids handed out for programs started with a window, above any real
  // process id of either platform's usual range.
  uint32_t nextPid_ = 0xFFFF0000u;
  std::vector<std::pair<uint32_t, size_t>> shown_;  // pid, its effect
};

class DryRunSystem::OverlayLoop final : public EventLoop {
 public:
  explicit OverlayLoop(DryRunSystem& d) : d_(d) {}
  // No message ever arrives, so there is nothing to call.
  void SetCommands(Commands*) override {}
  void SetTimerInterval(int ms) override {
    Effect e;
    e.kind = Effect::Kind::TimerSet;
    e.intervalMs = ms;
    d_.effects_.push_back(std::move(e));
  }
  void ProcessPendingMessages() override {}
  void Run() override {}
  void WaitForObject(intptr_t, int maxMs) override {
    if (maxMs > 0) d_.elapsedMs_ += maxMs;
  }
  void Sleep(int ms) override {
    if (ms > 0) d_.elapsedMs_ += ms;
  }
  std::string TimeOfDay() override { return "12:00:00"; }

 private:
  DryRunSystem& d_;
};

DryRunSystem::DryRunSystem(SystemSeam real, DryRunOptions options)
    : real_(real),
      options_(std::move(options)),
      programPart_(std::make_unique<OverlayProgram>(*this)),
      filesPart_(std::make_unique<OverlayFiles>(*this)),
      iniPart_(std::make_unique<OverlayIni>(*this)),
      registryPart_(std::make_unique<OverlayRegistry>(*this)),
      processesPart_(std::make_unique<OverlayProcesses>(*this)),
      loopPart_(std::make_unique<OverlayLoop>(*this)) {}

DryRunSystem::~DryRunSystem() = default;

SystemSeam DryRunSystem::Seam() {
  return {*programPart_, *filesPart_, *iniPart_, *registryPart_, *processesPart_, *loopPart_};
}

std::vector<DryRunSystem::OverlayFile> DryRunSystem::FilesAfter() const {
  std::vector<OverlayFile> files;
  for (const FileEntry& entry : files_) files.push_back({entry.path, entry.exists, entry.contents});
  return files;
}

std::vector<std::string> DryRunSystem::FoldersMade() const { return folders_; }

std::vector<DryRunSystem::OverlayValue> DryRunSystem::RegistryAfter() const {
  std::vector<OverlayValue> values;
  for (const ValueEntry& entry : values_)
    values.push_back({entry.root, entry.subkey, entry.name, entry.value});
  return values;
}

ReadResult DryRunSystem::ContentsAfter(const std::string& path, std::string* contents,
                                       SystemError* err) {
  return filesPart_->ReadText(path, contents, err);
}

std::string DryRunSystem::PathKey(const std::string& path) const {
  std::string key;
  for (char c : path) {
    if (c == '/') c = '\\';
    // A doubled separator is one, except the two that begin a network path.
    if (c == '\\' && key.size() > 1 && key.back() == '\\') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == '\\') key.pop_back();
  return options_.pathsIgnoreCase ? ToLower(key) : key;
}

DryRunSystem::FileEntry* DryRunSystem::FindFile(const std::string& path) {
  auto it = fileIndex_.find(PathKey(path));
  return it == fileIndex_.end() ? nullptr : &files_[it->second];
}

bool DryRunSystem::MadeFolder(const std::string& path) const {
  return folderIndex_.count(PathKey(path)) > 0;
}

bool DryRunSystem::ViewIsFile(const std::string& path) {
  if (const FileEntry* entry = FindFile(path)) return entry->exists;
  return !MadeFolder(path) && real_.files.IsFile(path);
}

bool DryRunSystem::ViewIsFolder(const std::string& path) {
  if (MadeFolder(path)) return true;
  const FileEntry* entry = FindFile(path);
  return !(entry && entry->exists) && real_.files.IsFolder(path);
}

bool DryRunSystem::CanCreateFile(const std::string& path, SystemError* err) {
  if (ViewIsFolder(path)) return Fail(err, options_.errors.isFolder);
  const std::string parent = ParentOf(path);
  if (parent.empty() || !ViewIsFolder(parent)) return Fail(err, options_.errors.pathNotFound);
  return true;
}

void DryRunSystem::PutFile(const std::string& path, std::string contents) {
  Effect e;
  e.kind = Effect::Kind::FileWritten;
  e.path = path;
  std::string old;
  SystemError ignored;
  switch (filesPart_->ReadText(path, &old, &ignored)) {
    case ReadResult::Ok:
      e.existed = true;
      e.before = std::move(old);
      break;
    case ReadResult::Missing: break;
    case ReadResult::Failed: e.existed = true; break;
  }
  e.after = contents;
  effects_.push_back(std::move(e));
  StoreFile(path, std::move(contents));
}

void DryRunSystem::StoreFile(const std::string& path, std::string contents) {
  if (FileEntry* entry = FindFile(path)) {
    entry->exists = true;
    entry->contents = std::move(contents);
    return;
  }
  fileIndex_[PathKey(path)] = files_.size();
  files_.push_back({path, true, std::move(contents)});
}

}  // namespace zeph

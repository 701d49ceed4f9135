#include "check/DryRunSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "check/LineDiff.h"
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

// Versions up to this size stay in memory; larger ones go to a scratch file.
constexpr size_t kHeldInMemory = 64 * 1024;
constexpr size_t kPiece = 64 * 1024;

// A new, empty scratch file in folder (empty: the system's temporary
// folder), open for writing and reading. Where an open file can be removed
// from its folder (POSIX) it is at once, and lives on as the open file
// alone; elsewhere *removeAtClose names it, to remove once it is closed.
std::FILE* OpenScratch(const std::string& folder, std::string* removeAtClose) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path dir = folder.empty() ? fs::temp_directory_path(ec) : fs::path(folder);
  if (ec) return nullptr;
  static std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 20; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "zephcheck-%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    const std::string path = (dir / name).string();
    if (fs::exists(path, ec) || ec) continue;
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (!file) continue;
    if (std::remove(path.c_str()) != 0) *removeAtClose = path;
    return file;
  }
  return nullptr;
}

// Up to limit bytes of a reader; false when it holds more or cannot be read.
bool ReadUpTo(FileReader& in, size_t limit, std::string* out) {
  out->clear();
  for (;;) {
    const size_t had = out->size();
    out->resize(had + kPiece);
    size_t got = 0;
    SystemError ignored;
    if (!in.Read(&(*out)[had], kPiece, &got, &ignored)) return false;
    out->resize(had + got);
    if (got == 0) return true;
    if (out->size() > limit) return false;
  }
}

class EmptyReader final : public FileReader {
 public:
  bool Read(char*, size_t, size_t* got, SystemError*) override {
    *got = 0;
    return true;
  }
};

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

// The bytes of one version of a file: in memory while small, in a scratch
// file of their own once larger, so the overlay holds no whole copy of a
// large file per change. Written once, then only read.
class DryRunSystem::HeldText {
 public:
  explicit HeldText(std::string scratchFolder) : scratchFolder_(std::move(scratchFolder)) {}
  ~HeldText() {
    if (file_) std::fclose(file_);
    if (!removeAtClose_.empty()) std::remove(removeAtClose_.c_str());
  }
  HeldText(const HeldText&) = delete;
  HeldText& operator=(const HeldText&) = delete;

  bool Append(const char* data, size_t size, SystemError* err) {
    if (!file_ && memory_.size() + size > kHeldInMemory) {
      // Past the size kept in memory: to a scratch file, when one can be
      // made (otherwise the version stays in memory).
      file_ = OpenScratch(scratchFolder_, &removeAtClose_);
      if (file_ && !WriteAll(memory_.data(), memory_.size(), err)) return false;
      if (file_) std::string().swap(memory_);
    }
    if (file_) {
      if (!WriteAll(data, size, err)) return false;
    } else {
      memory_.append(data, size);
    }
    size_ += size;
    return true;
  }

  uint64_t Size() const { return size_; }

  // A reader from the start; it keeps the version alive while it reads.
  static std::unique_ptr<FileReader> Open(const Held& held) {
    if (!held->file_) return std::make_unique<Reader>(held);
    auto reader = std::make_unique<Reader>(held);
    std::rewind(held->file_);
    std::fgetpos(held->file_, &reader->pos_);
    return reader;
  }

  bool ReadAll(std::string* out, SystemError* err) const {
    if (!file_) {
      *out = memory_;
      return true;
    }
    out->assign(static_cast<size_t>(size_), '\0');
    std::rewind(file_);
    if (std::fread(&(*out)[0], 1, out->size(), file_) == out->size()) return true;
    out->clear();
    return Fail(err, EIO, "cannot read the check's scratch file");
  }

 private:
  // Each reader keeps its own place in the shared scratch file.
  class Reader final : public FileReader {
   public:
    explicit Reader(Held held) : held_(std::move(held)) {}
    bool Read(char* out, size_t size, size_t* got, SystemError* err) override {
      std::FILE* file = held_->file_;
      if (!file) {
        *got = held_->memory_.copy(out, size, static_cast<size_t>(offset_));
        offset_ += *got;
        return true;
      }
      if (std::fsetpos(file, &pos_) != 0)
        return Fail(err, EIO, "cannot read the check's scratch file");
      *got = std::fread(out, 1, size, file);
      if (*got < size && std::ferror(file))
        return Fail(err, EIO, "cannot read the check's scratch file");
      std::fgetpos(file, &pos_);
      return true;
    }
    std::fpos_t pos_{};

   private:
    Held held_;
    uint64_t offset_ = 0;
  };

  bool WriteAll(const char* data, size_t size, SystemError* err) {
    if (size == 0) return true;
    if (std::fseek(file_, 0, SEEK_END) == 0 && std::fwrite(data, 1, size, file_) == size)
      return true;
    return Fail(err, ENOSPC, "cannot write the check's scratch file");
  }

  std::string scratchFolder_;
  std::string memory_;
  std::FILE* file_ = nullptr;
  std::string removeAtClose_;
  uint64_t size_ = 0;
};

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
  // The check runs no routine that ends the program: those return their
  // reason to stop instead.
  [[noreturn]] void End() override { std::abort(); }
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
      return entry->contents->ReadAll(contents, err) ? ReadResult::Ok : ReadResult::Failed;
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
    if (const FileEntry* entry = d_.FindFile(path)) {
      if (!entry->exists) {
        *result = ReadResult::Missing;
        Fail(err, d_.options_.errors.fileNotFound);
        return nullptr;
      }
      *result = ReadResult::Ok;
      return HeldText::Open(entry->contents);
    }
    return d_.real_.files.OpenRead(path, result, err);
  }

  // Collects the new contents in a version of their own; Commit puts it in
  // the overlay, and a work file dropped before drops it.
  class Work final : public WorkFile {
   public:
    Work(DryRunSystem& d, std::string target)
        : d_(d), target_(std::move(target)), contents_(d.NewVersion()) {}
    bool Write(const char* data, size_t size, SystemError* err) override {
      return contents_->Append(data, size, err);
    }
    // Contents are all the overlay keeps of a file.
    bool TakePermissionsOf(const std::string&, SystemError*) override { return true; }
    bool Commit(SystemError*) override {
      d_.PutVersion(target_, std::move(contents_));
      contents_ = d_.NewVersion();
      return true;
    }
    // The monitor's routines keep no backups; a journal is not run dry.
    bool CommitKeeping(const std::string&, SystemError* err) override { return Commit(err); }
    std::string Path() const override { return {}; }

   private:
    DryRunSystem& d_;
    std::string target_;
    std::shared_ptr<HeldText> contents_;
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
    e.resolved = d_.Resolved(path);
    e.path = path;
    e.existed = true;
    // The old contents, while small.
    ReadResult opened = ReadResult::Failed;
    SystemError ignored;
    std::string old;
    std::unique_ptr<FileReader> in = OpenRead(path, &opened, &ignored);
    if (in && ReadUpTo(*in, kKeptContentsBytes, &old) && d_.KeepContents(old.size())) {
      e.before = std::move(old);
    } else if (in) {
      e.contentsKept = false;
    }
    d_.effects_.push_back(std::move(e));
    d_.StoreFile(path, "");
    d_.FindFile(path)->exists = false;
    d_.FindFile(path)->contents = nullptr;
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
      *size = entry->contents->Size();
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
    if (const FileEntry* entry = d_.FindFile(file)) {
      std::string contents;
      if (entry->exists) entry->contents->ReadAll(&contents, nullptr);
      return ini::GetString(contents, section, key, def, bufferSize);
    }
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
    e.resolved = d_.Resolved(file);
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
    if (const FileEntry* entry = d_.FindFile(file)) {
      std::string contents;
      if (!entry->exists) {
        *result = ReadResult::Missing;
        Fail(err, d_.options_.errors.fileNotFound);
        return nullptr;
      }
      if (!entry->contents->ReadAll(&contents, err)) {
        *result = ReadResult::Failed;
        return nullptr;
      }
      *result = ReadResult::Ok;
      return std::make_unique<MemoryIniReader>(std::move(contents));
    }
    return d_.real_.ini.Open(file, result, err);
  }

 private:
  DryRunSystem& d_;
};

// The registry over the real one; one of these for each Wine prefix a game
// reaches, over that prefix's registry, its effects naming the prefix.
class DryRunSystem::OverlayRegistry final : public Registry {
 public:
  OverlayRegistry(DryRunSystem& d, Registry& real, std::string winePrefix = {})
      : d_(d), real_(real), winePrefix_(std::move(winePrefix)) {}

  Registry* ForWine(const WineRun& wine) override {
    if (wine.Empty()) return d_.registryPart_.get();
    for (const auto& r : d_.wineRegistries_)
      if (r->winePrefix_ == wine.prefix) return r.get();
    Registry* real = d_.real_.registry.ForWine(wine);
    if (!real) return nullptr;
    d_.wineRegistries_.push_back(std::make_unique<OverlayRegistry>(d_, *real, wine.prefix));
    return d_.wineRegistries_.back().get();
  }

  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError*) override {
    Effect e;
    e.kind = Effect::Kind::RegistrySet;
    e.winePrefix = winePrefix_;
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
    auto it = d_.valueIndex_.find(winePrefix_ + '\0' + ValueKey(root, subkey, name));
    if (it == d_.valueIndex_.end()) return real_.QueryValue(root, subkey, name, type, data, err);
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
    e.winePrefix = winePrefix_;
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
    const std::string key = winePrefix_ + '\0' + ValueKey(root, subkey, name);
    auto it = d_.valueIndex_.find(key);
    if (it != d_.valueIndex_.end()) {
      d_.values_[it->second].value = std::move(value);
      return;
    }
    d_.valueIndex_[key] = d_.values_.size();
    d_.values_.push_back({root, subkey, name, std::move(value), winePrefix_});
  }

  DryRunSystem& d_;
  Registry& real_;
  std::string winePrefix_;
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
      registryPart_(std::make_unique<OverlayRegistry>(*this, real.registry)),
      processesPart_(std::make_unique<OverlayProcesses>(*this)),
      loopPart_(std::make_unique<OverlayLoop>(*this)) {}

DryRunSystem::~DryRunSystem() = default;

SystemSeam DryRunSystem::Seam() {
  return {*programPart_, *filesPart_, *iniPart_, *registryPart_, *processesPart_, *loopPart_};
}

std::vector<DryRunSystem::OverlayFile> DryRunSystem::FilesAfter() const {
  std::vector<OverlayFile> files;
  for (const FileEntry& entry : files_) {
    std::string contents;
    if (entry.exists) entry.contents->ReadAll(&contents, nullptr);
    files.push_back({entry.path, entry.exists, std::move(contents)});
  }
  return files;
}

std::vector<std::string> DryRunSystem::FoldersMade() const { return folders_; }

std::vector<DryRunSystem::OverlayValue> DryRunSystem::RegistryAfter() const {
  std::vector<OverlayValue> values;
  for (const ValueEntry& entry : values_)
    values.push_back({entry.root, entry.subkey, entry.name, entry.value, entry.winePrefix});
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
  PutVersion(path, HoldText(std::move(contents)));
}

void DryRunSystem::StoreFile(const std::string& path, std::string contents) {
  StoreVersion(path, HoldText(std::move(contents)));
}

std::shared_ptr<DryRunSystem::HeldText> DryRunSystem::NewVersion() const {
  return std::make_shared<HeldText>(options_.scratchFolder);
}

DryRunSystem::Held DryRunSystem::HoldText(std::string contents) const {
  std::shared_ptr<HeldText> held = NewVersion();
  SystemError ignored;
  held->Append(contents.data(), contents.size(), &ignored);
  return held;
}

bool DryRunSystem::KeepContents(size_t bytes) {
  if (bytes > keptContentsLeft_) return false;
  keptContentsLeft_ -= bytes;
  return true;
}

std::string DryRunSystem::DiffOf(FileReader* before, const Held& after, const std::string& oldName,
                                 const std::string& newName) {
  EmptyReader empty;
  std::unique_ptr<FileReader> in = HeldText::Open(after);
  DiffLimits limits;
  limits.maxDiffBytes = std::min(kMaxDiffBytes, diffsLeft_);
  std::string diff;
  SystemError err;
  switch (StreamUnifiedDiff(before ? *before : empty, *in, oldName, newName, limits, &diff, &err)) {
    case DiffResult::Same: return "";
    case DiffResult::Shown: diffsLeft_ -= diff.size(); return diff;
    case DiffResult::TooLarge:
      if (limits.maxDiffBytes < kMaxDiffBytes)
        return "(diff not shown: the diffs of this check have reached " +
               std::to_string(kAllDiffsBytes) + " bytes)\n";
      return "(diff not shown: it is longer than " + std::to_string(kMaxDiffBytes) + " bytes)\n";
    case DiffResult::LongLine:
      return "(diff not shown: a line is longer than " + std::to_string(limits.maxLine) +
             " bytes)\n";
    case DiffResult::Failed: return "(diff not shown: " + err.Describe() + ")\n";
  }
  return "";
}

std::string DryRunSystem::Resolved(const std::string& path) {
  const std::string resolved = real_.files.ResolvedPath(path);
  return resolved == path ? std::string() : resolved;
}

void DryRunSystem::PutVersion(const std::string& path, Held after) {
  Effect e;
  e.kind = Effect::Kind::FileWritten;
  e.path = path;
  e.resolved = Resolved(path);
  // The version before: the overlay's, else the real file's. Each is opened
  // twice: once for the contents the effect keeps, once for the diff.
  auto openBefore = [&](ReadResult* result) -> std::unique_ptr<FileReader> {
    SystemError ignored;
    if (const FileEntry* entry = FindFile(path)) {
      *result = entry->exists ? ReadResult::Ok : ReadResult::Missing;
      return entry->exists ? HeldText::Open(entry->contents) : nullptr;
    }
    return real_.files.OpenRead(path, result, &ignored);
  };
  ReadResult opened = ReadResult::Failed;
  std::unique_ptr<FileReader> before = openBefore(&opened);
  e.existed = opened != ReadResult::Missing;
  std::string old, now;
  const bool small = after->Size() <= kKeptContentsBytes &&
                     (!before || ReadUpTo(*before, kKeptContentsBytes, &old)) &&
                     after->ReadAll(&now, nullptr);
  if (small && KeepContents(old.size() + now.size())) {
    if (opened == ReadResult::Ok) e.before = std::move(old);
    e.after = std::move(now);
  } else {
    e.contentsKept = false;
  }
  before = opened == ReadResult::Ok ? openBefore(&opened) : nullptr;
  e.diff = DiffOf(before.get(), after, e.existed ? path : "(none)", path);
  effects_.push_back(std::move(e));
  StoreVersion(path, std::move(after));
}

void DryRunSystem::StoreVersion(const std::string& path, Held contents) {
  if (FileEntry* entry = FindFile(path)) {
    entry->exists = true;
    entry->contents = std::move(contents);
    return;
  }
  fileIndex_[PathKey(path)] = files_.size();
  files_.push_back({path, true, std::move(contents)});
}

}  // namespace zeph

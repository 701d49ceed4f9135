#include "system/fake/FakeSystem.h"

#include <algorithm>

#include "system/IniText.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

std::string RegPath(RegRoot root, const std::string& subkey, const std::string& name) {
  return ToLower((root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + subkey + "\\" + name);
}

std::string WithoutTrailingSlash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The codes Windows gives, so that lines read as they would there.
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kIoDevice = 1117;
constexpr int kDirNotEmpty = 145;

bool NotFound(SystemError* err) { return Fail(err, kFileNotFound, "not found"); }

}  // namespace

class FakeSystem::FakeProgram final : public Program {
 public:
  explicit FakeProgram(FakeSystem& w) : w_(w) {}
  std::string Folder() override { return w_.programFolder; }
  std::string ExeName() override { return w_.exeName; }
  std::string Arguments() override { return w_.commandArgs; }
  bool AnotherInstanceRunning() override { return w_.otherInstance; }
  [[noreturn]] void End() override {
    w_.log.push_back("end");
    throw ProgramEnded{};
  }
  OsVersion Version() override { return w_.osVersion; }
  std::string DataFolder() override { return w_.dataFolder; }

 private:
  FakeSystem& w_;
};

class FakeSystem::FakeFiles final : public Files {
 public:
  explicit FakeFiles(FakeSystem& w) : w_(w) {}
  bool IsFile(const std::string& path) override { return w_.HasFile(path); }
  bool IsFolder(const std::string& path) override { return w_.FolderExists(path); }
  bool List(const std::string& folder, std::vector<std::string>* names, SystemError* err) override {
    names->clear();
    if (!w_.FolderExists(folder)) return Fail(err, kPathNotFound, "no such folder");
    std::string wanted = WithoutTrailingSlash(folder);
    for (const auto& f : w_.fileList_)
      if (EqualsNoCase(FolderOf(f.first), wanted)) names->push_back(GetFileOnly(f.first));
    return true;
  }
  bool MakeEmptyFile(const std::string& path, SystemError* err) override {
    if (w_.Injected(err)) return false;
    if (!w_.FolderExists(FolderOf(path))) return Fail(err, kPathNotFound, "no such folder");
    if (w_.Unwritable(path)) return Fail(err, kAccessDenied, "access denied");
    if (!w_.HasFile(path)) w_.AddFile(path, "");
    return true;
  }
  bool MakeFolder(const std::string& path, SystemError* err) override {
    return MakeLogged("mkdir " + path, path, err);
  }
  bool MakePrivateFolder(const std::string& path, SystemError* err) override {
    return MakeLogged("mkdir private " + path, path, err);
  }
  // No links, and names are found ignoring case already.
  std::string ResolvedPath(const std::string& path) override { return path; }
  ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) override {
    if (w_.Injected(err)) return ReadResult::Failed;
    if (!w_.HasFile(path)) return ReadResult::Missing;
    *contents = w_.FileContents(path);
    return ReadResult::Ok;
  }
  bool WriteText(const std::string& path, const std::string& contents, SystemError* err) override {
    w_.log.push_back("write " + GetFileOnly(path));
    if (w_.Injected(err)) return false;
    if (!w_.FolderExists(FolderOf(path))) return Fail(err, kPathNotFound, "no such folder");
    if (w_.Unwritable(path)) return Fail(err, kAccessDenied, "access denied");
    w_.AddFile(path, contents);
    return true;
  }
  // Reads what the file held when it was opened.
  class Reader final : public FileReader {
   public:
    Reader(FakeSystem& w, std::string contents) : w_(w), contents_(std::move(contents)) {}
    bool Read(char* out, size_t size, size_t* got, SystemError* err) override {
      *got = 0;
      if (w_.Injected(err)) return false;
      *got = std::min(size, contents_.size() - offset_);
      std::copy_n(contents_.data() + offset_, *got, out);
      offset_ += *got;
      return true;
    }

   private:
    FakeSystem& w_;
    std::string contents_;
    size_t offset_ = 0;
  };

  // A file of the fake world while it is written, so that one left behind shows.
  class Work final : public WorkFile {
   public:
    Work(FakeSystem& w, std::string target, std::string path)
        : w_(w), target_(std::move(target)), path_(std::move(path)) {}
    ~Work() override {
      if (!done_) w_.DropFile(path_);
    }
    bool Write(const char* data, size_t size, SystemError* err) override {
      if (w_.Injected(err)) return false;
      w_.AddFile(path_, w_.FileContents(path_).append(data, size));
      return true;
    }
    // The fake world's files have no permissions to take.
    bool TakePermissionsOf(const std::string&, SystemError*) override { return true; }
    bool Commit(SystemError* err) override { return CommitKeeping("", err); }
    bool CommitKeeping(const std::string& backup, SystemError* err) override {
      w_.log.push_back("replace " + GetFileOnly(target_));
      done_ = true;
      std::string contents = w_.FileContents(path_);
      w_.DropFile(path_);
      if (w_.Injected(err)) return false;
      if (w_.Unwritable(target_)) return Fail(err, kAccessDenied, "access denied");
      if (!backup.empty() && w_.HasFile(target_)) {
        if (!w_.FolderExists(FolderOf(backup))) return Fail(err, kPathNotFound, "no such folder");
        w_.AddFile(backup, w_.FileContents(target_));
      }
      w_.AddFile(target_, contents);
      return true;
    }
    std::string Path() const override { return path_; }

   private:
    FakeSystem& w_;
    std::string target_;
    std::string path_;
    bool done_ = false;
  };

  std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                       SystemError* err) override {
    *result = ReadResult::Failed;
    if (w_.Injected(err)) return nullptr;
    if (!w_.HasFile(path)) {
      *result = ReadResult::Missing;
      NotFound(err);
      return nullptr;
    }
    *result = ReadResult::Ok;
    return std::make_unique<Reader>(w_, w_.FileContents(path));
  }
  std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) override {
    if (w_.Injected(err)) return nullptr;
    if (!w_.FolderExists(FolderOf(target))) {
      Fail(err, kPathNotFound, "no such folder");
      return nullptr;
    }
    if (w_.HasFile(target) && w_.Unwritable(target)) {
      Fail(err, kAccessDenied, "access denied");
      return nullptr;
    }
    std::string path = target + "." + std::to_string(++workFiles_) + ".zeph-work";
    w_.AddFile(path, "");
    return std::make_unique<Work>(w_, target, path);
  }
  bool Remove(const std::string& path, SystemError* err) override {
    w_.log.push_back("delete " + GetFileOnly(path));
    if (w_.Injected(err)) return false;
    if (w_.Undeletable(path)) return Fail(err, kAccessDenied, "access denied");
    if (!w_.HasFile(path)) return NotFound(err);
    w_.DropFile(path);
    return true;
  }
  bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                   SystemError* err) override {
    names->clear();
    if (!w_.FolderExists(folder)) return Fail(err, kPathNotFound, "no such folder");
    const std::string wanted = WithoutTrailingSlash(folder);
    for (const auto& f : w_.folderList_)
      if (EqualsNoCase(FolderOf(f), wanted)) names->push_back(GetFileOnly(f));
    return true;
  }
  bool RemoveFolder(const std::string& path, SystemError* err) override {
    w_.log.push_back("rmdir " + path);
    if (w_.Injected(err)) return false;
    const std::string wanted = WithoutTrailingSlash(path);
    if (!w_.FolderExists(wanted)) return Fail(err, kPathNotFound, "no such folder");
    auto inside = [&](const std::string& p) { return EqualsNoCase(FolderOf(p), wanted); };
    if (std::any_of(w_.fileList_.begin(), w_.fileList_.end(),
                    [&](const auto& f) { return inside(f.first); }) ||
        std::any_of(w_.folderList_.begin(), w_.folderList_.end(), inside))
      return Fail(err, kDirNotEmpty, "the folder is not empty");
    w_.folderList_.erase(std::remove_if(w_.folderList_.begin(), w_.folderList_.end(),
                                        [&](const auto& f) { return EqualsNoCase(f, wanted); }),
                         w_.folderList_.end());
    return true;
  }
  ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) override {
    if (!w_.HasFile(path)) {
      NotFound(err);
      return ReadResult::Missing;
    }
    *size = w_.FileContents(path).size();
    return ReadResult::Ok;
  }

 private:
  bool MakeLogged(const std::string& line, const std::string& path, SystemError* err) {
    w_.log.push_back(line);
    if (w_.Injected(err)) return false;
    if (w_.Unwritable(WithoutTrailingSlash(path))) return Fail(err, kAccessDenied, "access denied");
    if (!w_.FolderExists(path)) w_.AddFolder(path);
    return true;
  }

  FakeSystem& w_;
  int workFiles_ = 0;
};

class FakeSystem::FakeIni final : public IniFiles {
 public:
  explicit FakeIni(FakeSystem& w) : w_(w) {}

  // Reads the text it was opened with, as the real readers read the disk once.
  class Reader final : public IniReader {
   public:
    explicit Reader(std::string contents) : contents_(std::move(contents)) {}
    std::string Read(const std::string& section, const std::string& key, const std::string& def,
                     size_t bufferSize) override {
      return ini::GetString(contents_, section, key, def, bufferSize);
    }

   private:
    std::string contents_;
  };

  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def,
                         size_t bufferSize) override {
    return ini::GetString(w_.FileContents(file), section, key, def, bufferSize);
  }
  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, SystemError* err) override {
    w_.log.push_back("ini " + GetFileOnly(file) + " [" + section + "] " + key + "=" + value);
    if (w_.Injected(err)) return false;
    if (!w_.FolderExists(FolderOf(file))) return Fail(err, kPathNotFound, "no such folder");
    if (w_.Unwritable(file)) return Fail(err, kAccessDenied, "access denied");
    w_.AddFile(file, ini::SetString(w_.FileContents(file), section, key, value));
    return true;
  }
  std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                  SystemError* err) override {
    w_.log.push_back("open-ini " + GetFileOnly(file));
    if (w_.Injected(err)) {
      *result = ReadResult::Failed;
      return nullptr;
    }
    if (!w_.HasFile(file)) {
      *result = ReadResult::Missing;
      NotFound(err);
      return nullptr;
    }
    *result = ReadResult::Ok;
    return std::make_unique<Reader>(w_.FileContents(file));
  }

 private:
  FakeSystem& w_;
};

class FakeSystem::FakeRegistry final : public Registry {
 public:
  explicit FakeRegistry(FakeSystem& w, std::string prefix = {})
      : w_(w), prefix_(std::move(prefix)) {}
  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError* err) override {
    w_.log.push_back("reg " + subkey + "\\" + name);
    if (w_.Injected(err)) return false;
    const std::string path = Path(root, subkey, name);
    if (w_.Unwritable(path)) return Fail(err, kAccessDenied, "access denied");
    w_.regValues[path] = {type, data};
    return true;
  }
  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError*) override {
    auto it = w_.regValues.find(Path(root, subkey, name));
    if (it == w_.regValues.end()) return ReadResult::Missing;
    if (type != nullptr) *type = it->second.first;
    if (data != nullptr) *data = it->second.second;
    return ReadResult::Ok;
  }
  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override {
    w_.log.push_back("reg-delete " + subkey + "\\" + name);
    const std::string path = Path(root, subkey, name);
    if (w_.Unwritable(path)) return Fail(err, kAccessDenied, "access denied");
    return w_.regValues.erase(path) > 0 || NotFound(err);
  }
  Registry* ForWine(const WineRun& wine) override {
    if (wine.Empty()) return w_.registryPart_.get();
    if (!w_.reachesWine) return nullptr;
    for (const auto& r : w_.wineRegistries_)
      if (r->prefix_ == wine.prefix) return r.get();
    w_.wineRegistries_.push_back(std::make_unique<FakeRegistry>(w_, wine.prefix));
    return w_.wineRegistries_.back().get();
  }

 private:
  std::string Path(RegRoot root, const std::string& subkey, const std::string& name) const {
    return (prefix_.empty() ? "" : prefix_ + "|") + RegPath(root, subkey, name);
  }
  FakeSystem& w_;
  std::string prefix_;
};

class FakeSystem::FakeProcesses final : public Processes {
 public:
  explicit FakeProcesses(FakeSystem& w) : w_(w) {}

  // A listed process of the test, or (index >= 0) a program the monitor started.
  class Handle final : public ProcessHandle {
   public:
    Handle(FakeSystem& w, uint32_t pid, int started) : w_(w), pid_(pid), started_(started) {}
    bool State(bool* running, uint32_t* exitCode, SystemError* err) override {
      if (started_ >= 0) {
        const Started& s = w_.started_[static_cast<size_t>(started_)];
        *running = w_.nowMs < s.endMs;
        *exitCode = *running ? kStillActive : s.exitCode;
        return true;
      }
      for (const auto& p : w_.processes) {
        if (p.id != pid_) continue;
        *running = p.endMs < 0 || w_.nowMs < p.endMs;
        *exitCode = *running ? kStillActive : p.exitCode;
        return true;
      }
      return NotFound(err);
    }
    intptr_t WaitObject() const override { return started_; }

   private:
    FakeSystem& w_;
    uint32_t pid_;
    int started_;
  };

  std::vector<ProcessInfo> List() override {
    std::vector<ProcessInfo> listed;
    for (const auto& p : w_.processes)
      if (p.startMs <= w_.nowMs && (p.endMs < 0 || w_.nowMs < p.endMs))
        listed.push_back({p.id, p.path, p.wine});
    return listed;
  }
  std::unique_ptr<ProcessHandle> Open(uint32_t pid, SystemError* err) override {
    for (const auto& p : w_.processes) {
      if (p.id == pid && p.openable && p.startMs <= w_.nowMs &&
          (p.endMs < 0 || w_.nowMs < p.endMs)) {
        w_.log.push_back("open " + std::to_string(pid));
        return std::make_unique<Handle>(w_, pid, -1);
      }
    }
    w_.log.push_back("open-failed " + std::to_string(pid));
    Fail(err, kAccessDenied, "access denied");
    return nullptr;
  }
  std::unique_ptr<ProcessHandle> Start(const std::string& commandLine, SystemError* err) override {
    w_.runs.push_back(commandLine);
    w_.log.push_back("run " + commandLine);
    int code = w_.onRun ? w_.onRun(commandLine) : 0;
    if (code == -1) {
      NotFound(err);
      return nullptr;
    }
    int ms = w_.runMs ? w_.runMs(commandLine) : 0;
    w_.started_.push_back({w_.nowMs + ms, static_cast<uint32_t>(code)});
    return std::make_unique<Handle>(w_, 0, static_cast<int>(w_.started_.size()) - 1);
  }
  bool CloseWindowByTitle(const std::string& title) override {
    w_.closedWindows.push_back(title);
    w_.log.push_back("close-window " + title);
    return false;
  }
  bool StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                  SystemError* err) override {
    w_.log.push_back("start-shown " + std::to_string(showCommand) + " " + commandLine);
    if (w_.onRun && w_.onRun(commandLine) == -1) return NotFound(err);
    *pid = w_.nextShownPid++;
    w_.shownStarts.push_back({*pid, w_.nowMs});
    return true;
  }
  bool ActivateMainWindow(uint32_t pid) override {
    for (const auto& [started, atMs] : w_.shownStarts) {
      if (started != pid || w_.windowAfterMs < 0 || w_.nowMs < atMs + w_.windowAfterMs) continue;
      w_.log.push_back("activate " + std::to_string(pid));
      return true;
    }
    return false;
  }
  bool OpenAddress(const std::string& address, int showCommand, SystemError*) override {
    w_.log.push_back("open-address " + std::to_string(showCommand) + " " + address);
    return true;
  }

 private:
  FakeSystem& w_;
};

class FakeSystem::FakeLoop final : public EventLoop {
 public:
  explicit FakeLoop(FakeSystem& w) : w_(w) {}
  void SetCommands(Commands* commands) override { w_.commands_ = commands; }
  void SetTimerInterval(int ms) override {
    w_.timerInterval = ms;
    w_.timerIntervals.push_back(ms);
    w_.timerDueMs_ = ms > 0 ? w_.nowMs + ms : -1;
    w_.log.push_back("timer " + std::to_string(ms));
  }
  void ProcessPendingMessages() override { w_.FireDue(); }
  void Run() override { w_.RunUntil(w_.nowMs + 24LL * 3600 * 1000); }
  void WaitForObject(intptr_t object, int maxMs) override {
    // Time runs on to whatever comes first: the program's end, a tick or
    // a scheduled action, the limit.
    int64_t until = w_.NextDueMs();
    if (object >= 0 && static_cast<size_t>(object) < w_.started_.size())
      until = std::min(until, w_.started_[static_cast<size_t>(object)].endMs);
    if (maxMs >= 0) until = std::min(until, w_.nowMs + maxMs);
    w_.nowMs = std::max(w_.nowMs, until);
    w_.FireDue();
  }
  void Sleep(int ms) override { w_.RunUntil(w_.nowMs + ms); }
  std::string TimeOfDay() override { return "12:00:00"; }

 private:
  FakeSystem& w_;
};

FakeSystem::FakeSystem()
    : programPart_(std::make_unique<FakeProgram>(*this)),
      filesPart_(std::make_unique<FakeFiles>(*this)),
      iniPart_(std::make_unique<FakeIni>(*this)),
      registryPart_(std::make_unique<FakeRegistry>(*this)),
      processesPart_(std::make_unique<FakeProcesses>(*this)),
      loopPart_(std::make_unique<FakeLoop>(*this)) {}

FakeSystem::~FakeSystem() = default;

SystemSeam FakeSystem::Seam() {
  return {*programPart_, *filesPart_, *iniPart_, *registryPart_, *processesPart_, *loopPart_};
}

void FakeSystem::AddFile(const std::string& path, const std::string& contents) {
  for (auto& file : fileList_) {
    if (EqualsNoCase(file.first, path)) {
      file.second = contents;
      return;
    }
  }
  fileList_.emplace_back(path, contents);
}

void FakeSystem::AddFolder(const std::string& path) {
  folderList_.push_back(WithoutTrailingSlash(path));
}

void FakeSystem::DropFile(const std::string& path) {
  fileList_.erase(std::remove_if(fileList_.begin(), fileList_.end(),
                                 [&](const auto& f) { return EqualsNoCase(f.first, path); }),
                  fileList_.end());
}

bool FakeSystem::HasFile(const std::string& path) const {
  return std::any_of(fileList_.begin(), fileList_.end(),
                     [&](const auto& f) { return EqualsNoCase(f.first, path); });
}

std::string FakeSystem::FileContents(const std::string& path) const {
  for (const auto& f : fileList_)
    if (EqualsNoCase(f.first, path)) return f.second;
  return "";
}

std::string FakeSystem::IniValue(const std::string& file, const std::string& section,
                                 const std::string& key) const {
  return ini::GetString(FileContents(file), section, key, "ERROR", 255);
}

bool FakeSystem::Injected(SystemError* err) {
  if (++failableCalls != failCall) return false;
  log.push_back("injected failure");
  Fail(err, kIoDevice, "injected I/O failure");
  return true;
}

bool FakeSystem::Unwritable(const std::string& path) const {
  return std::any_of(unwritable.begin(), unwritable.end(),
                     [&](const std::string& u) { return EqualsNoCase(u, path); });
}

bool FakeSystem::Undeletable(const std::string& path) const {
  return std::any_of(undeletable.begin(), undeletable.end(),
                     [&](const std::string& u) { return EqualsNoCase(u, path); });
}

bool FakeSystem::FolderExists(const std::string& path) const {
  std::string wanted = WithoutTrailingSlash(path);
  return std::any_of(folderList_.begin(), folderList_.end(),
                     [&](const std::string& f) { return EqualsNoCase(f, wanted); });
}

void FakeSystem::At(int64_t atMs, std::function<void()> action) {
  scheduled_.emplace_back(atMs, std::move(action));
}

int64_t FakeSystem::NextDueMs() const {
  int64_t next = INT64_MAX;
  if (timerDueMs_ >= 0 && commands_) next = timerDueMs_;
  for (const auto& s : scheduled_) next = std::min(next, s.first);
  return next;
}

void FakeSystem::FireDue() {
  // Scheduled actions first, in time order; each runs once.
  std::stable_sort(scheduled_.begin(), scheduled_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  while (!scheduled_.empty() && scheduled_.front().first <= nowMs) {
    auto action = std::move(scheduled_.front().second);
    scheduled_.erase(scheduled_.begin());
    action();
  }
  if (timerDueMs_ >= 0 && timerDueMs_ <= nowMs && commands_) {
    timerDueMs_ = nowMs + timerInterval;
    ++timerExpiries;
    commands_->OnTimer();
  }
}

void FakeSystem::RunUntil(int64_t untilMs) {
  while (nowMs < untilMs) {
    nowMs = std::max(nowMs, std::min(untilMs, NextDueMs()));
    FireDue();
  }
}

}  // namespace zeph

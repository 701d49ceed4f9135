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

class FakeProcessHandle : public ProcessHandle {
 public:
  FakeProcessHandle(FakeSystem& sys, uint32_t pid) : sys_(sys), pid_(pid) {}
  bool ExitCode(uint32_t* code) override {
    for (const auto& p : sys_.processes) {
      if (p.id != pid_) continue;
      bool running = p.endMs < 0 || sys_.nowMs < p.endMs;
      *code = running ? kStillActive : p.exitCode;
      return true;
    }
    return false;
  }

 private:
  FakeSystem& sys_;
  uint32_t pid_;
};

}  // namespace

void FakeSystem::AddFile(const std::string& path, const std::string& contents) {
  for (auto& file : files_) {
    if (EqualsNoCase(file.first, path)) {
      file.second = contents;
      return;
    }
  }
  files_.emplace_back(path, contents);
}

void FakeSystem::AddFolder(const std::string& path) {
  folders_.push_back(WithoutTrailingSlash(path));
}

void FakeSystem::DropFile(const std::string& path) {
  files_.erase(std::remove_if(files_.begin(), files_.end(),
                              [&](const auto& f) { return EqualsNoCase(f.first, path); }),
               files_.end());
}

bool FakeSystem::HasFile(const std::string& path) const {
  return std::any_of(files_.begin(), files_.end(),
                     [&](const auto& f) { return EqualsNoCase(f.first, path); });
}

std::string FakeSystem::FileContents(const std::string& path) const {
  for (const auto& f : files_)
    if (EqualsNoCase(f.first, path)) return f.second;
  return "";
}

void FakeSystem::At(int64_t atMs, std::function<void()> action) {
  scheduled_.emplace_back(atMs, std::move(action));
}

void FakeSystem::EndProgram() {
  log.push_back("end");
  throw ProgramEnded{};
}

bool FakeSystem::FolderExists(const std::string& path) {
  std::string wanted = WithoutTrailingSlash(path);
  return std::any_of(folders_.begin(), folders_.end(),
                     [&](const std::string& f) { return EqualsNoCase(f, wanted); });
}

std::vector<std::string> FakeSystem::ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::string wanted = WithoutTrailingSlash(folder);
  for (const auto& f : files_)
    if (EqualsNoCase(FolderOf(f.first), wanted)) names.push_back(FileNameOf(f.first));
  return names;
}

bool FakeSystem::CreateEmptyFile(const std::string& path) {
  if (!FolderExists(FolderOf(path))) return false;
  if (!HasFile(path)) AddFile(path, "");
  return true;
}

bool FakeSystem::CreateFolder(const std::string& path) {
  log.push_back("mkdir " + path);
  if (!FolderExists(path)) AddFolder(path);
  return true;
}

bool FakeSystem::ReadTextFile(const std::string& path, std::string* contents) {
  if (!HasFile(path)) return false;
  *contents = FileContents(path);
  return true;
}

bool FakeSystem::WriteTextFile(const std::string& path, const std::string& contents) {
  log.push_back("write " + FileNameOf(path));
  if (!FolderExists(FolderOf(path))) return false;
  for (const auto& u : unwritable)
    if (EqualsNoCase(u, path)) return false;
  AddFile(path, contents);
  return true;
}

bool FakeSystem::RemoveFile(const std::string& path) {
  log.push_back("delete " + FileNameOf(path));
  for (const auto& u : unwritable)
    if (EqualsNoCase(u, path)) return false;
  if (!HasFile(path)) return false;
  DropFile(path);
  return true;
}

std::string FakeSystem::ReadIniString(const std::string& file, const std::string& section,
                                      const std::string& key, const std::string& def,
                                      size_t bufferSize) {
  std::string contents = HasFile(file) ? FileContents(file) : "";
  return ini::GetString(contents, section, key, def, bufferSize);
}

bool FakeSystem::WriteIniString(const std::string& file, const std::string& section,
                                const std::string& key, const std::string& value) {
  log.push_back("ini " + FileNameOf(file) + " [" + section + "] " + key + "=" + value);
  if (!FolderExists(FolderOf(file))) return false;
  for (const auto& u : unwritable)
    if (EqualsNoCase(u, file)) return false;
  AddFile(file, ini::SetString(FileContents(file), section, key, value));
  return true;
}

bool FakeSystem::RegSetValue(RegRoot root, const std::string& subkey, const std::string& name,
                             uint32_t type, const std::vector<uint8_t>& data) {
  registry[RegPath(root, subkey, name)] = {type, data};
  log.push_back("reg " + subkey + "\\" + name);
  return true;
}

bool FakeSystem::RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                               uint32_t* type, std::vector<uint8_t>* data) {
  auto it = registry.find(RegPath(root, subkey, name));
  if (it == registry.end()) return false;
  *type = it->second.first;
  *data = it->second.second;
  return true;
}

bool FakeSystem::RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) {
  return registry.erase(RegPath(root, subkey, name)) > 0;
}

std::vector<ProcessInfo> FakeSystem::ListProcesses() {
  std::vector<ProcessInfo> listed;
  for (const auto& p : processes)
    if (p.startMs <= nowMs && (p.endMs < 0 || nowMs < p.endMs)) listed.push_back({p.id, p.path});
  return listed;
}

std::unique_ptr<ProcessHandle> FakeSystem::OpenProcess(uint32_t pid) {
  for (const auto& p : processes) {
    if (p.id == pid && p.openable && p.startMs <= nowMs && (p.endMs < 0 || nowMs < p.endMs)) {
      log.push_back("open " + std::to_string(pid));
      return std::make_unique<FakeProcessHandle>(*this, pid);
    }
  }
  log.push_back("open-failed " + std::to_string(pid));
  return nullptr;
}

int FakeSystem::RunAndWait(const std::string& commandLine, bool noWait) {
  runs.push_back(commandLine);
  log.push_back("run " + commandLine);
  int code = onRun ? onRun(commandLine) : 0;
  return noWait ? 0 : code;
}

bool FakeSystem::CloseWindowByTitle(const std::string& title) {
  closedWindows.push_back(title);
  log.push_back("close-window " + title);
  return false;
}

BoxAnswer FakeSystem::MessageBox(const std::string& text, const std::string& title,
                                 BoxButtons buttons, BoxIcon icon) {
  boxes.push_back({text, title, buttons, icon});
  log.push_back("box " + title);
  if (!boxAnswers.empty()) {
    BoxAnswer answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
  }
  return buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
}

void FakeSystem::ShowMainWindow() {
  mainWindowShown = true;
  log.push_back("show-window");
}

void FakeSystem::AddDebugLine(const std::string& line) {
  debugLines.push_back(line);
  log.push_back("debug " + line);
}

void FakeSystem::NotifyIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconCalls.push_back({message, image, tip});
  static const char* const kNames[] = {"add", "modify", "delete"};
  log.push_back(std::string("icon ") + kNames[static_cast<int>(message)] + " " + tip);
}

void FakeSystem::SetTimerInterval(int ms) {
  timerInterval = ms;
  timerIntervals.push_back(ms);
  timerDueMs_ = ms > 0 ? nowMs + ms : -1;
  log.push_back("timer " + std::to_string(ms));
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

void FakeSystem::ProcessPendingMessages() { FireDue(); }

void FakeSystem::RunUntil(int64_t untilMs) {
  while (nowMs < untilMs) {
    int64_t next = untilMs;
    if (timerDueMs_ >= 0) next = std::min(next, timerDueMs_);
    for (const auto& s : scheduled_) next = std::min(next, std::max(s.first, nowMs));
    nowMs = std::max(next, nowMs);
    FireDue();
    if (nowMs == next && next == untilMs) break;
  }
}

void FakeSystem::RunMessageLoop() { RunUntil(nowMs + 24LL * 3600 * 1000); }

void FakeSystem::Sleep(int ms) { nowMs += ms; }

}  // namespace zeph

#include "system/posix/PosixSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "system/IniText.h"
#include "system/Platform.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/PosixRegistry.h"
#include "system/posix/PosixSignals.h"
#include "system/posix/PosixWindows.h"

namespace zeph {
namespace {

std::string ExecutableFolder() {
  char target[PATH_MAX];
  ssize_t len = readlink("/proc/self/exe", target, sizeof target);
  if (len <= 0 || static_cast<size_t>(len) >= sizeof target) return {};
  std::string path(target, static_cast<size_t>(len));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  std::string folder = posix::ParentFolder(path);
  // The root folder is "" here, so that folder + "\name" is still right.
  return folder == "/" ? std::string() : ToWindowsPath(folder);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string InstanceLockPath(const std::string& programFolder) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : programFolder) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  std::string runtime = posix::RuntimeFolder();
  if (!runtime.empty()) return runtime + "/zephmonitor-" + hex + ".lock";
  // /tmp is shared with other users, whose copies are none of ours.
  return "/tmp/zephmonitor-" + std::to_string(getuid()) + "-" + hex + ".lock";
}

PosixSystem::PosixSystem(int argc, char** argv) : programFolder_(ExecutableFolder()) {
  for (int i = 1; i < argc; ++i) {
    if (i > 1) args_ += ' ';
    args_ += argv[i];
  }
  posix::InstallSignalPipe();
}

PosixSystem::~PosixSystem() {
  if (lockFd_ >= 0) close(lockFd_);
}

std::string PosixSystem::ProgramFolder() { return programFolder_; }

std::string PosixSystem::CommandArgs() { return args_; }

bool PosixSystem::AnotherInstanceRunning() {
  if (lockFd_ >= 0) return false;  // the lock is ours already
  int fd = open(InstanceLockPath(programFolder_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // cannot tell: better run twice than not at all
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lockFd_ = fd;  // held until this copy ends
    return false;
  }
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK;
}

void PosixSystem::EndProgram() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

bool PosixSystem::FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(ToNativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixSystem::FolderExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(ToNativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> PosixSystem::ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::string native = ToNativePath(folder);
  DIR* dir = native.empty() ? nullptr : opendir(native.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st;
      regular = stat((native + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool PosixSystem::CreateEmptyFile(const std::string& path) {
  if (path.empty()) return false;
  int fd = open(ToNativePath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool PosixSystem::CreateFolder(const std::string& path) {
  if (path.empty()) return false;
  return mkdir(ToNativePath(path).c_str(), 0777) == 0 || FolderExists(path);
}

bool PosixSystem::ReadTextFile(const std::string& path, std::string* contents) {
  return !path.empty() &&
         posix::ReadWholeFile(ToNativePath(path), contents) == posix::ReadStatus::Okay;
}

bool PosixSystem::WriteTextFile(const std::string& path, const std::string& contents) {
  if (path.empty()) return false;
  std::string native = ToNativePath(path);
  // A file that exists but may not be written stays as it is, as on Windows.
  if (access(native.c_str(), F_OK) == 0 && access(native.c_str(), W_OK) != 0) return false;
  return posix::WriteFileAtomic(native, contents);
}

bool PosixSystem::RemoveFile(const std::string& path) {
  return FileExists(path) && unlink(ToNativePath(path).c_str()) == 0;
}

std::string PosixSystem::ReadIniString(const std::string& file, const std::string& section,
                                       const std::string& key, const std::string& def,
                                       size_t bufferSize) {
  std::string contents;
  // A file that cannot be read reads as an empty one: the default, treated
  // as Windows treats it.
  if (posix::ReadWholeFile(ToNativePath(file), &contents) != posix::ReadStatus::Okay)
    contents.clear();
  return ini::GetString(contents, section, key, def, bufferSize);
}

bool PosixSystem::WriteIniString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& value) {
  std::string native = ToNativePath(file), contents;
  // A file that exists but cannot be read must not be replaced by a new one.
  if (native.empty() || posix::ReadWholeFile(native, &contents) == posix::ReadStatus::OtherError)
    return false;
  std::string updated = ini::SetString(contents, section, key, value);
  // Writing what the file already holds changes nothing: leave it alone.
  if (updated == contents && !contents.empty()) return true;
  return posix::WriteFileAtomic(native, updated, posix::Sync::Replace);
}

bool PosixSystem::RegSetValue(RegRoot root, const std::string& subkey, const std::string& name,
                              uint32_t type, const std::vector<uint8_t>& data) {
  posix::RegistryStore store(posix::RegistryStore::DefaultFile());
  return store.Set(posix::RegistryKeyPath(root, subkey), name, type, data);
}

bool PosixSystem::RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                                uint32_t* type, std::vector<uint8_t>* data) {
  posix::RegistryStore store(posix::RegistryStore::DefaultFile());
  return store.Query(posix::RegistryKeyPath(root, subkey), name, type, data);
}

bool PosixSystem::RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) {
  posix::RegistryStore store(posix::RegistryStore::DefaultFile());
  return store.Delete(posix::RegistryKeyPath(root, subkey), name);
}

std::vector<ProcessInfo> PosixSystem::ListProcesses() { return posix::ListProcesses(); }

std::unique_ptr<ProcessHandle> PosixSystem::OpenProcess(uint32_t pid) {
  if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return nullptr;
  return posix::OpenProcess(static_cast<pid_t>(pid));
}

int PosixSystem::RunAndWait(const std::string& commandLine, bool noWait) {
  std::string program, rest;
  if (!posix::ResolveCommandLine(commandLine, programFolder_, &program, &rest)) return -1;
  auto child = posix::SpawnChild(program, posix::SplitArguments(rest));
  if (!child) return -1;
  if (noWait) return 0;  // reaped later, when its CHLD is dispatched
  Descriptor pidfd(posix::OpenPidfd(child->pid));
  // Without a pidfd the CHLD byte wakes us; the limit only guards against
  // a CHLD that a nested wait took first.
  while (!posix::ReapChild(*child, false))
    WaitAndDispatch(pidfd.get(), pidfd.get() >= 0 ? -1 : 100);
  return static_cast<int>(child->exitCode);
}

bool PosixSystem::CloseWindowByTitle(const std::string& title) {
  return posix::CloseRegisteredWindow(title);
}

OsVersion PosixSystem::GetOsVersion() { return OsVersion{}; }

void PosixSystem::SetCommands(Commands* commands) { commands_ = commands; }

BoxAnswer PosixSystem::MessageBox(const std::string& text, const std::string& title,
                                  BoxButtons buttons, BoxIcon) {
  BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
  std::string out = "=== " + title + " ===\n";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  out += "\n=== ";
  out += answer == BoxAnswer::Yes ? "Yes" : "OK";
  out += " ===\n";
  // One write, so that a box is never torn apart by other output.
  std::fflush(stderr);
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
  return answer;
}

void PosixSystem::ShowMainWindow() { debugMode_ = true; }

void PosixSystem::HideFromTaskList() {}

void PosixSystem::AddDebugLine(const std::string& line) {
  if (!debugMode_) return;
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PosixSystem::SelectDebugLine(int) {}

void PosixSystem::NotifyIcon(IconMessage, IconImage, const std::string&) {}

void PosixSystem::SetSuspendChecked(bool) {}

void PosixSystem::SetSuspendCaption(const std::string&) {}

void PosixSystem::SetTimerInterval(int ms) {
  timerMs_ = ms > 0 ? ms : 0;
  timerDue_ = Clock::now() + std::chrono::milliseconds(timerMs_);
}

void PosixSystem::DispatchSignal(int sig) {
  switch (sig) {
    case SIGCHLD: posix::ReapChildren(); break;
    case SIGTERM:
    case SIGINT:
      if (commands_) commands_->OnExit();
      break;
    case SIGUSR1:
      if (commands_) commands_->OnSuspendToggle();
      break;
    default: break;
  }
}

void PosixSystem::DispatchPendingSignals() {
  // One at a time: a command may itself process messages and take the rest.
  while (int sig = posix::TakePendingSignal()) DispatchSignal(sig);
}

void PosixSystem::FireTimerIfDue() {
  if (timerMs_ <= 0 || Clock::now() < timerDue_) return;
  // Counted from now, before the handler runs: it may set the timer again.
  timerDue_ = Clock::now() + std::chrono::milliseconds(timerMs_);
  if (commands_) commands_->OnTimer();
}

int PosixSystem::MsUntilTimer() const {
  if (timerMs_ <= 0) return -1;
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(timerDue_ - Clock::now());
  if (left.count() <= 0) return 0;
  // Rounded up: waking a little early would only poll again at once.
  long long ms = (left.count() + 999) / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void PosixSystem::WaitAndDispatch(int fd, int maxMs) {
  pollfd fds[2];
  nfds_t count = 0;
  if (posix::SignalPipeFd() >= 0) fds[count++] = pollfd{posix::SignalPipeFd(), POLLIN, 0};
  if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
  int timeout = MsUntilTimer();
  if (maxMs >= 0 && (timeout < 0 || maxMs < timeout)) timeout = maxMs;
  poll(fds, count, timeout);  // an interruption just means: look again
  DispatchPendingSignals();
  FireTimerIfDue();
}

void PosixSystem::ProcessPendingMessages() {
  DispatchPendingSignals();
  posix::ReapChildren();
  FireTimerIfDue();
}

void PosixSystem::RunMessageLoop() {
  for (;;) WaitAndDispatch(-1, -1);
}

void PosixSystem::Sleep(int ms) {
  if (ms <= 0) return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string PosixSystem::TimeOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::unique_ptr<System> CreatePlatformSystem(int argc, char** argv) {
  return std::make_unique<PosixSystem>(argc, argv);
}

}  // namespace zeph

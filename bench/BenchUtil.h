// Small helpers the benchmarks share: timing, medians, temporary folders,
// files and option values, and on Linux what /proc tells of a process.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif
#ifdef __linux__
#include <dirent.h>
#endif
#ifndef _WIN32
#include <sys/utsname.h>
#endif

namespace zeph::bench {

using Clock = std::chrono::steady_clock;

inline double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A new folder "<prefix>-<stamp>-<n>" in the temporary folder; ends the
// benchmark when none can be made.
inline std::filesystem::path MakeTempRoot(const std::string& prefix) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path();
  const auto stamp = static_cast<unsigned long long>(Clock::now().time_since_epoch().count());
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    fs::path candidate = base / (prefix + "-" + std::to_string(stamp % 1000000007ull) + "-" +
                                 std::to_string(attempt));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate;
  }
  std::fprintf(stderr, "%s: cannot create a temporary folder in %s\n", prefix.c_str(),
               base.string().c_str());
  std::exit(1);
}

// Writes the file whole; ends the benchmark when it cannot.
inline void WriteFile(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    std::exit(1);
  }
}

// The whole text of a file (also of a /proc file, which has no size to go
// by); false when it cannot be opened.
inline bool ReadText(const std::filesystem::path& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

// A whole number from least (1 unless told) up to below limit, or fallback.
inline int ParseInt(const char* text, int fallback, long limit = 1000000, long least = 1) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  return (end && *end == '\0' && v >= least && v < limit) ? static_cast<int>(v) : fallback;
}

#ifdef __linux__

// The "Name: value" lines of /proc/PID/status, values as numbers (kB for
// memory); empty when the process is gone.
inline std::map<std::string, unsigned long long> ProcStatus(int pid) {
  std::map<std::string, unsigned long long> values;
  std::string text;
  if (!ReadText("/proc/" + std::to_string(pid) + "/status", &text)) return values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    values[line.substr(0, colon)] = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
  }
  return values;
}

// The numeric entries of a /proc folder: "/proc" gives the processes,
// "/proc/PID/task" the threads, "/proc/PID/fd" the open descriptors.
inline std::vector<int> ProcNumbers(const std::string& folder) {
  std::vector<int> numbers;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return numbers;
  while (dirent* e = readdir(dir)) {
    char* end = nullptr;
    long n = std::strtol(e->d_name, &end, 10);
    if (e->d_name[0] >= '0' && e->d_name[0] <= '9' && *end == '\0') numbers.push_back(int(n));
  }
  closedir(dir);
  return numbers;
}

// Fields of /proc/PID/stat after the name.
struct ProcStat {
  char state = '?';
  int ppid = 0;
  unsigned long long cpuTicks = 0;    // utime + stime, all threads, in clock ticks
  unsigned long long startTicks = 0;  // since boot
  std::string name;                   // the short name (comm)
};

inline bool ReadProcStat(int pid, ProcStat* stat) {
  std::string text;
  if (!ReadText("/proc/" + std::to_string(pid) + "/stat", &text)) return false;
  // The name in parentheses may itself hold blanks and parentheses.
  size_t open = text.find('(');
  size_t close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= text.size())
    return false;
  stat->name = text.substr(open + 1, close - open - 1);
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int index = 3; index <= 22 && (fields >> field); ++index) {
    if (index == 3) stat->state = field[0];
    if (index == 4) stat->ppid = std::atoi(field.c_str());
    if (index == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (index == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    if (index == 22) stat->startTicks = std::strtoull(field.c_str(), nullptr, 10);
  }
  if (!fields) return false;
  stat->cpuTicks = utime + stime;
  return true;
}

#endif  // __linux__

// A path the build gave (a Unix path when cross-built) in the form this
// program opens it by: under Wine a Unix path becomes a DOS path through
// Wine's own export, with the Z: drive (the Unix root) as the fallback.
inline std::filesystem::path BuildPath(const std::string& path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    using ToDos = WCHAR*(CDECL*)(const char*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    if (proc) {
      auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(proc));
      if (WCHAR* dos = toDos(path.c_str())) {
        std::filesystem::path out(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        return out;
      }
    }
    std::string dos = "Z:" + path;
    std::replace(dos.begin(), dos.end(), '/', '\\');
    return std::filesystem::path(dos);
  }
#endif
  return std::filesystem::path(path);
}

// Where the benchmark runs: the system, and for the Windows build whether it
// runs under Wine.
inline std::string PlatformLabel() {
#ifdef _WIN32
  using WineVersionFn = const char*(__cdecl*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto wineVersion = ntdll ? reinterpret_cast<WineVersionFn>(reinterpret_cast<void (*)()>(
                                 GetProcAddress(ntdll, "wine_get_version")))
                           : nullptr;
  if (wineVersion) return std::string("Windows build, run under Wine ") + wineVersion();
  return "Windows (native)";
#else
  utsname u{};
  if (uname(&u) == 0) return std::string(u.sysname) + " " + u.release + " (native)";
  return "POSIX (native)";
#endif
}

}  // namespace zeph::bench

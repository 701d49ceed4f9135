// The platform seam as the benchmarks use it: the real parts (from
// CreatePlatformSystem) for files, INI files, registry, processes and the
// loop, and parts of their own for what belongs to the monitor's program
// folder and user interface. The program folder is the benchmark's
// temporary one, there are no arguments and no other copy, boxes are printed
// and answered, and the window and icon calls are only recorded. No commands
// are given to the loop, so the watch timer never starts a tick by itself.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/Seam.h"
#include "tray/recording/RecordingDesktop.h"

#ifdef _WIN32
#include "system/win32/WinApi.h"
#endif

namespace zeph::bench {

class BenchProgram final : public Program {
 public:
  // name: the benchmark's name, for its messages.
  BenchProgram(Program& real, std::string folder, std::string name)
      : real_(real), folder_(std::move(folder)), name_(std::move(name)) {}
  std::string Folder() override { return folder_; }
  std::string ExeName() override { return real_.ExeName(); }
  std::string Arguments() override { return {}; }
  bool AnotherInstanceRunning() override { return false; }
  std::string DataFolder() override { return folder_; }
  [[noreturn]] void End() override {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: the monitor ended the program\n", name_.c_str());
    std::exit(1);
  }
  OsVersion Version() override { return real_.Version(); }

 private:
  Program& real_;
  std::string folder_;
  std::string name_;
};

// Boxes printed and answered OK, whatever their buttons; the rest recorded.
class BenchDesktop final : public RecordingDesktop {
 public:
  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons, BoxIcon,
                    bool) override {
    // The title and the start of the text: enough to tell which box it was.
    std::string head = text.substr(0, text.find_first_of("\r\n"));
    if (head.size() > 60) head = head.substr(0, 57) + "...";
    std::printf("  (box \"%s\", \"%s\", answered OK)\n", title.c_str(), head.c_str());
    std::fflush(stdout);
    return BoxAnswer::Ok;
  }
};

// A path in the form the seam takes (backslash separators).
inline std::string SeamPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace zeph::bench

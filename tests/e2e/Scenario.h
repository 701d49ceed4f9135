// The fixture of the end-to-end scenarios: a harness, profiles and the
// settings file of its program folder, and waits on what the monitor shows.
// Shared by the scenarios of both targets and the Windows tray scenarios.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "Harness.h"
#include "system/IniText.h"
#include "system/WinPath.h"

namespace zeph::e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline const char* const kProductKey = "Software\\Thalix\\Kinetra";

// The controller part of a profile: maps of the right lengths, no curves.
inline const std::string kTuning =
    "[TUNING]\r\nNULL_REGION_USER=10\r\n[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\n"
    "POLARITY_USER={ +,-,+,-,+,- }\r\nGAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\n"
    "SENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\nCURVE_0_USER=\r\nCURVE_1_USER=\r\nCURVE_2_USER=\r\n"
    "CURVE_3_USER=\r\nCURVE_4_USER=\r\nCURVE_5_USER=\r\n";

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Spill(const fs::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}
inline bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override {
    h = MakeHarness();
    h->SetMachineString(kProductKey, "CheckAttached", "False");
  }

  // The harness of this fixture's tests.
  virtual std::unique_ptr<MonitorHarness> MakeHarness() { return MonitorHarness::Create(); }

  fs::path Folder() { return fs::path(h->Folder()); }
  fs::path SettingsFile() { return Folder() / "zephmon.ini"; }

  // A usable profile; `extra` goes into its CONFIGURATION section.
  void Profile(const std::string& name, const std::string& executable,
               const std::string& appName = "Test Game", const std::string& extra = "") {
    Spill(Folder() / "wyn" / name,
          "[IDENTIFICATION]\r\nAPPLICATION_NAME=" + appName +
              "\r\n[VERSION]\r\nVERSION=6.1\r\nFILE_REVISION_NUMBER=1\r\n[CONFIGURATION]\r\n"
              "HIDE_FILE=FALSE\r\nEXECUTABLE=" +
              executable + "\r\nCOPY_FILES=FALSE\r\nCUSTOM=FALSE\r\n" + extra + kTuning);
  }

  std::string Mode() {
    if (!fs::exists(SettingsFile())) return "(no file)";
    return ini::GetString(Slurp(SettingsFile()), "APPLICATION", "MODE", "ERROR", 255);
  }

  // Another program writing the mode channel.
  void WriteMode(const std::string& value) {
    Spill(SettingsFile(), ini::SetString(Slurp(SettingsFile()), "APPLICATION", "MODE", value));
  }

  bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < until) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
  }

  // Index of the first debug line at or after `from` that starts with prefix; -1 if none.
  int LineIndex(int copy, const std::string& prefix, int from = 0) {
    auto lines = h->DebugLines(copy);
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
      if (StartsWith(lines[i], prefix)) return i;
    return -1;
  }

  bool WaitForLine(int copy, const std::string& prefix, int from = 0, int timeoutMs = 20000) {
    return WaitFor([&] { return LineIndex(copy, prefix, from) >= 0; }, timeoutMs);
  }

  // Waits until the monitor has read its settings file `ticks` times more:
  // the sign that it has had its chance to act (each tick lists the
  // processes, then reads the mode). Where the file system keeps no access
  // times, waits as long as that would take instead.
  void WaitForTicks(int ticks, int intervalMs = 1000) {
    for (int i = 0; i < ticks; ++i) {
      if (!h->AccessTimesKept()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs + 250));
        continue;
      }
      // The same mode written again changes nothing but the file's time.
      for (int tries = 0; tries < 20; ++tries) {
        WriteMode(Mode());
        if (!h->ReadSinceWritten(SettingsFile().string())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      EXPECT_TRUE(WaitFor([&] { return h->ReadSinceWritten(SettingsFile().string()); },
                          intervalMs * 4 + 2000))
          << "the monitor did not read its settings file";
    }
  }

  int CountLines(int copy, const std::string& prefix) {
    auto lines = h->DebugLines(copy);
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }));
  }

  // Starts a monitor in debug mode and waits until it is monitoring.
  int StartMonitoring(const std::string& args = "-d") {
    int copy = h->StartMonitor(args);
    EXPECT_TRUE(WaitForLine(copy, "Successfully added")) << "monitor did not start";
    EXPECT_TRUE(WaitFor([&] { return Mode() == "ACTIVE"; }));
    return copy;
  }

  // This run's names for the stand-in games.
  std::string Racer() { return h->Exe("racer"); }
  std::string Flyer() { return h->Exe("flyer"); }

  std::unique_ptr<MonitorHarness> h;
};

// The commands the control utility ran, from its log; false when two runs
// overlapped (a start before the previous run's end).
inline bool ControlCalls(const std::string& log, std::vector<std::string>* calls) {
  std::istringstream in(log);
  std::string line;
  bool open = false, sequential = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (StartsWith(line, "start ")) {
      if (open) sequential = false;
      open = true;
      size_t blank = line.find(' ', 6);
      calls->push_back(blank == std::string::npos ? "" : line.substr(blank + 1));
    } else if (StartsWith(line, "end ")) {
      open = false;
    }
  }
  return sequential;
}

class ActivationScenario : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    h->InstallCompanions();
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    EXPECT_TRUE(ControlCalls(Slurp(Folder() / "zephcontrol.log"), &calls)) << "calls overlapped";
    return calls;
  }
  std::string State(const std::string& key) {
    return ini::GetString(Slurp(Folder() / "zephcontrol.state"), "CONTROLLER", key, "ERROR", 255);
  }
  bool EventLogHas(const std::string& text) {
    return Slurp(Folder() / "zephevent.log").find(text) != std::string::npos;
  }
};

inline const std::vector<std::string> kResetCalls = {"--set-defaults",
                                                     "--reset-sensitivity-curve 1",
                                                     "--reset-sensitivity-curve 2",
                                                     "--reset-sensitivity-curve 3",
                                                     "--reset-sensitivity-curve 4",
                                                     "--reset-sensitivity-curve 5"};

}  // namespace zeph::e2e

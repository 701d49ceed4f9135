// A main form on the fake system, with a program folder and helpers to add
// profiles and processes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "monitor/MainForm.h"
#include "system/fake/FakeSystem.h"

namespace zeph::testing {

// The four controller maps of a usable profile, at their fixed lengths.
inline const std::string kMaps =
    "[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,+,+,+,+,+ }\r\n"
    "GAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\nSENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\n";

class FormFixture : public ::testing::Test {
 protected:
  FormFixture() : form(sys) {
    sys.SetCommands(&form);
    sys.AddFolder("C:\\Zeph");
    sys.AddFolder("C:\\Zeph\\wyn");
    // The attached reminder stays away unless a test wants it.
    sys.registry["hklm\\software\\thalix\\kinetra\\checkattached"] = {1,
                                                                      {'F', 'a', 'l', 's', 'e', 0}};
  }

  // A usable profile naming `executable` (the text after "EXECUTABLE=").
  void AddProfile(const std::string& name, const std::string& executable,
                  const std::string& appName = "Some Game") {
    sys.AddFile("C:\\Zeph\\wyn\\" + name,
                "[IDENTIFICATION]\r\nAPPLICATION_NAME=" + appName +
                    "\r\n[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\n"
                    "EXECUTABLE=" +
                    executable + "\r\n" + kMaps);
  }

  void AddProcess(uint32_t pid, const std::string& path, int64_t startMs = 0, int64_t endMs = -1) {
    FakeSystem::Process p;
    p.id = pid;
    p.path = path;
    p.startMs = startMs;
    p.endMs = endMs;
    sys.processes.push_back(p);
  }

  // Runs start-up; true when the program ended inside it.
  bool Load(const std::string& args = "") {
    sys.commandArgs = args;
    try {
      form.Form_Load();
    } catch (const FakeSystem::ProgramEnded&) {
      return true;
    }
    return false;
  }

  // Runs one tick; true when the program ended inside it.
  bool Tick() {
    try {
      form.tmrMonitor_Timer();
    } catch (const FakeSystem::ProgramEnded&) {
      return true;
    }
    return false;
  }

  // Another program writing the mode channel.
  void WriteMode(const std::string& value) {
    sys.WriteIniString("C:\\Zeph\\zephmon.ini", "APPLICATION", "MODE", value);
  }

  std::string Mode() {
    return sys.ReadIniString("C:\\Zeph\\zephmon.ini", "APPLICATION", "MODE", "ERROR", 255);
  }

  // Entries of the fake's log that start with prefix, in order.
  std::vector<std::string> LogOf(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& entry : sys.log)
      if (entry.compare(0, prefix.size(), prefix) == 0) found.push_back(entry);
    return found;
  }

  size_t LogIndex(const std::string& entry) {
    auto it = std::find(sys.log.begin(), sys.log.end(), entry);
    return it == sys.log.end() ? std::string::npos : static_cast<size_t>(it - sys.log.begin());
  }

  FakeSystem sys;
  MainForm form;
};

}  // namespace zeph::testing

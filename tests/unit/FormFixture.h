// A main form on the fake system and desktop, with a program folder and
// helpers to add profiles and processes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/MainForm.h"
#include "system/fake/FakeSystem.h"
#include "tests/unit/Components.h"
#include "tray/fake/FakeDesktop.h"

namespace zeph::testing {

// The four controller maps of a usable profile, at their fixed lengths.
inline const std::string kMaps =
    "[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,+,+,+,+,+ }\r\n"
    "GAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\nSENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\n";

// A usable profile naming `executable` (the text after "EXECUTABLE=").
inline std::string ProfileText(const std::string& executable, const std::string& appName,
                               const std::string& extra = "") {
  return "[IDENTIFICATION]\r\nAPPLICATION_NAME=" + appName +
         "\r\n[VERSION]\r\nVERSION=6.1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=" +
         executable + "\r\n" + extra + kMaps;
}

// A profile with a copy-files block and a custom block of these lines.
inline std::string SetupProfile(const std::vector<std::string>& copyLines,
                                const std::vector<std::string>& customLines) {
  std::string text = "[IDENTIFICATION]\r\nAPPLICATION_NAME=Foo Game\r\n[CONFIGURATION]\r\n";
  text += "COPY_FILES=TRUE\r\n{\r\n";
  for (const auto& line : copyLines) text += line + "\r\n";
  text += "   }\r\nCUSTOM=TRUE\r\n{\r\n";
  for (const auto& line : customLines) text += line + "\r\n";
  return text + "   }\r\n";
}

// The fake system and desktop together, with one log.
struct FakeWorld {
  FakeWorld() : desktop(sys.log) {
    sys.AddFolder("C:\\Zeph");
    sys.AddFolder("C:\\Zeph\\wyn");
  }
  FakeSystem sys;
  FakeDesktop desktop;
};

// The fake system and desktop, with helpers to add profiles and processes.
class WorldFixture : public ::testing::Test {
 protected:
  WorldFixture() : sys(world_.sys), desk(world_.desktop) {
    // The attached reminder stays away unless a test wants it.
    sys.regValues["hklm\\software\\thalix\\kinetra\\checkattached"] = {
        1, {'F', 'a', 'l', 's', 'e', 0}};
  }

  void AddProfile(const std::string& name, const std::string& executable,
                  const std::string& appName = "Some Game", const std::string& extra = "") {
    sys.AddFile("C:\\Zeph\\wyn\\" + name, ProfileText(executable, appName, extra));
  }

  void AddProcess(uint32_t pid, const std::string& path, int64_t startMs = 0, int64_t endMs = -1) {
    FakeSystem::Process p;
    p.id = pid;
    p.path = path;
    p.startMs = startMs;
    p.endMs = endMs;
    sys.processes.push_back(p);
  }

  // Runs f; true when the program ended inside it.
  template <typename F>
  bool Ends(F&& f) {
    try {
      f();
    } catch (const FakeSystem::ProgramEnded&) {
      return true;
    }
    return false;
  }

  // Another program writing the mode channel.
  void WriteMode(const std::string& value) {
    sys.Seam().ini.WriteString("C:\\Zeph\\zephmon.ini", "APPLICATION", "MODE", value, nullptr);
  }

  std::string Mode() { return sys.IniValue("C:\\Zeph\\zephmon.ini", "APPLICATION", "MODE"); }

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

  FakeWorld world_;
  FakeSystem& sys;
  FakeDesktop& desk;
};

// A main form on the fake system and desktop.
class FormFixture : public WorldFixture {
 protected:
  FormFixture() : form(sys.Seam(), desk) {
    sys.Seam().loop.SetCommands(&form);
    desk.SetCommands(&form);
  }

  // Runs start-up; true when the program ended inside it.
  bool Load(const std::string& args = "") {
    sys.commandArgs = args;
    return Ends([&] { form.Form_Load(); });
  }

  // Runs one tick; true when the program ended inside it.
  bool Tick() {
    return Ends([&] { form.tmrMonitor_Timer(); });
  }

  MainForm form;
};

}  // namespace zeph::testing

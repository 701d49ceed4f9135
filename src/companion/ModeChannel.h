// The mode channel: the monitor's settings file "zephmon.ini", whose
// [APPLICATION] MODE the companion programs read and write to suspend,
// resume or stop the monitor. The mode is read from and written to the file
// here only.
#pragma once

#include <cstdint>
#include <string>

#include "system/Files.h"
#include "system/IniFiles.h"
#include "system/Program.h"

namespace zeph {

enum class Mode {
  None,     // "": not monitoring; written when the program ends
  Active,   // "ACTIVE"
  Suspend,  // "SUSPEND"
  Unknown,  // any other text read (a garbled or missing file): never current
};

// "ACTIVE", "SUSPEND", "" (Unknown too).
const char* ModeText(Mode mode);
// The mode a text names, ignoring case.
Mode ModeOf(const std::string& text);

class ModeChannel {
 public:
  ModeChannel(Program& program, Files& files, IniFiles& ini)
      : program_(program), files_(files), ini_(ini) {}

  // The settings file in the program folder.
  std::string Path() const;
  // Made and set to "ACTIVE" by start-up; false, with *why, when the file
  // cannot be written or does not keep what is written.
  bool Prepare(std::string* why);
  bool Prepared() const { return !path_.empty(); }

  // The mode the monitor is in. Every switch to Suspend counts a suspend.
  Mode Current() const { return current_; }
  void SetCurrent(Mode mode);
  uint64_t Suspends() const { return suspends_; }

  // The mode the file says now.
  Mode Read() const;
  // Into the prepared file; nothing before start-up has prepared it.
  bool Write(Mode mode, SystemError* err = nullptr);
  // Into the file when it is there, prepared or not.
  void WriteIfThere(Mode mode);

  // Held while a routine changes the mode or the controller: the watch
  // loop's ticks wait, since a tick in the middle would read a mode that is
  // about to change.
  class Change {
   public:
    explicit Change(ModeChannel& channel) : channel_(channel) { ++channel_.changing_; }
    ~Change() { --channel_.changing_; }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

   private:
    ModeChannel& channel_;
  };
  bool Changing() const { return changing_ > 0; }

 private:
  Program& program_;
  Files& files_;
  IniFiles& ini_;
  std::string path_;  // set by Prepare
  Mode current_ = Mode::None;
  uint64_t suspends_ = 0;
  int changing_ = 0;
};

}  // namespace zeph

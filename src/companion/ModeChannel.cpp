#include "companion/ModeChannel.h"

#include "companion/Companions.h"
#include "system/IniHelpers.h"
#include "system/WinPath.h"

namespace zeph {

const char* ModeText(Mode mode) {
  switch (mode) {
    case Mode::Active: return "ACTIVE";
    case Mode::Suspend: return "SUSPEND";
    case Mode::None:
    case Mode::Unknown: break;
  }
  return "";
}

Mode ModeOf(const std::string& text) {
  if (text.empty()) return Mode::None;
  if (EqualsNoCase(text, "ACTIVE")) return Mode::Active;
  if (EqualsNoCase(text, "SUSPEND")) return Mode::Suspend;
  return Mode::Unknown;
}

std::string ModeChannel::Path() const { return program_.Folder() + "\\" + kMonitorSettingsFile; }

bool ModeChannel::Prepare(std::string* why) {
  const std::string path = Path();
  SystemError err;
  bool ok = files_.IsFile(path) || files_.MakeEmptyFile(path, &err);
  path_ = path;
  ok = ok && WriteIni(ini_, path, "VERSION", "VERSION", "5.1", &err);
  ok = ok && Write(Mode::Active, &err);
  current_ = Mode::Active;
  // Without a file that says "ACTIVE" the first tick would end the program
  // without a word.
  if (ok && ReadIni(ini_, path, "APPLICATION", "MODE") == ModeText(Mode::Active)) return true;
  *why = ok ? "it does not keep what is written" : err.Describe();
  return false;
}

void ModeChannel::SetCurrent(Mode mode) {
  current_ = mode;
  if (mode == Mode::Suspend) ++suspends_;
}

Mode ModeChannel::Read() const {
  return ModeOf(ReadIni(ini_, Prepared() ? path_ : Path(), "APPLICATION", "MODE"));
}

bool ModeChannel::Write(Mode mode, SystemError* err) {
  if (!Prepared()) return false;
  return WriteIni(ini_, path_, "APPLICATION", "MODE", ModeText(mode), err);
}

void ModeChannel::WriteIfThere(Mode mode) {
  const std::string path = Path();
  if (files_.IsFile(path)) WriteIni(ini_, path, "APPLICATION", "MODE", ModeText(mode));
}

}  // namespace zeph

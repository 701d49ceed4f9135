// The stand-in event utility (ZephEvent.exe), customizer (zephcfg.exe) and
// web update utility (zephweb.exe): each starts, reports what it read, and
// stays until its window is asked to close.
//
// The event utility reads "zephevent.ini" beside it once, when it starts,
// and reports every key it knows, in this order, one "SECTION KEY=value"
// line each (one pair of enclosing quotes removed; a missing key reports an
// empty value):
//   DEADZONE DEADZONE_0 .. DEADZONE_5
//   MOTIONS  MOTION_0_POS, MOTION_0_NEG, .. MOTION_5_POS, MOTION_5_NEG
//   BUTTONS  BUTTON_0 .. BUTTON_15
// The report goes to standard output and to "zephevent.log" beside it,
// which it rewrites at the start: "started <pid>", the key lines, and
// "closed" once asked to close. A copy that starts while an earlier one is
// still closing waits (up to kEarlierCopyWaitMs) for it to end first, so
// the log always belongs to one copy; and "closed" is only added to a log
// that still begins with the copy's own "started" line.
#pragma once

#include <string>
#include <vector>

namespace zeph::standin {

constexpr const char* kEventLogName = "zephevent.log";
constexpr const char* kWebUpdateText = "Web update: nothing to do";
constexpr int kEarlierCopyWaitMs = 5000;

// The event utility's report lines for the contents of its settings file.
std::vector<std::string> EventReportLines(const std::string& iniText);
// "Current profile: " + key "Current" of section "Games" ("(none)" when
// the key is missing or empty).
std::string CustomizerText(const std::string& iniText);

// The programs' whole runs; each returns its exit code.
int RunEventUtility();
int RunCustomizer();
int RunWebUpdate();

}  // namespace zeph::standin

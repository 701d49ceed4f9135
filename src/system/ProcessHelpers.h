// Running companion programs, and the argument rules of their command lines.
#pragma once

#include <string>
#include <vector>

#include "system/EventLoop.h"
#include "system/Processes.h"

namespace zeph {

// Runs commandLine with a hidden window. With noWait false it waits for the
// program to end, keeping messages flowing, and returns its exit code; with
// noWait true it returns 0 at once. -1, with err, when the program cannot be
// started or its end cannot be seen.
int RunAndWait(Processes& processes, EventLoop& loop, const std::string& commandLine, bool noWait,
               SystemError* err = nullptr);

// Splits argument text as a Windows program's C runtime does: blanks and
// tabs separate; double quotes group and are removed; inside quotes "" is
// one quote; 2n backslashes before a quote give n backslashes (the quote then
// groups), 2n+1 give n and a literal quote; other backslashes are kept.
std::vector<std::string> SplitArguments(const std::string& text);

// A program path as the first word of a command line: in double quotes, so
// that blanks in its folders cannot make another program run.
std::string QuotedProgram(const std::string& path);

}  // namespace zeph

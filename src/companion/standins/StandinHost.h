// What the stand-in companion programs need of their platform. One body per
// platform: win32/StandinHost.cpp and posix/StandinHost.cpp.
//
// Paths here are native paths, except where a function says it takes a path
// as a command line gives it (Windows form: on POSIX it is translated).
#pragma once

#include <functional>
#include <string>

namespace zeph::standin {

enum class ReadStatus { Okay, NotFound, OtherError };

// Native path of the file `name` in the folder that holds this program.
std::string FileBesideProgram(const std::string& name);
unsigned long CurrentProcessId();

ReadStatus ReadWholeFile(const std::string& path, std::string* contents);
// Replaces the file as a whole in one step (a temporary file in the same
// folder, renamed over it): a reader sees the old or the new contents.
bool WriteFileAtomic(const std::string& path, const std::string& contents);
// Adds text at the end of the file (created when missing) in one write.
bool AppendToFile(const std::string& path, const std::string& text);
// True when a regular file (not a folder) exists at a path given on the
// command line.
bool CommandLineFileExists(const std::string& path);

// Writes a line to standard output or standard error at once (unbuffered).
void PrintLine(const std::string& line);
void PrintError(const std::string& line);

// Waits, at most timeoutMs, until no other copy of this same program file
// has a top-level window with exactly this title (so a copy that was asked
// to close has ended before a new one takes its place). Copies started from
// other folders do not count. False on timeout.
bool WaitUntilNoEarlierCopy(const std::string& title, int timeoutMs);

struct WindowOptions {
  std::string title;
  std::string text;    // shown in the window; "" for none
  bool shown = false;  // false: the window exists but is never shown
};

// Makes a top-level window with this title (POSIX: registers the title so
// that it can be found and closed), calls ready(), and waits until the
// window is asked to close (WM_CLOSE; POSIX: TERM or INT). Then calls
// closing() while the window still exists, takes the window away and
// returns 0. Returns 1 at once, with a message, when no window can be made.
int RunWindowUntilClosed(const WindowOptions& options, const std::function<void()>& ready,
                         const std::function<void()>& closing);

}  // namespace zeph::standin

// Whole-file reads and all-or-nothing writes, on native paths.
#pragma once

#include <string>

namespace zeph::posix {

enum class ReadStatus { Okay, NotFound, OtherError };

ReadStatus ReadWholeFile(const std::string& nativePath, std::string* contents);

// Replaces the file's contents in one step: a temporary file in the same
// folder is written, synced and renamed over the file, so a reader sees the
// old or the new contents and never a part. The file keeps its mode bits
// (and owner where allowed); a link is followed to the file it names.
// Refuses, leaving everything as it was, when the folder does not exist or
// the file exists but may not be written.
//
// With Sync::ToDisk the data and the rename are also forced to the disk
// before it returns (for files whose loss after a crash would hurt); with
// Sync::Replace the replacement is atomic for every reader but left to the
// system's own write-back, as the Windows profile writer does. Settings
// written dozens of times per game start use Replace: a forced flush per key
// would cost more than the program runs it is part of.
enum class Sync { ToDisk, Replace };
bool WriteFileAtomic(const std::string& nativePath, const std::string& contents,
                     Sync sync = Sync::ToDisk);

}  // namespace zeph::posix

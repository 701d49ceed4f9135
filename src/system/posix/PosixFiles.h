// Whole-file reads and all-or-nothing writes, on native paths.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace zeph::posix {

enum class ReadStatus { Okay, NotFound, OtherError };

// Writes all of data, going on after interrupted and partial writes; errno
// tells why when it returns false.
bool WriteAll(int fd, const char* data, size_t size);

// The whole of the regular file at nativePath; anything else reads as
// NotFound, as OpenRegularFile says. errno tells why on NotFound and OtherError.
ReadStatus ReadWholeFile(const std::string& nativePath, std::string* contents);

// Opens the regular file at nativePath (links followed) for reading, into
// *fd. Whatever else may be there is never waited on or read: a FIFO, a
// device or a folder gives NotFound as nothing there does, and *error tells
// them apart (ENOENT or ENOTDIR when nothing is there, EISDIR for a folder,
// EINVAL for anything else that is not a regular file). OtherError with the
// errno of open otherwise.
ReadStatus OpenRegularFile(const std::string& nativePath, int* fd, int* error);

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
                     Sync sync = Sync::ToDisk, int* error = nullptr);

// WriteFileAtomic with contents that writer streams in through put (which
// returns false when the temporary file cannot take them). Nothing changes
// unless writer returns true. On failure *error (when not null) holds an
// errno value: EISDIR or EINVAL for a path that is no regular file, EACCES
// for a file that may not be written, else that of the failing call (EIO
// when writer failed on its own).
using PutBytes = std::function<bool(const char* data, size_t size)>;
bool StreamFileAtomic(const std::string& nativePath,
                      const std::function<bool(const PutBytes& put)>& writer, Sync sync,
                      int* error);

}  // namespace zeph::posix

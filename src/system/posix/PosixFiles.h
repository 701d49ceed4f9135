// Whole-file reads and all-or-nothing writes, on native paths.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
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

// With Sync::ToDisk a replacement's data and rename are forced to the disk
// before it is reported done (for files whose loss after a crash would
// hurt); with Sync::Replace the replacement is atomic for every reader but
// left to the system's own write-back, as the Windows profile writer does.
// Settings written dozens of times per game start use Replace: a forced
// flush per key would cost more than the program runs it is part of.
enum class Sync { ToDisk, Replace };

// New contents for a file, written to a hidden file of their own in the same
// folder (created exclusively, under a name no other file has) and renamed
// over the file by Commit, so a reader sees the old or the new contents and
// never a part. Dropped without a successful Commit, the work file is
// removed and the file stays as it was.
class NativeWorkFile {
 public:
  // One for nativePath; a link is followed to the file it names. Null, with
  // *error an errno value, when the folder does not exist, or the file
  // exists and is no regular file (EISDIR, EINVAL) or may not be written.
  static std::unique_ptr<NativeWorkFile> Create(const std::string& nativePath, int* error);
  ~NativeWorkFile();
  NativeWorkFile(const NativeWorkFile&) = delete;
  NativeWorkFile& operator=(const NativeWorkFile&) = delete;

  // All of data. After a failure every further Write and the Commit fail
  // with the same error: a part-written file never replaces the target.
  bool Write(const char* data, size_t size, int* error);
  // The file keeps its mode bits (and owner where allowed), and the work
  // file takes its place. On failure the work file is gone.
  bool Commit(Sync sync, int* error);
  // Commit that keeps the replaced file at backupPath: a hard link made
  // before the rename, or, where no link can be made there (another volume,
  // a file system without links), a copy. The backup is on the disk before
  // the rename is. Nothing is kept when there is no target.
  bool CommitKeeping(const std::string& backupPath, Sync sync, int* error);
  const std::string& Path() const { return path_; }

 private:
  NativeWorkFile(std::string target, std::string path, int fd);

  std::string target_;
  std::string path_;
  int fd_;
  int writeError_ = 0;
};

// Replaces the file's contents in one step, through a NativeWorkFile.
bool WriteFileAtomic(const std::string& nativePath, const std::string& contents,
                     Sync sync = Sync::ToDisk, int* error = nullptr);

// WriteFileAtomic with contents that writer streams in through put (which
// returns false when the work file cannot take them). Nothing changes
// unless writer returns true. On failure *error (when not null) holds an
// errno value: EISDIR or EINVAL for a path that is no regular file, that of
// access() for a file that may not be written (EACCES; EPERM when it is
// immutable, EROFS on a read-only mount), else that of the failing call
// (EIO when writer failed on its own).
using PutBytes = std::function<bool(const char* data, size_t size)>;
// Copies the regular file at from to a new file at to, whole or not at all
// (to must not exist). Sync::ToDisk forces it to the disk.
bool CopyFileAtomic(const std::string& from, const std::string& to, Sync sync, int* error);

bool StreamFileAtomic(const std::string& nativePath,
                      const std::function<bool(const PutBytes& put)>& writer, Sync sync,
                      int* error);

}  // namespace zeph::posix

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
// Settings use Replace: a forced flush per write would cost more than the
// program runs it is part of. Sync::Scratch is Replace without the one
// flush the file system makes on its own: ext4 writes a file's new data out
// before a rename over an existing file (0.1 ms to several ms while the
// disk is busy), so that a crash leaves the old or the new contents; a
// scratch file is put in place by swapping the two names instead, and
// after a crash it may be empty. For state rewritten at every run of a
// program, whose loss costs nothing.
enum class Sync { ToDisk, Replace, Scratch };

// The file that a write to nativePath reaches: nativePath itself, unless it
// is a symbolic link, then the end of the link's chain (each relative link
// taken from its own folder). A chain that ends at nothing gives the path it
// points to, when that folder exists: the file is made there and the links
// stay. False, with *error an errno value, when the folder pointed into is
// missing (ENOENT), the chain loops (ELOOP), or a link cannot be read.
bool ResolveTarget(const std::string& nativePath, std::string* target, int* error);

// New contents for a file, written to a hidden file of their own in the same
// folder (created exclusively, under a name no other file has) and renamed
// over the file by Commit, so a reader sees the old or the new contents and
// never a part. Dropped without a successful Commit, the work file is
// removed and the file stays as it was.
class NativeWorkFile {
 public:
  // One for nativePath; a link is followed to the file it names (see
  // ResolveTarget), so that the link stays. Null, with *error an errno value,
  // when the folder does not exist, or the file exists and is no regular
  // file (EISDIR, EINVAL) or may not be written.
  static std::unique_ptr<NativeWorkFile> Create(const std::string& nativePath, int* error);
  ~NativeWorkFile();
  NativeWorkFile(const NativeWorkFile&) = delete;
  NativeWorkFile& operator=(const NativeWorkFile&) = delete;

  // All of data. After a failure every further Write and the Commit fail
  // with the same error: a part-written file never replaces the target.
  bool Write(const char* data, size_t size, int* error);
  // The committed file gets the mode bits of the file at sourcePath (links
  // followed) in place of the target's own: at once for the work file, so
  // that its contents are never more open than the source's, and again at
  // Commit. The set-user and set-group bits are kept only where the file's
  // owner or group is the source's. False, with *error, when the source
  // cannot be looked at or the mode cannot be set.
  bool TakeModeOf(const std::string& sourcePath, int* error);
  // The file keeps its mode bits (and owner where allowed), or takes those
  // of TakeModeOf, and the work file takes its place. On failure the work
  // file is gone.
  bool Commit(Sync sync, int* error);
  // Commit that keeps the replaced file at backupPath: a hard link made
  // before the rename, or, where no link can be made there (another volume,
  // a file system without links), a copy with at most the old file's mode
  // bits. The backup is on the disk before the rename is. Nothing is kept
  // when there is no target.
  bool CommitKeeping(const std::string& backupPath, Sync sync, int* error);
  const std::string& Path() const { return path_; }

 private:
  NativeWorkFile(std::string target, std::string path, int fd);

  // What TakeModeOf found: the source's mode, owner and group.
  struct TakenMode {
    unsigned mode;
    unsigned uid;
    unsigned gid;
  };

  std::string target_;
  std::string path_;
  int fd_;
  int writeError_ = 0;
  bool hasTakenMode_ = false;
  TakenMode taken_{};
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
// (to must not exist), with from's mode bits. Sync::ToDisk forces it to the disk.
bool CopyFileAtomic(const std::string& from, const std::string& to, Sync sync, int* error);

bool StreamFileAtomic(const std::string& nativePath,
                      const std::function<bool(const PutBytes& put)>& writer, Sync sync,
                      int* error);

}  // namespace zeph::posix

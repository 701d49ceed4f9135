// Files and folders. Paths are in the Windows form (backslashes) on every
// platform; the POSIX side translates them at its boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "system/Error.h"

namespace zeph {

// A file read from its start, a piece at a time.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Up to size bytes into out; *got is 0 only at the end of the file.
  virtual bool Read(char* out, size_t size, size_t* got, SystemError* err) = 0;
};

// New contents for a target file. They go to a file of their own beside the
// target, under a name no other file has, and Commit puts that file in the
// target's place in one step: any reader sees the old file or the new one,
// whole. A work file dropped without a successful Commit is removed, and
// the target stays byte for byte as it was.
class WorkFile {
 public:
  virtual ~WorkFile() = default;
  virtual bool Write(const char* data, size_t size, SystemError* err) = 0;
  // The committed file gets the permissions of the file at source in place
  // of the target's own, as a copy of source would: its mode bits on POSIX
  // (not its owner), its attributes (read-only, hidden, system, archive) on
  // Windows. Without this call a replaced target keeps its own.
  virtual bool TakePermissionsOf(const std::string& source, SystemError* err) = 0;
  // Replaces the target (or creates it when there is none). After a failure
  // the target is as it was and the work file is gone.
  virtual bool Commit(SystemError* err) = 0;
  // Commit that keeps the replaced file at backup (a path on any volume,
  // whose folder exists): the backup is there only once the replace has
  // begun, and holds the target's old content whole. Where backup shares the
  // target's volume the old file is moved there, not copied; elsewhere it is
  // copied before the replace, a copy no more open than the old file. With
  // no target there is nothing to keep and no backup is made. After a
  // failure the target is as it was, and no backup is left unless the
  // target's only copy is there.
  virtual bool CommitKeeping(const std::string& backup, SystemError* err) = 0;
  // Where the work file is, so that one left by a killed process can be
  // found again; "" when it has no file of its own.
  virtual std::string Path() const = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  virtual bool IsFile(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // Names (without folder) of the files directly in folder, in the order the
  // platform's listing gives them. Sub-folders are left out.
  virtual bool List(const std::string& folder, std::vector<std::string>* names,
                    SystemError* err) = 0;
  // Creates an empty file unless one exists already.
  virtual bool MakeEmptyFile(const std::string& path, SystemError* err) = 0;
  // Creates one folder (its parent must exist); true when it exists afterwards.
  virtual bool MakeFolder(const std::string& path, SystemError* err) = 0;
  // MakeFolder for a folder that only its owner may enter; one that exists
  // already is closed to others when it is ours. (On Windows the user's own
  // folders are private already: the same as MakeFolder.)
  virtual bool MakePrivateFolder(const std::string& path, SystemError* err) = 0;
  // The path that a write to path really reaches: links followed, each name
  // spelled as it is on the disk. path itself when there is nothing to
  // resolve (or nothing there yet).
  virtual std::string ResolvedPath(const std::string& path) = 0;
  // The whole file as 8-bit text.
  virtual ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) = 0;
  // Replaces the file as a whole: a failed write leaves the old file as it
  // was, never half-written.
  virtual bool WriteText(const std::string& path, const std::string& contents,
                         SystemError* err) = 0;
  // WriteText for a file the program writes anew whenever it needs it (the
  // command script): just as whole for every reader, but left to the
  // system's write-back rather than forced to the disk before it returns,
  // which costs more than the rest of the write. A crash may lose it.
  virtual bool WriteTextUnsynced(const std::string& path, const std::string& contents,
                                 SystemError* err) {
    return WriteText(path, contents, err);
  }
  // Opens a file for reading from its start: Missing when nothing is there,
  // Failed (err says why) when it cannot be opened.
  virtual std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                               SystemError* err) = 0;
  // A work file for target, in target's folder. Fails, creating nothing,
  // when that folder does not exist or target exists and may not be written.
  virtual std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) = 0;
  // Deletes a file; a missing file is a failure too.
  virtual bool Remove(const std::string& path, SystemError* err) = 0;
  // Names of the sub-folders directly in folder.
  virtual bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                           SystemError* err) = 0;
  // Deletes an empty folder; one that holds anything is a failure.
  virtual bool RemoveFolder(const std::string& path, SystemError* err) = 0;
  // The file's size in bytes.
  virtual ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) = 0;
};

}  // namespace zeph

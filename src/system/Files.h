// Files and folders. Paths are in the Windows form (backslashes) on every
// platform; the POSIX side translates them at its boundary.
#pragma once

#include <string>
#include <vector>

#include "system/Error.h"

namespace zeph {

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
  // The whole file as 8-bit text.
  virtual ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) = 0;
  // Replaces the file as a whole: a failed write leaves the old file as it
  // was, never half-written.
  virtual bool WriteText(const std::string& path, const std::string& contents,
                         SystemError* err) = 0;
  // Deletes a file; a missing file is a failure too.
  virtual bool Remove(const std::string& path, SystemError* err) = 0;
};

}  // namespace zeph

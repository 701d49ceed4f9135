// Turning the paths of a game profile into real paths. GetFileOnly and
// GetPathOnly, which split a path at its last backslash, are shared with
// the rest of the program (system/WinPath.h).
#pragma once

#include <string>

#include "system/DebugList.h"
#include "system/Files.h"
#include "system/WinPath.h"

namespace zeph {

// varCopyUp resolved against the base folder varPathUp (ending in "\"):
// ".\" means the game folder, each leading "..\" climbs one folder, anything
// else is relative to the base. "ERROR" when it climbs above the drive.
std::string ResolveRelativePath(const std::string& gameFolder, std::string varPathUp,
                                std::string varCopyUp);

// The paths of one game's installation, as the end-of-game pass resolves
// and makes them.
class GamePaths {
 public:
  GamePaths(Files& files, DebugList& debugList) : files_(files), debugList_(debugList) {}

  // The game folder, without trailing "\".
  void SetGameFolder(const std::string& folder) { gameFolder_ = folder; }

  // varCopyUp resolved against varPathUp (the game folder + "\"); "ERROR"
  // when it climbs above the drive.
  std::string CheckRelativePath(std::string varPathUp, std::string varCopyUp) const;
  // The target of an operation: field 1 resolved against the game folder.
  std::string TargetPath(const std::string& field) const;
  // Creates every missing folder of buildPath; removes one trailing "\".
  // A failure is a debug line.
  void BuildFolders(std::string& buildPath);
  // BuildFolders for each folder of path, from the innermost out.
  void BuildFoldersFor(const std::string& path);

 private:
  Files& files_;
  DebugList& debugList_;
  std::string gameFolder_;
};

}  // namespace zeph

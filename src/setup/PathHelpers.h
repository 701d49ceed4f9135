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

// Whether path names a drive: "C:\...", "c:" alone.
bool NamesDrive(const std::string& path);
// path, which names a drive, as a path of this system inside the Wine prefix
// (Windows form): the drive is the prefix's dosdevices link of that letter,
// followed; without a dosdevices folder, C: is the prefix's drive_c. "" when
// the prefix has no such drive.
std::string MapDrivePath(Files& files, const std::string& prefix, const std::string& path);

// The paths of one game's installation, as the end-of-game pass resolves
// and makes them.
class GamePaths {
 public:
  GamePaths(Files& files, DebugList& debugList) : files_(files), debugList_(debugList) {}

  // The game folder, without trailing "\".
  void SetGameFolder(const std::string& folder) { gameFolder_ = folder; }
  // The Wine prefix of a game run by Wine ("" for any other), through which
  // paths that name a drive are found.
  void SetWinePrefix(const std::string& prefix) { winePrefix_ = prefix; }

  // varCopyUp resolved against varPathUp (the game folder + "\"); "ERROR"
  // when it climbs above the drive. For a game run by Wine a varCopyUp that
  // names a drive is that drive's path in the prefix ("ERROR" when the
  // prefix has no such drive).
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
  std::string winePrefix_;
};

}  // namespace zeph

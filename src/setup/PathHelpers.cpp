#include "setup/PathHelpers.h"

#include <cctype>
#include <vector>

namespace zeph {

namespace {

// The code of a path with no parts at all: there is no first part to start from.
constexpr int kNoPathParts = 9;

}  // namespace

std::string ResolveRelativePath(const std::string& gameFolder, std::string varPathUp,
                                std::string varCopyUp) {
  if (varCopyUp.compare(0, 2, ".\\") == 0) return gameFolder + varCopyUp.substr(1);
  while (varCopyUp.compare(0, 3, "..\\") == 0) {
    varCopyUp.erase(0, 3);
    std::vector<std::string> parts = SplitAt(varPathUp, '\\');
    std::string rebuilt;
    for (size_t i = 0; i + 2 < parts.size(); ++i) rebuilt += parts[i] + "\\";
    varPathUp = rebuilt;
  }
  if (varPathUp.size() < 3) return "ERROR";
  return varPathUp + varCopyUp;
}

bool NamesDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) &&
         (path.size() == 2 || path[2] == '\\');
}

std::string MapDrivePath(Files& files, const std::string& prefix, const std::string& path) {
  if (!NamesDrive(path)) return {};
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
  const std::string devices = prefix + "\\dosdevices";
  std::string drive;
  if (files.IsFolder(devices)) {
    const std::string link = devices + "\\" + letter + ":";
    if (!files.IsFolder(link)) return {};
    drive = files.ResolvedPath(link);
  } else if (letter == 'c' && files.IsFolder(prefix + "\\drive_c")) {
    drive = prefix + "\\drive_c";
  } else {
    return {};
  }
  // The root of this system ("z:" -> "/") ends in its backslash already.
  while (!drive.empty() && drive.back() == '\\') drive.pop_back();
  const std::string rest = path.substr(2);
  return rest.empty() || rest == "\\" ? (drive.empty() ? "\\" : drive) : drive + rest;
}

std::string GamePaths::CheckRelativePath(std::string varPathUp, std::string varCopyUp) const {
  if (!winePrefix_.empty() && NamesDrive(varCopyUp)) {
    const std::string mapped = MapDrivePath(files_, winePrefix_, varCopyUp);
    return mapped.empty() ? "ERROR" : mapped;
  }
  return ResolveRelativePath(gameFolder_, std::move(varPathUp), std::move(varCopyUp));
}

std::string GamePaths::TargetPath(const std::string& field) const {
  return CheckRelativePath(gameFolder_ + "\\", field);
}

void GamePaths::BuildFolders(std::string& buildPath) {
  if (!buildPath.empty() && buildPath.back() == '\\') buildPath.pop_back();
  if (buildPath.empty()) {
    // Nothing to start from: the line names no folder at all.
    debugList_.Add("Error " + std::to_string(kNoPathParts) + " building path ");
    return;
  }
  std::vector<std::string> parts = SplitAt(buildPath, '\\');
  std::string current = parts[0] + "\\";
  for (size_t k = 1; k < parts.size(); ++k) {
    current += parts[k] + "\\";
    if (files_.IsFolder(current)) continue;
    SystemError err;
    if (!files_.MakeFolder(current, &err)) {
      debugList_.Add("Error " + std::to_string(err.code) + " building path " + current);
      return;
    }
  }
}

void GamePaths::BuildFoldersFor(const std::string& path) {
  // A path from the root ("\\games\\..." on Linux) stops short of the root,
  // which is no folder to build.
  for (size_t at = path.rfind('\\'); at != std::string::npos && at != 0;
       at = path.rfind('\\', at - 1)) {
    std::string folder = path.substr(0, at + 1);
    BuildFolders(folder);
  }
}

}  // namespace zeph

#include "setup/PathHelpers.h"

#include <vector>

#include "monitor/MainForm.h"
#include "system/WinPath.h"

namespace zeph {

std::string GetFileOnly(const std::string& fullPath) {
  size_t slash = fullPath.rfind('\\');
  return slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
}

std::string GetPathOnly(const std::string& fullPath) {
  size_t slash = fullPath.rfind('\\');
  return slash == std::string::npos ? "" : fullPath.substr(0, slash + 1);
}

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

std::string MainForm::CheckRelativePath(std::string varPathUp, std::string varCopyUp) {
  return ResolveRelativePath(state.GameFolder, std::move(varPathUp), std::move(varCopyUp));
}

void MainForm::BuildFolders(std::string& buildPath) {
  if (!buildPath.empty() && buildPath.back() == '\\') buildPath.pop_back();
  std::vector<std::string> parts = SplitAt(buildPath, '\\');
  std::string current = parts[0] + "\\";
  if (buildPath.empty()) {
    debugList.Add("Error 9 building path " + current);
    return;
  }
  for (size_t k = 1; k < parts.size(); ++k) {
    current += parts[k] + "\\";
    if (sys_.FolderExists(current)) continue;
    if (!sys_.CreateFolder(current)) {
      // The numeric code of a folder that cannot be made (path not found).
      debugList.Add("Error 76 building path " + current);
      return;
    }
  }
}

}  // namespace zeph

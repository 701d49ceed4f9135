// The custom block's INI and registry writes. A write the system refuses
// fails its entry, so that the set-up is tried again at the next game end.
#include "monitor/MainForm.h"
#include "system/WinPath.h"
#include "setup/EditRules.h"
#include "system/IniHelpers.h"
#include "system/RegistryWriters.h"

namespace zeph {

namespace {

constexpr int kPathNotResolved = 3;  // "path not found"
constexpr int kInvalidData = 13;     // "the data is invalid": a DWORD that is no number

}  // namespace

bool MainForm::ExecIni() {
  return RunEntries(CustomCommand::Ini, 6, [&](const std::vector<std::string>& f) {
    const std::string path = TargetPath(f[0]);
    if (EqualsNoCase(path, "ERROR"))
      return LogOperationError(" changing INI ", path, f[0],
                               {kPathNotResolved, "the path climbs above the drive"});
    SystemError err;
    bool created = false;
    if (!sys_.files.IsFile(path)) {
      BuildFoldersFor(path);
      if (!sys_.files.MakeEmptyFile(path, &err))
        return LogOperationError(" changing INI ", path, path, err);
      created = true;
    }
    if (WriteIni(sys_.ini, path, f[2], f[3], f[4], &err)) return true;
    // The empty file made for the write goes with it.
    if (created) sys_.files.Remove(path, nullptr);
    return LogOperationError(" changing INI ", path, path, err);
  });
}

bool MainForm::ExecRegistry() {
  return RunEntries(CustomCommand::Registry, 6, [&](const std::vector<std::string>& f) {
    const bool isString = EqualsNoCase(f[0], "STRING");
    if (!isString && !EqualsNoCase(f[0], "DWORD")) return false;
    const std::string rootName = f[2].substr(0, 4);
    RegRoot root;
    if (EqualsNoCase(rootName, "HKLM"))
      root = RegRoot::LocalMachine;
    else if (EqualsNoCase(rootName, "HKCU"))
      root = RegRoot::CurrentUser;
    else
      return false;
    const std::string subkey = f[2].size() > 5 ? f[2].substr(5) : std::string();
    const std::string value = f[2] + "\\" + f[3];
    SystemError err;
    if (isString) {
      return WriteRegString(sys_.registry, root, subkey, f[3], f[4], &err) ||
             LogOperationError(" changing registry ", "", value, err);
    }
    int32_t number = 0;
    if (!ParseDwordData(f[4], &number))
      return LogOperationError(" changing registry ", "", value,
                               {kInvalidData, "the data is not a number: " + f[4]});
    return WriteRegDword(sys_.registry, root, subkey, f[3], number, &err) ||
           LogOperationError(" changing registry ", "", value, err);
  });
}

}  // namespace zeph

#include "setup/CustomOperations.h"

#include <functional>

#include "setup/EditRules.h"
#include "setup/TextEdits.h"
#include "system/IniHelpers.h"
#include "system/RegistryWriters.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

constexpr int kPathNotResolved = 3;  // "path not found": the path climbs above the drive
constexpr int kInvalidData = 13;     // "the data is invalid": a DWORD that is no number
constexpr int kNoRegistry = 2;       // "not found": the game's registry cannot be reached

// "Error <code><what><subject>", then "  <target>: <why>" (the line alone
// may name only a pattern), and false.
bool LogOperationError(OperationContext& c, const CustomOperation& op, const std::string& subject,
                       const std::string& target, const SystemError& why) {
  c.debugList.Add("Error " + std::to_string(why.code) + op.what + subject);
  c.debugList.Add("  " + target + ": " + why.Describe());
  return false;
}

SystemError Climbs() { return {kPathNotResolved, "the path climbs above the drive"}; }

using Rewriter = std::function<bool(Files& files, const std::string& path, const CustomEntry& f,
                                    SystemError* err)>;

// DELETE, MODIFY and REPLACE edit a target that is there; a path that
// cannot be resolved names no file, so there is nothing to edit.
bool Rewrite(OperationContext& c, const CustomOperation& op, const CustomEntry& f,
             const Rewriter& rewrite) {
  const std::string path = c.paths.TargetPath(f[0]);
  if (EqualsNoCase(path, "ERROR") || !c.files.IsFile(path)) return true;
  SystemError err;
  return rewrite(c.files, path, f, &err) || LogOperationError(c, op, f[2], path, err);
}

bool ExecDelete(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
  return Rewrite(c, op, f,
                 [](Files& files, const std::string& path, const CustomEntry& e, SystemError* err) {
                   return DeleteLines(files, path, DeleteRule(e[2], e[3]), err);
                 });
}

bool ExecModify(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
  return Rewrite(c, op, f,
                 [](Files& files, const std::string& path, const CustomEntry& e, SystemError* err) {
                   return ModifyLines(files, path, ModifyRule(e[2], e[3]), err);
                 });
}

bool ExecReplace(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
  return Rewrite(c, op, f,
                 [](Files& files, const std::string& path, const CustomEntry& e, SystemError* err) {
                   return ReplaceInLines(files, path, ReplaceRule(e[2], e[3]), err);
                 });
}

bool ExecAppend(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
  const std::string path = c.paths.TargetPath(f[0]);
  if (EqualsNoCase(path, "ERROR")) return LogOperationError(c, op, f[2], f[0], Climbs());
  if (!c.files.IsFile(path)) c.paths.BuildFoldersFor(path);
  SystemError err;
  return AppendLine(c.files, path, f[2], &err) || LogOperationError(c, op, f[2], path, err);
}

bool ExecIni(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
  const std::string path = c.paths.TargetPath(f[0]);
  if (EqualsNoCase(path, "ERROR")) return LogOperationError(c, op, path, f[0], Climbs());
  SystemError err;
  bool created = false;
  if (!c.files.IsFile(path)) {
    c.paths.BuildFoldersFor(path);
    if (!c.files.MakeEmptyFile(path, &err)) return LogOperationError(c, op, path, path, err);
    created = true;
  }
  if (WriteIni(c.ini, path, f[2], f[3], f[4], &err)) return true;
  // The empty file made for the write goes with it.
  if (created) c.files.Remove(path, nullptr);
  return LogOperationError(c, op, path, path, err);
}

bool ExecRegistry(OperationContext& c, const CustomOperation& op, const CustomEntry& f) {
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
  if (!c.registry)
    return LogOperationError(c, op, "", value,
                             {kNoRegistry, "the game's Wine prefix cannot be reached from here"});
  SystemError err;
  if (isString) {
    return WriteRegString(*c.registry, root, subkey, f[3], f[4], &err) ||
           LogOperationError(c, op, "", value, err);
  }
  int32_t number = 0;
  if (!ParseDwordData(f[4], &number))
    return LogOperationError(c, op, "", value, {kInvalidData, "the data is not a number: " + f[4]});
  return WriteRegDword(*c.registry, root, subkey, f[3], number, &err) ||
         LogOperationError(c, op, "", value, err);
}

}  // namespace

// The data of a REGISTRY line is expanded, so that a value can name the
// profile's keys as file edits can; its always-flag is taken as written.
// APPEND's failure line says " deleting ", as it always has.
const std::vector<CustomOperation>& CustomOperations() {
  static const std::vector<CustomOperation> kOperations = {
      {"DELETE", 5, 5, {0, 0}, {0, 0}, 999, " deleting ", ExecDelete},
      {"MODIFY", 5, 5, {3, 4}, {3, 4}, 888, " modifying ", ExecModify},
      {"APPEND", 4, 4, {3, 0}, {3, 0}, 777, " deleting ", ExecAppend},
      {"REPLACE", 5, 5, {4, 0}, {4, 0}, 555, " replacing ", ExecReplace},
      {"INI", 6, 6, {5, 0}, {4, 0}, 444, " changing INI ", ExecIni},
      {"REGISTRY", 6, 6, {5, 0}, {6, 0}, 444, " changing registry ", ExecRegistry},
  };
  return kOperations;
}

const CustomOperation* FindCustomOperation(const std::string& word) {
  for (const CustomOperation& op : CustomOperations())
    if (EqualsNoCase(word, op.word)) return &op;
  return nullptr;
}

}  // namespace zeph

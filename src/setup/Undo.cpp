#include "setup/Undo.h"

#include <algorithm>
#include <set>

#include "setup/Journal.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

using Kind = JournalRecord::Kind;

// A file's changes in one pass: what it held before the first change that
// began, and each state a change of the pass may have left it in.
struct FileChanges {
  std::string path;
  bool begun = false;
  std::string blob;  // the old content's blob; "" when there was no file
  std::vector<FileState> left;
};

struct TypedData {
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct RegValue {
  bool has = false;
  TypedData value;
  bool operator==(const RegValue& o) const {
    return has == o.has && (!has || (value.type == o.value.type && value.data == o.value.data));
  }
};

struct ValueChanges {
  RegRoot root = RegRoot::CurrentUser;
  std::string subkey, name;
  RegValue before;
  std::vector<RegValue> left;
};

std::string Key(const std::string& text) { return ToLower(text); }

bool ReadRecords(Files& files, const std::string& passFolder, std::string* text,
                 std::vector<JournalRecord>* records, SystemError* err) {
  if (files.ReadText(passFolder + "\\records", text, err) != ReadResult::Ok) return false;
  *records = ParseRecords(*text);
  return true;
}

PassSummary Summarize(int number, const std::vector<JournalRecord>& records) {
  PassSummary s;
  s.number = number;
  std::set<std::string> changed;
  for (const JournalRecord& r : records) {
    switch (r.kind) {
      case Kind::Pass:
        s.time = r.time;
        s.profile = r.profile;
        s.revision = r.revision;
        break;
      case Kind::File:
      case Kind::Folder: changed.insert("f " + Key(r.path)); break;
      case Kind::Registry:
        changed.insert("r " + std::to_string(static_cast<uint32_t>(r.root)) + Key(r.subkey) + "\\" +
                       Key(r.name));
        break;
      case Kind::Closed:
        s.closed = true;
        s.passed = r.passed;
        break;
      case Kind::Undone: s.undone = true; break;
      case Kind::Unknown: break;
    }
  }
  s.changes = static_cast<int>(changed.size());
  return s;
}

class Undoer {
 public:
  Undoer(Files& files, Registry& registry, std::string passFolder, bool force, UndoResult* out)
      : files_(files),
        registry_(registry),
        pass_(std::move(passFolder)),
        force_(force),
        out_(*out) {}

  void Run(const std::vector<JournalRecord>& records) {
    std::vector<FileChanges> fileList;
    std::vector<ValueChanges> values;
    std::vector<std::string> folders;
    for (const JournalRecord& r : records) {
      if (r.kind == Kind::File) {
        // A blob named but missing: that replace never began.
        if (!r.blob.empty() && !files_.IsFile(pass_ + "\\" + r.blob)) continue;
        FileChanges& c = Find(&fileList, r.path);
        if (!c.begun) {
          c.begun = true;
          c.blob = r.blob.empty() ? "" : pass_ + "\\" + r.blob;
        }
        c.left.push_back(r.after);
      } else if (r.kind == Kind::Registry) {
        ValueChanges& v = FindValue(&values, r);
        RegValue after{r.hasNew, {r.newType, r.newData}};
        v.left.push_back(after);
      } else if (r.kind == Kind::Folder) {
        folders.push_back(r.path);
      }
    }
    for (auto c = fileList.rbegin(); c != fileList.rend(); ++c) UndoFile(*c);
    for (auto v = values.rbegin(); v != values.rend(); ++v) UndoValue(*v);
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) UndoFolder(*f);
  }

 private:
  static FileChanges& Find(std::vector<FileChanges>* list, const std::string& path) {
    for (FileChanges& c : *list)
      if (EqualsNoCase(c.path, path)) return c;
    list->push_back(FileChanges{});
    list->back().path = path;
    return list->back();
  }

  static ValueChanges& FindValue(std::vector<ValueChanges>* list, const JournalRecord& r) {
    for (ValueChanges& v : *list)
      if (v.root == r.root && EqualsNoCase(v.subkey, r.subkey) && EqualsNoCase(v.name, r.name))
        return v;
    ValueChanges v;
    v.root = r.root;
    v.subkey = r.subkey;
    v.name = r.name;
    v.before = {r.hadOld, {r.oldType, r.oldData}};
    list->push_back(std::move(v));
    return list->back();
  }

  void LeaveAlone(const std::string& what) {
    out_.leftAlone.push_back(what +
                             ": changed since the set-up (neither as it was before nor "
                             "as the set-up left it); --force puts it back anyway");
  }

  void UndoFile(const FileChanges& c) {
    if (!c.begun) return;
    SystemError err;
    FileState now, before;
    if (HashFile(files_, c.path, &now, &err) == ReadResult::Failed ||
        (!c.blob.empty() && HashFile(files_, c.blob, &before, &err) != ReadResult::Ok)) {
      out_.failed.push_back(c.path + ": " + err.Describe());
      return;
    }
    if (now == before) return;  // as it was: nothing to put back
    const bool ours = std::find(c.left.begin(), c.left.end(), now) != c.left.end();
    if (!ours && !force_) {
      LeaveAlone(c.path);
      return;
    }
    if (c.blob.empty()) {
      if (files_.Remove(c.path, &err))
        out_.changed.push_back("removed " + c.path);
      else
        out_.failed.push_back(c.path + ": " + err.Describe());
    } else if (CopyFileOver(files_, c.blob, c.path, &err)) {
      out_.changed.push_back((now.exists ? "restored " : "put back ") + c.path);
    } else {
      out_.failed.push_back(c.path + ": " + err.Describe());
    }
  }

  void UndoValue(const ValueChanges& v) {
    const std::string what = std::string(v.root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") +
                             v.subkey + "\\" + v.name;
    SystemError err;
    RegValue now;
    const ReadResult read =
        registry_.QueryValue(v.root, v.subkey, v.name, &now.value.type, &now.value.data, &err);
    if (read == ReadResult::Failed) {
      out_.failed.push_back(what + ": " + err.Describe());
      return;
    }
    now.has = read == ReadResult::Ok;
    if (now == v.before) return;
    const bool ours = std::find(v.left.begin(), v.left.end(), now) != v.left.end();
    if (!ours && !force_) {
      LeaveAlone(what);
      return;
    }
    const bool done = v.before.has
                          ? registry_.SetValue(v.root, v.subkey, v.name, v.before.value.type,
                                               v.before.value.data, &err)
                          : registry_.DeleteValue(v.root, v.subkey, v.name, &err);
    if (done)
      out_.changed.push_back((v.before.has ? "restored " : "deleted ") + what);
    else
      out_.failed.push_back(what + ": " + err.Describe());
  }

  void UndoFolder(const std::string& folder) {
    if (!files_.IsFolder(folder)) return;
    SystemError err;
    if (files_.RemoveFolder(folder, &err))
      out_.changed.push_back("removed folder " + folder);
    else
      out_.leftAlone.push_back(folder + ": folder kept: " + err.Describe());
  }

  Files& files_;
  Registry& registry_;
  std::string pass_;
  bool force_;
  UndoResult& out_;
};

}  // namespace

bool ListJournal(Files& files, const std::string& root, const std::string& gameFolder,
                 std::vector<GameJournal>* games, SystemError* err) {
  games->clear();
  std::vector<std::string> folders;
  if (!gameFolder.empty()) {
    folders.push_back(GameJournalFolder(root, gameFolder));
  } else {
    std::vector<std::string> names;
    if (!files.ListFolders(root, &names, err)) return false;
    for (const std::string& name : names) folders.push_back(root + "\\" + name);
  }
  for (const std::string& folder : folders) {
    if (!files.IsFolder(folder)) continue;
    GameJournal g;
    g.folder = folder;
    files.ReadText(folder + "\\game.txt", &g.gameFolder, nullptr);
    g.gameFolder = Trim(g.gameFolder, "\r\n");
    for (int n : PassNumbers(files, folder)) {
      std::string text;
      std::vector<JournalRecord> records;
      ReadRecords(files, folder + "\\" + std::to_string(n), &text, &records, nullptr);
      g.passes.push_back(Summarize(n, records));
    }
    games->push_back(std::move(g));
  }
  return true;
}

UndoResult UndoPass(Files& files, Registry& registry, const std::string& root,
                    const std::string& gameFolder, int pass, bool force) {
  UndoResult result;
  const std::string game = GameJournalFolder(root, gameFolder);
  const std::vector<int> numbers = PassNumbers(files, game);
  if (pass == 0 && !numbers.empty()) pass = numbers.back();
  if (std::find(numbers.begin(), numbers.end(), pass) == numbers.end()) {
    result.failed.push_back(pass == 0 ? "no set-up pass is journaled for " + gameFolder
                                      : "no pass " + std::to_string(pass) + " for " + gameFolder);
    return result;
  }
  result.pass = pass;
  const std::string folder = game + "\\" + std::to_string(pass);
  std::string text;
  std::vector<JournalRecord> records;
  SystemError err;
  if (!ReadRecords(files, folder, &text, &records, &err)) {
    result.failed.push_back(folder + "\\records: " + err.Describe());
    return result;
  }
  if (Summarize(pass, records).undone) {
    result.alreadyUndone = true;
    return result;
  }
  Undoer(files, registry, folder, force, &result).Run(records);
  if (!result.leftAlone.empty() || !result.failed.empty()) return result;
  JournalRecord undone;
  undone.kind = Kind::Undone;
  undone.time = JournalTime();
  if (!files.WriteText(folder + "\\records", text + FormatRecord(undone) + "\n", &err))
    result.failed.push_back(folder + "\\records: " + err.Describe());
  return result;
}

}  // namespace zeph

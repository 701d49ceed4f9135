#include "setup/Undo.h"

#include <algorithm>
#include <set>

#include "setup/Journal.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

using Kind = JournalRecord::Kind;

// A file's changes in one pass: its content before the pass, and each
// change made or begun, in order.
struct FileChanges {
  std::string path;
  FileState original;
  bool originalKnown = false;
  std::vector<JournalRecord> changes;
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
  WineRun wine;  // the Wine prefix whose registry holds it; empty: this system's
  RegRoot root = RegRoot::CurrentUser;
  std::string subkey, name;
  RegValue before;
  std::vector<RegValue> left;
};

// Registry names ignore case on every platform; file names as the platform's do.
std::string ValueKey(const JournalRecord& r) {
  return r.wine.prefix + "\n" + std::to_string(static_cast<uint32_t>(r.root)) + ToLower(r.subkey) +
         "\\" + ToLower(r.name);
}

PassSummary Summarize(int number, const JournalText& journal) {
  PassSummary s;
  s.number = number;
  s.damage = journal.damage;
  std::set<std::string> changed;
  for (const JournalRecord& r : journal.records) {
    switch (r.kind) {
      case Kind::Pass:
        s.time = r.time;
        s.profile = r.profile;
        s.revision = r.revision;
        break;
      case Kind::File:
      case Kind::Folder: changed.insert("f " + PathKey(r.path)); break;
      case Kind::Registry: changed.insert("r " + ValueKey(r)); break;
      case Kind::Closed:
        s.closed = true;
        s.passed = r.passed;
        break;
      case Kind::Undone: s.undone = true; break;
      case Kind::Work:
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
        FileChanges& c = Find(&fileList, r.path);
        if (c.changes.empty() && r.beforeKnown) {
          c.original = r.before;
          c.originalKnown = true;
        }
        c.changes.push_back(r);
      } else if (r.kind == Kind::Registry) {
        ValueChanges& v = FindValue(&values, r);
        v.left.push_back({r.hasNew, {r.newType, r.newData}});
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
      if (SamePath(c.path, path)) return c;
    list->push_back(FileChanges{});
    list->back().path = path;
    return list->back();
  }

  static ValueChanges& FindValue(std::vector<ValueChanges>* list, const JournalRecord& r) {
    for (ValueChanges& v : *list)
      if (v.wine.prefix == r.wine.prefix && v.root == r.root && EqualsNoCase(v.subkey, r.subkey) &&
          EqualsNoCase(v.name, r.name))
        return v;
    ValueChanges v;
    v.wine = r.wine;
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

  // A kept copy of the file's content before the pass, checked against the
  // hash the pass took as it read it: "" with *why when there is none.
  std::string KeptOriginal(const FileChanges& c, std::string* why) {
    *why = "the copy of its old content the set-up kept is gone";
    for (const JournalRecord& r : c.changes) {
      if (r.blob.empty()) continue;
      const std::string blob = pass_ + "\\" + r.blob;
      FileState kept;
      SystemError err;
      const ReadResult read = HashFile(files_, blob, &kept, &err);
      if (read == ReadResult::Missing) continue;
      if (read == ReadResult::Failed) {
        *why = "its old content kept at " + blob + " cannot be read: " + err.Describe();
        continue;
      }
      if (!c.originalKnown || (r.beforeKnown && kept == r.before && kept == c.original))
        return blob;
      *why = "its old content kept at " + blob + " has changed since the set-up";
    }
    return {};
  }

  void UndoFile(const FileChanges& c) {
    SystemError err;
    FileState now;
    if (HashFile(files_, c.path, &now, &err) == ReadResult::Failed) {
      out_.failed.push_back(c.path + ": " + err.Describe());
      return;
    }
    std::string why;
    std::string blob;
    FileState original = c.original;
    if (!c.originalKnown) {  // an earlier version's records: the copy tells
      blob = KeptOriginal(c, &why);
      if (!blob.empty()) HashFile(files_, blob, &original, nullptr);
      if (blob.empty() && !c.changes.front().blob.empty()) {
        out_.failed.push_back(c.path + ": cannot be put back: " + why);
        return;
      }
    }
    if (now == original) return;  // as it was (or the change never began)
    bool ours = false;
    for (const JournalRecord& r : c.changes) ours = ours || now == r.after;
    if (!ours && !force_) {
      LeaveAlone(c.path);
      return;
    }
    if (!original.exists) {
      if (files_.Remove(c.path, &err))
        out_.changed.push_back("removed " + c.path);
      else
        out_.failed.push_back(c.path + ": " + err.Describe());
      return;
    }
    if (blob.empty()) blob = KeptOriginal(c, &why);
    if (blob.empty())
      out_.failed.push_back(c.path + ": cannot be put back: " + why);
    else if (CopyFileOver(files_, blob, c.path, &err))
      out_.changed.push_back((now.exists ? "restored " : "put back ") + c.path);
    else
      out_.failed.push_back(c.path + ": " + err.Describe());
  }

  void UndoValue(const ValueChanges& v) {
    const std::string what = std::string(v.root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") +
                             v.subkey + "\\" + v.name +
                             (v.wine.Empty() ? "" : " in the Wine prefix " + v.wine.prefix);
    Registry* registry = registry_.ForWine(v.wine);
    if (!registry) {
      out_.failed.push_back(what + ": the Wine prefix cannot be reached from this system");
      return;
    }
    SystemError err;
    RegValue now;
    const ReadResult read =
        registry->QueryValue(v.root, v.subkey, v.name, &now.value.type, &now.value.data, &err);
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
                          ? registry->SetValue(v.root, v.subkey, v.name, v.before.value.type,
                                               v.before.value.data, &err)
                          : registry->DeleteValue(v.root, v.subkey, v.name, &err);
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
    folders.push_back(FindGameJournal(files, root, gameFolder));
  } else {
    std::vector<std::string> names;
    if (!files.ListFolders(root, &names, err)) return false;
    for (const std::string& name : names) folders.push_back(root + "\\" + name);
  }
  for (const std::string& folder : folders) {
    if (!files.IsFolder(folder)) continue;
    GameJournal g;
    g.folder = folder;
    g.gameFolder = JournaledGameFolder(files, folder);
    for (int n : PassNumbers(files, folder)) {
      JournalText journal;
      SystemError readErr;
      if (!ReadPassRecords(files, folder + "\\" + std::to_string(n), &journal, &readErr))
        journal.damage = "its records cannot be read: " + readErr.Describe();
      g.passes.push_back(Summarize(n, journal));
    }
    games->push_back(std::move(g));
  }
  return true;
}

UndoResult UndoPass(Files& files, Registry& registry, const std::string& root,
                    const std::string& gameFolder, int pass, bool force) {
  UndoResult result;
  const std::string game = FindGameJournal(files, root, gameFolder);
  const std::vector<int> numbers = PassNumbers(files, game);
  if (pass == 0 && !numbers.empty()) pass = numbers.back();
  if (std::find(numbers.begin(), numbers.end(), pass) == numbers.end()) {
    result.failed.push_back(pass == 0 ? "no set-up pass is journaled for " + gameFolder
                                      : "no pass " + std::to_string(pass) + " for " + gameFolder);
    return result;
  }
  result.pass = pass;
  const std::string folder = game + "\\" + std::to_string(pass);
  JournalText journal;
  SystemError err;
  if (!ReadPassRecords(files, folder, &journal, &err)) {
    result.failed.push_back(folder + "\\records: " + err.Describe());
    return result;
  }
  if (Summarize(pass, journal).undone) {
    result.alreadyUndone = true;
    return result;
  }
  if (!journal.damage.empty() && !force) {
    result.failed.push_back("pass " + std::to_string(pass) + ": its journal is damaged (" +
                            journal.damage + "); --force undoes what can be read of it");
    return result;
  }
  RemoveLeftWorkFiles(files, game, "", &result.changed, &result.failed);
  Undoer(files, registry, folder, force, &result).Run(journal.records);
  // What damage hid may still be changed: such a pass is never marked undone.
  if (!journal.damage.empty())
    result.failed.push_back(
        "pass " + std::to_string(pass) + ": its journal is damaged (" + journal.damage +
        "); what could be read of it was put back, and it is not marked undone");
  if (!result.leftAlone.empty() || !result.failed.empty()) return result;
  JournalRecord undone;
  undone.kind = Kind::Undone;
  undone.time = JournalTime();
  journal.lines.push_back(FormatRecord(undone));
  if (!WritePassRecords(files, folder, journal.lines, &err))
    result.failed.push_back(folder + "\\records: " + err.Describe());
  return result;
}

}  // namespace zeph

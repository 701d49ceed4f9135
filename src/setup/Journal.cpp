#include "setup/Journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "system/IniText.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

using Kind = JournalRecord::Kind;

const char* const kRecordsName = "records";
const char* const kGameName = "game.txt";
const char* const kHeader = "zephjournal\t2";

// Fields are separated by tabs; a field's own %, tab, CR and LF are escaped.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

uint64_t FromHex(const std::string& text) { return std::strtoull(text.c_str(), nullptr, 16); }

std::string BytesHex(const std::vector<uint8_t>& data) {
  std::string out;
  char pair[3];
  for (uint8_t b : data) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    out += pair;
  }
  return out;
}

std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

// "-" for missing, else "size:hash".
std::string StateText(const FileState& s) {
  return s.exists ? Hex(s.size) + ":" + Hex(s.hash) : "-";
}

FileState ParseState(const std::string& text) {
  FileState s;
  const size_t colon = text.find(':');
  if (text == "-" || colon == std::string::npos) return s;
  s.exists = true;
  s.size = FromHex(text.substr(0, colon));
  s.hash = FromHex(text.substr(colon + 1));
  return s;
}

// "-" for none, else "type:hexbytes".
std::string ValueText(bool has, uint32_t type, const std::vector<uint8_t>& data) {
  return has ? Hex(type) + ":" + BytesHex(data) : "-";
}

bool ParseValue(const std::string& text, uint32_t* type, std::vector<uint8_t>* data) {
  const size_t colon = text.find(':');
  if (text == "-" || colon == std::string::npos) return false;
  *type = static_cast<uint32_t>(FromHex(text.substr(0, colon)));
  *data = HexBytes(text.substr(colon + 1));
  return true;
}

FileState StateOf(const std::string& contents) {
  ContentHash h;
  h.Add(contents.data(), contents.size());
  return {true, h.Size(), h.Value()};
}

// Makes folder and each missing parent, from the top down.
bool MakeFolders(Files& files, const std::string& folder, SystemError* err) {
  std::vector<std::string> parts = SplitAt(folder, '\\');
  std::string current = parts[0];
  for (size_t k = 1; k < parts.size(); ++k) {
    current += "\\" + parts[k];
    if (parts[k].empty() || files.IsFolder(current)) continue;
    if (!files.MakeFolder(current, err)) return false;
  }
  return true;
}

struct PassOnDisk {
  std::string folder, time;
  int number = 0;
  uint64_t bytes = 0;
};

// Each file of a pass folder, then the folder itself.
void RemovePassFolder(Files& files, const std::string& folder) {
  std::vector<std::string> names;
  files.List(folder, &names, nullptr);
  for (const std::string& name : names) files.Remove(folder + "\\" + name, nullptr);
  files.RemoveFolder(folder, nullptr);
}

}  // namespace

namespace {

constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t Word(const unsigned char* p) {
  uint64_t w = 0;
  for (int k = 7; k >= 0; --k) w = (w << 8) | p[k];
  return w;
}

}  // namespace

void ContentHash::Add(const char* data, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  size_ += n;
  while (n > 0 && pendingCount_ > 0) {
    pending_[pendingCount_++] = *p++;
    --n;
    if (pendingCount_ == 8) {
      hash_ = (hash_ ^ Word(pending_)) * kFnvPrime;
      pendingCount_ = 0;
    }
  }
  for (; n >= 8; p += 8, n -= 8) hash_ = (hash_ ^ Word(p)) * kFnvPrime;
  for (; n > 0; --n) pending_[pendingCount_++] = *p++;
}

uint64_t ContentHash::Value() const {
  uint64_t h = hash_;
  for (size_t k = 0; k < pendingCount_; ++k) h = (h ^ pending_[k]) * kFnvPrime;
  return h;
}

ReadResult HashFile(Files& files, const std::string& path, FileState* state, SystemError* err) {
  *state = FileState{};
  ReadResult result = ReadResult::Failed;
  std::unique_ptr<FileReader> in = files.OpenRead(path, &result, err);
  if (!in) return result;
  ContentHash h;
  std::string buffer(64 * 1024, '\0');
  for (size_t got = 0;;) {
    if (!in->Read(&buffer[0], buffer.size(), &got, err)) return ReadResult::Failed;
    if (got == 0) break;
    h.Add(buffer.data(), got);
  }
  *state = {true, h.Size(), h.Value()};
  return ReadResult::Ok;
}

std::string FormatRecord(const JournalRecord& r) {
  using K = JournalRecord::Kind;
  auto join = [](std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "" : "\t") + f;
    return line;
  };
  switch (r.kind) {
    case K::Pass:
      return join(
          {"pass", Escape(r.time), Escape(r.gameFolder), Escape(r.profile), Escape(r.revision)});
    case K::File:
      return join({"file", Escape(r.path), StateText(r.before),
                   r.blob.empty() ? "-" : Escape(r.blob), StateText(r.after)});
    case K::Folder: return join({"folder", Escape(r.path)});
    case K::Work: return join({"work", Escape(r.path)});
    case K::Registry: {
      std::string line = join({"reg", Hex(static_cast<uint32_t>(r.root)), Escape(r.subkey),
                               Escape(r.name), ValueText(r.hadOld, r.oldType, r.oldData),
                               ValueText(r.hasNew, r.newType, r.newData)});
      // A value of this system's registry keeps the shorter line of earlier versions.
      if (!r.wine.Empty()) line += "\t" + Escape(r.wine.prefix) + "\t" + Escape(r.wine.loader);
      return line;
    }
    case K::Closed: return join({"closed", r.passed ? "1" : "0"});
    case K::Undone: return join({"undone", Escape(r.time)});
    case K::Unknown: break;
  }
  return "unknown";
}

JournalRecord ParseRecord(const std::string& line) {
  using K = JournalRecord::Kind;
  std::vector<std::string> f = SplitAt(line, '\t');
  for (std::string& field : f) field = Unescape(field);
  JournalRecord r;
  const std::string& word = f[0];
  if (word == "pass" && f.size() == 5) {
    r.kind = K::Pass;
    r.time = f[1];
    r.gameFolder = f[2];
    r.profile = f[3];
    r.revision = f[4];
  } else if (word == "file" && f.size() == 5) {
    r.kind = K::File;
    r.path = f[1];
    r.before = ParseState(f[2]);
    r.blob = f[3] == "-" ? "" : f[3];
    r.after = ParseState(f[4]);
  } else if (word == "file" && f.size() == 4) {  // an earlier version's: no state before
    r.kind = K::File;
    r.path = f[1];
    r.beforeKnown = false;
    r.blob = f[2] == "-" ? "" : f[2];
    r.after = ParseState(f[3]);
  } else if (word == "work" && f.size() == 2) {
    r.kind = K::Work;
    r.path = f[1];
  } else if (word == "folder" && f.size() == 2) {
    r.kind = K::Folder;
    r.path = f[1];
  } else if (word == "reg" && (f.size() == 6 || f.size() == 8)) {
    r.kind = K::Registry;
    if (f.size() == 8) r.wine = {f[6], f[7]};
    r.root = static_cast<RegRoot>(FromHex(f[1]));
    r.subkey = f[2];
    r.name = f[3];
    r.hadOld = ParseValue(f[4], &r.oldType, &r.oldData);
    r.hasNew = ParseValue(f[5], &r.newType, &r.newData);
  } else if (word == "closed" && f.size() == 2) {
    r.kind = K::Closed;
    r.passed = f[1] == "1";
  } else if (word == "undone" && f.size() == 2) {
    r.kind = K::Undone;
    r.time = f[1];
  }
  return r;
}

namespace {

// A line with its checksum: the line's hash as a last field.
std::string Sealed(const std::string& line) {
  ContentHash h;
  h.Add(line.data(), line.size());
  return line + "\t#" + Hex(h.Value()) + "\n";
}

// The line without its checksum; false when there is none or it does not hold.
bool Unseal(const std::string& sealed, std::string* line) {
  const size_t mark = sealed.rfind("\t#");
  if (mark == std::string::npos) return false;
  *line = sealed.substr(0, mark);
  ContentHash h;
  h.Add(line->data(), line->size());
  return sealed.compare(mark + 2, std::string::npos, Hex(h.Value())) == 0;
}

}  // namespace

std::string FrameRecords(const std::vector<std::string>& lines) {
  std::string text = Sealed(kHeader);
  for (const std::string& line : lines) text += Sealed(line);
  return text + Sealed("end\t" + std::to_string(lines.size()));
}

JournalText ReadJournalText(const std::string& text) {
  JournalText out;
  std::vector<std::string> lines = SplitAt(text, '\n');
  const bool cut = lines.back().size() > 0;  // no line end after the last line
  lines.pop_back();
  std::string line;
  if (lines.empty() || !Unseal(lines[0], &line) || line != kHeader) {
    out.damage = text.empty() ? "the records file is empty"
                              : "the records file does not begin as a journal's does";
    // What can be read is still read, for a forced undo.
    for (const std::string& l : lines) {
      JournalRecord r = ParseRecord(Unseal(l, &line) ? line : l);
      if (r.kind != JournalRecord::Kind::Unknown) {
        out.records.push_back(std::move(r));
        out.lines.push_back(FormatRecord(out.records.back()));
      }
    }
    return out;
  }
  bool ended = false;
  size_t damaged = 0;
  for (size_t k = 1; k < lines.size(); ++k) {
    if (ended) {
      out.damage = "there is more after the records' end";
      break;
    }
    if (!Unseal(lines[k], &line)) {
      if (++damaged == 1) out.damage = "record " + std::to_string(k) + " is damaged";
      continue;
    }
    if (line.compare(0, 4, "end\t") == 0) {
      ended = true;
      if (line != "end\t" + std::to_string(out.records.size() + damaged))
        out.damage = "records are missing";
      continue;
    }
    JournalRecord r = ParseRecord(line);
    if (r.kind == JournalRecord::Kind::Unknown) {
      if (++damaged == 1) out.damage = "record " + std::to_string(k) + " is not understood";
      continue;
    }
    out.records.push_back(std::move(r));
    out.lines.push_back(line);
  }
  if (out.damage.empty() && (cut || !ended)) out.damage = "the records are cut short";
  return out;
}

namespace {

std::string WithoutTrailingSlashes(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace

std::string GameJournalFolder(const std::string& root, const std::string& gameFolder) {
  return root + "\\" + HashName(PathKey(WithoutTrailingSlashes(gameFolder)));
}

std::string FindGameJournal(Files& files, const std::string& root, const std::string& gameFolder) {
  const std::string folder = GameJournalFolder(root, gameFolder);
  if (kNamesIgnoreCase || files.IsFolder(folder)) return folder;
  const std::string trimmed = WithoutTrailingSlashes(gameFolder);
  const std::string earlier = root + "\\" + HashName(ToLower(trimmed));
  return JournaledGameFolder(files, earlier) == trimmed ? earlier : folder;
}

bool ReadPassRecords(Files& files, const std::string& passFolder, JournalText* journal,
                     SystemError* err) {
  std::string text;
  if (files.ReadText(passFolder + "\\" + kRecordsName, &text, err) != ReadResult::Ok) return false;
  *journal = ReadJournalText(text);
  return true;
}

bool WritePassRecords(Files& files, const std::string& passFolder,
                      const std::vector<std::string>& lines, SystemError* err) {
  return files.WriteText(passFolder + "\\" + kRecordsName, FrameRecords(lines), err);
}

std::string JournaledGameFolder(Files& files, const std::string& gameJournal) {
  std::string named;
  files.ReadText(gameJournal + "\\" + kGameName, &named, nullptr);
  return Trim(named, "\r\n");
}

std::vector<int> PassNumbers(Files& files, const std::string& gameJournal) {
  std::vector<std::string> names;
  std::vector<int> numbers;
  if (!files.ListFolders(gameJournal, &names, nullptr)) return numbers;
  for (const std::string& name : names) {
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    numbers.push_back(std::atoi(name.c_str()));
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

void RemoveLeftWorkFiles(Files& files, const std::string& gameJournal, const std::string& skip,
                         std::vector<std::string>* removed, std::vector<std::string>* failed) {
  for (int n : PassNumbers(files, gameJournal)) {
    const std::string folder = gameJournal + "\\" + std::to_string(n);
    JournalText journal;
    if (folder == skip || !ReadPassRecords(files, folder, &journal, nullptr)) continue;
    bool ended = false;
    for (const JournalRecord& r : journal.records) ended = ended || r.kind == Kind::Closed;
    if (ended) continue;
    for (const JournalRecord& r : journal.records) {
      if (r.kind != Kind::Work || !files.IsFile(r.path)) continue;
      SystemError err;
      if (files.Remove(r.path, &err)) {
        if (removed)
          removed->push_back("removed the work file " + r.path + " of a pass that never ended");
      } else if (failed) {
        failed->push_back(r.path + ": a work file of a pass that never ended: " + err.Describe());
      }
    }
  }
}

std::string JournalTime() {
  const std::time_t now = std::time(nullptr);
  char text[32] = "";
  if (const std::tm* local = std::localtime(&now))
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
  return text;
}

// A reader that hashes what it gives out; a file read to its end is then
// known to the pass by its content, as it was when the pass read it.
class JournaledSystem::HashingReader final : public FileReader {
 public:
  HashingReader(JournaledSystem& j, std::string path, std::unique_ptr<FileReader> inner)
      : j_(j), path_(std::move(path)), inner_(std::move(inner)) {}
  bool Read(char* out, size_t size, size_t* got, SystemError* err) override {
    if (!inner_->Read(out, size, got, err)) return false;
    hash_.Add(out, *got);
    if (*got == 0 && size > 0 && !j_.passFolder_.empty())
      j_.SetSeen(path_, {true, hash_.Size(), hash_.Value()});
    return true;
  }

 private:
  JournaledSystem& j_;
  std::string path_;
  std::unique_ptr<FileReader> inner_;
  ContentHash hash_;
};

// A work file whose content is hashed as it is written. Its Commit records
// the change (the content before, as the pass read it), then keeps the old
// file at a blob of the pass; content the same as before is not written.
class JournaledSystem::JWork final : public WorkFile {
 public:
  JWork(JournaledSystem& j, std::string target, std::unique_ptr<WorkFile> inner)
      : j_(j), target_(std::move(target)), inner_(std::move(inner)) {}
  bool Write(const char* data, size_t size, SystemError* err) override {
    hash_.Add(data, size);
    return inner_->Write(data, size, err);
  }
  bool Commit(SystemError* err) override {
    JournalRecord r;
    r.kind = JournalRecord::Kind::File;
    r.path = target_;
    if (!j_.Seen(target_, &r.before) &&
        HashFile(j_.inner_.files, target_, &r.before, err) == ReadResult::Failed)
      return false;
    r.after = {true, hash_.Size(), hash_.Value()};
    // Nothing would change: the work file goes, unused, and nothing is recorded.
    if (r.before == r.after) return true;
    const std::string blob = j_.NewBlob();
    if (r.before.exists) r.blob = GetFileOnly(blob);
    if (!j_.Record(r, err)) return false;
    // The blob comes to exist only as the replace begins.
    if (!inner_->CommitKeeping(blob, err)) return false;
    j_.SetSeen(target_, r.after);
    return true;
  }
  bool CommitKeeping(const std::string& backup, SystemError* err) override {
    return inner_->CommitKeeping(backup, err);
  }
  std::string Path() const override { return inner_->Path(); }
  bool TakePermissionsOf(const std::string& source, SystemError* err) override {
    return inner_->TakePermissionsOf(source, err);
  }

 private:
  JournaledSystem& j_;
  std::string target_;
  std::unique_ptr<WorkFile> inner_;
  ContentHash hash_;
};

class JournaledSystem::JFiles final : public Files {
 public:
  explicit JFiles(JournaledSystem& j) : j_(j), in_(j.inner_.files) {}
  bool IsFile(const std::string& path) override { return in_.IsFile(path); }
  bool IsFolder(const std::string& path) override { return in_.IsFolder(path); }
  bool List(const std::string& folder, std::vector<std::string>* names, SystemError* err) override {
    return in_.List(folder, names, err);
  }
  bool MakeEmptyFile(const std::string& path, SystemError* err) override {
    if (Open() && !in_.IsFile(path)) {
      JournalRecord r;
      r.kind = JournalRecord::Kind::File;
      r.path = path;
      r.after = StateOf("");
      if (!j_.Record(r, err)) return false;
      j_.SetSeen(path, r.after);
    }
    return in_.MakeEmptyFile(path, err);
  }
  bool MakeFolder(const std::string& path, SystemError* err) override {
    if (Open() && !in_.IsFolder(path)) {
      JournalRecord r;
      r.kind = JournalRecord::Kind::Folder;
      r.path = path;
      while (r.path.size() > 1 && r.path.back() == '\\') r.path.pop_back();
      if (!j_.Record(r, err)) return false;
    }
    return in_.MakeFolder(path, err);
  }
  bool MakePrivateFolder(const std::string& path, SystemError* err) override {
    return in_.MakePrivateFolder(path, err);
  }
  std::string ResolvedPath(const std::string& path) override { return in_.ResolvedPath(path); }
  ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) override {
    const ReadResult read = in_.ReadText(path, contents, err);
    if (Open() && read == ReadResult::Ok) j_.SetSeen(path, StateOf(*contents));
    return read;
  }
  bool WriteText(const std::string& path, const std::string& contents, SystemError* err) override {
    if (!Open()) return in_.WriteText(path, contents, err);
    std::unique_ptr<WorkFile> work = CreateWorkFile(path, err);
    return work && work->Write(contents.data(), contents.size(), err) && work->Commit(err);
  }
  std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                       SystemError* err) override {
    std::unique_ptr<FileReader> in = in_.OpenRead(path, result, err);
    if (!in || !Open()) return in;
    return std::make_unique<HashingReader>(j_, path, std::move(in));
  }
  std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) override {
    std::unique_ptr<WorkFile> work = in_.CreateWorkFile(target, err);
    if (!work || !Open()) return work;
    // Named in the journal before any byte goes into it, so that the next
    // pass or an undo finds it should this process be killed.
    JournalRecord r;
    r.kind = JournalRecord::Kind::Work;
    r.path = work->Path();
    if (!r.path.empty() && !j_.Record(r, err)) return nullptr;
    return std::make_unique<JWork>(j_, target, std::move(work));
  }
  bool Remove(const std::string& path, SystemError* err) override {
    if (Open() && in_.IsFile(path)) {
      // A removed file (the marker) is small: its copy is made first.
      JournalRecord r;
      r.kind = JournalRecord::Kind::File;
      r.path = path;
      const std::string blob = j_.NewBlob();
      if (!CopyFileOver(in_, path, blob, err) ||
          HashFile(in_, blob, &r.before, err) != ReadResult::Ok)
        return false;
      r.blob = GetFileOnly(blob);
      if (!j_.Record(r, err)) return false;
      j_.SetSeen(path, FileState{});
    }
    return in_.Remove(path, err);
  }
  bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                   SystemError* err) override {
    return in_.ListFolders(folder, names, err);
  }
  bool RemoveFolder(const std::string& path, SystemError* err) override {
    return in_.RemoveFolder(path, err);
  }
  ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) override {
    return in_.Size(path, size, err);
  }

 private:
  bool Open() const { return !j_.passFolder_.empty(); }
  JournaledSystem& j_;
  Files& in_;
};

// An INI write: the file's old bytes are copied to a blob first (INI files
// are small), and the record names what the write will leave, as the INI
// rules give it; the file as read back afterwards corrects that record
// should the system have written otherwise. A write that would leave the
// file as it is writes nothing.
class JournaledSystem::JIni final : public IniFiles {
 public:
  explicit JIni(JournaledSystem& j) : j_(j), in_(j.inner_.ini) {}
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def,
                         size_t bufferSize) override {
    return in_.ReadString(file, section, key, def, bufferSize);
  }
  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, SystemError* err) override {
    if (j_.passFolder_.empty()) return in_.WriteString(file, section, key, value, err);
    Files& files = j_.inner_.files;
    JournalRecord r;
    r.kind = JournalRecord::Kind::File;
    r.path = file;
    std::string old;
    const ReadResult read = files.ReadText(file, &old, err);
    if (read == ReadResult::Failed) return false;
    if (read == ReadResult::Ok) r.before = StateOf(old);
    r.after = StateOf(ini::SetString(old, section, key, value));
    if (r.before == r.after) return true;  // as it is already: nothing to write
    if (read == ReadResult::Ok) {
      // The copy keeps the file's permissions; the state before is what it holds.
      const std::string blob = j_.NewBlob();
      if (!CopyFileOver(files, file, blob, err) ||
          HashFile(files, blob, &r.before, err) != ReadResult::Ok)
        return false;
      r.blob = GetFileOnly(blob);
    }
    if (!j_.Record(r, err)) return false;
    if (!in_.WriteString(file, section, key, value, err)) return false;
    FileState now;
    if (HashFile(files, file, &now, nullptr) == ReadResult::Ok && !(now == r.after)) {
      r.after = now;
      j_.ReplaceLast(r, nullptr);
    }
    j_.SetSeen(file, r.after);
    return true;
  }
  std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                  SystemError* err) override {
    return in_.Open(file, result, err);
  }

 private:
  JournaledSystem& j_;
  IniFiles& in_;
};

// A registry value's change: the value before is read and recorded first.
// One of these for this system's registry, and one for each Wine prefix the
// pass reaches, whose records name the prefix.
class JournaledSystem::JRegistry final : public Registry {
 public:
  JRegistry(JournaledSystem& j, Registry& inner, WineRun wine = {})
      : j_(j), in_(inner), wine_(std::move(wine)) {}
  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError* err) override {
    JournalRecord r;
    if (!Before(root, subkey, name, &r, err)) return false;
    r.newType = type;
    r.newData = data;
    // The value as it is already: nothing to write or record.
    if (r.kind == JournalRecord::Kind::Registry && r.hadOld && r.oldType == type &&
        r.oldData == data)
      return true;
    return Recorded(r, err) && in_.SetValue(root, subkey, name, type, data, err);
  }
  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError* err) override {
    return in_.QueryValue(root, subkey, name, type, data, err);
  }
  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override {
    JournalRecord r;
    if (!Before(root, subkey, name, &r, err)) return false;
    r.hasNew = false;
    return Recorded(r, err) && in_.DeleteValue(root, subkey, name, err);
  }
  Registry* ForWine(const WineRun& wine) override {
    if (wine.Empty()) return j_.registry_.get();
    for (const auto& r : j_.wineRegistries_)
      if (r->wine_.prefix == wine.prefix && r->wine_.loader == wine.loader) return r.get();
    Registry* inner = j_.inner_.registry.ForWine(wine);
    if (!inner) return nullptr;
    j_.wineRegistries_.push_back(std::make_unique<JRegistry>(j_, *inner, wine));
    return j_.wineRegistries_.back().get();
  }

 private:
  // The value as it is before the change.
  bool Before(RegRoot root, const std::string& subkey, const std::string& name, JournalRecord* r,
              SystemError* err) {
    if (j_.passFolder_.empty()) return true;
    r->kind = JournalRecord::Kind::Registry;
    r->wine = wine_;
    r->root = root;
    r->subkey = subkey;
    r->name = name;
    const ReadResult read = in_.QueryValue(root, subkey, name, &r->oldType, &r->oldData, err);
    r->hadOld = read == ReadResult::Ok;
    return read != ReadResult::Failed;
  }
  bool Recorded(const JournalRecord& r, SystemError* err) {
    return r.kind != JournalRecord::Kind::Registry || j_.Record(r, err);
  }

  JournaledSystem& j_;
  Registry& in_;
  WineRun wine_;
};

JournaledSystem::JournaledSystem(SystemSeam inner, std::string root, uint64_t bytesKept)
    : inner_(inner),
      root_(std::move(root)),
      bytesKept_(bytesKept),
      files_(std::make_unique<JFiles>(*this)),
      ini_(std::make_unique<JIni>(*this)),
      registry_(std::make_unique<JRegistry>(*this, inner.registry)) {}

JournaledSystem::~JournaledSystem() = default;

SystemSeam JournaledSystem::Seam() {
  return {inner_.program, *files_, *ini_, *registry_, inner_.processes, inner_.loop};
}

namespace {

// err, said to be the journal's (a full journal volume is not the game's disk).
bool JournalFailure(SystemError* err, const std::string& where) {
  if (err) err->text = "the set-up journal " + where + ": " + err->text;
  return false;
}

}  // namespace

bool JournaledSystem::OpenPass(const PassInfo& info, SystemError* err) {
  passFolder_.clear();
  seen_.clear();
  if (root_.empty()) return Fail(err, 2, "no data folder to keep the set-up journal in");
  Files& files = inner_.files;
  const std::string game = GameJournalFolder(root_, info.gameFolder);
  // The journal keeps old contents of the user's files: only the user may look in.
  if (!MakeFolders(files, FolderOf(root_), err) || !files.MakePrivateFolder(root_, err))
    return JournalFailure(err, root_);
  if (!files.MakePrivateFolder(game, err)) return JournalFailure(err, game);
  if (!files.IsFile(game + "\\" + kGameName) &&
      !files.WriteText(game + "\\" + kGameName, info.gameFolder + "\r\n", err))
    return JournalFailure(err, game + "\\" + kGameName);
  RemoveLeftWorkFiles(files, game, "", nullptr, nullptr);
  const std::vector<int> numbers = PassNumbers(files, game);
  const std::string folder = game + "\\" + std::to_string(numbers.empty() ? 1 : numbers.back() + 1);
  if (!files.MakeFolder(folder, err)) return JournalFailure(err, folder);
  JournalRecord r;
  r.kind = JournalRecord::Kind::Pass;
  r.time = JournalTime();
  r.gameFolder = info.gameFolder;
  r.profile = info.profile;
  r.revision = info.revision;
  lines_.assign(1, FormatRecord(r));
  blobs_ = 0;
  changes_ = 0;
  passFolder_ = folder;
  if (!WriteRecords(err)) {
    RemovePassFolder(files, folder);
    passFolder_.clear();
    return false;
  }
  Prune(game);
  return true;
}

void JournaledSystem::ClosePass(bool passed) {
  if (passFolder_.empty()) return;
  if (changes_ == 0) {
    // Nothing was changed: there is nothing to undo, and the pass would only
    // push older ones out.
    RemovePassFolder(inner_.files, passFolder_);
  } else {
    JournalRecord r;
    r.kind = JournalRecord::Kind::Closed;
    r.passed = passed;
    Record(r, nullptr);
  }
  passFolder_.clear();
  seen_.clear();
}

bool JournaledSystem::Record(const JournalRecord& record, SystemError* err) {
  lines_.push_back(FormatRecord(record));
  if (WriteRecords(err)) {
    using K = JournalRecord::Kind;
    if (record.kind == K::File || record.kind == K::Folder || record.kind == K::Registry)
      ++changes_;
    return true;
  }
  lines_.pop_back();
  return false;
}

bool JournaledSystem::ReplaceLast(const JournalRecord& record, SystemError* err) {
  const std::string kept = lines_.back();
  lines_.back() = FormatRecord(record);
  if (WriteRecords(err)) return true;
  lines_.back() = kept;
  return false;
}

// The whole records file is written anew, in one step and to the disk,
// for each record: a pass has tens of records, and none is ever torn.
bool JournaledSystem::WriteRecords(SystemError* err) {
  return WritePassRecords(inner_.files, passFolder_, lines_, err) ||
         JournalFailure(err, passFolder_ + "\\" + kRecordsName);
}

std::string JournaledSystem::NewBlob() { return passFolder_ + "\\b" + std::to_string(++blobs_); }

bool JournaledSystem::Seen(const std::string& path, FileState* state) const {
  for (const auto& s : seen_)
    if (SamePath(s.first, path)) {
      *state = s.second;
      return true;
    }
  return false;
}

void JournaledSystem::SetSeen(const std::string& path, const FileState& state) {
  for (auto& s : seen_)
    if (SamePath(s.first, path)) {
      s.second = state;
      return;
    }
  seen_.emplace_back(path, state);
}

namespace {

// Whether a pass's records say it can still be undone: changes made and not undone.
bool Undoable(const std::vector<JournalRecord>& records) {
  bool changes = false;
  for (const JournalRecord& r : records) {
    if (r.kind == Kind::Undone) return false;
    changes = changes || r.kind == Kind::File || r.kind == Kind::Folder || r.kind == Kind::Registry;
  }
  return changes;
}

}  // namespace

// Keeps the last kPassesKept passes of this game, then removes the oldest
// passes of all games while they take more than bytesKept_. Neither removes
// the pass being written, nor a game's oldest pass that can be undone.
void JournaledSystem::Prune(const std::string& gameJournal) {
  Files& files = inner_.files;
  std::vector<std::string> games;
  if (!files.ListFolders(root_, &games, nullptr)) return;
  std::vector<PassOnDisk> passes;
  uint64_t total = 0;
  for (const std::string& g : games) {
    const std::string gameFolder = root_ + "\\" + g;
    const std::vector<int> numbers = PassNumbers(files, gameFolder);
    bool oldestKept = false;
    for (size_t k = 0; k < numbers.size(); ++k) {
      PassOnDisk p;
      p.folder = gameFolder + "\\" + std::to_string(numbers[k]);
      p.number = numbers[k];
      std::vector<std::string> names;
      files.List(p.folder, &names, nullptr);
      for (const std::string& name : names) {
        uint64_t size = 0;
        if (files.Size(p.folder + "\\" + name, &size, nullptr) == ReadResult::Ok) p.bytes += size;
      }
      JournalText journal;
      ReadPassRecords(files, p.folder, &journal, nullptr);
      const std::vector<JournalRecord>& records = journal.records;
      if (!records.empty()) p.time = records[0].time;
      total += p.bytes;
      const bool protect = p.folder == passFolder_ || (!oldestKept && Undoable(records));
      oldestKept = oldestKept || Undoable(records);
      if (protect) continue;
      if (SamePath(gameFolder, gameJournal) && k + kPassesKept < numbers.size()) {
        RemovePassFolder(files, p.folder);
        total -= p.bytes;
        continue;
      }
      passes.push_back(std::move(p));
    }
  }
  std::sort(passes.begin(), passes.end(), [](const PassOnDisk& a, const PassOnDisk& b) {
    return a.time != b.time ? a.time < b.time : a.number < b.number;
  });
  for (const PassOnDisk& p : passes) {
    if (total <= bytesKept_) break;
    RemovePassFolder(files, p.folder);
    total -= p.bytes;
  }
}

}  // namespace zeph

// The set-up journal: a write-ahead record of every change an end-of-game
// pass makes to a game's installation and the registry, so that a pass can
// be undone (setup/Undo.h).
//
// Layout under the journal folder (a private one): one folder per game
// folder (named by a hash of its path as the platform compares paths,
// holding game.txt, which names it), one sub-folder per pass numbered 1, 2,
// 3..., each with a text file "records" and the blobs b1, b2, ... (the old
// contents of files the pass replaced or removed). Each record is on the
// disk before its change is begun.
//
// The records file is framed so that damage shows: a header line, each
// record followed by a checksum of its own, and a closing line that counts
// the records. It is rewritten whole, in one step, for each record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "setup/SetupJournal.h"
#include "system/Seam.h"

namespace zeph {

// The last passes kept per game folder, and the most all passes may take
// (the oldest go first; the pass being written never does, nor a game's
// oldest pass that can still be undone: the state before the first set-up).
constexpr int kPassesKept = 5;
constexpr uint64_t kJournalBytesKept = uint64_t{1} << 30;

// FNV-1a taken eight bytes at a time (each little-endian 64-bit word is one
// step; the last bytes one by one), over bytes given a piece at a time: the
// same value however the bytes are split. A step per word rather than per
// byte keeps hashing a large written file well below the cost of writing it.
class ContentHash {
 public:
  void Add(const char* data, size_t n);
  uint64_t Value() const;
  uint64_t Size() const { return size_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
  uint64_t size_ = 0;
  unsigned char pending_[8] = {};
  size_t pendingCount_ = 0;
};

// A file's state: missing, or its size and hash.
struct FileState {
  bool exists = false;
  uint64_t size = 0, hash = 0;
  bool operator==(const FileState& o) const {
    return exists == o.exists && (!exists || (size == o.size && hash == o.hash));
  }
};

// The state of the file at path now (Missing when there is none).
ReadResult HashFile(Files& files, const std::string& path, FileState* state, SystemError* err);

// One line of a pass's records.
struct JournalRecord {
  enum class Kind { Pass, File, Folder, Registry, Work, Closed, Undone, Unknown };
  Kind kind = Kind::Unknown;
  // Pass: when, for which game folder and profile.
  std::string time, gameFolder, profile, revision;
  // File: the target; before: its content as the pass read it; blob: where
  // that content is kept ("" when it did not exist); after: what the change
  // leaves (the written content by size and hash only, not a second copy;
  // missing for a removal).
  // Folder: path, made by the pass. Work: path, a work file made by the
  // pass, to be removed should the pass never end.
  std::string path, blob;
  FileState before, after;
  bool beforeKnown = true;  // false in records of an earlier version
  // Registry: the value before (hadOld false: there was none) and after,
  // and the Wine prefix (with the loader whose wine reaches it) whose
  // registry holds it; empty for this system's registry.
  RegRoot root = RegRoot::CurrentUser;
  WineRun wine;
  std::string subkey, name;
  bool hadOld = false, hasNew = true;
  uint32_t oldType = 0, newType = 0;
  std::vector<uint8_t> oldData, newData;
  bool passed = false;  // Closed
};

std::string FormatRecord(const JournalRecord& record);
JournalRecord ParseRecord(const std::string& line);

// A records file's text for these records (each as FormatRecord gives it).
std::string FrameRecords(const std::vector<std::string>& lines);
// What a records file holds: each record whose checksum holds, and why the
// file is not whole ("" when it is).
struct JournalText {
  std::vector<JournalRecord> records;
  std::vector<std::string> lines;  // the records' lines, for a rewrite
  std::string damage;
};
JournalText ReadJournalText(const std::string& text);

// The journal folder of one game folder.
std::string GameJournalFolder(const std::string& root, const std::string& gameFolder);
// The same, or on Linux the folder an earlier version keyed by the
// lower-cased path, when only that one exists and names gameFolder.
std::string FindGameJournal(Files& files, const std::string& root, const std::string& gameFolder);
// A pass folder's records, read; false (err says why) when they cannot be.
bool ReadPassRecords(Files& files, const std::string& passFolder, JournalText* journal,
                     SystemError* err);
// Writes a pass folder's records anew, in one step.
bool WritePassRecords(Files& files, const std::string& passFolder,
                      const std::vector<std::string>& lines, SystemError* err);
// The game folder a game's journal folder names ("" when it cannot be read).
std::string JournaledGameFolder(Files& files, const std::string& gameJournal);
// The pass numbers in a game's journal folder, ascending.
std::vector<int> PassNumbers(Files& files, const std::string& gameJournal);
// Removes the work files that passes of gameJournal which never ended (the
// process was killed) left in the game's folders; the pass folder skip is
// left as it is. The lines say what was removed, and what could not be.
void RemoveLeftWorkFiles(Files& files, const std::string& gameJournal, const std::string& skip,
                         std::vector<std::string>* removed, std::vector<std::string>* failed);
// Local time as "YYYY-MM-DD HH:MM:SS".
std::string JournalTime();

// The seam the monitor runs on: the inner seam, with every change made
// while a pass is open recorded first in the journal under root. Outside a
// pass everything passes straight through. A change whose record cannot be
// written is not made: it fails with the journal's error.
class JournaledSystem final : public SetupJournal {
 public:
  // bytesKept: the size all passes together may take (tests make it small).
  JournaledSystem(SystemSeam inner, std::string root, uint64_t bytesKept = kJournalBytesKept);
  ~JournaledSystem() override;
  JournaledSystem(const JournaledSystem&) = delete;
  JournaledSystem& operator=(const JournaledSystem&) = delete;

  SystemSeam Seam();
  bool OpenPass(const PassInfo& info, SystemError* err) override;
  void ClosePass(bool passed) override;
  // The open pass's folder; "" when none is open.
  const std::string& PassFolder() const { return passFolder_; }

 private:
  class JFiles;
  class JIni;
  class JRegistry;
  class JWork;

  class HashingReader;

  bool Record(const JournalRecord& record, SystemError* err);
  // Rewrites the last record (a correction of what its change left).
  bool ReplaceLast(const JournalRecord& record, SystemError* err);
  bool WriteRecords(SystemError* err);
  std::string NewBlob();  // the path of a blob not used yet in this pass
  void Prune(const std::string& gameJournal);
  // The content of path as the open pass last read or wrote it, hashed as
  // it went by; false when the pass has not seen it whole.
  bool Seen(const std::string& path, FileState* state) const;
  void SetSeen(const std::string& path, const FileState& state);

  SystemSeam inner_;
  std::string root_;
  uint64_t bytesKept_;
  std::string passFolder_;
  std::vector<std::string> lines_;
  int blobs_ = 0;
  int changes_ = 0;  // change records of the open pass
  std::vector<std::pair<std::string, FileState>> seen_;
  std::unique_ptr<JFiles> files_;
  std::unique_ptr<JIni> ini_;
  std::unique_ptr<JRegistry> registry_;
  std::vector<std::unique_ptr<JRegistry>> wineRegistries_;  // one per Wine prefix reached
};

}  // namespace zeph

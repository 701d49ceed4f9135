// A seam for running the monitor's routines without touching the system:
// reads reach the real files, INI files, registry and process list, while
// every write is kept aside (the overlay) and recorded as an Effect.
// Later reads see the overlay first, so a routine runs as it would after its
// own writes. Nothing is written, started, opened or closed for real.
//
// The overlay keeps each file's current version only: in memory while
// small, else in a scratch file of its own in the system's temporary folder
// (never beside the real file), removed when the version goes. A write's
// Effect holds its diff, made when the write is, from the two versions read
// as streams, so memory does not grow with a file's size per change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "system/Seam.h"

namespace zeph {

// The errors the overlay gives for the refusals it decides itself, in one
// platform's style. Windows(): ERROR_FILE_NOT_FOUND (2), ERROR_PATH_NOT_FOUND
// (3), ERROR_ALREADY_EXISTS (183), ERROR_ACCESS_DENIED (5), as the fake gives
// them too. Posix(): ENOENT, ENOENT, EEXIST, EISDIR.
struct DryRunErrors {
  SystemError fileNotFound;   // the file is not there
  SystemError pathNotFound;   // its folder is not there
  SystemError alreadyExists;  // a folder where a file of that name is
  SystemError isFolder;       // a file write where a folder of that name is

  static DryRunErrors Windows();
  static DryRunErrors Posix();
};

struct DryRunOptions {
  std::string programFolder;    // Program::Folder; empty: the real program's
  bool pathsIgnoreCase = true;  // Windows rules; false over a POSIX file system
  DryRunErrors errors = DryRunErrors::Windows();
  // Where versions of files too large to hold in memory are kept, as a
  // native path; empty: the system's temporary folder.
  std::string scratchFolder;
};

// A registry value: its type and data.
struct RegData {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  bool operator==(const RegData& other) const { return type == other.type && data == other.data; }
};

// One thing the run would have done, in the order it was asked for.
struct Effect {
  enum class Kind {
    FileWritten,      // path, existed, before, after
    FileRemoved,      // path, before
    FolderMade,       // path
    IniWritten,       // path, section, key, before (none: missing), after
    RegistrySet,      // root, subkey, name, oldValue (none: missing), newValue
    RegistryDeleted,  // root, subkey, name, oldValue
    ProgramStarted,   // command, showCommand, waited
    WindowClosed,     // title
    AddressOpened,    // command (the address), showCommand
    TimerSet,         // intervalMs
  };
  Kind kind = Kind::FileWritten;

  std::string path;  // file or folder, as the caller named it
  // Where the system would really write it, when that is elsewhere: a
  // symbolic link followed, a name matched in another case.
  std::string resolved;
  bool existed = false;  // the file was there before
  // A file's old contents (none: it was missing, or existed but could not
  // be read), or an INI key's old value (none: the key was missing).
  std::optional<std::string> before;
  std::string after;
  // A file's contents are kept only while small (see kKeptContentsBytes):
  // otherwise before is none, after empty, and contentsKept false.
  bool contentsKept = true;
  // FileWritten: the unified diff of the old contents (none: empty) and the
  // new, or a note in its place where it cannot be shown (too large, a line
  // too long, a side that cannot be read).
  std::string diff;

  std::string section, key;

  RegRoot root = RegRoot::CurrentUser;
  std::string subkey, name;
  std::optional<RegData> oldValue, newValue;
  std::string winePrefix;  // the Wine prefix whose registry it is; "" for this system's

  std::string command;
  int showCommand = 0;
  bool waited = false;  // the caller looked at whether the program had ended
  std::string title;
  int intervalMs = 0;
};

// A file write or removal keeps the file's old and new contents in its
// Effect when each is at most kKeptContentsBytes and all kept contents of the
// run stay within kAllKeptContentsBytes. Diffs are kept up to
// kMaxDiffBytes each and kAllDiffsBytes for the run.
constexpr size_t kKeptContentsBytes = size_t{64} << 10;
constexpr size_t kAllKeptContentsBytes = size_t{4} << 20;
constexpr size_t kMaxDiffBytes = size_t{4} << 20;
constexpr size_t kAllDiffsBytes = size_t{64} << 20;

class DryRunSystem {
 public:
  // A file the overlay holds after the run.
  struct OverlayFile {
    std::string path;  // as first named
    bool exists = true;
    std::string contents;
  };
  // A registry value the overlay holds after the run.
  struct OverlayValue {
    RegRoot root = RegRoot::CurrentUser;
    std::string subkey, name;
    std::optional<RegData> value;  // none: deleted
    std::string winePrefix;        // "" for this system's registry
  };

  explicit DryRunSystem(SystemSeam real, DryRunOptions options = DryRunOptions());
  ~DryRunSystem();
  DryRunSystem(const DryRunSystem&) = delete;
  DryRunSystem& operator=(const DryRunSystem&) = delete;

  // The overlay's parts, to hand to the routines in place of the real ones.
  SystemSeam Seam();

  const std::vector<Effect>& Effects() const { return effects_; }
  // The files written or removed, in the order first touched.
  std::vector<OverlayFile> FilesAfter() const;
  // The folders made, in order.
  std::vector<std::string> FoldersMade() const;
  std::vector<OverlayValue> RegistryAfter() const;
  // A path's contents as the run left them: the overlay's, else the real
  // file's. Missing when there is no file.
  ReadResult ContentsAfter(const std::string& path, std::string* contents, SystemError* err);
  // The virtual clock: what sleeps and waits would have taken.
  int64_t ElapsedMs() const { return elapsedMs_; }

 private:
  class OverlayProgram;
  class OverlayFiles;
  class OverlayIni;
  class OverlayRegistry;
  class OverlayProcesses;
  class OverlayLoop;

  // One version of a file's contents, shared by the overlay and open readers.
  class HeldText;
  using Held = std::shared_ptr<const HeldText>;

  struct FileEntry {
    std::string path;
    bool exists = true;
    Held contents;  // null when the file was removed
  };
  struct ValueEntry {
    RegRoot root;
    std::string subkey, name;
    std::optional<RegData> value;
    std::string winePrefix;
  };

  // The overlay's key of a path: one separator style, no doubled or trailing
  // backslash, case folded where paths ignore case.
  std::string PathKey(const std::string& path) const;
  // Where the real system would write path; "" when that is path itself.
  std::string Resolved(const std::string& path);
  FileEntry* FindFile(const std::string& path);
  bool MadeFolder(const std::string& path) const;
  // The file and folder view of overlay over real.
  bool ViewIsFile(const std::string& path);
  bool ViewIsFolder(const std::string& path);
  // Whether a file may be created at path; err says why not.
  bool CanCreateFile(const std::string& path, SystemError* err);
  // Records the write of contents to path, then stores them.
  void PutFile(const std::string& path, std::string contents);
  // Stores contents for path, without a record.
  void StoreFile(const std::string& path, std::string contents);
  // The same for a version already held.
  void PutVersion(const std::string& path, Held after);
  void StoreVersion(const std::string& path, Held contents);
  // A new version to write to, and one that holds contents.
  std::shared_ptr<HeldText> NewVersion() const;
  Held HoldText(std::string contents) const;
  // Takes bytes from the run's allowance for kept contents: true, and the
  // allowance shrinks, when they fit in it.
  bool KeepContents(size_t bytes);
  // The diff an Effect shows of before (null: nothing) against after.
  std::string DiffOf(FileReader* before, const Held& after, const std::string& oldName,
                     const std::string& newName);

  SystemSeam real_;
  DryRunOptions options_;
  std::vector<Effect> effects_;
  std::vector<FileEntry> files_;  // in the order first touched
  std::map<std::string, size_t> fileIndex_;
  std::vector<std::string> folders_;  // as named
  std::map<std::string, size_t> folderIndex_;
  std::vector<ValueEntry> values_;
  std::map<std::string, size_t> valueIndex_;
  int64_t elapsedMs_ = 0;
  size_t keptContentsLeft_ = kAllKeptContentsBytes;
  size_t diffsLeft_ = kAllDiffsBytes;

  std::unique_ptr<OverlayProgram> programPart_;
  std::unique_ptr<OverlayFiles> filesPart_;
  std::unique_ptr<OverlayIni> iniPart_;
  std::unique_ptr<OverlayRegistry> registryPart_;
  std::vector<std::unique_ptr<OverlayRegistry>> wineRegistries_;
  std::unique_ptr<OverlayProcesses> processesPart_;
  std::unique_ptr<OverlayLoop> loopPart_;
};

}  // namespace zeph

// The copy-files block: files of the games folder placed into the game's
// installation at every end of the game.
#include "setup/BlockLines.h"
#include "setup/SetupPass.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

constexpr int kMaxHeaderLines = 500;
constexpr int kMaxCopyEntries = 500;
const char* const kEndLine = "   }";

}  // namespace

bool SetupPass::RunCopySection() {
  copyList_.assign(1, CopyEntry{});
  ReadResult opened = ReadResult::Failed;
  SystemError err;
  std::unique_ptr<LineReader> in = OpenLines(files_, game_->profile, &opened, &err);
  if (!in) return false;

  // Any failure from here on (a line past the end included) ends the pass
  // quietly; the file closes as `in` goes.
  std::string line;
  for (int counter = 1; !EqualsNoCase(line.substr(0, 10), "COPY_FILES"); ++counter) {
    if (counter > kMaxHeaderLines || in->Next(&line, &err) != LineRead::Line) return false;
  }
  if (in->Next(&line, &err) != LineRead::Line) return false;  // the opening line

  int entries = 0;
  while (line != kEndLine) {
    if (entries > kMaxCopyEntries) return false;
    if (in->Next(&line, &err) != LineRead::Line) return false;
    if (line.empty() || line == kEndLine) continue;
    CopyEntry entry;
    if (!SplitCopyEntry(line, &entry.source, &entry.destination)) return false;
    ++entries;
    if (entries == 1)
      copyList_[0] = entry;
    else
      copyList_.push_back(entry);
  }
  // A block without entries names no file, so there is nothing to copy.
  if (entries == 0) return true;
  return CopySectionFiles();
}

bool SetupPass::CopySectionFiles() {
  const std::string gamesFolder = program_.Folder() + "\\games\\";
  for (const CopyEntry& entry : copyList_) {
    const std::string source = gamesFolder + entry.source;
    if (!files_.IsFile(source)) {
      boxes_.ShowBox("Could not copy file: " + ToLower(source), kProgramTitle, BoxButtons::Ok,
                     BoxIcon::None);
      return false;
    }
    const std::string destination =
        paths_.CheckRelativePath(game_->folder + "\\", entry.destination);
    if (EqualsNoCase(destination, "ERROR")) {
      debugList_.Add("Error with copy path " + entry.destination);
      return false;
    }
    std::string folder = GetPathOnly(destination);
    if (!files_.IsFolder(folder)) paths_.BuildFolders(folder);
    if (debugList_.DebugMode()) {
      debugList_.Add("Copying " + entry.source + " to " + destination);
      debugList_.SelectLast();
    }
    SystemError err;
    if (!CopyFileOver(files_, source, destination, &err)) {
      debugList_.Add("Could not copy " + source + " to " + destination + ": " + err.Describe());
      return false;
    }
  }
  return true;
}

}  // namespace zeph

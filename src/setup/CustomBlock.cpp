// The custom block: a script of file and registry edits, one line per
// operation, each carried out as soon as it is read.
#include <string>
#include <vector>

#include "setup/BlockLines.h"
#include "setup/SetupPass.h"
#include "system/TextStreams.h"
#include "system/WinPath.h"

namespace zeph {

namespace {

const char* const kEndLine = "   }";

// The block's own failures, logged as the pass's code.
constexpr int kBlockUnreadable = 100;  // the profile cannot be opened or read
constexpr int kNoBlockHeader = 101;    // the file ends before the block begins
constexpr int kShortField = 102;       // a field that cannot lose its quotes
constexpr int kNoCommandWord = 103;    // fewer than two fields
constexpr int kTooManyFields = 104;    // more fields than the command's table holds

bool Listed(const size_t (&fields)[2], size_t k) { return fields[0] == k || fields[1] == k; }

}  // namespace

bool SetupPass::RunEntry(const CustomOperation& op, const CustomEntry& entry) {
  const bool skipped = alreadyConfigured_ && !EqualsNoCase(entry[op.alwaysField - 1], "ALWAYS");
  if (observer_) observer_->EntryDecided(!skipped);
  if (skipped) return true;
  OperationContext context{files_, ini_, registry_.ForWine(game_->wine), debugList_, paths_};
  return op.run(context, op, entry);
}

bool SetupPass::RunCustomSection() {
  ReadResult opened = ReadResult::Failed;
  SystemError err;
  std::unique_ptr<LineReader> in = OpenLines(files_, game_->profile, &opened, &err);
  if (!in) {
    customFailure_ = kBlockUnreadable;
    return false;
  }
  auto fail = [&](int code) {
    customFailure_ = in->Failed() ? kBlockUnreadable : code;
    return false;
  };

  // Each operation's entry is one row, written over by each of its lines:
  // a line with fewer fields keeps the rest from the operation's line before.
  std::vector<CustomEntry> entries;
  for (const CustomOperation& op : CustomOperations()) entries.emplace_back(op.fieldCount);

  std::string line;
  while (!EqualsNoCase(line.substr(0, 6), "CUSTOM"))
    if (in->Next(&line, &err) != LineRead::Line) return fail(kNoBlockHeader);
  if (in->Next(&line, &err) != LineRead::Line) return fail(kNoBlockHeader);  // the opening line

  for (;;) {
    if (line == kEndLine || in->AtEnd(&err)) break;
    if (in->Next(&line, &err) != LineRead::Line) break;
    auto tell = [&](CustomLineStatus status, const std::vector<std::string>& entry) {
      if (observer_) observer_->CustomLine(line, status, entry);
    };
    if (line.empty()) {  // ends the block as failed, with no code
      tell(CustomLineStatus::Empty, {});
      return false;
    }
    if (line == kEndLine) continue;

    std::vector<std::string> fields;
    switch (SplitCustomLine(line, &fields)) {
      case CustomLineError::None: break;
      case CustomLineError::ShortField:
        tell(CustomLineStatus::ShortField, {});
        return fail(kShortField);
      case CustomLineError::NoCommandWord:
        tell(CustomLineStatus::NoCommandWord, {});
        return fail(kNoCommandWord);
    }
    const CustomOperation* op = FindCustomOperation(fields[1]);
    if (!op) {  // a command word this monitor does not know
      tell(CustomLineStatus::UnknownWord, fields);
      continue;
    }
    CustomEntry& entry = entries[static_cast<size_t>(op - CustomOperations().data())];
    if (fields.size() > entry.size()) {
      tell(CustomLineStatus::TooManyFields, fields);
      return fail(kTooManyFields);
    }
    for (size_t k = 1; k <= fields.size(); ++k)
      entry[k - 1] =
          Listed(op->expanded, k) ? CheckForJoy(fields[k - 1], *profile_) : fields[k - 1];
    tell(CustomLineStatus::Parsed, entry);

    bool logIt = true;
    for (size_t k : op->logWhen)
      if (k != 0 && entry[k - 1].empty()) logIt = false;
    if (debugList_.DebugMode() && logIt) {
      std::string joined;
      for (size_t k = 0; k < entry.size(); ++k) joined += (k ? ", " : "") + entry[k];
      debugList_.Add(joined);
    }

    if (!RunEntry(*op, entry)) {
      customFailure_ = op->failureCode;
      return false;
    }
  }
  if (in->Failed()) return fail(kBlockUnreadable);
  return true;
}

}  // namespace zeph

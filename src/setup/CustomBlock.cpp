// The custom block: a script of file and registry edits, one line per
// operation, each carried out as soon as it is read.
#include <string>
#include <vector>

#include "monitor/MainForm.h"
#include "system/WinPath.h"
#include "setup/BlockLines.h"
#include "system/TextStreams.h"

namespace zeph {

namespace {

const char* const kEndLine = "   }";

// The block's own failures, logged as the pass's code.
constexpr int kBlockUnreadable = 100;  // the profile cannot be opened or read
constexpr int kNoBlockHeader = 101;    // the file ends before the block begins
constexpr int kShortField = 102;       // a field that cannot lose its quotes
constexpr int kNoCommandWord = 103;    // fewer than two fields
constexpr int kTooManyFields = 104;    // more fields than the command's table holds

struct CommandInfo {
  const char* word;
  CustomCommand command;
  int failureCode;
  // The 1-based fields that placeholders are expanded in (0: none).
  size_t expanded[2];
  // The debug line is written when these fields (0: none) are non-empty.
  size_t logWhen[2];
};

// The data of a REGISTRY line is expanded, so that a value can name the
// profile's keys as file edits can; its always-flag is taken as written.
const CommandInfo kCommands[] = {
    {"DELETE", CustomCommand::Delete, 999, {0, 0}, {0, 0}},
    {"MODIFY", CustomCommand::Modify, 888, {3, 4}, {3, 4}},
    {"APPEND", CustomCommand::Append, 777, {3, 0}, {3, 0}},
    {"REPLACE", CustomCommand::Replace, 555, {4, 0}, {4, 0}},
    {"INI", CustomCommand::Ini, 444, {5, 0}, {4, 0}},
    {"REGISTRY", CustomCommand::Registry, 444, {5, 0}, {6, 0}},
};

const CommandInfo* FindCommand(const std::string& word) {
  for (const CommandInfo& info : kCommands)
    if (EqualsNoCase(word, info.word)) return &info;
  return nullptr;
}

bool Listed(const size_t (&fields)[2], size_t k) { return fields[0] == k || fields[1] == k; }

}  // namespace

bool MainForm::RunCustomSection() {
  ReadResult opened = ReadResult::Failed;
  SystemError err;
  std::unique_ptr<LineReader> in = OpenLines(sys_.files, state.ActiveProfile, &opened, &err);
  if (!in) {
    customFailure_ = kBlockUnreadable;
    return false;
  }
  auto fail = [&](int code) {
    customFailure_ = in->Failed() ? kBlockUnreadable : code;
    return false;
  };

  std::string line;
  while (!EqualsNoCase(line.substr(0, 6), "CUSTOM"))
    if (in->Next(&line, &err) != LineRead::Line) return fail(kNoBlockHeader);
  if (in->Next(&line, &err) != LineRead::Line) return fail(kNoBlockHeader);  // the opening line

  for (;;) {
    if (line == kEndLine || in->AtEnd(&err)) break;
    if (in->Next(&line, &err) != LineRead::Line) break;
    auto tell = [&](CustomLineStatus status, const std::vector<std::string>& entry) {
      if (setupObserver) setupObserver->CustomLine(line, status, entry);
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
    const CommandInfo* info = FindCommand(fields[1]);
    if (!info) {  // a command word this monitor does not know
      tell(CustomLineStatus::UnknownWord, fields);
      continue;
    }
    EntryTable& table = Entries(info->command);
    std::vector<std::string>& entry = table[0];
    if (fields.size() > entry.size()) {
      tell(CustomLineStatus::TooManyFields, fields);
      return fail(kTooManyFields);
    }
    for (size_t k = 1; k <= fields.size(); ++k)
      entry[k - 1] = Listed(info->expanded, k) ? CheckForJoy(fields[k - 1]) : fields[k - 1];
    tell(CustomLineStatus::Parsed, entry);

    bool logIt = true;
    for (size_t k : info->logWhen)
      if (k != 0 && entry[k - 1].empty()) logIt = false;
    if (state.DebugMode && logIt) {
      std::string joined;
      for (size_t k = 0; k < entry.size(); ++k) joined += (k ? ", " : "") + entry[k];
      debugList.Add(joined);
    }

    bool done = false;
    switch (info->command) {
      case CustomCommand::Delete: done = ExecDelete(); break;
      case CustomCommand::Modify: done = ExecModify(); break;
      case CustomCommand::Append: done = ExecAppend(); break;
      case CustomCommand::Replace: done = ExecReplace(); break;
      case CustomCommand::Ini: done = ExecIni(); break;
      case CustomCommand::Registry: done = ExecRegistry(); break;
    }
    if (!done) {
      customFailure_ = info->failureCode;
      return false;
    }
  }
  if (in->Failed()) return fail(kBlockUnreadable);
  return true;
}

}  // namespace zeph

#include "setup/TextEdits.h"

#include <functional>

#include "system/WinPath.h"
#include "system/TextStreams.h"

namespace zeph {

namespace {

enum class Rewrite { Commit, Discard, Failed };
using RewriteBody = std::function<Rewrite(LineReader& in, LineWriter& out, SystemError* err)>;

// Streams path into a work file through body; the work file takes path's
// place when body says Commit and is dropped otherwise. A file that is not
// there is left alone.
bool RewriteFile(Files& files, const std::string& path, const RewriteBody& body, SystemError* err) {
  ReadResult opened = ReadResult::Failed;
  std::unique_ptr<LineReader> in = OpenLines(files, path, &opened, err);
  if (!in) return opened == ReadResult::Missing;
  std::unique_ptr<WorkFile> work = files.CreateWorkFile(path, err);
  if (!work) return false;
  LineWriter out(std::move(work));
  switch (body(*in, out, err)) {
    case Rewrite::Commit: return out.Commit(err);
    case Rewrite::Discard: return true;
    case Rewrite::Failed: return false;
  }
  return false;
}

// Each line through keep-or-change: filter gives the line to write, or null to drop it.
bool FilterLines(Files& files, const std::string& path,
                 const std::function<const std::string*(const std::string& line)>& filter,
                 const std::function<bool(LineWriter& out, SystemError* err)>& finish,
                 SystemError* err) {
  return RewriteFile(
      files, path,
      [&](LineReader& in, LineWriter& out, SystemError* e) {
        std::string line;
        LineRead read;
        while ((read = in.Next(&line, e)) == LineRead::Line) {
          const std::string* kept = filter(line);
          if (kept && !out.WriteLine(*kept, e)) return Rewrite::Failed;
        }
        if (read == LineRead::Failed) return Rewrite::Failed;
        return (!finish || finish(out, e)) ? Rewrite::Commit : Rewrite::Failed;
      },
      err);
}

}  // namespace

bool DeleteLines(Files& files, const std::string& path, const DeleteRule& rule, SystemError* err) {
  return FilterLines(
      files, path, [&](const std::string& line) { return rule.Drops(line) ? nullptr : &line; },
      nullptr, err);
}

bool ModifyLines(Files& files, const std::string& path, const ModifyRule& rule, SystemError* err) {
  bool found = false;
  return FilterLines(
      files, path,
      [&](const std::string& line) {
        if (!rule.Matches(line)) return &line;
        found = true;
        return &rule.NewLine();
      },
      [&](LineWriter& out, SystemError* e) { return found || out.WriteLine(rule.NewLine(), e); },
      err);
}

bool ReplaceInLines(Files& files, const std::string& path, const ReplaceRule& rule,
                    SystemError* err) {
  std::string scratch;
  return FilterLines(
      files, path, [&](const std::string& line) { return &rule.Apply(line, &scratch); }, nullptr,
      err);
}

bool AppendLine(Files& files, const std::string& path, const std::string& text, SystemError* err) {
  if (!files.IsFile(path)) {
    std::unique_ptr<WorkFile> work = files.CreateWorkFile(path, err);
    if (!work) return false;
    LineWriter out(std::move(work));
    return out.WriteLine(text, err) && out.Commit(err);
  }
  return RewriteFile(
      files, path,
      [&](LineReader& in, LineWriter& out, SystemError* e) {
        std::string line;
        LineRead read;
        const char* lastEnding = "\r\n";
        bool any = false;
        while ((read = in.Next(&line, e)) == LineRead::Line) {
          if (HoldsLine(line, text)) return Rewrite::Discard;
          lastEnding = in.LastEnding();
          any = true;
          // The file's own bytes, line ends as they are.
          if (!out.Write(line.data(), line.size(), e) ||
              !out.Write(lastEnding, std::char_traits<char>::length(lastEnding), e))
            return Rewrite::Failed;
        }
        if (read == LineRead::Failed) return Rewrite::Failed;
        // A last line without its line end gets one, so the text is a line of its own.
        if (any && !*lastEnding && !out.Write("\r\n", 2, e)) return Rewrite::Failed;
        return out.WriteLine(text, e) ? Rewrite::Commit : Rewrite::Failed;
      },
      err);
}

}  // namespace zeph

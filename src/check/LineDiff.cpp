#include "check/LineDiff.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>

namespace zeph {

namespace {

// The number of edits the shortest-script search may take before a change
// is shown as its whole span removed and added: the search's memory grows
// with the square of that number.
constexpr int kMaxEdits = 2000;

enum class Op { Keep, Remove, Add };

struct Edit {
  Op op;
  size_t line;  // index in the old lines (Keep, Remove) or the new ones (Add)
};

using Lines = std::vector<std::string>;

// Reads a string the caller keeps.
class StringReader final : public FileReader {
 public:
  explicit StringReader(const std::string& text) : text_(text) {}
  bool Read(char* out, size_t size, size_t* got, SystemError*) override {
    *got = text_.copy(out, size, at_);
    at_ += *got;
    return true;
  }

 private:
  const std::string& text_;
  size_t at_ = 0;
};

// The shortest edit script from a[a0, a1) to b[b0, b1) (Myers); false when it
// takes more than kMaxEdits edits.
bool ShortestScript(const Lines& a, size_t a0, size_t a1, const Lines& b, size_t b0, size_t b1,
                    std::vector<Edit>* script) {
  const int n = static_cast<int>(a1 - a0);
  const int m = static_cast<int>(b1 - b0);
  const int maxD = std::min(n + m, kMaxEdits);
  const int offset = maxD + 1;
  std::vector<int> v(2 * static_cast<size_t>(maxD) + 3, 0);
  std::vector<std::vector<int>> trace;
  for (int d = 0; d <= maxD; ++d) {
    trace.push_back(v);
    for (int k = -d; k <= d; k += 2) {
      int x = (k == -d || (k != d && v[k - 1 + offset] < v[k + 1 + offset]))
                  ? v[k + 1 + offset]
                  : v[k - 1 + offset] + 1;
      int y = x - k;
      while (x < n && y < m && a[a0 + x] == b[b0 + y]) ++x, ++y;
      v[k + offset] = x;
      if (x < n || y < m) continue;
      // Walk back through the kept rounds to read the script off.
      std::vector<Edit> reversed;
      for (int e = d; e > 0; --e) {
        const std::vector<int>& prev = trace[static_cast<size_t>(e)];
        const int kk = x - y;
        const bool down = kk == -e || (kk != e && prev[kk - 1 + offset] < prev[kk + 1 + offset]);
        const int pk = down ? kk + 1 : kk - 1;
        const int px = prev[pk + offset];
        const int py = px - pk;
        while (x > px + (down ? 0 : 1) && y > py + (down ? 1 : 0)) {
          --x, --y;
          reversed.push_back({Op::Keep, a0 + x});
        }
        if (down) {
          --y;
          reversed.push_back({Op::Add, b0 + y});
        } else {
          --x;
          reversed.push_back({Op::Remove, a0 + x});
        }
      }
      while (x > 0 && y > 0) {
        --x, --y;
        reversed.push_back({Op::Keep, a0 + x});
      }
      script->insert(script->end(), reversed.rbegin(), reversed.rend());
      return true;
    }
  }
  return false;
}

std::vector<Edit> Script(const Lines& a, const Lines& b) {
  // Edits touch a few lines of a long file: the common start and end are
  // kept without a search.
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  std::vector<Edit> script;
  for (size_t i = 0; i < head; ++i) script.push_back({Op::Keep, i});
  if (!ShortestScript(a, head, a.size() - tail, b, head, b.size() - tail, &script)) {
    for (size_t i = head; i < a.size() - tail; ++i) script.push_back({Op::Remove, i});
    for (size_t i = head; i < b.size() - tail; ++i) script.push_back({Op::Add, i});
  }
  for (size_t i = a.size() - tail; i < a.size(); ++i) script.push_back({Op::Keep, i});
  return script;
}

void AppendLine(std::string* out, char mark, const std::string& line) {
  *out += mark;
  *out += line;
  if (line.empty() || line.back() != '\n') *out += "\n\\ No newline at end of file\n";
}

std::string Range(size_t start, size_t count) {
  // A hunk that holds no line of a side names the line before it.
  return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

// The lines of a stream, each with its LF (and what comes before it); a
// last line without one is a line too.
class LineSource {
 public:
  LineSource(FileReader& file, size_t maxLine) : file_(file), maxLine_(maxLine) {}

  // The next line; false at the end (done() then) or when it fails.
  bool Next(std::string* line, DiffResult* failure, SystemError* err) {
    size_t scanned = pos_;
    for (;;) {
      const size_t lf = buffer_.find('\n', scanned);
      if (lf != std::string::npos && lf - pos_ < maxLine_ + 1) {
        line->assign(buffer_, pos_, lf + 1 - pos_);
        pos_ = lf + 1;
        return true;
      }
      if (buffer_.size() - pos_ > maxLine_) {
        *failure = DiffResult::LongLine;
        return false;
      }
      if (eof_) {
        if (pos_ == buffer_.size()) {
          done_ = true;
          return false;
        }
        line->assign(buffer_, pos_, std::string::npos);
        pos_ = buffer_.size();
        return true;
      }
      buffer_.erase(0, pos_);
      pos_ = 0;
      scanned = buffer_.size();
      const size_t had = buffer_.size();
      buffer_.resize(had + kPiece);
      size_t got = 0;
      if (!file_.Read(&buffer_[had], kPiece, &got, err)) {
        *failure = DiffResult::Failed;
        return false;
      }
      buffer_.resize(had + got);
      if (got == 0) eof_ = true;
    }
  }
  bool done() const { return done_; }

 private:
  static constexpr size_t kPiece = 64 * 1024;
  FileReader& file_;
  size_t maxLine_;
  std::string buffer_;
  size_t pos_ = 0;
  bool eof_ = false;
  bool done_ = false;
};

// One side's lines read but not yet shown.
struct Window {
  explicit Window(FileReader& file, size_t maxLine) : source(file, maxLine) {}
  LineSource source;
  Lines lines;
  size_t bytes = 0;
};

// Builds the hunks from the edits as they come, holding only the open hunk
// and the kept lines that may become its context.
class HunkWriter {
 public:
  HunkWriter(size_t context, size_t maxBytes, std::string* out)
      : ctx_(context), maxBytes_(maxBytes), out_(*out) {}

  bool Keep(const std::string& line) {
    ++oldLine_, ++newLine_;
    if (!open_) {
      before_.push_back(line);
      if (before_.size() > ctx_) before_.pop_front();
      return true;
    }
    after_.push_back(line);
    if (after_.size() <= 2 * ctx_) return true;
    // More kept lines than two contexts: the hunk ends, and the last of
    // them may open the next one.
    if (!Close()) return false;
    for (const std::string& kept : after_) {
      before_.push_back(kept);
      if (before_.size() > ctx_) before_.pop_front();
    }
    after_.clear();
    return true;
  }

  bool Change(Op op, const std::string& line) {
    if (!open_) {
      open_ = true;
      oldStart_ = oldLine_ - before_.size();
      newStart_ = newLine_ - before_.size();
      oldCount_ = newCount_ = before_.size();
      for (const std::string& kept : before_) AppendLine(&body_, ' ', kept);
      before_.clear();
    }
    for (const std::string& kept : after_) AppendLine(&body_, ' ', kept);
    oldCount_ += after_.size();
    newCount_ += after_.size();
    after_.clear();
    if (op == Op::Remove) {
      AppendLine(&body_, '-', line);
      ++oldCount_, ++oldLine_;
    } else {
      AppendLine(&body_, '+', line);
      ++newCount_, ++newLine_;
    }
    return out_.size() + body_.size() <= maxBytes_;
  }

  // Ends the open hunk, if any, with up to a context of kept lines.
  bool Close() {
    if (!open_) return true;
    const size_t kept = std::min(ctx_, after_.size());
    for (size_t i = 0; i < kept; ++i) AppendLine(&body_, ' ', after_[i]);
    out_ += "@@ -" + Range(oldStart_, oldCount_ + kept) + " +" +
            Range(newStart_, newCount_ + kept) + " @@\n" + body_;
    body_.clear();
    open_ = false;
    any_ = true;
    return out_.size() <= maxBytes_;
  }
  bool Any() const { return any_; }

 private:
  size_t ctx_, maxBytes_;
  std::string& out_;
  std::deque<std::string> before_;  // kept lines before the open hunk (at most ctx_)
  std::vector<std::string> after_;  // kept lines since the open hunk's last change
  bool open_ = false, any_ = false;
  std::string body_;
  size_t oldLine_ = 0, newLine_ = 0;  // lines of each side passed so far
  size_t oldStart_ = 0, newStart_ = 0, oldCount_ = 0, newCount_ = 0;
};

bool FillWindow(Window& w, const DiffLimits& limits, DiffResult* failure, SystemError* err) {
  std::string line;
  while (!w.source.done() && w.lines.size() < limits.windowLines && w.bytes < limits.windowBytes) {
    if (!w.source.Next(&line, failure, err)) return w.source.done();
    w.bytes += line.size();
    w.lines.push_back(std::move(line));
  }
  return true;
}

// The first `count` lines of a window are shown: they go.
void Drop(Window& w, size_t count) {
  for (size_t i = 0; i < count; ++i) w.bytes -= w.lines[i].size();
  w.lines.erase(w.lines.begin(), w.lines.begin() + static_cast<long>(count));
}

}  // namespace

std::vector<std::string> SplitKeepingEnds(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

DiffResult StreamUnifiedDiff(FileReader& before, FileReader& after, const std::string& oldName,
                             const std::string& newName, const DiffLimits& limits,
                             std::string* diff, SystemError* err) {
  diff->assign("--- " + oldName + "\n+++ " + newName + "\n");
  HunkWriter hunks(static_cast<size_t>(std::max(limits.context, 0)), limits.maxDiffBytes, diff);
  Window a(before, limits.maxLine), b(after, limits.maxLine);
  DiffResult failure = DiffResult::Failed;
  auto fail = [&](DiffResult why) {
    diff->clear();
    return why;
  };
  for (;;) {
    if (!FillWindow(a, limits, &failure, err) || !FillWindow(b, limits, &failure, err))
      return fail(failure);
    if (a.lines.empty() && b.lines.empty()) break;
    const std::vector<Edit> script = Script(a.lines, b.lines);
    // With both sides read to their end the script is the whole answer;
    // otherwise its end may pair with lines not read yet, so it is taken up
    // to its last kept line and the rest is looked at again with more lines.
    size_t take = script.size();
    if (!a.source.done() || !b.source.done()) {
      for (size_t i = script.size(); i > 0; --i) {
        if (script[i - 1].op == Op::Keep) {
          take = i;
          break;
        }
      }
    }
    size_t takenA = 0, takenB = 0;
    for (size_t i = 0; i < take; ++i) {
      const Edit& e = script[i];
      const bool ok = e.op == Op::Keep
                          ? hunks.Keep(a.lines[e.line])
                          : hunks.Change(e.op, (e.op == Op::Add ? b : a).lines[e.line]);
      if (!ok) return fail(DiffResult::TooLarge);
      if (e.op != Op::Add) ++takenA;
      if (e.op != Op::Remove) ++takenB;
    }
    Drop(a, takenA);
    Drop(b, takenB);
  }
  if (!hunks.Close()) return fail(DiffResult::TooLarge);
  if (!hunks.Any()) return fail(DiffResult::Same);
  return DiffResult::Shown;
}

std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& oldName, const std::string& newName, int context) {
  if (before == after) return "";
  StringReader a(before), b(after);
  DiffLimits whole;
  whole.context = context;
  whole.windowBytes = whole.windowLines = whole.maxDiffBytes = whole.maxLine = SIZE_MAX - 1;
  std::string diff;
  StreamUnifiedDiff(a, b, oldName, newName, whole, &diff, nullptr);
  return diff;
}

bool ApplyUnifiedDiff(const std::string& before, const std::string& diff, std::string* after) {
  const Lines a = SplitKeepingEnds(before);
  const Lines d = SplitKeepingEnds(diff);
  std::string out;
  size_t next = 0;  // first old line not yet copied
  size_t i = 0;
  while (i < d.size() && d[i].rfind("@@ ", 0) != 0) ++i;  // the two name lines
  while (i < d.size()) {
    const std::string& header = d[i++];
    if (header.rfind("@@ -", 0) != 0) return false;
    size_t oldStart = std::strtoul(header.c_str() + 4, nullptr, 10);
    const size_t comma = header.find(',', 4);
    const size_t oldCount =
        comma == std::string::npos ? 1 : std::strtoul(&header[comma + 1], nullptr, 10);
    size_t at = oldCount == 0 ? oldStart : oldStart - 1;
    if (at < next || at > a.size()) return false;
    for (; next < at; ++next) out += a[next];
    while (i < d.size() && d[i].rfind("@@ ", 0) != 0) {
      std::string line = d[i++].substr(1);
      const char mark = d[i - 1][0];
      // A line without its end is followed by the marker that says so.
      if (i < d.size() && d[i].rfind("\\ ", 0) == 0) {
        line.pop_back();
        ++i;
      }
      if (mark == ' ' || mark == '-') {
        if (next >= a.size() || a[next] != line) return false;
        ++next;
      }
      if (mark == ' ' || mark == '+') out += line;
    }
  }
  for (; next < a.size(); ++next) out += a[next];
  *after = out;
  return true;
}

}  // namespace zeph

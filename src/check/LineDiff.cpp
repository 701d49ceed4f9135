#include "check/LineDiff.h"

#include <algorithm>
#include <cstdlib>

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

std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& oldName, const std::string& newName, int context) {
  if (before == after) return "";
  const Lines a = SplitKeepingEnds(before);
  const Lines b = SplitKeepingEnds(after);
  const std::vector<Edit> script = Script(a, b);
  const size_t ctx = static_cast<size_t>(std::max(context, 0));

  std::string out = "--- " + oldName + "\n+++ " + newName + "\n";
  size_t i = 0;
  while (i < script.size()) {
    if (script[i].op == Op::Keep) {
      ++i;
      continue;
    }
    // A hunk: from ctx kept lines before this change to ctx after the last
    // change that is at most 2 * ctx kept lines from the one before.
    size_t begin = i;
    for (size_t kept = 0; begin > 0 && script[begin - 1].op == Op::Keep && kept < ctx; ++kept)
      --begin;
    size_t end = i;
    size_t keptRun = 0;
    for (size_t j = i; j < script.size(); ++j) {
      if (script[j].op != Op::Keep) {
        end = j + 1;
        keptRun = 0;
      } else if (++keptRun > 2 * ctx) {
        break;
      }
    }
    for (size_t kept = 0; end < script.size() && script[end].op == Op::Keep && kept < ctx; ++kept)
      ++end;
    // Where the hunk starts on each side.
    size_t oldStart = 0, newStart = 0;
    for (size_t j = 0; j < begin; ++j) {
      if (script[j].op != Op::Add) ++oldStart;
      if (script[j].op != Op::Remove) ++newStart;
    }
    size_t oldCount = 0, newCount = 0;
    std::string body;
    for (size_t j = begin; j < end; ++j) {
      const Edit& e = script[j];
      if (e.op == Op::Keep) {
        AppendLine(&body, ' ', a[e.line]);
        ++oldCount, ++newCount;
      } else if (e.op == Op::Remove) {
        AppendLine(&body, '-', a[e.line]);
        ++oldCount;
      } else {
        AppendLine(&body, '+', b[e.line]);
        ++newCount;
      }
    }
    out += "@@ -" + Range(oldStart, oldCount) + " +" + Range(newStart, newCount) + " @@\n" + body;
    i = end;
  }
  return out;
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

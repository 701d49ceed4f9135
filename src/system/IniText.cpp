// INI files by the Windows rules, on contents held in memory.
//
// The file is never rebuilt: reads look at it line by line, and a write
// splices one line (or a header and a line) into the original bytes, the way
// Windows does. Where Windows' own behaviour is not known for a corner case,
// these rules follow the system's profile functions as the differential test
// measures them.
#include "system/IniText.h"

#include <vector>

namespace zeph::ini {
namespace {

// Spaces, tabs, vertical tabs, form feeds and the old end-of-file mark ^Z
// are trimmed around names and values. CR and LF end lines instead.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }

// Case is folded for ASCII letters only: the system function treats
// 8-bit letters (é, É) as different characters.
char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Text as the C functions see it: a NUL ends it.
std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

bool SameName(const std::string& a, const std::string& b) {
  const std::string x = UpToNul(a);
  const std::string y = UpToNul(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (FoldCase(x[i]) != FoldCase(y[i])) return false;
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

enum class Kind { Blank, Header, Entry };

struct Line {
  size_t begin = 0;  // first byte of the line
  size_t end = 0;    // end of its text, before the line end
  size_t next = 0;   // start of the following line (after CR LF, LF or a lone CR)
  Kind kind = Kind::Blank;
  std::string name;  // section name (Header) or key name (Entry), trimmed
  bool hasValue = false;
  std::string value;  // text after the first "=", trimmed (Entry)
};

// Parses one line's text [b, e). A line that starts with "[" and has a "]"
// somewhere is a header, named by what lies between "[" and the last "]";
// anything after that "]" is ignored. Any other non-blank line is an entry,
// with or without "=". Comment lines are entries too: nobody asks for a key
// named ";...".
void Classify(const std::string& text, Line* line) {
  size_t b = line->begin;
  size_t e = line->end;
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) {
    line->kind = Kind::Blank;
    return;
  }
  if (text[b] == '[') {
    const size_t close = text.rfind(']', e - 1);
    if (close != std::string::npos && close > b) {
      line->kind = Kind::Header;
      line->name = Trim(text.substr(b + 1, close - b - 1));
      return;
    }
  }
  line->kind = Kind::Entry;
  const size_t eq = text.find('=', b);
  if (eq == std::string::npos || eq >= e) {
    line->name = text.substr(b, e - b);
    return;
  }
  line->name = Trim(text.substr(b, eq - b));
  line->hasValue = true;
  line->value = Trim(text.substr(eq + 1, e - eq - 1));
}

std::vector<Line> Parse(const std::string& text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    line.end = end;
    line.next = end;
    if (line.next < text.size() && text[line.next] == '\r') ++line.next;
    if (line.next < text.size() && text[line.next] == '\n') ++line.next;
    Classify(text, &line);
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// Where a section's lines are: its header and the end of its last line.
struct SectionSpan {
  size_t header = 0;  // index of the header line
  size_t end = 0;     // index one past its last line (next header or end)
};

// Only the first section of a name counts, for reads and writes alike; a
// later section of the same name is never looked at. Lines before the first
// header belong to no section at all, so section "" means a "[]" header.
bool FindSection(const std::vector<Line>& lines, const std::string& section, SectionSpan* span) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Kind::Header || !SameName(lines[i].name, section)) continue;
    span->header = i;
    span->end = i + 1;
    while (span->end < lines.size() && lines[span->end].kind != Kind::Header) ++span->end;
    return true;
  }
  return false;
}

// The first entry of the key's name, whether it has an "=" or not: an entry
// without one hides any later entry of the same name.
bool FindKey(const std::vector<Line>& lines, const SectionSpan& span, const std::string& key,
             size_t* index) {
  for (size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].kind == Kind::Entry && SameName(lines[i].name, key)) {
      *index = i;
      return true;
    }
  }
  return false;
}

// One pair of matching quotes around the whole value is removed, then the
// text is cut to what the buffer holds. Like the system function, a quoted
// value that exactly fills the buffer loses one more character: the closing
// quote is dropped after cutting rather than before.
std::string CopyOut(const std::string& text, size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  std::string v = UpToNul(text);
  const size_t room = bufferSize - 1;
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    const std::string inner = v.substr(1);  // still ends with the closing quote
    std::string out = inner.substr(0, room);
    if (bufferSize >= inner.size() && !out.empty()) out.pop_back();
    return out;
  }
  return v.substr(0, room);
}

const char kNewLine[] = "\r\n";  // Windows writes CR LF whatever the file uses

bool EndsWithLineEnd(const std::string& s) {
  return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

}  // namespace

std::string GetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize) {
  const std::vector<Line> lines = Parse(contents);
  SectionSpan span;
  size_t index = 0;
  if (FindSection(lines, Trim(section), &span) && FindKey(lines, span, Trim(key), &index) &&
      lines[index].hasValue) {
    return CopyOut(lines[index].value, bufferSize);
  }
  // Trailing spaces (spaces only) leave the default; quotes come off it too.
  std::string d = UpToNul(def);
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return CopyOut(d, bufferSize);
}

std::string SetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& value) {
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);
  const std::vector<Line> lines = Parse(contents);

  SectionSpan span;
  if (!FindSection(lines, sectionName, &span)) {
    // A new section goes at the very end, on a line of its own.
    std::string out = contents;
    if (!out.empty() && !EndsWithLineEnd(out)) out += kNewLine;
    out += "[" + sectionName + "]" + kNewLine + keyName + "=" + value + kNewLine;
    return out;
  }

  size_t index = 0;
  if (FindKey(lines, span, keyName, &index)) {
    // Only the key's own text changes; its spelling and its line end stay.
    const Line& line = lines[index];
    return contents.substr(0, line.begin) + line.name + "=" + value + contents.substr(line.end);
  }

  // A new key goes after the section's last non-blank line, so the blank
  // lines that set the next section apart stay in front of it.
  size_t last = span.header;
  for (size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].kind != Kind::Blank) last = i;
  }
  const Line& after = lines[last];
  std::string insert = keyName + "=" + value + kNewLine;
  if (after.next == after.end) insert = kNewLine + insert;  // that line had no line end
  return contents.substr(0, after.next) + insert + contents.substr(after.next);
}

}  // namespace zeph::ini

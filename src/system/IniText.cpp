// INI files by the Windows rules, read by offset through a fixed buffer.
//
// The file is never rebuilt: reads look at it line by line, and a write
// splices one line (or a header and a line) into the original bytes, the way
// Windows does. Where Windows' own behaviour is not known for a corner case,
// these rules follow the system's profile functions as the differential test
// measures them.
//
// One pass over the file records, per line, offsets only (where its name and
// value are) and a bounded head of its text for the names; the few bytes of
// the one value wanted are fetched by offset afterwards. Memory stays the
// same whatever the size of the file or of its lines.
#include "system/IniText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "system/WinPath.h"

namespace zeph::ini {
namespace {

// A character of the file: a byte of an 8-bit file, or a UTF-16 code unit.
using Unit = char16_t;

constexpr uint64_t kNone = ~uint64_t{0};
constexpr size_t kBufferBytes = 64 * 1024;
// Characters kept of each line from its first non-blank one: names that fit
// are compared without going back to the file.
constexpr size_t kHeadUnits = 256;

const char kNewLine[] = "\r\n";  // Windows writes CR LF whatever the file uses

// The INI rules' blanks, more than a command line's (IsBlank): spaces, tabs,
// vertical tabs, form feeds and the old end-of-file mark ^Z are trimmed
// around names and values. CR and LF end lines instead.
bool IsIniBlank(Unit c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1a; }
bool IsLineEnd(Unit c) { return c == '\r' || c == '\n'; }

// Case is folded for ASCII letters only: the system function treats
// 8-bit letters (é, É) as different characters.
Unit FoldCase(Unit c) { return (c >= 'A' && c <= 'Z') ? static_cast<Unit>(c - 'A' + 'a') : c; }

// Text as the C functions see it: a NUL ends it.
std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

std::string Trim(const std::string& s) { return zeph::Trim(s, " \t\v\f\x1a"); }

// --- Windows-1252, the ANSI code page values of UTF-16 files are handed
// back in. 0x80-0x9F differ from Latin-1; the five positions cp1252 leaves
// undefined map to the control characters of the same number.
const Unit k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

Unit FromAnsi(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : b;
}

// Each code unit on its own, as the system's table conversion does it:
// what cp1252 lacks (a surrogate half among them) becomes '?'. Windows maps
// some of those to a look-alike instead (a letter without its accent); those
// read as '?' here.
char ToAnsi(Unit u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (size_t i = 0; i < 32; ++i) {
    if (k1252High[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Where the text is: one byte a character from the start, or UTF-16LE after
// the byte-order mark (an odd last byte is no character).
struct Layout {
  bool utf16 = false;
  size_t width() const { return utf16 ? 2 : 1; }
  uint64_t Offset(uint64_t unit) const { return utf16 ? 2 + 2 * unit : unit; }
  Unit At(const char* p) const {
    const auto lo = static_cast<unsigned char>(p[0]);
    return utf16 ? static_cast<Unit>(lo | static_cast<unsigned char>(p[1]) << 8) : lo;
  }
  std::string Encode(const std::string& ansi) const {
    if (!utf16) return ansi;
    std::string out;
    out.reserve(2 * ansi.size());
    for (char c : ansi) {
      const Unit u = FromAnsi(c);
      out += static_cast<char>(u & 0xff);
      out += static_cast<char>(u >> 8);
    }
    return out;
  }
  char Decode(Unit u) const { return utf16 ? ToAnsi(u) : static_cast<char>(u); }
};

// Reads until size bytes are in or the source ends.
bool ReadFully(ByteSource* source, uint64_t offset, char* out, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    size_t n = 0;
    if (!source->ReadAt(offset + *got, out + *got, size - *got, &n)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

// Windows reads a file as UTF-16LE when it starts with FF FE. A UTF-8 mark
// is no mark to it: those bytes are text.
bool DetectLayout(ByteSource* source, Layout* layout) {
  char mark[2];
  size_t got = 0;
  if (!ReadFully(source, 0, mark, 2, &got)) return false;
  layout->utf16 = got == 2 && mark[0] == '\xff' && mark[1] == '\xfe';
  return true;
}

// count characters from character from, fewer at the end of the file.
bool ReadUnits(ByteSource* source, const Layout& layout, uint64_t from, size_t count,
               std::u16string* out) {
  std::string bytes(count * layout.width(), '\0');
  size_t got = 0;
  if (!ReadFully(source, layout.Offset(from), &bytes[0], bytes.size(), &got)) return false;
  out->clear();
  for (size_t i = 0; i + layout.width() <= got; i += layout.width()) {
    out->push_back(layout.At(&bytes[i]));
  }
  return true;
}

// A name as it is compared: trimmed, cut at a NUL, case folded, in the
// file's characters.
std::u16string QueryName(const std::string& name, const Layout& layout) {
  std::u16string out;
  for (char c : UpToNul(Trim(name))) {
    out += FoldCase(layout.utf16 ? FromAnsi(c) : static_cast<Unit>(static_cast<unsigned char>(c)));
  }
  return out;
}

// Which characters of a value of n characters a read hands back. One pair of
// matching quotes around the whole value is removed, then the text is cut to
// what the buffer holds. Like the system function, a quoted value that
// exactly fills the buffer loses one more character: the closing quote is
// dropped after cutting rather than before.
void CutValue(size_t n, Unit first, Unit last, size_t bufferSize, size_t* from, size_t* count) {
  *from = 0;
  *count = 0;
  if (bufferSize == 0) return;
  const size_t room = bufferSize - 1;
  if (n >= 2 && (first == '"' || first == '\'') && last == first) {
    const size_t inner = n - 1;  // still ends with the closing quote
    *from = 1;
    *count = std::min(inner, room);
    if (bufferSize >= inner && *count > 0) --*count;
    return;
  }
  *count = std::min(n, room);
}

// The value in characters [begin, stop), as a read hands it back: only the
// characters the buffer can hold, and the last one, are fetched.
bool FetchValue(ByteSource* source, const Layout& layout, uint64_t begin, uint64_t stop,
                size_t bufferSize, std::string* value) {
  if (bufferSize == 0) {
    value->clear();
    return true;
  }
  const size_t n = static_cast<size_t>(stop - begin);
  std::u16string units;
  if (!ReadUnits(source, layout, begin, std::min(n, bufferSize), &units)) return false;
  if (units.size() < std::min(n, bufferSize)) return false;  // the file shrank under us
  Unit last = 0;
  if (n > 0 && n <= units.size()) {
    last = units[n - 1];
  } else if (n > 0) {
    std::u16string tail;
    if (!ReadUnits(source, layout, stop - 1, 1, &tail) || tail.empty()) return false;
    last = tail[0];
  }
  size_t from = 0;
  size_t count = 0;
  CutValue(n, n > 0 ? units[0] : 0, last, bufferSize, &from, &count);
  std::string out;
  for (size_t i = from; i < from + count; ++i) out.push_back(layout.Decode(units[i]));
  *value = std::move(out);
  return true;
}

enum class Kind { Blank, Header, Entry };

// One line, by character offsets. A line that starts with "[" and has a "]"
// somewhere is a header, named by what lies between "[" and the last "]";
// anything after that "]" is ignored. Any other non-blank line is an entry,
// with or without "=". Comment lines are entries too: nobody asks for a key
// named ";...".
struct Line {
  uint64_t begin = 0;  // first character of the line
  uint64_t end = 0;    // end of its text, before the line end
  uint64_t next = 0;   // start of the following line (after CR LF, LF or a lone CR)
  Kind kind = Kind::Blank;
  uint64_t first = kNone;  // first non-blank character
  uint64_t last = 0;       // one past the last non-blank one
  uint64_t nameBegin = 0;  // the name as compared: trimmed, cut at a NUL
  uint64_t nameStop = 0;
  uint64_t rawNameStop = 0;  // the trimmed name as a write keeps it (an entry's)
  bool hasValue = false;
  uint64_t valueBegin = 0;  // the value after the first "=": trimmed, cut at a NUL
  uint64_t valueStop = 0;
  size_t headSize = 0;
  Unit head[kHeadUnits];  // the line's characters from `first` on

  // Gathered while the line is read.
  Unit firstUnit = 0;
  uint64_t equals = kNone;      // first "="
  uint64_t keyEnd = 0;          // one past the last non-blank before it
  uint64_t close = kNone;       // last "]"
  uint64_t headerNameEnd = 0;   // one past the last non-blank before it
  uint64_t afterFirst = kNone;  // first non-blank after `first`
  uint64_t nul = kNone;         // first NUL
  uint64_t valueFirst = kNone;  // first non-blank after "="
  uint64_t valueNul = kNone;    // first NUL after "="

  void Start(uint64_t at) {
    begin = at;
    first = kNone;
    headSize = 0;
    equals = close = afterFirst = nul = valueFirst = valueNul = kNone;
    hasValue = false;
  }

  void See(Unit c, uint64_t i) {
    if (first == kNone) {
      if (IsIniBlank(c)) return;
      first = i;
      firstUnit = c;
    }
    if (headSize < kHeadUnits) head[headSize++] = c;
    if (IsIniBlank(c)) return;
    if (i > first && afterFirst == kNone) afterFirst = i;
    if (c == '=') {
      if (equals == kNone) {
        equals = i;
        keyEnd = i == first ? i : last;
      }
    } else if (c == ']') {
      close = i;
      headerNameEnd = last;
    } else if (c == 0) {
      if (nul == kNone) nul = i;
      if (equals != kNone && valueNul == kNone) valueNul = i;
    }
    if (equals != kNone && i > equals && valueFirst == kNone) valueFirst = i;
    last = i + 1;
  }

  void Finish() {
    if (first == kNone) {
      kind = Kind::Blank;
      return;
    }
    if (firstUnit == '[' && close != kNone && close > first) {
      kind = Kind::Header;
      nameBegin = afterFirst;  // at most `close`
      nameStop = std::max(nameBegin, std::min(headerNameEnd, nul));
      return;
    }
    kind = Kind::Entry;
    nameBegin = first;
    rawNameStop = equals == kNone ? last : keyEnd;
    nameStop = std::min(rawNameStop, nul);
    if (equals == kNone) return;
    hasValue = true;
    valueBegin = valueFirst == kNone ? last : valueFirst;
    valueStop = std::min(last, valueNul);
  }
};

// Reads a source's lines one after the other through a fixed buffer.
class Scanner {
 public:
  Scanner(ByteSource* source, const Layout& layout)
      : source_(source),
        layout_(layout),
        buffer_(new char[kBufferBytes]),
        offset_(layout.Offset(0)) {}

  // The next line; false at the end, or when the source cannot be read.
  bool Next(Line* line) {
    Unit c;
    if (!Take(&c)) return false;
    line->Start(taken_ - 1);
    for (;;) {
      if (IsLineEnd(c)) {
        line->end = taken_ - 1;
        Unit d;
        if (c == '\r' && Take(&d) && d != '\n') Untake(d);
        line->next = taken_;
        break;
      }
      line->See(c, taken_ - 1);
      if (!Take(&c)) {
        line->end = line->next = taken_;
        break;
      }
    }
    line->Finish();
    return !failed_;
  }

  bool failed() const { return failed_; }
  // Characters read so far: all of the file's once Next has returned false.
  uint64_t size() const { return taken_; }
  Unit lastUnit() const { return lastUnit_; }

  // Whether the line's name, folded, is query.
  bool NameIs(const Line& line, const std::u16string& query) {
    if (line.nameStop - line.nameBegin != query.size()) return false;
    const uint64_t inHead = std::min<uint64_t>(line.nameStop, line.first + line.headSize);
    size_t k = 0;
    for (uint64_t i = line.nameBegin; i < inHead; ++i, ++k) {
      if (FoldCase(line.head[i - line.first]) != query[k]) return false;
    }
    if (k == query.size()) return true;
    std::u16string rest;
    if (!ReadUnits(source_, layout_, line.nameBegin + k, query.size() - k, &rest)) {
      failed_ = true;
      return false;
    }
    for (Unit u : rest) {
      if (k >= query.size() || FoldCase(u) != query[k++]) return false;
    }
    return k == query.size();
  }

  // The line's name, folded.
  bool Name(const Line& line, std::u16string* name) {
    name->clear();
    const uint64_t inHead = std::min<uint64_t>(line.nameStop, line.first + line.headSize);
    for (uint64_t i = line.nameBegin; i < inHead; ++i) name->push_back(line.head[i - line.first]);
    const uint64_t from = std::max(inHead, line.nameBegin);
    if (from < line.nameStop) {
      std::u16string rest;
      if (!ReadUnits(source_, layout_, from, static_cast<size_t>(line.nameStop - from), &rest)) {
        failed_ = true;
        return false;
      }
      *name += rest;
    }
    for (Unit& u : *name) u = FoldCase(u);
    return true;
  }

 private:
  bool Take(Unit* c) {
    if (pending_) {
      pending_ = false;
      *c = lastUnit_;
      ++taken_;
      return true;
    }
    if (end_ - at_ < layout_.width() && !Refill()) return false;
    *c = lastUnit_ = layout_.At(buffer_.get() + at_);
    at_ += layout_.width();
    ++taken_;
    return true;
  }

  // Gives back the character just taken.
  void Untake(Unit c) {
    lastUnit_ = c;
    pending_ = true;
    --taken_;
  }

  bool Refill() {
    const size_t keep = end_ - at_;
    std::memmove(buffer_.get(), buffer_.get() + at_, keep);
    at_ = 0;
    end_ = keep;
    while (end_ < layout_.width()) {
      size_t got = 0;
      if (!source_->ReadAt(offset_, buffer_.get() + end_, kBufferBytes - end_, &got)) {
        failed_ = true;
        return false;
      }
      if (got == 0) return false;
      offset_ += got;
      end_ += got;
    }
    return true;
  }

  ByteSource* source_;
  Layout layout_;
  std::unique_ptr<char[]> buffer_;
  uint64_t offset_;  // of the next byte to read into the buffer
  size_t at_ = 0;
  size_t end_ = 0;
  uint64_t taken_ = 0;
  Unit lastUnit_ = 0;
  bool pending_ = false;
  bool failed_ = false;
};

}  // namespace

bool StringSource::ReadAt(uint64_t offset, char* out, size_t size, size_t* got) {
  *got = 0;
  if (offset < bytes_.size()) {
    *got = std::min<size_t>(size, bytes_.size() - static_cast<size_t>(offset));
    std::memcpy(out, bytes_.data() + offset, *got);
  }
  return true;
}

std::string DefaultValue(const std::string& def, size_t bufferSize) {
  // Trailing spaces (spaces only) leave the default; quotes come off it too.
  std::string d = UpToNul(def);
  while (!d.empty() && d.back() == ' ') d.pop_back();
  size_t from = 0;
  size_t count = 0;
  CutValue(d.size(), d.empty() ? 0 : static_cast<unsigned char>(d[0]),
           d.empty() ? 0 : static_cast<unsigned char>(d.back()), bufferSize, &from, &count);
  return d.substr(from, count);
}

bool ReadValue(ByteSource* source, const std::string& section, const std::string& key,
               const std::string& def, size_t bufferSize, std::string* value) {
  Layout layout;
  if (!DetectLayout(source, &layout)) return false;
  const std::u16string sectionName = QueryName(section, layout);
  const std::u16string keyName = QueryName(key, layout);
  Scanner scan(source, layout);
  Line line;
  bool inSection = false;
  bool found = false;
  // Only the first section of a name counts: a later one is never looked at.
  // Lines before the first header belong to no section at all, so section
  // "" means a "[]" header. The first entry of the key's name counts, with
  // or without an "=": one without hides any later entry of the name.
  while (!found && scan.Next(&line)) {
    if (line.kind == Kind::Header) {
      if (inSection) break;
      inSection = scan.NameIs(line, sectionName);
    } else if (line.kind == Kind::Entry && inSection) {
      found = scan.NameIs(line, keyName);
    }
  }
  if (scan.failed()) return false;
  if (found && line.hasValue) {
    return FetchValue(source, layout, line.valueBegin, line.valueStop, bufferSize, value);
  }
  *value = DefaultValue(def, bufferSize);
  return true;
}

bool PlanWrite(ByteSource* source, const std::string& section, const std::string& key,
               const std::string& value, std::vector<Edit>* edits) {
  edits->clear();
  Layout layout;
  if (!DetectLayout(source, &layout)) return false;
  const std::string keyName = Trim(key);
  const std::u16string sectionQuery = QueryName(section, layout);
  const std::u16string keyQuery = QueryName(key, layout);
  Scanner scan(source, layout);
  Line line;
  bool inSection = false;
  bool sectionFound = false;
  bool keyFound = false;
  uint64_t afterNext = 0;  // the section's last non-blank line: where it ends
  uint64_t afterEnd = 0;   // and where its text ends
  while (scan.Next(&line)) {
    if (line.kind == Kind::Header) {
      if (inSection) break;
      if (!scan.NameIs(line, sectionQuery)) continue;
      inSection = sectionFound = true;
    } else if (line.kind == Kind::Entry && inSection) {
      if (scan.NameIs(line, keyQuery)) {
        keyFound = true;
        break;
      }
    } else {
      continue;
    }
    afterNext = line.next;
    afterEnd = line.end;
  }
  if (scan.failed()) return false;

  std::vector<Edit> plan;  // in characters, ANSI text
  if (keyFound) {
    // Only the key's own text changes; its spelling and its line end stay.
    plan.push_back({line.begin, line.first, ""});
    plan.push_back({line.rawNameStop, line.end, "=" + value});
  } else if (sectionFound) {
    // A new key goes after the section's last non-blank line, so the blank
    // lines that set the next section apart stay in front of it.
    std::string insert = keyName + "=" + value + kNewLine;
    if (afterNext == afterEnd) insert = kNewLine + insert;  // that line had no line end
    plan.push_back({afterNext, afterNext, insert});
  } else {
    // A new section goes at the very end, on a line of its own.
    std::string insert;
    if (scan.size() > 0 && !IsLineEnd(scan.lastUnit())) insert = kNewLine;
    insert += "[" + Trim(section) + "]" + kNewLine + keyName + "=" + value + kNewLine;
    plan.push_back({scan.size(), scan.size(), insert});
  }

  for (const Edit& e : plan) {
    Edit bytes{layout.Offset(e.from), layout.Offset(e.to), layout.Encode(e.bytes)};
    if (bytes.to - bytes.from == bytes.bytes.size()) {
      // Leave out what would change nothing.
      std::string now(bytes.bytes.size(), '\0');
      size_t got = 0;
      if (!ReadFully(source, bytes.from, &now[0], now.size(), &got)) return false;
      if (got == now.size() && now == bytes.bytes) continue;
    }
    edits->push_back(std::move(bytes));
  }
  return true;
}

bool ApplyEdits(ByteSource* source, const std::vector<Edit>& edits, const ByteSink& sink) {
  std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
  uint64_t at = 0;
  bool atEnd = false;
  auto copyTo = [&](uint64_t stop) {
    while (!atEnd && at < stop) {
      size_t got = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kBufferBytes, stop - at));
      if (!source->ReadAt(at, buffer.get(), want, &got)) return false;
      if (got == 0) {
        atEnd = true;
      } else {
        if (!sink(buffer.get(), got)) return false;
        at += got;
      }
    }
    return true;
  };
  for (const Edit& e : edits) {
    if (!copyTo(e.from) || !sink(e.bytes.data(), e.bytes.size())) return false;
    at = std::max(at, e.to);
  }
  return copyTo(kNone);
}

namespace {

// source as the edits applied to it so far have left it: pieces of source
// that are kept, in their order, and the bytes put between them. Edits are
// given in the offsets of what it reads as now.
class EditedSource final : public ByteSource {
 public:
  explicit EditedSource(ByteSource* source) : source_(source) {
    pieces_.push_back(Piece{0, kNone, {}});  // the whole source, to its end
  }

  bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override {
    *got = 0;
    uint64_t at = 0;  // where the piece starts in the edited bytes
    for (const Piece& p : pieces_) {
      if (*got == size) break;
      const uint64_t want = offset + *got;
      if (p.kept() && p.to == kNone) {
        // The rest of the source: what it has is what there is.
        size_t n = 0;
        if (!source_->ReadAt(p.from + (want - at), out + *got, size - *got, &n)) return false;
        *got += n;
        break;
      }
      const uint64_t length = p.length();
      if (want >= at + length) {
        at += length;
        continue;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(size - *got, at + length - want));
      if (p.kept()) {
        size_t read = 0;
        if (!ReadFully(source_, p.from + (want - at), out + *got, n, &read)) return false;
        if (read < n) return false;  // the source has shrunk beneath us
      } else {
        p.bytes.copy(out + *got, n, static_cast<size_t>(want - at));
      }
      *got += n;
      at += length;
    }
    return true;
  }

  // Edits of what it reads as now, in file order and apart (as PlanWrite
  // gives them).
  void Apply(const std::vector<Edit>& edits) {
    // From the last: the offsets of the earlier ones stay as they were.
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
      const size_t from = SplitAt(e->from);
      const size_t to = SplitAt(e->to);
      pieces_.erase(pieces_.begin() + static_cast<long>(from),
                    pieces_.begin() + static_cast<long>(to));
      if (!e->bytes.empty())
        pieces_.insert(pieces_.begin() + static_cast<long>(from), Piece{kNone, kNone, e->bytes});
    }
  }

  // All that was applied, as edits of source in file order and apart, those
  // that change nothing left out. False when source cannot be read.
  bool EditsOfSource(std::vector<Edit>* edits) {
    edits->clear();
    uint64_t at = 0;  // in source: how far it is kept or replaced
    std::string put;
    for (const Piece& p : pieces_) {
      if (!p.kept()) {
        put += p.bytes;
        continue;
      }
      if (p.from != at || !put.empty()) {
        Edit e{at, p.from, std::move(put)};
        put.clear();
        bool same = false;
        if (!ChangesNothing(e, &same)) return false;
        if (!same) edits->push_back(std::move(e));
      }
      at = p.to;  // the last piece runs to the end
    }
    return true;
  }

 private:
  // From `from` to `to` of source (kNone: to its end), or bytes of an edit.
  struct Piece {
    uint64_t from;
    uint64_t to;
    std::string bytes;
    bool kept() const { return from != kNone; }
    uint64_t length() const { return kept() ? to - from : bytes.size(); }
  };

  // The index of the piece that starts at offset, splitting the one it falls
  // in. The last piece runs to the end of the source, so every offset falls
  // in one.
  size_t SplitAt(uint64_t offset) {
    uint64_t at = 0;
    for (size_t i = 0;; ++i) {
      Piece& p = pieces_[i];
      if (offset == at) return i;
      const bool open = p.kept() && p.to == kNone;
      if (!open && offset >= at + p.length()) {
        at += p.length();
        continue;
      }
      const uint64_t into = offset - at;
      Piece tail = p.kept() ? Piece{p.from + into, p.to, {}}
                            : Piece{kNone, kNone, p.bytes.substr(static_cast<size_t>(into))};
      if (p.kept()) {
        p.to = p.from + into;
      } else {
        p.bytes.resize(static_cast<size_t>(into));
      }
      pieces_.insert(pieces_.begin() + static_cast<long>(i) + 1, std::move(tail));
      return i + 1;
    }
  }

  // Whether e puts back the very bytes it replaces.
  bool ChangesNothing(const Edit& e, bool* same) {
    *same = false;
    if (e.to - e.from != e.bytes.size()) return true;
    std::string now(e.bytes.size(), '\0');
    size_t got = 0;
    if (!ReadFully(source_, e.from, &now[0], now.size(), &got)) return false;
    *same = got == now.size() && now == e.bytes;
    return true;
  }

  ByteSource* source_;
  std::vector<Piece> pieces_;
};

}  // namespace

bool PlanWrites(ByteSource* source, const std::vector<IniEntry>& entries,
                std::vector<Edit>* edits) {
  edits->clear();
  EditedSource edited(source);
  std::vector<Edit> step;
  for (const IniEntry& e : entries) {
    if (!PlanWrite(&edited, e.section, e.key, e.value, &step)) return false;
    edited.Apply(step);
  }
  return edited.EditsOfSource(edits);
}

std::string GetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize) {
  StringSource source(contents);
  std::string value;
  ReadValue(&source, section, key, def, bufferSize, &value);  // memory never fails to read
  return value;
}

std::string SetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& value) {
  StringSource source(contents);
  std::vector<Edit> edits;
  PlanWrite(&source, section, key, value, &edits);
  if (edits.empty()) return contents;
  std::string out;
  out.reserve(contents.size() + value.size() + section.size() + key.size() + 8);
  ApplyEdits(&source, edits, [&out](const char* data, size_t size) {
    out.append(data, size);
    return true;
  });
  return out;
}

bool Index::Build(ByteSource* source, const IndexLimits& limits) {
  entries_.clear();
  nameBytes_ = 0;
  complete_ = false;
  limits_ = limits;
  Layout layout;
  if (!DetectLayout(source, &layout)) return false;
  utf16_ = layout.utf16;
  Scanner scan(source, layout);
  Line line;
  bool recording = false;  // in the first section of its name
  bool full = false;
  std::u16string section;
  std::u16string name;
  while (!full && scan.Next(&line)) {
    const bool tooLong =
        line.kind != Kind::Blank && line.nameStop - line.nameBegin > limits.nameLength;
    if (line.kind == Kind::Header) {
      // Sections with longer names are left to a scan, which any query for
      // such a name does.
      recording = false;
      if (tooLong || !scan.Name(line, &section) || entries_.count(section) != 0) continue;
      full = !Add(section, Value());
      recording = !full;
    } else if (line.kind == Kind::Entry && recording && !tooLong) {
      if (!scan.Name(line, &name)) continue;
      std::u16string entry = section + u'\0' + name;
      if (entries_.count(entry) != 0) continue;
      full = !Add(std::move(entry), Value{line.hasValue, line.valueBegin, line.valueStop});
    }
  }
  if (scan.failed()) return false;
  complete_ = !full;
  return true;
}

bool Index::Add(std::u16string name, const Value& value) {
  const size_t bytes = name.size() * sizeof(char16_t);
  if (entries_.size() >= limits_.entries || nameBytes_ + bytes > limits_.nameBytes) return false;
  nameBytes_ += bytes;
  entries_.emplace(std::move(name), value);
  return true;
}

bool Index::Read(ByteSource* source, const std::string& section, const std::string& key,
                 const std::string& def, size_t bufferSize, std::string* value) const {
  Layout layout;
  layout.utf16 = utf16_;
  const std::u16string sectionName = QueryName(section, layout);
  const std::u16string keyName = QueryName(key, layout);
  if (sectionName.size() <= limits_.nameLength && keyName.size() <= limits_.nameLength) {
    const auto it = entries_.find(sectionName + u'\0' + keyName);
    if (it != entries_.end() && it->second.hasValue) {
      return FetchValue(source, layout, it->second.begin, it->second.stop, bufferSize, value);
    }
    if (it != entries_.end() || complete_) {
      *value = DefaultValue(def, bufferSize);
      return true;
    }
  }
  return ReadValue(source, section, key, def, bufferSize, value);
}

char16_t AnsiToUnicode(char c) { return FromAnsi(c); }
char UnicodeToAnsi(char16_t u) { return ToAnsi(u); }

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const Unit u = FromAnsi(c);  // within the Basic Multilingual Plane
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

}  // namespace zeph::ini

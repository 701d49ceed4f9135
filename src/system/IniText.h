// INI files by the Windows rules.
//
// The POSIX implementation and the fake read and write INI files through
// these functions; the Win32 implementation uses the system's own profile
// functions, and a differential test holds the two to the same results.
//
// Files are 8-bit text in the ANSI code page (taken as Windows-1252), or
// UTF-16LE when they start with the byte-order mark FF FE; names and values
// cross this interface in the ANSI code page either way.
//
// One scanner serves every caller: it reads a file's bytes by offset through
// a fixed buffer, so neither a whole file nor a whole line is ever held in
// memory, and contents in memory are read through the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "system/IniFiles.h"

namespace zeph::ini {

// The value of key in section, as GetPrivateProfileStringA returns it:
// blanks around the value removed, one enclosing pair of matching quotes
// removed, cut to bufferSize - 1 characters. def (cut the same way) when the
// section or the key is missing.
std::string GetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& def, size_t bufferSize);

// contents after writing key=value into section, as Windows writes it: only
// the key's own line changes (or one line, or a section header and a line,
// are added); every other byte stays as it was.
std::string SetString(const std::string& contents, const std::string& section,
                      const std::string& key, const std::string& value);

// --- the same rules on bytes read by offset (a file, or memory)

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to size bytes from offset into out and sets *got; 0 only at
  // the end. False when the bytes cannot be read.
  virtual bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) = 0;
};

class StringSource final : public ByteSource {
 public:
  explicit StringSource(const std::string& bytes) : bytes_(bytes) {}
  bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override;

 private:
  const std::string& bytes_;
};

// What a read gives when the section or key is missing (or there is no file).
std::string DefaultValue(const std::string& def, size_t bufferSize);

// GetString on source. The scan stops as soon as the answer is known. False
// when source cannot be read (*value is then untouched).
bool ReadValue(ByteSource* source, const std::string& section, const std::string& key,
               const std::string& def, size_t bufferSize, std::string* value);

// Bytes [from, to) of the file become bytes.
struct Edit {
  uint64_t from = 0;
  uint64_t to = 0;
  std::string bytes;
};

// The edits SetString makes to source, in file order and apart, encoded as
// the file is. None when the file already holds exactly that. False when
// source cannot be read.
bool PlanWrite(ByteSource* source, const std::string& section, const std::string& key,
               const std::string& value, std::vector<Edit>* edits);

// The edits that PlanWrite for each entry in turn makes, each planned on the
// file as the ones before it left it, gathered into one list of edits of
// source (in file order and apart): ApplyEdits with them gives the bytes
// that as many single writes give, so the file is rewritten once. None when
// the file holds all of it already. Memory holds the edits, not the file.
// False when source cannot be read.
bool PlanWrites(ByteSource* source, const std::vector<IniEntry>& entries, std::vector<Edit>* edits);

// Hands source's bytes, with edits applied, to sink piece by piece. False
// when source cannot be read or sink returns false.
using ByteSink = std::function<bool(const char* data, size_t size)>;
bool ApplyEdits(ByteSource* source, const std::vector<Edit>& edits, const ByteSink& sink);

// Bounds on what an Index keeps.
struct IndexLimits {
  size_t entries = 20000;      // sections and keys together
  size_t nameLength = 255;     // characters; longer names are looked up by a scan
  size_t nameBytes = 1 << 20;  // all names kept together
};

// Where the values of one file are, for many reads of it: built in one pass,
// it keeps the first section of each name and the first entry of each key in
// it, as reads see them. What it cannot answer exactly (a name longer than
// the limit, or a miss after it filled up) is answered by a scan, so every
// answer is ReadValue's.
class Index {
 public:
  // False when source cannot be read.
  bool Build(ByteSource* source, const IndexLimits& limits = IndexLimits());
  // ReadValue on the source the index was built from.
  bool Read(ByteSource* source, const std::string& section, const std::string& key,
            const std::string& def, size_t bufferSize, std::string* value) const;
  // Whether the whole file went into it (no limit was reached).
  bool complete() const { return complete_; }

 private:
  struct Value {
    bool hasValue = false;  // false for a key without "=": it hides later ones
    uint64_t begin = 0;     // the value's characters, trimmed and cut at a NUL
    uint64_t stop = 0;
  };
  bool Add(std::u16string name, const Value& value);

  bool utf16_ = false;
  IndexLimits limits_;
  bool complete_ = false;
  size_t nameBytes_ = 0;
  // Folded section names, and folded section + '\0' + folded key.
  std::unordered_map<std::u16string, Value> entries_;
};

// One character of the ANSI code page (Windows-1252) as UTF-16, and back
// ('?' for what the code page lacks).
char16_t AnsiToUnicode(char c);
char UnicodeToAnsi(char16_t u);
// Text in the ANSI code page as UTF-8, byte by byte.
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace zeph::ini

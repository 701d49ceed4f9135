// Tricky INI files, each run through the system's profile functions and
// through zeph::ini. `windows` is what Windows gives; where Wine is known to
// give something else, `wineDiffers` says why and Wine is not compared.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zeph::inidiff {

using namespace std::string_literals;

// Read with section, key, default "ERROR" and a 255-byte buffer.
struct ReadCase {
  const char* name;
  std::string contents;
  std::string section;
  std::string key;
  std::string windows;
  const char* wineDiffers = nullptr;
  bool missingFile = false;  // no file at all rather than an empty one
};

inline const std::string k300u(300, 'u');

// A UTF-16LE file with its byte-order mark, as Notepad saves "Unicode".
inline std::string Utf16(const std::u16string& text) {
  std::string out = "\xff\xfe";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xff);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

inline const std::vector<ReadCase> kReadCases = {
    // --- finding the value
    {"PlainValue", "[a]\r\nx=1\r\n", "a", "x", "1"},
    {"MissingFile", "", "a", "x", "ERROR", nullptr, true},
    {"EmptyFile", "", "a", "x", "ERROR"},
    {"MissingSection", "[a]\r\nx=1\r\n", "b", "x", "ERROR"},
    {"MissingKey", "[a]\r\nx=1\r\n", "a", "y", "ERROR"},
    {"SectionWithoutKeys", "[a]", "a", "x", "ERROR"},
    {"EmptyValue", "[a]\r\nx=\r\n", "a", "x", ""},
    {"BlankValue", "[a]\r\nx= \t \r\n", "a", "x", ""},
    {"KeyWithoutEquals", "[a]\r\nx\r\n", "a", "x", "ERROR"},
    {"KeyWithoutEqualsHidesLaterOne", "[a]\r\nx\r\nx=1\r\n", "a", "x", "ERROR"},
    {"FirstEqualsSplits", "[a]\r\nx=a=b\r\n", "a", "x", "a=b"},
    {"EqualsInQueryMatchesNothing", "[a]\r\nx=a=b\r\n", "a", "x=a", "ERROR"},
    {"DuplicateKeyFirstWins", "[a]\r\nx=1\r\nx=2\r\n", "a", "x", "1"},
    {"DuplicateSectionOnlyFirstSearched", "[a]\r\nx=1\r\n[b]\r\n[a]\r\ny=2\r\n", "a", "y", "ERROR"},
    {"DuplicateSectionFirstValue", "[a]\r\nx=1\r\n[a]\r\nx=2\r\n", "a", "x", "1"},
    {"TextBeforeFirstSection", "x=0\r\n[a]\r\nx=1\r\n", "a", "x", "1"},
    {"EmptyKeyName", "[a]\r\n=v\r\n", "a", "", "v"},
    {"EmptyKeyNameMissing", "[a]\r\nx=v\r\n", "a", "", "ERROR"},

    // --- UTF-16LE files: names and values cross in the ANSI code page
    {"Utf16PlainValue", Utf16(u"[a]\r\nx=1\r\n"), "a", "x", "1"},
    {"Utf16CaseIgnored", Utf16(u"[Games]\nPath=c"), "gAMES", "PATH", "c"},
    {"Utf16ValueInAnsi", Utf16(u"[a]\r\nx= caf\u00e9 \u20ac \r\n"), "a", "x", "caf\xe9 \x80"},
    {"Utf16UnmappedIsQuestionMark", Utf16(u"[a]\r\nx=\u4e2d\u65e5!\r\n"), "a", "x",
     "?"
     "?!"},
    {"Utf16AnsiNameFindsWideName", Utf16(u"[caf\u00e9]\r\nx=1\r\n"), "caf\xe9", "x", "1"},
    {"Utf16MissingKey", Utf16(u"[a]\r\nx=1\r\n"), "a", "y", "ERROR"},

    // --- case
    {"SectionCaseIgnored", "[Games]\r\nx=1\r\n", "gAMES", "x", "1"},
    {"KeyCaseIgnored", "[a]\r\nPath=c\r\n", "a", "PATH", "c"},
    {"EightBitKeyCaseKept", "[a]\r\n\xc9t\xe9=1\r\n", "a", "\xe9t\xc9", "ERROR"},
    {"EightBitSectionCaseKept", "[Caf\xe9]\r\nx=1\r\n", "CAF\xc9", "x", "ERROR"},
    {"EightBitExactName", "[Caf\xe9]\r\nx=1\r\n", "caf\xe9", "x", "1"},

    // --- blanks
    {"BlanksAroundValue", "[a]\r\nx =  v w  \r\n", "a", "x", "v w"},
    {"TabsAroundValue", "[a]\r\nx\t=\t\tv\t\r\n", "a", "x", "v"},
    {"OddBlanksTrimmed", "[a]\r\nx=\v\f1\x1a\r\n", "a", "x", "1"},
    {"NonBreakingSpaceKept",
     "[a]\r\nx=\xa0"
     "1\xa0\r\n",
     "a", "x",
     "\xa0"
     "1\xa0"},
    {"ControlCharacterKept",
     "[a]\r\nx=\x1c"
     "1\r\n",
     "a", "x",
     "\x1c"
     "1"},
    {"BlanksAroundKey", "[a]\r\n  \tx  =1\r\n", "a", "x", "1"},
    {"QueryTrimmed", "[a]\r\nx=1\r\n", " a\t", "\tx ", "1"},

    // --- quotes
    {"DoubleQuotesRemoved", "[a]\r\nx=\"v\"\r\n", "a", "x", "v"},
    {"SingleQuotesRemoved", "[a]\r\nx='v'\r\n", "a", "x", "v"},
    {"QuotesKeepInnerBlanks", "[a]\r\nx= \" v \" \r\n", "a", "x", " v "},
    {"OnlyOnePairRemoved", "[a]\r\nx=\"\"v\"\"\r\n", "a", "x", "\"v\""},
    {"EmptyQuotes", "[a]\r\nx=''\r\n", "a", "x", ""},
    {"LoneQuoteKept", "[a]\r\nx=\"\r\n", "a", "x", "\""},
    {"OpeningQuoteOnly", "[a]\r\nx=\"abc\r\n", "a", "x", "\"abc"},
    {"ClosingQuoteOnly", "[a]\r\nx=abc\"\r\n", "a", "x", "abc\""},
    {"MismatchedQuotes", "[a]\r\nx=\"abc'\r\n", "a", "x", "\"abc'"},
    {"InnerQuoteKept", "[a]\r\nx=\"a\"b\"\r\n", "a", "x", "a\"b"},

    // --- length
    {"CutTo254", "[a]\r\nx=" + k300u + "\r\n", "a", "x", std::string(254, 'u')},
    {"Exactly254", "[a]\r\nx=" + std::string(254, 'u') + "\r\n", "a", "x", std::string(254, 'u')},
    {"QuotedCut", "[a]\r\nx=\"" + k300u + "\"\r\n", "a", "x", std::string(254, 'u')},
    {"QuotedFillingBufferLosesOne", "[a]\r\nx=\"" + std::string(254, 'q') + "\"\r\n", "a", "x",
     std::string(253, 'q')},
    {"QuotedJustFits", "[a]\r\nx=\"" + std::string(253, 'q') + "\"\r\n", "a", "x",
     std::string(253, 'q')},
    {"LongLineSkipped", "[a]\r\n" + std::string(5000, 'z') + "\r\nx=1\r\n", "a", "x", "1"},
    {"LongKeyName", "[a]\r\n" + std::string(400, 'k') + "=1\r\n", "a", std::string(400, 'k'), "1"},
    {"LongSectionName", "[" + std::string(400, 's') + "]\r\nx=1\r\n", std::string(400, 's'), "x",
     "1"},

    // --- line ends
    {"LfLineEnds", "[a]\nx=1\ny=2\n", "a", "y", "2"},
    {"LoneCrLineEnds", "[a]\rx=1\ry=2\r", "a", "y", "2"},
    {"LoneCrInsideLine", "[a]\r\nx=1\rz\r\n", "a", "x", "1"},
    {"LfCrLineEnds", "[a]\n\rx=1\n\ry=2", "a", "y", "2"},
    {"NoFinalLineEnd", "[a]\r\nx=1", "a", "x", "1"},
    {"BlankLines", "\r\n\r\n[a]\r\n\r\n  \r\nx=1\r\n\r\n", "a", "x", "1"},

    // --- section headers
    {"SpacedHeader", "[ a ]\r\nx=1\r\n", "a", "x", "1"},
    {"TabbedHeader", "[\ta\t]\r\nx=1\r\n", "a", "x", "1"},
    {"HeaderInnerBlanksKept", "[a  b]\r\nx=1\r\n", "a b", "x", "ERROR"},
    {"HeaderInnerBlank", "[a b]\r\nx=1\r\n", "a b", "x", "1"},
    {"IndentedHeader", "  [a]\r\nx=1\r\n", "a", "x", "1"},
    {"TextAfterHeader", "[a] ; note\r\nx=1\r\n", "a", "x", "1"},
    {"LastBracketCloses", "[a]b]\r\nx=1\r\n", "a]b", "x", "1"},
    {"FirstBracketDoesNotClose", "[a]b]\r\nx=1\r\n", "a", "x", "ERROR"},
    {"HeaderWithoutBracketIsAKey", "[a]\r\n[b\r\nx=1\r\n", "a", "x", "1"},
    {"HeaderWithoutBracketNoSection", "[a]\r\n[b\r\nx=1\r\n", "b", "x", "ERROR"},
    {"NestedBrackets", "[[a]]\r\nx=1\r\n", "[a]", "x", "1"},
    {"HeaderWithEquals", "[a=b]\r\nx=1\r\n", "a=b", "x", "1"},

    // --- comments are ordinary lines
    {"SemicolonLineIsAKey", "[a]\r\n;x=1\r\n", "a", ";x", "1"},
    {"SemicolonLineHidesNothing", "[a]\r\n;x=1\r\n", "a", "x", "ERROR"},
    {"HashLineIsAKey", "[a]\r\n#x=1\r\n", "a", "#x", "1"},

    // --- bytes
    {"NulEndsValue", "[a]\r\nx=ab\0cd\r\n"s, "a", "x", "ab"},
    {"NulBeforeClosingQuote", "[a]\r\nx=\"ab\0\"\r\n"s, "a", "x", "\"ab"},
    {"NulEndsKeyName", "[a]\r\nx\0y=1\r\n"s, "a", "x", "1"},
    {"NulBeforeFirstSection", "Data \0 before\r\n[a]\r\nx=1\r\n"s, "a", "x", "1"},
    {"EightBitValueKept", "[a]\r\nx=\xe9\x80\xff\r\n", "a", "x", "\xe9\x80\xff"},
    {"UnassignedBytesKept", "[a]\r\nx=\x81\x8d\x8f\x90\x9d\r\n", "a", "x", "\x81\x8d\x8f\x90\x9d"},
    {"Utf8MarkOnItsOwnLine", "\xef\xbb\xbf\r\n[a]\r\nx=1\r\n", "a", "x", "1"},

    // --- where Wine is not Windows
    {"Utf8MarkBeforeHeader", "\xef\xbb\xbf[a]\r\nx=1\r\n", "a", "x", "ERROR",
     "Wine reads a UTF-8 byte-order mark as an encoding mark; Windows reads the bytes as text, "
     "so the first line is no header"},
    {"EmptySectionName", "x=0\r\n[]\r\nx=1\r\n", "", "x", "1",
     "Wine files lines before the first header under the name \"\"; Windows finds the [] section"},
    {"EmptySectionNameOnly", "[]\r\nx=1\r\n", "", "x", "1",
     "Wine's unnamed leading section, though empty, hides the [] section"},
    {"TextBeforeFirstSectionUnreachable", "x=0\r\n[a]\r\n", "", "x", "ERROR",
     "Wine reads lines before the first header as section \"\"; on Windows they belong to none"},
};

struct Probe {
  std::string section;
  std::string key;
  std::string windows;  // what Windows reads from the file after the write
};

struct WriteCase {
  const char* name;
  std::string contents;
  std::string section;
  std::string key;
  std::string value;
  std::string windows;  // the file's bytes after Windows has written
  std::vector<Probe> probes;
  const char* wineDiffers = nullptr;
  bool missingFile = false;
};

inline const std::vector<WriteCase> kWriteCases = {
    // --- creating
    {"MissingFile", "", "a", "x", "1", "[a]\r\nx=1\r\n", {{"a", "x", "1"}}, nullptr, true},
    {"EmptyFile", "", "a", "x", "1", "[a]\r\nx=1\r\n", {{"a", "x", "1"}}},
    {"EmptyValueKeepsKey", "", "a", "x", "", "[a]\r\nx=\r\n", {{"a", "x", ""}}},

    // --- replacing
    {"ReplaceInPlace",
     "[a]\r\nx=1\r\ny=2\r\n",
     "a",
     "x",
     "9",
     "[a]\r\nx=9\r\ny=2\r\n",
     {{"a", "x", "9"}, {"a", "y", "2"}}},
    {"ReplaceWithEmpty", "[a]\r\nx=1\r\n", "a", "x", "", "[a]\r\nx=\r\n", {{"a", "x", ""}}},
    {"ReplaceKeepsSpelling",
     "[A]\r\nPath=1\r\n",
     "a",
     "PATH",
     "2",
     "[A]\r\nPath=2\r\n",
     {{"a", "path", "2"}}},
    {"ReplaceTouchesOnlyItsLine",
     "; top\r\n\r\n[a]\r\n  x = 1  \r\n y = 2 \r\n\r\n[b]\r\nz=3\r\n",
     "a",
     "x",
     "3",
     "; top\r\n\r\n[a]\r\nx=3\r\n y = 2 \r\n\r\n[b]\r\nz=3\r\n",
     {{"a", "x", "3"}, {"a", "y", "2"}, {"b", "z", "3"}}},
    {"ReplaceKeepsLfLineEnds",
     "[a]\nx=1\ny=2\n",
     "a",
     "x",
     "3",
     "[a]\nx=3\ny=2\n",
     {{"a", "x", "3"}, {"a", "y", "2"}}},
    {"ReplaceLastLineWithoutEnd", "[a]\r\nx=1", "a", "x", "2", "[a]\r\nx=2", {{"a", "x", "2"}}},
    {"ReplaceFirstOfDuplicates",
     "[a]\r\nx=1\r\nx=2\r\n",
     "a",
     "x",
     "3",
     "[a]\r\nx=3\r\nx=2\r\n",
     {{"a", "x", "3"}}},
    {"ReplaceKeyWithoutEquals",
     "[a]\r\nx\r\ny=1\r\n",
     "a",
     "x",
     "2",
     "[a]\r\nx=2\r\ny=1\r\n",
     {{"a", "x", "2"}, {"a", "y", "1"}}},
    {"ReplaceQuotedValue",
     "[a]\r\nx=\"old\"\r\n",
     "a",
     "x",
     "new",
     "[a]\r\nx=new\r\n",
     {{"a", "x", "new"}}},
    {"ReplaceWithLeadingBlanks",
     "[a]\r\nx=1\r\n",
     "a",
     "x",
     "  v",
     "[a]\r\nx=  v\r\n",
     {{"a", "x", "v"}}},

    // --- adding a key to a section
    {"NewKeyAfterLastLine",
     "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n",
     "a",
     "z",
     "3",
     "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n",
     {{"a", "z", "3"}, {"a", "x", "1"}, {"b", "y", "2"}}},
    {"NewKeyUnderBareHeader",
     "[a]\r\n[b]\r\ny=2\r\n",
     "a",
     "z",
     "3",
     "[a]\r\nz=3\r\n[b]\r\ny=2\r\n",
     {{"a", "z", "3"}, {"b", "y", "2"}, {"b", "z", "ERROR"}}},
    {"NewKeyAfterComment",
     "[a]\r\nx=1\r\n; end of a\r\n[b]\r\n",
     "a",
     "z",
     "3",
     "[a]\r\nx=1\r\n; end of a\r\nz=3\r\n[b]\r\n",
     {{"a", "z", "3"}, {"b", "z", "ERROR"}}},
    {"NewKeyInLastSectionWithoutEnd",
     "[a]\r\nx=1",
     "a",
     "z",
     "3",
     "[a]\r\nx=1\r\nz=3\r\n",
     {{"a", "z", "3"}, {"a", "x", "1"}}},
    {"NewKeyAfterHeaderWithoutEnd", "[a]", "a", "z", "3", "[a]\r\nz=3\r\n", {{"a", "z", "3"}}},
    {"NewKeyInLfFile",
     "[a]\nx=1\n\n[b]\n",
     "a",
     "z",
     "3",
     "[a]\nx=1\nz=3\r\n\n[b]\n",
     {{"a", "z", "3"}, {"a", "x", "1"}}},
    {"NewKeyInLoneCrFile",
     "[a]\rx=1\r",
     "a",
     "z",
     "3",
     "[a]\rx=1\rz=3\r\n",
     {{"a", "z", "3"}, {"a", "x", "1"}}},
    {"NewKeyInFirstOfDuplicateSections",
     "[a]\r\nx=1\r\n[a]\r\n",
     "A",
     "z",
     "3",
     "[a]\r\nx=1\r\nz=3\r\n[a]\r\n",
     {{"a", "z", "3"}, {"a", "x", "1"}}},
    {"NewKeyUnderSpacedHeader",
     "[ a ]\r\nx=1\r\n",
     "a",
     "y",
     "2",
     "[ a ]\r\nx=1\r\ny=2\r\n",
     {{"a", "y", "2"}, {"a", "x", "1"}}},
    {"NewKeyEightBitCaseKept",
     "[a]\r\n\xe9=1\r\n",
     "a",
     "\xc9",
     "2",
     "[a]\r\n\xe9=1\r\n\xc9=2\r\n",
     {{"a", "\xe9", "1"}, {"a", "\xc9", "2"}}},

    // --- adding a section
    {"NewSectionAppended",
     "[a]\r\nx=1\r\n",
     "b",
     "y",
     "2",
     "[a]\r\nx=1\r\n[b]\r\ny=2\r\n",
     {{"b", "y", "2"}, {"a", "x", "1"}}},
    {"NewSectionAfterMissingLineEnd",
     "[a]\r\nx=1",
     "b",
     "y",
     "2",
     "[a]\r\nx=1\r\n[b]\r\ny=2\r\n",
     {{"b", "y", "2"}, {"a", "x", "1"}}},
    {"NewSectionAfterBlankLines",
     "[a]\r\nx=1\r\n\r\n\r\n",
     "b",
     "y",
     "2",
     "[a]\r\nx=1\r\n\r\n\r\n[b]\r\ny=2\r\n",
     {{"b", "y", "2"}, {"a", "x", "1"}}},
    {"NewSectionAfterTextOnly",
     "x=0\r\n",
     "a",
     "x",
     "2",
     "x=0\r\n[a]\r\nx=2\r\n",
     {{"a", "x", "2"}}},
    {"NulBytesKept",
     "Data \0 before \0 first \0 section"s,
     "section1",
     "key1",
     "string1",
     "Data \0 before \0 first \0 section\r\n[section1]\r\nkey1=string1\r\n"s,
     {{"section1", "key1", "string1"}}},

    // --- UTF-16LE files stay UTF-16LE
    {"Utf16ReplaceKeepsEncoding",
     Utf16(u"[a]\r\nx=1\r\ny=2\r\n"),
     "a",
     "x",
     "9",
     Utf16(u"[a]\r\nx=9\r\ny=2\r\n"),
     {{"a", "x", "9"}, {"a", "y", "2"}}},
    {"Utf16AddsSectionInUtf16",
     Utf16(u"[a]\r\nx=1\r\n"),
     "b",
     "y",
     "\xe9\x80",
     Utf16(u"[a]\r\nx=1\r\n[b]\r\ny=\u00e9\u20ac\r\n"),
     {{"b", "y", "\xe9\x80"}, {"a", "x", "1"}}},

    // --- where Wine is not Windows
    {"Utf8MarkBeforeHeader",
     "\xef\xbb\xbf[a]\r\nx=1\r\n",
     "a",
     "x",
     "2",
     "\xef\xbb\xbf[a]\r\nx=1\r\n[a]\r\nx=2\r\n",
     {{"a", "x", "2"}},
     "Wine takes the byte-order mark as an encoding mark and finds [a] on the first line; "
     "Windows sees no section a there and appends one"},
};

// Failure messages name the case instead of dumping its bytes.
inline void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }
inline void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

}  // namespace zeph::inidiff

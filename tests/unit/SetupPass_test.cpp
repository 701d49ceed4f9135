// The end-of-game set-up pass on the fake system: the marker file, the
// copy-files block, the custom block and its six operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormFixture.h"
#include "system/TextStreams.h"

namespace zeph::testing {
namespace {

const char* const kProfile = "C:\\Zeph\\wyn\\foo.wyn";
const char* const kGame = "C:\\Games\\Foo";
const char* const kMarker = "C:\\Games\\Foo\\thalix.tlx";
const char* const kConfigured = "Foo Game has been configured for use with the Thalix.";

class SetupPass : public WorldFixture {
 protected:
  SetupPass() {
    for (const char* folder : {"C:\\Games", kGame, "C:\\Zeph\\games"}) sys.AddFolder(folder);
    unit.game.profile = kProfile;
    unit.game.appName = "Foo Game";
    unit.game.folder = kGame;
    unit.game.exe = "foo.exe";
    unit.profile.revision = "3";
    unit.profile.copyFiles = ProfileFlag::Of("FALSE");
    unit.profile.custom = ProfileFlag::Of("TRUE");
  }

  SetupUnit unit{sys.Seam(), desk};

  void Custom(const std::vector<std::string>& lines) {
    sys.AddFile(kProfile, SetupProfile({}, lines));
  }

  // Runs the pass; the debug lines it added.
  std::vector<std::string> Pass() {
    const size_t from = sys.log.size();
    desk.boxes.clear();
    unit.WriteStuff();
    std::vector<std::string> lines;
    for (size_t i = from; i < sys.log.size(); ++i)
      if (sys.log[i].rfind("debug ", 0) == 0) lines.push_back(sys.log[i].substr(6));
    return lines;
  }

  std::string Game(const std::string& name) {
    return sys.FileContents(std::string(kGame) + "\\" + name);
  }
  void SetGame(const std::string& name, const std::string& text) {
    sys.AddFile(std::string(kGame) + "\\" + name, text);
  }
};

TEST_F(SetupPass, FirstAndLaterGameEnds) {
  sys.AddFile("C:\\Zeph\\games\\keys.cfg", "keys\r\n");
  sys.AddFile(kProfile, SetupProfile({"   'keys.cfg', 'cfg\\keys.cfg'"},
                                     {"'autoexec.cfg'\\, 'APPEND'\\, 'bind x jump'\\, 'ALWAYS'",
                                      "'autoexec.cfg'\\, 'APPEND'\\, 'once'\\, ''",
                                      "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''"}));
  unit.profile.copyFiles = ProfileFlag::Of("TRUE");

  EXPECT_EQ(std::vector<std::string>{}, Pass());
  EXPECT_EQ("keys\r\n", Game("cfg\\keys.cfg"));  // the folder chain was made first
  EXPECT_EQ("bind x jump\r\nonce\r\n", Game("autoexec.cfg"));
  EXPECT_EQ("0", sys.IniValue(std::string(kGame) + "\\game.ini", "Input", "Mouse"));
  EXPECT_EQ("5.1", sys.IniValue(kMarker, "Thalix", "Version"));
  EXPECT_EQ("foo.wyn", sys.IniValue(kMarker, "Games", "WYN"));
  EXPECT_EQ("3", sys.IniValue(kMarker, "Games", "Revision"));
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ(kConfigured, desk.boxes[0].text);
  EXPECT_EQ("Thalix", desk.boxes[0].title);
  EXPECT_EQ(BoxIcon::None, desk.boxes[0].icon);

  // The marker is current: one-time entries are skipped, ALWAYS entries and
  // the copies are carried out again, and no box is shown.
  SetGame("autoexec.cfg", "");
  SetGame("cfg\\keys.cfg", "changed by the game");
  sys.AddFile(std::string(kGame) + "\\game.ini", "");
  Pass();
  EXPECT_EQ("bind x jump\r\n", Game("autoexec.cfg"));
  EXPECT_EQ("keys\r\n", Game("cfg\\keys.cfg"));
  EXPECT_EQ("", Game("game.ini"));
  EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(SetupPass, WhenTheMarkerIsCurrent) {
  Custom({"'a.cfg'\\, 'APPEND'\\, 'x'\\, ''"});
  struct Row {
    const char* name;
    std::string wyn, markerRevision, profileRevision;
    bool runsAgain;
  } rows[] = {
      {"SameRevision", "foo.wyn", "3", "3", false},
      {"RevisionRaised", "foo.wyn", "3", "4", true},
      {"TenIsNewerThanNine", "foo.wyn", "9", "10", true},
      {"MarkerRevisionNotANumber", "foo.wyn", "ERROR", "3", true},
      {"OtherProfile", "bar.wyn", "3", "3", true},
  };
  for (const Row& r : rows) {
    SetGame("a.cfg", "");
    sys.AddFile(kMarker, "[Thalix]\r\nVersion=5.1\r\n[Games]\r\nWYN=" + r.wyn +
                             "\r\nRevision=" + r.markerRevision + "\r\n");
    unit.profile.revision = r.profileRevision;
    Pass();
    EXPECT_EQ(r.runsAgain ? "x\r\n" : "", Game("a.cfg")) << r.name;
    EXPECT_EQ(r.runsAgain ? 1u : 0u, desk.boxes.size()) << r.name;
    EXPECT_EQ(r.runsAgain ? r.profileRevision : r.markerRevision,
              sys.IniValue(kMarker, "Games", "Revision"))
        << r.name;
  }
}

TEST_F(SetupPass, TheGate) {
  Custom({"'a.cfg'\\, 'APPEND'\\, 'x'\\, 'ALWAYS'"});
  unit.profile.custom = ProfileFlag::Of("FALSE");
  unit.profile.copyFiles = ProfileFlag::Of("FALSE");
  Pass();
  EXPECT_FALSE(sys.HasFile(kMarker));
  EXPECT_TRUE(desk.boxes.empty());

  // "1" opens the gate but names no pass: only the marker and the box.
  unit.profile.copyFiles = ProfileFlag::Of("1");
  Pass();
  EXPECT_FALSE(sys.HasFile(std::string(kGame) + "\\a.cfg"));
  EXPECT_EQ("3", sys.IniValue(kMarker, "Games", "Revision"));
  EXPECT_EQ(1u, desk.boxes.size());
}

TEST_F(SetupPass, DebugLinesOfAPass) {
  unit.debugList.SetDebugMode(true);
  Custom({"'g.ini'\\, 'INI'\\, 'S'\\, ''\\, 'v'\\, ''",  // no key: no line, still carried out
          "'a.cfg'\\, 'RENAME'\\, 'x'\\, ''",            // unknown: skipped silently
          "'a.cfg'\\, 'DELETE'\\, 'x'\\, '0'\\, 'ALWAYS'"});
  const std::vector<std::string> lines = Pass();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(0u, lines[0].rfind("Stopped watching: foo.exe at ", 0));
  EXPECT_EQ("", lines[1]);
  EXPECT_EQ("a.cfg, DELETE, x, 0, ALWAYS", lines[2]);
  EXPECT_EQ("", lines[3]);
  EXPECT_TRUE(sys.HasFile(std::string(kGame) + "\\g.ini"));
}

// How the custom block ends: the pass's code, or none, and whether the
// marker is written.
TEST_F(SetupPass, CustomBlockOutcomes) {
  const std::string append = "'a.cfg'\\, 'APPEND'\\, 'first'\\, 'ALWAYS'";
  const std::string second = "'a.cfg'\\, 'APPEND'\\, 'second'\\, 'ALWAYS'";
  struct Row {
    const char* name;
    std::string profile;
    std::string failureLine;  // empty: none logged
    bool marker;
    std::string result;
  } rows[] = {
      {"EndsWithTheFile", "CUSTOM=TRUE\r\n{\r\n" + append + "\r\n" + second, "", true,
       "first\r\nsecond\r\n"},
      {"EmptyLineStopsWithoutCode", "CUSTOM=TRUE\r\n{\r\n" + append + "\r\n\r\n" + second, "",
       false, "first\r\n"},
      {"NoHeader", "[X]\r\nA=1\r\n", "Copy/Custom section error 101", false, ""},
      {"ShortField", "CUSTOM=TRUE\r\n{\r\n'a'\\, 'APPEND'\\, x\\, ''\r\n",
       "Copy/Custom section error 102", false, ""},
      {"NoCommandWord", "CUSTOM=TRUE\r\n{\r\n'a.cfg'\r\n", "Copy/Custom section error 103", false,
       ""},
      {"TooManyFields", "CUSTOM=TRUE\r\n{\r\n" + append + "\\, 'extra'\r\n",
       "Copy/Custom section error 104", false, ""},
      {"UnresolvedAppend", "CUSTOM=TRUE\r\n{\r\n'..\\..\\..\\a.cfg'\\, 'APPEND'\\, 'x'\\, ''\r\n",
       "Copy/Custom section error 777", false, ""},
      // A line too long to read makes the block unreadable from there on.
      {"LineTooLong",
       "CUSTOM=TRUE\r\n{\r\n" + append + "\r\n" + std::string(kMaxLineBytes + 1, 'x') + "\r\n" +
           second,
       "Copy/Custom section error 100", false, "first\r\n"},
  };
  for (const Row& r : rows) {
    sys.DropFile(kMarker);
    sys.DropFile(std::string(kGame) + "\\a.cfg");
    sys.AddFile(kProfile, r.profile);
    std::vector<std::string> lines = Pass();
    EXPECT_EQ(r.failureLine.empty() ? "" : r.failureLine, lines.empty() ? "" : lines.back())
        << r.name;
    EXPECT_EQ(r.marker, sys.HasFile(kMarker)) << r.name;
    EXPECT_EQ(r.result, Game("a.cfg")) << r.name;
  }
  // Nothing anywhere is named after the unresolved path.
  for (const auto& entry : sys.log) EXPECT_EQ(std::string::npos, entry.find("ERROR")) << entry;
}

TEST_F(SetupPass, AFieldALineDoesNotGiveKeepsTheLastValue) {
  sys.AddFile(kMarker, "[Thalix]\r\nVersion=5.1\r\n[Games]\r\nWYN=foo.wyn\r\nRevision=3\r\n");
  SetGame("a.cfg", "x=1\r\ny=1\r\n");
  Custom({"'a.cfg'\\, 'MODIFY'\\, 'x=%'\\, 'x=2'\\, 'ALWAYS'",
          "'a.cfg'\\, 'MODIFY'\\, 'y=%'\\, 'y=2'"});
  Pass();
  EXPECT_EQ("x=2\r\ny=2\r\n", Game("a.cfg"));  // the second ran with the first one's ALWAYS
}

// The four text edits, each on a file as the game left it.
TEST_F(SetupPass, TextEdits) {
  struct Row {
    const char* name;
    const char* before;  // null: no file
    std::string line;
    const char* after;  // null: no file
  } rows[] = {
      {"DeleteBeginning", "bind y 1\r\nBIND Y 2\nkeep",
       "'a.cfg'\\, 'DELETE'\\, 'bind y'\\, '0'\\, ''", "keep\r\n"},
      {"DeleteUnknownModeRewritesWithCrLf", "a\nb", "'a.cfg'\\, 'DELETE'\\, ''\\, '5'\\, ''",
       "a\r\nb\r\n"},
      {"DeleteMissingFile", nullptr, "'a.cfg'\\, 'DELETE'\\, 'x'\\, '2'\\, ''", nullptr},
      {"ModifyMatching", "set mouse 0\r\nSet Mouse 3\r\nx\r\n",
       "'a.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, 'set mouse 1'\\, ''",
       "set mouse 1\r\nset mouse 1\r\nx\r\n"},
      {"ModifyAppendsWhenNoneMatches", "x", "'a.cfg'\\, 'MODIFY'\\, 'set %'\\, 'set 1'\\, ''",
       "x\r\nset 1\r\n"},
      {"ModifyEmptyFile", "", "'a.cfg'\\, 'MODIFY'\\, 'set %'\\, 'set 1'\\, ''", "set 1\r\n"},
      {"ModifyEmptyNewLineAppendsEmptyLine", "x\r\n", "'a.cfg'\\, 'MODIFY'\\, 'x'\\, ''\\, ''",
       "x\r\n\r\n"},
      {"ModifyMissingFileNotCreated", nullptr, "'a.cfg'\\, 'MODIFY'\\, 'x'\\, 'y'\\, ''", nullptr},
      {"ReplaceEverywhere", "Low;LOW;slow\r\n", "'a.cfg'\\, 'REPLACE'\\, 'low'\\, 'high'\\, ''",
       "high;high;shigh\r\n"},
      {"AppendKeepsTheFileBytes", "a\nb", "'a.cfg'\\, 'APPEND'\\, 'c'\\, ''", "a\nb\r\nc\r\n"},
      {"AppendAlreadyThere", "  BIND X jump \n", "'a.cfg'\\, 'APPEND'\\, 'bind x jump'\\, ''",
       "  BIND X jump \n"},
      {"AppendMakesFoldersAndFile", nullptr, "'new\\sub\\a.cfg'\\, 'APPEND'\\, 'x'\\, ''", nullptr},
      // A CR alone ends a line as CR LF and LF do.
      {"ModifyCrOnlyLines", "input=mouse\rsensitivity=7\rname=x\rfov=90\r",
       "'a.cfg'\\, 'MODIFY'\\, 'input=%'\\, 'input=ball'\\, ''",
       "input=ball\r\nsensitivity=7\r\nname=x\r\nfov=90\r\n"},
      {"DeleteCrOnlyLines", "a\rb\rc", "'a.cfg'\\, 'DELETE'\\, 'b'\\, '1'\\, ''", "a\r\nc\r\n"},
      {"AppendKeepsCrOnlyLineEnds", "a\rb\r", "'a.cfg'\\, 'APPEND'\\, 'c'\\, ''", "a\rb\rc\r\n"},
      {"AppendFindsItsLineAmongCrOnlyLines", "a\rc\rd", "'a.cfg'\\, 'APPEND'\\, 'c'\\, ''",
       "a\rc\rd"},
  };
  for (const Row& r : rows) {
    sys.DropFile(kMarker);
    sys.DropFile(std::string(kGame) + "\\a.cfg");
    if (r.before) SetGame("a.cfg", r.before);
    Custom({r.line});
    Pass();
    EXPECT_EQ(r.after != nullptr, sys.HasFile(std::string(kGame) + "\\a.cfg")) << r.name;
    if (r.after) {
      EXPECT_EQ(r.after, Game("a.cfg")) << r.name;
    }
  }
  EXPECT_EQ("x\r\n", Game("new\\sub\\a.cfg"));
}

// A file without a line end (binary, zero-filled) is not held whole: each
// edit of it fails with its code, and the file and its folder stay as they were.
TEST_F(SetupPass, ALineTooLongFailsTheEntry) {
  const std::string huge = "k=1\r\n" + std::string(kMaxLineBytes + 1, '\0') + "\r\nk=2\r\n";
  const std::string code = std::to_string(kLineTooLongCode);
  const std::string file = std::string(kGame) + "\\a.cfg";
  const std::string why = "  " + file + ": line longer than " + std::to_string(kMaxLineBytes) +
                          " bytes in " + file + " (" + code + ")";
  struct Row {
    std::string line;
    std::vector<std::string> lines;
  } rows[] = {
      {"'a.cfg'\\, 'MODIFY'\\, 'k=%'\\, 'k=3'\\, ''",
       {"Error " + code + " modifying k=%", why, "Copy/Custom section error 888"}},
      {"'a.cfg'\\, 'DELETE'\\, 'k'\\, '0'\\, ''",
       {"Error " + code + " deleting k", why, "Copy/Custom section error 999"}},
      {"'a.cfg'\\, 'REPLACE'\\, 'k'\\, 'j'\\, ''",
       {"Error " + code + " replacing k", why, "Copy/Custom section error 555"}},
      {"'a.cfg'\\, 'APPEND'\\, 'k=3'\\, ''",
       {"Error " + code + " deleting k=3", why, "Copy/Custom section error 777"}},
  };
  for (const Row& r : rows) {
    SetGame("a.cfg", huge);
    Custom({r.line});
    EXPECT_EQ(r.lines, Pass()) << r.line;
    EXPECT_TRUE(huge == Game("a.cfg")) << r.line;
    std::vector<std::string> names;
    sys.Seam().files.List(kGame, &names, nullptr);
    EXPECT_EQ(std::vector<std::string>{"a.cfg"}, names) << r.line;
  }
}

TEST_F(SetupPass, RefusedWritesFailTheEntry) {
  const std::string ini = std::string(kGame) + "\\locked.ini";
  SetGame("locked.ini", "[S]\r\nk=old\r\n");
  sys.unwritable = {ini, "hkcu\\software\\test\\v"};
  struct Row {
    const char* name;
    std::string line;
    std::vector<std::string> lines;
  } rows[] = {
      {"IniRefused",
       "'locked.ini'\\, 'INI'\\, 'S'\\, 'k'\\, 'new'\\, ''",
       {"Error 5 changing INI " + ini, "  " + ini + ": access denied (5)",
        "Copy/Custom section error 444"}},
      {"IniUnresolved",
       "'..\\..\\..\\x.ini'\\, 'INI'\\, 'S'\\, 'k'\\, 'v'\\, ''",
       {"Error 3 changing INI ERROR", "  ..\\..\\..\\x.ini: the path climbs above the drive (3)",
        "Copy/Custom section error 444"}},
      {"RegistryRefused",
       "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'v'\\, 'x'\\, ''",
       {"Error 5 changing registry ", "  HKCU\\Software\\Test\\v: access denied (5)",
        "Copy/Custom section error 444"}},
      {"DwordNotANumber",
       "'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'w'\\, 'abc'\\, ''",
       {"Error 13 changing registry ",
        "  HKCU\\Software\\Test\\w: the data is not a number: abc (13)",
        "Copy/Custom section error 444"}},
      {"UnknownTypeNoLine",
       "'BINARY'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'w'\\, '1'\\, ''",
       {"Copy/Custom section error 444"}},
      {"UnknownRootNoLine",
       "'STRING'\\, 'REGISTRY'\\, 'HKCR\\Software\\Test'\\, 'w'\\, '1'\\, ''",
       {"Copy/Custom section error 444"}},
  };
  for (const Row& r : rows) {
    Custom({r.line});
    EXPECT_EQ(r.lines, Pass()) << r.name;
    EXPECT_FALSE(sys.HasFile(kMarker)) << r.name;
  }
  EXPECT_EQ("[S]\r\nk=old\r\n", Game("locked.ini"));
  EXPECT_FALSE(sys.HasFile("ERROR"));
}

TEST_F(SetupPass, RegistryValues) {
  Custom({"'string'\\, 'REGISTRY'\\, 'hkcu\\Software\\Test'\\, 'name'\\, 'text'\\, ''",
          "'DWORD'\\, 'REGISTRY'\\, 'HKLM/Software/Test'\\, ''\\, '-1'\\, ''",
          "'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'hex'\\, '0x10'\\, ''"});
  Pass();
  using Value = std::pair<uint32_t, std::vector<uint8_t>>;
  EXPECT_EQ((Value{kRegSz, {'t', 'e', 'x', 't', 0}}), sys.regValues["hkcu\\software\\test\\name"]);
  // The fifth character is skipped whatever it is; an empty name is the default value.
  EXPECT_EQ((Value{kRegDword, {0xff, 0xff, 0xff, 0xff}}), sys.regValues["hklm\\software/test\\"]);
  EXPECT_EQ((Value{kRegDword, {0x10, 0, 0, 0}}), sys.regValues["hkcu\\software\\test\\hex"]);
}

TEST_F(SetupPass, CopyBlockOutcomes) {
  unit.profile.copyFiles = ProfileFlag::Of("TRUE");
  unit.profile.custom = ProfileFlag::Of("FALSE");
  sys.AddFile("C:\\Zeph\\games\\a.cfg", "a");
  struct Row {
    const char* name;
    std::string profile;
    std::string box;   // empty: none
    std::string line;  // last debug line, empty: none
    bool marker;
  } rows[] = {
      {"EmptyBlockCopiesNothing", SetupProfile({}, {}), "", "", true},
      {"BlanksAroundItems", SetupProfile({"    '  a.cfg', ' x\\a.cfg'  "}, {}), "", "", true},
      {"MissingSource", SetupProfile({"'a.cfg', 'a.cfg'", "'gone.cfg', 'b.cfg'"}, {}),
       "Could not copy file: c:\\zeph\\games\\gone.cfg", "", false},
      {"DestinationAboveTheDrive", SetupProfile({"'a.cfg', '..\\..\\..\\a.cfg'"}, {}), "",
       "Error with copy path ..\\..\\..\\a.cfg", false},
      {"EndLineMustBeIndented", "COPY_FILES=TRUE\r\n{\r\n'a.cfg', 'a.cfg'\r\n}\r\n", "", "", false},
      {"LineOfBlanksFails", SetupProfile({" "}, {}), "", "", false},
  };
  for (const Row& r : rows) {
    sys.DropFile(kMarker);
    sys.AddFile(kProfile, r.profile);
    const std::vector<std::string> lines = Pass();
    EXPECT_EQ(r.box, r.marker || desk.boxes.empty() ? "" : desk.boxes[0].text) << r.name;
    EXPECT_EQ(r.line, lines.empty() ? "" : lines.back()) << r.name;
    EXPECT_EQ(r.marker, sys.HasFile(kMarker)) << r.name;
  }
  // The blanks after the source's opening quote go; those inside the destination's quotes stay.
  EXPECT_EQ("a", Game(" x\\a.cfg"));
}

TEST_F(SetupPass, AnUndeletableMarkerIsReported) {
  sys.AddFile(kMarker, "[Thalix]\r\nVersion=4.0\r\n");
  sys.undeletable = {kMarker};
  Custom({});
  const std::vector<std::string> lines = Pass();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(std::string("Could not delete the marker file ") + kMarker + ": access denied (5)",
            lines[0]);
  EXPECT_EQ("5.1", sys.IniValue(kMarker, "Thalix", "Version"));  // the pass went on
}

// Every file-system call of a pass fails in turn: each target then holds
// its old contents or its new ones, whole, and no work file is left.
TEST(SetupPassFaults, EveryFailingCallLeavesWholeFiles) {
  const std::vector<std::pair<std::string, std::string>> before = {
      {"C:\\Games\\Foo\\a.cfg", "set mouse 0\r\nother\r\n"},
      {"C:\\Games\\Foo\\keys.cfg", "old keys\r\n"},
      {"C:\\Games\\Foo\\game.ini", "[Input]\r\nMouse=1\r\n"}};
  auto run = [&](int failCall, std::vector<std::string>* contents, int* calls) {
    FakeWorld world;
    FakeSystem& sys = world.sys;
    for (const char* folder : {"C:\\Games", kGame, "C:\\Zeph\\games"}) sys.AddFolder(folder);
    for (const auto& file : before) sys.AddFile(file.first, file.second);
    sys.AddFile("C:\\Zeph\\games\\keys.cfg", "new keys\r\n");
    sys.AddFile(kProfile,
                SetupProfile({"'keys.cfg', 'keys.cfg'"},
                             {"'a.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, 'set mouse 1'\\, ''",
                              "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''"}));
    SetupUnit unit(sys.Seam(), world.desktop);
    unit.game.profile = kProfile;
    unit.game.folder = kGame;
    unit.profile.copyFiles = ProfileFlag::Of("TRUE");
    unit.profile.custom = ProfileFlag::Of("TRUE");
    sys.failCall = failCall;
    unit.WriteStuff();
    contents->clear();
    for (const auto& file : before) contents->push_back(sys.FileContents(file.first));
    std::vector<std::string> names;
    sys.Seam().files.List(kGame, &names, nullptr);
    for (const auto& name : names) EXPECT_EQ(std::string::npos, name.find("zeph-work")) << failCall;
    *calls = sys.failableCalls;
  };
  std::vector<std::string> after;
  int calls = 0;
  run(0, &after, &calls);
  ASSERT_EQ((std::vector<std::string>{"set mouse 1\r\nother\r\n", "new keys\r\n",
                                      "[Input]\r\nMouse=0\r\n"}),
            after);
  ASSERT_GT(calls, 10);
  for (int k = 1; k <= calls; ++k) {
    std::vector<std::string> contents;
    int unused = 0;
    run(k, &contents, &unused);
    for (size_t i = 0; i < before.size(); ++i)
      EXPECT_TRUE(contents[i] == before[i].second || contents[i] == after[i])
          << "call " << k << " left " << before[i].first << " as: " << contents[i];
  }
}

// A game run by Wine: a path that names a drive is found in its prefix (here
// one without dosdevices, whose C: is drive_c), and its registry values go to
// the prefix, which this system cannot reach: the entry fails saying so, and
// this system's registry is left as it is.
TEST_F(SetupPass, AGameUnderWine) {
  for (const char* folder : {"C:\\pfx", "C:\\pfx\\drive_c", "C:\\pfx\\drive_c\\Docs"})
    sys.AddFolder(folder);
  unit.game.wine = {"C:\\pfx", "C:\\wine\\wine64"};
  const auto values = sys.regValues;
  Custom({"'C:\\Docs\\notes.txt'\\, 'APPEND'\\, 'pad=on'\\, ''",
          "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'v'\\, 'x'\\, ''"});
  const std::vector<std::string> expected = {
      "Error 2 changing registry ",
      "  HKCU\\Software\\Test\\v: the game's Wine prefix cannot be reached from here (2)",
      "Copy/Custom section error 444"};
  EXPECT_EQ(expected, Pass());
  EXPECT_NE(std::string::npos,
            sys.FileContents("C:\\pfx\\drive_c\\Docs\\notes.txt").find("pad=on"));
  EXPECT_EQ(values, sys.regValues);
  EXPECT_FALSE(sys.HasFile(kMarker));
}

}  // namespace
}  // namespace zeph::testing

// The set-up journal and undo on the fake system: each kind of change put
// back, changes made since left alone (or forced), a second undo, a journal
// that cannot be written, faults at every call, and the bound on passes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FormFixture.h"
#include "setup/Journal.h"
#include "setup/Undo.h"
#include "system/WinPath.h"

namespace zeph::testing {
namespace {

const char* const kProfile = "C:\\Zeph\\wyn\\foo.wyn";
const char* const kGame = "C:\\Games\\Foo";
const char* const kMarker = "C:\\Games\\Foo\\thalix.tlx";
const char* const kRoot = "C:\\Users\\me\\AppData\\Local\\ZephMonitor\\journal";
const char* const kRegKey = "hkcu\\software\\foo\\mouse";

// Every kind of change the pass makes, on files that exist before it.
const std::vector<std::string> kCopies = {"'keys.cfg', 'keys.cfg'",
                                          "'new.cfg', 'sub\\deep\\new.cfg'"};
const std::vector<std::string> kCustom = {
    "'a.cfg'\\, 'DELETE'\\, 'mouse'\\, '2'\\, ''",
    "'b.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, 'set mouse 1'\\, ''",
    "'c.cfg'\\, 'REPLACE'\\, 'low'\\, 'high'\\, ''",
    "'d.cfg'\\, 'APPEND'\\, 'bind x'\\, ''",
    "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''",
    "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Foo'\\, 'Mouse'\\, 'on'\\, ''",
    "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Foo'\\, 'Fresh'\\, 'yes'\\, ''"};

const std::vector<std::pair<std::string, std::string>> kBefore = {
    {"C:\\Games\\Foo\\keys.cfg", "old keys\r\n"},
    {"C:\\Games\\Foo\\a.cfg", "bind mouse1\r\nkeep\r\n"},
    {"C:\\Games\\Foo\\b.cfg", "set mouse 0\r\nother\r\n"},
    {"C:\\Games\\Foo\\c.cfg", "detail low\r\n"},
    {"C:\\Games\\Foo\\d.cfg", "first"},
    {"C:\\Games\\Foo\\game.ini", "[Input]\r\nMouse=1\r\n"},
    {kMarker, "[Thalix]\r\nVersion=4.0\r\n"}};

struct JournalWorld {
  explicit JournalWorld(uint64_t bytesKept = kJournalBytesKept)
      : journal(world.sys.Seam(), kRoot, bytesKept), unit(journal.Seam(), world.desktop) {
    FakeSystem& sys = world.sys;
    for (const char* folder : {"C:\\Games", kGame, "C:\\Zeph\\games", "C:\\Users", "C:\\Users\\me",
                               "C:\\Users\\me\\AppData", "C:\\Users\\me\\AppData\\Local"})
      sys.AddFolder(folder);
    for (const auto& file : kBefore) sys.AddFile(file.first, file.second);
    sys.AddFile("C:\\Zeph\\games\\keys.cfg", "new keys\r\n");
    sys.AddFile("C:\\Zeph\\games\\new.cfg", "brand new\r\n");
    sys.AddFile(kProfile, SetupProfile(kCopies, kCustom));
    sys.regValues[kRegKey] = {kRegSz, {'o', 'f', 'f', 0}};
    unit.pass.SetJournal(&journal);
    unit.game.profile = kProfile;
    unit.game.appName = "Foo Game";
    unit.game.folder = kGame;
    unit.profile.revision = "3";
    unit.profile.copyFiles = ProfileFlag::Of("TRUE");
    unit.profile.custom = ProfileFlag::Of("TRUE");
  }
  UndoResult Undo(int pass = 0, bool force = false) {
    FakeSystem& sys = world.sys;
    return UndoPass(sys.Seam().files, sys.Seam().registry, kRoot, kGame, pass, force);
  }
  // Whether the installation and registry are as before the pass.
  void ExpectAsBefore(const std::string& when) {
    FakeSystem& sys = world.sys;
    for (const auto& file : kBefore)
      EXPECT_EQ(file.second, sys.FileContents(file.first)) << when << ": " << file.first;
    EXPECT_FALSE(sys.HasFile("C:\\Games\\Foo\\sub\\deep\\new.cfg")) << when;
    EXPECT_FALSE(sys.Seam().files.IsFolder("C:\\Games\\Foo\\sub")) << when;
    EXPECT_EQ((std::vector<uint8_t>{'o', 'f', 'f', 0}), sys.regValues[kRegKey].second) << when;
    EXPECT_EQ(0u, sys.regValues.count("hkcu\\software\\foo\\fresh")) << when;
  }

  FakeWorld world;
  JournaledSystem journal;
  SetupUnit unit;
};

TEST(SetupJournal, UndoPutsBackEveryKindOfChange) {
  JournalWorld w;
  FakeSystem& sys = w.world.sys;
  w.unit.WriteStuff();
  // The pass did all it says.
  EXPECT_EQ("new keys\r\n", sys.FileContents("C:\\Games\\Foo\\keys.cfg"));
  EXPECT_EQ("brand new\r\n", sys.FileContents("C:\\Games\\Foo\\sub\\deep\\new.cfg"));
  EXPECT_EQ("keep\r\n", sys.FileContents("C:\\Games\\Foo\\a.cfg"));
  EXPECT_EQ("set mouse 1\r\nother\r\n", sys.FileContents("C:\\Games\\Foo\\b.cfg"));
  EXPECT_EQ("detail high\r\n", sys.FileContents("C:\\Games\\Foo\\c.cfg"));
  EXPECT_EQ("first\r\nbind x\r\n", sys.FileContents("C:\\Games\\Foo\\d.cfg"));
  EXPECT_EQ("0", sys.IniValue("C:\\Games\\Foo\\game.ini", "Input", "Mouse"));
  EXPECT_EQ("5.1", sys.IniValue(kMarker, "Thalix", "Version"));
  EXPECT_EQ(1u, sys.regValues.count("hkcu\\software\\foo\\fresh"));

  std::vector<GameJournal> games;
  ASSERT_TRUE(ListJournal(sys.Seam().files, kRoot, "", &games, nullptr));
  ASSERT_EQ(1u, games.size());
  EXPECT_EQ(kGame, games[0].gameFolder);
  ASSERT_EQ(1u, games[0].passes.size());
  const PassSummary& pass = games[0].passes[0];
  EXPECT_EQ(kProfile, pass.profile);
  EXPECT_EQ("3", pass.revision);
  EXPECT_TRUE(pass.closed && pass.passed && !pass.undone);
  // keys, new.cfg, two folders, a-d, game.ini, the marker, two values.
  EXPECT_EQ(12, pass.changes);

  UndoResult undo = w.Undo();
  EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.leftAlone)
                                  << ::testing::PrintToString(undo.failed);
  w.ExpectAsBefore("after undo");

  // Undone once: nothing changes, however the files are now.
  sys.AddFile("C:\\Games\\Foo\\b.cfg", "edited by the user\r\n");
  UndoResult again = w.Undo();
  EXPECT_TRUE(again.alreadyUndone);
  EXPECT_TRUE(again.changed.empty());
  EXPECT_EQ("edited by the user\r\n", sys.FileContents("C:\\Games\\Foo\\b.cfg"));
  ASSERT_TRUE(ListJournal(sys.Seam().files, kRoot, kGame, &games, nullptr));
  EXPECT_TRUE(games[0].passes[0].undone);

  // The marker is back as it was, so the next game end sets up again.
  w.unit.WriteStuff();
  EXPECT_EQ("5.1", sys.IniValue(kMarker, "Thalix", "Version"));
  EXPECT_EQ("detail high\r\n", sys.FileContents("C:\\Games\\Foo\\c.cfg"));
  EXPECT_EQ((std::vector<int>{1, 2}),
            PassNumbers(sys.Seam().files, GameJournalFolder(kRoot, kGame)));
}

TEST(SetupJournal, AFileChangedSinceIsLeftAloneUnlessForced) {
  JournalWorld w;
  FakeSystem& sys = w.world.sys;
  w.unit.WriteStuff();
  sys.AddFile("C:\\Games\\Foo\\c.cfg", "the user's own\r\n");
  sys.regValues["hkcu\\software\\foo\\fresh"] = {kRegSz, {'u', 0}};

  UndoResult undo = w.Undo();
  EXPECT_EQ(1, undo.ExitStatus());
  ASSERT_EQ(2u, undo.leftAlone.size());
  EXPECT_NE(std::string::npos, undo.leftAlone[0].find("c.cfg"));
  EXPECT_NE(std::string::npos, undo.leftAlone[1].find("Fresh"));
  EXPECT_EQ("the user's own\r\n", sys.FileContents("C:\\Games\\Foo\\c.cfg"));
  EXPECT_EQ("old keys\r\n", sys.FileContents("C:\\Games\\Foo\\keys.cfg"));  // the rest went back

  // Not marked undone, so a forced undo can still put the two back.
  UndoResult forced = w.Undo(1, true);
  EXPECT_EQ(0, forced.ExitStatus()) << ::testing::PrintToString(forced.failed);
  w.ExpectAsBefore("after the forced undo");
}

TEST(SetupJournal, AJournalThatCannotBeWrittenStopsThePass) {
  JournalWorld w;
  FakeSystem& sys = w.world.sys;
  sys.unwritable.push_back(std::string(kRoot));  // the journal folder cannot be made
  w.unit.WriteStuff();
  w.ExpectAsBefore("pass without a journal");
  std::vector<std::string> lines;
  for (const auto& entry : sys.log)
    if (entry.find("journal cannot be written") != std::string::npos) lines.push_back(entry);
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("access denied (5)"));
  EXPECT_NE(std::string::npos, lines[0].find("the set-up journal " + std::string(kRoot)))
      << "the failure is the journal's, not the game's disk: " << lines[0];
  EXPECT_TRUE(w.world.desktop.boxes.empty());
}

// The k-th failable call of a journaled pass fails, for every k, and the
// pass is then undone: every file is whole and as it was, or undo names it.
TEST(SetupJournal, UndoAfterAFaultAtEveryCall) {
  int calls = 0;
  {
    JournalWorld w;
    w.unit.WriteStuff();
    calls = w.world.sys.failableCalls;
  }
  ASSERT_GT(calls, 40);
  for (int k = 1; k <= calls; ++k) {
    JournalWorld w;
    FakeSystem& sys = w.world.sys;
    sys.failCall = k;
    w.unit.WriteStuff();
    sys.failCall = 0;
    UndoResult undo = w.Undo();
    std::string named;
    for (const auto& line : undo.leftAlone) named += line + "\n";
    for (const auto& line : undo.failed) named += line + "\n";
    for (const auto& file : kBefore) {
      if (named.find(file.first) != std::string::npos) continue;
      EXPECT_EQ(file.second, sys.FileContents(file.first)) << "fault at call " << k;
    }
    EXPECT_TRUE(undo.failed.empty() || undo.pass == 0) << "fault at call " << k << ": " << named;
    EXPECT_TRUE(undo.leftAlone.empty()) << "fault at call " << k << ": " << named;
    std::vector<std::string> names;
    sys.Seam().files.List(kGame, &names, nullptr);
    for (const auto& name : names) EXPECT_EQ(std::string::npos, name.find("zeph-work")) << k;
  }
}

// The records of the last pass, and the path of the blob kept for a file.
struct PassOnFake {
  std::string folder, records;
  std::string BlobOf(const std::string& path) const {
    for (const JournalRecord& r : ReadJournalText(records).records)
      if (r.kind == JournalRecord::Kind::File && r.path == path && !r.blob.empty())
        return folder + "\\" + r.blob;
    return {};
  }
};

PassOnFake LastPass(FakeSystem& sys) {
  const std::string game = GameJournalFolder(kRoot, kGame);
  const std::vector<int> numbers = PassNumbers(sys.Seam().files, game);
  PassOnFake p;
  if (numbers.empty()) return p;
  p.folder = game + "\\" + std::to_string(numbers.back());
  p.records = sys.FileContents(p.folder + "\\records");
  return p;
}

bool MarkedUndone(FakeSystem& sys) {
  std::vector<GameJournal> games;
  ListJournal(sys.Seam().files, kRoot, kGame, &games, nullptr);
  return !games.empty() && !games[0].passes.empty() && games[0].passes.back().undone;
}

// The old content kept for a file is gone, or no longer what the pass read
// (another link to the old file was written since): the file cannot be put
// back, undo says so and why, and the pass stays open for another try.
TEST(SetupJournal, AKeptCopyGoneOrChangedFailsItsFile) {
  for (const bool gone : {true, false}) {
    JournalWorld w;
    FakeSystem& sys = w.world.sys;
    w.unit.WriteStuff();
    const std::string blob = LastPass(sys).BlobOf("C:\\Games\\Foo\\c.cfg");
    ASSERT_FALSE(blob.empty());
    if (gone)
      sys.DropFile(blob);
    else
      sys.AddFile(blob, "detail ultra\r\n");
    const UndoResult undo = w.Undo();
    EXPECT_EQ(1, undo.ExitStatus());
    ASSERT_EQ(1u, undo.failed.size()) << ::testing::PrintToString(undo.failed);
    EXPECT_NE(std::string::npos, undo.failed[0].find("C:\\Games\\Foo\\c.cfg"));
    EXPECT_NE(std::string::npos, undo.failed[0].find(gone ? "is gone" : "has changed since"))
        << undo.failed[0];
    EXPECT_EQ("detail high\r\n", sys.FileContents("C:\\Games\\Foo\\c.cfg"));
    EXPECT_EQ("old keys\r\n", sys.FileContents("C:\\Games\\Foo\\keys.cfg"));  // the rest went back
    EXPECT_FALSE(MarkedUndone(sys));
    EXPECT_FALSE(w.Undo().alreadyUndone);
  }
}

// Records cut at every length, or with a byte changed anywhere: an undo says
// the pass's journal is damaged and changes nothing; forced, it puts back
// what can be read, and nothing is ever marked undone while changes remain.
TEST(SetupJournal, ADamagedJournalIsRefusedUnlessForced) {
  std::string whole;
  {
    JournalWorld w;
    w.unit.WriteStuff();
    whole = LastPass(w.world.sys).records;
  }
  ASSERT_GT(whole.size(), 200u);
  std::vector<std::string> damaged;
  for (size_t n = 0; n < whole.size(); ++n) damaged.push_back(whole.substr(0, n));
  for (size_t k = 0; k < whole.size(); k += 7) {
    std::string flipped = whole;
    flipped[k] = static_cast<char>(flipped[k] ^ (flipped[k] == '\n' ? 0x21 : 0x01));
    damaged.push_back(flipped);
  }
  damaged.push_back(whole + "file\tC:\\Games\\Foo\\x.cfg\t-\t-\t0:0\n");
  for (const std::string& text : damaged) {
    JournalWorld w;
    FakeSystem& sys = w.world.sys;
    w.unit.WriteStuff();
    const PassOnFake pass = LastPass(sys);
    sys.AddFile(pass.folder + "\\records", text);
    const std::string shown = ::testing::PrintToString(text);
    const UndoResult undo = w.Undo();
    EXPECT_EQ(1, undo.ExitStatus()) << shown;
    ASSERT_EQ(1u, undo.failed.size()) << shown;
    EXPECT_NE(std::string::npos, undo.failed[0].find("pass 1: its journal is damaged"))
        << undo.failed[0];
    EXPECT_TRUE(undo.changed.empty()) << shown;
    EXPECT_EQ("detail high\r\n", sys.FileContents("C:\\Games\\Foo\\c.cfg")) << shown;

    const UndoResult forced = w.Undo(0, true);
    bool asBefore = true;
    for (const auto& file : kBefore)
      asBefore = asBefore && sys.FileContents(file.first) == file.second;
    EXPECT_TRUE(asBefore || !MarkedUndone(sys)) << "marked undone with changes left: " << shown;
  }
}

// A pass killed while it wrote leaves its work file; the next pass on that
// game, or an undo, removes it.
TEST(SetupJournal, WorkFilesOfAPassThatNeverEndedAreRemoved) {
  for (const bool byUndo : {false, true}) {
    JournalWorld w;
    FakeSystem& sys = w.world.sys;
    // Killed: the pass is never closed, and its work file is not dropped
    // while the next pass or the undo runs.
    JournaledSystem killed(sys.Seam(), kRoot);
    ASSERT_TRUE(killed.OpenPass({kGame, kProfile, "3"}, nullptr));
    std::unique_ptr<WorkFile> work =
        killed.Seam().files.CreateWorkFile("C:\\Games\\Foo\\c.cfg", nullptr);
    ASSERT_TRUE(work && work->Write("half", 4, nullptr));
    auto workFiles = [&] {
      std::vector<std::string> names, left;
      sys.Seam().files.List(kGame, &names, nullptr);
      for (const auto& name : names)
        if (name.find("zeph-work") != std::string::npos) left.push_back(name);
      return left;
    };
    ASSERT_EQ(1u, workFiles().size());
    if (byUndo) {
      const UndoResult undo = w.Undo();
      EXPECT_EQ(0, undo.ExitStatus()) << ::testing::PrintToString(undo.failed);
      ASSERT_FALSE(undo.changed.empty());
      EXPECT_NE(std::string::npos, undo.changed[0].find("work file"));
    } else {
      w.unit.WriteStuff();
    }
    EXPECT_TRUE(workFiles().empty()) << ::testing::PrintToString(workFiles());
    EXPECT_EQ(byUndo ? "detail low\r\n" : "detail high\r\n",
              sys.FileContents("C:\\Games\\Foo\\c.cfg"));
  }
}

// The k-th failable call of an undo fails, for every k: each file is then as
// the journal says it was before, or as the pass left it and named by the
// undo, which is not marked done; a second undo finishes the work.
TEST(SetupJournal, AnUndoFailingAtEveryCallIsFinishedByTheNext) {
  int calls = 0;
  {
    JournalWorld w;
    w.unit.WriteStuff();
    const int before = w.world.sys.failableCalls;
    w.Undo();
    calls = w.world.sys.failableCalls - before;
  }
  ASSERT_GT(calls, 20);
  for (int k = 1; k <= calls; ++k) {
    JournalWorld w;
    FakeSystem& sys = w.world.sys;
    w.unit.WriteStuff();
    std::map<std::string, std::string> afterPass;
    for (const auto& file : kBefore) afterPass[file.first] = sys.FileContents(file.first);
    sys.failCall = sys.failableCalls + k;
    const UndoResult undo = w.Undo();
    sys.failCall = 0;
    for (const auto& file : kBefore) {
      const std::string now = sys.FileContents(file.first);
      EXPECT_TRUE(now == file.second || now == afterPass[file.first])
          << "fault at undo call " << k << ": " << file.first << " holds " << now;
      EXPECT_TRUE(now == file.second || undo.ExitStatus() != 0)
          << "fault at undo call " << k << ": " << file.first << " not back, and no failure";
    }
    EXPECT_TRUE(undo.ExitStatus() == 0 || !MarkedUndone(sys)) << k;
    const UndoResult again = w.Undo();
    EXPECT_TRUE(again.ExitStatus() == 0 || again.alreadyUndone)
        << "fault at undo call " << k << ": " << ::testing::PrintToString(again.failed);
    w.ExpectAsBefore("after a fault at undo call " + std::to_string(k) + " and a second undo");
  }
}

// A pass at every game end, each copying a new version of keys.cfg.
void PassesThatChangeKeys(JournalWorld& w, int count) {
  for (int n = 0; n < count; ++n) {
    w.world.sys.AddFile("C:\\Zeph\\games\\keys.cfg", "keys " + std::to_string(n) + "\r\n");
    w.unit.WriteStuff();
  }
}

TEST(SetupJournal, KeepsTheLastFivePassesAndTheOldestThatCanBeUndone) {
  JournalWorld w;
  FakeSystem& sys = w.world.sys;
  PassesThatChangeKeys(w, 7);
  const std::string game = GameJournalFolder(kRoot, kGame);
  EXPECT_EQ((std::vector<int>{1, 3, 4, 5, 6, 7}), PassNumbers(sys.Seam().files, game));
  EXPECT_FALSE(sys.HasFile(game + "\\2\\records"));
  // Pass 6 is an earlier one, and is undone as asked.
  EXPECT_EQ(1, w.Undo(2).ExitStatus());  // pruned: no such pass
  // Undone newest first, back to the oldest kept: the passes between it and
  // the next were pruned, so the files are not as it left them, and only a
  // forced undo takes them back to before the first set-up.
  for (int n = 7; n >= 3; --n) EXPECT_EQ(0, w.Undo(n).ExitStatus()) << n;
  EXPECT_EQ(1, w.Undo(1).ExitStatus());
  EXPECT_EQ(0, w.Undo(1, true).ExitStatus());
  w.ExpectAsBefore("after undoing every pass, newest first");
  // Once the first is undone, the next that can be undone is the one kept.
  PassesThatChangeKeys(w, 6);
  EXPECT_EQ((std::vector<int>{8, 9, 10, 11, 12, 13}), PassNumbers(sys.Seam().files, game));
}

TEST(SetupJournal, OverItsSizeTheOldestPassesGoButNeverTheOneBeingWritten) {
  JournalWorld big;
  PassesThatChangeKeys(big, 3);
  const std::string game = GameJournalFolder(kRoot, kGame);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), PassNumbers(big.world.sys.Seam().files, game));

  JournalWorld tiny(1);  // every pass is over the size
  PassesThatChangeKeys(tiny, 3);
  EXPECT_EQ((std::vector<int>{1, 3}), PassNumbers(tiny.world.sys.Seam().files, game));
  EXPECT_EQ(3, tiny.Undo().pass);
}

// A game end whose lines would leave every file as it is ('ALWAYS' lines
// already applied, copies of the same bytes) writes nothing and keeps no
// pass, so the state before the first set-up is never pushed out.
TEST(SetupJournal, APassThatChangesNothingWritesAndKeepsNothing) {
  JournalWorld w;
  FakeSystem& sys = w.world.sys;
  w.unit.profile.custom = ProfileFlag::Of("TRUE");
  sys.AddFile(kProfile, SetupProfile(kCopies, {"'d.cfg'\\, 'APPEND'\\, 'bind x'\\, 'ALWAYS'",
                                               "'b.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, "
                                               "'set mouse 1'\\, 'ALWAYS'",
                                               "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, "
                                               "'0'\\, 'ALWAYS'",
                                               "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Foo'"
                                               "\\, 'Mouse'\\, 'on'\\, 'ALWAYS'"}));
  w.unit.WriteStuff();
  const std::string game = GameJournalFolder(kRoot, kGame);
  ASSERT_EQ((std::vector<int>{1}), PassNumbers(sys.Seam().files, game));
  for (int n = 0; n < 8; ++n) {
    sys.log.clear();
    w.unit.WriteStuff();
    for (const auto& entry : sys.log)
      for (const char* change : {"replace ", "ini ", "reg "})
        EXPECT_NE(0u, entry.rfind(change, 0)) << "game end " << n << ": " << entry << "\n"
                                              << ::testing::PrintToString(sys.log);
  }
  EXPECT_EQ((std::vector<int>{1}), PassNumbers(sys.Seam().files, game));
  EXPECT_EQ(0, w.Undo().ExitStatus());
  w.ExpectAsBefore("after undoing the first pass");
}

// The written content is hashed in the pieces it is written in, and read
// back in others: the value must not depend on the split.
TEST(JournalRecords, TheContentHashIgnoresHowBytesAreSplit) {
  const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz!";
  ContentHash whole;
  whole.Add(text.data(), text.size());
  for (size_t a = 0; a <= text.size(); ++a) {
    for (size_t b = a; b <= text.size(); b += 3) {
      ContentHash parts;
      parts.Add(text.data(), a);
      parts.Add(text.data() + a, b - a);
      parts.Add(text.data() + b, text.size() - b);
      EXPECT_EQ(whole.Value(), parts.Value()) << a << " " << b;
    }
  }
  ContentHash other;
  other.Add("0123456789abcdefghijklmnopqrstuvwxyz?", text.size());
  EXPECT_NE(whole.Value(), other.Value());
  EXPECT_EQ(text.size(), whole.Size());
}

TEST(JournalRecords, RoundTrip) {
  JournalRecord r;
  r.kind = JournalRecord::Kind::Registry;
  r.root = RegRoot::LocalMachine;
  r.subkey = "Soft\tware\\100%";
  r.name = "a\r\nb";
  r.hadOld = true;
  r.oldType = kRegDword;
  r.oldData = {1, 0, 0, 0xff};
  r.newType = kRegSz;
  r.newData = {};
  JournalRecord back = ParseRecord(FormatRecord(r));
  EXPECT_EQ(JournalRecord::Kind::Registry, back.kind);
  EXPECT_EQ(r.subkey, back.subkey);
  EXPECT_EQ(r.name, back.name);
  EXPECT_TRUE(back.hadOld && back.hasNew);
  EXPECT_EQ(r.oldData, back.oldData);
  EXPECT_EQ(kRegSz, back.newType);
  EXPECT_TRUE(back.wine.Empty());
  // This system's values keep the line an earlier version reads.
  EXPECT_EQ(6u, SplitAt(FormatRecord(r), '\t').size());
  EXPECT_EQ(JournalRecord::Kind::Unknown, ParseRecord("file\tonly two").kind);

  // A value of a Wine prefix names the prefix and the loader that reaches it.
  r.wine = {"\\home\\u\\Games 1\\pfx", "\\opt\\run\tner\\files\\bin\\wine64-preloader"};
  back = ParseRecord(FormatRecord(r));
  EXPECT_EQ(JournalRecord::Kind::Registry, back.kind);
  EXPECT_EQ(r.wine.prefix, back.wine.prefix);
  EXPECT_EQ(r.wine.loader, back.wine.loader);
  EXPECT_EQ(r.oldData, back.oldData);
}

}  // namespace
}  // namespace zeph::testing

// The dry-run seam over the fake system: a set-up pass gives what it gives
// when run directly, records what it did, and leaves the fake as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SetupPassProfile.h"
#include "check/DryRunSystem.h"
#include "check/RecordingDesktop.h"
#include "system/fake/FakeSystem.h"
#include "tray/fake/FakeDesktop.h"

namespace zeph::testing {
namespace {

const PassFolders kPass{"C:\\Zeph", "C:\\Games\\Foo"};
const char* const kFolders[] = {"C:\\Zeph",
                                "C:\\Zeph\\wyn",
                                "C:\\Zeph\\games",
                                "C:\\Games\\Foo",
                                "C:\\Games\\Foo\\cfg",
                                "C:\\Games\\Foo\\new",
                                "C:\\Games\\Foo\\new\\sub",
                                "C:\\Games\\Foo\\conf"};

void LayOut(FakeSystem& sys) {
  sys.AddFolder("C:\\Games");
  LayOutPass(sys.Seam(), kPass);
  sys.log.clear();
}

// Folders, files and registry values of a seam, one line each.
std::vector<std::string> State(SystemSeam sys) {
  std::vector<std::string> lines;
  for (const char* folder : kFolders) {
    std::vector<std::string> names;
    if (!sys.files.List(folder, &names, nullptr)) continue;
    // The fake lists a file made again at the end; the platforms' orders differ too.
    std::sort(names.begin(), names.end());
    lines.push_back(std::string("folder ") + folder);
    for (const std::string& name : names) {
      std::string contents;
      sys.files.ReadText(std::string(folder) + "\\" + name, &contents, nullptr);
      lines.push_back(name + ": " + contents);
    }
  }
  for (const char* name : {"name", "count"}) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (sys.registry.QueryValue(RegRoot::CurrentUser, "Software\\Test", name, &type, &data,
                                nullptr) == ReadResult::Ok)
      lines.push_back(name + (":" + std::to_string(type)) + std::string(data.begin(), data.end()));
  }
  return lines;
}

bool IsWrite(const std::string& entry) {
  for (const char* word : {"mkdir ", "write ", "replace ", "delete ", "ini ", "reg", "run ",
                           "close-window ", "start-shown ", "open-address ", "timer ", "end"})
    if (entry.rfind(word, 0) == 0) return true;
  return false;
}

TEST(DryRunOverFake, SetupPassGivesTheDirectResultAndWritesNothing) {
  FakeSystem under, direct;
  LayOut(under);
  LayOut(direct);
  const std::vector<std::string> before = State(under.Seam());
  const auto registryBefore = under.regValues;

  DryRunSystem dry(under.Seam());
  RecordingDesktop desk;
  RunPass(dry.Seam(), desk, kPass);
  FakeDesktop directDesk(direct.log);
  RunPass(direct.Seam(), directDesk, kPass);

  EXPECT_EQ(State(direct.Seam()), State(dry.Seam()));
  EXPECT_EQ(directDesk.debugLines, desk.debugLines);
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ(directDesk.boxes.at(0).text, desk.boxes[0].text);

  EXPECT_EQ(before, State(under.Seam()));
  EXPECT_EQ(registryBefore, under.regValues);
  for (const std::string& entry : under.log) EXPECT_FALSE(IsWrite(entry)) << entry;

  std::vector<std::string> started;
  for (const Effect& e : dry.Effects()) {
    if (e.kind != Effect::Kind::ProgramStarted) continue;
    started.push_back(e.command);
    EXPECT_TRUE(e.waited) << e.command;
  }
  EXPECT_EQ(direct.runs, started);
}

// Each write of the pass, in order, with what was there before.
TEST(DryRunOverFake, TheRecordOfAPass) {
  FakeSystem under;
  LayOut(under);
  DryRunSystem dry(under.Seam());
  RecordingDesktop desk;
  RunPass(dry.Seam(), desk, kPass);

  using K = Effect::Kind;
  const std::string none = "(none)";
  struct Row {
    K kind;
    std::string what;  // path below the game folder, INI key, or registry value name
    bool existed;
    std::string before, after;
  } rows[] = {
      {K::FileRemoved, "thalix.tlx", true, "[Thalix]\r\nVersion=4.0\r\n", ""},
      {K::FolderMade, "cfg\\", false, none, ""},
      {K::FileWritten, "cfg\\keys.cfg", false, none, "keys\r\n"},
      {K::FileWritten, "a.cfg", true, "bind y 1\r\nset mouse 0\r\nLow;slow\r\nkeep\r\n",
       "set mouse 0\r\nLow;slow\r\nkeep\r\n"},
      {K::FileWritten, "a.cfg", true, "set mouse 0\r\nLow;slow\r\nkeep\r\n",
       "set mouse 1\r\nLow;slow\r\nkeep\r\n"},
      {K::FileWritten, "a.cfg", true, "set mouse 1\r\nLow;slow\r\nkeep\r\n",
       "set mouse 1\r\nhigh;shigh\r\nkeep\r\n"},
      {K::FileWritten, "a.cfg", true, "set mouse 1\r\nhigh;shigh\r\nkeep\r\n",
       "set mouse 1\r\nhigh;shigh\r\nkeep\r\nbind x jump\r\n"},
      {K::FolderMade, "new\\", false, none, ""},
      {K::FolderMade, "new\\sub\\", false, none, ""},
      {K::FileWritten, "new\\sub\\b.cfg", false, none, "b\r\n"},
      {K::IniWritten, "Input Mouse", true, "1", "0"},
      {K::FolderMade, "conf\\", false, none, ""},
      {K::FileWritten, "conf\\user.ini", false, none, ""},
      {K::IniWritten, "S k", true, none, "v"},
      {K::RegistrySet, "name", false, std::string("old\0", 4), std::string("text\0", 5)},
      {K::RegistrySet, "count", false, none, std::string("\7\0\0\0", 4)},
      {K::IniWritten, "Thalix Version", false, none, "5.1"},
      {K::IniWritten, "Games WYN", true, none, "foo.wyn"},
      {K::IniWritten, "Games Revision", true, none, "3"},
  };
  std::vector<const Effect*> writes;
  for (const Effect& e : dry.Effects())
    if (e.kind != K::ProgramStarted) writes.push_back(&e);
  ASSERT_EQ(std::size(rows), writes.size());
  auto text = [](const std::optional<RegData>& v) {
    return v ? std::string(v->data.begin(), v->data.end()) : "(none)";
  };
  for (size_t k = 0; k < writes.size(); ++k) {
    const Effect& e = *writes[k];
    const Row& r = rows[k];
    EXPECT_EQ(r.kind, e.kind) << k;
    if (e.kind == K::RegistrySet) {
      EXPECT_EQ(r.what, e.name) << k;
      EXPECT_EQ(r.before, text(e.oldValue)) << k;
      EXPECT_EQ(r.after, text(e.newValue)) << k;
      continue;
    }
    EXPECT_EQ(r.what, e.kind == K::IniWritten ? e.section + " " + e.key
                                              : e.path.substr(kPass.game.size() + 1))
        << k;
    EXPECT_EQ(r.existed, e.existed) << k;
    EXPECT_EQ(r.before, e.before.value_or(none)) << k;
    EXPECT_EQ(r.after, e.after) << k;
  }
}

// Later reads see the run's own writes and removals first.
TEST(DryRunOverFake, ReadsSeeTheOverlay) {
  FakeSystem under;
  LayOut(under);
  DryRunSystem dry(under.Seam());
  SystemSeam s = dry.Seam();
  const std::string game = kPass.game;
  ASSERT_TRUE(s.files.Remove(game + "\\a.cfg", nullptr));
  ReadResult read = ReadResult::Ok;
  EXPECT_EQ(nullptr, s.files.OpenRead(game + "\\A.CFG", &read, nullptr));
  EXPECT_EQ(ReadResult::Missing, read);
  EXPECT_FALSE(s.files.Remove(game + "\\a.cfg", nullptr));
  ASSERT_TRUE(s.files.MakeFolder(game + "\\d\\", nullptr));
  ASSERT_TRUE(s.ini.WriteString(game + "\\d\\x.ini", "S", "k", "v", nullptr));
  ASSERT_TRUE(s.ini.WriteString(game + "\\old.cfg", "S", "k", "w", nullptr));
  std::vector<std::string> names;
  ASSERT_TRUE(s.files.List(game, &names, nullptr));
  EXPECT_EQ((std::vector<std::string>{"game.ini", "thalix.tlx", "old.cfg"}), names);
  ASSERT_TRUE(s.files.List(game + "\\D", &names, nullptr));
  EXPECT_EQ(std::vector<std::string>{"x.ini"}, names);
  EXPECT_FALSE(s.files.IsFile(game + "\\d"));
  EXPECT_EQ("v", s.ini.ReadString(game + "\\d\\x.ini", "s", "K", "", 255));
  auto reader = s.ini.Open(game + "\\old.cfg", &read, nullptr);
  ASSERT_NE(nullptr, reader);
  EXPECT_EQ("w", reader->Read("S", "k", "", 255));
  EXPECT_TRUE(s.registry.DeleteValue(RegRoot::CurrentUser, "software\\test", "NAME", nullptr));
  EXPECT_EQ(ReadResult::Missing, s.registry.QueryValue(RegRoot::CurrentUser, "Software\\Test",
                                                       "name", nullptr, nullptr, nullptr));
  EXPECT_EQ(1u, under.regValues.size());
}

}  // namespace
}  // namespace zeph::testing

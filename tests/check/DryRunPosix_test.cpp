// The dry-run seam over the real POSIX seam: a set-up pass on a temporary
// game folder leaves the whole tree and the registry file as they were, and
// its overlay holds what the same pass writes for real on a copy.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SetupPassProfile.h"
#include "check/DryRunSystem.h"
#include "check/RecordingDesktop.h"
#include "system/fake/FakeSystem.h"
#include "system/posix/PosixPaths.h"
#include "tray/fake/FakeDesktop.h"

namespace fs = std::filesystem;

namespace zeph::testing {
namespace {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (fs::temp_directory_path() / "zephcheck-XXXXXX").string();
    root_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempTree() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }
  std::string Native(const std::string& below) const { return root_ + "/" + below; }
  std::string Windows(const std::string& below) const { return ToWindowsPath(Native(below)); }

 private:
  std::string root_;
};

// Every entry below folder: name, type, mode, modification time, contents.
std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> lines;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::ostringstream line;
    const fs::file_status status = entry.symlink_status();
    line << fs::relative(entry.path(), folder).string() << " " << static_cast<int>(status.type())
         << " " << static_cast<unsigned>(status.permissions()) << " "
         << entry.last_write_time().time_since_epoch().count();
    if (entry.is_regular_file()) line << " " << std::ifstream(entry.path()).rdbuf();
    lines.push_back(line.str());
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(DryRunOverPosix, SetupPassLeavesTheDiskAsItWas) {
  TempTree tmp;
  for (const char* folder : {"a", "b", "configA", "configB"})
    ASSERT_TRUE(fs::create_directory(tmp.Native(folder)));
  char name[] = "zeph_check_tests";
  char* argv[] = {name, nullptr};
  PlatformSystem platform = CreatePlatformSystem(1, argv);
  const PassFolders a{tmp.Windows("a\\program"), tmp.Windows("a\\game")};
  const PassFolders b{tmp.Windows("b\\program"), tmp.Windows("b\\game")};

  // b: the pass for real on the files and registry, with fake programs.
  setenv("XDG_CONFIG_HOME", tmp.Native("configB").c_str(), 1);
  FakeSystem fake;
  fake.programFolder = b.program;
  const SystemSeam s = fake.Seam();
  const SystemSeam realB{s.program,          *platform.files, *platform.ini,
                         *platform.registry, s.processes,     s.loop};
  LayOutPass(realB, b);
  FakeDesktop fakeDesk(fake.log);
  RunPass(realB, fakeDesk, b);

  // a: the same pass dry on the whole platform seam.
  setenv("XDG_CONFIG_HOME", tmp.Native("configA").c_str(), 1);
  LayOutPass(platform.Seam(), a);
  const std::vector<std::string> before = Tree(tmp.Native("a"));
  const std::vector<std::string> configBefore = Tree(tmp.Native("configA"));
  ASSERT_FALSE(configBefore.empty());
  DryRunOptions options;
  options.programFolder = a.program;
  options.pathsIgnoreCase = false;
  options.errors = DryRunErrors::Posix();
  DryRunSystem dry(platform.Seam(), options);
  RecordingDesktop desk;
  RunPass(dry.Seam(), desk, a);
  EXPECT_EQ(before, Tree(tmp.Native("a")));
  EXPECT_EQ(configBefore, Tree(tmp.Native("configA")));

  // What the overlay holds is what b's game folder holds now.
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(tmp.Native("b/game"))) {
    const std::string below = fs::relative(entry.path(), tmp.Native("b/game")).string();
    const std::string path = a.game + "\\" + ToWindowsPath(below);
    if (entry.is_directory()) {
      EXPECT_TRUE(dry.Seam().files.IsFolder(path)) << below;
      continue;
    }
    std::string contents;
    EXPECT_EQ(ReadResult::Ok, dry.ContentsAfter(path, &contents, nullptr)) << below;
    std::ostringstream real;
    real << std::ifstream(entry.path()).rdbuf();
    EXPECT_EQ(real.str(), contents) << below;
    written.push_back(below);
  }
  EXPECT_EQ(7u, written.size());
  for (const DryRunSystem::OverlayValue& v : dry.RegistryAfter()) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    setenv("XDG_CONFIG_HOME", tmp.Native("configB").c_str(), 1);
    ASSERT_EQ(ReadResult::Ok,
              platform.registry->QueryValue(v.root, v.subkey, v.name, &type, &data, nullptr));
    EXPECT_EQ((RegData{type, data}), v.value) << v.name;
  }
  EXPECT_EQ(2u, dry.RegistryAfter().size());
  unsetenv("XDG_CONFIG_HOME");
}

// The refusals the overlay decides against what the real calls answer.
TEST(DryRunOverPosix, RefusalsMatchTheRealCalls) {
  TempTree tmp;
  ASSERT_TRUE(fs::create_directory(tmp.Native("d")));
  std::ofstream(tmp.Native("f")) << "x";
  setenv("XDG_CONFIG_HOME", tmp.Native("").c_str(), 1);
  char name[] = "zeph_check_tests";
  char* argv[] = {name, nullptr};
  PlatformSystem platform = CreatePlatformSystem(1, argv);
  const std::string f = tmp.Windows("f"), d = tmp.Windows("d"), no = tmp.Windows("no\\x");
  using Op = std::function<bool(SystemSeam, SystemError*)>;
  struct Row {
    const char* name;
    Op op;
  } rows[] = {
      {"WriteNoFolder", [&](SystemSeam s, SystemError* e) { return s.files.WriteText(no, "", e); }},
      {"WriteOverFolder",
       [&](SystemSeam s, SystemError* e) { return s.files.WriteText(d, "", e); }},
      {"WorkFileNoFolder",
       [&](SystemSeam s, SystemError* e) { return !!s.files.CreateWorkFile(no, e); }},
      {"WorkFileOverFolder",
       [&](SystemSeam s, SystemError* e) { return !!s.files.CreateWorkFile(d, e); }},
      {"EmptyFileNoFolder",
       [&](SystemSeam s, SystemError* e) { return s.files.MakeEmptyFile(no, e); }},
      {"EmptyFileThere", [&](SystemSeam s, SystemError* e) { return s.files.MakeEmptyFile(f, e); }},
      {"FolderNoParent", [&](SystemSeam s, SystemError* e) { return s.files.MakeFolder(no, e); }},
      {"FolderOverFile", [&](SystemSeam s, SystemError* e) { return s.files.MakeFolder(f, e); }},
      {"FolderThere", [&](SystemSeam s, SystemError* e) { return s.files.MakeFolder(d, e); }},
      {"RemoveNoFolder", [&](SystemSeam s, SystemError* e) { return s.files.Remove(no, e); }},
      {"RemoveFolder", [&](SystemSeam s, SystemError* e) { return s.files.Remove(d, e); }},
      {"IniNoFolder",
       [&](SystemSeam s, SystemError* e) { return s.ini.WriteString(no, "S", "k", "v", e); }},
      {"IniOverFolder",
       [&](SystemSeam s, SystemError* e) { return s.ini.WriteString(d, "S", "k", "v", e); }},
      {"DeleteMissingValue",
       [&](SystemSeam s, SystemError* e) {
         return s.registry.DeleteValue(RegRoot::CurrentUser, "Software\\None", "v", e);
       }},
  };
  for (const Row& r : rows) {
    DryRunOptions options;
    options.errors = DryRunErrors::Posix();
    DryRunSystem dry(platform.Seam(), options);
    SystemError dryErr, realErr;
    const bool dryDone = r.op(dry.Seam(), &dryErr);
    EXPECT_EQ(r.op(platform.Seam(), &realErr), dryDone) << r.name;
    EXPECT_EQ(realErr.code, dryErr.code) << r.name << ": " << realErr.Describe();
  }
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace zeph::testing

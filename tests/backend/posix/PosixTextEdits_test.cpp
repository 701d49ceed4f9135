// The set-up pass's text edits on a real file without a line end: a sparse
// file of zeros, as a game may leave a preallocated one. The edit gives up
// after its longest line and leaves the file and its folder as they were.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "setup/TextEdits.h"
#include "system/TextStreams.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixPaths.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(PosixTextEdits, ASparseFileWithoutLineEndFailsWithoutBeingRead) {
  std::string pattern = (fs::temp_directory_path() / "zeph-text-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path file = dir / "zeros.cfg";
  constexpr uintmax_t kSize = uintmax_t{256} << 20;
  { std::ofstream(file, std::ios::binary).flush(); }
  fs::resize_file(file, kSize);
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);

  FileSystem files;
  const std::string path = ToWindowsPath(file.string());
  const long peakBefore = PeakKiB();
  SystemError err;
  EXPECT_FALSE(ModifyLines(files, path, ModifyRule("input=%", "input=ball"), &err));
  EXPECT_EQ(kLineTooLongCode, err.code);
  EXPECT_EQ("line longer than " + std::to_string(kMaxLineBytes) + " bytes in " + path, err.text);
  err = SystemError();
  EXPECT_FALSE(AppendLine(files, path, "input=ball", &err));
  EXPECT_EQ(kLineTooLongCode, err.code);
  // Neither held the file: the process's peak grew by far less than its size.
  EXPECT_LT(PeakKiB() - peakBefore, 32 * 1024);

  struct stat after {};
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(kSize, static_cast<uintmax_t>(after.st_size));
  EXPECT_EQ(before.st_blocks, after.st_blocks) << "the file was written";
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  EXPECT_EQ(std::set<std::string>{"zeros.cfg"}, names) << "a work file was left";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zeph::posix

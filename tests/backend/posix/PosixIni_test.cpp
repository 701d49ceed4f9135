// INI files on real paths: what is no regular file is never waited on,
// read or written; a UTF-16 file keeps its encoding; and memory stays the
// same whatever the size of the file.
#include "system/posix/PosixIni.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../../ini_diff/IniCorpus.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixPaths.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

using inidiff::Utf16;

class PosixIni : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zeph-ini-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string folder_;
};

// A FIFO used to hang the monitor and a link to /dev/zero to end it.
TEST_F(PosixIni, WhatIsNoRegularFileReadsAsMissingAndIsNeverWritten) {
  const std::string fifo = Path("fifo.ini"), zero = Path("zero.ini"), folder = Path("dir.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string& path : {fifo, zero, folder}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ReadIniValue(path, "ZephMonitor", "MODE", "ERROR", 255), "ERROR");
    int error = 0;
    EXPECT_FALSE(WriteIniValue(path, "ZephMonitor", "MODE", "ACTIVE", &error));
    EXPECT_TRUE(error == EINVAL || error == EISDIR) << error;
    EXPECT_EQ(IniFileReader::Open(path, &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    std::string text;
    SystemError why;
    EXPECT_EQ(FileSystem().ReadText(ToWindowsPath(path), &text, &why), ReadResult::Missing);
  }
  struct stat st;
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(lstat(zero.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(PosixIni, Utf16FileIsReadAndWrittenInItsOwnEncoding) {
  const std::string path = Path("zephmon.ini");
  Put(path, Utf16(u"[ZephMonitor]\r\nMODE=ACTIVE\r\nNAME=caf\u00e9\r\n"));
  EXPECT_EQ(ReadIniValue(path, "ZephMonitor", "MODE", "ERROR", 255), "ACTIVE");
  int error = 0;
  ASSERT_TRUE(WriteIniValue(path, "ZephMonitor", "MODE", "SUSPEND", &error)) << error;
  EXPECT_EQ(Get(path), Utf16(u"[ZephMonitor]\r\nMODE=SUSPEND\r\nNAME=caf\u00e9\r\n"));
  auto reader = IniFileReader::Open(path, &error);
  ASSERT_NE(reader, nullptr) << error;
  EXPECT_EQ(reader->Read("zephmonitor", "name", "ERROR", 255), "caf\xe9");
}

// A reader answers for the file as it was opened, also once it is replaced.
TEST_F(PosixIni, ReaderKeepsTheFileItOpened) {
  const std::string path = Path("game.wyn");
  Put(path, "[Game]\r\nA=1\r\nB=2\r\n");
  int error = 0;
  auto reader = IniFileReader::Open(path, &error);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(WriteIniValue(path, "Game", "A", "changed", &error));
  EXPECT_EQ(reader->Read("Game", "A", "ERROR", 255), "1");
  EXPECT_EQ(reader->Read("Game", "B", "ERROR", 255), "2");
  EXPECT_EQ(ReadIniValue(path, "Game", "A", "ERROR", 255), "changed");
}

// The start of a file is read once and kept; a value on either side of
// where that ends, or across it, and a file that ends just there, read as
// from memory, in both encodings and through a reader too.
TEST_F(PosixIni, ValuesAroundTheFirstBlockReadAsFromMemory) {
  const std::string path = Path("zephmon.ini");
  // Files that end from 30 bytes before the block's end to 30 after it, the
  // value their last text.
  for (size_t end = 4066; end <= 4126; ++end) {
    for (bool wide : {false, true}) {
      const size_t text = wide ? (end - 2) / 2 : end;  // characters after any mark
      const std::string key = "[ZephMonitor]\r\nFILL=" + std::string(text - 38, 'f') +
                              "\r\nMODE=ACTIVE-" + std::to_string(end);
      std::u16string wideKey(key.begin(), key.end());
      const std::string bytes = wide ? Utf16(wideKey) : key;
      SCOPED_TRACE(testing::Message() << bytes.size() << " bytes" << (wide ? ", UTF-16" : ""));
      Put(path, bytes);
      std::string expected;
      ini::StringSource memory(bytes);
      ASSERT_TRUE(ini::ReadValue(&memory, "ZephMonitor", "MODE", "ERROR", 255, &expected));
      EXPECT_EQ(expected, "ACTIVE-" + std::to_string(end));
      EXPECT_EQ(ReadIniValue(path, "ZephMonitor", "MODE", "ERROR", 255), expected);
      int error = 0;
      auto reader = IniFileReader::Open(path, &error);
      ASSERT_NE(reader, nullptr) << error;
      EXPECT_EQ(reader->Read("ZephMonitor", "MODE", "ERROR", 255), expected);
      EXPECT_EQ(reader->Read("ZephMonitor", "FILL", "ERROR", 8), "fffffff");
    }
  }
}

// Many keys: the file replaced once, as the single writes would leave it,
// and not at all when it holds them already.
TEST_F(PosixIni, ManyKeysReplaceTheFileOnceOrNotAtAll) {
  const std::string path = Path("zephevent.ini"), seen = Path("seen");
  Put(path, "[DEADZONE]\r\nDEADZONE_0=4\r\n");
  ASSERT_EQ(link(path.c_str(), seen.c_str()), 0);  // stays with the file until it is replaced
  const std::vector<IniEntry> entries = {{"DEADZONE", "DEADZONE_0", "5"},
                                         {"BUTTONS", "BUTTON_0", "\"F1\""},
                                         {"deadzone", "DEADZONE_1", "6"}};
  int error = 0;
  ASSERT_TRUE(WriteIniValues(path, entries, &error)) << error;
  EXPECT_EQ(Get(path),
            "[DEADZONE]\r\nDEADZONE_0=5\r\nDEADZONE_1=6\r\n[BUTTONS]\r\nBUTTON_0=\"F1\"\r\n");
  EXPECT_EQ(Get(seen), "[DEADZONE]\r\nDEADZONE_0=4\r\n") << "changed in place";
  ASSERT_EQ(unlink(seen.c_str()), 0);
  ASSERT_EQ(link(path.c_str(), seen.c_str()), 0);
  ASSERT_TRUE(WriteIniValues(path, entries, &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u) << "replaced though nothing changed";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A 50 MB settings file once took six times its size to read.
TEST_F(PosixIni, MemoryStaysBoundedWhateverTheFileSize) {
  const std::string path = Path("zephmon.ini");
  {
    std::ofstream out(path, std::ios::binary);
    const std::string line = "FILLER=" + std::string(1 << 20, 'f') + "\r\n";
    out << "[Filler]\r\n";
    for (int i = 0; i < 50; ++i) out << line;
    out << "[ZephMonitor]\r\nMODE=ACTIVE\r\n";
  }
  const long before = PeakKiB();
  EXPECT_EQ(ReadIniValue(path, "ZephMonitor", "MODE", "ERROR", 255), "ACTIVE");
  int error = 0;
  ASSERT_TRUE(WriteIniValue(path, "ZephMonitor", "MODE", "SUSPEND", &error)) << error;
  auto reader = IniFileReader::Open(path, &error);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Read("ZephMonitor", "MODE", "ERROR", 255), "SUSPEND");
  EXPECT_LT(PeakKiB() - before, 8 * 1024) << "KiB more at the peak";
  EXPECT_EQ(fs::file_size(path), 10 + 50 * ((1u << 20) + 9) + 29u);
}

}  // namespace
}  // namespace zeph::posix

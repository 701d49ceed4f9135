// The registry store of the POSIX build on real files: a write changes the
// lines of its own value and nothing else of a file someone edited by hand,
// and a file that is no text is never written over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "system/posix/PosixRegistry.h"

namespace fs = std::filesystem;

namespace zeph::posix {
namespace {

using Bytes = std::vector<uint8_t>;
const auto kHkcu = RegRoot::CurrentUser;
const auto kHklm = RegRoot::LocalMachine;

class PosixRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zeph-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    config_ = pattern;
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    fs::create_directories(File().parent_path());
  }
  void TearDown() override {
    fs::remove_all(config_);
    unsetenv("XDG_CONFIG_HOME");
  }
  fs::path File() const { return config_ / "zephmonitor" / "registry.ini"; }
  void Put(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }
  std::string Get() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  ReadResult Query(RegRoot root, const std::string& subkey, const std::string& name,
                   uint32_t* type = nullptr, Bytes* data = nullptr, SystemError* err = nullptr) {
    return reg_.QueryValue(root, subkey, name, type, data, err);
  }

  fs::path config_;
  FileRegistry reg_;
};

TEST_F(PosixRegistry, WritesChangeOnlyTheirOwnLinesOfAHandEditedFile) {
  const std::string bom = "\xef\xbb\xbf";
  const std::string head =
      "[HKEY_CURRENT_USER\\Software\\Zeph]\r\n"
      "  Path = 1:2f6f707400 \r\n";
  const std::string middle =
      "; kept by hand, caf\xe9\r\n"
      "this line means nothing\r\n"
      "Odd=1:zz\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Broken\r\n"
      "Lost=4:01000000\r\n"
      "# another note\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Zeph]\r\n"
      "Count=4:07000000\r\n";
  const std::string gone = "Gone=4:01000000\r\n";
  const std::string tail = "Tail=1:00";  // no line end
  Put(bom + head + middle + gone + tail);

  // The key right after the byte-order mark is read; a key line without its
  // "]" holds nothing.
  Bytes data;
  ASSERT_EQ(Query(kHkcu, "Software\\Zeph", "Path", nullptr, &data), ReadResult::Ok);
  EXPECT_EQ(data, (Bytes{'/', 'o', 'p', 't', 0}));
  EXPECT_EQ(Query(kHkcu, "Software\\Broken", "Lost"), ReadResult::Missing);

  ASSERT_TRUE(reg_.SetValue(kHkcu, "Software\\Zeph", "path", kRegSz, {'/', 0}, nullptr));
  ASSERT_TRUE(reg_.DeleteValue(kHklm, "Software\\Zeph", "Gone", nullptr));
  ASSERT_TRUE(reg_.SetValue(kHklm, "Software\\Zeph", "New", kRegDword, {42, 0, 0, 0}, nullptr));
  ASSERT_TRUE(reg_.SetValue(kHkcu, "Software\\Other", "X", kRegSz, {0}, nullptr));
  EXPECT_EQ(Get(), bom +
                       "[HKEY_CURRENT_USER\\Software\\Zeph]\r\n"
                       "Path=1:2f00\r\n" +
                       middle + tail + "\r\nNew=4:2a000000\r\n" +
                       "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\nX=1:00\r\n");
  EXPECT_EQ(Query(kHklm, "Software\\Zeph", "Gone"), ReadResult::Missing);
  EXPECT_EQ(Query(kHklm, "Software\\Zeph", "Count"), ReadResult::Ok);
}

// A value written twice by hand reads as its last line; deleting it leaves
// no older line to show through.
TEST_F(PosixRegistry, ALaterLineOfTheSameValueWinsAndDeleteTakesAllOfThem) {
  Put("[HKEY_CURRENT_USER\\Software\\Zeph]\nMode=1:6100\n[hkey_current_user\\software\\zeph]\n"
      "MODE=1:6200\n");
  Bytes data;
  ASSERT_EQ(Query(kHkcu, "Software\\Zeph", "Mode", nullptr, &data), ReadResult::Ok);
  EXPECT_EQ(data, (Bytes{'b', 0}));
  ASSERT_TRUE(reg_.DeleteValue(kHkcu, "Software\\Zeph", "mode", nullptr));
  EXPECT_EQ(Query(kHkcu, "Software\\Zeph", "Mode"), ReadResult::Missing);
  EXPECT_EQ(Get(), "[HKEY_CURRENT_USER\\Software\\Zeph]\n[hkey_current_user\\software\\zeph]\n");
}

TEST_F(PosixRegistry, ValuesReadBackExactlyBesideHandEditedLines) {
  Put("; mine\n[HKEY_CURRENT_USER\\Software\\Zeph]\nkeep me\n");
  const std::string names[] = {"a=b [c]; #d %41", " lead\tand trail ", "caf\xe9\x01", ""};
  const std::string subkey = "Software\\Zeph\\[odd]=key;#";
  Bytes binary;
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<uint8_t>(i));
  uint32_t types[] = {kRegSz, kRegDword, 3, 0xffffffffu};
  for (size_t i = 0; i < 4; ++i)
    ASSERT_TRUE(reg_.SetValue(kHkcu, subkey, names[i], types[i], binary, nullptr)) << i;
  for (size_t i = 0; i < 4; ++i) {
    uint32_t type = 0;
    Bytes data;
    ASSERT_EQ(Query(kHkcu, subkey, names[i], &type, &data), ReadResult::Ok) << i;
    EXPECT_EQ(type, types[i]);
    EXPECT_EQ(data, binary);
  }
  EXPECT_EQ(Get().rfind("; mine\n[HKEY_CURRENT_USER\\Software\\Zeph]\nkeep me\n", 0), 0u);
}

// UTF-16 (with or without its mark) and binary files may be someone's, or
// another program's: they are left as they are, and every call says why.
TEST_F(PosixRegistry, AFileThatIsNoTextIsLeftAloneAndCallsSayWhy) {
  const std::string text = "[HKEY_CURRENT_USER\\Software\\Zeph]\r\nPath=1:2f00\r\n";
  std::string utf16;
  for (char c : text) utf16 += std::string(1, c) + '\0';
  std::string utf16be;
  for (char c : text) utf16be += std::string(1, '\0') + c;
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"UTF-16 with its mark", "\xff\xfe" + utf16},
      {"UTF-16 without a mark", utf16},
      {"UTF-16 big-endian", "\xfe\xff" + utf16be},
      {"binary", text + std::string("\x7f"
                                    "ELF\x02\x01\x01\0\0\0",
                                    10)},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    Put(file.bytes);
    SystemError err;
    EXPECT_FALSE(reg_.SetValue(kHkcu, "Software\\Zeph", "Path", kRegSz, {'/', 0}, &err));
    EXPECT_EQ(err.code, EILSEQ);
    EXPECT_NE(err.text.find("not text"), std::string::npos) << err.text;
    err = {};
    EXPECT_FALSE(reg_.DeleteValue(kHkcu, "Software\\Zeph", "Path", &err));
    EXPECT_EQ(err.code, EILSEQ);
    err = {};
    EXPECT_EQ(Query(kHkcu, "Software\\Zeph", "Path", nullptr, nullptr, &err), ReadResult::Failed);
    EXPECT_EQ(err.code, EILSEQ);
    EXPECT_EQ(Get(), file.bytes);
  }
}

}  // namespace
}  // namespace zeph::posix

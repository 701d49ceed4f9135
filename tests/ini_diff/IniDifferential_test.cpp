// Runs one corpus of INI files through GetPrivateProfileStringA /
// WritePrivateProfileStringA and through zeph::ini, and requires the same
// results. Windows only (run under Wine here).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "IniCorpus.h"
#include "system/IniText.h"

namespace zeph::inidiff {

namespace {

constexpr DWORD kBuffer = 255;  // what the monitor passes
const char kDefault[] = "ERROR";

// A fresh file in the temporary folder, deleted at the end. Each case gets
// its own name so the system's profile cache never serves an older file.
class TempFile {
 public:
  TempFile() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "zin", 0, path) == 0) {
      ADD_FAILURE() << "no temporary file: error " << GetLastError();
      return;
    }
    path_ = path;
  }
  ~TempFile() {
    Forget();
    DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* path() const { return path_.c_str(); }

  // Drops the profile functions' cached copy of the file.
  void Forget() const { WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str()); }

  void Remove() const { DeleteFileA(path_.c_str()); }

  void Put(const std::string& bytes) const {
    HANDLE h = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok && written == bytes.size());
    Forget();
  }

  std::string Get() const {
    std::string bytes;
    HANDLE h = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
  }

  std::string Read(const std::string& section, const std::string& key) const {
    char buffer[kBuffer];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer,
                                             kBuffer, path_.c_str());
    Forget();
    return std::string(buffer, n);
  }

 private:
  std::string path_;
};

// Shows control and 8-bit bytes in failure messages.
std::string Visible(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      wsprintfA(hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

class IniDiffRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniDiffRead, SameAsSystem) {
  const ReadCase& c = GetParam();
  const std::string ours = zeph::ini::GetString(c.contents, c.section, c.key, kDefault, kBuffer);
  EXPECT_EQ(Visible(ours), Visible(c.windows)) << "ours is not what Windows gives";

  TempFile file;
  if (c.missingFile) {
    file.Remove();
  } else {
    file.Put(c.contents);
  }
  const std::string wine = file.Read(c.section, c.key);
  if (c.wineDiffers == nullptr) {
    EXPECT_EQ(Visible(wine), Visible(ours)) << "the system function disagrees";
  } else {
    // Keeps the list of known differences honest.
    EXPECT_NE(Visible(wine), Visible(c.windows))
        << "listed as a Wine difference (" << c.wineDiffers << ") but Wine now agrees";
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, IniDiffRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

class IniDiffWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniDiffWrite, SameAsSystem) {
  const WriteCase& c = GetParam();
  const std::string ours = zeph::ini::SetString(c.contents, c.section, c.key, c.value);
  EXPECT_EQ(Visible(ours), Visible(c.windows)) << "ours is not the file Windows writes";

  // The system writes into one copy and ours goes into the other.
  TempFile system;
  TempFile mine;
  if (c.missingFile) {
    system.Remove();
  } else {
    system.Put(c.contents);
  }
  ASSERT_TRUE(
      WritePrivateProfileStringA(c.section.c_str(), c.key.c_str(), c.value.c_str(), system.path()));
  system.Forget();
  mine.Put(ours);

  for (const Probe& p : c.probes) {
    SCOPED_TRACE("[" + Visible(p.section) + "] " + Visible(p.key));
    EXPECT_EQ(Visible(zeph::ini::GetString(ours, p.section, p.key, kDefault, kBuffer)),
              Visible(p.windows));
    if (c.wineDiffers != nullptr) continue;
    EXPECT_EQ(Visible(mine.Read(p.section, p.key)), Visible(p.windows)) << "system reading ours";
    EXPECT_EQ(Visible(system.Read(p.section, p.key)), Visible(p.windows))
        << "system reading its own (file now: " << Visible(system.Get()) << ")";
  }
  if (c.wineDiffers != nullptr) {
    bool anyDiffers = false;
    for (const Probe& p : c.probes) anyDiffers |= mine.Read(p.section, p.key) != p.windows;
    EXPECT_TRUE(anyDiffers) << "listed as a Wine difference (" << c.wineDiffers
                            << ") but Wine now agrees";
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, IniDiffWrite, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The corpus stays big enough to mean something.
TEST(IniDiffCorpus, Size) {
  EXPECT_GE(kReadCases.size(), 60u);
  EXPECT_GE(kWriteCases.size(), 20u);
}

}  // namespace
}  // namespace zeph::inidiff

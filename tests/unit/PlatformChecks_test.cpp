#include "system/PlatformChecks.h"

#include <gtest/gtest.h>

#include "system/RegistryWriters.h"
#include "system/fake/FakeSystem.h"

namespace zeph {
namespace {

TEST(OsName, Table) {
  struct Row {
    OsVersion v;
    const char* name;
    bool refused;
  } rows[] = {
      {{1, 4, 0}, "Windows 95", true},
      {{1, 4, 10}, "Windows 98", true},
      {{1, 4, 90}, "Windows Mellinnium", true},
      {{1, 4, 3}, "", false},
      {{2, 3, 51}, "Windows NT 3.51", true},
      {{2, 4, 0}, "Windows NT 4.0", true},
      {{2, 5, 0}, "Windows 2000", false},
      {{2, 5, 1}, "Windows XP", false},
      {{2, 5, 2}, "Windows XP", false},
      {{2, 6, 1}, "", false},
      {{2, 10, 0}, "", false},
      {{0, 0, 0}, "Failed", false},
      {{3, 5, 1}, "Failed", false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.name, OsName(r.v)) << r.v.platformId << "." << r.v.major << "." << r.v.minor;
    EXPECT_EQ(r.refused, IsRefusedSystem(OsName(r.v))) << r.name;
  }
}

TEST(SkipAttachedCheck, OnlyFalseInAnyCaseSkips) {
  FakeSystem fake;
  Registry& sys = fake.Seam().registry;
  EXPECT_FALSE(SkipAttachedCheck(sys));  // missing key
  for (auto [value, skip] : {std::pair{"False", true},
                             {"FALSE", true},
                             {"false", true},
                             {"True", false},
                             {"", false},
                             {"False ", false}}) {
    WriteRegString(sys, RegRoot::LocalMachine, "Software\\Thalix\\Kinetra", "CheckAttached", value);
    EXPECT_EQ(skip, SkipAttachedCheck(sys)) << "[" << value << "]";
  }
}

TEST(RegistryWriters, StoreTheDocumentedBytes) {
  FakeSystem fake;
  Registry& sys = fake.Seam().registry;
  WriteRegString(sys, RegRoot::CurrentUser, "Software\\A\\B", "name", "abc");
  auto s = fake.regValues.at("hkcu\\software\\a\\b\\name");
  EXPECT_EQ(kRegSz, s.first);
  EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 'c', 0}), s.second);

  WriteRegDword(sys, RegRoot::CurrentUser, "Software\\A\\B", "name", -1);
  auto d = fake.regValues.at("hkcu\\software\\a\\b\\name");
  EXPECT_EQ(kRegDword, d.first);  // the type is replaced too
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}), d.second);

  WriteRegDword(sys, RegRoot::CurrentUser, "Software\\A\\B", "n", 0x01020304);
  EXPECT_EQ((std::vector<uint8_t>{4, 3, 2, 1}),
            fake.regValues.at("hkcu\\software\\a\\b\\n").second);
}

}  // namespace
}  // namespace zeph

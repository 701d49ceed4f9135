// The Linux desktops: which backend the program starts with, and the
// terminal's output, read from the real standard error.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "system/fake/FakeSystem.h"
#include "system/posix/PosixEventLoop.h"
#include "tray/fake/FakeDesktop.h"
#include "tray/posix/DesktopBackends.h"

namespace zeph::posix {
namespace {

// What fn wrote to standard error.
std::string StandardError(const std::function<void()>& fn) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  const int saved = dup(STDERR_FILENO);
  dup2(fileno(file), STDERR_FILENO);
  fn();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

// Backends that record what was asked of them: "a" is never usable, "b"
// passes its probe and then fails, "c" and "d" can be used.
class Choice : public ::testing::Test {
 protected:
  DesktopBackend Stub(const std::string& name, bool usable, bool makes) {
    return {name,
            [this, name, usable](const DesktopHost&, std::string* why) {
              asked.push_back("probe " + name);
              if (!usable) *why = name + " is not here";
              return usable;
            },
            [this, name, makes](DesktopHost&, std::string* why) -> std::unique_ptr<Desktop> {
              asked.push_back("make " + name);
              if (!makes) {
                *why = name + " refused";
                return nullptr;
              }
              return std::make_unique<FakeDesktop>(log);
            }};
  }
  std::vector<DesktopBackend> Backends() {
    return {Stub("a", false, true), Stub("b", true, false), Stub("c", true, true),
            Stub("d", true, true)};
  }

  FakeSystem sys;
  DesktopHost host{sys.Seam().loop, nullptr};
  std::vector<std::string> asked;
  std::vector<std::string> log;
};

TEST_F(Choice, FirstUsableBackendWinsAndTheOneAskedForIsTriedAlone) {
  struct Row {
    const char* name;
    const char* forced;
    const char* chosen;
    std::vector<std::string> asked;
    const char* note;
  } rows[] = {
      {"none asked for",
       nullptr,
       "c",
       {"probe a", "probe b", "make b", "probe c", "make c"},
       "a: a is not here; the desktop is \"c\"\nb: b refused; the desktop is \"c\""},
      {"empty",
       "",
       "c",
       {"probe a", "probe b", "make b", "probe c", "make c"},
       "a: a is not here; the desktop is \"c\"\nb: b refused; the desktop is \"c\""},
      {"asked for", "d", "d", {"probe d", "make d"}, ""},
      {"asked for, unusable",
       "a",
       "c",
       {"probe a", "probe b", "make b", "probe c", "make c"},
       "ZEPHMONITOR_DESKTOP: the desktop \"a\" cannot be used: a is not here\n"
       "b: b refused; the desktop is \"c\""},
      {"asked for, failing",
       "b",
       "c",
       {"probe b", "make b", "probe a", "probe c", "make c"},
       "ZEPHMONITOR_DESKTOP: the desktop \"b\" cannot be used: b refused\n"
       "a: a is not here; the desktop is \"c\""},
      {"unknown",
       "Terminal",
       "c",
       {"probe a", "probe b", "make b", "probe c", "make c"},
       "ZEPHMONITOR_DESKTOP: no desktop \"Terminal\" (a, b, c, d)\n"
       "a: a is not here; the desktop is \"c\"\nb: b refused; the desktop is \"c\""},
  };
  for (const Row& row : rows) {
    asked.clear();
    DesktopChoice choice = ChooseDesktop(Backends(), host, row.forced);
    EXPECT_NE(nullptr, choice.desktop) << row.name;
    EXPECT_EQ(row.chosen, choice.name) << row.name;
    EXPECT_EQ(row.asked, asked) << row.name;
    EXPECT_EQ(row.note, choice.note) << row.name;
  }

  std::vector<DesktopBackend> none = {Stub("a", false, true), Stub("b", true, false)};
  DesktopChoice nothing = ChooseDesktop(none, host, nullptr);
  EXPECT_EQ(nullptr, nothing.desktop);
  EXPECT_EQ("a: a is not here\nb: b refused", nothing.note);
}

// --- the program's own choice

class LinuxDesktop : public ::testing::Test {
 protected:
  // The variables a test changes, put back afterwards. Without a session
  // bus to begin with, whatever desktop the test runs on.
  void SetUp() override {
    for (const char* name : {kDesktopVariable, "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}) {
      const char* old = getenv(name);
      saved_.push_back({name, old != nullptr ? old : "", old != nullptr});
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const Saved& variable : saved_) {
      if (variable.was) {
        setenv(variable.name, variable.value.c_str(), 1);
      } else {
        unsetenv(variable.name);
      }
    }
  }

  // The box a desktop made now shows; what standard error shows meanwhile.
  std::string BoxOfANewDesktop() {
    return StandardError([&] {
      std::unique_ptr<Desktop> desktop = CreatePlatformDesktop(loop_);
      EXPECT_EQ(BoxAnswer::Yes,
                desktop->ShowBox("Go on?\r\nSure?", "Title", BoxButtons::YesNo, BoxIcon::Question));
    });
  }

  struct Saved {
    const char* name;
    std::string value;
    bool was;
  };
  EventLoop loop_;
  std::vector<Saved> saved_;
};

TEST_F(LinuxDesktop, TerminalIsTheLastBackendAndTheOneLeftWithoutASessionDesktop) {
  const std::vector<DesktopBackend> backends = LinuxDesktopBackends();
  ASSERT_EQ(2u, backends.size());
  EXPECT_EQ("sni", backends.front().name);
  EXPECT_EQ("terminal", backends.back().name);
  DesktopHost bare{loop_, nullptr};
  std::string why;
  EXPECT_TRUE(backends.back().probe(bare, &why)) << why;
  // The tray needs the loop to watch its connection.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/proc/no-such-bus", 1);
  EXPECT_FALSE(backends.front().probe(bare, &why));
  EXPECT_EQ("the event loop watches no descriptors", why);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");

  const std::string box = "=== Title ===\nGo on?\nSure?\n=== Yes ===\n";
  const std::string noBus =
      "sni: no session bus (DBUS_SESSION_BUS_ADDRESS is not set); the desktop is \"terminal\"\n";
  EXPECT_EQ(noBus + box, BoxOfANewDesktop());
  setenv(kDesktopVariable, "terminal", 1);
  EXPECT_EQ(box, BoxOfANewDesktop());
  setenv(kDesktopVariable, "nothing-here", 1);
  const std::string shown = BoxOfANewDesktop();
  EXPECT_EQ(0u, shown.find("ZEPHMONITOR_DESKTOP: no desktop \"nothing-here\" (sni, terminal)\n"))
      << shown;
  EXPECT_NE(std::string::npos, shown.find(")\n" + noBus + box)) << shown;
}

TEST_F(LinuxDesktop, ABusThatCannotBeReachedLeavesTheTerminalWithOneLineThatSaysWhy) {
  const std::string box = "=== Title ===\nGo on?\nSure?\n=== Yes ===\n";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/proc/no-such-bus", 1);
  EXPECT_EQ(
      "sni: cannot connect the session bus: No such file or directory; the desktop is "
      "\"terminal\"\n" +
          box,
      BoxOfANewDesktop());
  // Asked for by name, the tray that cannot be had is said the same way.
  setenv(kDesktopVariable, "sni", 1);
  EXPECT_EQ(
      "ZEPHMONITOR_DESKTOP: the desktop \"sni\" cannot be used: cannot connect the "
      "session bus: No such file or directory\n" +
          box,
      BoxOfANewDesktop());
}

TEST_F(LinuxDesktop, TerminalPrintsTheLatestMenuModelWithTheCommandOfEachEntry) {
  setenv(kDesktopVariable, "terminal", 1);
  std::unique_ptr<Desktop> desktop = CreatePlatformDesktop(loop_);
  std::vector<MenuItem> items = {
      {MenuEntry::About, "About...", true, false},      {std::nullopt, "-", false, false},
      {MenuEntry::EventUtility, "Hidden", false, true}, {std::nullopt, "-", true, false},
      {MenuEntry::Suspend, "Suspend", true, false},     {MenuEntry::Exit, "Exit", true, false},
  };
  desktop->SetMenu(items);
  items[4].checked = true;
  desktop->SetMenu(items);
  EXPECT_EQ(
      "=== Popup Menu ===\n"
      "      About...              about\n"
      "  ----\n"
      "  [x] Suspend               suspend (or SIGUSR1)\n"
      "      Exit                  exit (or SIGTERM)\n"
      "=== end of menu ===\n",
      StandardError([&] { desktop->ShowMenu(); }));
}

}  // namespace
}  // namespace zeph::posix

// The watch loop on the fake system: fake processes appear and end as the
// fake clock moves through the loop's sleeps.
#include <gtest/gtest.h>

#include "tests/unit/FormFixture.h"

namespace zeph::testing {
namespace {

class WatchLoop : public FormFixture {
 protected:
  void SetUp() override {
    AddProfile("racer.wyn", "racer.exe", "Racer");
    AddProfile("flyer.wyn", "flyer.exe", "Flyer");
    AddProcess(4, "C:\\Windows\\system32\\svchost.exe");
    ASSERT_FALSE(Load("-d"));
    sys.log.clear();
    desk.debugLines.clear();
  }

  // The moments the loop calls the activation, the end of the event
  // utility and the end-of-game pass, in order.
  std::vector<std::string> Moments() {
    std::vector<std::string> moments;
    for (size_t i = 0; i < sys.log.size(); ++i) {
      const std::string& e = sys.log[i];
      auto word = [&](size_t at) { return e.substr(at, e.find(' ', at) - at); };
      if (e.rfind("debug Started watching: ", 0) == 0) moments.push_back("activate " + word(24));
      // The end of a game: the event utility closed right before the pass.
      if (e.rfind("debug Stopped watching: ", 0) == 0) {
        if (i > 0 && sys.log[i - 1] == "close-window ZephEvent") moments.push_back("close-event");
        moments.push_back("write-stuff " + word(24));
      }
    }
    return moments;
  }
};

// The activation's reason to stop reaches the form: its box, then the
// closing sequence, with the icon showing the game to the end.
TEST_F(WatchLoop, ProfileMapErrorShowsItsBoxThenCloses) {
  std::string profile = ProfileText("racer.exe", "Racer");
  profile.replace(profile.find(kMaps), kMaps.size(), "[THALIX]\r\n");
  sys.AddFile("C:\\Zeph\\wyn\\racer.wyn", profile);
  AddProcess(200, "D:\\Games\\Racer\\racer.exe");
  EXPECT_TRUE(Tick());
  ASSERT_EQ(1u, desk.boxes.size());
  EXPECT_EQ("Axis Map Error5", desk.boxes[0].text);
  EXPECT_EQ("Thalix Monitor", desk.boxes[0].title);
  EXPECT_EQ(BoxIcon::Critical, desk.boxes[0].icon);
  EXPECT_EQ("", Mode());
  EXPECT_EQ(Mode::None, form.Modes().Current());
  EXPECT_LT(LogIndex("close-window ZephEvent"), LogIndex("end"));
  EXPECT_EQ(IconMessage::Delete, desk.iconCalls.back().message);
  EXPECT_EQ("Thalix Monitor - Watching: Racer", desk.iconCalls.back().tip);
  EXPECT_TRUE(LogOf("run ").empty());  // no controller command was sent
}

TEST_F(WatchLoop, NoGameNoMoments) {
  EXPECT_FALSE(Tick());
  EXPECT_TRUE(Moments().empty());
  EXPECT_EQ(0, sys.nowMs);  // no waiting
}

TEST_F(WatchLoop, GameFoundInAnyLetterCaseIsActivatedAndWaitedFor) {
  AddProcess(200, "D:\\Games\\Racer\\RACER.EXE", 0, 1100);
  EXPECT_FALSE(Tick());
  EXPECT_EQ(
      (std::vector<std::string>{"activate racer.exe", "close-event", "write-stuff RACER.EXE"}),
      Moments());
  EXPECT_EQ("C:\\Zeph\\wyn\\racer.wyn", form.GameActivation().CurrentGame().profile);
  EXPECT_EQ("Racer", form.GameActivation().CurrentGame().appName);
  EXPECT_EQ("RACER.EXE", form.GameActivation().CurrentGame().exe);
  EXPECT_EQ("D:\\Games\\Racer", form.GameActivation().CurrentGame().folder);
  EXPECT_EQ(200u, form.GameActivation().CurrentGame().processId);
  // Debug lines of the activation, exactly.
  ASSERT_GE(desk.debugLines.size(), 3u);
  EXPECT_EQ("Started watching: racer.exe at 12:00:00", desk.debugLines[0]);
  EXPECT_EQ("Path: d:\\games\\racer", desk.debugLines[1]);
  EXPECT_EQ("Process ID: 200", desk.debugLines[2]);
  // Waited in 250 ms cycles until a cycle saw the end, then 250 ms more.
  EXPECT_EQ(1750, sys.nowMs);
  EXPECT_EQ("icon modify Thalix Monitor - Watching: Racer", LogOf("icon")[0]);
  EXPECT_EQ("icon modify Thalix Monitor", LogOf("icon")[1]);
}

// A Windows game under Wine, as the Linux listing gives it: its folder a
// path of this system, its prefix and loader beside it. The activation
// knows the prefix it runs in.
TEST_F(WatchLoop, GameRunByWineCarriesItsPrefixIntoTheActivation) {
  FakeSystem::Process p;
  p.id = 210;
  p.path = "\\home\\ann\\.wine\\drive_c\\Games\\Racer\\Racer.Exe";
  p.endMs = 600;
  p.wine = {"\\home\\ann\\.wine", "\\usr\\lib\\wine\\wine64"};
  sys.processes.push_back(p);
  EXPECT_FALSE(Tick());
  const Game& game = form.GameActivation().CurrentGame();
  EXPECT_EQ("Racer.Exe", game.exe);
  EXPECT_EQ("\\home\\ann\\.wine\\drive_c\\Games\\Racer", game.folder);
  EXPECT_EQ("\\home\\ann\\.wine", game.wine.prefix);
  EXPECT_EQ("\\usr\\lib\\wine\\wine64", game.wine.loader);
  EXPECT_EQ("activate racer.exe", Moments().at(0));
}

TEST_F(WatchLoop, FirstProcessInSystemOrderWinsThenTheOtherFollowsWithoutEndPass) {
  AddProcess(300, "C:\\g\\flyer.exe", 0, 2000);
  AddProcess(301, "C:\\g\\racer.exe", 0, 4000);
  EXPECT_FALSE(Tick());
  EXPECT_EQ((std::vector<std::string>{"activate flyer.exe", "activate racer.exe", "close-event",
                                      "write-stuff racer.exe"}),
            Moments());
  EXPECT_EQ("C:\\Zeph\\wyn\\racer.wyn", form.GameActivation().CurrentGame().profile);
}

TEST_F(WatchLoop, SecondGameStartedDuringTheWaitIsChained) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 1000);
  AddProcess(301, "C:\\g\\flyer.exe", 500, 3000);
  EXPECT_FALSE(Tick());
  EXPECT_EQ((std::vector<std::string>{"activate racer.exe", "activate flyer.exe", "close-event",
                                      "write-stuff flyer.exe"}),
            Moments());
}

TEST_F(WatchLoop, SuspendDuringTheWaitDropsTheGame) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 5000);
  sys.At(600, [&] { form.mPopupSuspend_Click(); });
  EXPECT_FALSE(Tick());
  EXPECT_EQ((std::vector<std::string>{"activate racer.exe"}), Moments());
  EXPECT_LE(sys.nowMs, 600 + 250 + 250);  // left within one cycle
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_EQ(2500, sys.timerInterval);
  EXPECT_EQ("Resume", desk.suspendCaption);
  // Resume while it still runs: activated again at the next tick.
  form.mPopupSuspend_Click();
  EXPECT_EQ("ACTIVE", Mode());
  sys.log.clear();
  EXPECT_FALSE(Tick());
  EXPECT_EQ("activate racer.exe", Moments().front());
}

TEST_F(WatchLoop, ModeChannelSuspendsAndResumesInAnyCase) {
  WriteMode("suspend");
  EXPECT_FALSE(Tick());
  EXPECT_EQ(Mode::Suspend, form.Modes().Current());
  EXPECT_TRUE(form.TrayIcon().SuspendChecked());
  EXPECT_EQ("SUSPEND", Mode());
  EXPECT_EQ(6u, sys.runs.size());  // the controller reset
  // While suspended a watched game is not looked for.
  AddProcess(300, "C:\\g\\racer.exe", 0, 60000);
  EXPECT_FALSE(Tick());
  EXPECT_TRUE(LogOf("open").empty());

  AddProfile("new.wyn", "new.exe");  // picked up by the resume's rebuild
  WriteMode("Active");
  EXPECT_FALSE(Tick());
  EXPECT_EQ(Mode::Active, form.Modes().Current());
  EXPECT_EQ("ACTIVE", Mode());
  EXPECT_EQ(1000, sys.timerInterval);
  EXPECT_NE(nullptr, form.FindWatchEntry("new.exe"));
  auto moments = Moments();  // activated in the same tick
  EXPECT_NE(moments.end(), std::find(moments.begin(), moments.end(), "activate racer.exe"));
}

// Each control-utility run takes a while, and the fake clock runs meanwhile:
// timer ticks and scheduled commands fall due inside its waits.
TEST_F(WatchLoop, NoTickUndoesASuspendWhileItResetsTheController) {
  sys.runMs = [](const std::string&) { return 100; };
  sys.RunUntil(700);
  form.OnSuspendToggle();  // six runs: 700 to 1300, the timer falls due at 1000
  EXPECT_EQ(Mode::Suspend, form.Modes().Current());
  EXPECT_EQ("SUSPEND", Mode());
  sys.RunUntil(8000);
  EXPECT_TRUE(form.TrayIcon().SuspendChecked());
  EXPECT_EQ(Mode::Suspend, form.Modes().Current());
  EXPECT_TRUE(LogOf("debug Monitoring resumed").empty());
}

TEST_F(WatchLoop, SuspendDuringAnActivationStopsItsCommandsAndDropsTheGame) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 60000);
  sys.runMs = [](const std::string&) { return 50; };
  // Six reset runs end at 300 ms; the script runs after them. A suspend at
  // 500, then a resume soon after it, before the wait loop has looked.
  sys.At(500, [&] { form.mPopupSuspend_Click(); });
  sys.At(850, [&] { form.mPopupSuspend_Click(); });
  EXPECT_FALSE(Tick());
  size_t suspended = LogIndex("debug Monitoring suspended at 12:00:00");
  ASSERT_NE(std::string::npos, suspended);
  // After the suspend only its own reset reached the controller.
  std::vector<std::string> after;
  for (size_t i = suspended; i < sys.log.size(); ++i)
    if (sys.log[i].rfind("run ", 0) == 0) after.push_back(sys.log[i]);
  size_t before = 0;
  for (size_t i = 0; i < suspended; ++i)
    if (sys.log[i].rfind("run ", 0) == 0) ++before;
  EXPECT_EQ(4u + 6u + 6u, before) << "reset, four script lines, the suspend's reset";
  EXPECT_TRUE(after.empty());
  EXPECT_EQ(1u, Moments().size());  // no end-of-game pass
  sys.RunUntil(sys.nowMs + 1500);   // resumed: the next tick finds the game afresh
  ASSERT_GE(Moments().size(), 2u);
  EXPECT_EQ("activate racer.exe", Moments()[1]);
}

TEST_F(WatchLoop, SuspendAndResumeLogLines) {
  form.mPopupSuspend_Click();
  form.mPopupSuspend_Click();
  form.mPopupSuspend_Click();
  const std::deque<std::string>& lines = form.Debug().Lines();
  EXPECT_EQ(lines.back(), desk.debugLines.back());
  // Two suspends around a resume: the one after "resumed" needs no extra empty line.
  auto first = std::find(lines.begin(), lines.end(), "Monitoring suspended at 12:00:00");
  ASSERT_NE(lines.end(), first);
  EXPECT_EQ("", *(first + 1));
  auto resumed = std::find(lines.begin(), lines.end(), "Monitoring resumed at 12:00:00");
  ASSERT_NE(lines.end(), resumed);
  EXPECT_EQ("", *(resumed + 1));
  EXPECT_EQ("Monitoring suspended at 12:00:00", lines[lines.size() - 2]);
  EXPECT_EQ("", lines[lines.size() - 3]);
  EXPECT_NE("", lines[lines.size() - 4]);
  EXPECT_EQ(static_cast<int>(lines.size()) - 2, desk.selectedLine);
}

TEST_F(WatchLoop, EmptyModeShutsDownWithoutClosingSequence) {
  WriteMode("");
  EXPECT_TRUE(Tick());
  EXPECT_EQ("", Mode());
  EXPECT_EQ(0, sys.timerInterval);
  EXPECT_EQ(IconMessage::Delete, desk.iconCalls.back().message);
  EXPECT_TRUE(sys.closedWindows.empty());  // the event utility is not closed
  EXPECT_TRUE(sys.runs.empty());           // nor the controller reset
}

TEST_F(WatchLoop, DeletedSettingsFileShutsDown) {
  sys.DropFile("C:\\Zeph\\zephmon.ini");
  EXPECT_TRUE(Tick());
  EXPECT_EQ("", Mode());  // written back empty
}

TEST_F(WatchLoop, UnknownModeShutsDown) {
  WriteMode("PAUSED");
  EXPECT_TRUE(Tick());
}

TEST_F(WatchLoop, KillDuringAGameTakesEffectAfterItEnds) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 1000);
  sys.At(300, [&] { WriteMode(""); });
  EXPECT_TRUE(Tick());
  EXPECT_EQ((std::vector<std::string>{"activate racer.exe"}), Moments());
  EXPECT_GE(sys.nowMs, 1000);
}

TEST_F(WatchLoop, TicksNeverNest) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 5000);
  form.tmrMonitor_Timer();
  // The timer fell due many times during the wait; no tick ran inside it.
  EXPECT_GT(sys.timerExpiries, 3);
  EXPECT_EQ(1u, LogOf("debug Started watching").size());
  EXPECT_EQ(1u, LogOf("open ").size());
}

TEST_F(WatchLoop, UnopenableGameIsNotActivatedAgainAndAgain) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 3000);
  sys.processes.back().openable = false;
  EXPECT_FALSE(Tick());
  EXPECT_FALSE(Tick());
  EXPECT_TRUE(Moments().empty());
  EXPECT_EQ(1u, LogOf("open-failed").size());
  EXPECT_EQ((std::vector<std::string>{"Cannot watch racer.exe (process 300): access denied (5)"}),
            desk.debugLines);
  // Another watched game is still found meanwhile.
  AddProcess(301, "C:\\g\\flyer.exe", 0, 500);
  EXPECT_FALSE(Tick());
  EXPECT_EQ("activate flyer.exe", Moments().front());
}

TEST_F(WatchLoop, ExitDuringTheWaitRunsTheClosingSequence) {
  AddProcess(300, "C:\\g\\racer.exe", 0, 5000);
  sys.At(400, [&] { form.cmdExit_Click(); });
  EXPECT_TRUE(Tick());
  EXPECT_EQ((std::vector<std::string>{"activate racer.exe"}), Moments());
  EXPECT_EQ("close-window ZephEvent", sys.log[sys.log.size() - 5]);  // the closing sequence
  EXPECT_EQ("", Mode());
  EXPECT_EQ(IconMessage::Delete, desk.iconCalls.back().message);
  EXPECT_EQ(0, sys.timerInterval);
}

TEST_F(WatchLoop, RunningTheLoopFromTheTimer) {
  AddProcess(300, "C:\\g\\racer.exe", 2500, 4000);
  sys.RunUntil(10000);
  EXPECT_EQ(
      (std::vector<std::string>{"activate racer.exe", "close-event", "write-stuff racer.exe"}),
      Moments());
}

}  // namespace
}  // namespace zeph::testing

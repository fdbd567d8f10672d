#include "tools/processes.h"

#include "platform/win_constants.h"
#include "tools_fixture.h"

namespace velmora {
namespace {

Handle HandleNumber(std::size_t n) { return reinterpret_cast<Handle>(n); }

class ShellProcessTest : public ToolsTest {
 protected:
  CShellExecProcessImpl MakeWmic() {
    return CShellExecProcessImpl(u"wmic", u"/x \"a b\"", u"open");
  }

  // Runs `wmic_` as a program that takes `runMs`, then moves the clock to
  // `nowMs` with the trace emptied.
  void RunThenGoTo(std::uint32_t runMs, std::uint64_t nowMs) {
    fake.programRunTimesMs[u"wmic"] = runMs;
    wmic_.Run();
    fake.nowMs = nowMs;
    fake.trace.clear();
  }

  CShellExecProcessImpl wmic_{u"wmic", u"", u"open"};
};

TEST_F(ShellProcessTest, StartAsksTheShellForAHandleAndNothingElse) {
  fake.programRunTimesMs[u"C:\\Tools\\report.exe"] = 50;
  CShellExecProcessImpl process(u"C:\\Tools\\report.exe", u"/nfo \"C:\\a b\\x.nfo\"", u"runas");

  EXPECT_EQ(process.Start(0), HandleNumber(1));
  EXPECT_EQ(process.Start(0x00000100), HandleNumber(2));
  ASSERT_EQ(fake.started.size(), 2u);
  for (const ShellExecuteRequest& request : fake.started) {
    EXPECT_EQ(request.file, u"C:\\Tools\\report.exe");
    EXPECT_EQ(request.parameters, u"/nfo \"C:\\a b\\x.nfo\"");
    EXPECT_EQ(request.verb, u"runas");
    EXPECT_EQ(request.show, SW_SHOWNORMAL);
  }
  EXPECT_EQ(fake.started[0].mask, static_cast<std::uint32_t>(SEE_MASK_NOCLOSEPROCESS));
  EXPECT_EQ(fake.started[1].mask, 0x00000100u | SEE_MASK_NOCLOSEPROCESS);
  EXPECT_FALSE(process.IsHeld()) << "Start hands the handle back; only Run keeps it";
  fake.CloseHandle(HandleNumber(1));
  fake.CloseHandle(HandleNumber(2));
}

TEST_F(ShellProcessTest, RunKeepsTheHandleUntilDestructionClosesItOnce) {
  fake.programRunTimesMs[u"wmic"] = 30;
  {
    CShellExecProcessImpl process = MakeWmic();
    EXPECT_FALSE(process.IsHeld());
    process.Run();
    EXPECT_EQ(process.Get(), HandleNumber(1));
    process.WaitForExit();
    EXPECT_EQ(process.Get(), HandleNumber(1)) << "waiting leaves the handle held";
    EXPECT_EQ(fake.Count("Close #1"), 0u);
  }
  EXPECT_EQ(fake.Count("Close #1"), 1u);
  EXPECT_TRUE(fake.processes[0].closed);
}

TEST_F(ShellProcessTest, ProgramThatCannotBeStartedLeavesTheObjectIdle) {
  {
    CShellExecProcessImpl process = MakeWmic();
    process.Run();
    EXPECT_FALSE(process.IsHeld());
    process.WaitForExit();
  }
  EXPECT_EQ(fake.Count("Start wmic"), 1u);
  EXPECT_EQ(Calls({"Wait", "Sleep", "Peek", "Close"}), std::vector<std::string>{})
      << "no wait on nothing, and nothing to close";
}

TEST_F(ShellProcessTest, WaitForExitPollsWithZeroTimeOutsDrainingAndSleepingBetween) {
  RunThenGoTo(25, 0);
  wmic_.WaitForExit();
  const std::vector<std::string> expected = {"Wait #1 0", "Peek", "Sleep 10",  //
                                             "Wait #1 0", "Peek", "Sleep 10",  //
                                             "Wait #1 0", "Peek", "Sleep 10",  //
                                             "Wait #1 0"};
  EXPECT_EQ(fake.trace, expected);
  EXPECT_EQ(fake.nowMs, 30u);
}

TEST_F(ShellProcessTest, WaitForExitOnAnEndedProcessWaitsOnceWithoutDrainingOrSleeping) {
  RunThenGoTo(25, 1000);
  wmic_.WaitForExit();
  EXPECT_EQ(fake.trace, std::vector<std::string>{"Wait #1 0"});
  wmic_.WaitForExit();
  EXPECT_EQ(fake.trace, (std::vector<std::string>{"Wait #1 0", "Wait #1 0"}))
      << "an ended process stays ended";
}

TEST_F(ShellProcessTest, FailedWaitEndsTheWaiting) {
  RunThenGoTo(25, 0);
  fake.processes[0].closed = true;  // the handle has gone bad: waits on it fail
  wmic_.WaitForExit();
  EXPECT_EQ(fake.trace, std::vector<std::string>{"Wait #1 0"});
  EXPECT_EQ(fake.nowMs, 0u);
}

TEST_F(ShellProcessTest, RunAgainWaitsForTheRunningProcessAndClosesItBeforeStartingAnew) {
  RunThenGoTo(25, 0);
  wmic_.Run();

  EXPECT_EQ(wmic_.Get(), HandleNumber(2));
  EXPECT_TRUE(fake.processes[0].closed);
  EXPECT_FALSE(fake.processes[1].closed);
  EXPECT_EQ(fake.nowMs, 30u) << "waited for the first process to end";
  const std::vector<std::string> expected = {"Wait #1 0", "Wait #1 0", "Wait #1 0",
                                             "Wait #1 0", "Close #1",  "Start wmic"};
  EXPECT_EQ(Calls({"Start", "Wait", "Close"}), expected);
}

TEST_F(ShellProcessTest, RunAgainAfterTheProcessEndedClosesAndStartsWithoutSleeping) {
  RunThenGoTo(25, 100);
  wmic_.Run();
  EXPECT_EQ(fake.trace, (std::vector<std::string>{"Wait #1 0", "Close #1", "Start wmic"}));
  EXPECT_EQ(wmic_.Get(), HandleNumber(2));
}

TEST_F(ShellProcessTest, RunAgainWhenTheProgramIsGoneEndsIdle) {
  RunThenGoTo(5, 0);
  fake.programRunTimesMs.clear();
  wmic_.Run();
  EXPECT_FALSE(wmic_.IsHeld());
  EXPECT_EQ(fake.Count("Close #1"), 1u);
}

TEST_F(ShellProcessTest, DestroyingWhileTheProcessRunsClosesWithoutWaiting) {
  fake.programRunTimesMs[u"wmic"] = 1000;
  {
    CShellExecProcessImpl process = MakeWmic();
    process.Run();
    fake.trace.clear();
  }
  EXPECT_EQ(fake.trace, std::vector<std::string>{"Close #1"});
  EXPECT_EQ(fake.nowMs, 0u);
  EXPECT_LT(fake.nowMs, fake.processes[0].endsAtMs) << "the process was left running";
}

// The base class starts nothing: Run leaves it idle and asks the shell for
// nothing.
TEST_F(ShellProcessTest, BaseClassStartsNothing) {
  CStartHandle base;
  EXPECT_EQ(base.Start(0), nullptr);
  base.Run();
  EXPECT_FALSE(base.IsHeld());
  base.WaitForExit();
  base.Release();  // the flag is 0: nothing happens to a local object
  EXPECT_TRUE(fake.trace.empty());
}

class SelfDeletingProcess : public CShellExecProcessImpl {
 public:
  explicit SelfDeletingProcess(bool& destroyed)
      : CShellExecProcessImpl(u"wmic", u"", u"open"), destroyed_(destroyed) {
    selfDelete_ = 1;
  }
  ~SelfDeletingProcess() override { destroyed_ = true; }

 private:
  bool& destroyed_;
};

TEST_F(ShellProcessTest, ReleaseWithTheSelfDeleteFlagDestroysAndFreesTheObject) {
  fake.programRunTimesMs[u"wmic"] = 1000;
  bool destroyed = false;
  CStartHandle* process = new SelfDeletingProcess(destroyed);
  process->Run();
  process->Release();  // the leak checker fails the run if this did not free it
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(fake.Count("Close #1"), 1u);
}

}  // namespace
}  // namespace velmora

// Runs under Wine: programs started through the real shell, waited for,
// re-run and left running.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "recording_platform.h"
#include "tools/processes.h"
#include "win32_test_support.h"

namespace velmora {
namespace {

constexpr DWORD kChildExitCode = 7;

// A handle of our own on the process an object holds, so the process can be
// watched after the object let its handle go.
HANDLE Duplicate(Handle process) {
  HANDLE copy = nullptr;
  EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(process),
                              GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  return copy;
}

// The output file's name has a blank, so the parameters need their quotes.
class Win32Processes : public ScratchFolder {
 protected:
  std::wstring OutputFile() const { return (root / L"command line.txt").wstring(); }

  std::wstring ReadOutput() const {
    std::ifstream file(root / L"command line.txt", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
  }

  RecordingPlatform recording_;
};

TEST_F(Win32Processes, WaitForExitWaitsForTheChildAndKeepsItsHandle) {
  const std::wstring parameters = L"300 \"" + OutputFile() + L"\"";
  CShellExecProcessImpl child(ChildProgram(), FromWideText(parameters), u"open");
  child.Run();
  ASSERT_TRUE(child.IsHeld());
  EXPECT_EQ(::WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  const DWORD before = GetTickCount();
  child.WaitForExit();
  EXPECT_GE(GetTickCount() - before, 250u);
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeProcess(static_cast<HANDLE>(child.Get()), &exitCode))
      << "the handle is still held and open";
  EXPECT_EQ(exitCode, kChildExitCode);

  const std::wstring commandLine = ReadOutput();
  ASSERT_GE(commandLine.size(), parameters.size());
  EXPECT_EQ(commandLine.substr(commandLine.size() - parameters.size()), parameters)
      << "the parameter text reached the child whole";

  // Polled with zero time-outs, the queue drained and 10 ms slept between.
  ASSERT_GE(recording_.Count("Wait 0"), 2u);
  EXPECT_EQ(recording_.Count("Sleep 10"), recording_.Count("Wait 0") - 1);
  EXPECT_EQ(recording_.Count("Peek"), recording_.Count("Wait 0") - 1);
  EXPECT_EQ(recording_.Count("Close"), 0u);
}

TEST_F(Win32Processes, WaitForExitOnAnIdleObjectOrAnEndedChildDoesNotSleep) {
  CShellExecProcessImpl child(ChildProgram(), u"0", u"open");
  child.WaitForExit();
  EXPECT_TRUE(recording_.calls.empty()) << "idle: nothing to wait for";

  child.Run();
  ASSERT_TRUE(child.IsHeld());
  ASSERT_EQ(::WaitForSingleObject(child.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  recording_.calls.clear();
  child.WaitForExit();
  EXPECT_EQ(recording_.calls, std::vector<std::string>{"Wait 0"});
}

TEST_F(Win32Processes, RunAgainWaitsForTheRunningChildAndClosesItsHandleFirst) {
  CShellExecProcessImpl child(ChildProgram(), u"300", u"open");
  child.Run();
  ASSERT_TRUE(child.IsHeld());
  const Handle first = child.Get();
  HANDLE watch = Duplicate(first);

  child.Run();
  EXPECT_EQ(::WaitForSingleObject(watch, 0), static_cast<DWORD>(WAIT_OBJECT_0))
      << "the first child ended before the second started";
  ASSERT_TRUE(child.IsHeld());
  EXPECT_EQ(::WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the second child runs";
  ASSERT_EQ(recording_.closed, std::vector<Handle>{first});
  const auto& calls = recording_.calls;
  const auto close = std::find(calls.begin(), calls.end(), "Close");
  EXPECT_EQ(std::count(close, calls.end(), "Start"), 1) << "closed before the second start";

  child.WaitForExit();
  CloseHandle(watch);
}

TEST_F(Win32Processes, DestroyingTheObjectClosesItsHandleOnceAndLeavesTheChildRunning) {
  HANDLE watch = nullptr;
  Handle held = nullptr;
  {
    CShellExecProcessImpl child(ChildProgram(), u"5000", u"open");
    child.Run();
    ASSERT_TRUE(child.IsHeld());
    held = child.Get();
    watch = Duplicate(held);
    recording_.calls.clear();
  }
  EXPECT_EQ(recording_.calls, std::vector<std::string>{"Close"}) << "closed without waiting";
  EXPECT_EQ(recording_.closed, std::vector<Handle>{held});
  EXPECT_EQ(::WaitForSingleObject(watch, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the child still runs";
  TerminateProcess(watch, 0);
  CloseHandle(watch);
}

TEST_F(Win32Processes, ProgramThatCannotBeFoundLeavesTheObjectIdle) {
  CShellExecProcessImpl missing(u"velmora-no-such-program.exe", u"/x", u"open");
  missing.Run();
  EXPECT_FALSE(missing.IsHeld());
  missing.WaitForExit();
  EXPECT_EQ(recording_.calls, std::vector<std::string>{"Start"});
}

}  // namespace
}  // namespace velmora

// Runs under Wine: the queue drain with real windows, one registered with the
// wide calls and one with the ANSI calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "recording_platform.h"
#include "tools/processes.h"
#include "tools/pump_messages.h"
#include "win32_test_support.h"

namespace velmora {
namespace {

using Received = std::tuple<HWND, UINT, WPARAM>;
std::vector<Received> g_received;

template <bool kWide>
LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP || message == WM_CHAR) g_received.emplace_back(window, message, wParam);
  return kWide ? DefWindowProcW(window, message, wParam, lParam)
               : DefWindowProcA(window, message, wParam, lParam);
}

class Win32Messages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW wide = {};
    wide.lpfnWndProc = Procedure<true>;
    wide.hInstance = GetModuleHandleW(nullptr);
    wide.lpszClassName = L"VelmoraWideTestWindow";
    ASSERT_NE(RegisterClassW(&wide), 0);
    WNDCLASSA ansi = {};
    ansi.lpfnWndProc = Procedure<false>;
    ansi.hInstance = GetModuleHandleW(nullptr);
    ansi.lpszClassName = "VelmoraAnsiTestWindow";
    ASSERT_NE(RegisterClassA(&ansi), 0);
  }

  void SetUp() override {
    g_received.clear();
    // Message-only windows: never shown, but with a queue and a procedure.
    wide_ = CreateWindowExW(0, L"VelmoraWideTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    ansi_ = CreateWindowExA(0, "VelmoraAnsiTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(wide_, nullptr);
    ASSERT_NE(ansi_, nullptr);
    ASSERT_TRUE(::IsWindowUnicode(wide_));
    ASSERT_FALSE(::IsWindowUnicode(ansi_));
    DrainQueue();  // whatever creating the windows queued
    g_received.clear();
  }

  void TearDown() override {
    DestroyWindow(wide_);
    DestroyWindow(ansi_);
    DrainQueue();
  }

  static void DrainQueue() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  static bool QueueIsEmpty() {
    MSG msg;
    return !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }

  HWND wide_ = nullptr;
  HWND ansi_ = nullptr;
};

TEST_F(Win32Messages, EachWindowGetsItsMessagesThroughTheMatchingCallsAndQuitIsDropped) {
  RecordingPlatform recording;
  // A character no ANSI code page holds: taken off with GetMessageA it
  // would reach the wide window as '?'.
  const WPARAM kHan = 0x4E2D;
  ASSERT_TRUE(PostMessageW(wide_, WM_APP + 1, 1, 0));
  ASSERT_TRUE(PostMessageA(ansi_, WM_APP + 2, 2, 0));
  ASSERT_TRUE(PostMessageW(wide_, WM_CHAR, kHan, 0));
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 9, 9, 0));  // no window
  PostQuitMessage(0);

  PumpMessages();

  const std::vector<Received> received = {
      {wide_, WM_APP + 1, 1}, {ansi_, WM_APP + 2, 2}, {wide_, WM_CHAR, kHan}};
  EXPECT_EQ(g_received, received) << "wide window served by GetMessageW/DispatchMessageW";

  const std::vector<std::string> expected = {
      "Peek", "GetMessageW", "TranslateMessage", "DispatchMessageW",  // wide window
      "Peek", "GetMessageA", "TranslateMessage", "DispatchMessageA",  // ANSI window
      "Peek", "GetMessageW", "TranslateMessage", "DispatchMessageW",  // wide window
      "Peek", "GetMessageA", "TranslateMessage", "DispatchMessageA",  // thread message
      "Peek", "GetMessageA",                                          // quit: dropped
      "Peek"};
  EXPECT_EQ(recording.calls, expected);
  EXPECT_TRUE(QueueIsEmpty());
}

// A quit message that arrives while a process runs is taken off and the wait
// goes on until the process has ended; the windows are served meanwhile.
TEST_F(Win32Messages, WaitingServesWindowsAndOutlastsAQuitMessage) {
  RecordingPlatform recording;
  CShellExecProcessImpl child(ChildProgram(), u"300", u"open");
  child.Run();
  ASSERT_TRUE(child.IsHeld());
  PostQuitMessage(0);
  ASSERT_TRUE(PostMessageA(ansi_, WM_APP + 4, 4, 0));

  child.WaitForExit();
  EXPECT_EQ(::WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(g_received, (std::vector<Received>{{ansi_, WM_APP + 4, 4}}));
  EXPECT_EQ(recording.Count("DispatchMessageA"), 1u);
  EXPECT_EQ(recording.Count("DispatchMessageW"), 0u);
  EXPECT_TRUE(QueueIsEmpty());
}

}  // namespace
}  // namespace velmora

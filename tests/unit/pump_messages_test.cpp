#include "tools/pump_messages.h"

#include "platform/win_constants.h"
#include "tools/processes.h"
#include "tools_fixture.h"

namespace velmora {
namespace {

const Window kWideWindow = reinterpret_cast<Window>(0x10);
const Window kAnsiWindow = reinterpret_cast<Window>(0x20);
constexpr std::uint32_t kWmApp = 0x8000;

Message Post(Window window, std::uint32_t message, std::uintptr_t wParam = 0) {
  Message posted;
  posted.window = window;
  posted.message = message;
  posted.wParam = wParam;
  return posted;
}

std::vector<std::uintptr_t> WParams(const std::vector<Message>& messages) {
  std::vector<std::uintptr_t> values;
  for (const Message& message : messages) values.push_back(message.wParam);
  return values;
}

class PumpMessagesTest : public ToolsTest {
 protected:
  PumpMessagesTest() { fake.unicodeWindows.insert(kWideWindow); }
};

TEST_F(PumpMessagesTest, EmptyQueueIsOnePeek) {
  PumpMessages();
  EXPECT_EQ(fake.trace, std::vector<std::string>{"Peek"});
}

TEST_F(PumpMessagesTest, EachMessageGoesThroughTheCallsItsWindowExpects) {
  fake.queue = {Post(kWideWindow, kWmApp, 1), Post(kAnsiWindow, kWmApp, 2),
                Post(nullptr, kWmApp, 3), Post(kWideWindow, kWmApp, 4)};
  PumpMessages();

  const std::vector<std::string> expected = {
      "Peek", "GetMessageW", "TranslateMessage", "DispatchMessageW",  //
      "Peek", "GetMessageA", "TranslateMessage", "DispatchMessageA",  //
      "Peek", "GetMessageA", "TranslateMessage", "DispatchMessageA",  // no window: not wide
      "Peek", "GetMessageW", "TranslateMessage", "DispatchMessageW",  //
      "Peek"};
  EXPECT_EQ(fake.trace, expected);
  EXPECT_EQ(WParams(fake.translated), (std::vector<std::uintptr_t>{1, 2, 3, 4}));
  EXPECT_EQ(WParams(fake.dispatchedW), (std::vector<std::uintptr_t>{1, 4}));
  EXPECT_EQ(WParams(fake.dispatchedA), (std::vector<std::uintptr_t>{2, 3}));
  EXPECT_TRUE(fake.queue.empty());
}

TEST_F(PumpMessagesTest, QuitMessageIsTakenOffAndDroppedAndTheDrainGoesOn) {
  fake.queue = {Post(kWideWindow, kWmApp, 1), Post(nullptr, WM_QUIT, 7),
                Post(kWideWindow, WM_QUIT, 8), Post(kAnsiWindow, kWmApp, 2)};
  PumpMessages();

  EXPECT_TRUE(fake.queue.empty());
  EXPECT_EQ(WParams(fake.translated), (std::vector<std::uintptr_t>{1, 2}));
  EXPECT_EQ(WParams(fake.dispatchedW), (std::vector<std::uintptr_t>{1}));
  EXPECT_EQ(WParams(fake.dispatchedA), (std::vector<std::uintptr_t>{2}));
  EXPECT_EQ(fake.Count("GetMessageA"), 2u);
  EXPECT_EQ(fake.Count("GetMessageW"), 2u);
}

// While a process runs, the queue is drained once per poll, before each
// sleep; a quit message on the way does not end the wait.
TEST_F(PumpMessagesTest, WaitingDrainsOncePerPollAndOutlastsAQuitMessage) {
  fake.programRunTimesMs[u"wmic"] = 30;
  CShellExecProcessImpl process(u"wmic", u"", u"open");
  process.Run();
  std::uintptr_t posted = 0;
  OnSleep([&] {
    ++posted;
    fake.queue.push_back(Post(nullptr, WM_QUIT));
    fake.queue.push_back(Post(kWideWindow, kWmApp, posted));
  });

  process.WaitForExit();
  EXPECT_EQ(fake.nowMs, 30u) << "waited until the process ended";
  EXPECT_EQ(WParams(fake.dispatchedW), (std::vector<std::uintptr_t>{1, 2}))
      << "posted during the first two sleeps, drained by the following polls";
  EXPECT_TRUE(fake.dispatchedA.empty()) << "quit messages are never dispatched";
  ASSERT_EQ(fake.queue.size(), 2u) << "the last sleep's messages wait for the next drain";
  EXPECT_EQ(fake.queue.back().wParam, 3u);
}

}  // namespace
}  // namespace velmora

// Unit tests of the report tools: the fake's programs run on its virtual
// clock, which a wait that never ends would move on for ever; the watchdog
// turns that into a failure instead of a hung test.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform_fixture.h"

namespace velmora {

class ToolsTest : public PlatformTest {
 protected:
  static constexpr std::uint64_t kGiveUpMs = 2 * 60 * 60 * 1000;

  ToolsTest() {
    fake.onSleep = [this] { CheckClock(); };
  }

  // Runs `action` after every Sleep, besides the watchdog.
  void OnSleep(std::function<void()> action) {
    fake.onSleep = [this, action] {
      CheckClock();
      action();
    };
  }

  // The traced calls that begin with one of `kinds` ("Wait", "Close" ...),
  // in order.
  std::vector<std::string> Calls(const std::vector<std::string>& kinds) const {
    std::vector<std::string> calls;
    for (const std::string& call : fake.trace) {
      for (const std::string& kind : kinds) {
        if (call.compare(0, kind.size(), kind) == 0) {
          calls.push_back(call);
          break;
        }
      }
    }
    return calls;
  }

  // Position of the first traced `call` at or after `from`; the trace's size
  // when there is none.
  std::size_t Find(const std::string& call, std::size_t from = 0) const {
    for (std::size_t i = from; i < fake.trace.size(); ++i) {
      if (fake.trace[i] == call) return i;
    }
    return fake.trace.size();
  }

 private:
  void CheckClock() const {
    if (fake.nowMs > kGiveUpMs) throw std::runtime_error("the wait never ended");
  }
};

}  // namespace velmora

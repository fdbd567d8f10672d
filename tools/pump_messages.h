#pragma once

namespace velmora {

// Handles every message waiting in the thread's queue, each through the
// wide or the ANSI calls as its window expects; a quit message is taken off
// and dropped. Returns once the queue is empty.
void PumpMessages();

}  // namespace velmora

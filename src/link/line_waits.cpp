#include "link/line_waits.h"

#include <cstddef>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQuietFor = std::chrono::milliseconds(20);
constexpr auto kQuietGiveUp = std::chrono::milliseconds(100);
// How often the queues are looked at: a device on a 9600 line sends a byte
// every 1.04 ms.
constexpr std::uint32_t kLookEveryUs = 500;

}  // namespace

LineWait WaitForQuietLine(SerialPort* port) {
  const Clock::time_point start = Clock::now();
  Clock::time_point lastByte = start;
  for (;;) {
    std::size_t waiting = 0;
    if (!QueuedBytes(port, PortQueue::kInput, &waiting)) return LineWait::kFailed;
    const Clock::time_point now = Clock::now();
    if (waiting > 0) {
      if (!PurgePort(port, PurgeQueues::kInputOnly)) return LineWait::kFailed;
      lastByte = now;
    }
    if (now - lastByte >= kQuietFor) return LineWait::kDone;
    if (now - start >= kQuietGiveUp) {
      return PurgePort(port, PurgeQueues::kInputOnly) ? LineWait::kTimedOut : LineWait::kFailed;
    }
    if (!PausePort(port, kLookEveryUs)) return LineWait::kFailed;
  }
}

LineWait WaitForDrain(SerialPort* port, Clock::time_point deadline) {
  for (;;) {
    std::size_t queued = 0;
    if (!QueuedBytes(port, PortQueue::kOutput, &queued)) return LineWait::kFailed;
    if (queued == 0) return LineWait::kDone;
    if (Clock::now() >= deadline) return LineWait::kTimedOut;
    if (!PausePort(port, kLookEveryUs)) return LineWait::kFailed;
  }
}

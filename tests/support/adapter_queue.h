// The output queue of a USB serial adapter as its driver reports it, for the
// tests to put in place of a pseudo-terminal's, which is empty the moment a
// write returns: the bytes of each write count as queued until they have left
// at 9600 baud (1.04 ms a byte), plus 1 ms for their trip over USB. Used by
// the fault-injection tests and by the library preloaded into Wine.
#ifndef CORVELLE_TESTS_SUPPORT_ADAPTER_QUEUE_H
#define CORVELLE_TESTS_SUPPORT_ADAPTER_QUEUE_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace testing_line {

class AdapterOutputQueue {
 public:
  // `count` bytes were handed to the driver now; they queue behind any still there.
  void Wrote(std::size_t count) {
    const std::int64_t now = Now();
    std::int64_t empty = emptyAt_.load();
    const std::int64_t from = empty > now ? empty : now;
    emptyAt_.store(from + kUsbTrip + static_cast<std::int64_t>(count) * kByteTime);
  }

  // The bytes the driver still holds.
  int Queued() const {
    const std::int64_t left = emptyAt_.load() - Now();
    return left <= 0 ? 0 : static_cast<int>((left + kByteTime - 1) / kByteTime);
  }

 private:
  static constexpr std::int64_t kByteTime = 1042;  // microseconds, ten bits at 9600 baud
  static constexpr std::int64_t kUsbTrip = 1000;

  static std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  std::atomic<std::int64_t> emptyAt_{0};
};

}  // namespace testing_line

#endif

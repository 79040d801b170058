// Counts of this process's open descriptors and threads, for leak checks.
#ifndef CORVELLE_TESTS_SUPPORT_PROCESS_COUNTS_H
#define CORVELLE_TESTS_SUPPORT_PROCESS_COUNTS_H

#include <chrono>
#include <filesystem>
#include <thread>

namespace testing_process {

inline int CountEntries(const char* folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

inline int OpenDescriptors() {
  return CountEntries("/proc/self/fd");
}
inline int Threads() {
  return CountEntries("/proc/self/task");
}

// The thread count once it has come down to `expected`, or after a second.
// The worker is detached and ends just after it opens the gate, so right
// after an operation it may still be on its way out.
inline int ThreadsOnceSettledAt(int expected) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (Threads() != expected && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Threads();
}

}  // namespace testing_process

#endif

// Counts of this process's open descriptors and threads, for leak checks.
#ifndef CORVELLE_TESTS_SUPPORT_PROCESS_COUNTS_H
#define CORVELLE_TESTS_SUPPORT_PROCESS_COUNTS_H

#include <filesystem>

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

}  // namespace testing_process

#endif

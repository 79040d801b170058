// What both benchmark programs measure with: summaries of repeated runs, and a
// running process's threads, context switches and resident memory from /proc.
#ifndef CORVELLE_BENCH_MEASURE_H
#define CORVELLE_BENCH_MEASURE_H

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/timeline.h"

namespace bench {

struct Stats {
  double min = 0, median = 0, max = 0;
};

inline Stats Summarise(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {values.front(), median, values.back()};
}

inline std::string Fixed(double value, int decimals = 1) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

inline std::string Row(const Stats& s, int decimals = 1) {
  return Fixed(s.min, decimals) + " | " + Fixed(s.median, decimals) + " | " +
         Fixed(s.max, decimals);
}

// One look at a process: its threads, the context switches of all of them so
// far, and its resident memory.
struct ProcessSample {
  int threads = 0;
  int poolThreads = 0;  // named "Thread (pooled)": Qt's global thread pool
  long long switches = 0;
  long residentKiB = 0;
};

inline long long StatusField(const std::string& path, const std::string& field) {
  std::ifstream status(path);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atoll(line.c_str() + field.size() + 1);
  }
  return 0;
}

inline ProcessSample SampleProcess(pid_t pid) {
  ProcessSample sample;
  const std::string base = "/proc/" + std::to_string(pid);
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(base + "/task", ec)) {
    ++sample.threads;
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name == "Thread (pooled)") ++sample.poolThreads;
    const std::string status = task.path().string() + "/status";
    sample.switches += StatusField(status, "voluntary_ctxt_switches") +
                       StatusField(status, "nonvoluntary_ctxt_switches");
  }
  sample.residentKiB = static_cast<long>(StatusField(base + "/status", "VmRSS"));
  return sample;
}

// A program left alone between two samples `seconds` apart.
struct Idle {
  int threads;
  int poolThreads;
  double switchesPerSecond;
  double residentMiB;
};

inline Idle IdleBetween(const ProcessSample& before, const ProcessSample& after, int seconds) {
  return {after.threads, after.poolThreads,
          static_cast<double>(after.switches - before.switches) / seconds,
          after.residentKiB / 1024.0};
}

// The idle table of a program against its minimal window, and the difference.
inline void PrintIdle(const char* ours, const Idle& a, const char* minimal, const Idle& b) {
  std::printf(
      "| program | threads | of them Qt's pool | context switches per second | resident MiB |\n"
      "|---|---|---|---|---|\n");
  for (const auto& [name, idle] : {std::pair{ours, a}, {minimal, b}}) {
    std::printf("| %s | %d | %d | %s | %s |\n", name, idle.threads, idle.poolThreads,
                Fixed(idle.switchesPerSecond).c_str(), Fixed(idle.residentMiB).c_str());
  }
  std::printf("\nDifference: %+d threads, %+.1f switches per second, %+.1f MiB resident.\n",
              a.threads - b.threads, a.switchesPerSecond - b.switchesPerSecond,
              a.residentMiB - b.residentMiB);
}

// The start-up table of a program against its minimal window, and the ratio.
inline void PrintStartUp(const char* ours, const std::vector<double>& a, const char* minimal,
                         const std::vector<double>& b) {
  const Stats o = Summarise(a), m = Summarise(b);
  std::printf("| program | min ms | median ms | max ms |\n|---|---|---|---|\n");
  std::printf("| %s | %s |\n| %s | %s |\n", ours, Row(o).c_str(), minimal, Row(m).c_str());
  std::printf("\nRatio of the medians: %s\n", Fixed(o.median / m.median, 2).c_str());
}

// The table of every operation's steps against their nominal moments.
// `runOnce(op, lateness)` carries out `op` once and appends how late each step
// showed, in milliseconds, to lateness[step]; a step seen fewer times than
// `runs` is reported missing.
template <typename RunOnce>
void PrintTimingFidelity(int runs, RunOnce runOnce) {
  std::printf(
      "| operation | step | nominal ms | min | median | max |\n|---|---|---|---|---|---|\n");
  for (const timeline::Operation* operation : timeline::kOperations) {
    const timeline::Operation& op = *operation;
    std::vector<std::vector<double>> lateness(op.steps.size());
    for (int run = 0; run < runs; ++run) runOnce(op, lateness);
    for (std::size_t i = 0; i < op.steps.size(); ++i) {
      const bool outcome = i + 1 == op.steps.size();
      const std::string label = outcome ? "outcome" : std::to_string(i + 1) + ". progress";
      std::printf("| %s | %s | %d | %s |\n", op.name, label.c_str(), op.steps[i].atMs,
                  lateness[i].size() == static_cast<std::size_t>(runs)
                      ? Row(Summarise(lateness[i])).c_str()
                      : ("missing: " + op.steps[i].text).c_str());
    }
  }
}

}  // namespace bench

#endif

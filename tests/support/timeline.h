// Each operation's message line as the technician should see it, with the
// port at hand and the device answering: every text and the moment after the
// command at which it is due. The one place where these moments are written
// down (the texts are those of texts.h); the scenario runners, the other
// tests and the benchmark all read them.
#ifndef CORVELLE_TESTS_SUPPORT_TIMELINE_H
#define CORVELLE_TESTS_SUPPORT_TIMELINE_H

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/texts.h"
#include "view/control_ids.h"

namespace timeline {

struct Due {
  std::string text;
  int atMs;  // after the command
};

// The progress line: kStops[n] is 2n ideographic full stops.
inline const std::string kStops[] = {"",
                                     "。。",
                                     "。。。。",
                                     "。。。。。。",
                                     "。。。。。。。。",
                                     "。。。。。。。。。。",
                                     "。。。。。。。。。。。。",
                                     "。。。。。。。。。。。。。。",
                                     "。。。。。。。。。。。。。。。。"};

struct Operation {
  const char* name;
  int command;
  std::vector<int> openingsAtMs;  // when "open serial port success" shows
  std::vector<Due> steps;         // progress, then the outcome
  std::string failure;            // the outcome when no reply comes

  const Due& Outcome() const { return steps.back(); }
};

// Each request waits for the line to have been quiet this long after the
// port's opening; the operation's own waits count from the request. On a line
// that never goes quiet it goes after kQuietGiveUp.
inline constexpr int kQuiet = 20;
inline constexpr int kQuietGiveUp = 100;

// clang-format off
inline const Operation kConnect = {"Connect", IDC_CONNECT, {}, {{texts::kOpenSuccess, 0}}, ""};

inline const Operation kReadSetting = {
    "ReadSetting", IDC_READ_SETTING, {0},
    {{kStops[1], kQuiet + 500}, {kStops[2], kQuiet + 1500}, {kStops[3], kQuiet + 2500},
     {texts::kSettingReadSuccess, kQuiet + 3500}},
    texts::kSettingReadFail};

inline const Operation kReadColdPort = {
    "ReadColdPort", IDC_READ_COLD_PORT, {0},
    {{kStops[1], kQuiet}, {kStops[2], kQuiet + 1000}, {texts::kColdPortReadSuccess, kQuiet + 2100}},
    texts::kColdPortReadFail};

inline const Operation kSet = {
    "Set", IDOK, {0},
    {{kStops[1], kQuiet}, {kStops[2], kQuiet + 1000}, {texts::kSetComplete, kQuiet + 2000}},
    texts::kSetFail};

// The device settles for 8.5 s after the command's second, then the read-back
// opens the port again and makes its own request.
constexpr int kReadBack = kQuiet + 9500;
inline const Operation kCalibrate = {
    "Calibrate", IDC_CALIBRATE_COLD_PORT, {0, kReadBack},
    {{kStops[1], kQuiet + 1000}, {kStops[2], kQuiet + 2000}, {kStops[3], kQuiet + 3000},
     {kStops[4], kQuiet + 4000}, {kStops[5], kQuiet + 5000}, {kStops[6], kQuiet + 6000},
     {kStops[7], kQuiet + 7000}, {kStops[8], kQuiet + 8000}, {kStops[1], kReadBack + kQuiet},
     {kStops[2], kReadBack + kQuiet + 1000}, {texts::kCalibrateSuccess, kReadBack + kQuiet + 2600}},
    texts::kColdPortReadFail};
// clang-format on

// How a test that takes an operation as its parameter names it.
inline void PrintTo(const Operation* op, std::ostream* os) {
  *os << op->name;
}

inline const Operation* const kOperations[] = {&kReadSetting, &kReadColdPort, &kSet, &kCalibrate};

// The whole message line in order: the openings' success and the steps, the
// outcome replaced by `outcome` when one is given. Without `portAtHand` the
// openings fail and show nothing, and no request waits for a quiet line; with
// it, each request waits `quietMs`.
inline std::vector<Due> MessageLine(const Operation& op, const std::string& outcome = "",
                                    bool portAtHand = true, int quietMs = kQuiet) {
  std::vector<Due> line;
  if (portAtHand) {
    for (int at : op.openingsAtMs) line.push_back({texts::kOpenSuccess, at});
  }
  for (Due due : op.steps) {
    // Each opening is followed by its request, which waits for a quiet line
    // first; a port that does not open sends nothing, and waits for nothing.
    const int nominal = due.atMs;
    const int waited = portAtHand ? quietMs : 0;
    for (int at : op.openingsAtMs) due.atMs += at < nominal ? waited - kQuiet : 0;
    line.push_back(due);
  }
  if (!outcome.empty()) line.back().text = outcome;
  std::stable_sort(line.begin(), line.end(),
                   [](const Due& a, const Due& b) { return a.atMs < b.atMs; });
  return line;
}

// The same line `ms` later, as when a box held the worker that long.
inline std::vector<Due> Later(std::vector<Due> line, int ms) {
  for (Due& due : line) due.atMs += ms;
  return line;
}

}  // namespace timeline

#endif

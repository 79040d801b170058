// Each operation's message line as the user should see it: every text and the
// moment after the command at which it is due.
#ifndef CORVELLE_BENCH_NOMINAL_H
#define CORVELLE_BENCH_NOMINAL_H

#include <string>
#include <vector>

#include "ops/cold_port.h"
#include "ops/operation_worker.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "view/control_ids.h"

namespace bench {

struct DueText {
  std::string text;
  int atMs;
};

struct Operation {
  const char* name;
  int command;
  std::vector<DueText> steps;
};

inline std::vector<Operation> Operations() {
  auto stops = [](int n, int at) { return DueText{FullStops(n), at}; };
  std::vector<DueText> calibrate;
  for (int n = 2; n <= 16; n += 2) calibrate.push_back(stops(n, 500 * n));
  calibrate.push_back(stops(2, 9500));
  calibrate.push_back(stops(4, 10500));
  calibrate.push_back({kCalibrateSuccess, 12100});
  return {
      {"read 1",
       IDC_READ_SETTING,
       {stops(2, 500), stops(4, 1500), stops(6, 2500), {kSettingReadSuccess, 3500}}},
      {"read cold port",
       IDC_READ_COLD_PORT,
       {stops(2, 0), stops(4, 1000), {kColdPortReadSuccess, 2100}}},
      {"set", IDOK, {stops(2, 0), stops(4, 1000), {kSettingSetComplete, 2000}}},
      {"calibrate cold port", IDC_CALIBRATE_COLD_PORT, calibrate},
  };
}

}  // namespace bench

#endif

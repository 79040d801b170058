// The fixed timings of each operation are behaviour: every progress step and
// every outcome shows at its moment after the command, never before it, and
// only a little after it even on a loaded machine. Built natively only: the
// sanitizers slow everything down.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ops/cold_port.h"
#include "ops/operation_worker.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "tests/support/sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_view::ViewEvent;

// A step may show this much after its moment; never before it.
constexpr double kLateMs = 30.0;

struct Step {
  std::string text;
  int atMs;
};

struct TimingCase {
  const char* name;
  int command;
  std::vector<Step> steps;  // the message line after the command, in order
};

void PrintTo(const TimingCase& c, std::ostream* os) {
  *os << c.name;
}

class TimingTest : public testing_sim::SimTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(TimingTest, EveryStepShowsAtItsMomentNeverEarly) {
  const TimingCase& c = GetParam();
  FillSetFields(3, 0, "1000", "0");
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  const auto start = Clock::now();
  RunCommand(c.command);
  std::vector<ViewEvent> shown;
  for (const auto& e : view_.Events()) {
    if (e.kind == ViewEvent::kSetText && e.controlId == IDC_MESSAGE && e.text != kOpenSuccess) {
      shown.push_back(e);
    }
  }
  ASSERT_EQ(shown.size(), c.steps.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].text, c.steps[i].text);
    const double at =
        std::chrono::duration<double, std::milli>(shown[i].at - start).count() - c.steps[i].atMs;
    EXPECT_GE(at, 0.0) << "'" << shown[i].text << "' came " << -at << " ms early";
    EXPECT_LE(at, kLateMs) << "'" << shown[i].text << "' came " << at << " ms late";
  }
}

std::vector<Step> Progress(std::vector<int> moments) {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < moments.size(); ++i) {
    steps.push_back({FullStops(2 * static_cast<int>(i + 1)), moments[i]});
  }
  return steps;
}

std::vector<Step> Then(std::vector<Step> steps, std::vector<Step> more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}

INSTANTIATE_TEST_SUITE_P(
    EachOperation, TimingTest,
    ::testing::Values(
        TimingCase{"ReadSetting", IDC_READ_SETTING,
                   Then(Progress({500, 1500, 2500}), {{kSettingReadSuccess, 3500}})},
        TimingCase{"ReadColdPort", IDC_READ_COLD_PORT,
                   Then(Progress({0, 1000}), {{kColdPortReadSuccess, 2100}})},
        TimingCase{"Set", IDOK, Then(Progress({0, 1000}), {{kSettingSetComplete, 2000}})},
        TimingCase{"Calibrate", IDC_CALIBRATE_COLD_PORT,
                   Then(Progress({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000}),
                        Then(Progress({9500, 10500}), {{kCalibrateSuccess, 12100}}))}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

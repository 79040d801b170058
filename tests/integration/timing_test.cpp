// The fixed timings of each operation are behaviour: every progress step and
// every outcome shows at its moment after the command, never before it, and
// only a little after it even on a loaded machine. Built natively only: the
// sanitizers slow everything down.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/support/timeline.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_view::ViewEvent;

// A step may show this much after its moment; never before it.
constexpr double kLateMs = 30.0;

class TimingTest : public testing_sim::SimTest,
                   public ::testing::WithParamInterface<const timeline::Operation*> {};

TEST_P(TimingTest, EveryStepShowsAtItsMomentNeverEarly) {
  const timeline::Operation& op = *GetParam();
  FillSetFields(3, 0, "1000", "0");
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  const auto start = Clock::now();
  RunCommand(op.command);
  std::vector<ViewEvent> shown;
  for (const auto& e : view_.Events()) {
    if (e.kind == ViewEvent::kSetText && e.controlId == IDC_MESSAGE &&
        e.text != timeline::kOpenSuccess) {
      shown.push_back(e);
    }
  }
  ASSERT_EQ(shown.size(), op.steps.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].text, op.steps[i].text);
    const double at =
        std::chrono::duration<double, std::milli>(shown[i].at - start).count() - op.steps[i].atMs;
    EXPECT_GE(at, 0.0) << "'" << shown[i].text << "' came " << -at << " ms early";
    EXPECT_LE(at, kLateMs) << "'" << shown[i].text << "' came " << at << " ms late";
  }
}

INSTANTIATE_TEST_SUITE_P(EachOperation, TimingTest, ::testing::ValuesIn(timeline::kOperations),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace

// The integration tests' fixture: a simulated transmitter on a pseudo-terminal
// (simulated_line.h) and a recording view standing in for the window.
#ifndef CORVELLE_TESTS_SUPPORT_SIM_FIXTURE_H
#define CORVELLE_TESTS_SUPPORT_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ops/command_dispatch.h"
#include "tests/support/recording_view.h"
#include "tests/support/simulated_line.h"
#include "view/control_ids.h"

namespace testing_sim {

class SimTest : public ::testing::Test, protected SimulatedLine {
 protected:
  void SetUp() override { ASSERT_TRUE(StartLine()); }

  void TearDown() override {
    // A detached worker may still be finishing its operation.
    if (!WaitForFlag(readyForCommand, 1, 20s)) {
      ADD_FAILURE() << "locked out: the window never accepted commands again";
      // The worker still uses the view and the device, so both stay alive.
      (void)ownedView_.release();
      StopLine(true);
      return;
    }
    StopLine();
  }

  DialogHandle dialog() { return view_.Handle(); }

  // Gives command `id` and waits until the window accepts commands again.
  void RunCommand(int id) {
    OnCommand(dialog(), id);
    WaitForGate();
  }

  void WaitForGate() {
    ASSERT_TRUE(WaitForFlag(readyForCommand, 1, 20s)) << "the window never accepted commands again";
  }

  // Fills what the set command reads: sensor and sign list choices, max and min.
  void FillSetFields(int sensor, int sign, const char* max, const char* min) {
    view_.Select(IDC_SENSOR_TYPE, sensor);
    view_.Select(IDC_MIN_SIGN, sign);
    view_.SetText(IDC_INPUT_MAX, max);
    view_.SetText(IDC_INPUT_MIN, min);
  }

  std::unique_ptr<testing_view::RecordingView> ownedView_ =
      std::make_unique<testing_view::RecordingView>();
  testing_view::RecordingView& view_ = *ownedView_;
};

}  // namespace testing_sim

#endif

// A simulated transmitter in a private folder, and the shared state of the
// core reset to how the program starts, for integration tests.
#ifndef CORVELLE_TESTS_SUPPORT_SIM_FIXTURE_H
#define CORVELLE_TESTS_SUPPORT_SIM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "link/port_discovery.h"
#include "link/serial_link.h"
#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "tests/support/recording_view.h"
#include "tools/sim/simulated_transmitter.h"
#include "view/control_ids.h"

namespace testing_sim {

using namespace std::chrono_literals;

inline std::string MakeTempFolder() {
  char pattern[] = "/tmp/corvelle-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}

inline void UsePort(const std::string& name) {
  std::memset(portName, 0, sizeof portName);
  std::strncpy(portName, name.c_str(), sizeof portName - 1);
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    setenv("CORVELLE_PORT_DIR", folder_.c_str(), 1);  // discovery sees this simulator last
    sim::SimOptions options;
    options.linkDir = folder_;
    device_ = std::make_unique<sim::SimulatedTransmitter>(options);
    UsePort(device_->PortPath());
    replyArrived.store(0);
    OperationState.store(STATE_IDLE);
    readyForCommand.store(1);
  }

  void TearDown() override {
    // A detached worker may still be finishing its operation.
    WaitUntilReady();
    if (readyForCommand.load() != 1) {
      ADD_FAILURE() << "locked out: the window never accepted commands again";
      // The worker still uses the view and the device, so both stay alive.
      (void)ownedView_.release();
      (void)device_.release();
      return;
    }
    device_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  DialogHandle dialog() { return view_.Handle(); }

  // Gives command `id` and waits until the window accepts commands again.
  void RunCommand(int id) {
    OnCommand(dialog(), id);
    WaitForGate();
  }

  void WaitForGate() {
    WaitUntilReady();
    ASSERT_EQ(readyForCommand.load(), 1) << "the window never accepted commands again";
  }

  // Fills what the set command reads: sensor and sign list choices, max and min.
  void FillSetFields(int sensor, int sign, const char* max, const char* min) {
    view_.Select(IDC_SENSOR_TYPE, sensor);
    view_.Select(IDC_MIN_SIGN, sign);
    view_.SetText(IDC_INPUT_MAX, max);
    view_.SetText(IDC_INPUT_MIN, min);
  }

  static void WaitUntilReady() {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (readyForCommand.load() != 1 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(2ms);
    }
  }

  std::string folder_;
  std::unique_ptr<sim::SimulatedTransmitter> device_;
  std::unique_ptr<testing_view::RecordingView> ownedView_ =
      std::make_unique<testing_view::RecordingView>();
  testing_view::RecordingView& view_ = *ownedView_;
};

}  // namespace testing_sim

#endif

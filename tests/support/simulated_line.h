// A simulated transmitter on a pseudo-terminal, published in a private folder
// that discovery is pointed at, with the core's shared state as the program
// starts, and the port set-ups the tests need. Shared by the integration
// tests, the Qt window's tests and the benchmark; no test framework in here.
#ifndef CORVELLE_TESTS_SUPPORT_SIMULATED_LINE_H
#define CORVELLE_TESTS_SUPPORT_SIMULATED_LINE_H

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/port_discovery.h"
#include "link/serial_link.h"
#include "ops/operation_state.h"
#include "tools/sim/simulated_transmitter.h"

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

// Waits until `flag` holds `value`, looking every few milliseconds; whether
// it does by the end of `timeout`.
template <typename Flag, typename Value>
bool WaitForFlag(const Flag& flag, Value value, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (flag.load() != value && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(2ms);
  }
  return flag.load() == value;
}

class SimulatedLine {
 public:
  // Makes the folder and the transmitter, points discovery and portName at
  // it, and resets the flags. False when the folder cannot be made.
  bool StartLine() {
    folder_ = MakeTempFolder();
    if (folder_.empty()) return false;
    setenv("CORVELLE_PORT_DIR", folder_.c_str(), 1);  // discovery sees this simulator last
    sim::SimOptions options;
    options.linkDir = folder_;
    device_ = std::make_unique<sim::SimulatedTransmitter>(options);
    UsePort(device_->PortPath());
    replyArrived.store(0);
    OperationState.store(STATE_IDLE);
    readyForCommand.store(1);
    return true;
  }

  // Ends the transmitter and removes the folder. `stillInUse` keeps both for
  // a worker that never ended and may still use them.
  void StopLine(bool stillInUse = false) {
    if (stillInUse) {
      (void)device_.release();
      return;
    }
    device_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // The frames that reached the device, in order.
  std::vector<sim::Bytes> FramesOnTheWire() const {
    std::vector<sim::Bytes> frames;
    for (const auto& f : device_->Frames()) frames.push_back(f.bytes);
    return frames;
  }

  // portName names a device that is not there.
  void MakePortMissing() { UsePort(folder_ + "/unplugged"); }

  // Holds the port the way another program would, so that openings fail.
  bool HoldPort(PortHandle& holder, DialogHandle dialog) {
    return OpenPortForCommand(holder, dialog);
  }

  // Whether the simulator's terminal carries an exclusive claim, which would
  // keep every other ordinary user out.
  bool TerminalClaimed() const {
    const int fd = open(device_->TerminalPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int flag = -1;
    ioctl(fd, TIOCGEXCL, &flag);
    close(fd);
    return flag != 0;
  }

  std::string folder_;
  std::unique_ptr<sim::SimulatedTransmitter> device_;
};

}  // namespace testing_sim

#endif

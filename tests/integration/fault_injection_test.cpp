// Faults injected beneath the serial primitives: the test binary is linked with
// --wrap for tcsetattr, write, read and poll, so the wrappers below stand
// between the POSIX serial code and the C library and can make the calls on
// the simulator's terminal fail. Each fault must produce its message, release
// everything, and leave the window usable.
#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "view/control_ids.h"
#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "ops/cold_port.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"

namespace {

std::atomic<bool> refuseConfiguration{false};
std::atomic<bool> failWrites{false};
std::atomic<bool> failReads{false};
char terminalPath[256];  // the simulator's terminal; only its descriptors fail

bool IsTerminal(int fd) {
  char link[64];
  char target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  return std::string(target) == terminalPath;
}

}  // namespace

extern "C" {
int __real_tcsetattr(int fd, int action, const termios* t);
ssize_t __real_write(int fd, const void* buffer, size_t count);
ssize_t __real_read(int fd, void* buffer, size_t count);
int __real_poll(pollfd* fds, nfds_t count, int timeout);

int __wrap_tcsetattr(int fd, int action, const termios* t) {
  if (refuseConfiguration && IsTerminal(fd)) {
    errno = EINVAL;
    return -1;
  }
  return __real_tcsetattr(fd, action, t);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
  if (failWrites && IsTerminal(fd)) {
    errno = EIO;
    return -1;
  }
  return __real_write(fd, buffer, count);
}

ssize_t __wrap_read(int fd, void* buffer, size_t count) {
  if (failReads && IsTerminal(fd)) {
    errno = EIO;
    return -1;
  }
  return __real_read(fd, buffer, count);
}

// A failing read only shows once the port is readable, so the port's poll
// reports it readable at once while reads fail.
int __wrap_poll(pollfd* fds, nfds_t count, int timeout) {
  if (failReads) {
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].events & POLLIN) && IsTerminal(fds[i].fd)) {
        for (nfds_t j = 0; j < count; ++j) fds[j].revents = 0;
        fds[i].revents = POLLIN;
        return 1;
      }
    }
  }
  return __real_poll(fds, count, timeout);
}
}

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FaultInjectionTest : public testing_sim::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    const std::string path = device_->TerminalPath();
    std::snprintf(terminalPath, sizeof terminalPath, "%s", path.c_str());
    fds_ = testing_process::OpenDescriptors();
    threads_ = testing_process::Threads();
  }

  void TearDown() override {
    refuseConfiguration = failWrites = failReads = false;
    SimTest::TearDown();
  }

  // After the fault is gone the same window works again, and nothing leaked.
  void ExpectRecovered() {
    refuseConfiguration = failWrites = failReads = false;
    view_.ClearEvents();
    device_->SetColdPortTenths(-52);
    RunCommand(IDC_READ_COLD_PORT);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), kColdPortReadSuccess);
    EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "-5.2");
    EXPECT_TRUE(view_.Tips().empty());
    EXPECT_EQ(testing_process::OpenDescriptors(), fds_);
    EXPECT_EQ(testing_process::Threads(), threads_);
  }

  void PrepareSet() { FillSetFields(1, 0, "850", "0"); }

  bool TipsFromOtherThread() const {
    for (const auto& e : view_.Events()) {
      if (e.kind == testing_view::ViewEvent::kTips && e.thread != std::this_thread::get_id())
        return true;
    }
    return false;
  }

  int fds_ = 0;
  int threads_ = 0;
};

TEST_F(FaultInjectionTest, ConfigurationRefusedOnTheUserInterfaceThread) {
  refuseConfiguration = true;
  OnCommand(dialog(), IDC_CONNECT);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{"failed to set serial port parameters"});
  EXPECT_FALSE(TipsFromOtherThread());
  EXPECT_EQ(readyForCommand.load(), 1);

  // The set command goes on to send on the unconfigured port, but reports
  // that its frame did not reach a configured port.
  view_.ClearEvents();
  PrepareSet();
  RunCommand(IDOK);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{"failed to set serial port parameters"});
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingSetFail);
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, ConfigurationRefusedOnTheWorker) {
  refuseConfiguration = true;
  RunCommand(IDC_READ_SETTING);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{"failed to set serial port parameters"});
  EXPECT_TRUE(TipsFromOtherThread());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingReadFail);
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, WriteFailureOnTheUserInterfaceThread) {
  failWrites = true;
  PrepareSet();
  RunCommand(IDOK);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{"send data fail"});
  EXPECT_FALSE(TipsFromOtherThread());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingSetFail);
  EXPECT_TRUE(device_->Frames().empty());
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, WriteFailureOnTheWorker) {
  failWrites = true;
  RunCommand(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{"send data fail"});
  EXPECT_TRUE(TipsFromOtherThread());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kColdPortReadFail);
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, ReadErrorEndsTheOperationAsAFailureWithoutABox) {
  failReads = true;
  for (int id : {IDC_READ_SETTING, IDC_READ_COLD_PORT}) {
    view_.ClearEvents();
    RunCommand(id);
    EXPECT_TRUE(view_.Tips().empty());
    EXPECT_EQ(view_.Text(IDC_MESSAGE),
              id == IDC_READ_SETTING ? kSettingReadFail : kColdPortReadFail);
  }
  ExpectRecovered();
}

}  // namespace

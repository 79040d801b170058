// Faults injected beneath the serial primitives: the test binary is linked with
// --wrap for tcsetattr, write, read, poll, pipe2 and pthread_create (and with
// the C++ runtime linked in, so that std::thread's call is wrapped too), so the
// wrappers below stand between the program and the C library and can make the
// calls on the simulator's terminal, or any thread start, fail. Each fault must
// produce its message, release everything, and leave the window usable.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ops/cold_port.h"
#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"
#include "view/control_ids.h"

namespace {

std::atomic<bool> refuseConfiguration{false};
std::atomic<bool> configureHalfway{false};  // tcsetattr succeeds but sets two stop bits
std::atomic<bool> failWrites{false};
std::atomic<bool> failReads{false};
std::atomic<bool> stallReads{false};  // a read wait that ignores its cancel for a while
std::atomic<bool> failPipes{false};
std::atomic<bool> failThreads{false};
constexpr auto kStall = std::chrono::milliseconds(1500);
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
int __real_pipe2(int fds[2], int flags);
int __real_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument);

int __wrap_tcsetattr(int fd, int action, const termios* t) {
  if (refuseConfiguration && IsTerminal(fd)) {
    errno = EINVAL;
    return -1;
  }
  if (configureHalfway && IsTerminal(fd)) {
    termios partly = *t;
    partly.c_cflag |= CSTOPB;
    return __real_tcsetattr(fd, action, &partly);
  }
  return __real_tcsetattr(fd, action, t);
}

int __wrap_pipe2(int fds[2], int flags) {
  if (failPipes) {
    errno = EMFILE;
    return -1;
  }
  return __real_pipe2(fds, flags);
}

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument) {
  if (failThreads) return EAGAIN;
  return __real_pthread_create(thread, attributes, start, argument);
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
  if (stallReads) {
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].events & POLLIN) && IsTerminal(fds[i].fd)) {
        // Deaf to the wake-up pipe, like a driver that ignores the cancel.
        std::this_thread::sleep_for(kStall);
        for (nfds_t j = 0; j < count; ++j) fds[j].revents = 0;
        return 0;
      }
    }
  }
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
    ClearFaults();
    SimTest::TearDown();
  }

  static void ClearFaults() {
    refuseConfiguration = configureHalfway = failWrites = failReads = false;
    stallReads = failPipes = failThreads = false;
  }

  // After the fault is gone the same window works again, and nothing leaked.
  void ExpectRecovered() {
    ClearFaults();
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

// A configuration that is refused outright, or that takes only in part: the
// port is left at line settings nobody chose, so nothing may be sent on it.
struct RefusalCase {
  std::atomic<bool>* fault;
  const char* name;
};
const RefusalCase kRefusals[] = {{&refuseConfiguration, "refused"},
                                 {&configureHalfway, "half applied"}};
const std::vector<std::string> kRefusedThenNotOpen = {kSetParametersFail, kPortNotOpen};

TEST_F(FaultInjectionTest, ConfigurationRefusedOnTheUserInterfaceThreadSendsNothing) {
  for (const RefusalCase& c : kRefusals) {
    SCOPED_TRACE(c.name);
    view_.ClearEvents();
    *c.fault = true;
    OnCommand(dialog(), IDC_CONNECT);
    EXPECT_EQ(view_.Tips(), std::vector<std::string>{kSetParametersFail});
    EXPECT_FALSE(TipsFromOtherThread());
    EXPECT_EQ(readyForCommand.load(), 1);

    view_.ClearEvents();
    PrepareSet();
    RunCommand(IDOK);
    EXPECT_EQ(view_.Tips(), kRefusedThenNotOpen);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingSetFail);
    *c.fault = false;
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(device_->Frames().empty()) << "a frame went out at unchosen line settings";
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, ConfigurationRefusedOnTheWorkerSendsNothing) {
  for (int id : {IDC_READ_SETTING, IDC_READ_COLD_PORT}) {
    view_.ClearEvents();
    refuseConfiguration = true;
    RunCommand(id);
    EXPECT_EQ(view_.Tips(), kRefusedThenNotOpen);
    EXPECT_TRUE(TipsFromOtherThread());
    EXPECT_EQ(view_.Text(IDC_MESSAGE),
              id == IDC_READ_SETTING ? kSettingReadFail : kColdPortReadFail);
  }
  EXPECT_TRUE(device_->Frames().empty());
  ExpectRecovered();
}

// The calibrate command's own frame never reaches the device, which still
// answers the read-back within a degree of the entry: that is no calibration.
TEST_F(FaultInjectionTest, CalibrationWhoseFrameWasNotSentIsNeverASuccess) {
  struct Case {
    std::atomic<bool>* fault;
    std::vector<std::string> tips;
  };
  const Case cases[] = {{&refuseConfiguration, kRefusedThenNotOpen}, {&failWrites, {kSendFail}}};
  for (const Case& c : cases) {
    view_.ClearEvents();
    device_->ClearRecords();
    device_->SetColdPortTenths(250);
    view_.SetText(IDC_COLD_PORT_TEMP, "25.3");
    *c.fault = true;
    // Only the first phase meets the fault.
    view_.OnTips([&](const std::string&) { *c.fault = false; });
    RunCommand(IDC_CALIBRATE_COLD_PORT);
    view_.OnTips(nullptr);
    EXPECT_EQ(view_.Tips(), c.tips);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), kCalibrateFail);
    std::vector<sim::Bytes> frames;
    for (const auto& f : device_->Frames()) frames.push_back(f.bytes);
    EXPECT_EQ(frames, std::vector<sim::Bytes>{{'E'}}) << "only the read-back reached the device";
  }
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, WriteFailureOnTheUserInterfaceThread) {
  failWrites = true;
  PrepareSet();
  RunCommand(IDOK);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{kSendFail});
  EXPECT_FALSE(TipsFromOtherThread());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingSetFail);
  EXPECT_TRUE(device_->Frames().empty());
  ExpectRecovered();
}

TEST_F(FaultInjectionTest, WriteFailureOnTheWorker) {
  failWrites = true;
  RunCommand(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{kSendFail});
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

// No thread can be started: the opening's reader fails the opening with its
// box, and each command ends with its operation's failure text. The window
// stays usable.
TEST_F(FaultInjectionTest, ThreadsThatCannotStartAreReported) {
  struct Case {
    int id;
    std::vector<std::string> tips;
    const char* message;
  };
  const Case cases[] = {
      {IDC_CONNECT, {kReaderStartFail}, kOpenSuccess},
      {IDC_READ_SETTING, {}, kSettingReadFail},
      {IDC_READ_COLD_PORT, {}, kColdPortReadFail},
      {IDOK, {kReaderStartFail, kPortNotOpen}, kSettingSetFail},
      {IDC_CALIBRATE_COLD_PORT, {}, kCalibrateFail},
  };
  PrepareSet();
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    view_.ClearEvents();
    failThreads = true;
    OnCommand(dialog(), c.id);
    failThreads = false;
    EXPECT_EQ(view_.Tips(), c.tips);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), c.message);
    EXPECT_EQ(readyForCommand.load(), 1);
    EXPECT_EQ(OperationState.load(), STATE_IDLE);
  }
  ExpectRecovered();
}

// A reader that ignores its cancel: the close gives up on it after its bound,
// the reader publishes nothing when it finally ends, and meanwhile the device
// counts as held by someone else instead of hanging the next opening.
TEST_F(FaultInjectionTest, ReaderThatIgnoresItsCancelNeitherHangsNorPublishes) {
  stallReads = true;
  PortHandle port;
  ASSERT_TRUE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kSetting));
  std::this_thread::sleep_for(50ms);  // the reader is inside its wait
  replyArrived.store(1);
  auto start = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - start, 700ms);

  start = Clock::now();
  PortHandle next;
  EXPECT_FALSE(OpenPortWithReader(next, dialog(), portName, ReplyKind::kSetting));
  EXPECT_LT(Clock::now() - start, 200ms);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{OpenFailureText(portName)});

  std::this_thread::sleep_for(kStall);  // the stalled reader ends now
  EXPECT_EQ(replyArrived.load(), 1) << "the abandoned reader published its failure";
  replyArrived.store(0);
  ExpectRecovered();
}

// An opening that fails leaves no exclusive claim on the terminal behind, and
// neither does the owner's close of one that opened but was not configured.
TEST_F(FaultInjectionTest, FailedOpeningsLeaveTheTerminalUnclaimed) {
  auto exclusive = [&] {
    const int fd = open(terminalPath, O_RDWR | O_NOCTTY | O_NONBLOCK);
    int flag = -1;
    ioctl(fd, TIOCGEXCL, &flag);
    close(fd);
    return flag;
  };
  for (std::atomic<bool>* fault : {&failPipes, &refuseConfiguration}) {
    *fault = true;
    PortHandle port;
    EXPECT_FALSE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kNone));
    port.Close();
    *fault = false;
    EXPECT_EQ(exclusive(), 0);
  }
  ExpectRecovered();
}

}  // namespace

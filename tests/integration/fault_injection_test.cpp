// Faults injected beneath the serial primitives: the test binary is linked with
// --wrap for tcsetattr, tcflush, ioctl, flock, write, read, poll, readdir,
// fstat and pthread_create (and with the C++ runtime linked in, so that
// std::thread's and std::filesystem's calls are wrapped too), so the wrappers
// below stand between the program and the C library and can make the calls on
// the simulator's terminal, or any thread start, fail or misbehave, and the
// terminal answer for the serial flags as an FTDI adapter's driver does. Each fault
// must produce its message, release everything, and leave the window usable.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
#include "tests/support/adapter_queue.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/texts.h"
#include "view/control_ids.h"

namespace {

std::atomic<bool> refuseConfiguration{false};
std::atomic<bool> configureHalfway{false};  // tcsetattr succeeds but sets two stop bits
std::atomic<bool> failWrites{false};
std::atomic<bool> failReads{false};
std::atomic<bool> stallReads{false};  // a read wait that ignores its cancel for a while
std::atomic<bool> failLocks{false};
std::atomic<bool> readZeroOnce{false};     // one read finds nothing after all
std::atomic<bool> stallFirstPurge{false};  // the reader's purge takes longer than its start
std::atomic<bool> outputCountLags{false};  // the driver still reports bytes after a write
std::atomic<bool> behindAnAdapter{false};  // the output queue trails each write as a USB adapter's
testing_line::AdapterOutputQueue adapterQueue;
std::atomic<bool> failListing{false};   // a folder vanishes while it is listed
std::atomic<bool> foreignTerminal{false};  // the terminal belongs to another user
std::atomic<int> threadStartsLeft{-1};  // how many more threads may start; -1: any
std::atomic<bool> outputCountFails{false};  // the output count, once a write has been made
std::atomic<bool> inputCountFails{false};
std::atomic<bool> inputNeverQuiet{false};  // the input count never comes back to zero
// The reader is held up after the request, as on a busy machine, until the
// answer has begun to arrive.
std::atomic<bool> readerHeldUp{false};
// The terminal's serial flags, as the driver of an FTDI adapter (ftdi_sio)
// keeps them; a pty has none. With lowLatencyRefused it refuses a change.
std::atomic<bool> lowLatencyRefused{false};
std::atomic<int> serialFlags{0};
// Stale bytes that an adapter hands over in bursts, each a while after the
// opening's purge, once its latency timer runs out. Left alone once armed.
struct StaleBytes {
  sim::SimulatedTransmitter* device;
  std::vector<std::chrono::milliseconds> after;
  sim::Bytes bytes;
};
std::atomic<const StaleBytes*> staleInTheAdapter{nullptr};
std::atomic<std::chrono::steady_clock::time_point> lastStaleBurst{};
const sim::Bytes kNoise = {0x01, 0x02, 0x42, 6, 4, 0xB0, 0x80, 0xC8, 1, 0, 0};
std::atomic<int> outputQueriesSinceWrite{0};
std::atomic<bool> wrote{false};
std::atomic<int> outputFlushesAfterWrite{0};
constexpr auto kStall = std::chrono::milliseconds(1500);
constexpr auto kPurgeStall = std::chrono::milliseconds(2500);
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
int __real_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument);
int __real_tcflush(int fd, int queue);
int __real_ioctl(int fd, unsigned long request, void* argument);
int __real_flock(int fd, int operation);
struct dirent* __real_readdir(DIR* folder);
int __real_fstat(int fd, struct stat* info);

// What another user's terminal looks like to an ordinary user: the same, but
// for its owner.
int __wrap_fstat(int fd, struct stat* info) {
  const int result = __real_fstat(fd, info);
  if (result == 0 && foreignTerminal && IsTerminal(fd)) info->st_uid = 4242;
  return result;
}

// The faults are looked at before the descriptor: the simulator's thread
// writes and reads from before the test has noted which terminal is its own.
int __wrap_tcflush(int fd, int queue) {
  if ((stallFirstPurge || outputCountLags) && IsTerminal(fd)) {
    if (stallFirstPurge.exchange(false)) std::this_thread::sleep_for(kPurgeStall);
    if (wrote && queue != TCIFLUSH) ++outputFlushesAfterWrite;
  }
  const int result = __real_tcflush(fd, queue);
  if (staleInTheAdapter.load() != nullptr && IsTerminal(fd)) {
    if (const StaleBytes* stale = staleInTheAdapter.exchange(nullptr)) {
      std::thread([stale, purged = std::chrono::steady_clock::now()] {
        for (const auto after : stale->after) {
          std::this_thread::sleep_until(purged + after);
          lastStaleBurst = std::chrono::steady_clock::now();
          stale->device->Inject(stale->bytes);
        }
      }).detach();
    }
  }
  return result;
}

// With outputCountLags, the first look at the output queue after a write finds
// it empty, and every later one finds bytes there: a count that trails what
// the adapter really holds.
int __wrap_ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if ((request == TIOCGSERIAL || request == TIOCSSERIAL) && IsTerminal(fd)) {
    auto* serial = static_cast<serial_struct*>(argument);
    if (request == TIOCGSERIAL) {
      *serial = serial_struct{};
      serial->flags = serialFlags;
      return 0;
    }
    if (lowLatencyRefused.exchange(false)) {
      errno = EPERM;
      return -1;
    }
    serialFlags = serial->flags;
    return 0;
  }
  const int result = __real_ioctl(fd, request, argument);
  if (result == 0 && request == TIOCOUTQ && outputCountLags && IsTerminal(fd) &&
      outputQueriesSinceWrite++ > 0) {
    *static_cast<int*>(argument) = 4;
  }
  if (result == 0 && request == TIOCOUTQ && behindAnAdapter && IsTerminal(fd)) {
    *static_cast<int*>(argument) = adapterQueue.Queued();
  }
  if (result == 0 && request == FIONREAD && inputNeverQuiet && IsTerminal(fd)) {
    *static_cast<int*>(argument) = 1;
  }
  // A count that can no longer be had, as when the device has gone; the
  // output's only once, in the drain after a write.
  if ((request == FIONREAD && inputCountFails && IsTerminal(fd)) ||
      (request == TIOCOUTQ && wrote && outputCountFails && IsTerminal(fd) &&
       outputCountFails.exchange(false))) {
    errno = EIO;
    return -1;
  }
  return result;
}

int __wrap_flock(int fd, int operation) {
  if (failLocks && IsTerminal(fd)) {
    errno = EWOULDBLOCK;
    return -1;
  }
  return __real_flock(fd, operation);
}

// The fourth entry of every listing fails as it does when the folder is
// removed while it is read: past "." and ".." and the first real entry, so
// that it is the iterator's step to the next entry that meets it.
struct dirent* __wrap_readdir(DIR* folder) {
  static thread_local DIR* last = nullptr;
  static thread_local int count = 0;
  if (folder != last) {
    last = folder;
    count = 0;
  }
  if (failListing && ++count == 4) {
    errno = ENOENT;
    return nullptr;
  }
  return __real_readdir(folder);
}

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

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument) {
  int left = threadStartsLeft.load();
  while (left >= 0) {
    if (left == 0) return EAGAIN;
    if (threadStartsLeft.compare_exchange_weak(left, left - 1)) break;
  }
  return __real_pthread_create(thread, attributes, start, argument);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
  if (failWrites && IsTerminal(fd)) {
    errno = EIO;
    return -1;
  }
  const ssize_t written = __real_write(fd, buffer, count);
  if (written > 0 && behindAnAdapter && IsTerminal(fd)) {
    adapterQueue.Wrote(static_cast<std::size_t>(written));
  }
  if ((outputCountLags || outputCountFails || readerHeldUp) && IsTerminal(fd)) {
    outputQueriesSinceWrite = 0;
    wrote = true;
  }
  return written;
}

ssize_t __wrap_read(int fd, void* buffer, size_t count) {
  if (failReads && IsTerminal(fd)) {
    errno = EIO;
    return -1;
  }
  if (readZeroOnce && IsTerminal(fd) && readZeroOnce.exchange(false)) return 0;
  return __real_read(fd, buffer, count);
}

// A failing read only shows once the port is readable, so the port's poll
// reports it readable at once while reads fail.
int __wrap_poll(pollfd* fds, nfds_t count, int timeout) {
  if (readerHeldUp && wrote && count > 0 && (fds[0].events & POLLIN) && IsTerminal(fds[0].fd) &&
      readerHeldUp.exchange(false)) {
    int waiting = 0;
    for (int i = 0; i < 200 && waiting == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      __real_ioctl(fds[0].fd, FIONREAD, &waiting);
    }
  }
  if (stallReads) {
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].events & POLLIN) && IsTerminal(fds[i].fd) && stallReads.exchange(false)) {
        // Deaf to the wake-up pipe for a while, like a driver that ignores
        // the cancel, and then a wait as any other.
        std::this_thread::sleep_for(kStall);
        break;
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
    stallReads = failLocks = readZeroOnce = stallFirstPurge = false;
    outputCountLags = behindAnAdapter = failListing = foreignTerminal = wrote = false;
    outputCountFails = inputCountFails = inputNeverQuiet = readerHeldUp = false;
    lowLatencyRefused = false;
    serialFlags = 0;
    outputFlushesAfterWrite = 0;
    threadStartsLeft = -1;
    staleInTheAdapter = nullptr;
  }

  // After the fault is gone the same window works again, and nothing leaked.
  void ExpectRecovered() {
    ClearFaults();
    view_.ClearEvents();
    device_->SetColdPortTenths(-52);
    RunCommand(IDC_READ_COLD_PORT);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kColdPortReadSuccess);
    EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "-5.2");
    EXPECT_TRUE(view_.Tips().empty());
    EXPECT_EQ(testing_process::OpenDescriptors(), fds_);
    EXPECT_EQ(testing_process::ThreadsOnceSettledAt(threads_), threads_);
  }

  // The set command's fields, and the calibrate command's entry.
  void PrepareSet() {
    FillSetFields(1, 0, "850", "0");
    view_.SetText(IDC_COLD_PORT_TEMP, "23.4");
  }

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

// One fault beneath the serial code, one command: the fault's box, from the
// thread that met it, the operation's failure text as the last thing the
// window shows, nothing on the wire that should not be there, and the window
// working again afterwards with nothing leaked.
struct FaultCase {
  const char* name;
  std::atomic<bool>* fault;
  int command;
  std::vector<std::string> tips;  // %s stands for the port's name
  bool tipsOnWorker;
  std::string message;  // the message line's last text
  std::vector<sim::Bytes> frames;
  bool once = false;  // the fault takes effect once; it must have been used up
  std::chrono::milliseconds settle{0};  // for a stalled step to end before the next command
  std::vector<std::pair<int, std::string>> fields = {};  // what they show afterwards
  std::vector<sim::Misbehaviour> device = {};            // what the device does meanwhile
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

const sim::Misbehaviour kPieces{sim::Misbehaviour::kPieces, 0, 20, {}};

// What PrepareSet's fields send.
const sim::Bytes kSetFrame = {0x44, 1, 0x03, 0x52, 0, 0, 1, 0, 0, 0, 0};

const std::vector<std::string> kRefusedThenNotOpen = {texts::kSetParametersFail,
                                                      texts::kPortNotOpen};

// A configuration refused outright, or taken only in part (two stop bits read
// back), leaves the port at line settings nobody chose: nothing is sent on it.
const FaultCase kFaultCases[] = {
    {"ConfigurationRefusedConnect", &refuseConfiguration, IDC_CONNECT,
     {texts::kSetParametersFail}, false, "", {}},
    {"ConfigurationHalfAppliedConnect", &configureHalfway, IDC_CONNECT,
     {texts::kSetParametersFail}, false, "", {}},
    {"ConfigurationRefusedSet", &refuseConfiguration, IDOK, kRefusedThenNotOpen, false,
     texts::kSetFail, {}},
    {"ConfigurationHalfAppliedSet", &configureHalfway, IDOK, kRefusedThenNotOpen, false,
     texts::kSetFail, {}},
    {"ConfigurationRefusedReadSetting", &refuseConfiguration, IDC_READ_SETTING,
     kRefusedThenNotOpen, true, texts::kSettingReadFail, {}},
    {"ConfigurationRefusedReadColdPort", &refuseConfiguration, IDC_READ_COLD_PORT,
     kRefusedThenNotOpen, true, texts::kColdPortReadFail, {}},
    {"WriteFailsSet", &failWrites, IDOK, {texts::kSendFail}, false, texts::kSetFail, {}},
    {"WriteFailsReadColdPort", &failWrites, IDC_READ_COLD_PORT, {texts::kSendFail}, true,
     texts::kColdPortReadFail, {}},
    {"ReadFailsReadSetting", &failReads, IDC_READ_SETTING, {}, true, texts::kSettingReadFail,
     {{'B'}}},
    {"ReadFailsReadColdPort", &failReads, IDC_READ_COLD_PORT, {}, true, texts::kColdPortReadFail,
     {{'E'}}},
    // A reader whose first purge takes 2.5 s, longer than its start may.
    {"ReaderDoesNotArmInTime", &stallFirstPurge, IDC_READ_SETTING,
     {texts::kReaderStartFail, texts::kPortNotOpen}, true, texts::kSettingReadFail, {}, true,
     kPurgeStall},
    // A read that finds nothing after all, with the line still up, is no failure.
    {"EmptyReadOnALiveLine", &readZeroOnce, IDC_READ_COLD_PORT, {}, true,
     texts::kColdPortReadSuccess, {{'E'}}, true, 0ms, {{IDC_COLD_PORT_TEMP, "25."}}},
    // A terminal of another user's (a simulator's that someone took over after
    // it crashed) is not opened, let alone configured or written.
    {"AnotherUsersTerminal", &foreignTerminal, IDOK, {texts::kOpenFailure, texts::kPortNotOpen},
     false, texts::kSetFail, {}},
    // A driver whose output count trails the adapter's: the first look after
    // the write finds it empty, later ones find bytes. A write that completed
    // may still be leaving the adapter; the purge after it clears only the
    // input, whatever the driver says, and the frame arrives whole.
    {"OutputCountTrailsTheWrite", &outputCountLags, IDOK, {}, false, texts::kSetComplete,
     {kSetFrame}},
    // The device goes while its request drains: the frame may never have
    // left, so nothing is reported set or calibrated. The calibration's
    // read-back still finds the entry, as a device that did take it would.
    {"OutputCountFailsWhileTheSetDrains", &outputCountFails, IDOK, {texts::kSendFail}, false,
     texts::kSetFail, {kSetFrame}, true},
    {"OutputCountFailsWhileTheCalibrationDrains", &outputCountFails, IDC_CALIBRATE_COLD_PORT,
     {texts::kSendFail}, false, texts::kCalibrateFail, {{0x46, 0x00, 0xEA, 0x00}, {'E'}}, true},
    // The input count fails before the request: nothing is sent.
    {"InputCountFailsReadColdPort", &inputCountFails, IDC_READ_COLD_PORT, {texts::kSendFail}, true,
     texts::kColdPortReadFail, {}},
    // A line that never goes quiet holds the request up for 100 ms, no longer.
    // The frame of a set leaves all the same; what a read reads on such a line
    // is no reply, and a read-back no confirmation.
    {"LineThatNeverGoesQuiet", &inputNeverQuiet, IDOK, {}, false, texts::kSetComplete,
     {kSetFrame}},
    {"LineThatNeverGoesQuietReadColdPort", &inputNeverQuiet, IDC_READ_COLD_PORT, {}, true,
     texts::kColdPortReadFail, {{'E'}}, false, 0ms, {{IDC_COLD_PORT_TEMP, "23.4"}}},
    {"LineThatNeverGoesQuietCalibrate", &inputNeverQuiet, IDC_CALIBRATE_COLD_PORT, {}, false,
     texts::kCalibrateFail, {{0x46, 0x00, 0xEA, 0x00}, {'E'}}},
    // The answer in pieces, 20 ms apart, its first byte already waiting when
    // the reader gets to run: read whole, however the driver returns it.
    {"ReplyInPiecesReadSetting", &readerHeldUp, IDC_READ_SETTING, {}, true,
     texts::kSettingReadSuccess, {{'B'}}, true, 0ms, {{IDC_READ_MAX, "1000"}}, {kPieces}},
    {"ReplyInPiecesReadColdPort", &readerHeldUp, IDC_READ_COLD_PORT, {}, true,
     texts::kColdPortReadSuccess, {{'E'}}, true, 0ms, {{IDC_COLD_PORT_TEMP, "25."}}, {kPieces}},
    {"ReplyWhoseRestNeverComes", &readerHeldUp, IDC_READ_SETTING, {}, true,
     texts::kSettingReadFail, {{'B'}}, true, 0ms, {{IDC_READ_MAX, ""}},
     {{sim::Misbehaviour::kPieces, 5, 20, {}}}},
    // A driver that has serial flags and refuses a change of them.
    {"LowLatencyRefused", &lowLatencyRefused, IDC_READ_SETTING, {}, true,
     texts::kSettingReadSuccess, {{'B'}}, true, 0ms, {{IDC_READ_MAX, "1000"}}},
};

class FaultTableTest : public FaultInjectionTest,
                       public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTableTest, EndsWithItsMessageAndTheWindowWorksAgain) {
  const FaultCase& c = GetParam();
  PrepareSet();
  for (const sim::Misbehaviour& m : c.device) device_->Misbehave(m);
  *c.fault = true;
  RunCommand(c.command);
  if (c.once) {
    EXPECT_FALSE(c.fault->load()) << "the fault was never met";
  }
  *c.fault = false;
  std::vector<std::string> tips;
  for (const std::string& text : c.tips) tips.push_back(texts::WithPort(text, portName));
  EXPECT_EQ(view_.Tips(), tips);
  if (!tips.empty()) {
    EXPECT_EQ(TipsFromOtherThread(), c.tipsOnWorker);
  }
  // The message line has the last word, after any box: a refused opening also
  // takes back the success it showed.
  const auto events = view_.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, testing_view::ViewEvent::kSetText);
  EXPECT_EQ(events.back().controlId, IDC_MESSAGE);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), c.message);
  for (const auto& [id, text] : c.fields) EXPECT_EQ(view_.Text(id), text);
  EXPECT_EQ(readyForCommand.load(), 1);
  EXPECT_EQ(OperationState.load(), STATE_IDLE);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(FramesOnTheWire(), c.frames) << "a frame went out at unchosen line settings";
  EXPECT_EQ(outputFlushesAfterWrite.load(), 0) << "the output was purged after a write";
  EXPECT_EQ(serialFlags.load(), 0) << "the low-latency flag was left set";
  EXPECT_FALSE(TerminalClaimed());
  std::this_thread::sleep_for(c.settle);
  ExpectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTableTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The calibrate command's own frame never reaches the device, which still
// answers the read-back within a degree of the entry: that is no calibration.
TEST_F(FaultInjectionTest, CalibrationWhoseFrameWasNotSentIsNeverASuccess) {
  struct Case {
    std::atomic<bool>* fault;
    std::vector<std::string> tips;
  };
  const Case cases[] = {{&refuseConfiguration, kRefusedThenNotOpen}, {&failWrites, {texts::kSendFail}}};
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
    EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kCalibrateFail);
    EXPECT_EQ(FramesOnTheWire(), std::vector<sim::Bytes>{{'E'}})
        << "only the read-back reached the device";
  }
  ExpectRecovered();
}

// No thread can be started: the opening's reader fails the opening with its
// box, and each command ends with its operation's failure text. The window
// stays usable.
TEST_F(FaultInjectionTest, ThreadsThatCannotStartAreReported) {
  struct Case {
    int id;
    int threadStarts;  // that succeed before the fault
    std::vector<std::string> tips;
    std::string message;
    bool frameSent;
  };
  const Case cases[] = {
      {IDC_CONNECT, 0, {texts::kReaderStartFail}, "", false},
      {IDC_READ_SETTING, 0, {}, texts::kSettingReadFail, false},
      {IDC_READ_COLD_PORT, 0, {}, texts::kColdPortReadFail, false},
      {IDOK, 0, {texts::kReaderStartFail, texts::kPortNotOpen}, texts::kSetFail, false},
      // The reader starts and the frame goes out; only the worker cannot start.
      {IDOK, 1, {}, texts::kSetComplete, true},
      // The 'F' frame goes out, but no read-back can confirm it.
      {IDC_CALIBRATE_COLD_PORT, 0, {}, texts::kCalibrateFail, true},
  };
  PrepareSet();
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    view_.ClearEvents();
    device_->ClearRecords();
    threadStartsLeft = c.threadStarts;
    OnCommand(dialog(), c.id);
    threadStartsLeft = -1;
    EXPECT_EQ(view_.Tips(), c.tips);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), c.message);
    EXPECT_EQ(readyForCommand.load(), 1);
    EXPECT_EQ(OperationState.load(), STATE_IDLE);
    EXPECT_EQ(device_->WaitForFrames(1, c.frameSent ? 1000ms : 100ms), c.frameSent);
  }
  ExpectRecovered();
}

// Stale bytes that an adapter hands over after the opening's purge, once its
// latency timer (16 ms on an FTDI chip) runs out, and before the request:
// never taken for the device's answer, nor shifting it. The request leaves
// only once the line has been quiet for 20 ms after the last burst.
TEST_F(FaultInjectionTest, StaleBytesFromTheAdapterAreNeverTheReply) {
  device_->SetSettingReply({0x42, 3, 0x03, 0xE8, 0, 0, 1, 0, 0, 0, 0});
  device_->SetColdPortTenths(-52);
  struct Case {
    int id;
    int field;
    const char* deviceText;  // what the field shows when the device's reply is taken
    StaleBytes stale;
  };
  sim::SimulatedTransmitter* device = device_.get();
  const Case cases[] = {
      {IDC_READ_COLD_PORT, IDC_COLD_PORT_TEMP, "-5.2", {device, {5ms}, {0x00}}},
      {IDC_READ_SETTING, IDC_READ_MAX, "1000", {device, {10ms}, kNoise}},
      {IDC_READ_SETTING, IDC_READ_MAX, "1000", {device, {15ms}, {0x42}}},
      {IDC_READ_COLD_PORT, IDC_COLD_PORT_TEMP, "-5.2", {device, {15ms}, kNoise}},
      {IDC_READ_SETTING, IDC_READ_MAX, "1000", {device, {15ms, 30ms}, kNoise}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " after " + std::to_string(c.stale.after.back().count()) +
                 " ms");
    view_.ClearEvents();
    view_.SetText(c.field, "");
    device_->ClearRecords();
    staleInTheAdapter = &c.stale;
    RunCommand(c.id);
    EXPECT_EQ(staleInTheAdapter.load(), nullptr) << "the stale bytes were handed over";
    ASSERT_EQ(device_->Frames().size(), 1u);
    EXPECT_GE(device_->Frames()[0].at - lastStaleBurst.load(), 20ms)
        << "the request left before the line had been quiet for 20 ms";
    EXPECT_EQ(view_.Text(c.field), c.deviceText);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), c.id == IDC_READ_SETTING ? texts::kSettingReadSuccess
                                                                : texts::kColdPortReadSuccess);
  }
  ExpectRecovered();
}

// A device as quick as a 9600 line allows, answering 1 ms after the request
// arrives, byte by byte, behind an adapter whose output queue trails each
// write: the input is purged before the wait for that queue, so none of the
// answer is lost.
TEST_F(FaultInjectionTest, AQuickDeviceBehindAUsbAdapterIsHeardWhole) {
  device_->SetReplyDelay(1, sim::kLinePace);
  device_->SetSettingReply({0x42, 6, 0x03, 0x52, 0, 0, 1, 0, 0, 0, 0});  // E type, 850 and 0
  device_->SetColdPortTenths(-52);
  view_.SetText(IDC_COLD_PORT_TEMP, "");
  behindAnAdapter = true;
  struct Case {
    int id;
    const char* entry;  // typed into the cold port field first, when not null
    std::string message;
    std::vector<std::pair<int, const char*>> fields;
  };
  const Case cases[] = {
      {IDC_READ_SETTING,
       nullptr,
       texts::kSettingReadSuccess,
       {{IDC_READ_SENSOR, "sensor：E type TC\r\n"}, {IDC_READ_MAX, "850"}, {IDC_READ_MIN, "0"}}},
      {IDC_READ_COLD_PORT, nullptr, texts::kColdPortReadSuccess, {{IDC_COLD_PORT_TEMP, "-5.2"}}},
      {IDC_CALIBRATE_COLD_PORT, "23.4", texts::kCalibrateSuccess, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    view_.ClearEvents();
    if (c.entry != nullptr) view_.SetText(IDC_COLD_PORT_TEMP, c.entry);
    RunCommand(c.id);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), c.message);
    for (const auto& [field, text] : c.fields) EXPECT_EQ(view_.Text(field), text);
    EXPECT_TRUE(view_.Tips().empty());
  }
  EXPECT_EQ(device_->ColdPortTenths(), 234);
  ExpectRecovered();
}

// Each opening asks for low latency, and its close puts the flags back as
// they were, a flag that was set before included.
TEST_F(FaultInjectionTest, LowLatencyIsAskedForAndPutBackAtTheClose) {
  for (const int before : {ASYNC_SKIP_TEST, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY}) {
    serialFlags = before;
    PortHandle port;
    ASSERT_TRUE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kNone));
    EXPECT_EQ(serialFlags.load(), before | ASYNC_LOW_LATENCY);
    port.Close();
    EXPECT_EQ(serialFlags.load(), before);
  }
  ExpectRecovered();
}

// Discovery runs on the user-interface thread: a folder that goes away while
// it is listed must not end the program.
TEST_F(FaultInjectionTest, DiscoveryOutlivesAFolderThatVanishesWhileListed) {
  sim::SimOptions options;
  options.linkDir = folder_;
  options.name = "second";
  sim::SimulatedTransmitter other(options);
  testing_sim::UsePort("");
  failListing = true;
  EXPECT_NO_THROW(FindSerialPort());
  failListing = false;
  // What was read before a listing failed may count, and nothing else: a
  // simulator whose terminal could not be confirmed is not chosen.
  const std::string chosen = portName;
  EXPECT_TRUE(chosen.empty() || chosen == device_->PortPath() || chosen == other.PortPath())
      << "chose " << chosen;
}

// A reader that ignores its cancel: the close gives up on it after its bound,
// the reader publishes nothing when it finally ends, and meanwhile the device
// counts as held by someone else instead of hanging the next opening.
TEST_F(FaultInjectionTest, ReaderThatIgnoresItsCancelNeitherHangsNorPublishes) {
  stallReads = true;
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  PortHandle port;
  ASSERT_TRUE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kSetting));
  ASSERT_TRUE(SendFrame(dialog(), &kReadSettingRequest, 1, port));
  std::this_thread::sleep_for(50ms);  // the reader is inside its wait
  replyArrived.store(1);
  auto start = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - start, 700ms);

  start = Clock::now();
  PortHandle next;
  EXPECT_FALSE(OpenPortWithReader(next, dialog(), portName, ReplyKind::kSetting));
  EXPECT_LT(Clock::now() - start, 200ms);
  EXPECT_EQ(view_.Tips(), std::vector<std::string>{texts::WithPort(texts::kOpenFailure, portName)});

  std::this_thread::sleep_for(kStall);  // the stalled reader ends now
  EXPECT_EQ(replyArrived.load(), 1) << "the abandoned reader published its failure";
  replyArrived.store(0);
  ExpectRecovered();
}

// An opening that fails leaves no exclusive claim on the terminal behind, and
// neither does the owner's close of one that opened but was not configured.
TEST_F(FaultInjectionTest, FailedOpeningsLeaveTheTerminalUnclaimed) {
  for (std::atomic<bool>* fault : {&failLocks, &refuseConfiguration}) {
    view_.ClearEvents();
    *fault = true;
    PortHandle port;
    EXPECT_FALSE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kNone));
    EXPECT_EQ(view_.Tips().size(), 1u);
    port.Close();
    *fault = false;
    EXPECT_FALSE(TerminalClaimed());
  }
  ExpectRecovered();
}

// A standard error that no one reads: the diagnostic lines of a failing read
// are dropped, and the operation and its close stay within their time.
TEST_F(FaultInjectionTest, BlockedStandardErrorHoldsNothingUp) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  while (__real_write(ends[1], kNoise.data(), kNoise.size()) > 0) {
  }
  fcntl(ends[1], F_SETFL, 0);  // full, and a writer would now block
  const int saved = dup(STDERR_FILENO);
  dup2(ends[1], STDERR_FILENO);
  failReads = true;
  const auto start = Clock::now();
  RunCommand(IDC_READ_COLD_PORT);
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(ends[0]);
  close(ends[1]);
  EXPECT_LT(Clock::now() - start, 3s);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kColdPortReadFail);
  ExpectRecovered();
}

}  // namespace

// The link against a simulated transmitter on a real pseudo-terminal.
#include "link/serial_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "link/serial_port.h"
#include "ops/operation_state.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_sim::SimTest;
using Bytes = std::vector<std::uint8_t>;

const std::array<std::uint8_t, 11> kSetting = {0x42, 6, 0x04, 0xB0, 0x80, 0xC8, 1, 0, 0, 0, 0};

bool WaitForFlag(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    if (replyArrived.load() == 1) return true;
    std::this_thread::sleep_for(5ms);
  }
  return replyArrived.load() == 1;
}

// Opens with a reader for the reply `state` names and sends the request.
void Request(PortHandle& port, DialogHandle dialog, std::uint8_t state, std::uint8_t letter) {
  OperationState.store(state);
  ASSERT_TRUE(OpenPortWithReader(port, dialog, portName));
  ASSERT_TRUE(SendFrame(dialog, &letter, 1, port));
}

class ReplyReaderTest : public SimTest {};

TEST_F(ReplyReaderTest, CompleteSettingReplyIsPublishedWithItsTexts) {
  device_->SetSettingReply(kSetting);
  PortHandle port;
  Request(port, dialog(), STATE_READ_SETTING, 'B');
  ASSERT_TRUE(WaitForFlag(1s));
  EXPECT_EQ(Bytes(settingReplyBuffer, settingReplyBuffer + 11),
            Bytes(kSetting.begin(), kSetting.end()));
  EXPECT_EQ(settingReplyBuffer[11], 0);
  EXPECT_STREQ(replyMaxText, "1000");
  EXPECT_STREQ(replyMinText, "200");
  EXPECT_EQ(OperationState.load(), STATE_IDLE);
  EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{"open serial port success"});
  EXPECT_TRUE(view_.Tips().empty());
}

TEST_F(ReplyReaderTest, ColdPortReplyIsPublished) {
  device_->SetColdPortTenths(-52);
  PortHandle port;
  Request(port, dialog(), STATE_AWAIT_COLD_PORT, 'E');
  ASSERT_TRUE(WaitForFlag(1s));
  EXPECT_EQ(Bytes(coldPortReplyBuffer, coldPortReplyBuffer + 3), (Bytes{0xFF, 0xCC, 0x00}));
}

TEST_F(ReplyReaderTest, ExtraBytesAreLeftUnread) {
  device_->SetSettingReply(kSetting);
  device_->Misbehave({sim::Misbehaviour::kExtra, 2, 0, {}});
  PortHandle port;
  Request(port, dialog(), STATE_READ_SETTING, 'B');
  ASSERT_TRUE(WaitForFlag(1s));
  EXPECT_EQ(Bytes(settingReplyBuffer, settingReplyBuffer + 11),
            Bytes(kSetting.begin(), kSetting.end()));
  ASSERT_EQ(device_->Replies().size(), 1u);
  EXPECT_EQ(device_->Replies()[0].bytes.size(), 13u);
}

TEST_F(ReplyReaderTest, ShortOrMissingReplyNeverRaisesTheFlagAndCloseEndsTheReadAtOnce) {
  struct Case {
    sim::Misbehaviour what;
  };
  const Case cases[] = {{{sim::Misbehaviour::kShort, 10, 0, {}}},
                        {{sim::Misbehaviour::kSilent, 0, 0, {}}}};
  for (const auto& c : cases) {
    device_->Misbehave(c.what);
    PortHandle port;
    Request(port, dialog(), STATE_READ_SETTING, 'B');
    EXPECT_FALSE(WaitForFlag(600ms));
    EXPECT_EQ(OperationState.load(), STATE_READ_SETTING) << "the reader is still waiting";
    const auto start = Clock::now();
    port.Close();
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(replyArrived.load(), 0);
  }
}

// The read gives up 20 s plus 1 ms per requested byte after it started.
class ReadTimeOutTest : public ReplyReaderTest,
                        public ::testing::WithParamInterface<sim::Misbehaviour::Kind> {};

TEST_P(ReadTimeOutTest, IncompleteReplyTimesOutAfterTwentySecondsAndClearsTheFlag) {
  device_->Misbehave({GetParam(), 10, 0, {}});
  replyArrived.store(1);  // left over; the failed read must clear it
  PortHandle port;
  Request(port, dialog(), STATE_READ_SETTING, 'B');
  const auto sent = Clock::now();
  while (OperationState.load() != STATE_IDLE && Clock::now() - sent < 25s) {
    std::this_thread::sleep_for(10ms);
  }
  const auto waited = Clock::now() - sent;
  EXPECT_GE(waited, 20000ms);
  EXPECT_LT(waited, 20011ms + 150ms);
  EXPECT_EQ(replyArrived.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(SilentOrShort, ReadTimeOutTest,
                         ::testing::Values(sim::Misbehaviour::kSilent, sim::Misbehaviour::kShort));

TEST_F(ReplyReaderTest, LateReplyAfterCloseChangesNothingOfTheNextOpening) {
  device_->SetSettingReply(kSetting);
  device_->Misbehave({sim::Misbehaviour::kLate, 0, 300, {}});
  std::memset(settingReplyBuffer, 0xAB, sizeof settingReplyBuffer);
  std::memset(coldPortReplyBuffer, 0xAB, sizeof coldPortReplyBuffer);
  {
    PortHandle port;
    Request(port, dialog(), STATE_READ_SETTING, 'B');
    std::this_thread::sleep_for(100ms);
  }  // closed before the reply comes
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_EQ(OperationState.load(), STATE_READ_SETTING) << "the closed reader published nothing";
  const auto start = Clock::now();
  while (device_->Replies().empty() && Clock::now() - start < 1s) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(device_->Replies().size(), 1u) << "the late reply went out";

  // The next opening waits for a cold port reply that never comes; the late
  // setting reply still waiting on the line must not be taken for it.
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  PortHandle next;
  Request(next, dialog(), STATE_AWAIT_COLD_PORT, 'E');
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_EQ(OperationState.load(), STATE_AWAIT_COLD_PORT);
  EXPECT_EQ(settingReplyBuffer[0], 0xAB);
  EXPECT_EQ(coldPortReplyBuffer[0], 0xAB);
  EXPECT_EQ(coldPortReplyBuffer[2], 0xAB);
}

TEST_F(ReplyReaderTest, BytesWaitingBeforeTheRequestAreDiscarded) {
  device_->SetSettingReply(kSetting);
  device_->Inject({0x11, 0x22, 0x33, 0x44, 0x55});
  std::this_thread::sleep_for(50ms);
  PortHandle port;
  Request(port, dialog(), STATE_READ_SETTING, 'B');
  ASSERT_TRUE(WaitForFlag(1s));
  EXPECT_EQ(Bytes(settingReplyBuffer, settingReplyBuffer + 11),
            Bytes(kSetting.begin(), kSetting.end()));
}

TEST_F(ReplyReaderTest, IdleOpeningReadsNothingAndTouchesNoFlag) {
  replyArrived.store(1);
  OperationState.store(STATE_IDLE);
  PortHandle port;
  ASSERT_TRUE(OpenPortWithReader(port, dialog(), portName));
  device_->Inject({0x42, 3, 3, 0xE8, 0, 0, 1, 0, 0, 0, 0});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(replyArrived.load(), 1);
  EXPECT_EQ(OperationState.load(), STATE_IDLE);
}

class SendFrameTest : public SimTest {};

TEST_F(SendFrameTest, OneByteAndElevenByteFramesArriveIntact) {
  const Bytes frames[] = {{'B'}, {0x44, 3, 0x03, 0xE8, 0x00, 0x00, 0x01, 0, 0, 0, 0}};
  PortHandle port;
  ASSERT_TRUE(OpenPortForCommand(port, dialog()));
  for (const Bytes& frame : frames) {
    device_->SetReplyDelay(100000);  // keep the device quiet
    ASSERT_TRUE(SendFrame(dialog(), frame.data(), frame.size(), port));
  }
  ASSERT_TRUE(device_->WaitForFrames(2, 1s));
  const auto received = device_->Frames();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].bytes, frames[0]);
  EXPECT_EQ(received[1].bytes, frames[1]);
  EXPECT_TRUE(view_.Tips().empty());
}

TEST_F(SendFrameTest, ManyRequestsInARowAllGetTheirReplies) {
  device_->SetSettingReply(kSetting);
  for (int i = 0; i < 40; ++i) {
    replyArrived.store(0);
    PortHandle port;
    Request(port, dialog(), STATE_READ_SETTING, 'B');
    ASSERT_TRUE(WaitForFlag(1s)) << "request " << i;
  }
}

class PortAccessTest : public SimTest {};

TEST_F(PortAccessTest, MissingOrBusyPortShowsTheOpenFailureThenSendRefuses) {
  PortHandle holder;
  ASSERT_TRUE(OpenPortForCommand(holder, dialog()));
  const std::string busy = portName;
  const std::string missing = folder_ + "/no-such-port";
  for (const std::string& name : {missing, busy}) {
    view_.ClearEvents();
    PortHandle port;
    EXPECT_FALSE(OpenPortWithReader(port, dialog(), name.c_str()));
    EXPECT_FALSE(port.IsValid());
    const std::uint8_t letter = 'B';
    EXPECT_FALSE(SendFrame(dialog(), &letter, 1, port));
    const std::vector<std::string> expected = {
        "open serial port" + name + " fail，check whether the serial port is occupied",
        "serial port not open"};
    EXPECT_EQ(view_.Tips(), expected);
    EXPECT_TRUE(view_.TextsOf(IDC_MESSAGE).empty());
  }
}

TEST_F(PortAccessTest, ClosingGivesUpTheExclusiveClaim) {
  // The terminal stays open in the simulator, so a flag left behind would
  // lock every ordinary user out after the first opening.
  auto exclusive = [&] {
    const int fd = open(device_->TerminalPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int flag = -1;
    ioctl(fd, TIOCGEXCL, &flag);
    close(fd);
    return flag;
  };
  PortHandle port;
  ASSERT_TRUE(OpenPortForCommand(port, dialog()));
  EXPECT_EQ(exclusive(), 1);
  port.Close();
  EXPECT_EQ(exclusive(), 0);
}

TEST_F(PortAccessTest, DeviceThatRefusesConfigurationIsReportedAndClosed) {
  const int before = testing_process::OpenDescriptors();
  PortHandle port;
  EXPECT_FALSE(OpenPortWithReader(port, dialog(), "/dev/null"));
  EXPECT_TRUE(port.IsValid()) << "opened but unconfigured; the owner closes it";
  const std::vector<std::string> expected = {"failed to get the properties of the serial port",
                                             "failed to set serial port parameters"};
  EXPECT_EQ(view_.Tips(), expected);
  EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{"open serial port success"});
  port.Close();
  EXPECT_EQ(testing_process::OpenDescriptors(), before);
}

TEST_F(PortAccessTest, VanishedDeviceEndsThePendingReadAsAFailure) {
  device_->Misbehave({sim::Misbehaviour::kVanish, 0, 300, {}});
  replyArrived.store(1);
  PortHandle port;
  Request(port, dialog(), STATE_READ_SETTING, 'B');
  const auto start = Clock::now();
  while (OperationState.load() != STATE_IDLE && Clock::now() - start < 2s) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(OperationState.load(), STATE_IDLE);
  EXPECT_EQ(replyArrived.load(), 0);
  port.Close();
  // Once the device is back the port works again under the same name.
  std::this_thread::sleep_for(400ms);
  device_->SetSettingReply(kSetting);
  PortHandle again;
  Request(again, dialog(), STATE_READ_SETTING, 'B');
  EXPECT_TRUE(WaitForFlag(1s));
}

TEST_F(PortAccessTest, TwoHundredCyclesLeaveNoDescriptorOrThreadBehind) {
  device_->SetSettingReply(kSetting);
  const int fds = testing_process::OpenDescriptors();
  const int threads = testing_process::Threads();
  for (int i = 0; i < 200; ++i) {
    if (i % 3 == 0) device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
    replyArrived.store(0);
    PortHandle port;
    Request(port, dialog(), i % 2 ? STATE_READ_SETTING : STATE_AWAIT_COLD_PORT, i % 2 ? 'B' : 'E');
    if (i % 3 != 0) {
      ASSERT_TRUE(WaitForFlag(1s)) << "cycle " << i;
    }
  }
  EXPECT_EQ(testing_process::OpenDescriptors(), fds);
  EXPECT_EQ(testing_process::Threads(), threads);
}

}  // namespace

// The commands and the operation worker, end to end: the real core and POSIX
// serial code against the simulated transmitter, with a recording view.
// These tests sleep through the operations' fixed timings; run them in parallel.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ops/cold_port.h"
#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/timeline.h"
#include "view/control_ids.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = sim::Bytes;
using testing_view::ViewEvent;

// How far a text may appear from its due time. The operations only sleep, so
// this covers scheduling and the simulator's few tens of milliseconds.
constexpr auto kTolerance = 80ms;

using timeline::Due;
using timeline::kCalibrate;
using timeline::kReadColdPort;
using timeline::kReadSetting;
using timeline::kSet;
using timeline::MessageLine;

class OperationsTest : public testing_sim::SimTest {
 protected:
  // Gives command `id` and waits until the window accepts commands again.
  void Run(int id) {
    start_ = Clock::now();
    RunCommand(id);
  }

  // The message line's texts in order, each within the tolerance of its time.
  void ExpectMessages(const std::vector<Due>& expected) {
    std::vector<ViewEvent> messages;
    for (const auto& e : view_.Events()) {
      if (e.kind == ViewEvent::kSetText && e.controlId == IDC_MESSAGE) messages.push_back(e);
    }
    ASSERT_EQ(messages.size(), expected.size()) << Describe(messages);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(messages[i].text, expected[i].text) << "message " << i;
      const auto at =
          std::chrono::duration_cast<std::chrono::milliseconds>(messages[i].at - start_);
      EXPECT_NEAR(static_cast<double>(at.count()), static_cast<double>(expected[i].atMs),
                  static_cast<double>(kTolerance.count()))
          << "'" << messages[i].text << "'";
    }
  }

  static std::string Describe(const std::vector<ViewEvent>& events) {
    std::string out;
    for (const auto& e : events) out += "[" + e.text + "] ";
    return out;
  }

  std::chrono::milliseconds FrameTime(std::size_t i) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(device_->Frames().at(i).at -
                                                                 start_);
  }

  std::string OpenFailure() const { return testing_sim::OpenFailureBox(portName); }

  Clock::time_point start_;
};

// ---------------------------------------------------------------- read 1

TEST_F(OperationsTest, ReadSettingShowsTheDevicesSettingAfterItsFixedWait) {
  device_->SetSettingReply({0x42, 6, 0x04, 0xB0, 0x80, 0xC8, 1, 0, 0, 0, 0});
  Run(IDC_READ_SETTING);
  ExpectMessages(MessageLine(kReadSetting));
  EXPECT_EQ(view_.Text(IDC_READ_SENSOR), "sensor：E type TC\r\n");
  EXPECT_EQ(view_.Text(IDC_READ_MAX_SIGN), "+");
  EXPECT_EQ(view_.Text(IDC_READ_MAX), "1000");
  EXPECT_EQ(view_.Text(IDC_READ_MIN_SIGN), "-");
  EXPECT_EQ(view_.Text(IDC_READ_MIN), "200");
  EXPECT_EQ(FramesOnTheWire(), std::vector<Bytes>{{'B'}});
  EXPECT_NEAR(static_cast<double>(FrameTime(0).count()), 0.0, 50.0);
  EXPECT_TRUE(view_.Tips().empty());
}

struct ReadBackCase {
  std::array<std::uint8_t, 11> reply;
  const char* sensor;  // what the field shows afterwards
  const char* max;
  const char* minSign;
  const char* min;
};

TEST_F(OperationsTest, ReadSettingFieldsFollowTheReplyBits) {
  const ReadBackCase cases[] = {
      // Unknown device code: the sensor field keeps what it showed.
      {{0, 9, 0x03, 0x52, 0x00, 0x00, 1, 0, 0, 0, 0}, "earlier text", "850", "+", "0"},
      // A magnitude beyond the range word: the max comes out negative.
      {{0, 7, 0x00, 0x64, 0x80, 0xC8, 1, 0, 0, 0, 0}, "sensor：Cu50\r\n", "-100", "-", "200"},
      // Undefined upper bits are ignored.
      {{0, 4, 0xF3, 0x52, 0x70, 0x00, 1, 0, 0, 0, 0}, "sensor：N type TC\r\n", "850", "+", "0"},
  };
  for (const auto& c : cases) {
    view_.SetText(IDC_READ_SENSOR, "earlier text");
    device_->SetSettingReply(c.reply);
    view_.ClearEvents();
    Run(IDC_READ_SETTING);
    EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingReadSuccess);
    EXPECT_EQ(view_.Text(IDC_READ_SENSOR), c.sensor);
    EXPECT_EQ(view_.Text(IDC_READ_MAX_SIGN), "+");
    EXPECT_EQ(view_.Text(IDC_READ_MAX), c.max);
    EXPECT_EQ(view_.Text(IDC_READ_MIN_SIGN), c.minSign);
    EXPECT_EQ(view_.Text(IDC_READ_MIN), c.min);
  }
}

TEST_F(OperationsTest, ReadSettingWithoutACompleteReplyFailsAndLeavesTheFields) {
  const sim::Misbehaviour faults[] = {{sim::Misbehaviour::kSilent, 0, 0, {}},
                                      {sim::Misbehaviour::kShort, 10, 0, {}},
                                      {sim::Misbehaviour::kLate, 0, 3600, {}}};
  for (const auto& fault : faults) {
    for (int id : {IDC_READ_SENSOR, IDC_READ_MAX, IDC_READ_MIN}) view_.SetText(id, "kept");
    device_->Misbehave(fault);
    view_.ClearEvents();
    Run(IDC_READ_SETTING);
    ExpectMessages(MessageLine(kReadSetting, kReadSetting.failure));
    for (int id : {IDC_READ_SENSOR, IDC_READ_MAX, IDC_READ_MIN}) EXPECT_EQ(view_.Text(id), "kept");
  }
}

TEST_F(OperationsTest, ReplyAfterTheFlagTestIsAFailureAndDoesNotReachTheNextOperation) {
  device_->SetSettingReply({0x42, 3, 0x03, 0xE8, 0, 0, 1, 0, 0, 0, 0});
  device_->Misbehave({sim::Misbehaviour::kLate, 0, 3700, {}});
  Run(IDC_READ_SETTING);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingReadFail);
  std::this_thread::sleep_for(400ms);  // the late reply lands now
  ASSERT_EQ(device_->Replies().size(), 1u);
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_EQ(view_.Text(IDC_READ_MAX), "");

  // The next operation expects a cold port reply that never comes: the stale
  // setting bytes on the line must not pass for it.
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  view_.ClearEvents();
  Run(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kColdPortReadFail);
  EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "");
}

// ---------------------------------------------------------------- cold port

TEST_F(OperationsTest, ReadColdPortShowsFourSignificantDigits) {
  const std::pair<int, const char*> cases[] = {{-52, "-5.2"}, {250, "25."}, {12345, "1235"}};
  for (const auto& [tenths, text] : cases) {
    device_->SetColdPortTenths(tenths);
    view_.ClearEvents();
    device_->ClearRecords();
    Run(IDC_READ_COLD_PORT);
    ExpectMessages(MessageLine(kReadColdPort));
    EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), text);
    EXPECT_EQ(FramesOnTheWire(), std::vector<Bytes>{{'E'}});
  }
}

TEST_F(OperationsTest, ReadColdPortWithoutReplyFails) {
  view_.SetText(IDC_COLD_PORT_TEMP, "20");
  device_->Misbehave({sim::Misbehaviour::kShort, 1, 0, {}});
  Run(IDC_READ_COLD_PORT);
  ExpectMessages(MessageLine(kReadColdPort, kReadColdPort.failure));
  EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "20");
}

TEST_F(OperationsTest, CalibrateSendsTheTargetThenChecksTheReadBack) {
  view_.SetText(IDC_COLD_PORT_TEMP, "23.47");
  Run(IDC_CALIBRATE_COLD_PORT);
  ExpectMessages(MessageLine(kCalibrate));
  EXPECT_EQ(FramesOnTheWire(), (std::vector<Bytes>{{0x46, 0x00, 0xEA, 0x00}, {'E'}}));
  EXPECT_NEAR(static_cast<double>(FrameTime(0).count()), kCalibrate.openingsAtMs[0], 50.0);
  EXPECT_NEAR(static_cast<double>(FrameTime(1).count()), kCalibrate.openingsAtMs[1], 80.0);
  EXPECT_EQ(device_->ColdPortTenths(), 234);
  EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "23.47") << "the entry is not replaced";
}

struct CalibrationCase {
  const char* entry;
  Bytes readBack;  // what the device answers to the 'E' after the calibration
  const char* outcome;
};

void PrintTo(const CalibrationCase& c, std::ostream* os) {
  *os << "entry '" << c.entry << "' read back " << c.readBack.size() << " bytes";
  for (auto b : c.readBack) *os << ' ' << static_cast<int>(b);
}

class CalibrateOutcomeTest : public OperationsTest,
                             public ::testing::WithParamInterface<CalibrationCase> {};

TEST_P(CalibrateOutcomeTest, SucceedsOnlyWithinLessThanOneDegree) {
  const CalibrationCase& c = GetParam();
  view_.SetText(IDC_COLD_PORT_TEMP, c.entry);
  if (c.readBack.empty()) {
    device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  } else {
    device_->Misbehave({sim::Misbehaviour::kGarbage, 0, 0, c.readBack});
  }
  Run(IDC_CALIBRATE_COLD_PORT);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), c.outcome);
  const double elapsedMs =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count() / 1000.0;
  EXPECT_NEAR(elapsedMs, kCalibrate.Outcome().atMs, 100.0);
}

INSTANTIATE_TEST_SUITE_P(
    ReadBacks, CalibrateOutcomeTest,
    ::testing::Values(CalibrationCase{"25.0", {0x00, 0xF1}, kCalibrateSuccess},   // 24.1
                      CalibrationCase{"25.0", {0x00, 0xF0}, kCalibrateFail},      // 24.0: exactly 1
                      CalibrationCase{"25.0", {0x01, 0x04}, kCalibrateFail},      // 26.0
                      CalibrationCase{" -5.26 ", {0xFF, 0xC4}, kCalibrateSuccess},  // -6.0
                      CalibrationCase{"25.0", {}, kColdPortReadFail}));

TEST_F(OperationsTest, CalibrateJudgesTheEntryThatWasSentNotWhatTheFieldHoldsLater) {
  view_.SetText(IDC_COLD_PORT_TEMP, "25.0");
  device_->Misbehave({sim::Misbehaviour::kGarbage, 0, 0, {0x00, 0xF1}});  // reads back 24.1
  start_ = Clock::now();
  OnCommand(dialog(), IDC_CALIBRATE_COLD_PORT);
  std::this_thread::sleep_for(2s);
  view_.SetText(IDC_COLD_PORT_TEMP, "30");  // typed while the operation runs
  WaitForGate();
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kCalibrateSuccess);
  EXPECT_EQ(device_->ColdPortTenths(), 250);
}

TEST_F(OperationsTest, CalibrateRefusesAnEntryThatCannotBeSent) {
  // The last would fit the field's buffer only cut short, as "000…025.0".
  const std::string tooLong = std::string(251, '0') + "25.5";
  for (const char* entry :
       {"", "abc", "-", "3276.8", "1e9", "23,5", "25abc", "0x1A", "1..2", tooLong.c_str()}) {
    view_.SetText(IDC_COLD_PORT_TEMP, entry);
    view_.ClearEvents();
    start_ = Clock::now();
    OnCommand(dialog(), IDC_CALIBRATE_COLD_PORT);
    EXPECT_LT(Clock::now() - start_, 200ms) << "no pause, no worker";
    EXPECT_EQ(view_.Tips(), std::vector<std::string>{kColdPortEntryIllegality}) << entry;
    EXPECT_EQ(readyForCommand.load(), 1);
    EXPECT_EQ(OperationState.load(), STATE_IDLE);
    EXPECT_TRUE(view_.TextsOf(IDC_MESSAGE).empty());
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(device_->Frames().empty());
}

// ---------------------------------------------------------------- set

TEST_F(OperationsTest, SetSendsTheFrameAndTheDeviceReportsItBack) {
  FillSetFields(3, 1, "1000", "200");  // K type, "-"
  Run(IDOK);
  EXPECT_EQ(view_.Text(IDC_CHOICE), "you chose K type TC");
  ExpectMessages(MessageLine(kSet));
  EXPECT_EQ(FramesOnTheWire(),
            (std::vector<Bytes>{{0x44, 3, 0x04, 0xB0, 0x80, 0xC8, 0x01, 0, 0, 0, 0}}));
  EXPECT_TRUE(view_.Tips().empty());

  view_.ClearEvents();
  Run(IDC_READ_SETTING);
  EXPECT_EQ(view_.Text(IDC_READ_SENSOR), "sensor：K type TC\r\n");
  EXPECT_EQ(view_.Text(IDC_READ_MAX), "1000");
  EXPECT_EQ(view_.Text(IDC_READ_MIN_SIGN), "-");
  EXPECT_EQ(view_.Text(IDC_READ_MIN), "200");
}

TEST_F(OperationsTest, SetThatIsRefusedSendsNothingAndStartsNoWorker) {
  struct Case {
    int sensor;
    const char* max;
    const char* min;
    const char* tips;
  };
  const Case cases[] = {{3, "1340", "0", "input max illegality"},
                        {3, "100", "200", "input min illegality"},
                        {-1, "1000", "0", kChooseSensorType}};
  for (const auto& c : cases) {
    FillSetFields(c.sensor, 0, c.max, c.min);
    view_.ClearEvents();
    OnCommand(dialog(), IDOK);
    EXPECT_EQ(view_.Tips(), std::vector<std::string>{c.tips});
    EXPECT_EQ(readyForCommand.load(), 1);
    EXPECT_EQ(OperationState.load(), STATE_IDLE);
    for (const auto& e : view_.Events()) EXPECT_NE(e.kind, ViewEvent::kSetText) << e.text;
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(device_->Frames().empty());
}

// ---------------------------------------------------------------- port missing

TEST_F(OperationsTest, SetWithThePortMissingReportsFailure) {
  MakePortMissing();
  FillSetFields(0, 0, "1600", "0");
  Run(IDOK);
  EXPECT_EQ(view_.Tips(), (std::vector<std::string>{OpenFailure(), "serial port not open"}));
  ExpectMessages(MessageLine(kSet, kSet.failure, false));
}

TEST_F(OperationsTest, ReadsWithThePortMissingFailAndFreeTheWindow) {
  MakePortMissing();
  Run(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Tips(), (std::vector<std::string>{OpenFailure(), "serial port not open"}));
  ExpectMessages(MessageLine(kReadColdPort, kReadColdPort.failure, false));

  view_.ClearEvents();
  Run(IDC_READ_SETTING);
  EXPECT_EQ(view_.Tips().size(), 2u);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingReadFail);
}

TEST_F(OperationsTest, CalibrateWithThePortMissingRaisesTheBoxesTwiceAndFails) {
  MakePortMissing();
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  Run(IDC_CALIBRATE_COLD_PORT);
  const std::vector<std::string> twice = {OpenFailure(), "serial port not open", OpenFailure(),
                                          "serial port not open"};
  EXPECT_EQ(view_.Tips(), twice);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kColdPortReadFail);
  std::vector<ViewEvent> tips;
  for (const auto& e : view_.Events()) {
    if (e.kind == ViewEvent::kTips) tips.push_back(e);
  }
  ASSERT_EQ(tips.size(), 4u);
  const auto uiThread = std::this_thread::get_id();
  EXPECT_EQ(tips[0].thread, uiThread);
  EXPECT_EQ(tips[1].thread, uiThread);
  EXPECT_NE(tips[2].thread, uiThread) << "the second pair comes from the worker";
  EXPECT_NE(tips[3].thread, uiThread);
}

TEST_F(OperationsTest, BoxOnTheWorkerDelaysTheOperationUntilDismissed) {
  MakePortMissing();
  view_.SetTipsDismissDelay(700ms);
  Run(IDC_READ_COLD_PORT);
  // Both boxes held the worker before its waits began.
  ExpectMessages(timeline::Later(MessageLine(kReadColdPort, kReadColdPort.failure, false), 1400));
}

// ---------------------------------------------------------------- connect and the gate

TEST_F(OperationsTest, ConnectShowsThePortAndReleasesIt) {
  testing_sim::UsePort("");
  for (int i = 0; i < 2; ++i) {
    view_.ClearEvents();
    OnCommand(dialog(), IDC_CONNECT);
    EXPECT_EQ(view_.Text(IDC_PORT_NAME), device_->PortPath());
    EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{timeline::kOpenSuccess});
    EXPECT_TRUE(view_.Tips().empty());
    EXPECT_EQ(readyForCommand.load(), 1);
  }
  PortHandle other;
  EXPECT_TRUE(OpenPortForCommand(other, dialog())) << "Connect closed the port again";
  EXPECT_TRUE(device_->Frames().empty());
}

TEST_F(OperationsTest, EveryCommandIsIgnoredWhileAnOperationRuns) {
  FillSetFields(3, 0, "100", "0");
  view_.SetText(IDC_COLD_PORT_TEMP, "25");
  start_ = Clock::now();
  OnCommand(dialog(), IDC_READ_SETTING);
  // Fired in the instant before the worker starts, and during the operation.
  const int all[] = {IDOK,
                     IDCANCEL,
                     IDC_CONNECT,
                     IDC_READ_SETTING,
                     IDC_READ_COLD_PORT,
                     IDC_CALIBRATE_COLD_PORT,
                     IDC_SENSOR_TYPE,
                     4242};
  for (int id : all) OnCommand(dialog(), id);
  std::this_thread::sleep_for(1s);
  for (int id : all) OnCommand(dialog(), id);
  WaitForGate();
  EXPECT_EQ(FramesOnTheWire(), std::vector<Bytes>{{'B'}});
  EXPECT_TRUE(view_.Tips().empty());
  EXPECT_TRUE(view_.TextsOf(IDC_CHOICE).empty());
  EXPECT_TRUE(view_.TextsOf(IDC_PORT_NAME).empty());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingReadSuccess);

  // Afterwards the window works again.
  view_.ClearEvents();
  Run(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kColdPortReadSuccess);
}

TEST_F(OperationsTest, CommandDuringAnotherCommandsBoxIsIgnored) {
  MakePortMissing();
  FillSetFields(3, 0, "100", "0");
  // A box on the user-interface thread keeps the window's messages flowing;
  // commands that arrive meanwhile must not start anything.
  const auto uiThread = std::this_thread::get_id();
  int reentered = 0;
  view_.OnTips([&](const std::string&) {
    if (std::this_thread::get_id() != uiThread) return;
    ++reentered;
    OnCommand(dialog(), IDC_READ_SETTING);
    OnCommand(dialog(), IDC_CONNECT);
  });
  Run(IDOK);
  EXPECT_EQ(reentered, 2);
  EXPECT_EQ(view_.Tips().size(), 2u);
  EXPECT_TRUE(view_.TextsOf(IDC_PORT_NAME).empty());
  EXPECT_EQ(view_.Text(IDC_MESSAGE), kSettingSetFail);
}

TEST_F(OperationsTest, EscapeAndUnknownIdentifiersDoNothing) {
  for (int id : {IDCANCEL, 0, IDC_MESSAGE, IDC_INPUT_MAX, 65535}) OnCommand(dialog(), id);
  EXPECT_TRUE(view_.Events().empty());
  EXPECT_EQ(readyForCommand.load(), 1);
}

}  // namespace

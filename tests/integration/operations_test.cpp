// The commands and the operation worker, end to end: the real core and POSIX
// serial code against the simulated transmitter, with a recording view. Every
// scenario of tests/support/scenarios.h runs here, with what only this level
// sees: each step of the message line at its moment (never early, at most a
// few tens of milliseconds late), each frame at its opening, the thread each
// box comes from, and the shared state afterwards. These tests sleep through
// the operations' fixed timings; run them in parallel.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "tests/support/scenarios.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/texts.h"
#include "tests/support/timeline.h"
#include "view/control_ids.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = sim::Bytes;
using testing_view::ViewEvent;
using timeline::Due;

// How late a step may show after its moment; never early. The operations only
// sleep, so this covers scheduling, and the sanitizers' slower pace.
#ifdef CORVELLE_SANITIZED
constexpr double kLateMs = 80.0;
#else
constexpr double kLateMs = 30.0;
#endif

class OperationsTest : public testing_sim::SimTest {
 protected:
  // Gives command `id` and waits until the window accepts commands again.
  void Run(int id) {
    start_ = Clock::now();
    RunCommand(id);
  }

  double MsSinceStart(Clock::time_point at) const {
    return std::chrono::duration<double, std::milli>(at - start_).count();
  }

  // The message line's texts in order, each at its moment.
  void ExpectMessages(const std::vector<Due>& expected) {
    std::vector<ViewEvent> messages;
    std::string shown;
    for (const auto& e : view_.Events()) {
      if (e.kind != ViewEvent::kSetText || e.controlId != IDC_MESSAGE) continue;
      messages.push_back(e);
      shown += "[" + e.text + "] ";
    }
    ASSERT_EQ(messages.size(), expected.size()) << shown;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(messages[i].text, expected[i].text) << "message " << i;
      const double late = MsSinceStart(messages[i].at) - expected[i].atMs;
      EXPECT_GE(late, 0.0) << "'" << messages[i].text << "' came " << -late << " ms early";
      EXPECT_LE(late, kLateMs) << "'" << messages[i].text << "' came " << late << " ms late";
    }
  }

  // Every command, as a restless technician gives them.
  void GiveEveryCommand() {
    for (int id : {IDOK, IDCANCEL, IDC_CONNECT, IDC_READ_SETTING, IDC_READ_COLD_PORT,
                   IDC_CALIBRATE_COLD_PORT, IDC_SENSOR_TYPE, 4242}) {
      OnCommand(dialog(), id);
    }
  }

  Clock::time_point start_;
};

class ScenarioTest : public OperationsTest,
                     public ::testing::WithParamInterface<const scenario::Scenario*> {};

TEST_P(ScenarioTest, ShowsWhatTheTechnicianShouldSee) {
  const scenario::Scenario& row = *GetParam();
  scenario::Arrange(*this, row);
  for (const auto& choice : row.chosen) view_.Select(choice.list, choice.index);
  for (const auto& field : row.typed) view_.SetText(field.id, field.text);
  view_.ClearEvents();

  start_ = Clock::now();
  OnCommand(dialog(), row.op->command);
  const auto commandTook = Clock::now() - start_;
  if (row.clicksDuring) {
    GiveEveryCommand();  // before the worker has begun
    std::this_thread::sleep_for(1s);
    GiveEveryCommand();
  }
  WaitForGate();
  const std::string port = portName;

  std::vector<ViewEvent> boxes;
  for (const auto& e : view_.Events()) {
    if (e.kind == ViewEvent::kTips) boxes.push_back(e);
  }
  ASSERT_EQ(boxes.size(), row.boxes.size()) << "boxes shown";
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].text, texts::WithPort(row.boxes[i].text, port)) << "box " << i;
    EXPECT_EQ(boxes[i].thread != std::this_thread::get_id(), row.boxes[i].onWorker)
        << "the thread of box " << i;
  }
  if (row.outcome.empty()) {
    EXPECT_TRUE(view_.TextsOf(IDC_MESSAGE).empty());
    EXPECT_LT(commandTook, 200ms) << "no pause, no worker";
  } else {
    ExpectMessages(timeline::MessageLine(*row.op, row.outcome, row.port == scenario::Port::kAtHand,
                                         scenario::QuietMs(row)));
  }
  for (const auto& field : row.after) {
    EXPECT_EQ(view_.Text(field.id), texts::WithPort(field.text, port)) << "field " << field.id;
  }
  std::this_thread::sleep_for(100ms);  // a stray frame would be on its way
  EXPECT_EQ(FramesOnTheWire(), row.frames);
  const auto frames = device_->Frames();
  for (std::size_t i = 0; i < frames.size() && i < row.op->openingsAtMs.size(); ++i) {
    EXPECT_NEAR(MsSinceStart(frames[i].at), row.op->openingsAtMs[i] + scenario::QuietMs(row), 60.0)
        << "frame " << i;
  }
  if (!row.noiseWhenOpened.empty()) {
    const auto sent = device_->Replies();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().request, 0) << "the noise went out before the request";
    EXPECT_EQ(sent.front().bytes, row.noiseWhenOpened);
  }
  EXPECT_EQ(readyForCommand.load(), 1);
  EXPECT_EQ(OperationState.load(), STATE_IDLE);
  EXPECT_EQ(replyArrived.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, ScenarioTest,
                         ::testing::ValuesIn(scenario::At(scenario::kIntegration)),
                         scenario::NameOf);

// ---------------------------------------------------------------- beyond one command

TEST_F(OperationsTest, ReplyAfterTheFlagTestIsAFailureAndDoesNotReachTheNextOperation) {
  device_->SetSettingReply({0x42, 3, 0x03, 0xE8, 0, 0, 1, 0, 0, 0, 0});
  device_->Misbehave({sim::Misbehaviour::kLate, 0, 3700, {}});
  Run(IDC_READ_SETTING);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kSettingReadFail);
  std::this_thread::sleep_for(400ms);  // the late reply lands now
  ASSERT_EQ(device_->Replies().size(), 1u);
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_EQ(view_.Text(IDC_READ_MAX), "");

  // The next operation expects a cold port reply that never comes: the stale
  // setting bytes on the line must not pass for it.
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  view_.ClearEvents();
  Run(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kColdPortReadFail);
  EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "");
}

TEST_F(OperationsTest, CalibrateJudgesTheEntryThatWasSentNotWhatTheFieldHoldsLater) {
  view_.SetText(IDC_COLD_PORT_TEMP, "25.0");
  device_->Misbehave({sim::Misbehaviour::kGarbage, 0, 0, {0x00, 0xF1}});  // reads back 24.1
  OnCommand(dialog(), IDC_CALIBRATE_COLD_PORT);
  std::this_thread::sleep_for(2s);
  view_.SetText(IDC_COLD_PORT_TEMP, "30");  // typed while the operation runs
  WaitForGate();
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kCalibrateSuccess);
  EXPECT_EQ(device_->ColdPortTenths(), 250);
}

TEST_F(OperationsTest, BoxOnTheWorkerDelaysTheOperationUntilDismissed) {
  MakePortMissing();
  view_.SetTipsDismissDelay(700ms);
  Run(IDC_READ_COLD_PORT);
  // Both boxes held the worker before its waits began.
  ExpectMessages(timeline::Later(
      timeline::MessageLine(timeline::kReadColdPort, texts::kColdPortReadFail, false), 1400));
}

// Connect closes the port again: a second Connect, and then another opening,
// find it free.
TEST_F(OperationsTest, ConnectReleasesThePort) {
  for (int i = 0; i < 2; ++i) {
    view_.ClearEvents();
    OnCommand(dialog(), IDC_CONNECT);
    EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{texts::kOpenSuccess});
  }
  PortHandle other;
  EXPECT_TRUE(OpenPortForCommand(other, dialog())) << "Connect kept the port";
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
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kSetFail);
}

TEST_F(OperationsTest, EscapeAndUnknownIdentifiersDoNothing) {
  for (int id : {IDCANCEL, 0, IDC_MESSAGE, IDC_INPUT_MAX, 65535}) OnCommand(dialog(), id);
  EXPECT_TRUE(view_.Events().empty());
  EXPECT_EQ(readyForCommand.load(), 1);
}

}  // namespace

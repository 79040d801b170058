// Hundreds of operations in a row against a transmitter that misbehaves at
// random. Every outcome must match what the device actually did, the fields
// must show only the data of the reply that was judged, and afterwards the
// program must still work with no descriptor or thread left behind. The
// operations run at a tenth of their normal pace so the run stays short; the
// real pace is covered by the operation tests.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "ops/operation_steps.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/texts.h"
#include "tests/support/wire_model.h"
#include "view/control_ids.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using sim::Misbehaviour;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPace = 10;
constexpr int kOperations = 320;

class SoakTest : public testing_sim::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SetOperationPaceForTesting(kPace);
  }
  void TearDown() override {
    SimTest::TearDown();
    SetOperationPaceForTesting(1);
  }

  // Lets the device finish what it was told before the next request, so that
  // a deliberately late answer cannot arrive in the middle of the next one.
  void Settle(std::size_t repliesExpected) {
    const auto end = Clock::now() + 3s;
    while (Clock::now() < end && (device_->Replies().size() < repliesExpected ||
                                  !std::filesystem::exists(device_->PortPath()))) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(std::filesystem::exists(device_->PortPath()));
    ASSERT_GE(device_->Replies().size(), repliesExpected);
  }
};

struct Plan {
  Misbehaviour what;
  bool answers;   // some bytes go out for this request
  bool complete;  // enough bytes, in time
};

// A random way for the device to answer a request whose flag test comes
// `flagMs` after it, with `needed` bytes expected. Late answers keep well away
// from the flag test so the expected outcome is never a matter of scheduling.
Plan RandomPlan(std::mt19937& random, int flagMs, std::size_t needed) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  switch (pick(0, 7)) {
    case 0:
      return {{Misbehaviour::kSilent, 0, 0, {}}, false, false};
    case 1: {
      const int n = pick(1, static_cast<int>(needed) - 1);
      return {{Misbehaviour::kShort, n, 0, {}}, true, false};
    }
    case 2:
      return {{Misbehaviour::kExtra, pick(1, 5), 0, {}}, true, true};
    case 3:
      return {{Misbehaviour::kLate, 0, pick(flagMs / 3, flagMs - 80), {}}, true, true};
    case 4:
      return {{Misbehaviour::kLate, 0, pick(flagMs + 80, flagMs + 250), {}}, true, false};
    case 5: {
      Bytes garbage(static_cast<std::size_t>(pick(0, 16)));
      for (auto& b : garbage) b = static_cast<std::uint8_t>(pick(0, 255));
      const bool enough = garbage.size() >= needed;
      return {{Misbehaviour::kGarbage, 0, 0, garbage}, !garbage.empty(), enough};
    }
    case 6:
      return {{Misbehaviour::kVanish, 0, pick(50, 300), {}}, false, false};
    default:
      return {{Misbehaviour::kExtra, 0, 0, {}}, true, true};  // a plain answer
  }
}

TEST_F(SoakTest, OutcomesMatchWhatTheDeviceDid) {
  const char* seedText = std::getenv("CORVELLE_SOAK_SEED");
  const unsigned seed =
      seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261208u;
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));

  // One warm-up operation so that lazily created runtime state is counted.
  RunCommand(IDC_READ_COLD_PORT);
  Settle(1);
  const int fds = testing_process::OpenDescriptors();
  const int threads = testing_process::Threads();

  int successes = 0, failures = 0;
  for (int i = 0; i < kOperations; ++i) {
    SCOPED_TRACE("operation " + std::to_string(i));
    const int kind = std::uniform_int_distribution<int>(0, 19)(random);
    const std::size_t repliesBefore = device_->Replies().size();

    if (kind < 18) {  // a read: of the setting, or of the cold port temperature
      const bool setting = kind < 9;
      const std::vector<int> fields =
          setting ? std::vector<int>{IDC_READ_SENSOR, IDC_READ_MAX_SIGN, IDC_READ_MAX,
                                     IDC_READ_MIN_SIGN, IDC_READ_MIN}
                  : std::vector<int>{IDC_COLD_PORT_TEMP};
      std::map<int, std::string> expected;
      for (int id : fields) expected[id] = view_.Text(id);
      const Plan plan = RandomPlan(random, (setting ? 3500 : 2100) / kPace, setting ? 11 : 2);
      device_->Misbehave(plan.what);
      RunCommand(setting ? IDC_READ_SETTING : IDC_READ_COLD_PORT);
      Settle(repliesBefore + (plan.answers ? 1 : 0));
      (plan.complete ? successes : failures)++;
      if (plan.complete && setting) {
        const auto reply = wire_model::ReadSetting(device_->Replies().back().bytes.data());
        for (const texts::Sensor& row : texts::kSensors) {
          if (row.code == reply.code) expected[IDC_READ_SENSOR] = row.readBack;
        }
        expected[IDC_READ_MAX_SIGN] = "+";
        expected[IDC_READ_MAX] = std::to_string(reply.max);
        expected[IDC_READ_MIN_SIGN] = reply.negative ? "-" : "+";
        expected[IDC_READ_MIN] = std::to_string(reply.magnitude);
      } else if (plan.complete) {
        const int tenths = wire_model::ColdPortTenths(device_->Replies().back().bytes.data());
        expected[IDC_COLD_PORT_TEMP] = wire_model::Gcvt(tenths / 10.0, 4);
      }
      const std::string& outcome =
          setting ? (plan.complete ? texts::kSettingReadSuccess : texts::kSettingReadFail)
                  : (plan.complete ? texts::kColdPortReadSuccess : texts::kColdPortReadFail);
      ASSERT_EQ(view_.Text(IDC_MESSAGE), outcome);
      for (const auto& [id, text] : expected) EXPECT_EQ(view_.Text(id), text) << "field " << id;
    } else if (kind == 18) {  // set, then the device holds the new setting
      const int max = 10 * std::uniform_int_distribution<int>(0, 133)(random);
      const int min = 10 * std::uniform_int_distribution<int>(0, 27)(random);
      FillSetFields(3, 1, std::to_string(max).c_str(), std::to_string(min).c_str());
      const std::size_t framesBefore = device_->Frames().size();
      RunCommand(IDOK);
      ++successes;
      ASSERT_EQ(view_.Text(IDC_MESSAGE), texts::kSetComplete);
      ASSERT_TRUE(device_->WaitForFrames(framesBefore + 1, 1s));
      const auto expected = wire_model::SettingFrame(3, max, min, true);
      EXPECT_EQ(device_->Frames().back().bytes, Bytes(expected.begin(), expected.end()));
    } else {  // calibrate to a random target; the device adopts it
      const int target = std::uniform_int_distribution<int>(-500, 1500)(random);
      const std::string entry =
          std::to_string(target / 10) + "." + std::to_string(std::abs(target % 10));
      view_.SetText(IDC_COLD_PORT_TEMP, target < 0 && target > -10 ? "-" + entry : entry);
      const bool silent = std::uniform_int_distribution<int>(0, 3)(random) == 0;
      if (silent) device_->Misbehave({Misbehaviour::kSilent, 0, 0, {}});
      RunCommand(IDC_CALIBRATE_COLD_PORT);
      Settle(repliesBefore + (silent ? 0 : 1));
      if (silent) {
        ++failures;
        ASSERT_EQ(view_.Text(IDC_MESSAGE), texts::kColdPortReadFail);
      } else {
        ++successes;
        ASSERT_EQ(view_.Text(IDC_MESSAGE), texts::kCalibrateSuccess);
        EXPECT_EQ(device_->ColdPortTenths(), target);
      }
    }
    ASSERT_EQ(replyArrived.load(), 0);
    ASSERT_EQ(OperationState.load(), STATE_IDLE);
  }
  EXPECT_GT(successes, kOperations / 4);
  EXPECT_GT(failures, kOperations / 4);

  // Still working, and nothing left behind.
  device_->SetColdPortTenths(123);
  RunCommand(IDC_READ_COLD_PORT);
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kColdPortReadSuccess);
  EXPECT_EQ(view_.Text(IDC_COLD_PORT_TEMP), "12.3");
  EXPECT_EQ(testing_process::OpenDescriptors(), fds);
  EXPECT_EQ(testing_process::ThreadsOnceSettledAt(threads), threads);
  EXPECT_TRUE(view_.Tips().empty()) << view_.Tips().front();
}

// Thousands of requests to a device as quick as a 9600 line allows (1 ms, then
// a byte every 1.04 ms), on four lines at once, with both cores kept busy and
// the link's threads below the device's in priority: a thread held up after
// its write, for longer than the device takes to answer, must lose none of
// the answer. Runs alone (RUN_SERIAL), so that its load holds up no other test.
TEST_F(SoakTest, AQuickDeviceLosesNoAnswerOnABusyMachine) {
#ifdef CORVELLE_SANITIZED
  constexpr int kRequests = 400;
#else
  constexpr int kRequests = 2400;
#endif
  constexpr int kLines = 4;
  const Bytes setting = {0x42, 3, 0x03, 0xE8, 0, 0, 1, 0, 0, 0, 0};  // the simulator's own
  const Bytes cold = {0xFF, 0xCC};                                     // -5.2
  std::vector<std::unique_ptr<sim::SimulatedTransmitter>> devices;
  for (int i = 0; i < kLines; ++i) {
    devices.push_back(std::make_unique<sim::SimulatedTransmitter>(
        sim::SimOptions{folder_, "quick" + std::to_string(i), 1, sim::kLinePace}));
    devices.back()->SetColdPortTenths(-52);
  }
  std::atomic<bool> loaded{true};
  std::vector<std::thread> load;
  for (int i = 0; i < 3; ++i) {
    load.emplace_back([&] {
      while (loaded.load(std::memory_order_relaxed)) {
      }
    });
  }
  std::atomic<int> lost{0};
  std::vector<std::thread> lines;
  for (int i = 0; i < kLines; ++i) {
    lines.emplace_back([&, i] {
      // This thread and the readers it starts yield to the load and the device.
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
      const std::string name = devices[i]->PortPath();
      for (int n = i; n < kRequests; n += kLines) {
        const bool askSetting = n % 2 == 0;
        const Bytes& expected = askSetting ? setting : cold;
        const std::uint8_t request = askSetting ? 'B' : 'E';
        PortHandle port;
        std::optional<Reply> reply;
        if (OpenPortWithReader(port, dialog(), name.c_str(),
                               askSetting ? ReplyKind::kSetting : ReplyKind::kColdPort) &&
            SendFrame(dialog(), &request, 1, port)) {
          const auto end = Clock::now() + 1s;
          while (!(reply = port.TakeReply()) && Clock::now() < end)
            std::this_thread::sleep_for(1ms);
        }
        if (!reply || !std::equal(expected.begin(), expected.end(), reply->bytes.begin())) ++lost;
      }
    });
  }
  for (std::thread& line : lines) line.join();
  loaded = false;
  for (std::thread& busy : load) busy.join();
  EXPECT_EQ(lost.load(), 0) << "answers lost of " << kRequests;
  EXPECT_TRUE(view_.Tips().empty());
}

}  // namespace

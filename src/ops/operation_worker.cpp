#include "ops/operation_worker.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "ops/cold_port.h"
#include "ops/operation_state.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "view/control_ids.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> paceDivisor{1};

// Where the current wait of this thread's operation ends.
thread_local Clock::time_point paceMoment = Clock::now();

}  // namespace

void StartPace() {
  paceMoment = Clock::now();
}

void SleepMs(int milliseconds) {
  paceMoment += std::chrono::microseconds(milliseconds * 1000 / paceDivisor.load());
  std::this_thread::sleep_until(paceMoment);
}

std::string FullStops(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "。";
  return text;
}

void ShowProgress(DialogHandle dialog, int count) {
  SetControlText(dialog, IDC_MESSAGE, FullStops(count).c_str());
  SleepMs(1000);
}

std::optional<Reply> ArrivedReply(PortHandle& port) {
  if (replyArrived.load() != 1) return std::nullopt;
  return port.TakeReply();
}

void EndOperation(DialogHandle dialog, PortHandle& port, const char* message) {
  port.Close();
  if (message != nullptr) SetControlText(dialog, IDC_MESSAGE, message);
  replyArrived.store(0);
  OperationState.store(STATE_IDLE);
  readyForCommand.store(1);
}

void OperationWorker(DialogHandle dialog) {
  const std::uint8_t state = OperationState.load();
  PortHandle port;
  switch (state) {
    case STATE_READ_SETTING:
      return ReadSettingOperation(dialog, port);
    case STATE_WRITE_SETTING:
      return WriteSettingOperation(dialog, port);
    case STATE_READ_COLD_PORT:
      return ReadColdPortOperation(dialog, port);
    case STATE_CALIBRATE_COLD_PORT:
      return CalibrateColdPortOperation(dialog, port);
    default:
      return EndOperation(dialog, port, nullptr);
  }
}

void SetOperationPaceForTesting(int divisor) {
  paceDivisor.store(divisor > 0 ? divisor : 1);
}

bool StartOperationWorker(DialogHandle dialog, const char* failureText) {
  try {
    std::thread(OperationWorker, dialog).detach();
    return true;
  } catch (const std::system_error&) {
    SetControlText(dialog, IDC_MESSAGE, failureText);
    replyArrived.store(0);
    OperationState.store(STATE_IDLE);
    return false;
  }
}

#include "ops/operation_steps.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "ops/operation_state.h"
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

void SetOperationPaceForTesting(int divisor) {
  paceDivisor.store(divisor > 0 ? divisor : 1);
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

bool GetWholeControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize) {
  if (bufferSize <= 0) return false;
  if (GetControlText(dialog, controlId, buffer, bufferSize)) return true;
  buffer[0] = '\0';
  return false;
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

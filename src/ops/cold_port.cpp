#include "ops/cold_port.h"

#include <atomic>
#include <cmath>
#include <optional>

#include "link/port_discovery.h"
#include "ops/operation_state.h"
#include "ops/operation_steps.h"
#include "protocol/frames.h"
#include "view/control_ids.h"

namespace {

// What the calibrate command's first phase sent, for the second phase to
// judge: whether the 'F' frame reached a configured port, and the entry it
// carried. The entry field itself may be edited while the operation runs.
std::atomic<bool> targetSent{false};
std::atomic<double> targetEntered{0.0};

// Opens the port with a reader for the cold port reply and asks for it; the
// waits that follow count from the request.
void RequestColdPort(DialogHandle dialog, PortHandle& port) {
  OpenPortWithReader(port, dialog, portName, ReplyKind::kColdPort);
  SendFrame(dialog, &kReadColdPortRequest, 1, port);
  StartPace();
}

}  // namespace

CommandResult ReadColdPortCommand(DialogHandle, PortHandle&) {
  OperationState.store(STATE_READ_COLD_PORT);
  return {true, kColdPortReadFail};
}

void ReadColdPortOperation(DialogHandle dialog, PortHandle& port) {
  OperationState.store(STATE_AWAIT_COLD_PORT);
  RequestColdPort(dialog, port);
  for (int count : {2, 4}) ShowProgress(dialog, count);
  SleepMs(100);
  const std::optional<Reply> reply = ArrivedReply(port);
  if (!reply) return EndOperation(dialog, port, kColdPortReadFail);

  const ColdPortReading reading = DecodeColdPortReply(reply->bytes.data());
  SetControlText(dialog, IDC_COLD_PORT_TEMP, reading.text.c_str());
  EndOperation(dialog, port, kColdPortReadSuccess);
}

CommandResult CalibrateColdPortCommand(DialogHandle dialog, PortHandle& port) {
  char entryText[255] = {};
  const bool whole = GetWholeControlText(dialog, IDC_COLD_PORT_TEMP, entryText, sizeof entryText);
  const std::optional<ColdPortTarget> target =
      whole ? ColdPortTargetFromEntry(entryText) : std::nullopt;
  if (!target) {
    ShowTips(dialog, kColdPortEntryIllegality);
    return kNoWorker;
  }
  const ColdPortCalibrationFrame frame = MakeColdPortCalibrationFrame(target->tenths);
  targetEntered.store(target->degrees);
  const bool opened = OpenPortForCommand(port, dialog);
  const bool sent = SendFrame(dialog, frame.data(), frame.size(), port);
  targetSent.store(opened && sent);
  // Give the device a second with the new value before the worker starts.
  StartPace();
  SleepMs(1000);
  OperationState.store(STATE_CALIBRATE_COLD_PORT);
  return {true, kCalibrateFail};
}

void CalibrateColdPortOperation(DialogHandle dialog, PortHandle& port) {
  OperationState.store(STATE_AWAIT_COLD_PORT);
  StartPace();
  // The device needs these seconds to settle on the new value.
  for (int count = 2; count <= 14; count += 2) ShowProgress(dialog, count);
  SetControlText(dialog, IDC_MESSAGE, FullStops(16).c_str());
  SleepMs(1500);

  RequestColdPort(dialog, port);
  for (int count : {2, 4}) ShowProgress(dialog, count);
  SleepMs(100);
  SleepMs(500);
  const std::optional<Reply> reply = ArrivedReply(port);
  // A read-back that a chattering line may have mixed into is no read-back at
  // all, and the calibration it was to confirm has failed.
  if (!reply) {
    return EndOperation(dialog, port, port.LineNeverQuiet() ? kCalibrateFail : kColdPortReadFail);
  }

  const double measured = DecodeColdPortReply(reply->bytes.data()).degrees;
  // A read-back close to a target that never reached the device proves
  // nothing. A NaN or infinite difference is never below one degree.
  const bool close = std::fabs(targetEntered.load() - measured) < 1.0;
  EndOperation(dialog, port, targetSent.load() && close ? kCalibrateSuccess : kCalibrateFail);
}

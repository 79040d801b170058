#include "ops/cold_port.h"

#include <cmath>
#include <optional>

#include "link/port_discovery.h"
#include "ops/operation_state.h"
#include "ops/operation_worker.h"
#include "protocol/frames.h"
#include "protocol/number_text.h"
#include "view/control_ids.h"

namespace {

// Opens the port with a reader for the cold port reply and asks for it.
void RequestColdPort(DialogHandle dialog, PortHandle& port) {
  OpenPortWithReader(port, dialog, portName, ReplyKind::kColdPort);
  SendFrame(dialog, &kReadColdPortRequest, 1, port);
}

}  // namespace

bool ReadColdPortCommand(DialogHandle dialog, PortHandle&) {
  OperationState.store(STATE_READ_COLD_PORT);
  return StartOperationWorker(dialog);
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

bool CalibrateColdPortCommand(DialogHandle dialog, PortHandle& port) {
  char entryText[255] = {};
  GetControlText(dialog, IDC_COLD_PORT_TEMP, entryText, sizeof entryText);
  const std::optional<int> target = ColdPortTargetTenths(entryText);
  if (!target) {
    ShowTips(dialog, kColdPortEntryIllegality);
    return false;
  }
  const ColdPortCalibrationFrame frame = MakeColdPortCalibrationFrame(*target);
  OpenPortForCommand(port, dialog);
  SendFrame(dialog, frame.data(), frame.size(), port);
  // Give the device a second with the new value before the worker starts.
  SleepMs(1000);
  OperationState.store(STATE_CALIBRATE_COLD_PORT);
  return StartOperationWorker(dialog);
}

void CalibrateColdPortOperation(DialogHandle dialog, PortHandle& port) {
  OperationState.store(STATE_AWAIT_COLD_PORT);
  // The device needs these seconds to settle on the new value.
  for (int count = 2; count <= 14; count += 2) ShowProgress(dialog, count);
  SetControlText(dialog, IDC_MESSAGE, FullStops(16).c_str());
  SleepMs(1500);

  RequestColdPort(dialog, port);
  for (int count : {2, 4}) ShowProgress(dialog, count);
  SleepMs(100);
  SleepMs(500);
  const std::optional<Reply> reply = ArrivedReply(port);
  if (!reply) return EndOperation(dialog, port, kColdPortReadFail);

  const double measured = DecodeColdPortReply(reply->bytes.data()).degrees;
  char entryText[255] = {};
  GetControlText(dialog, IDC_COLD_PORT_TEMP, entryText, sizeof entryText);
  const double entered = ParseDoubleLikeStrtod(entryText).value;
  // A NaN or infinite difference is never below one degree, so it fails too.
  const bool close = std::fabs(entered - measured) < 1.0;
  EndOperation(dialog, port, close ? kCalibrateSuccess : kCalibrateFail);
}

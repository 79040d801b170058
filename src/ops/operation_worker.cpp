#include "ops/operation_worker.h"

#include <chrono>
#include <cmath>
#include <string>
#include <system_error>
#include <thread>

#include "app/control_ids.h"
#include "ops/operation_state.h"
#include "protocol/frames.h"
#include "protocol/number_text.h"

namespace {

std::atomic<int> paceDivisor{1};

void SleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::microseconds(milliseconds * 1000 / paceDivisor.load()));
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

// Every operation ends here. The port is closed first, so that its reader can
// no longer raise the reply flag once the flag has been cleared for the next
// operation.
void Ending(DialogHandle dialog, PortHandle& port, const char* message) {
  port.Close();
  if (message != nullptr) SetControlText(dialog, IDC_MESSAGE, message);
  replyArrived.store(0);
  OperationState.store(STATE_IDLE);
  readyForCommand.store(1);
}

bool SendRequest(DialogHandle dialog, PortHandle& port, std::uint8_t letter) {
  return SendFrame(dialog, &letter, 1, port);
}

void ReadSetting(DialogHandle dialog, PortHandle& port) {
  OpenPortWithReader(port, dialog, portName);
  SendRequest(dialog, port, kReadSettingRequest);
  SleepMs(500);
  for (int count : {2, 4, 6}) ShowProgress(dialog, count);
  if (replyArrived.load() != 1) return Ending(dialog, port, kSettingReadFail);

  if (const char* sensor = SensorTextForDeviceCode(settingReplyBuffer[1])) {
    SetControlText(dialog, IDC_READ_SENSOR, sensor);
  }
  SetControlText(dialog, IDC_READ_MAX_SIGN, "+");
  SetControlText(dialog, IDC_READ_MAX, replyMaxText);
  SetControlText(dialog, IDC_READ_MIN, replyMinText);
  SetControlText(dialog, IDC_READ_MIN_SIGN, (settingReplyBuffer[4] & 0x80) ? "-" : "+");
  Ending(dialog, port, kSettingReadSuccess);
}

void WriteSetting(DialogHandle dialog, PortHandle& port) {
  for (int count : {2, 4}) ShowProgress(dialog, count);
  Ending(dialog, port, settingFrameSent.load() ? kSettingSetComplete : kSettingSetFail);
}

void ReadColdPort(DialogHandle dialog, PortHandle& port) {
  OperationState.store(STATE_AWAIT_COLD_PORT);
  OpenPortWithReader(port, dialog, portName);
  SendRequest(dialog, port, kReadColdPortRequest);
  for (int count : {2, 4}) ShowProgress(dialog, count);
  SleepMs(100);
  if (replyArrived.load() != 1) return Ending(dialog, port, kColdPortReadFail);

  const ColdPortReading reading = DecodeColdPortReply(coldPortReplyBuffer);
  SetControlText(dialog, IDC_COLD_PORT_TEMP, reading.text.c_str());
  Ending(dialog, port, kColdPortReadSuccess);
}

void CalibrateColdPort(DialogHandle dialog, PortHandle& port) {
  OperationState.store(STATE_AWAIT_COLD_PORT);
  // The device needs these seconds to settle on the new value.
  for (int count = 2; count <= 14; count += 2) ShowProgress(dialog, count);
  SetControlText(dialog, IDC_MESSAGE, FullStops(16).c_str());
  SleepMs(1500);

  OpenPortWithReader(port, dialog, portName);
  SendRequest(dialog, port, kReadColdPortRequest);
  for (int count : {2, 4}) ShowProgress(dialog, count);
  SleepMs(100);
  SleepMs(500);
  if (replyArrived.load() != 1) return Ending(dialog, port, kColdPortReadFail);

  const double measured = DecodeColdPortReply(coldPortReplyBuffer).degrees;
  char entryText[255] = {};
  GetControlText(dialog, IDC_COLD_PORT_TEMP, entryText, sizeof entryText);
  const double entered = ParseDoubleLikeStrtod(entryText).value;
  // A NaN or infinite difference is never below one degree, so it fails too.
  const bool close = std::fabs(entered - measured) < 1.0;
  Ending(dialog, port, close ? kCalibrateSuccess : kCalibrateFail);
}

}  // namespace

void OperationWorker(DialogHandle dialog) {
  const std::uint8_t state = OperationState.load();
  readyForCommand.store(0);
  PortHandle port;
  switch (state) {
    case STATE_READ_SETTING:
      return ReadSetting(dialog, port);
    case STATE_WRITE_SETTING:
      return WriteSetting(dialog, port);
    case STATE_READ_COLD_PORT:
      return ReadColdPort(dialog, port);
    case STATE_CALIBRATE_COLD_PORT:
      return CalibrateColdPort(dialog, port);
    default:
      return Ending(dialog, port, nullptr);
  }
}

void SetOperationPaceForTesting(int divisor) {
  paceDivisor.store(divisor > 0 ? divisor : 1);
}

bool StartOperationWorker(DialogHandle dialog) {
  try {
    std::thread(OperationWorker, dialog).detach();
    return true;
  } catch (const std::system_error&) {
    OperationState.store(STATE_IDLE);
    return false;
  }
}

bool ReadSettingCommand(DialogHandle dialog, PortHandle&) {
  OperationState.store(STATE_READ_SETTING);
  return StartOperationWorker(dialog);
}

bool ReadColdPortCommand(DialogHandle dialog, PortHandle&) {
  OperationState.store(STATE_READ_COLD_PORT);
  return StartOperationWorker(dialog);
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

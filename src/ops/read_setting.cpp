#include "ops/read_setting.h"

#include "link/port_discovery.h"
#include "ops/operation_state.h"
#include "ops/operation_steps.h"
#include "protocol/frames.h"
#include "protocol/sensor_catalogue.h"
#include "view/control_ids.h"

CommandResult ReadSettingCommand(DialogHandle, PortHandle&) {
  OperationState.store(STATE_READ_SETTING);
  return {true, kSettingReadFail};
}

void ReadSettingOperation(DialogHandle dialog, PortHandle& port) {
  OpenPortWithReader(port, dialog, portName, ReplyKind::kSetting);
  SendFrame(dialog, &kReadSettingRequest, 1, port);
  StartPace();
  SleepMs(500);
  for (int count : {2, 4, 6}) ShowProgress(dialog, count);
  const std::optional<Reply> reply = ArrivedReply(port);
  if (!reply) return EndOperation(dialog, port, kSettingReadFail);

  const SettingReply setting = DecodeSettingReply(reply->bytes.data());
  // A code that names no sensor leaves the field as it was.
  if (const char* sensor = SensorTextForDeviceCode(setting.deviceCode)) {
    SetControlText(dialog, IDC_READ_SENSOR, sensor);
  }
  SetControlText(dialog, IDC_READ_MAX_SIGN, "+");
  SetControlText(dialog, IDC_READ_MAX, setting.maxText.c_str());
  SetControlText(dialog, IDC_READ_MIN, setting.minText.c_str());
  SetControlText(dialog, IDC_READ_MIN_SIGN, setting.minNegative ? "-" : "+");
  EndOperation(dialog, port, kSettingReadSuccess);
}

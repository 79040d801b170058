#include "app/control_ids.h"
#include "ops/operation_state.h"
#include "ops/operation_worker.h"
#include "protocol/frames.h"
#include "protocol/sensor_catalogue.h"

namespace {

// Kept between set commands: bytes 0 and 6-10 never change, bytes 1-5 are
// rewritten right before every send.
SettingFrame settingFrame = MakeSettingFrame();

}  // namespace

bool SetCommand(DialogHandle dialog, PortHandle& port) {
  const RangeInput input = ValidateRangeInput(dialog);
  if (input.verdict == RangeVerdict::kRejected) return false;
  if (input.verdict == RangeVerdict::kAcceptedWithoutRow) {
    // Nothing would be sent, so nothing may be reported as set.
    ShowTips(dialog, kChooseSensorType);
    return false;
  }

  SetControlText(dialog, IDC_CHOICE, input.row->confirmationText);
  const bool opened = OpenPortWithReader(port, dialog, portName);
  settingFrame[1] = input.row->deviceCode;
  FillRangeBytes(settingFrame, input.max, input.min, input.minNegative);
  const bool sent = SendFrame(dialog, settingFrame.data(), settingFrame.size(), port);
  settingFrameSent.store(opened && sent);
  OperationState.store(STATE_WRITE_SETTING);
  return StartOperationWorker(dialog);
}

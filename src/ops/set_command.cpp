#include "ops/set_command.h"

#include <atomic>

#include "link/port_discovery.h"
#include "ops/operation_state.h"
#include "ops/operation_steps.h"
#include "protocol/frames.h"
#include "view/control_ids.h"

namespace {

// Kept between set commands: bytes 0 and 6-10 never change, bytes 1-5 are
// rewritten right before every send.
SettingFrame settingFrame = MakeSettingFrame();

// Whether the last set command got its frame onto the line; the worker reports
// from it.
std::atomic<bool> settingFrameSent{false};

}  // namespace

RangeInput ValidateRangeInput(DialogHandle dialog) {
  char maxText[256] = {};
  char minText[256] = {};
  // A text too long for its buffer is read as empty, which is refused: a
  // number cut short must not pass as another.
  GetWholeControlText(dialog, IDC_INPUT_MAX, maxText, sizeof maxText);
  GetWholeControlText(dialog, IDC_INPUT_MIN, minText, sizeof minText);
  const RangeInput input = CheckRangeInput(maxText, minText, GetListSelection(dialog, IDC_MIN_SIGN),
                                           GetListSelection(dialog, IDC_SENSOR_TYPE));
  if (input.verdict == RangeVerdict::kRejected) ShowTips(dialog, input.rejection);
  return input;
}

CommandResult SetCommand(DialogHandle dialog, PortHandle& port) {
  const RangeInput input = ValidateRangeInput(dialog);
  if (input.verdict == RangeVerdict::kRejected) return kNoWorker;
  if (input.verdict == RangeVerdict::kAcceptedWithoutRow) {
    // Nothing would be sent, so nothing may be reported as set.
    ShowTips(dialog, kChooseSensorType);
    return kNoWorker;
  }

  SetControlText(dialog, IDC_CHOICE, input.row->confirmationText);
  const bool opened = OpenPortWithReader(port, dialog, portName, ReplyKind::kNone);
  settingFrame[1] = input.row->deviceCode;
  FillRangeBytes(settingFrame, input.max, input.min, input.minNegative);
  const bool sent =
      SendFrame(dialog, settingFrame.data(), settingFrame.size(), port) && opened;
  settingFrameSent.store(sent);
  OperationState.store(STATE_WRITE_SETTING);
  // The device has the frame even when no worker can start to say so.
  return {true, sent ? kSettingSetComplete : kSettingSetFail};
}

void WriteSettingOperation(DialogHandle dialog, PortHandle& port) {
  StartPace();
  for (int count : {2, 4}) ShowProgress(dialog, count);
  EndOperation(dialog, port, settingFrameSent.load() ? kSettingSetComplete : kSettingSetFail);
}

#include "ops/operation_worker.h"

#include <system_error>
#include <thread>

#include "ops/cold_port.h"
#include "ops/operation_state.h"
#include "ops/operation_steps.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "view/control_ids.h"

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

#include "ops/command_dispatch.h"

#include "link/serial_link.h"
#include "ops/cold_port.h"
#include "ops/connect.h"
#include "ops/operation_state.h"
#include "ops/operation_worker.h"
#include "ops/read_setting.h"
#include "ops/set_command.h"
#include "view/control_ids.h"

namespace {

// A command runs on the user-interface thread with the dispatch's port handle,
// and says whether the worker is to start; a worker that starts owns the gate.
using CommandHandler = CommandResult (*)(DialogHandle, PortHandle&);

CommandHandler HandlerFor(int id) {
  switch (id) {
    case IDOK:
      return SetCommand;
    case IDC_CONNECT:
      return ConnectCommand;
    case IDC_READ_SETTING:
      return ReadSettingCommand;
    case IDC_READ_COLD_PORT:
      return ReadColdPortCommand;
    case IDC_CALIBRATE_COLD_PORT:
      return CalibrateColdPortCommand;
    default:
      return nullptr;  // Escape, list and edit notifications, unknown controls
  }
}

}  // namespace

void OnCommand(DialogHandle dialog, int id) {
  if (readyForCommand.load() != 1) return;
  const CommandHandler handler = HandlerFor(id);
  if (handler == nullptr) return;

  readyForCommand.store(0);
  PortHandle port;
  const CommandResult result = handler(dialog, port);
  const bool workerStarted = result.startWorker && StartOperationWorker(dialog, result.textIfNoWorker);
  port.Close();
  if (!workerStarted) readyForCommand.store(1);
}

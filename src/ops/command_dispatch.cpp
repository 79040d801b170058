#include "ops/command_dispatch.h"

#include "app/control_ids.h"
#include "link/serial_link.h"
#include "ops/operation_state.h"
#include "ops/operation_worker.h"

namespace {

using CommandHandler = bool (*)(DialogHandle, PortHandle&);

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

bool ConnectCommand(DialogHandle dialog, PortHandle& port) {
  FindSerialPort();
  SetControlText(dialog, IDC_PORT_NAME, portName);
  OpenPortWithReader(port, dialog, portName);
  return false;
}

void OnCommand(DialogHandle dialog, int id) {
  if (readyForCommand.load() != 1) return;
  const CommandHandler handler = HandlerFor(id);
  if (handler == nullptr) return;

  readyForCommand.store(0);
  PortHandle port;
  const bool workerStarted = handler(dialog, port);
  port.Close();
  // A started worker reopens the gate when its operation ends.
  if (!workerStarted) readyForCommand.store(1);
}

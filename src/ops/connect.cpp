#include "ops/connect.h"

#include "link/port_discovery.h"
#include "view/control_ids.h"

CommandResult ConnectCommand(DialogHandle dialog, PortHandle& port) {
  FindSerialPort();
  SetControlText(dialog, IDC_PORT_NAME, portName);
  OpenPortWithReader(port, dialog, portName, ReplyKind::kNone);
  return kNoWorker;
}

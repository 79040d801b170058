// Where the user's commands enter the program.
#ifndef CORVELLE_OPS_COMMAND_DISPATCH_H
#define CORVELLE_OPS_COMMAND_DISPATCH_H

#include "app/view.h"
#include "link/serial_link.h"

// Handles the command of control `id` (the identifier alone, without the
// notification code). While an operation runs every command is ignored. The
// gate is also closed while a command itself runs on this thread, so that a
// command that arrives during one of its message boxes cannot start a second
// operation. Call on the user-interface thread only.
void OnCommand(DialogHandle dialog, int id);

// Tests the port: runs discovery, shows the port name, opens and configures
// the port, reports "open serial port success", and closes it again.
bool ConnectCommand(DialogHandle dialog, PortHandle& port);

#endif

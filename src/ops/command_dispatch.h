// Where the user's commands enter the program: the ready gate and the table
// that routes each command to its file (connect, read_setting, cold_port,
// set_command).
#ifndef CORVELLE_OPS_COMMAND_DISPATCH_H
#define CORVELLE_OPS_COMMAND_DISPATCH_H

#include "view/view.h"

// Handles the command of control `id` (the identifier alone, without the
// notification code). While an operation runs every command is ignored. The
// gate is also closed while a command itself runs on this thread, so that a
// command that arrives during one of its message boxes cannot start a second
// operation. The port a command opens is closed before this returns. Call on
// the user-interface thread only.
void OnCommand(DialogHandle dialog, int id);

#endif

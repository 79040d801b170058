// "read 1": reads the transmitter's current setting (sensor type, input range
// max and min) into the read-back fields.
#ifndef CORVELLE_OPS_READ_SETTING_H
#define CORVELLE_OPS_READ_SETTING_H

#include "link/serial_link.h"
#include "ops/operation_steps.h"
#include "view/view.h"

// The command, on the user-interface thread: asks for the worker in the
// read-setting state.
CommandResult ReadSettingCommand(DialogHandle dialog, PortHandle& port);

// The operation, on the worker: sends 'B', waits 3.5 s with its progress line,
// then fills the read-back fields from the reply, or reports the failure.
void ReadSettingOperation(DialogHandle dialog, PortHandle& port);

inline constexpr const char* kSettingReadSuccess = "           sensor data read success";
inline constexpr const char* kSettingReadFail = "           sensor data read fail";

#endif

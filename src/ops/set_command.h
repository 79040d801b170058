// "set": checks the sensor type and input range typed into the window, writes
// the setting frame to the transmitter, and lets the worker report the end.
#ifndef CORVELLE_OPS_SET_COMMAND_H
#define CORVELLE_OPS_SET_COMMAND_H

#include "link/serial_link.h"
#include "ops/operation_steps.h"
#include "protocol/sensor_catalogue.h"
#include "view/view.h"

// Reads the input max, input min, min sign and sensor type from the window and
// checks them with CheckRangeInput. A rejection is shown in a "tips" box
// before this returns. User-interface thread.
RangeInput ValidateRangeInput(DialogHandle dialog);

// The command, on the user-interface thread: validation, then the choice line,
// the opening, the frame, and the worker. A valid range without a sensor type
// sends nothing and asks for one.
CommandResult SetCommand(DialogHandle dialog, PortHandle& port);

// The operation, on the worker: two progress steps, then whether the frame
// reached the device's port.
void WriteSettingOperation(DialogHandle dialog, PortHandle& port);

inline constexpr const char* kSettingSetComplete = "           sensor data set complete";
inline constexpr const char* kSettingSetFail = "           sensor data set fail";
inline constexpr const char* kChooseSensorType = "please choose the sensor type";

#endif

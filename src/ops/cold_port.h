// The cold port (cold-junction) temperature: "read cold port", and "calibrate
// cold port" with both of its phases, the command that sends the new value
// from the user-interface thread and the operation that reads it back on the
// worker and judges it.
#ifndef CORVELLE_OPS_COLD_PORT_H
#define CORVELLE_OPS_COLD_PORT_H

#include "link/serial_link.h"
#include "ops/operation_steps.h"
#include "view/view.h"

// Asks for the worker in the read-cold-port state. User-interface thread.
CommandResult ReadColdPortCommand(DialogHandle dialog, PortHandle& port);

// Worker: sends 'E', waits 2.1 s with its progress line, then shows the
// temperature with 4 significant digits, or reports the failure.
void ReadColdPortOperation(DialogHandle dialog, PortHandle& port);

// First phase, on the user-interface thread: refuses an entry that is not a
// plain decimal number, all of it, or does not fit the device's word; otherwise sends the 'F' frame with
// the entry in tenths of a degree, holds the thread for the second the device
// needs, and asks for the worker in the calibrate state.
CommandResult CalibrateColdPortCommand(DialogHandle dialog, PortHandle& port);

// Second phase, on the worker: lets the device settle for 8.5 s, reads the
// temperature back, and reports success only when the first phase got its
// frame out and the read-back lies within less than one degree of the entry
// that frame carried.
void CalibrateColdPortOperation(DialogHandle dialog, PortHandle& port);

inline constexpr const char* kColdPortReadSuccess = "           cold port data read success";
inline constexpr const char* kColdPortReadFail = "              cold port data read fail";
inline constexpr const char* kCalibrateSuccess = "              cold port data calibrate success";
inline constexpr const char* kCalibrateFail = "              cold port data calibrate fail";
inline constexpr const char* kColdPortEntryIllegality = "input cold port temperature illegality";

#endif

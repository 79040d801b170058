// The operations that talk to the transmitter for several seconds: the worker
// thread that carries each one out with its fixed pauses, progress line and
// outcome message, and the commands that start it.
#ifndef CORVELLE_OPS_OPERATION_WORKER_H
#define CORVELLE_OPS_OPERATION_WORKER_H

#include <atomic>

#include "app/view.h"
#include "link/serial_link.h"

// Whether the last set command got its frame onto the line; the worker's
// set ending reports from it.
inline std::atomic<bool> settingFrameSent{false};

// Carries out the operation that OperationState names when it starts, then
// reopens the gate. Runs on its own thread; reaches the window only through
// the view operations, and closes every port it opens before it returns.
void OperationWorker(DialogHandle dialog);

// Starts OperationWorker on a new detached thread. False when no thread could
// be started; the operation state is then back to idle.
bool StartOperationWorker(DialogHandle dialog);

// Divides every fixed wait of the operations by `divisor` (1 in the program).
// Only long-running tests that repeat hundreds of operations change it.
void SetOperationPaceForTesting(int divisor);

// Command handlers, called by OnCommand on the user-interface thread with the
// dispatch's port handle. Each returns whether it started the worker, which
// then owns the gate.
bool ReadSettingCommand(DialogHandle dialog, PortHandle& port);
bool ReadColdPortCommand(DialogHandle dialog, PortHandle& port);
bool CalibrateColdPortCommand(DialogHandle dialog, PortHandle& port);
bool SetCommand(DialogHandle dialog, PortHandle& port);

// Texts of the message line.
inline constexpr const char* kSettingReadSuccess = "           sensor data read success";
inline constexpr const char* kSettingReadFail = "           sensor data read fail";
inline constexpr const char* kSettingSetComplete = "           sensor data set complete";
inline constexpr const char* kSettingSetFail = "           sensor data set fail";
inline constexpr const char* kColdPortReadSuccess = "           cold port data read success";
inline constexpr const char* kColdPortReadFail = "              cold port data read fail";
inline constexpr const char* kCalibrateSuccess = "              cold port data calibrate success";
inline constexpr const char* kCalibrateFail = "              cold port data calibrate fail";

// Texts of "tips" boxes raised by the commands themselves.
inline constexpr const char* kChooseSensorType = "please choose the sensor type";
inline constexpr const char* kColdPortEntryIllegality = "input cold port temperature illegality";

#endif

// The operation state and the ready gate, shared by the user-interface thread
// and the operation worker, and written by them alone. Each is one value
// written whole, and atomic.
#ifndef CORVELLE_OPS_OPERATION_STATE_H
#define CORVELLE_OPS_OPERATION_STATE_H

#include <atomic>
#include <cstdint>

// Which operation runs. The worker tells the opening which reply its reader
// is to read (the setting reply for state 0, the cold port reply once it has
// moved to state 4); the reader does not look at the state.
enum : std::uint8_t {
  STATE_READ_SETTING = 0,          // "read 1"; the reader reads the setting reply
  STATE_AWAIT_COLD_PORT = 4,       // the reader reads the cold port reply
  STATE_IDLE = 10,                 // no reply expected
  STATE_WRITE_SETTING = 20,        // report the end of a setting write
  STATE_CALIBRATE_COLD_PORT = 30,  // finish a cold port calibration
  STATE_READ_COLD_PORT = 40,       // read the cold port temperature
};

inline std::atomic<std::uint8_t> OperationState{STATE_IDLE};

// 1 while the window accepts commands; 0 while an operation runs.
inline std::atomic<std::uint8_t> readyForCommand{1};

#endif

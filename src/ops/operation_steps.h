// What every operation is made of: its pace, its progress line, the reply of
// its own opening, and the ending that frees the window. The bottom of ops:
// the commands and operations use these, and these use nothing of ops but the
// shared state.
#ifndef CORVELLE_OPS_OPERATION_STEPS_H
#define CORVELLE_OPS_OPERATION_STEPS_H

#include <optional>
#include <string>

#include "link/serial_link.h"
#include "view/view.h"

// What a command asks of the dispatch once it is done on the user-interface
// thread: whether to start the worker for the operation that OperationState
// now names, and what the message line says should no worker start.
struct CommandResult {
  bool startWorker;
  const char* textIfNoWorker;
};
inline constexpr CommandResult kNoWorker{false, nullptr};

// The fixed waits of an operation end at moments counted on a monotonic clock
// from one start, so that the time each step spends on the window does not
// add up over the steps, and no wait ends early. Each thread keeps its own.
// An operation starts its count once its port steps are done, and again after
// port steps in its middle: those may hold it with a "tips" box, and what
// follows a box comes that much later.
void StartPace();

// Sleeps until `milliseconds` after the end of the previous wait (or the start).
void SleepMs(int milliseconds);

// Divides every fixed wait of the operations by `divisor` (1 in the program).
// Only long-running tests that repeat hundreds of operations change it.
void SetOperationPaceForTesting(int divisor);

// `count` ideographic full stops.
std::string FullStops(int count);

// Shows `count` full stops in the message line, then sleeps a second.
void ShowProgress(DialogHandle dialog, int count);

// Reads the text of field `controlId` into `buffer`, which holds `bufferSize`
// bytes, when all of it fits. A text that does not fit, or holds a NUL
// character, leaves the buffer empty and returns false: cut short, it could
// read as another valid value.
bool GetWholeControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize);

// The reply of the operation's own opening, when the reply flag is raised.
std::optional<Reply> ArrivedReply(PortHandle& port);

// Every operation ends here: closes the port (so that its reader can no longer
// raise the reply flag), shows `message` unless it is null, clears the flag,
// sets the state to idle and opens the gate.
void EndOperation(DialogHandle dialog, PortHandle& port, const char* message);

#endif

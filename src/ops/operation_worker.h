// The worker thread that carries out one operation at a time, and what the
// operations share: their pace, the progress line, the reply of their own
// opening, and the ending that frees the window. Each operation itself lives
// in the file of its command (read_setting, cold_port, set_command).
#ifndef CORVELLE_OPS_OPERATION_WORKER_H
#define CORVELLE_OPS_OPERATION_WORKER_H

#include <optional>
#include <string>

#include "link/serial_link.h"
#include "view/view.h"

// Carries out the operation that OperationState names when it starts. The
// dispatch closed the gate before the command started the worker; every
// ending opens it again. Runs on its own thread, reaches the window only
// through the view seam, and closes every port it opens before it returns.
void OperationWorker(DialogHandle dialog);

// Starts OperationWorker on a new detached thread. When no thread can be
// started, the operation ends at once: `failureText` goes into the message
// line, the state is back to idle, and false tells the dispatch to open the
// gate again.
bool StartOperationWorker(DialogHandle dialog, const char* failureText);

// Divides every fixed wait of the operations by `divisor` (1 in the program).
// Only long-running tests that repeat hundreds of operations change it.
void SetOperationPaceForTesting(int divisor);

// ---- shared by the operations ----

// The fixed waits of an operation end at moments counted on a monotonic clock
// from one start, so that the time each step spends on the window does not
// add up over the steps, and no wait ends early. Each thread keeps its own.
// An operation starts its count once its port steps are done, and again after
// port steps in its middle: those may hold it with a "tips" box, and what
// follows a box comes that much later.
void StartPace();

// Sleeps until `milliseconds` after the end of the previous wait (or the start).
void SleepMs(int milliseconds);

// `count` ideographic full stops.
std::string FullStops(int count);

// Shows `count` full stops in the message line, then sleeps a second.
void ShowProgress(DialogHandle dialog, int count);

// The reply of the operation's own opening, when the reply flag is raised.
std::optional<Reply> ArrivedReply(PortHandle& port);

// Every operation ends here: closes the port (so that its reader can no longer
// raise the reply flag), shows `message` unless it is null, clears the flag,
// sets the state to idle and opens the gate.
void EndOperation(DialogHandle dialog, PortHandle& port, const char* message);

#endif

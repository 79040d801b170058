// The worker thread that carries out one operation at a time. It dispatches
// to the operation that OperationState names; each operation lives in the
// file of its command (read_setting, cold_port, set_command) and is made of
// the steps of operation_steps.
#ifndef CORVELLE_OPS_OPERATION_WORKER_H
#define CORVELLE_OPS_OPERATION_WORKER_H

#include "view/view.h"

// Carries out the operation that OperationState names when it starts. The
// dispatch closed the gate before it started the worker; every ending opens
// it again. Runs on its own thread, reaches the window only through the view
// seam, and closes every port it opens before it returns.
void OperationWorker(DialogHandle dialog);

// Starts OperationWorker on a new detached thread. When no thread can be
// started, the operation ends at once: `failureText` goes into the message
// line, the state is back to idle, and false tells the dispatch to open the
// gate again.
bool StartOperationWorker(DialogHandle dialog, const char* failureText);

#endif

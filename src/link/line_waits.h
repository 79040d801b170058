// The two waits of a send, written once over the queue counts and the short
// timer of serial_port.h: for a quiet line before the request, and for the
// request to have left the driver after it. Internal to the link; called on
// the thread that owns the port.
#ifndef CORVELLE_LINK_LINE_WAITS_H
#define CORVELLE_LINK_LINE_WAITS_H

#include <chrono>

#include "link/serial_port.h"

// How a wait ended.
enum class LineWait {
  kDone,      // quiet, or drained
  kTimedOut,  // never quiet within its bound, or not drained by the deadline
  kFailed,    // the queue could no longer be asked about, or the timer failed
};

// Waits until no byte has arrived for 20 ms, purging the input each time one
// has. An adapter hands over what it received only when its latency timer runs
// out (16 ms on an FTDI chip by default), after every purge of the host's
// queue: only a line that has been quiet for longer than that carries nothing
// old. Gives up after 100 ms in all, purges the input once more and returns
// kTimedOut: the request then goes out on a line that never went quiet.
LineWait WaitForQuietLine(SerialPort* port);

// Waits until the driver's output queue is empty, by `deadline`. A queue that
// cannot be asked about fails the wait: the request may never have left.
LineWait WaitForDrain(SerialPort* port, std::chrono::steady_clock::time_point deadline);

#endif

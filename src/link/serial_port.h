// Serial port primitives: the only platform-specific part of the link. One
// implementation per platform (win32/; posix/, with what each POSIX system
// does its own way in a folder of its own, linux/); the shared algorithm in
// serial_link.cpp is written once over these functions.
//
// Ownership and threads: the thread that opened a port owns it and is the
// only one that configures, purges, writes and closes it. One other thread
// (the reply reader) may run ReadPort on it at the same time. CancelPortRead
// may be called from any thread and makes a pending ReadPort, and every later
// one, return at once with failure; the owner calls it before closing so that
// no read is left pending on a closed port. No function here shows anything
// to the user or ends the process: failures are returned, with the operating
// system's error code kept in the port for diagnosis.
#ifndef CORVELLE_LINK_SERIAL_PORT_H
#define CORVELLE_LINK_SERIAL_PORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SerialPort;  // one opening of a port; defined by the platform file

// Read and write time-outs in milliseconds, with the meaning of the Windows
// communications time-outs. With readInterval at its maximum (kNoReadInterval)
// a read of n bytes that finds bytes already waiting returns at once with
// them, however few; one that finds none returns as soon as all n are in, or
// after readMultiplier * n + readConstant ms with what has arrived so far.
// That is the Windows serial driver's own rule (USB serial drivers copy it),
// and the POSIX primitive keeps it too, so that both run the same reads.
struct PortTimeouts {
  std::uint32_t readInterval;
  std::uint32_t readMultiplier;
  std::uint32_t readConstant;
  std::uint32_t writeMultiplier;
  std::uint32_t writeConstant;
};
inline constexpr std::uint32_t kNoReadInterval = 0xFFFFFFFFu;

// The serial devices of this machine in a stable order. The last one is the
// device the program uses.
std::vector<std::string> ListSerialPorts();

// Why an opening failed.
struct OpenFailure {
  int osError = 0;     // the system's error code, for diagnosis
  std::string advice;  // when the system refused the user the device: what to do about it
};

// Opens `name` for reading and writing, exclusively: while it is open a second
// opening of the same device fails, and so does one of a device that another
// program has open. The name is used as stored; the platform adds what its
// device namespace needs. Only a serial device opens: anything else behind the
// name (a file, a folder, a FIFO) fails here, before it is configured or
// written to. Returns nullptr on failure and says why in `failure`.
SerialPort* OpenSerialPort(const char* name, OpenFailure* failure);

// Reads the port's current line settings into the port. False when the driver
// refuses; the later steps then start from default settings.
bool ReadPortSettings(SerialPort* port);

// Applies the transmitter's link onto the settings read: 9600 baud, 8 data
// bits, no parity, one stop bit, binary, no flow control of any kind, no
// character replacement, DTR raised and RTS dropped. False when refused.
bool WritePortSettings(SerialPort* port);

// Asks for receive-character events and 16384-byte driver queues. Results do
// not matter to the link, so none is returned.
void SetPortEventsAndQueues(SerialPort* port);

bool SetPortTimeouts(SerialPort* port, const PortTimeouts& timeouts);

// Which queues a purge empties. Input alone is what follows a write that
// completed: its bytes may still be on their way out of the adapter, and
// clearing the output then would cut the frame short.
enum class PurgeQueues { kInputAndOutput, kInputOnly };

// Discards everything unread in the input queue and, for kInputAndOutput,
// unsent in the output queue, whatever the output queue holds.
bool PurgePort(SerialPort* port, PurgeQueues queues);

// Hands all `count` bytes to the driver, within the write time-outs counted
// from now, and returns as soon as it has taken them: they may still wait in
// its output queue or the adapter's. False on failure or time-out.
bool WritePort(SerialPort* port, const std::uint8_t* bytes, std::size_t count);

// The driver's two queues, as their counts are asked for.
enum class PortQueue { kInput, kOutput };

// How many bytes the driver holds in `queue`: received and not yet read, or
// handed over by a write and not yet sent. False, with the error kept, when
// the port can no longer be asked (the device has gone).
bool QueuedBytes(SerialPort* port, PortQueue queue, std::size_t* count);

// Sleeps about `microseconds` on a timer fine enough for a fraction of a
// millisecond, never a whole system tick: the pace at which the link looks at
// the queues. False, with the error kept, when the timer fails.
bool PausePort(SerialPort* port, std::uint32_t microseconds);

// Reads up to `count` bytes by the rule of the read time-outs above. True when
// the read itself succeeded, with `*received` bytes: possibly fewer than
// `count`, when some were waiting as it began or at its time-out, and 0 when
// it timed out with nothing. False on an error, on a vanished device or after
// CancelPortRead.
bool ReadPort(SerialPort* port, std::uint8_t* buffer, std::size_t count, std::size_t* received);

void CancelPortRead(SerialPort* port);

// Releases the port. It must not be in use by any other thread.
void CloseSerialPort(SerialPort* port);

// The system's error code of the last failed call on this port, for diagnosis.
// Safe to call from any thread.
int PortLastError(const SerialPort* port);

// The system's own description of error code `osError`, for diagnostic lines.
std::string SystemErrorText(int osError);

// Writes one line to the platform's debug channel: standard error on POSIX,
// the debugger's output (OutputDebugString) on Windows. Nothing else is
// written anywhere. Safe to call from any thread.
void WriteDiagnosticLine(const std::string& line);

#endif

// Win32 serial primitives over the communications API. The port is opened for
// overlapped I/O: each read and write is issued and then waited for on this
// side, which looks synchronous to the link, but lets CancelPortRead end a
// read that is still pending (a synchronous read on a COM port cannot be
// ended from another thread, not even by closing the handle).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "win32/wide_text.h"

namespace {

// Extra time a write may take beyond the driver's own write time-outs before
// it is cancelled; it only guards against a driver that ignores them.
constexpr DWORD kWriteGraceMs = 1000;
// How long a cancelled write may take to end.
constexpr DWORD kCancelWaitMs = 500;

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// A manual-reset event for one overlapped operation; released with the port.
HANDLE NewEvent() {
  return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// The timer that paces the link's looks at the queues. Sleep(1) and waits
// with a time-out last a whole system tick, up to 15.6 ms; a high-resolution
// timer (Windows 10 1803 and later) keeps to the fraction of a millisecond
// asked for. Older systems get an ordinary timer, which keeps the tick.
HANDLE NewPauseTimer() {
  const HANDLE timer = CreateWaitableTimerExW(
      nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  return timer != nullptr ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

}  // namespace

// One overlapped write. The system uses all of it until the write completes,
// so a write that ignores its cancel keeps it, event included, for as long as
// it is pending.
struct PortWrite {
  OVERLAPPED overlapped{};
  HANDLE event = nullptr;
  std::vector<std::uint8_t> bytes;
};

struct SerialPort {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readEvent = nullptr;
  HANDLE writeEvent = nullptr;
  HANDLE pauseTimer = nullptr;
  DCB settings{};
  PortTimeouts timeouts{kNoReadInterval, 0, 0, 0, 0};

  // Guards `cancelled` and the issuing of a read, so that a cancel either
  // finds no read yet (and the read then sees the flag) or finds it pending
  // (and aborts it). The wait for the read happens outside the lock.
  SRWLOCK readLock = SRWLOCK_INIT;
  bool cancelled = false;
  OVERLAPPED readOverlapped{};

  // Written by the owner and by the reader thread.
  std::atomic<DWORD> lastError{0};

  // A write still pending after its cancel; the port is broken from then on.
  PortWrite* stuckWrite = nullptr;
};

namespace {

bool Fail(SerialPort* port) {
  port->lastError.store(GetLastError());
  return false;
}

void ReleaseHandles(SerialPort* port) {
  if (port->handle != INVALID_HANDLE_VALUE) CloseHandle(port->handle);
  if (port->readEvent != nullptr) CloseHandle(port->readEvent);
  if (port->writeEvent != nullptr) CloseHandle(port->writeEvent);
  if (port->pauseTimer != nullptr) CloseHandle(port->pauseTimer);
  port->handle = INVALID_HANDLE_VALUE;
  port->readEvent = port->writeEvent = port->pauseTimer = nullptr;
}

}  // namespace

SerialPort* OpenSerialPort(const char* name, OpenFailure* failure) {
  *failure = OpenFailure{};
  int* osError = &failure->osError;
  if (name == nullptr || name[0] == '\0') {
    *osError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  // COM10 and above are reachable only through the device namespace; the
  // prefix works for every port number, so it is always added.
  const std::wstring path = L"\\\\.\\" + WideFromUtf8(name);
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *osError = static_cast<int>(GetLastError());
    return nullptr;
  }
  auto* port = new SerialPort;
  port->handle = handle;
  port->readEvent = NewEvent();
  port->writeEvent = NewEvent();
  port->pauseTimer = NewPauseTimer();
  if (port->readEvent == nullptr || port->writeEvent == nullptr || port->pauseTimer == nullptr) {
    *osError = static_cast<int>(GetLastError());
    ReleaseHandles(port);
    delete port;
    return nullptr;
  }
  return port;
}

bool ReadPortSettings(SerialPort* port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port->handle, &dcb)) {
    port->settings = DCB{};
    port->settings.DCBlength = sizeof port->settings;
    return Fail(port);
  }
  port->settings = dcb;
  return true;
}

bool WritePortSettings(SerialPort* port) {
  DCB dcb = port->settings;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 0;
  if (!SetCommState(port->handle, &dcb)) return Fail(port);
  port->settings = dcb;
  return true;
}

void SetPortEventsAndQueues(SerialPort* port) {
  SetCommMask(port->handle, EV_RXCHAR);
  SetupComm(port->handle, 16384, 16384);
}

bool SetPortTimeouts(SerialPort* port, const PortTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(port->handle, &t)) return Fail(port);
  t.ReadIntervalTimeout = timeouts.readInterval;
  t.ReadTotalTimeoutMultiplier = timeouts.readMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.readConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.writeMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.writeConstant;
  if (!SetCommTimeouts(port->handle, &t)) return Fail(port);
  port->timeouts = timeouts;
  return true;
}

bool PurgePort(SerialPort* port, PurgeQueues queues) {
  const DWORD flags = PURGE_RXCLEAR | (queues == PurgeQueues::kInputAndOutput ? PURGE_TXCLEAR : 0);
  if (!PurgeComm(port->handle, flags)) return Fail(port);
  return true;
}

bool WritePort(SerialPort* port, const std::uint8_t* bytes, std::size_t count) {
  const DWORD allowedMs =
      port->timeouts.writeMultiplier * static_cast<DWORD>(count) + port->timeouts.writeConstant;
  if (count == 0) return true;
  if (port->stuckWrite != nullptr) {
    port->lastError.store(ERROR_BUSY);
    return false;
  }
  auto write = std::make_unique<PortWrite>();
  write->event = port->writeEvent;
  write->overlapped.hEvent = write->event;
  write->bytes.assign(bytes, bytes + count);
  ResetEvent(write->event);
  if (!WriteFile(port->handle, write->bytes.data(), static_cast<DWORD>(count), nullptr,
                 &write->overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return Fail(port);
    if (WaitForSingleObject(write->event, allowedMs + kWriteGraceMs) != WAIT_OBJECT_0) {
      CancelIoEx(port->handle, &write->overlapped);
      if (WaitForSingleObject(write->event, kCancelWaitMs) != WAIT_OBJECT_0) {
        // The driver ignores the cancel too. The write fails, and its state
        // stays with the port until it is seen complete.
        port->lastError.store(WAIT_TIMEOUT);
        port->writeEvent = nullptr;
        port->stuckWrite = write.release();
        return false;
      }
    }
  }
  DWORD written = 0;
  if (!GetOverlappedResult(port->handle, &write->overlapped, &written, FALSE)) return Fail(port);
  if (written != count) {
    port->lastError.store(ERROR_WRITE_FAULT);
    return false;
  }
  return true;
}

bool QueuedBytes(SerialPort* port, PortQueue queue, std::size_t* count) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port->handle, &errors, &status)) return Fail(port);
  *count = queue == PortQueue::kInput ? status.cbInQue : status.cbOutQue;
  return true;
}

bool PausePort(SerialPort* port, std::uint32_t microseconds) {
  LARGE_INTEGER due{};
  due.QuadPart = -static_cast<LONGLONG>(microseconds) * 10;  // relative, in 100 ns
  // The wait's own time-out is only a guard against a timer that never fires.
  const DWORD guardMs = microseconds / 1000 + 100;
  if (!SetWaitableTimer(port->pauseTimer, &due, 0, nullptr, nullptr, FALSE) ||
      WaitForSingleObject(port->pauseTimer, guardMs) == WAIT_FAILED) {
    return Fail(port);
  }
  return true;
}

bool ReadPort(SerialPort* port, std::uint8_t* buffer, std::size_t count, std::size_t* received) {
  *received = 0;
  DWORD got = 0;
  AcquireSRWLockExclusive(&port->readLock);
  if (port->cancelled) {
    ReleaseSRWLockExclusive(&port->readLock);
    port->lastError.store(ERROR_OPERATION_ABORTED);
    return false;
  }
  port->readOverlapped = OVERLAPPED{};
  port->readOverlapped.hEvent = port->readEvent;
  ResetEvent(port->readEvent);
  const BOOL done =
      ReadFile(port->handle, buffer, static_cast<DWORD>(count), nullptr, &port->readOverlapped);
  const DWORD issueError = done ? ERROR_SUCCESS : GetLastError();
  ReleaseSRWLockExclusive(&port->readLock);

  if (!done && issueError != ERROR_IO_PENDING) {
    port->lastError.store(issueError);
    return false;
  }
  // The read time-outs end a pending read; CancelPortRead ends it sooner. A
  // time-out is a successful read of what had arrived by then. Windows
  // reports it as success; Wine reports one that got no byte at all as
  // ERROR_TIMEOUT.
  if (!GetOverlappedResult(port->handle, &port->readOverlapped, &got, TRUE)) {
    if (GetLastError() != ERROR_TIMEOUT) return Fail(port);
    got = static_cast<DWORD>(port->readOverlapped.InternalHigh);
  }
  *received = got;
  return true;
}

void CancelPortRead(SerialPort* port) {
  AcquireSRWLockExclusive(&port->readLock);
  port->cancelled = true;
  // Only the read is cancelled; a read that has already completed, or was
  // never issued, leaves nothing to cancel.
  CancelIoEx(port->handle, &port->readOverlapped);
  ReleaseSRWLockExclusive(&port->readLock);
}

void CloseSerialPort(SerialPort* port) {
  if (port == nullptr) return;
  ReleaseHandles(port);
  // Closing the handle ends a stuck write on any driver that honours it.
  // Otherwise its state is left allocated: the system may still write to it.
  if (PortWrite* stuck = port->stuckWrite) {
    if (WaitForSingleObject(stuck->event, kCancelWaitMs) == WAIT_OBJECT_0) {
      CloseHandle(stuck->event);
      delete stuck;
    }
  }
  delete port;
}

int PortLastError(const SerialPort* port) {
  return static_cast<int>(port->lastError.load());
}

std::string SystemErrorText(int osError) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(osError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8 = length > 0 ? Utf8FromWide(text, static_cast<int>(length)) : "unknown error";
  if (text != nullptr) LocalFree(text);
  // The system's texts end in a line break.
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ')) {
    utf8.pop_back();
  }
  return utf8;
}

void WriteDiagnosticLine(const std::string& line) {
  OutputDebugStringW(WideFromUtf8((line + "\n").c_str()).c_str());
}

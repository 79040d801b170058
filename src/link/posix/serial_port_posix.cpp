// POSIX serial primitives over termios. Reads wait with poll() against a
// monotonic deadline that reproduces the Windows read time-outs, and also
// watch a wake-up pipe so that CancelPortRead ends a pending read at once.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "link/posix/per_system.h"
#include "link/posix/publish_folder.h"
#include "link/serial_port.h"

struct SerialPort {
  int fd = -1;
  int wakeRead = -1;  // readable once the port's reads are cancelled
  int wakeWrite = -1;
  termios settings{};
  PortTimeouts timeouts{kNoReadInterval, 0, 0, 0, 0};
  std::atomic<int> lastError{0};  // the reader and the owner both record errors
  bool lowLatencyAsked = false;   // the close puts the driver's latency back
};

namespace {

using Clock = std::chrono::steady_clock;

bool Fail(SerialPort* port) {
  port->lastError = errno;
  return false;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  // Round up so a wait never ends just before its deadline.
  return static_cast<int>(left.count()) + 1;
}

// 9600 baud, 8 data bits, no parity, one stop bit, no flow control.
bool IsTransmitterLink(const termios& t) {
  return cfgetispeed(&t) == B9600 && cfgetospeed(&t) == B9600 && (t.c_cflag & CSIZE) == CS8 &&
         (t.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 && (t.c_iflag & (IXON | IXOFF)) == 0;
}

Clock::time_point DeadlineFor(std::uint32_t multiplier, std::uint32_t constant, std::size_t count) {
  const std::uint64_t total = static_cast<std::uint64_t>(multiplier) * count + constant;
  return Clock::now() + std::chrono::milliseconds(total);
}

}  // namespace

SerialPort* OpenSerialPort(const char* name, OpenFailure* failure) {
  *failure = OpenFailure{};
  if (name == nullptr || name[0] == '\0') {
    failure->osError = ENOENT;
    return nullptr;
  }
  // Everything that can fail comes before the terminal is claimed, so that a
  // failed opening never leaves the claim behind.
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    failure->osError = errno;
    return nullptr;
  }
  const int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int openError = errno;
  // Only a terminal is a serial port: a file, folder or FIFO behind the name
  // is never configured nor written to. And only one of this user's or of
  // root's: real ports belong to root, a simulator's terminal to the user who
  // started it, while a terminal of another user's may be theirs to answer
  // from (a pseudo-terminal a crashed simulator left behind and someone else
  // took over). What is checked is the descriptor that would be written to,
  // not the name.
  //
  // A pseudo-terminal is only ever a simulator's port, and it is checked
  // again here as discovery checked it: a simulator that has ended leaves its
  // link behind, and its terminal's number goes to the next terminal window
  // opened. Such a port counts as missing; nothing is configured or written.
  struct stat info {};
  const bool terminal = fd >= 0 && fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && isatty(fd);
  const bool trusted = terminal && IsOwnOrRoots(info.st_uid);
  const bool pseudo = trusted && IsPseudoTerminal(info.st_rdev);
  const pid_t publisher = pseudo ? LivePublisherOf(name, info.st_rdev) : 0;
  const bool live = trusted && (!pseudo || publisher != 0);
  // TIOCEXCL keeps other programs out (though not root); the lock keeps out
  // every other opener that plays by the same rule, root included. Neither
  // keeps out a program that opened the device before without them, a
  // terminal program say: the two would split the device's answers between
  // them, and what it types would reach the device. Such a device counts as
  // occupied, as Windows counts it. The simulator that publishes a port is
  // the device itself.
  const bool locked = live && flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int lockError = errno;
  const std::optional<PortHolder> holder = locked ? OtherHolderOf(fd, publisher) : std::nullopt;
  if (!locked || holder) {
    failure->osError = fd < 0       ? openError
                       : !terminal  ? ENOTTY
                       : !trusted   ? EACCES
                       : !live      ? ENOENT
                       : holder     ? EBUSY
                       : lockError == EWOULDBLOCK ? EBUSY
                                                  : lockError;
    // Only the system's own refusal has a reason the user can mend.
    if (fd < 0 && (openError == EACCES || openError == EPERM)) {
      failure->advice = PermissionAdvice(name);
    }
    if (holder) {
      WriteDiagnosticLine("corvelle: " + std::string(name) + " is held by process " +
                          std::to_string(holder->pid) + " (" + holder->command + ")");
    }
    if (fd >= 0) close(fd);
    close(wake[0]);
    close(wake[1]);
    return nullptr;
  }
  ioctl(fd, TIOCEXCL);
  auto* port = new SerialPort;
  port->fd = fd;
  port->wakeRead = wake[0];
  port->wakeWrite = wake[1];
  return port;
}

bool ReadPortSettings(SerialPort* port) {
  if (tcgetattr(port->fd, &port->settings) != 0) {
    std::memset(&port->settings, 0, sizeof port->settings);
    return Fail(port);
  }
  return true;
}

bool WritePortSettings(SerialPort* port) {
  termios t = port->settings;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  if (tcsetattr(port->fd, TCSANOW, &t) != 0) return Fail(port);
  // tcsetattr succeeds when any one of the changes took, so read back what
  // the driver holds now.
  termios now{};
  if (tcgetattr(port->fd, &now) != 0) return Fail(port);
  if (!IsTransmitterLink(now)) {
    port->lastError = EINVAL;
    return false;
  }
  port->settings = t;
  // DTR up, RTS down. A pseudo-terminal has no modem lines and refuses these;
  // that is not a fault of the link.
  const int dtr = TIOCM_DTR;
  const int rts = TIOCM_RTS;
  ioctl(port->fd, TIOCMBIS, &dtr);
  ioctl(port->fd, TIOCMBIC, &rts);
  // An adapter that holds received bytes for its latency timer hands a stray
  // one over after the quiet wait has ended; one that hands them over at once
  // lets that wait see and purge it.
  if (!port->lowLatencyAsked) port->lowLatencyAsked = AskForLowLatency(port->fd);
  return true;
}

void SetPortEventsAndQueues(SerialPort*) {
  // The kernel sizes its own tty queues and always reports received bytes.
}

bool SetPortTimeouts(SerialPort* port, const PortTimeouts& timeouts) {
  port->timeouts = timeouts;
  return true;
}

bool PurgePort(SerialPort* port, PurgeQueues queues) {
  const int queue = queues == PurgeQueues::kInputAndOutput ? TCIOFLUSH : TCIFLUSH;
  if (tcflush(port->fd, queue) != 0) return Fail(port);
  return true;
}

bool WritePort(SerialPort* port, const std::uint8_t* bytes, std::size_t count) {
  const auto deadline =
      DeadlineFor(port->timeouts.writeMultiplier, port->timeouts.writeConstant, count);
  std::size_t written = 0;
  while (written < count) {
    const ssize_t n = write(port->fd, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Fail(port);
    const int left = MillisecondsLeft(deadline);
    if (left == 0) {
      port->lastError = ETIMEDOUT;
      return false;
    }
    pollfd p{port->fd, POLLOUT, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) return Fail(port);
  }
  return true;
}

bool QueuedBytes(SerialPort* port, PortQueue queue, std::size_t* count) {
  int queued = 0;
  if (ioctl(port->fd, queue == PortQueue::kInput ? FIONREAD : TIOCOUTQ, &queued) != 0) {
    return Fail(port);
  }
  *count = queued > 0 ? static_cast<std::size_t>(queued) : 0;
  return true;
}

bool PausePort(SerialPort* port, std::uint32_t microseconds) {
  timespec pause{static_cast<time_t>(microseconds / 1000000),
                 static_cast<long>(microseconds % 1000000) * 1000};
  while (nanosleep(&pause, &pause) != 0) {
    if (errno != EINTR) return Fail(port);
  }
  return true;
}

bool ReadPort(SerialPort* port, std::uint8_t* buffer, std::size_t count, std::size_t* received) {
  *received = 0;
  const PortTimeouts& t = port->timeouts;
  // The Windows serial driver's rule for an interval of MAXDWORD: what is
  // already waiting comes back at once, however little; only a read that
  // finds nothing waits, for the whole count or the total time-out. Both
  // totals zero: not even that wait.
  const bool returnWhatWaits = t.readInterval == kNoReadInterval;
  const bool immediate = returnWhatWaits && t.readMultiplier == 0 && t.readConstant == 0;
  const auto deadline = DeadlineFor(t.readMultiplier, t.readConstant, count);
  bool firstLook = true;
  while (*received < count) {
    pollfd p[2] = {{port->fd, POLLIN, 0}, {port->wakeRead, POLLIN, 0}};
    const int ready = poll(p, 2, firstLook || immediate ? 0 : MillisecondsLeft(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Fail(port);
    }
    if (p[1].revents != 0) {
      port->lastError = ECANCELED;
      return false;
    }
    const bool lookedAtOnce = firstLook;
    firstLook = false;
    if (ready == 0) {
      // Nothing waits: wait for the whole count. Else this is the time-out,
      // and what has arrived is the result.
      if (lookedAtOnce && !immediate) continue;
      return true;
    }
    if (p[0].revents & POLLIN) {
      const ssize_t n = read(port->fd, buffer + *received, count - *received);
      if (n > 0) {
        *received += static_cast<std::size_t>(n);
        if (lookedAtOnce && returnWhatWaits) return true;
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return Fail(port);
      // Nothing to read after all (a purge took it, say): that is a failure
      // only once the line has hung up.
      if ((p[0].revents & POLLHUP) == 0) continue;
      port->lastError = EIO;  // the device is gone
      return false;
    }
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      port->lastError = EIO;
      return false;
    }
  }
  return true;
}

void CancelPortRead(SerialPort* port) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(port->wakeWrite, &byte, 1);
}

void CloseSerialPort(SerialPort* port) {
  if (port == nullptr) return;
  // The terminal keeps the exclusive flag until its last descriptor closes,
  // which for a device that another process holds open is never: clear it, or
  // every later opening by an ordinary user would be refused.
  ioctl(port->fd, TIOCNXCL);
  if (port->lowLatencyAsked) RestoreLatency(port->fd);
  close(port->fd);
  close(port->wakeRead);
  close(port->wakeWrite);
  delete port;
}

int PortLastError(const SerialPort* port) {
  return port->lastError;
}

std::string SystemErrorText(int osError) {
  return std::generic_category().message(osError);
}

void WriteDiagnosticLine(const std::string& line) {
  // One write, and only when standard error takes it at once: a line is
  // better lost than a close, or the program's end, held up by a reader of
  // standard error that has stopped reading.
  const std::string text = line + "\n";
  pollfd p{STDERR_FILENO, POLLOUT, 0};
  if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;
  [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
}

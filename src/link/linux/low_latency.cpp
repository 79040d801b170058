// Low latency through the serial flags. ASYNC_LOW_LATENCY is among the flags
// any user may change (ASYNC_USR_MASK), and with it ftdi_sio sets its chip's
// latency timer to 1 ms instead of 16; the timer's sysfs file needs root. A
// pseudo-terminal answers ENOTTY, other drivers EINVAL or EPERM, and some
// (cdc_acm) take the flag and do nothing with it.
#include <linux/serial.h>
#include <sys/ioctl.h>

#include "link/posix/per_system.h"

bool AskForLowLatency(int fd) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
    return false;
  }
  serial.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void RestoreLatency(int fd) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);
}

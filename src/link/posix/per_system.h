// What the POSIX serial primitives leave to each system: its own ways of
// asking a serial driver for more than termios offers. One implementation per
// system (linux/), picked by the build.
#ifndef CORVELLE_LINK_POSIX_PER_SYSTEM_H
#define CORVELLE_LINK_POSIX_PER_SYSTEM_H

// Asks the driver of the serial device open on `fd` to hand received bytes
// over as soon as it has them, rather than when its adapter's latency timer
// runs out. True when this call changed the driver's setting, which the close
// then puts back with RestoreLatency. A driver that has no such setting, or
// refuses the change, is no failure: false, and nothing changed.
bool AskForLowLatency(int fd);

// Puts back what AskForLowLatency changed. Nothing is reported.
void RestoreLatency(int fd);

#endif

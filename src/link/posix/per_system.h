// What the POSIX serial primitives and discovery leave to each system: how it
// tells a simulator's port and its publisher, who else holds a device, why
// the user may not open one, and how to ask a driver for low latency. One
// implementation per system (linux/), picked by the build; a port to another
// system adds a folder beside it. Safe to call from any thread.
#ifndef CORVELLE_LINK_POSIX_PER_SYSTEM_H
#define CORVELLE_LINK_POSIX_PER_SYSTEM_H

#include <sys/types.h>

#include <optional>
#include <string>

// Whether `device` is the terminal side of a pseudo-terminal. No serial
// hardware is one: only a simulator's port is.
bool IsPseudoTerminal(dev_t device);

// The simulator of this user's whose live port `entry` is: a link NAME-PID in
// a publication folder, with the pseudo-terminal `terminal` behind it. The
// folder is private, the link is this user's or root's, process PID runs as
// this user, and it holds the other side of exactly this terminal; then PID,
// else 0. A link left behind by a simulator that has ended, whose terminal
// someone else may hold by now (a new terminal window, say), has none. Asked
// by discovery, and again by every opening of a published port.
pid_t LivePublisherOf(const std::string& entry, dev_t terminal);

// A process that holds a device, as the technician's support would name it.
struct PortHolder {
  pid_t pid;
  std::string command;
};

// Another program that has the device open on `fd` open as well, or has it
// locked: a UUCP lock file for it that names a live process, or a process of
// this user's with a descriptor on it. This process does not count, nor does
// `publisher`, the simulator that is the device (0 for none). Other users'
// processes cannot be seen and are not looked for.
std::optional<PortHolder> OtherHolderOf(int fd, pid_t publisher);

// When the system refused this user the device `name` (EACCES or EPERM from
// open), what to do about it, as a second line for the open-failure box:
// join the group that owns it, or log in again when the user was added to it
// since. Empty when joining a group would not help, or nothing can be said.
std::string PermissionAdvice(const std::string& name);

// Asks the driver of the serial device open on `fd` to hand received bytes
// over as soon as it has them, rather than when its adapter's latency timer
// runs out. True when this call changed the driver's setting, which the close
// then puts back with RestoreLatency. A driver that has no such setting, or
// refuses the change, is no failure: false, and nothing changed.
bool AskForLowLatency(int fd);

// Puts back what AskForLowLatency changed. Nothing is reported.
void RestoreLatency(int fd);

#endif

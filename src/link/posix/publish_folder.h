// The folder where this user's simulated transmitters publish their ports, and
// the rule for trusting one: the simulator publishes only where discovery will
// look, and discovery trusts only what another user of the machine cannot
// have placed or swapped. Shared by discovery and the simulator, and nothing
// else of the serial link.
#ifndef CORVELLE_LINK_POSIX_PUBLISH_FOLDER_H
#define CORVELLE_LINK_POSIX_PUBLISH_FOLDER_H

#include <string>
#include <sys/types.h>

// Where this user's simulators publish their ports: CORVELLE_PORT_DIR when
// set (so that tests and parallel demos do not see each other's simulators),
// else $XDG_RUNTIME_DIR/corvelle-ports, else /tmp/corvelle-ports-UID.
std::string PublishDir();

// Whether `folder` is a real folder (not a link) that belongs to this user and
// that no one else can write to, and no other user can change any folder above
// it (each is this user's or root's, and writable by no one else unless it is
// sticky).
bool IsPrivateFolder(const std::string& folder);

// Whether `owner` is this user or root.
bool IsOwnOrRoots(uid_t owner);

// Whether `device` is the terminal side of a pseudo-terminal. No serial
// hardware is one: only a simulator's port is.
bool IsPseudoTerminal(dev_t device);

// Whether `entry`, a link NAME-PID in a publication folder, is the live port
// of a simulator of this user's with the pseudo-terminal `terminal` behind
// it: the folder is private, the link is this user's or root's, process PID
// runs as this user, and that process holds the other side of exactly this
// terminal. A link left behind by a simulator that has ended, whose terminal
// someone else may hold by now (a new terminal window, say), does not count.
// Asked by discovery, and again by every opening of a published port.
bool IsLivePublishedPort(const std::string& entry, dev_t terminal);

#endif

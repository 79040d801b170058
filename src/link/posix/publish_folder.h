// The folder where this user's simulated transmitters publish their ports, and
// the rule for trusting one: the simulator publishes only where discovery will
// look, and discovery trusts only what another user of the machine cannot
// have placed or swapped. Shared by discovery and the simulator, and nothing
// else of the serial link. Which process published a port is the system's
// own business (per_system.h).
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

#endif

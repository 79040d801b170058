// Who else holds a serial device, split out so that a test can give the lock
// folders. TIOCEXCL and flock keep a second copy of this program out, but not
// a terminal program that opened the port before without them: both would
// then read the same line and split the device's answers between them.
#ifndef CORVELLE_LINK_LINUX_PORT_HOLDERS_H
#define CORVELLE_LINK_LINUX_PORT_HOLDERS_H

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "link/posix/per_system.h"

// Where UUCP lock files are kept.
inline const std::vector<std::string> kLockFolders = {"/run/lock", "/var/lock"};

// Another holder of the device node `node` (its path, as /proc names it): a
// lock file LCK..NAME (NAME the node's file name) in one of `lockFolders`
// naming a live process, or a process of this user's with a descriptor on the
// node. This process and `publisher` (0 for none) do not count. A copy of the
// node elsewhere (made with mknod) is another path, and is not seen.
std::optional<PortHolder> FindOtherHolder(const std::string& node, pid_t publisher,
                                          const std::vector<std::string>& lockFolders);

#endif

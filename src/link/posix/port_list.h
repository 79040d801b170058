// Discovery of serial devices on POSIX systems, split out so that tests can
// point it at a made-up sysfs tree and publication folder.
//
// Simulated transmitters publish their ports in a folder of the user's own.
// Nothing published counts unless that folder, the entry and its target can
// be trusted, so that another user of the machine cannot steer the program to
// a device, or a file, of their choosing.
#ifndef CORVELLE_LINK_POSIX_PORT_LIST_H
#define CORVELLE_LINK_POSIX_PORT_LIST_H

#include <string>
#include <vector>

// Where this user's simulators publish their ports: CORVELLE_PORT_DIR when
// set (so that tests and parallel demos do not see each other's simulators),
// else $XDG_RUNTIME_DIR/corvelle-ports, else /tmp/corvelle-ports-UID.
std::string PublishDir();

// Whether `folder` is a real folder (not a link) that belongs to this user and
// that no one else can write to.
bool IsPrivateFolder(const std::string& folder);

// Makes `folder` (mode 0700) unless it exists. Empty on success, else why the
// folder cannot be trusted to publish in.
std::string MakePrivateFolder(const std::string& folder);

// "Natural" order: runs of digits compare by value, so ttyS2 < ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);

// The real serial devices under `sysClassTty` (as /dev/NAME, in natural order)
// followed by the ports published in `publishDir` by simulators that are still
// running (oldest publication first). A published entry is a symbolic link
// named NAME-PID to the simulator's terminal. It counts only when `publishDir`
// is private, the link belongs to this user or to root, and it leads to a
// character device that is a terminal.
std::vector<std::string> ListSerialPortsIn(const std::string& sysClassTty,
                                           const std::string& publishDir);

#endif

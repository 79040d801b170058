// Discovery of serial devices on POSIX systems, split out so that tests can
// point it at a made-up sysfs tree and publication folder.
#ifndef CORVELLE_LINK_POSIX_PORT_LIST_H
#define CORVELLE_LINK_POSIX_PORT_LIST_H

#include <string>
#include <vector>

// Where running simulated transmitters publish their ports, unless the
// environment names another folder in CORVELLE_PORT_DIR (so that tests and
// parallel demos do not see each other's simulators).
inline constexpr const char* kDefaultPublishDir = "/tmp/corvelle-ports";
std::string PublishDir();

// "Natural" order: runs of digits compare by value, so ttyS2 < ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);

// The real serial devices under `sysClassTty` (as /dev/NAME, in natural order)
// followed by the ports published in `publishDir` by simulators that are still
// running (oldest publication first). A published entry is a symbolic link
// named NAME-PID that points at the simulator's terminal.
std::vector<std::string> ListSerialPortsIn(const std::string& sysClassTty,
                                           const std::string& publishDir);

#endif

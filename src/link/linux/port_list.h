// Discovery of serial devices on Linux, split out so that tests can point it
// at a made-up sysfs tree, udev folder and publication folder.
//
// Simulated transmitters publish their ports in a folder of the user's own.
// Nothing published counts unless that folder, the entry and its target can
// be trusted, so that another user of the machine cannot steer the program to
// a device, or a file, of their choosing.
#ifndef CORVELLE_LINK_LINUX_PORT_LIST_H
#define CORVELLE_LINK_LINUX_PORT_LIST_H

#include <string>
#include <vector>

// "Natural" order: runs of digits compare by value, so ttyS2 < ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);

// The serial ports in the order they appeared, the newest last: the serial
// hardware under `sysClassTty` (as `devDir`/NAME), by when udev first saw the
// device (its record in `udevData`; without one, by the change time of the
// node), and the ports published in `publishDir` by simulators of this
// user's that still run, by the monotonic time stamped on their link. Ties go
// by natural name. A tty counts as serial hardware only on a bus that carries
// serial ports (USB, PNP, PCI, platform, AMBA), and not as an 8250
// placeholder. A published entry is a symbolic link named NAME-PID to the
// simulator's terminal, and counts only while LivePublisherOf finds its
// simulator (per_system.h). Never
// throws: a folder that cannot be read, or vanishes while it is read, lists
// what was read of it.
std::vector<std::string> ListSerialPortsIn(const std::string& sysClassTty,
                                           const std::string& devDir, const std::string& udevData,
                                           const std::string& publishDir);

#endif

// Discovery of serial devices on Windows, split out so that a test can point
// it at a registry key of its own.
#ifndef CORVELLE_LINK_WIN32_PORT_LIST_H
#define CORVELLE_LINK_WIN32_PORT_LIST_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

// The data of every value under `root`\`path`, one device name per value, in
// the registry's enumeration order. A value that cannot be read (too long for
// a device name, or changed while it is read), and a Bluetooth port (a value
// named \Device\BthModemN), are passed over.
std::vector<std::string> ListSerialPortsUnder(HKEY root, const wchar_t* path);

#endif

// Which serial port the program talks to. The user never picks one: discovery
// takes the last device the platform lists, and every later opening uses it.
#ifndef CORVELLE_LINK_PORT_DISCOVERY_H
#define CORVELLE_LINK_PORT_DISCOVERY_H

#include <string>
#include <vector>

// The device found by the latest discovery; empty until one found a device.
// Written on the user-interface thread only, while no operation runs; read by
// every opening.
extern char portName[256];

// Takes the last device the platform lists into portName. An empty list leaves
// portName as it was. Call on the user-interface thread.
void FindSerialPort();

// The choice itself: the last of `ports` whose name fits portName goes into
// it; none leaves it as it was.
void ChooseLastPort(const std::vector<std::string>& ports);

#endif

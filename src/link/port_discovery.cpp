#include "link/port_discovery.h"

#include <cstring>

#include "link/serial_port.h"

char portName[256];

void ChooseLastPort(const std::vector<std::string>& ports) {
  if (ports.empty()) return;
  std::strncpy(portName, ports.back().c_str(), sizeof portName - 1);
  portName[sizeof portName - 1] = '\0';
}

void FindSerialPort() {
  ChooseLastPort(ListSerialPorts());
}

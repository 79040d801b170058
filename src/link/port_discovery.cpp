#include "link/port_discovery.h"

#include <cstring>

#include "link/serial_port.h"

char portName[256];

void ChooseLastPort(const std::vector<std::string>& ports) {
  // A name too long for portName is passed over rather than cut short: a cut
  // name would open some other device.
  for (auto it = ports.rbegin(); it != ports.rend(); ++it) {
    if (it->size() < sizeof portName) {
      std::memcpy(portName, it->c_str(), it->size() + 1);
      return;
    }
  }
}

void FindSerialPort() {
  ChooseLastPort(ListSerialPorts());
}

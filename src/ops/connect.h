// "Connect": tests whether the serial port can be opened and configured, and
// refreshes the port name that later operations use.
#ifndef CORVELLE_OPS_CONNECT_H
#define CORVELLE_OPS_CONNECT_H

#include "link/serial_link.h"
#include "ops/operation_steps.h"
#include "view/view.h"

// Runs discovery, shows the port name, opens and configures the port and
// reports "open serial port success". The dispatch closes the port again.
// Asks for no worker. User-interface thread.
CommandResult ConnectCommand(DialogHandle dialog, PortHandle& port);

#endif

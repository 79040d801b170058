// What every front end does as its window opens, written once.
#ifndef CORVELLE_OPS_WINDOW_START_H
#define CORVELLE_OPS_WINDOW_START_H

#include "view/view.h"

// Adds `entry` at the end of list `listId`, by position: a list styled as
// sorted keeps the order it is given, and the sensor list's index stays the
// sensor catalogue's index.
using ListAppender = void (*)(DialogHandle dialog, int listId, const char* entry);

// Fills the window's lists in the order every window shows them (the sensor
// catalogue's labels, the output types, the error outputs, the min's signs)
// and runs discovery once, so that portName is ready before the first
// command. The port name field stays empty until the first Connect shows it.
// User-interface thread, as the window opens.
void FillListsAndFindPort(DialogHandle dialog, ListAppender append);

#endif

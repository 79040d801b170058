#include "ops/window_start.h"

#include "link/port_discovery.h"
#include "protocol/sensor_catalogue.h"
#include "view/control_ids.h"
#include "view/window_lists.h"

void FillListsAndFindPort(DialogHandle dialog, ListAppender append) {
  for (const SensorEntry& sensor : SensorCatalogue) append(dialog, IDC_SENSOR_TYPE, sensor.listLabel);
  for (const char* entry : kOutputTypeEntries) append(dialog, IDC_OUTPUT_TYPE, entry);
  for (const char* entry : kErrorOutputEntries) append(dialog, IDC_ERROR_OUTPUT, entry);
  for (const char* entry : kMinSignEntries) append(dialog, IDC_MIN_SIGN, entry);
  FindSerialPort();
}

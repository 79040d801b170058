// The name a screen reader should read for each field, list and button of the window,
// written out: the Qt window's test reads them through QAccessible, and the
// end-to-end suite checks on the Windows dialog those that the Windows label
// rule reaches (the nearest static text before the control in the template,
// passing over group boxes).
#ifndef CORVELLE_TESTS_SUPPORT_ACCESSIBLE_NAMES_H
#define CORVELLE_TESTS_SUPPORT_ACCESSIBLE_NAMES_H

#include "view/control_ids.h"

namespace testing_names {

struct ExpectedName {
  int id;
  const char* name;
  bool byWindowsLabelRule;  // a label of its own stands right before it
};

inline constexpr ExpectedName kExpectedNames[] = {
    {IDC_PORT_NAME, "serial port", true},
    {IDC_COLD_PORT_TEMP, "cold port temperature", true},
    {IDC_CHOICE, "choice", false},
    {IDC_MESSAGE, "message", true},
    {IDC_SENSOR_TYPE, "sensor type", true},
    {IDC_OUTPUT_TYPE, "output type", true},
    {IDC_ERROR_OUTPUT, "error output", true},
    {IDC_INPUT_MAX, "input max", true},
    {IDC_MIN_SIGN, "input min sign", false},
    {IDC_INPUT_MIN, "input min", true},
    {IDC_READ_SENSOR, "sensor type", true},
    {IDC_READ_MAX_SIGN, "max sign", false},
    {IDC_READ_MAX, "max", true},
    {IDC_READ_MIN_SIGN, "min sign", false},
    {IDC_READ_MIN, "min", true},
    // Buttons go by their text.
    {IDOK, "set", false},
    {IDC_CONNECT, "Connect", false},
    {IDC_READ_SETTING, "read 1", false},
    {IDC_READ_COLD_PORT, "read cold port", false},
    {IDC_CALIBRATE_COLD_PORT, "calibrate cold port", false},
};

}  // namespace testing_names

#endif

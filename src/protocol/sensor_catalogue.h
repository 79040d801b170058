// The nine sensor types the transmitter accepts, in the order of the window's
// sensor list, and the check of a typed input range against them. Pure: no
// I/O, no shared state.
#ifndef CORVELLE_PROTOCOL_SENSOR_CATALOGUE_H
#define CORVELLE_PROTOCOL_SENSOR_CATALOGUE_H

#include <array>
#include <cstdint>

struct SensorEntry {
  const char* listLabel;         // entry of the sensor list
  std::uint8_t deviceCode;       // byte 1 of the setting frame; not the list index
  int maxLimit;                  // highest input max accepted
  int minMagnitudeLimit;         // largest min magnitude accepted with the "-" sign
  const char* confirmationText;  // shown in the choice line before sending
  const char* readBackText;      // shown when a setting read reports this device code
};

// Indexed by the selection of the sensor list.
inline constexpr std::array<SensorEntry, 9> SensorCatalogue = {{
    {"Wre3-25", 0, 1600, 0, "you chose wre3-25", "sensor：wre3-25\r\n"},
    {"pt100", 1, 850, 200, "you chose PT100", "sensor：PT100\r\n"},
    {"S type", 2, 1550, 50, "you chose S type TC", "sensor：S type TC\r\n"},
    {"K type", 3, 1330, 270, "you chose K type TC", "sensor：K type TC\r\n"},
    {"E type", 6, 1000, 270, "you chose E type TC", "sensor：E type TC\r\n"},
    {"PT1000", 5, 300, 50, "you chose PT1000 TC", "sensor：PT1000 RTC\r\n"},
    {"Cu50", 7, 150, 50, "you chose Cu50 RTC", "sensor：Cu50\r\n"},
    {"N type", 4, 1000, 270, "you chose N type TC", "sensor：N type TC\r\n"},
    {"J type", 8, 1200, 210, "you chose J type TC", "sensor：J type TC\r\n"},
}};

// Read-back text of the sensor with `deviceCode` ("sensor：K type TC\r\n"), or
// nullptr for a code that names no sensor.
const char* SensorTextForDeviceCode(int deviceCode);

inline constexpr const char* kInputMaxIllegality = "input max illegality";
inline constexpr const char* kInputMinIllegality = "input min illegality";

enum class RangeVerdict {
  kRejected,            // nothing may be sent; `rejection` says why
  kAcceptedWithRow,     // valid range and a sensor type chosen
  kAcceptedWithoutRow,  // valid range but no sensor type chosen
};

struct RangeInput {
  RangeVerdict verdict;
  const char* rejection;   // the text to show, set only with kRejected
  const SensorEntry* row;  // set only with kAcceptedWithRow
  int max;
  int min;           // the magnitude as typed
  bool minNegative;  // the sign list has "-" chosen
};

// Checks a typed input range in a fixed order and stops at the first fault.
// `signIndex` and `sensorIndex` are list selections (-1 for none). Both numbers
// must be typed exactly as their canonical decimal form (no blanks, zeros in
// front, plus sign or anything after), be non-negative multiples of 10, and lie
// within the sensor's limits; the max is checked against its limit before the
// min. With the "-" sign the min is a magnitude below zero limited per sensor;
// with "+" or no sign chosen the min must not exceed the max.
RangeInput CheckRangeInput(const char* maxText, const char* minText, int signIndex,
                           int sensorIndex);

#endif

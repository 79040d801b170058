// The nine sensor types the transmitter accepts, in the order of the window's
// sensor list, and the check of a typed input range against them.
#ifndef CORVELLE_PROTOCOL_SENSOR_CATALOGUE_H
#define CORVELLE_PROTOCOL_SENSOR_CATALOGUE_H

#include <array>
#include <cstdint>

#include "app/view.h"

struct SensorEntry {
  const char* listLabel;         // entry of the sensor list
  std::uint8_t deviceCode;       // byte 1 of the setting frame; not the list index
  int maxLimit;                  // highest input max accepted
  int minMagnitudeLimit;         // largest min magnitude accepted with the "-" sign
  const char* confirmationText;  // shown in the choice line before sending
};

// Indexed by the selection of the sensor list.
inline constexpr std::array<SensorEntry, 9> SensorCatalogue = {{
    {"Wre3-25", 0, 1600, 0, "you chose wre3-25"},
    {"pt100", 1, 850, 200, "you chose PT100"},
    {"S type", 2, 1550, 50, "you chose S type TC"},
    {"K type", 3, 1330, 270, "you chose K type TC"},
    {"E type", 6, 1000, 270, "you chose E type TC"},
    {"PT1000", 5, 300, 50, "you chose PT1000 TC"},
    {"Cu50", 7, 150, 50, "you chose Cu50 RTC"},
    {"N type", 4, 1000, 270, "you chose N type TC"},
    {"J type", 8, 1200, 210, "you chose J type TC"},
}};

inline constexpr const char* kInputMaxIllegality = "input max illegality";
inline constexpr const char* kInputMinIllegality = "input min illegality";

enum class RangeVerdict {
  kRejected,            // a "tips" box has been shown; nothing may be sent
  kAcceptedWithRow,     // valid range and a sensor type chosen
  kAcceptedWithoutRow,  // valid range but no sensor type chosen
};

struct RangeInput {
  RangeVerdict verdict;
  const SensorEntry* row;  // set only with kAcceptedWithRow
  int max;
  int min;           // the magnitude as typed
  bool minNegative;  // the sign list has "-" chosen
};

// Reads the input max, input min, min sign and sensor type from the window and
// checks them in a fixed order, showing "input max illegality" or "input min
// illegality" at the first fault. Both numbers must be typed exactly as their
// canonical decimal form (no blanks, zeros in front, plus sign or anything
// after), be non-negative multiples of 10, and lie within the sensor's limits.
// With the "-" sign the min is a magnitude below zero limited per sensor; with
// "+" or no sign chosen the min must not exceed the max. Call on the
// user-interface thread.
RangeInput ValidateRangeInput(DialogHandle dialog);

#endif

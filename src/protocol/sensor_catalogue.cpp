#include "protocol/sensor_catalogue.h"

#include <string>

#include "protocol/number_text.h"

const char* SensorTextForDeviceCode(int deviceCode) {
  for (const SensorEntry& sensor : SensorCatalogue) {
    if (sensor.deviceCode == deviceCode) return sensor.readBackText;
  }
  return nullptr;
}

namespace {

RangeInput Reject(const char* message) {
  return {RangeVerdict::kRejected, message, nullptr, 0, 0, false};
}

}  // namespace

RangeInput CheckRangeInput(const char* maxText, const char* minText, int signIndex,
                           int sensorIndex) {
  const int max = ParseIntLikeAtoi(maxText);
  if (FormatIntLikePrintf(max) != maxText || max % 10 != 0 || max < 0) {
    return Reject(kInputMaxIllegality);
  }

  const int min = ParseIntLikeAtoi(minText);
  const bool minCanonical = FormatIntLikePrintf(min) == minText;
  const bool minNegative = (signIndex == 1);

  if (min < 0) return Reject(kInputMinIllegality);
  if (minNegative) {
    if (!minCanonical || min % 10 != 0) return Reject(kInputMinIllegality);
  } else {
    // "+" and no choice alike: a min above the max, or one too large for the
    // frame's magnitude bits, would reach the device as a corrupted setting.
    if (!minCanonical || max < min || min % 10 != 0) return Reject(kInputMinIllegality);
  }

  if (sensorIndex < 0 || sensorIndex >= static_cast<int>(SensorCatalogue.size())) {
    return {RangeVerdict::kAcceptedWithoutRow, nullptr, nullptr, max, min, minNegative};
  }
  const SensorEntry& row = SensorCatalogue[static_cast<std::size_t>(sensorIndex)];
  if (max > row.maxLimit) return Reject(kInputMaxIllegality);
  if (minNegative && min > row.minMagnitudeLimit) return Reject(kInputMinIllegality);
  return {RangeVerdict::kAcceptedWithRow, nullptr, &row, max, min, minNegative};
}

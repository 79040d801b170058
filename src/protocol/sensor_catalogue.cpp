#include "protocol/sensor_catalogue.h"

#include <string>

#include "app/control_ids.h"
#include "protocol/number_text.h"

namespace {

RangeInput Reject(DialogHandle dialog, const char* message) {
  ShowTips(dialog, message);
  return {RangeVerdict::kRejected, nullptr, 0, 0, false};
}

}  // namespace

RangeInput ValidateRangeInput(DialogHandle dialog) {
  char maxText[256] = {};
  GetControlText(dialog, IDC_INPUT_MAX, maxText, sizeof maxText);
  const int max = ParseIntLikeAtoi(maxText);
  if (FormatIntLikePrintf(max) != maxText || max % 10 != 0 || max < 0) {
    return Reject(dialog, kInputMaxIllegality);
  }

  char minText[256] = {};
  GetControlText(dialog, IDC_INPUT_MIN, minText, sizeof minText);
  const int min = ParseIntLikeAtoi(minText);
  const bool minCanonical = FormatIntLikePrintf(min) == minText;
  const int sign = GetListSelection(dialog, IDC_MIN_SIGN);
  const bool minNegative = (sign == 1);

  if (min < 0) return Reject(dialog, kInputMinIllegality);
  if (minNegative) {
    if (!minCanonical || min % 10 != 0) return Reject(dialog, kInputMinIllegality);
  } else {
    // "+" and no choice alike: a min above the max, or one too large for the
    // frame's magnitude bits, would reach the device as a corrupted setting.
    if (!minCanonical || max < min || min % 10 != 0) return Reject(dialog, kInputMinIllegality);
  }

  const int sensor = GetListSelection(dialog, IDC_SENSOR_TYPE);
  if (sensor < 0 || sensor >= static_cast<int>(SensorCatalogue.size())) {
    return {RangeVerdict::kAcceptedWithoutRow, nullptr, max, min, minNegative};
  }
  const SensorEntry& row = SensorCatalogue[static_cast<std::size_t>(sensor)];
  if (max > row.maxLimit) return Reject(dialog, kInputMaxIllegality);
  if (minNegative && min > row.minMagnitudeLimit) return Reject(dialog, kInputMinIllegality);
  return {RangeVerdict::kAcceptedWithRow, &row, max, min, minNegative};
}

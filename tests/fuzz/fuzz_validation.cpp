// Range validation against a model of its rules written from scratch: canonical
// text by regular expression, then the checks in their order.
#include <climits>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "protocol/sensor_catalogue.h"
#include "tests/support/texts.h"

namespace {

struct Model {
  RangeVerdict verdict;
  const std::string* tips;  // nullptr when accepted
};

// A text passes when it is exactly how "%i" prints some 32-bit integer.
bool Canonical(const std::string& text, long long* value) {
  static const std::regex form(R"(^(0|-?[1-9]\d{0,9})$)");
  if (!std::regex_match(text, form)) return false;
  *value = std::stoll(text);
  return *value >= INT_MIN && *value <= INT_MAX;
}

Model Expect(const std::string& maxText, const std::string& minText, int sign, int sensor) {
  const Model maxBad{RangeVerdict::kRejected, &texts::kInputMaxIllegality};
  const Model minBad{RangeVerdict::kRejected, &texts::kInputMinIllegality};
  long long max = 0, min = 0;
  if (!Canonical(maxText, &max) || max % 10 != 0 || max < 0) return maxBad;
  if (!Canonical(minText, &min) || min < 0 || min % 10 != 0) return minBad;
  if (sign != 1 && max < min) return minBad;
  if (sensor < 0 || sensor >= texts::kSensorCount) return {RangeVerdict::kAcceptedWithoutRow, nullptr};
  if (max > texts::kSensors[sensor].maxLimit) return maxBad;
  if (sign == 1 && min > texts::kSensors[sensor].minLimit) return minBad;
  return {RangeVerdict::kAcceptedWithRow, nullptr};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int sign = static_cast<int>(data[0] % 4) - 1;     // -1, 0, 1, 2
  // One before the list, and two past its end.
  const int sensor = static_cast<int>(data[1] % (texts::kSensorCount + 3)) - 1;
  const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = rest.find('|');
  std::string maxText = rest.substr(0, split);
  std::string minText = split == std::string::npos ? "" : rest.substr(split + 1);
  maxText = maxText.substr(0, std::min<std::size_t>(strnlen(maxText.c_str(), maxText.size()), 255));
  minText = minText.substr(0, std::min<std::size_t>(strnlen(minText.c_str(), minText.size()), 255));

  const RangeInput input = CheckRangeInput(maxText.c_str(), minText.c_str(), sign, sensor);
  const Model model = Expect(maxText, minText, sign, sensor);

  FUZZ_CHECK(input.verdict == model.verdict);
  if (model.tips == nullptr) {
    FUZZ_CHECK(input.rejection == nullptr);
    FUZZ_CHECK(input.max == std::stoll(maxText) && input.min == std::stoll(minText));
    FUZZ_CHECK(input.minNegative == (sign == 1));
    // The row that goes out is the sensor chosen, by the code the device knows.
    FUZZ_CHECK((input.row != nullptr) == (model.verdict == RangeVerdict::kAcceptedWithRow));
    if (input.row != nullptr) FUZZ_CHECK(input.row->deviceCode == texts::kSensors[sensor].code);
  } else {
    FUZZ_CHECK(input.rejection != nullptr && input.rejection == *model.tips);
  }
  return 0;
}

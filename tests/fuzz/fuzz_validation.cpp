// Range validation against a model of its rules written from scratch: canonical
// text by regular expression, then the checks in their order.
#include <climits>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "protocol/sensor_catalogue.h"

namespace {

struct Model {
  RangeVerdict verdict;
  const char* tips;  // nullptr when accepted
};

// A text passes when it is exactly how "%i" prints some 32-bit integer.
bool Canonical(const std::string& text, long long* value) {
  static const std::regex form(R"(^(0|-?[1-9]\d{0,9})$)");
  if (!std::regex_match(text, form)) return false;
  *value = std::stoll(text);
  return *value >= INT_MIN && *value <= INT_MAX;
}

Model Expect(const std::string& maxText, const std::string& minText, int sign, int sensor) {
  long long max = 0, min = 0;
  const bool maxOk = Canonical(maxText, &max);
  if (!maxOk || max % 10 != 0 || max < 0) return {RangeVerdict::kRejected, "input max illegality"};
  if (!Canonical(minText, &min)) return {RangeVerdict::kRejected, "input min illegality"};
  if (min < 0 || min % 10 != 0) return {RangeVerdict::kRejected, "input min illegality"};
  if (sign != 1 && max < min) return {RangeVerdict::kRejected, "input min illegality"};
  if (sensor < 0 || sensor > 8) return {RangeVerdict::kAcceptedWithoutRow, nullptr};
  static const int maxLimits[] = {1600, 850, 1550, 1330, 1000, 300, 150, 1000, 1200};
  static const int minLimits[] = {0, 200, 50, 270, 270, 50, 50, 270, 210};
  if (max > maxLimits[sensor]) return {RangeVerdict::kRejected, "input max illegality"};
  if (sign == 1 && min > minLimits[sensor])
    return {RangeVerdict::kRejected, "input min illegality"};
  return {RangeVerdict::kAcceptedWithRow, nullptr};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int sign = static_cast<int>(data[0] % 4) - 1;     // -1, 0, 1, 2
  const int sensor = static_cast<int>(data[1] % 12) - 1;  // -1 .. 10
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
    // What is accepted fits the frame: the min never reaches the sign bit.
    FUZZ_CHECK(input.minNegative || input.min <= input.max);
    if (input.row != nullptr)
      FUZZ_CHECK(input.max <= 1600 && (!input.minNegative || input.min <= 270));
  } else {
    FUZZ_CHECK(input.rejection != nullptr && std::strcmp(input.rejection, model.tips) == 0);
  }
  return 0;
}

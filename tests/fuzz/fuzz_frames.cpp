// Frame building against models: the setting frame's bytes from modular
// arithmetic, and the calibration target from the C library's own strtod on
// a text that a regular expression accepts, whole, as a plain decimal number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "protocol/frames.h"
#include "tests/support/wire_model.h"

namespace {

std::optional<int> ModelTarget(const std::string& text) {
  static const std::regex number(R"([ \t\n\v\f\r]*([+-]?(\d+\.?\d*|\.\d+))[ \t\n\v\f\r]*)");
  std::smatch match;
  if (!std::regex_match(text, match, number)) return std::nullopt;
  const double value = std::strtod(match[1].str().c_str(), nullptr);
  const double tenths = std::trunc(value * 10.0);
  if (!(tenths >= -32768.0 && tenths <= 32767.0)) return std::nullopt;
  return static_cast<int>(tenths);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 10) {
    int max, min;
    std::memcpy(&max, data, 4);
    std::memcpy(&min, data + 4, 4);
    const bool negative = data[8] & 1;
    SettingFrame frame = MakeSettingFrame();
    frame[1] = data[9];
    FillRangeBytes(frame, max, min, negative);
    const auto expected = wire_model::SettingFrame(data[9], max, min, negative);
    FUZZ_CHECK(std::memcmp(frame.data(), expected.data(), 11) == 0);
  }

  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  const std::optional<ColdPortTarget> entry = ColdPortTargetFromEntry(text.c_str());
  const std::optional<int> target = entry ? std::optional<int>(entry->tenths) : std::nullopt;
  const std::optional<int> model = ModelTarget(text);
  FUZZ_CHECK(target == model);
  if (target) {
    const ColdPortCalibrationFrame frame = MakeColdPortCalibrationFrame(*target);
    const auto word = static_cast<std::uint16_t>(*target);
    FUZZ_CHECK(frame[0] == 'F' && frame[3] == 0);
    FUZZ_CHECK(frame[1] == word >> 8 && frame[2] == (word & 0xFF));
  }
  return 0;
}

// Reply decoding against a model written from the wire format: any 11 or 2
// bytes must decode to what the bit layout says, and the cold port text must
// be the value rounded to 4 significant digits.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "protocol/frames.h"
#include "protocol/sensor_catalogue.h"
#include "protocol/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 11) {
    const SettingReply reply = DecodeSettingReply(data);
    const bool negative = data[4] >> 7;
    const unsigned range = ((data[2] << 8) | data[3]) % 4096u;
    const unsigned magnitude = ((data[4] << 8) | data[5]) % 4096u;
    const long max = negative ? static_cast<long>(range) - static_cast<long>(magnitude) : range;
    FUZZ_CHECK(reply.deviceCode == data[1]);
    FUZZ_CHECK(reply.minNegative == negative);
    FUZZ_CHECK(reply.minMagnitude == static_cast<int>(magnitude));
    FUZZ_CHECK(reply.max == max);
    FUZZ_CHECK(reply.maxText == std::to_string(max));
    FUZZ_CHECK(reply.minText == std::to_string(magnitude));
    FUZZ_CHECK((SensorTextForDeviceCode(data[1]) != nullptr) == (data[1] <= 8));
  }
  if (size >= 2) {
    const ColdPortReading reading = DecodeColdPortReply(data);
    const std::int16_t word =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] << 8 | data[1]));
    FUZZ_CHECK(reading.tenths == word);
    FUZZ_CHECK(reading.degrees == word / 10.0);
    // The text reads back as the value rounded to 4 significant digits.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.3e", reading.degrees);
    const double expected = std::strtod(rounded, nullptr);
    const double shown = std::strtod(reading.text.c_str(), nullptr);
    // With 4 significant digits, values of 1000 degrees and more lose their
    // tenths; an exact half is a tie, which rounds away from zero.
    const bool tie = std::abs(word) >= 10000 && std::abs(word) % 10 == 5;
    if (tie) {
      // Exact halves round away from zero.
      FUZZ_CHECK(std::fabs(shown) == std::ceil(std::fabs(reading.degrees)));
    } else {
      FUZZ_CHECK(shown == expected);
    }
    // Everything the device can report below 1000 degrees keeps its point.
    if (std::fabs(reading.degrees) < 1000.0 && std::fabs(reading.degrees) >= 0.1) {
      FUZZ_CHECK(reading.text.find('.') != std::string::npos);
      FUZZ_CHECK(reading.text.find('e') == std::string::npos);
    }
  }
  return 0;
}

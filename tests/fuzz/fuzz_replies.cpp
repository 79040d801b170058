// Reply decoding against a model written from the wire format: any 11 or 2
// bytes must decode to what the bit layout says, the sensor text must be the
// catalogue's for that code, and the cold port text _gcvt's with 4 digits.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "tests/support/texts.h"
#include "tests/support/wire_model.h"
#include "protocol/frames.h"
#include "protocol/sensor_catalogue.h"
#include "protocol/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 11) {
    const SettingReply reply = DecodeSettingReply(data);
    const wire_model::SettingReply model = wire_model::ReadSetting(data);
    FUZZ_CHECK(reply.deviceCode == model.code);
    FUZZ_CHECK(reply.minNegative == model.negative);
    FUZZ_CHECK(reply.minMagnitude == static_cast<int>(model.magnitude));
    FUZZ_CHECK(reply.max == model.max);
    FUZZ_CHECK(reply.maxText == std::to_string(model.max));
    FUZZ_CHECK(reply.minText == std::to_string(model.magnitude));
    const char* sensor = SensorTextForDeviceCode(data[1]);
    const texts::Sensor* known = nullptr;
    for (const texts::Sensor& row : texts::kSensors) {
      if (row.code == data[1]) known = &row;
    }
    FUZZ_CHECK(known ? sensor != nullptr && std::strcmp(sensor, known->readBack) == 0
                     : sensor == nullptr);
  }
  if (size >= 2) {
    const ColdPortReading reading = DecodeColdPortReply(data);
    const int word = wire_model::ColdPortTenths(data);
    FUZZ_CHECK(reading.tenths == word);
    FUZZ_CHECK(reading.degrees == word / 10.0);
    // The text is _gcvt's with 4 significant digits.
    FUZZ_CHECK(reading.text == wire_model::Gcvt(word / 10.0, 4));
  }
  return 0;
}

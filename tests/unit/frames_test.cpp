#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/sensor_catalogue.h"
#include "tests/support/texts.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const SettingFrame& frame) {
  return Bytes(frame.begin(), frame.end());
}

struct SettingFrameCase {
  std::uint8_t deviceCode;
  int max;
  int min;
  bool minNegative;
  Bytes expected;
};

TEST(SettingFrame, CarriesRangeWordAndMinWithItsSign) {
  const SettingFrameCase cases[] = {
      {3, 1000, 0, false, {0x44, 3, 0x03, 0xE8, 0x00, 0x00, 0x01, 0, 0, 0, 0}},
      {6, 1000, 200, true, {0x44, 6, 0x04, 0xB0, 0x80, 0xC8, 0x01, 0, 0, 0, 0}},
      {1, 850, 0, true, {0x44, 1, 0x03, 0x52, 0x80, 0x00, 0x01, 0, 0, 0, 0}},
      {3, 1330, 270, true, {0x44, 3, 0x06, 0x40, 0x81, 0x0E, 0x01, 0, 0, 0, 0}},
      {4, 100, 200, false, {0x44, 4, 0x00, 0x64, 0x00, 0xC8, 0x01, 0, 0, 0, 0}},
      // Only the low 16 bits of each value go out.
      {3, 1000, 40000, false, {0x44, 3, 0x03, 0xE8, 0x9C, 0x40, 0x01, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SettingFrame frame = MakeSettingFrame();
    frame[1] = c.deviceCode;
    FillRangeBytes(frame, c.max, c.min, c.minNegative);
    EXPECT_EQ(ToBytes(frame), c.expected) << c.max << "/" << c.min;
  }
}

TEST(SettingFrame, RefillReplacesEveryRangeByte) {
  SettingFrame frame = MakeSettingFrame();
  FillRangeBytes(frame, 1000, 200, true);
  FillRangeBytes(frame, 300, 0, false);
  EXPECT_EQ(ToBytes(frame), (Bytes{0x44, 0, 0x01, 0x2C, 0x00, 0x00, 0x01, 0, 0, 0, 0}));
}

struct SettingReplyCase {
  Bytes bytes;
  int deviceCode;
  int max;
  int magnitude;
  bool negative;
  const char* maxText;
  const char* minText;
};

TEST(SettingReply, DecodesRangeAndIgnoresUndefinedBits) {
  const SettingReplyCase cases[] = {
      {{0x42, 3, 0x04, 0xB0, 0x80, 0xC8, 1, 0, 0, 0, 0}, 3, 1000, 200, true, "1000", "200"},
      // Upper nibbles of bytes 2 and 4 are not part of the numbers.
      {{0x42, 1, 0xF3, 0x52, 0x70, 0x00, 1, 0, 0, 0, 0}, 1, 850, 0, false, "850", "0"},
      // A magnitude larger than the range word gives a negative max.
      {{0x00, 7, 0x00, 0x64, 0x80, 0xC8, 9, 9, 9, 9, 9}, 7, -100, 200, true, "-100", "200"},
      {{0x00, 9, 0x0F, 0xFF, 0x0F, 0xFF, 0, 0, 0, 0, 0}, 9, 4095, 4095, false, "4095", "4095"},
  };
  for (const auto& c : cases) {
    const SettingReply reply = DecodeSettingReply(c.bytes.data());
    EXPECT_EQ(reply.deviceCode, c.deviceCode);
    EXPECT_EQ(reply.max, c.max);
    EXPECT_EQ(reply.minMagnitude, c.magnitude);
    EXPECT_EQ(reply.minNegative, c.negative);
    EXPECT_EQ(reply.maxText, c.maxText);
    EXPECT_EQ(reply.minText, c.minText);
  }
}

TEST(SettingReply, ReadBackTextsExistForTheListedCodesOnly) {
  for (const texts::Sensor& sensor : texts::kSensors) {
    EXPECT_STREQ(SensorTextForDeviceCode(sensor.code), sensor.readBack) << sensor.code;
  }
  EXPECT_EQ(SensorTextForDeviceCode(-1), nullptr);
  EXPECT_EQ(SensorTextForDeviceCode(texts::kCodeOfNoSensor), nullptr);
  EXPECT_EQ(SensorTextForDeviceCode(255), nullptr);
}

struct ColdPortCase {
  std::uint8_t high, low;
  int tenths;
  const char* text;
};

TEST(ColdPortReply, DecodesSignedTenths) {
  const ColdPortCase cases[] = {
      {0xFF, 0xCC, -52, "-5.2"},   {0x00, 0xFA, 250, "25."},      {0x00, 0x00, 0, "0."},
      {0xFF, 0xFF, -1, "-0.1"},    {0x80, 0x00, -32768, "-3277"}, {0x7F, 0xFF, 32767, "3277"},
      {0x27, 0x10, 10000, "1000"}, {0x00, 0x05, 5, "0.5"},
  };
  for (const auto& c : cases) {
    const std::uint8_t bytes[2] = {c.high, c.low};
    const ColdPortReading reading = DecodeColdPortReply(bytes);
    EXPECT_EQ(reading.tenths, c.tenths);
    EXPECT_DOUBLE_EQ(reading.degrees, c.tenths / 10.0);
    EXPECT_EQ(reading.text, c.text);
  }
}

struct CalibrationCase {
  const char* entry;
  std::optional<Bytes> frame;
};

// Only a plain decimal number, all of it, is sent: anything that merely
// starts with one would put a value on the device that nobody typed.
TEST(ColdPortCalibrationFrame, TruncatesTenthsAndRefusesWhatCannotBeSent) {
  const std::string huge(400, '9');
  const CalibrationCase cases[] = {
      {"23.47", Bytes{0x46, 0x00, 0xEA, 0x00}},
      {"-5.26", Bytes{0x46, 0xFF, 0xCC, 0x00}},
      {" 25\t ", Bytes{0x46, 0x00, 0xFA, 0x00}},
      {"+25.", Bytes{0x46, 0x00, 0xFA, 0x00}},
      {"-.5", Bytes{0x46, 0xFF, 0xFB, 0x00}},
      {"0", Bytes{0x46, 0x00, 0x00, 0x00}},
      {"3276.79", Bytes{0x46, 0x7F, 0xFF, 0x00}},
      {"-3276.89", Bytes{0x46, 0x80, 0x00, 0x00}},
      // clang-format off
      {"3276.8", std::nullopt}, {"-3276.9", std::nullopt}, {"23,5", std::nullopt},
      {"25abc", std::nullopt}, {"1e2", std::nullopt}, {"0x1A", std::nullopt},
      {"1..2", std::nullopt}, {"1.2.3", std::nullopt}, {"- 5", std::nullopt},
      {"", std::nullopt}, {"  ", std::nullopt}, {".", std::nullopt}, {"-", std::nullopt},
      {huge.c_str(), std::nullopt},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::optional<ColdPortTarget> target = ColdPortTargetFromEntry(c.entry);
    ASSERT_EQ(target.has_value(), c.frame.has_value()) << '"' << c.entry << '"';
    if (!target) continue;
    const ColdPortCalibrationFrame frame = MakeColdPortCalibrationFrame(target->tenths);
    EXPECT_EQ(Bytes(frame.begin(), frame.end()), *c.frame) << '"' << c.entry << '"';
  }
}

}  // namespace

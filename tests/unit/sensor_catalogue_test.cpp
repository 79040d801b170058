#include "protocol/sensor_catalogue.h"

#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <string>

#include "tests/support/texts.h"


namespace {

TEST(SensorCatalogue, RowsFollowTheListWithTheirOwnDeviceCodes) {
  ASSERT_EQ(SensorCatalogue.size(), std::size(texts::kSensors));
  for (std::size_t i = 0; i < SensorCatalogue.size(); ++i) {
    const texts::Sensor& expected = texts::kSensors[i];
    EXPECT_STREQ(SensorCatalogue[i].listLabel, expected.label);
    EXPECT_EQ(SensorCatalogue[i].deviceCode, expected.code) << expected.label;
    EXPECT_EQ(SensorCatalogue[i].maxLimit, expected.maxLimit) << expected.label;
    EXPECT_EQ(SensorCatalogue[i].minMagnitudeLimit, expected.minLimit) << expected.label;
    EXPECT_STREQ(SensorCatalogue[i].confirmationText, expected.choice);
    EXPECT_STREQ(SensorCatalogue[i].readBackText, expected.readBack);
  }
}

constexpr int kNone = -1;
constexpr int kPlus = 0;
constexpr int kMinus = 1;
constexpr int kWre = 0, kPt100 = 1, kK = 3, kE = 4, kCu50 = 6, kN = 7;

enum Outcome { kWithRow, kWithoutRow, kMaxBad, kMinBad };

struct RangeCase {
  int sensor;
  const char* max;
  int sign;
  const char* min;
  Outcome outcome;
};

void PrintTo(const RangeCase& c, std::ostream* os) {
  *os << "sensor " << c.sensor << " max '" << c.max << "' sign " << c.sign << " min '" << c.min
      << "'";
}

class CheckRangeInputTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(CheckRangeInputTest, AcceptsOrRejectsWithTheRightText) {
  const RangeCase& c = GetParam();
  const RangeInput input = CheckRangeInput(c.max, c.min, c.sign, c.sensor);
  switch (c.outcome) {
    case kWithRow:
      EXPECT_EQ(input.verdict, RangeVerdict::kAcceptedWithRow);
      ASSERT_NE(input.row, nullptr);
      EXPECT_EQ(input.row->deviceCode, texts::kSensors[c.sensor].code);
      EXPECT_EQ(input.max, std::stoi(c.max));
      EXPECT_EQ(input.min, std::stoi(c.min));
      EXPECT_EQ(input.minNegative, c.sign == kMinus);
      EXPECT_EQ(input.rejection, nullptr);
      break;
    case kWithoutRow:
      EXPECT_EQ(input.verdict, RangeVerdict::kAcceptedWithoutRow);
      EXPECT_EQ(input.row, nullptr);
      EXPECT_EQ(input.rejection, nullptr);
      break;
    case kMaxBad:
    case kMinBad:
      EXPECT_EQ(input.verdict, RangeVerdict::kRejected);
      ASSERT_NE(input.rejection, nullptr);
      EXPECT_EQ(input.rejection,
                c.outcome == kMaxBad ? texts::kInputMaxIllegality : texts::kInputMinIllegality);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CheckRangeInputTest,
    ::testing::Values(
        // At and just above each kind of limit.
        RangeCase{kK, "1330", kPlus, "0", kWithRow}, RangeCase{kK, "1340", kPlus, "0", kMaxBad},
        RangeCase{kK, "1330", kMinus, "270", kWithRow},
        RangeCase{kK, "1330", kMinus, "280", kMinBad},
        RangeCase{kWre, "1600", kMinus, "0", kWithRow},
        RangeCase{kWre, "1610", kPlus, "0", kMaxBad},
        RangeCase{kWre, "1600", kMinus, "10", kMinBad},
        RangeCase{kPt100, "850", kMinus, "200", kWithRow},
        RangeCase{kPt100, "850", kMinus, "210", kMinBad},
        RangeCase{kCu50, "150", kMinus, "50", kWithRow},
        RangeCase{kCu50, "160", kPlus, "0", kMaxBad}, RangeCase{kE, "1000", kMinus, "0", kWithRow},
        RangeCase{kN, "1000", kMinus, "270", kWithRow},
        // Max equal to min is allowed with "+", max below min is not.
        RangeCase{kK, "100", kPlus, "100", kWithRow}, RangeCase{kK, "100", kPlus, "200", kMinBad},
        // With "-" the min is a magnitude, not compared with the max.
        RangeCase{kK, "100", kMinus, "200", kWithRow},
        // The max check against the limit comes before any min check.
        RangeCase{kK, "1400", kMinus, "300", kMaxBad},
        RangeCase{kK, "1400", kPlus, "05", kMinBad},
        // Only the canonical text of a number passes.
        RangeCase{kK, "0100", kPlus, "0", kMaxBad}, RangeCase{kK, " 100", kPlus, "0", kMaxBad},
        RangeCase{kK, "100 ", kPlus, "0", kMaxBad}, RangeCase{kK, "+100", kPlus, "0", kMaxBad},
        RangeCase{kK, "", kPlus, "0", kMaxBad}, RangeCase{kK, "100x", kPlus, "0", kMaxBad},
        RangeCase{kK, "1005", kPlus, "0", kMaxBad}, RangeCase{kK, "-100", kPlus, "0", kMaxBad},
        RangeCase{kK, "4294967300", kPlus, "0", kMaxBad},
        RangeCase{kK, "2147483650", kPlus, "0", kMaxBad},
        RangeCase{kK, "1000", kPlus, "-50", kMinBad}, RangeCase{kK, "1000", kMinus, "-50", kMinBad},
        RangeCase{kK, "1000", kMinus, "050", kMinBad}, RangeCase{kK, "1000", kMinus, "", kMinBad},
        RangeCase{kK, "1000", kMinus, "55", kMinBad}, RangeCase{kK, "1000", kPlus, " 50", kMinBad},
        RangeCase{kK, "1000", kMinus, "4294967300", kMinBad},
        // No sign chosen: the min is checked as for "+", so it can never reach
        // the device with its top bit set.
        RangeCase{kK, "1000", kNone, "40000", kMinBad}, RangeCase{kK, "100", kNone, "200", kMinBad},
        RangeCase{kK, "200", kNone, "100", kWithRow}, RangeCase{kK, "200", kNone, "105", kMinBad},
        // No sensor chosen: the range alone decides, without sensor limits.
        RangeCase{kNone, "5000", kMinus, "900", kWithoutRow},
        RangeCase{kNone, "1000", kPlus, "0", kWithoutRow},
        RangeCase{kNone, "0100", kPlus, "0", kMaxBad}));

}  // namespace

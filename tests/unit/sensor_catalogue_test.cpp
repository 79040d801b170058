#include "protocol/sensor_catalogue.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>


namespace {

TEST(SensorCatalogue, RowsFollowTheListWithTheirOwnDeviceCodes) {
  const char* labels[] = {"Wre3-25", "pt100", "S type", "K type", "E type",
                          "PT1000",  "Cu50",  "N type", "J type"};
  const int codes[] = {0, 1, 2, 3, 6, 5, 7, 4, 8};
  const int maxLimits[] = {1600, 850, 1550, 1330, 1000, 300, 150, 1000, 1200};
  const int minLimits[] = {0, 200, 50, 270, 270, 50, 50, 270, 210};
  ASSERT_EQ(SensorCatalogue.size(), 9u);
  for (std::size_t i = 0; i < SensorCatalogue.size(); ++i) {
    EXPECT_STREQ(SensorCatalogue[i].listLabel, labels[i]);
    EXPECT_EQ(SensorCatalogue[i].deviceCode, codes[i]) << labels[i];
    EXPECT_EQ(SensorCatalogue[i].maxLimit, maxLimits[i]) << labels[i];
    EXPECT_EQ(SensorCatalogue[i].minMagnitudeLimit, minLimits[i]) << labels[i];
  }
  EXPECT_STREQ(SensorCatalogue[4].confirmationText, "you chose E type TC");
  EXPECT_STREQ(SensorCatalogue[6].confirmationText, "you chose Cu50 RTC");
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
      EXPECT_EQ(input.row, &SensorCatalogue[static_cast<std::size_t>(c.sensor)]);
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
      EXPECT_STREQ(input.rejection,
                   c.outcome == kMaxBad ? "input max illegality" : "input min illegality");
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
        RangeCase{kK, "1400", kPlus, "05", kMinBad}));

INSTANTIATE_TEST_SUITE_P(
    CanonicalText, CheckRangeInputTest,
    ::testing::Values(
        RangeCase{kK, "0100", kPlus, "0", kMaxBad}, RangeCase{kK, " 100", kPlus, "0", kMaxBad},
        RangeCase{kK, "100 ", kPlus, "0", kMaxBad}, RangeCase{kK, "+100", kPlus, "0", kMaxBad},
        RangeCase{kK, "", kPlus, "0", kMaxBad}, RangeCase{kK, "100x", kPlus, "0", kMaxBad},
        RangeCase{kK, "1005", kPlus, "0", kMaxBad}, RangeCase{kK, "-100", kPlus, "0", kMaxBad},
        RangeCase{kK, "4294967300", kPlus, "0", kMaxBad},
        RangeCase{kK, "2147483650", kPlus, "0", kMaxBad},
        RangeCase{kK, "1000", kPlus, "-50", kMinBad}, RangeCase{kK, "1000", kMinus, "-50", kMinBad},
        RangeCase{kK, "1000", kMinus, "050", kMinBad}, RangeCase{kK, "1000", kMinus, "", kMinBad},
        RangeCase{kK, "1000", kMinus, "55", kMinBad}, RangeCase{kK, "1000", kPlus, " 50", kMinBad},
        RangeCase{kK, "1000", kMinus, "4294967300", kMinBad}));

INSTANTIATE_TEST_SUITE_P(NothingChosen, CheckRangeInputTest,
                         ::testing::Values(
                             // No sign chosen: the min is checked as for "+", so it can never reach
                             // the device with its top bit set.
                             RangeCase{kK, "1000", kNone, "40000", kMinBad},
                             RangeCase{kK, "100", kNone, "200", kMinBad},
                             RangeCase{kK, "200", kNone, "100", kWithRow},
                             RangeCase{kK, "200", kNone, "105", kMinBad},
                             // No sensor chosen: the range alone decides, without sensor limits.
                             RangeCase{kNone, "5000", kMinus, "900", kWithoutRow},
                             RangeCase{kNone, "1000", kPlus, "0", kWithoutRow},
                             RangeCase{kNone, "0100", kPlus, "0", kMaxBad}));

}  // namespace

#include "protocol/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct IntCase {
  const char* text;
  int value;
};

TEST(ParseIntLikeAtoi, TakesTheLeadingNumberAndSaturates) {
  const IntCase cases[] = {
      {"0", 0},
      {"1330", 1330},
      {"  42", 42},
      {"\t\n-7x", -7},
      {"+15", 15},
      {"0100", 100},
      {"12 34", 12},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999999999999", 2147483647},
      {"-2147483648", std::numeric_limits<int>::min()},
      {"-2147483649", std::numeric_limits<int>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIntLikeAtoi(c.text), c.value) << '"' << c.text << '"';
}

TEST(FormatIntLikePrintf, MatchesPercentI) {
  EXPECT_EQ(FormatIntLikePrintf(0), "0");
  EXPECT_EQ(FormatIntLikePrintf(-850), "-850");
  EXPECT_EQ(FormatIntLikePrintf(std::numeric_limits<int>::min()), "-2147483648");
}

struct DoubleCase {
  const char* text;
  bool found;
  double value;
};

TEST(ParseDoubleLikeStrtod, ReadsDecimalNotationAndStopsAtTheFirstStranger) {
  const double inf = std::numeric_limits<double>::infinity();
  const DoubleCase cases[] = {
      {"23.47", true, 23.47}, {"  -5.26", true, -5.26}, {"+1.5e2", true, 150.0},
      {"25.", true, 25.0},    {".5", true, 0.5},        {"7e", true, 7.0},
      {"7e+", true, 7.0},     {"3.2abc", true, 3.2},    {"1e-400", true, 0.0},
      {"1e400", true, inf},   {"-1e400", true, -inf},   {"0.000e999999", true, 0.0},
      {"", false, 0.0},       {"abc", false, 0.0},      {".", false, 0.0},
      {"-", false, 0.0},      {"e5", false, 0.0},
  };
  for (const auto& c : cases) {
    const ParsedDouble parsed = ParseDoubleLikeStrtod(c.text);
    EXPECT_EQ(parsed.found, c.found) << '"' << c.text << '"';
    EXPECT_EQ(parsed.value, c.value) << '"' << c.text << '"';
  }
}

struct GcvtCase {
  double value;
  int digits;
  const char* text;
};

TEST(FormatDoubleLikeGcvt, FollowsTheRuntimeRules) {
  const GcvtCase cases[] = {
      // Cold port range: fixed notation, the point kept.
      {25.0, 4, "25."},
      {-5.2, 4, "-5.2"},
      {0.1, 4, "0.1"},
      {-0.5, 4, "-0.5"},
      {123.4, 4, "123.4"},
      {999.9, 4, "999.9"},
      // 1000 and above: fixed without a point while 4 digits suffice, then exponent.
      {1000.0, 4, "1000"},
      {3276.7, 4, "3277"},
      {-3276.8, 4, "-3277"},
      {999.96, 4, "1000"},
      {9999.5, 4, "1.e+004"},
      {12345.0, 4, "1.235e+004"},
      {1e21, 4, "1.e+021"},
      // Ties are rounded away from zero.
      {1234.5, 4, "1235"},
      {-1234.5, 4, "-1235"},
      {0.15, 1, "0.1"},  // just below the tie in binary
      {0.25, 1, "0.3"},
      // Below 0.1: exponent notation, trailing zeros dropped, point kept.
      {0.05, 4, "5.e-002"},
      {-0.05, 4, "-5.e-002"},
      {0.0999, 4, "9.99e-002"},
      {0.099999, 4, "0.1"},
      {1e-5, 4, "1.e-005"},
      // Zero has its point before the first digit, so it stays fixed.
      {0.0, 4, "0."},
      // The runtime's own documented examples, with 12 digits.
      {-1234567890.123, 12, "-1234567890.12"},
      {-12345678901.23, 12, "-12345678901.2"},
      {-123456789012.3, 12, "-123456789012"},
      {-1234567890123.0, 12, "-1.23456789012e+012"},
      {-12.34567890123, 12, "-12.3456789012"},
      {-1.234567890123, 12, "-1.23456789012"},
      {-0.1234567890123, 12, "-0.123456789012"},
      {-0.01234567890123, 12, "-1.23456789012e-002"},
      // One digit leaves no fraction in exponent notation.
      {25.0, 1, "3e+001"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDoubleLikeGcvt(c.value, c.digits), c.text)
        << c.value << " with " << c.digits << " digits";
  }
}

TEST(FormatDoubleLikeGcvt, EveryColdPortValueRoundTripsToItsTenths) {
  // Every value the device can report must read back as the same tenths.
  for (int tenths = -32768; tenths <= 32767; ++tenths) {
    const double degrees = tenths / 10.0;
    const std::string text = FormatDoubleLikeGcvt(degrees, 4);
    const double back = ParseDoubleLikeStrtod(text.c_str()).value;
    if (std::fabs(degrees) < 1000.0 && degrees != 0.0 && std::fabs(degrees) >= 0.1) {
      ASSERT_EQ(std::lround(back * 10.0), tenths) << text;
      ASSERT_NE(text.find('.'), std::string::npos) << text;
    } else {
      ASSERT_LE(std::fabs(back - degrees), 0.5) << text;
    }
  }
}

}  // namespace

// corvelle-gcvt-compare: checks the portable FormatDoubleLikeGcvt (4
// significant digits, as the cold port temperature is shown) against the C
// runtime's own conversions, run on Windows or under Wine.
//
// Two comparisons, on what both sides define the same way:
//  (a) the rounding: the significant digits, the decimal point position and
//      the sign of our text against _ecvt(value, 4) for every value;
//  (b) the whole text against _gcvt(value, 4) where the documented _gcvt
//      rules and printf's "%g" (which some runtimes use for _gcvt) give the
//      same text: a fraction digit remains in fixed notation between 0.1 and
//      1000, or in the mantissa of the exponent notation from 1e4 up.
// Elsewhere the runtimes differ among themselves ("25." or "25", and where
// exponent notation starts below 0.1), so those texts are counted, not
// compared. Exits non-zero on any mismatch.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "protocol/number_text.h"

namespace {

constexpr int kDigits = 4;

struct Rounded {
  std::string digits;  // exactly kDigits significant digits
  int decimalPoint;    // position of the point relative to the digits
  bool negative;
};

Rounded FromRuntime(double value) {
  int decimalPoint = 0;
  int sign = 0;
  const char* digits = _ecvt(value, kDigits, &decimalPoint, &sign);
  return {digits, decimalPoint, sign != 0};
}

// Reads the digits and point position back out of a text in either notation.
bool FromText(const std::string& text, Rounded* out) {
  std::string body = text;
  out->negative = !body.empty() && body[0] == '-';
  if (out->negative) body.erase(0, 1);
  const auto e = body.find('e');
  std::string mantissa = body.substr(0, e);
  const auto point = mantissa.find('.');
  std::string integral = mantissa.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : mantissa.substr(point + 1);
  if (integral.empty()) return false;
  if (e != std::string::npos) {
    const int exponent = std::atoi(body.c_str() + e + 1);
    out->digits = integral + fraction;
    out->decimalPoint = exponent + static_cast<int>(integral.size());
  } else if (integral == "0") {
    std::size_t zeros = 0;
    while (zeros < fraction.size() && fraction[zeros] == '0') ++zeros;
    out->digits = fraction.substr(zeros);
    out->decimalPoint = -static_cast<int>(zeros);
    if (out->digits.empty()) out->decimalPoint = 0;  // zero itself
  } else {
    out->digits = integral + fraction;
    out->decimalPoint = static_cast<int>(integral.size());
  }
  if (out->digits.size() > static_cast<std::size_t>(kDigits)) return false;
  out->digits.append(static_cast<std::size_t>(kDigits) - out->digits.size(), '0');
  return true;
}

// Where the documented rules and "%g" agree; see the top of the file.
bool TextsComparable(const Rounded& r) {
  std::size_t significant = r.digits.find_last_not_of('0');
  if (significant == std::string::npos) return false;  // zero
  significant += 1;
  const bool fixedWithFraction = r.decimalPoint >= 0 && r.decimalPoint <= 3 &&
                                 significant > static_cast<std::size_t>(r.decimalPoint);
  const bool exponentWithFraction = r.decimalPoint >= 5 && significant > 1;
  return fixedWithFraction || exponentWithFraction;
}

std::vector<double> Values() {
  std::vector<double> values;
  // Every temperature a cold port reply can carry, computed as the decoder does.
  for (int tenths = -32768; tenths <= 32767; ++tenths) values.push_back(tenths / 10.0);
  // Ties that the rounding has to break, and the edges of the notations.
  const double chosen[] = {1234.5, -1234.5, 9999.5,  99.995,    0.15,   0.25,    0.125,
                           12.125, 1.0625,  -1.0625, 999.95,    9.9995, 0.99995, 0.099995,
                           10000,  12345,   99995,   123456789, 1e21,   -2.5e7,  0.1,
                           0.0999, 0.001,   1e-4,    1.2345e-5, 1e-10,  5e-324,  1.7e308,
                           0.0,    1000,    100,     25,        -5.2,   3276.7,  -3276.8};
  values.insert(values.end(), std::begin(chosen), std::end(chosen));
  // Random values over many magnitudes, from a fixed seed so runs repeat.
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 9);
  for (int i = 0; i < 4000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 2) value = -value;
    values.push_back(value);
  }
  // Random values with few decimals, where exact ties are common.
  std::uniform_int_distribution<int> small(-200000, 200000);
  for (int i = 0; i < 2000; ++i) values.push_back(small(random) / 8.0);
  return values;
}

}  // namespace

int main() {
  int roundingCompared = 0;
  int textsCompared = 0;
  int textsOnlyCounted = 0;
  int mismatches = 0;
  for (const double value : Values()) {
    const std::string ours = FormatDoubleLikeGcvt(value, kDigits);
    const Rounded runtime = FromRuntime(value);
    Rounded parsed{};
    ++roundingCompared;
    if (!FromText(ours, &parsed) || parsed.digits != runtime.digits ||
        (value != 0.0 && parsed.decimalPoint != runtime.decimalPoint) ||
        parsed.negative != runtime.negative) {
      if (++mismatches <= 20) {
        std::printf("rounding differs for %.17g: ours '%s', _ecvt '%s' point %d%s\n", value,
                    ours.c_str(), runtime.digits.c_str(), runtime.decimalPoint,
                    runtime.negative ? " negative" : "");
      }
      continue;
    }
    if (!TextsComparable(runtime)) {
      ++textsOnlyCounted;
      continue;
    }
    char buffer[64];
    const std::string theirs = _gcvt(value, kDigits, buffer);
    ++textsCompared;
    if (ours != theirs && ++mismatches <= 20) {
      std::printf("text differs for %.17g: ours '%s', _gcvt '%s'\n", value, ours.c_str(),
                  theirs.c_str());
    }
  }
  std::printf(
      "gcvt: %d values compared on rounding, %d on the whole text, %d texts not "
      "comparable; %d mismatches\n",
      roundingCompared, textsCompared, textsOnlyCounted, mismatches);
  return mismatches == 0 ? 0 : 1;
}

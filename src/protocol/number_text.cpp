#include "protocol/number_text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Exact decimal digits of a finite, non-zero |value|, at least `count` of them
// (truncated, not rounded), and the position of the decimal point relative to
// the first digit: value = 0.d1d2d3... * 10^decimalPoint.
struct DecimalDigits {
  std::string digits;
  int decimalPoint;
};

DecimalDigits ExactDigits(double magnitude, int count) {
  // to_chars with an explicit precision is correctly rounded at the last digit
  // it prints; printing far more digits than needed makes that rounding
  // unable to reach the digits we keep for any double in practice.
  char buffer[128];
  const int precision = count + 40;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, precision);
  const std::string text(buffer, result.ptr);
  const auto ePos = text.find('e');
  std::string digits;
  for (std::size_t i = 0; i < ePos; ++i) {
    if (IsDecimalDigit(text[i])) digits.push_back(text[i]);
  }
  const int exponent = std::stoi(text.substr(ePos + 1));
  return {digits, exponent + 1};
}

// Skips leading white space and one sign, as the C conversions do.
const char* SkipBlanksAndSign(const char* p, bool* negative) {
  while (IsCSpace(*p)) ++p;
  *negative = (*p == '-');
  if (*p == '+' || *p == '-') ++p;
  return p;
}

}  // namespace

int ParseIntLikeAtoi(const char* text) {
  bool negative = false;
  const char* p = SkipBlanksAndSign(text, &negative);
  // The magnitude stops growing just past INT_MAX, which is enough to tell
  // INT_MIN from an overflow in either direction.
  std::int64_t value = 0;
  for (; IsDecimalDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<std::int64_t>(INT_MAX) + 1)
      value = static_cast<std::int64_t>(INT_MAX) + 1;
  }
  if (negative) return value > INT_MAX ? INT_MIN : -static_cast<int>(value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

std::string FormatIntLikePrintf(int value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

ParsedDouble ParseDoubleLikeStrtod(const char* text) {
  bool negative = false;
  const char* p = SkipBlanksAndSign(text, &negative);
  // Collect the mantissa and exponent into a plain "ddd.ddde[-]ddd" text that
  // from_chars reads the same way on every platform and in every locale.
  std::string number;
  int mantissaDigits = 0;
  int significantPosition = 0;  // decimal exponent of the first non-zero digit, plus one
  bool seenNonZero = false;
  bool seenPoint = false;
  for (;; ++p) {
    if (IsDecimalDigit(*p)) {
      ++mantissaDigits;
      if (*p != '0' && !seenNonZero) seenNonZero = true;
      if (!seenPoint && seenNonZero) ++significantPosition;
      if (seenPoint && !seenNonZero) --significantPosition;
      number.push_back(*p);
    } else if (*p == '.' && !seenPoint) {
      seenPoint = true;
      number.push_back('.');
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return {false, 0.0};

  long exponent = 0;
  if ((*p == 'e' || *p == 'E') &&
      (IsDecimalDigit(p[1]) || ((p[1] == '+' || p[1] == '-') && IsDecimalDigit(p[2])))) {
    ++p;
    const bool negativeExponent = (*p == '-');
    if (*p == '+' || *p == '-') ++p;
    for (; IsDecimalDigit(*p); ++p) {
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
    }
    if (negativeExponent) exponent = -exponent;
    number += 'e';
    number += std::to_string(exponent);
  }

  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const bool overflow = seenNonZero && significantPosition + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return {true, negative ? -value : value};
}

std::optional<double> ParsePlainDecimal(const char* text) {
  const char* begin = text;
  while (IsCSpace(*begin)) ++begin;
  const char* end = begin + std::strlen(begin);
  while (end > begin && IsCSpace(end[-1])) --end;
  const char* p = begin;
  if (p < end && (*p == '+' || *p == '-')) ++p;
  int digits = 0;
  int points = 0;
  for (; p < end; ++p) {
    if (IsDecimalDigit(*p)) {
      ++digits;
    } else if (*p == '.') {
      ++points;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1) return std::nullopt;
  return ParseDoubleLikeStrtod(std::string(begin, end).c_str()).value;
}

std::string FormatDoubleLikeGcvt(double value, int digits) {
  if (digits < 1) digits = 1;
  if (digits > 40) digits = 40;
  if (std::isnan(value)) return "nan";
  const bool negative = std::signbit(value);
  if (std::isinf(value)) return negative ? "-inf" : "inf";

  const double magnitude = std::fabs(value);
  std::string kept;
  int decimalPoint = 0;  // zero is "0.000..." with its point before the first digit
  if (magnitude == 0.0) {
    kept.assign(static_cast<std::size_t>(digits), '0');
  } else {
    DecimalDigits exact = ExactDigits(magnitude, digits + 1);
    kept = exact.digits.substr(0, static_cast<std::size_t>(digits));
    decimalPoint = exact.decimalPoint;
    if (exact.digits[static_cast<std::size_t>(digits)] >= '5') {
      int i = digits - 1;
      while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') {
        kept[static_cast<std::size_t>(i)] = '0';
        --i;
      }
      if (i >= 0) {
        ++kept[static_cast<std::size_t>(i)];
      } else {
        kept.insert(kept.begin(), '1');
        kept.pop_back();
        ++decimalPoint;
      }
    }
  }

  std::string out = negative ? "-" : "";
  const int exponent10 = decimalPoint - 1;
  bool hasPoint = false;
  if (exponent10 < -1 || exponent10 > digits - 1) {
    out += kept[0];
    if (digits > 1) {
      out += '.';
      out.append(kept, 1, std::string::npos);
      hasPoint = true;
    }
    const std::size_t mantissaEnd = out.size();
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "e%c%03d", exponent10 < 0 ? '-' : '+',
                  exponent10 < 0 ? -exponent10 : exponent10);
    std::string tail = exponentText;
    if (hasPoint) {
      std::size_t end = mantissaEnd;
      while (out[end - 1] == '0') --end;
      out.resize(end);
    }
    return out + tail;
  }

  const int decimals = digits - decimalPoint;
  if (decimalPoint <= 0) {
    out += '0';
  } else {
    out.append(kept, 0, static_cast<std::size_t>(decimalPoint));
  }
  if (decimals > 0) {
    out += '.';
    out.append(kept, static_cast<std::size_t>(decimalPoint > 0 ? decimalPoint : 0),
               std::string::npos);
    while (out.back() == '0') out.pop_back();
  }
  return out;
}

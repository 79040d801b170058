// Models of the wire format and of the number texts, written from the frame
// layout and the Windows C runtime's documented behaviour rather than from the
// program's code: the expected values of the fuzz targets and of the soak test.
#ifndef CORVELLE_TESTS_SUPPORT_WIRE_MODEL_H
#define CORVELLE_TESTS_SUPPORT_WIRE_MODEL_H

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace wire_model {

// _gcvt's layout applied to the digits glibc prints, with exact halves
// rounded away from zero as the Windows runtime does.
inline std::string Gcvt(double value, int digits) {
  char wide[128];
  std::snprintf(wide, sizeof wide, "%.60e", std::fabs(value));
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, std::fabs(value));
  // Detect an exact tie from the long expansion: digit `digits` is 5 and
  // everything after it is zero.
  std::string mantissa;
  for (const char* p = wide; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') mantissa += *p;
  }
  const bool tie =
      mantissa[static_cast<std::size_t>(digits)] == '5' &&
      mantissa.find_first_not_of('0', static_cast<std::size_t>(digits) + 1) == std::string::npos;
  std::string digitsText;
  for (const char* p = text; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digitsText += *p;
  }
  int printedExponent = std::atoi(std::strchr(text, 'e') + 1);
  // glibc rounds an exact tie to even; when that went down, take it up.
  if (tie && digitsText == mantissa.substr(0, static_cast<std::size_t>(digits))) {
    int i = digits - 1;
    while (i >= 0 && digitsText[static_cast<std::size_t>(i)] == '9')
      digitsText[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
      ++digitsText[static_cast<std::size_t>(i)];
    } else {
      digitsText.insert(digitsText.begin(), '1');
      digitsText.pop_back();
      ++printedExponent;
    }
    std::snprintf(text, sizeof text, "%c.%se%d", digitsText[0], digitsText.substr(1).c_str(),
                  printedExponent);
  }
  const int exponent = value == 0.0 ? -1 : printedExponent;
  std::string out = std::signbit(value) ? "-" : "";
  if (exponent < -1 || exponent > digits - 1) {
    out += digitsText.substr(0, 1);
    if (digits > 1) {
      std::string frac = digitsText.substr(1);
      while (!frac.empty() && frac.back() == '0') frac.pop_back();
      out += "." + frac;
    }
    char e[16];
    std::snprintf(e, sizeof e, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + e;
  }
  // Fixed notation: the same digits with the point after exponent+1 of them.
  std::string f = exponent < 0 ? "0." + digitsText
                               : digitsText.substr(0, static_cast<std::size_t>(exponent) + 1);
  if (exponent >= 0 && exponent < digits - 1)
    f += "." + digitsText.substr(static_cast<std::size_t>(exponent) + 1);
  if (f.find('.') != std::string::npos) {
    while (f.back() == '0') f.pop_back();
  }
  return out + f;
}

// The setting frame for device `code`: 'D', the code, the range word (max,
// or max + min with the "-" sign), the min word (its magnitude, bit 15 for
// "-"), 01 00 00 00 00. Only the low 16 bits of each number go out.
inline std::array<std::uint8_t, 11> SettingFrame(std::uint8_t code, int max, int min,
                                                 bool negative) {
  const unsigned low16max = static_cast<unsigned>(max) % 65536u;
  const unsigned low16min = static_cast<unsigned>(min) % 65536u;
  const unsigned range = negative ? (low16max + low16min) % 65536u : low16max;
  const unsigned minWord = negative ? (low16min | 0x8000u) : low16min;
  return {'D',
          code,
          static_cast<std::uint8_t>(range / 256),
          static_cast<std::uint8_t>(range % 256),
          static_cast<std::uint8_t>(minWord / 256),
          static_cast<std::uint8_t>(minWord % 256),
          1,
          0,
          0,
          0,
          0};
}

// What a setting reply says: the range and min words keep their low 12 bits,
// bit 7 of byte 4 marks the min as negative, and then the max is the range
// less the min's magnitude.
struct SettingReply {
  int code;
  bool negative;
  long max;
  unsigned magnitude;
};
inline SettingReply ReadSetting(const std::uint8_t* bytes) {
  const bool negative = bytes[4] >> 7;
  const unsigned range = ((bytes[2] << 8) | bytes[3]) % 4096u;
  const unsigned magnitude = ((bytes[4] << 8) | bytes[5]) % 4096u;
  const long max = negative ? static_cast<long>(range) - static_cast<long>(magnitude) : range;
  return {bytes[1], negative, max, magnitude};
}

// The cold port temperature of a reply, in tenths: a signed 16-bit word.
inline int ColdPortTenths(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
}

}  // namespace wire_model

#endif

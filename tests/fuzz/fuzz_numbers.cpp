// The number/text conversions against models built on the C library.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "protocol/number_text.h"

namespace {

int ModelAtoi(const std::string& text) {
  static const std::regex number(R"(^[ \t\n\v\f\r]*([+-]?\d+))");
  std::smatch match;
  if (!std::regex_search(text, match, number)) return 0;
  errno = 0;
  const long long value = std::strtoll(match[1].str().c_str(), nullptr, 10);
  if (errno == ERANGE) return match[1].str()[0] == '-' ? INT_MIN : INT_MAX;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// _gcvt's layout applied to the digits glibc prints, with exact halves
// rounded away from zero as the Windows runtime does.
std::string ModelGcvt(double value, int digits) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  const int parsed = ParseIntLikeAtoi(text.c_str());
  FUZZ_CHECK(parsed == ModelAtoi(text));
  char printed[16];
  std::snprintf(printed, sizeof printed, "%i", parsed);
  FUZZ_CHECK(FormatIntLikePrintf(parsed) == printed);

  if (size >= 9) {
    double value;
    std::memcpy(&value, data, sizeof value);
    const int digits = 1 + data[8] % 17;
    if (std::isfinite(value)) {
      const std::string ours = FormatDoubleLikeGcvt(value, digits);
      const std::string model = ModelGcvt(value, digits);
      if (ours != model)
        std::fprintf(stderr, "%.17g/%d: '%s' vs '%s'\n", value, digits, ours.c_str(),
                     model.c_str());
      FUZZ_CHECK(ours == model);
    }
  }
  return 0;
}

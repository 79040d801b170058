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
#include "tests/support/wire_model.h"

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
      const std::string model = wire_model::Gcvt(value, digits);
      if (ours != model)
        std::fprintf(stderr, "%.17g/%d: '%s' vs '%s'\n", value, digits, ours.c_str(),
                     model.c_str());
      FUZZ_CHECK(ours == model);
    }
  }
  return 0;
}

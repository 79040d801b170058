// Conversions between numbers and the texts typed into and shown in the window.
// Each one reproduces the C runtime function the window's fields were designed
// around, but is written out here so that Windows and Linux give the same
// result byte for byte and no input can reach undefined behaviour.
#ifndef CORVELLE_PROTOCOL_NUMBER_TEXT_H
#define CORVELLE_PROTOCOL_NUMBER_TEXT_H

#include <optional>
#include <string>

// '0' to '9' only, whatever the locale.
inline bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

// Like atoi: skips leading white space, takes an optional sign and the digits
// that follow, and stops at the first other character. No digits gives 0. A
// value beyond the 32-bit range saturates instead of overflowing.
int ParseIntLikeAtoi(const char* text);

// Like printf's "%i".
std::string FormatIntLikePrintf(int value);

struct ParsedDouble {
  bool found;    // false when the text holds no number at all; value is then 0.0
  double value;  // +-infinity when the number is too large for a double
};

// Like strtod in the C locale, limited to decimal notation: leading white
// space, optional sign, digits with an optional point, optional exponent.
// Conversion stops at the first character that does not belong to the number.
ParsedDouble ParseDoubleLikeStrtod(const char* text);

// A number typed as a plain decimal and nothing else: white space at either
// end, an optional sign, digits with at most one decimal point, and at least
// one digit. Empty for anything else (a decimal comma, letters, an exponent,
// hex, a second point, an empty text), so that a half-typed or mistyped entry
// is refused rather than read as the number it happens to start with.
std::optional<double> ParsePlainDecimal(const char* text);

// Like the Windows runtime's _gcvt with `digits` significant digits: rounded
// half away from zero; fixed notation when the decimal exponent lies between
// -1 and digits-1, else exponent notation with a sign and at least three
// exponent digits; trailing zeros of the fraction dropped but the point kept
// ("25." for 25.0, "5.e-002" for 0.05, "1000" for 1000.0 with 4 digits).
// `digits` is clamped to 1..40.
std::string FormatDoubleLikeGcvt(double value, int digits);

#endif

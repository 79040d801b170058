// UTF-8 <-> UTF-16 at the Win32 boundary. The core speaks UTF-8 and the W
// functions UTF-16; the serial primitives and the dialog both convert here.
#ifndef CORVELLE_WIN32_WIDE_TEXT_H
#define CORVELLE_WIN32_WIDE_TEXT_H

#include <string>

// Invalid UTF-8 becomes U+FFFD; an empty or null text gives an empty string.
std::wstring WideFromUtf8(const char* text);

// `length` UTF-16 units of `text`; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(const wchar_t* text, int length);

#endif

// How a front end hands a control's text to the core: cut to the caller's
// buffer between characters, never inside one, and always terminated.
#ifndef CORVELLE_VIEW_TEXT_CUT_H
#define CORVELLE_VIEW_TEXT_CUT_H

#include <cstring>
#include <string>

// The longest prefix of `utf8` that fits `bufferSize` bytes with its zero
// terminator and does not end inside a multi-byte sequence, copied into
// `buffer`. Does nothing when bufferSize is not positive. Returns whether the
// copy is the whole text: not when it was cut, nor when the text holds a NUL
// character, where the copy would end as a C string and read short.
inline bool CopyUtf8Cut(const std::string& utf8, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return utf8.empty();
  std::size_t n = utf8.size();
  if (n > static_cast<std::size_t>(bufferSize - 1)) {
    n = static_cast<std::size_t>(bufferSize - 1);
    // The byte just past the cut continues a sequence: drop that sequence whole.
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, utf8.data(), n);
  buffer[n] = '\0';
  return n == utf8.size() && utf8.find('\0') == std::string::npos;
}

#endif

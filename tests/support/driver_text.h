// How texts travel in the lines between the end-to-end suite and the Windows
// driver (tests/e2e/windows/window_driver.cpp): \r, \n and \\ stand for
// themselves, \xNN for any other control byte. Written once for both sides.
#ifndef CORVELLE_TESTS_SUPPORT_DRIVER_TEXT_H
#define CORVELLE_TESTS_SUPPORT_DRIVER_TEXT_H

#include <cstdio>
#include <string>

namespace driver_text {

inline std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

inline std::string Unescape(const std::string& text) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'r') {
      out += '\r';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == 'x' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
               hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += next;
    }
  }
  return out;
}

}  // namespace driver_text

#endif

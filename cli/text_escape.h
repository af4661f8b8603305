// Showing token and statement texts on one line.
#pragma once

#include <string>

namespace kxsql::cli {

// Escapes control characters: \n, \r, \t, \\ and \xHH for the others.
inline std::string EscapeControls(const char* text, std::size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

}  // namespace kxsql::cli

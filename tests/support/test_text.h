// Helpers shared by the tests: 16-bit copies of 8-bit literals, and text
// of 16- or 32-bit units as the bytes of a file.
#pragma once

#include <string>
#include <vector>

#include "kxsql.h"

namespace kxsql::testing {

// A 16-bit copy of UTF-8 text.
inline std::u16string Wide(const std::string& text) {
  CKXStringW w = KXWiden(text.data(), text.size());
  return std::u16string(reinterpret_cast<const char16_t*>(w.GetString()), w.GetLength());
}
inline const unsigned short* Units(const std::u16string& text) {
  return reinterpret_cast<const unsigned short*>(text.c_str());
}
inline std::string Narrow(const unsigned short* text) {
  CKXStringA a = KXNarrow(text);
  return std::string(a.GetString(), a.GetLength());
}
inline std::string Narrow(const char* text) { return text ? std::string(text) : std::string(); }

// Text of `width` T built from UTF-8 test input; keeps the storage alive.
template <class T>
struct Text;
template <>
struct Text<char> {
  explicit Text(const std::string& utf8) : storage(utf8) {}
  const char* c_str() const { return storage.c_str(); }
  std::string storage;
};
template <>
struct Text<unsigned short> {
  explicit Text(const std::string& utf8) : storage(Wide(utf8)) {}
  const unsigned short* c_str() const { return Units(storage); }
  std::u16string storage;
};

// The bytes of 16- or 32-bit units in the byte order asked for.
template <class Unit>
std::string InOrder(const std::basic_string<Unit>& text, bool big_endian) {
  std::string out;
  for (const Unit unit : text)
    for (std::size_t i = 0; i < sizeof(Unit); ++i)
      out += static_cast<char>(unit >> 8 * (big_endian ? sizeof(Unit) - 1 - i : i));
  return out;
}

}  // namespace kxsql::testing

// What the fuzz targets share: a check that aborts (so that libFuzzer keeps
// the input that broke it), the input bytes as zero-terminated text, the
// DBMS types, and a source class that reads through the virtual interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kxsql.h"

// A broken property is a finding: say which and where, and abort.
#define FUZZ_CHECK(cond, what)                                                             \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "%s:%d: %s\n  failed: %s\n", __FILE__, __LINE__, what, #cond); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace kxsql::fuzz {

// Every DBMS type; an input byte picks one.
inline const DBMSTYPE* const kTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};

// A class derived from a source: the tokenizer then reads every character
// through GetChar and UngetChar instead of the source's read window.
template <class Source>
struct ThroughVirtuals : Source {
  using Source::Source;
};

// The bytes as 8-bit text, up to the first NUL (a text source ends at its
// terminator); zero-terminated.
inline std::vector<char> NarrowText(const std::uint8_t* data, std::size_t size) {
  const void* nul = std::memchr(data, 0, size);
  const std::size_t n = nul ? static_cast<const std::uint8_t*>(nul) - data : size;
  std::vector<char> text(data, data + n);
  text.push_back(0);
  return text;
}

// Pairs of bytes as 16-bit units (host order), up to the first zero unit; an
// odd last byte is dropped. Zero-terminated.
inline std::vector<unsigned short> UnitText(const std::uint8_t* data, std::size_t size) {
  std::vector<unsigned short> text;
  text.reserve(size / 2 + 1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    unsigned short unit;
    std::memcpy(&unit, data + i, 2);
    if (unit == 0) break;
    text.push_back(unit);
  }
  text.push_back(0);
  return text;
}

// Each byte as one 16-bit unit, up to the first NUL: the same SQL as
// NarrowText in the other width. Zero-terminated.
inline std::vector<unsigned short> WidenedText(const std::vector<char>& narrow) {
  std::vector<unsigned short> text;
  text.reserve(narrow.size());
  for (char c : narrow) text.push_back(static_cast<unsigned char>(c));
  return text;
}

// Only ASCII characters: the same script in 8-bit text, in 16-bit text and
// in a UTF-8 file.
inline bool IsAscii(const std::vector<char>& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

template <class T>
bool SameToken(const SQLToken<T>& a, const SQLToken<T>& b) {
  return a.GetType().GetCode() == b.GetType().GetCode() && a.GetLength() == b.GetLength() &&
         std::memcmp(a.GetText(), b.GetText(), a.GetLength() * sizeof(T)) == 0;
}

}  // namespace kxsql::fuzz

// Where the tokenizer's tokens end, found in memory rather than character by
// character: for the splitter's run-based path, which walks the source's read
// window as pointers. Each function starts at a token's first character `p`
// (of the kind it is named after), inside [p, end), and returns the end of the
// token, or null when the token might go on past `end`, or when where it ends
// depends on a character beyond `end`. The tokenizer itself then cuts that
// token, reading on through the source (the next chunk of a file, or the end
// of a text).
#pragma once

#include <cstdint>
#include <cstring>

#include "lexer/byte_classes.h"

namespace kxsql::detail {

// The first `c` in [p, end), or null.
inline const char* FindChar(const char* p, const char* end, char c) noexcept {
  return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
}
// 16-bit text four units at a time: a unit equal to `c` is a zero unit of
// the word XOR four copies of `c`, and the lowest flagged unit is always a
// true zero (a borrow only runs upwards from one).
inline const unsigned short* FindChar(const unsigned short* p, const unsigned short* end, unsigned short c) noexcept {
  constexpr std::uint64_t kOnes = 0x0001000100010001ull;
  constexpr std::uint64_t kHigh = 0x8000800080008000ull;
  const std::uint64_t pattern = kOnes * c;
  while (end - p >= 4) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const std::uint64_t x = word ^ pattern;
    const std::uint64_t zero = (x - kOnes) & ~x & kHigh;
    if (zero != 0) {
      // The units stand in memory order within the word on a little-endian machine.
      if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) return p + __builtin_ctzll(zero) / 16;
      break;
    }
    p += 4;
  }
  for (; p < end; ++p)
    if (*p == c) return p;
  return nullptr;
}

// A word: a letter or `_`, then letters, digits and `_`.
template <class T>
KXCOM_ALWAYS_INLINE const T* WordEnd(const ByteClasses<T>& classes, const T* p, const T* end) noexcept {
  ++p;
  while (p < end && classes.ContinuesWord(*p)) ++p;
  return p < end ? p : nullptr;
}

// A run of spaces and tabs.
template <class T>
KXCOM_ALWAYS_INLINE const T* BlankEnd(const T* p, const T* end) noexcept {
  ++p;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p < end ? p : nullptr;
}

// Characters that are tokens of their own, as many as follow each other
// (at least the one at `p`); such a token never needs the next character.
template <class T>
KXCOM_ALWAYS_INLINE const T* SinglesEnd(const ByteClasses<T>& classes, const T* p, const T* end) noexcept {
  ++p;
  while (p < end && classes.Of(*p) == ByteClass::kSingle) ++p;
  return p;
}

// A quoted string or name: up to the closing quote that is not doubled; the
// character after it must be seen to know that it is not.
template <class T>
inline const T* QuotedEnd(const T* p, const T* end, T quote) noexcept {
  const T* q = p + 1;
  for (;;) {
    q = FindChar(q, end, quote);
    if (q == nullptr || q + 1 >= end) return nullptr;
    if (q[1] != quote) return q + 1;
    q += 2;
  }
}

// A `--` comment, up to the line end, which is not part of it.
template <class T>
inline const T* LineCommentEnd(const T* p, const T* end) noexcept {
  for (p += 2; p < end; ++p)
    if (*p == '\n' || *p == '\r') return p;
  return nullptr;
}

// A `/*` comment, up to the first `*/` after the opening two characters
// (comments do not nest, and `/*/` is still open).
template <class T>
inline const T* BlockCommentEnd(const T* p, const T* end) noexcept {
  const T* q = p + 2;
  for (;;) {
    q = FindChar(q, end, static_cast<T>('*'));
    if (q == nullptr || q + 1 >= end) return nullptr;
    if (q[1] == '/') return q + 2;
    ++q;
  }
}

}  // namespace kxsql::detail

// The length of zero-terminated 16-bit text, found four units at a time: a
// source opening on a whole script takes it, as strlen does for 8-bit text.
#include <cstdint>

#include "kxcom/kxstring.h"

namespace {

// A word read over the units of the text, which the compiler may not
// assume to be distinct from them.
typedef std::uint64_t __attribute__((may_alias)) Word;

}  // namespace

// Whole aligned words are read, which never reach into another page, so the
// word holding the terminator may be read past it, as strlen does. The
// address sanitizer is told, since that word can end past the text's block.
__attribute__((no_sanitize("address"))) std::size_t KXLength(const unsigned short* text) noexcept {
  if (text == nullptr) return 0;
  constexpr std::uint64_t kOnes = 0x0001000100010001ull;
  constexpr std::uint64_t kHigh = 0x8000800080008000ull;
  const unsigned short* p = text;
  while ((reinterpret_cast<std::uintptr_t>(p) & (sizeof(Word) - 1)) != 0) {
    if (*p == 0) return static_cast<std::size_t>(p - text);
    ++p;
  }
  const Word* w = reinterpret_cast<const Word*>(p);
  // A zero unit sets its high bit in (v - ones) & ~v; the first one flagged
  // is a true zero.
  while (((*w - kOnes) & ~*w & kHigh) == 0) ++w;
  p = reinterpret_cast<const unsigned short*>(w);
  while (*p != 0) ++p;
  return static_cast<std::size_t>(p - text);
}

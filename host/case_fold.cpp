// Case-insensitive comparison of 8-bit (UTF-8) and 16-bit (UTF-16) text.
#include <cstdint>
#include <memory>

#include "kxcom/kxstring.h"
#include "locale_choice.h"

namespace {

// Lower-case of every code point of the Basic Multilingual Plane, built once
// from the locale. ASCII letters fold as ASCII whatever the locale says, so
// that keywords are recognised under every locale (Turkish folds I to a
// dotless i).
class FoldTable {
 public:
  static const FoldTable& Get() noexcept {
    static const FoldTable table;
    return table;
  }
  std::uint32_t Fold(std::uint32_t c) const noexcept {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return c < 0x10000 ? lower_[c] : c;
  }

 private:
  FoldTable() noexcept : lower_(new (std::nothrow) std::uint16_t[0x10000]) {
    if (!lower_) {
      static std::uint16_t identity[0x10000];
      for (std::uint32_t c = 0; c < 0x10000; ++c) identity[c] = static_cast<std::uint16_t>(c);
      lower_ = identity;
      return;
    }
    const std::locale locale = kxcom::detail::WideClassificationLocale();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      std::uint32_t folded = c;
      const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
      if (c >= 0x80 && !surrogate) {
        const auto lower = static_cast<std::uint32_t>(ctype.tolower(static_cast<wchar_t>(c)));
        // A non-ASCII letter never folds into ASCII: that would let, say, a
        // dotted capital I match the keyword IF.
        if (lower >= 0x80 && lower < 0x10000 && !(lower >= 0xD800 && lower <= 0xDFFF)) folded = lower;
      }
      lower_[c] = static_cast<std::uint16_t>(folded);
    }
  }
  std::uint16_t* lower_;
};

// Next code point of UTF-8 text; an invalid byte stands for itself, placed
// beyond Unicode so that it never equals a real character.
std::uint32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) noexcept {
  const unsigned char b0 = *p++;
  if (b0 < 0x80) return b0;
  int extra = 0;
  std::uint32_t c = 0;
  std::uint32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) { extra = 1; c = b0 & 0x1F; min = 0x80; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) { extra = 2; c = b0 & 0x0F; min = 0x800; }
  else if (b0 >= 0xF0 && b0 <= 0xF4) { extra = 3; c = b0 & 0x07; min = 0x10000; }
  else return 0x110000 + b0;
  if (end - p < extra) return 0x110000 + b0;
  for (int i = 0; i < extra; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0x110000 + b0;
  for (int i = 0; i < extra; ++i) c = (c << 6) | (p[i] & 0x3F);
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0x110000 + b0;
  p += extra;
  return c;
}

std::uint32_t NextCodePoint(const unsigned short*& p, const unsigned short* end) noexcept {
  const std::uint32_t u = *p++;
  if (u >= 0xD800 && u <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF)
    return 0x10000 + ((u - 0xD800) << 10) + (*p++ - 0xDC00);
  return u;
}

template <class T, class Unit>
int CompareFolded(const T* a, std::size_t a_len, const T* b, std::size_t b_len) noexcept {
  const Unit* pa = reinterpret_cast<const Unit*>(a);
  const Unit* pb = reinterpret_cast<const Unit*>(b);
  const Unit* ea = pa + a_len;
  const Unit* eb = pb + b_len;
  const FoldTable* table = nullptr;
  while (pa < ea && pb < eb) {
    // ASCII on both sides is the common case: keywords against words.
    if (*pa < 0x80 && *pb < 0x80) {
      std::uint32_t ca = *pa++, cb = *pb++;
      if (ca >= 'A' && ca <= 'Z') ca += 32;
      if (cb >= 'A' && cb <= 'Z') cb += 32;
      if (ca != cb) return ca < cb ? -1 : 1;
      continue;
    }
    if (!table) table = &FoldTable::Get();
    const std::uint32_t ca = table->Fold(NextCodePoint(pa, ea));
    const std::uint32_t cb = table->Fold(NextCodePoint(pb, eb));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (pa < ea) return 1;
  if (pb < eb) return -1;
  return 0;
}

}  // namespace

int KXCompareNoCase(const char* a, std::size_t a_len, const char* b, std::size_t b_len) noexcept {
  return CompareFolded<char, unsigned char>(a, a_len, b, b_len);
}

int KXCompareNoCase(const unsigned short* a, std::size_t a_len, const unsigned short* b,
                    std::size_t b_len) noexcept {
  return CompareFolded<unsigned short, unsigned short>(a, a_len, b, b_len);
}

// Conversion between 16-bit (UTF-16) and 8-bit (UTF-8) text.
#include <cstdint>

#include "kxcom/kxstring.h"

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

void AppendUtf8(CKXStringA& out, std::uint32_t c) {
  if (c < 0x80) {
    out.Append(static_cast<char>(c));
  } else if (c < 0x800) {
    out.Append(static_cast<char>(0xC0 | (c >> 6)));
    out.Append(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.Append(static_cast<char>(0xE0 | (c >> 12)));
    out.Append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.Append(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.Append(static_cast<char>(0xF0 | (c >> 18)));
    out.Append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.Append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.Append(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(CKXStringW& out, std::uint32_t c) {
  if (c < 0x10000) {
    out.Append(static_cast<unsigned short>(c));
  } else {
    c -= 0x10000;
    out.Append(static_cast<unsigned short>(0xD800 + (c >> 10)));
    out.Append(static_cast<unsigned short>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

CKXStringA KXNarrow(const unsigned short* text, std::size_t n) {
  CKXStringA out;
  out.Reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = kReplacement;  // a lone surrogate
    }
    AppendUtf8(out, u);
  }
  return out;
}

CKXStringW KXWiden(const char* text, std::size_t n) {
  CKXStringW out;
  out.Reserve(n);
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  while (p < end) {
    const unsigned char b0 = *p;
    int extra = 0;
    std::uint32_t c = 0;
    std::uint32_t min = 0;
    if (b0 < 0x80) { AppendUtf16(out, b0); ++p; continue; }
    if (b0 >= 0xC2 && b0 <= 0xDF) { extra = 1; c = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) { extra = 2; c = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 <= 0xF4) { extra = 3; c = b0 & 0x07; min = 0x10000; }
    bool valid = extra > 0 && end - p > extra;
    for (int i = 1; valid && i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) valid = false;
      else c = (c << 6) | (p[i] & 0x3F);
    }
    if (valid && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (valid) {
      AppendUtf16(out, c);
      p += extra + 1;
    } else {
      AppendUtf16(out, kReplacement);
      ++p;
    }
  }
  return out;
}

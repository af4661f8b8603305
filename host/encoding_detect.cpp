// Recognising a file's encoding from its first bytes.
#include "kxcom/encoding.h"

#include <initializer_list>

#include "text_decoder.h"

const OFENCODING OFENCODING::UTF8{1, "UTF-8", 3};
const OFENCODING OFENCODING::UTF16LE{2, "UTF-16LE", 2};
const OFENCODING OFENCODING::UTF16BE{3, "UTF-16BE", 2};
const OFENCODING OFENCODING::UTF32LE{4, "UTF-32LE", 4};
const OFENCODING OFENCODING::UTF32BE{5, "UTF-32BE", 4};
const OFENCODING OFENCODING::WINDOWS1252{6, "WINDOWS-1252", 0};
// The same code as UTF8: to a caller it is UTF-8; only its decoder differs.
const OFENCODING OFENCODING::UTF8_OR_WINDOWS1252{1, "UTF-8", 3, true};

namespace {

constexpr unsigned int kDetectBytes = 10;

bool StartsWith(const unsigned char* buf, unsigned int n, std::initializer_list<unsigned char> mark) {
  if (n < mark.size()) return false;
  unsigned int i = 0;
  for (unsigned char b : mark)
    if (buf[i++] != b) return false;
  return true;
}

// UTF-32 text below U+10000 has two zero bytes on the high side of every
// unit; U+0000 (all four zero) is not text, so it does not count.
const OFENCODING* GuessUnmarkedUtf32(const unsigned char* buf, unsigned int n) {
  const unsigned int units = n / 4;
  if (units == 0) return nullptr;
  bool le = true;
  bool be = true;
  for (unsigned int i = 0; i < units; ++i) {
    const unsigned char* u = buf + 4 * i;
    le = le && u[2] == 0 && u[3] == 0 && (u[0] | u[1]) != 0;
    be = be && u[0] == 0 && u[1] == 0 && (u[2] | u[3]) != 0;
  }
  if (le) return &OFENCODING::UTF32LE;
  if (be) return &OFENCODING::UTF32BE;
  return nullptr;
}

// ASCII-range UTF-16 text has a zero in every other byte: the high byte of
// each unit, which comes second in LE and first in BE. Text beyond Latin-1
// has no zeros, so half of the units being ASCII-range is enough; a zero on
// both sides means binary data or UTF-32, not UTF-16.
const OFENCODING* GuessUnmarkedUtf16(const unsigned char* buf, unsigned int n) {
  const unsigned int units = n / 2;
  if (units == 0) return nullptr;
  unsigned int zero_first = 0;
  unsigned int zero_second = 0;
  for (unsigned int i = 0; i < units; ++i) {
    if (buf[2 * i] == 0) ++zero_first;
    if (buf[2 * i + 1] == 0) ++zero_second;
  }
  if (zero_first == 0 && 2 * zero_second >= units) return &OFENCODING::UTF16LE;
  if (zero_second == 0 && 2 * zero_first >= units) return &OFENCODING::UTF16BE;
  return nullptr;
}

}  // namespace

const OFENCODING& OFENCODING::GetFromBuf(bool& has_bom, const unsigned char* buf, unsigned int count) noexcept {
  has_bom = false;
  const unsigned int n = buf == nullptr ? 0 : (count < kDetectBytes ? count : kDetectBytes);
  // FF FE 00 00 also begins with the UTF-16 LE mark: UTF-32 is tried first.
  if (StartsWith(buf, n, {0xEF, 0xBB, 0xBF})) { has_bom = true; return UTF8; }
  if (StartsWith(buf, n, {0xFF, 0xFE, 0x00, 0x00})) { has_bom = true; return UTF32LE; }
  if (StartsWith(buf, n, {0x00, 0x00, 0xFE, 0xFF})) { has_bom = true; return UTF32BE; }
  if (StartsWith(buf, n, {0xFF, 0xFE})) { has_bom = true; return UTF16LE; }
  if (StartsWith(buf, n, {0xFE, 0xFF})) { has_bom = true; return UTF16BE; }
  if (const OFENCODING* guess = GuessUnmarkedUtf32(buf, n)) return *guess;
  if (const OFENCODING* guess = GuessUnmarkedUtf16(buf, n)) return *guess;
  return UTF8_OR_WINDOWS1252;
}

TextDecoder* OFENCODING::CreateDecoder(unsigned int chunk_size) const noexcept {
  if (*this == UTF8) return kxcom::detail::MakeUtf8Decoder(chunk_size, legacy_fallback_);
  if (*this == UTF16LE || *this == UTF16BE) return kxcom::detail::MakeIconvDecoder(chunk_size, name_, 2);
  if (*this == UTF32LE || *this == UTF32BE) return kxcom::detail::MakeIconvDecoder(chunk_size, name_, 4);
  return kxcom::detail::MakeIconvDecoder(chunk_size, name_, 1);
}

// The tokenizer's view of a character in one table lookup, for the
// splitter's run-based path: which token a character starts inside a line
// (state 4 of the tokenizer), and whether it continues a word. The table is
// derived from the tokenizer's own classes (lexer/char_class.h) and its fixed
// codes, so both paths cut the same tokens:
//  - LF, CR, space and tab, `;`, `.`, `$`, `-`, `/`, `"`, `'` and NUL are
//    tested by code before anything else, as the tokenizer does;
//  - a letter or `_` starts a word; a letter, a digit or `_` continues one;
//  - any other character is a token of its own (OTHER).
// 8-bit text has one entry per byte. 16-bit text has the same 256 entries for
// its first units; a unit from 256 up is a word start when the tokenizer's
// table calls it a letter, else a token of its own.
#pragma once

#include <cstdint>

#include "kxcom/kxstring.h"
#include "lexer/char_class.h"

namespace kxsql::detail {

enum class ByteClass : std::uint8_t {
  kSingle,       // a token of its own: digits, operators, brackets, commas
  kWord,         // a letter or `_`
  kBlank,        // space or tab
  kLF,
  kCR,
  kSemicolon,
  kDot,
  kDollar,
  kDash,         // `-`: an operator, or a line comment with the next `-`
  kSlash,        // `/`: a terminator in the first column, an operator, or a comment with `*`
  kDoubleQuote,
  kSingleQuote,
  kNul,          // code 0: the tokenizer's end of a token that is empty
};

// The entries hold the class in the low bits and this bit for "continues a word".
constexpr std::uint8_t kContinuesWordBit = 0x80;
constexpr std::uint8_t kClassMask = 0x7F;

template <class T>
class ByteClasses {
 public:
  // Built on first use, once per width, safely under concurrent first calls.
  static const ByteClasses& Get() noexcept {
    static const ByteClasses table;
    return table;
  }

  KXCOM_ALWAYS_INLINE ByteClass Of(T c) const noexcept {
    const std::uint32_t u = CharClasses<T>::Index(c);
    if (sizeof(T) == 1 || u < 256) return static_cast<ByteClass>(low_[u] & kClassMask);
    return (chars_[u] & kLetterBit) != 0 ? ByteClass::kWord : ByteClass::kSingle;
  }
  KXCOM_ALWAYS_INLINE bool ContinuesWord(T c) const noexcept {
    const std::uint32_t u = CharClasses<T>::Index(c);
    if (sizeof(T) == 1 || u < 256) return (low_[u] & kContinuesWordBit) != 0;
    return (chars_[u] & kWordBit) != 0;
  }

 private:
  ByteClasses() noexcept : chars_(CharClasses<T>::Table()) {
    for (unsigned u = 0; u < 256; ++u) {
      const T c = static_cast<T>(u);
      ByteClass cls = kxsql::detail::StartsWord(chars_, c) ? ByteClass::kWord : ByteClass::kSingle;
      switch (u) {
        case 10: cls = ByteClass::kLF; break;
        case 13: cls = ByteClass::kCR; break;
        case ' ':
        case '\t': cls = ByteClass::kBlank; break;
        case ';': cls = ByteClass::kSemicolon; break;
        case '.': cls = ByteClass::kDot; break;
        case '$': cls = ByteClass::kDollar; break;
        case '-': cls = ByteClass::kDash; break;
        case '/': cls = ByteClass::kSlash; break;
        case '"': cls = ByteClass::kDoubleQuote; break;
        case '\'': cls = ByteClass::kSingleQuote; break;
        case 0: cls = ByteClass::kNul; break;
        default: break;
      }
      low_[u] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(cls) |
                                          (kxsql::detail::ContinuesWord(chars_, c) ? kContinuesWordBit : 0));
    }
  }

  const std::uint8_t* chars_;  // the tokenizer's table, for 16-bit units from 256 up
  std::uint8_t low_[256];
};

}  // namespace kxsql::detail

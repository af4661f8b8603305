// The tokenizer's view of a character in one table lookup, for the
// splitter's run-based path: which token a character starts inside a line
// (state 4 of the tokenizer), and whether it continues a word. The table is
// derived from the tokenizer's own classes (lexer/char_class.h) and its fixed
// codes, so both paths cut the same tokens:
//  - LF, CR, space and tab, `;`, `.`, `$`, `-`, `/`, `"`, `'` and NUL are
//    tested by code before anything else, as the tokenizer does;
//  - a letter or `_` starts a word; a letter, a digit or `_` continues one;
//  - any other character is a token of its own (OTHER).
// There is an entry for every character: 256 for 8-bit text, 65536 for
// 16-bit text, where a unit from 256 up is a word start when the tokenizer's
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
  // Built on first use, once per width, safely under concurrent first calls,
  // and kept for the process.
  static const ByteClasses& Get() noexcept {
    static const ByteClasses* const table = new ByteClasses;
    return *table;
  }

  KXCOM_ALWAYS_INLINE ByteClass Of(T c) const noexcept {
    return static_cast<ByteClass>(entries_[CharClasses<T>::Index(c)] & kClassMask);
  }
  KXCOM_ALWAYS_INLINE bool ContinuesWord(T c) const noexcept {
    return (entries_[CharClasses<T>::Index(c)] & kContinuesWordBit) != 0;
  }

 private:
  static constexpr std::uint32_t kEntries = sizeof(T) == 1 ? 256 : 65536;

  ByteClasses() noexcept {
    const std::uint8_t* const chars = CharClasses<T>::Table();
    for (std::uint32_t u = 0; u < kEntries; ++u) {
      const T c = static_cast<T>(u);
      ByteClass cls = kxsql::detail::StartsWord(chars, c) ? ByteClass::kWord : ByteClass::kSingle;
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
      entries_[u] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(cls) |
                                              (kxsql::detail::ContinuesWord(chars, c) ? kContinuesWordBit : 0));
    }
  }

  std::uint8_t entries_[kEntries];
};

}  // namespace kxsql::detail

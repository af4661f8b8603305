// Character classes of the tokenizer: which characters are letters and word
// characters. Every other class test of the tokenizer compares fixed codes.
//
// The classes come from the environment's default locale (the classic locale
// when the environment names one the machine lacks), read once per character
// width into a table, so that no character is ever classified by asking the
// locale again:
//  - ASCII: A-Z and a-z are letters; they and 0-9 are word characters, in
//    every locale.
//  - 8-bit text is UTF-8: every byte from 0x80 up is a letter (and so a word
//    character), so that a word of non-ASCII letters stays one word; under a
//    single-byte code page the locale's own classes of those bytes are used.
//  - 16-bit text: a unit from 0x80 up is a letter or a digit as the locale's
//    wide classification says (C.UTF-8 standing in for the classic locale);
//    surrogates are letters, so that characters beyond the BMP stay inside
//    words.
#pragma once

#include <cstdint>

namespace kxsql::detail {

enum CharClassBits : std::uint8_t {
  kLetterBit = 1,  // may start a word
  kWordBit = 2,    // may continue a word
};

// The class table of each width: 256 entries for 8-bit text, 65536 for
// 16-bit text. Built on first use, once per process, safely under concurrent
// first calls.
const std::uint8_t* NarrowCharClasses() noexcept;
const std::uint8_t* WideCharClasses() noexcept;

template <class T>
struct CharClasses;
template <>
struct CharClasses<char> {
  static const std::uint8_t* Table() noexcept { return NarrowCharClasses(); }
  static std::uint32_t Index(char c) noexcept { return static_cast<unsigned char>(c); }
};
template <>
struct CharClasses<unsigned short> {
  static const std::uint8_t* Table() noexcept { return WideCharClasses(); }
  static std::uint32_t Index(unsigned short c) noexcept { return c; }
};

// A letter or `_`: starts a word.
template <class T>
inline bool StartsWord(const std::uint8_t* table, T c) noexcept {
  return c == '_' || (table[CharClasses<T>::Index(c)] & kLetterBit) != 0;
}
// A letter, a digit or `_`: continues a word.
template <class T>
inline bool ContinuesWord(const std::uint8_t* table, T c) noexcept {
  return c == '_' || (table[CharClasses<T>::Index(c)] & kWordBit) != 0;
}

}  // namespace kxsql::detail

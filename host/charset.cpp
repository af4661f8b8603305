#include "kxcom/charset.h"

#include <cstddef>

namespace {

// A 16-bit copy of an ASCII literal, made at compile time.
template <std::size_t N>
struct Wide {
  unsigned short text[N];
  constexpr explicit Wide(const char (&ascii)[N]) : text{} {
    for (std::size_t i = 0; i < N; ++i) text[i] = static_cast<unsigned char>(ascii[i]);
  }
};

#define KXCOM_KEYWORDS(X)   \
  X(ALTER, "ALTER")         \
  X(BEGIN, "BEGIN")         \
  X(DROP, "DROP")           \
  X(GO, "GO")               \
  X(END, "END")             \
  X(ENABLE, "ENABLE")       \
  X(DISABLE, "DISABLE")     \
  X(FOR, "FOR")             \
  X(LOOP, "LOOP")           \
  X(IF, "IF")               \
  X(PROCEDURE, "PROCEDURE") \
  X(SELECT, "SELECT")       \
  X(TRAN, "TRAN")           \
  X(TRANSACTION, "TRANSACTION") \
  X(TRIGGER, "TRIGGER")     \
  X(WORK, "WORK")           \
  X(WHITESPACE, " \t\r\n")  \
  X(CR_STR, "\r")           \
  X(CRLF, "\r\n")           \
  X(LF_STR, "\n")

#define KXCOM_WIDE_TEXT(name, literal) constexpr Wide kWide##name(literal);
KXCOM_KEYWORDS(KXCOM_WIDE_TEXT)
#undef KXCOM_WIDE_TEXT

template <class T>
unsigned int LengthOf(const T* text) noexcept {
  unsigned int n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

}  // namespace

#define KXCOM_NARROW_MEMBER(name, literal) template <> const char* const CharSet<char>::name = literal;
#define KXCOM_WIDE_MEMBER(name, literal) \
  template <> const unsigned short* const CharSet<unsigned short>::name = kWide##name.text;
KXCOM_KEYWORDS(KXCOM_NARROW_MEMBER)
KXCOM_KEYWORDS(KXCOM_WIDE_MEMBER)

template <>
unsigned int CharSet<char>::GetLength(const char* text) noexcept {
  return LengthOf(text);
}
template <>
unsigned int CharSet<unsigned short>::GetLength(const unsigned short* text) noexcept {
  return LengthOf(text);
}

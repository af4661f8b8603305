// kxcom character sets: the keyword texts and blank characters of SQL, for
// 8-bit (`char`) and 16-bit (`unsigned short`) text.
//
// Keywords are recognised by comparing a whole token text with one of these
// constants, ignoring case:
//
//   if (token.Is(CharSet<char>::BEGIN)) { ... }
//   unsigned int n = CharSet<unsigned short>::GetLength(wide_text);
#pragma once

#include "kxcom/kxcom_export.h"

template <class T>
struct CharSet;

#define KXCOM_CHARSET_MEMBERS(T)                                                   \
  static const T* const ALTER;                                                     \
  static const T* const BEGIN;                                                     \
  static const T* const DROP;                                                      \
  static const T* const GO;                                                        \
  static const T* const END;                                                       \
  static const T* const ENABLE;                                                    \
  static const T* const DISABLE;                                                   \
  static const T* const FOR;                                                       \
  static const T* const LOOP;                                                      \
  static const T* const IF;                                                        \
  static const T* const PROCEDURE;                                                 \
  static const T* const SELECT;                                                    \
  static const T* const TRAN;                                                      \
  static const T* const TRANSACTION;                                               \
  static const T* const TRIGGER;                                                   \
  static const T* const WORK;                                                      \
  /* The blank characters that Trim removes: space, tab, carriage return, line feed. */ \
  static const T* const WHITESPACE;                                                \
  static const T* const CR_STR;                                                    \
  static const T* const CRLF;                                                      \
  static const T* const LF_STR;                                                    \
  /* Number of characters before the terminator; 0 for a null or empty text. */   \
  static unsigned int GetLength(const T* text) noexcept;

template <>
struct KXCOM_EXPORT CharSet<char> {
  KXCOM_CHARSET_MEMBERS(char)
};

template <>
struct KXCOM_EXPORT CharSet<unsigned short> {
  KXCOM_CHARSET_MEMBERS(unsigned short)
};

#undef KXCOM_CHARSET_MEMBERS

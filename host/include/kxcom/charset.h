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

/// The keywords and blank characters of SQL as zero-terminated texts of `T`
/// (`char` or `unsigned short`); each keyword constant holds the keyword of
/// its name in capitals. The texts belong to kxcom and live for the process.
template <class T>
struct KXCOM_EXPORT CharSet {
  static const T* const ALTER;        ///< "ALTER"
  static const T* const BEGIN;        ///< "BEGIN"
  static const T* const DROP;         ///< "DROP"
  static const T* const GO;           ///< "GO"
  static const T* const END;          ///< "END"
  static const T* const ENABLE;       ///< "ENABLE"
  static const T* const DISABLE;      ///< "DISABLE"
  static const T* const FOR;          ///< "FOR"
  static const T* const LOOP;         ///< "LOOP"
  static const T* const IF;           ///< "IF"
  static const T* const PROCEDURE;    ///< "PROCEDURE"
  static const T* const SELECT;       ///< "SELECT"
  static const T* const TRAN;         ///< "TRAN"
  static const T* const TRANSACTION;  ///< "TRANSACTION"
  static const T* const TRIGGER;      ///< "TRIGGER"
  static const T* const WORK;         ///< "WORK"
  /// The blank characters that a statement's Trim removes: space, tab,
  /// carriage return and line feed.
  static const T* const WHITESPACE;
  static const T* const CR_STR;       ///< a carriage return
  static const T* const CRLF;         ///< a carriage return and a line feed
  static const T* const LF_STR;       ///< a line feed

  /// Number of characters before the terminator; 0 for a null or empty text.
  static unsigned int GetLength(const T* text) noexcept;
};

// The constants are defined once, in kxcom, for the two widths.
#define KXCOM_DECLARE_CHARSET(T)                                               \
  template <> const T* const CharSet<T>::ALTER;                                \
  template <> const T* const CharSet<T>::BEGIN;                                \
  template <> const T* const CharSet<T>::DROP;                                 \
  template <> const T* const CharSet<T>::GO;                                   \
  template <> const T* const CharSet<T>::END;                                  \
  template <> const T* const CharSet<T>::ENABLE;                               \
  template <> const T* const CharSet<T>::DISABLE;                              \
  template <> const T* const CharSet<T>::FOR;                                  \
  template <> const T* const CharSet<T>::LOOP;                                 \
  template <> const T* const CharSet<T>::IF;                                   \
  template <> const T* const CharSet<T>::PROCEDURE;                            \
  template <> const T* const CharSet<T>::SELECT;                               \
  template <> const T* const CharSet<T>::TRAN;                                 \
  template <> const T* const CharSet<T>::TRANSACTION;                          \
  template <> const T* const CharSet<T>::TRIGGER;                              \
  template <> const T* const CharSet<T>::WORK;                                 \
  template <> const T* const CharSet<T>::WHITESPACE;                           \
  template <> const T* const CharSet<T>::CR_STR;                               \
  template <> const T* const CharSet<T>::CRLF;                                 \
  template <> const T* const CharSet<T>::LF_STR;                               \
  template <> unsigned int CharSet<T>::GetLength(const T* text) noexcept;

/// @cond
KXCOM_DECLARE_CHARSET(char)
KXCOM_DECLARE_CHARSET(unsigned short)
/// @endcond
#undef KXCOM_DECLARE_CHARSET

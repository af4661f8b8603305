/// @file
/// kxcom token types: the class of each token the tokenizer produces.
///
/// Types are compared by identity of their code; each carries the flags that
/// decide how a token takes part in comparison.
///
/// @code
/// if (token.GetType() == SQLTOKEN_TYPE::SEMI_COLON) { ... }
/// bool significant = SQLTOKEN_TYPE::SYMBOL.IsCompare();   // true
/// @endcode
#pragma once

#include "kxcom/kxcom_export.h"

/// The class of a token. The fourteen types are constants owned by kxcom,
/// in the order of their codes; tokens refer to them and never own them.
/// Blanks, line ends and comments are not compare types; comments are
/// IsComment; quoted strings and quoted identifiers are case-sensitive.
class KXCOM_EXPORT SQLTOKEN_TYPE {
 public:
  static const SQLTOKEN_TYPE NONE;              ///< no token
  static const SQLTOKEN_TYPE OTHER;             ///< any single character not classed below
  static const SQLTOKEN_TYPE WHITESPACE;        ///< a run of spaces and tabs
  static const SQLTOKEN_TYPE CR;                ///< one carriage return
  static const SQLTOKEN_TYPE LF;                ///< one line feed
  static const SQLTOKEN_TYPE SYMBOL;            ///< a word: a letter or `_`, then word characters
  static const SQLTOKEN_TYPE SLASH_TERMINATOR;  ///< a `/` in the first column
  static const SQLTOKEN_TYPE SEMI_COLON;        ///< `;`
  static const SQLTOKEN_TYPE SQ_STRING;         ///< '...'
  static const SQLTOKEN_TYPE DQ_STRING;         ///< "..."
  static const SQLTOKEN_TYPE MULTILINECOMMENT;  ///< /* ... */
  static const SQLTOKEN_TYPE LINECOMMENT;       ///< -- ...
  static const SQLTOKEN_TYPE DOT;               ///< `.`
  static const SQLTOKEN_TYPE DollarSign;        ///< `$`

  /// The ordered code that identifies the type.
  unsigned int GetCode() const noexcept { return code_; }
  /// True when tokens of this type take part in token-wise comparison and
  /// count as significant tokens of a statement (not blanks, line ends, comments).
  bool IsCompare() const noexcept { return compare_; }
  /// True when the text of tokens of this type compares case-sensitively
  /// (quoted strings and quoted identifiers).
  bool IsCaseSensitive() const noexcept { return case_sensitive_; }
  /// True for the two comment types.
  bool IsComment() const noexcept { return comment_; }
  /// The type's name as written above, for display.
  const char* GetName() const noexcept { return name_; }

  /// Types compare by their codes.
  ///@{
  bool operator==(const SQLTOKEN_TYPE& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const SQLTOKEN_TYPE& other) const noexcept { return code_ != other.code_; }
  bool operator<(const SQLTOKEN_TYPE& other) const noexcept { return code_ < other.code_; }
  ///@}

 private:
  constexpr SQLTOKEN_TYPE(unsigned int code, const char* name, bool compare, bool case_sensitive,
                          bool comment) noexcept
      : code_(code), compare_(compare), case_sensitive_(case_sensitive), comment_(comment),
        name_(name) {}

  unsigned int code_;
  bool compare_;
  bool case_sensitive_;
  bool comment_;
  const char* name_;
};

/// True when `mask`'s bit is set in `flags`; callers pass one-bit masks.
KXCOM_EXPORT bool IsPartFilter(unsigned long flags, unsigned long mask) noexcept;

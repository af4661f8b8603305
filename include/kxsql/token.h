/// @file
/// kxsql tokens: one lexical token of SQL text, its exact characters and its type.
///
/// Tokens come from a stream's tokenizer; concatenating the texts of all tokens
/// gives back the source text exactly.
///
/// @code
/// SQLToken<char> token;
/// while (source.GetToken(token, 0) == 0)
///   if (token.Is(CharSet<char>::BEGIN)) ++blocks;
/// @endcode
#pragma once

#include <utility>

#include "kxcom/charset.h"
#include "kxcom/kxstring.h"
#include "kxcom/token_type.h"
#include "kxsql/kxsql_export.h"

/// @cond
// Exported here too: clang fixes a specialization's visibility where it is
// first named (the friend declarations below), before stream.h and
// statement.h are read.
template <class T>
class KXSQL_EXPORT CKXSQLStreamT;
template <class T>
class KXSQL_EXPORT SQLStmtT;
namespace kxsql::detail {
template <class T>
class StatementBuilder;
}  // namespace kxsql::detail
/// @endcond

/// One token of SQL text: its exact characters and its type, a host
/// SQLTOKEN_TYPE constant that the token refers to and never owns. A small
/// value: copies own their text. `T` is `char` (UTF-8) or `unsigned short`
/// (UTF-16).
template <class T>
class KXSQL_EXPORT SQLToken {
 public:
  /// Empty text, type NONE.
  SQLToken() noexcept = default;
  /// The text is copied from the zero-terminated `text` (null reads as empty);
  /// the token refers to `type`, which it never owns.
  SQLToken(const T* text, const SQLTOKEN_TYPE& type) : text_(text), type_(&type) {}
  /// Copies (or takes) the text and the type reference.
  ///@{
  SQLToken(const SQLToken& other) = default;
  SQLToken(SQLToken&& other) noexcept = default;
  ///@}
  ~SQLToken() = default;
  /// Copies text and type reference; assigning a token to itself changes nothing.
  const SQLToken& operator=(const SQLToken& other) {
    if (this != &other) Copy(other);
    return *this;
  }
  /// Takes the other token's text and type reference.
  SQLToken& operator=(SQLToken&& other) noexcept = default;

  /// Copies text and type reference.
  void Copy(const SQLToken& other) {
    text_ = other.text_;
    type_ = other.type_;
  }
  /// Empty text, type NONE.
  void Clear() noexcept {
    text_.Empty();
    type_ = &SQLTOKEN_TYPE::NONE;
  }

  /// The text, zero-terminated; valid until the token changes.
  ///@{
  const T* GetText() const noexcept { return text_.GetString(); }
  operator const T*() const noexcept { return text_.GetString(); }  // NOLINT: part of the contract
  ///@}
  /// Number of characters (T units) in the text.
  unsigned int GetLength() const noexcept { return static_cast<unsigned int>(text_.GetLength()); }

  /// The token's type (NONE for no token).
  const SQLTOKEN_TYPE& GetType() const noexcept { return *type_; }
  /// The token's type is (is not) `type`, compared by code.
  ///@{
  bool Is(const SQLTOKEN_TYPE& type) const noexcept { return type_->GetCode() == type.GetCode(); }
  bool IsNot(const SQLTOKEN_TYPE& type) const noexcept { return !Is(type); }
  ///@}
  /// The text equals `text` ignoring case; the type is not looked at. This is
  /// how keywords are recognised: token.Is(CharSet<T>::BEGIN).
  ///@{
  bool Is(const T* text) const { return text_.CompareNoCase(text) == 0; }
  bool IsNot(const T* text) const { return !Is(text); }
  ///@}
  /// The type takes part in comparison (SQLTOKEN_TYPE::IsCompare).
  bool IsCompare() const noexcept { return type_->IsCompare(); }
  /// The type's text compares case-sensitively (SQLTOKEN_TYPE::IsCaseSensitive).
  bool IsCaseSensitive() const noexcept { return type_->IsCaseSensitive(); }

  /// Orders this token against `other`: by type code first (exactly -1 or +1
  /// when the types differ), then by text, case-insensitively unless
  /// `case_sensitive` is true or this token's type is case-sensitive. The text
  /// comparison's result is returned unchanged (negative, 0 or positive).
  int Compare(const SQLToken& other, bool case_sensitive) const;

 private:
  /// The tokenizer fills the text in place; a statement copies tokens into
  /// storage it has made room for first, or from where they stand in the
  /// source (StatementBuilder).
  friend class CKXSQLStreamT<T>;
  friend class SQLStmtT<T>;
  friend class kxsql::detail::StatementBuilder<T>;

  CKXStringT<T> text_;
  const SQLTOKEN_TYPE* type_ = &SQLTOKEN_TYPE::NONE;
};

/// @cond
extern template class SQLToken<char>;
extern template class SQLToken<unsigned short>;
/// @endcond

// SQLStmtT<T>: one statement as the splitter assembles it, with its full,
// parsed and comment-free texts.
#pragma once

#include <new>
#include <utility>

#include "kxcom/charset.h"
#include "kxsql/statement.h"
#include "statements/statement_builder.h"

namespace kxsql::detail {
// A character of CharSet<T>::WHITESPACE, the blanks that trimming removes.
template <class T>
bool IsWhitespace(T c) noexcept {
  for (const T* w = CharSet<T>::WHITESPACE; *w != 0; ++w)
    if (*w == c) return true;
  return false;
}
// The length of `text` up to its first NUL, at most `n`.
template <class T>
std::size_t LengthUpToNul(const T* text, std::size_t n) noexcept {
  std::size_t i = 0;
  while (i < n && text[i] != 0) ++i;
  return i;
}
}  // namespace kxsql::detail

template <class T>
SQLStmtT<T>::SQLStmtT() {
  Clear();
}

template <class T>
SQLStmtT<T>::SQLStmtT(const SQLStmtT& other) {
  *this = other;
}

// A move copies: the statement is reused for every statement of a script, so
// its source must keep its contents.
template <class T>
SQLStmtT<T>::SQLStmtT(SQLStmtT&& other) {
  *this = other;
}

template <class T>
SQLStmtT<T>::~SQLStmtT() = default;

template <class T>
SQLStmtT<T>& SQLStmtT<T>::operator=(const SQLStmtT& other) {
  if (this == &other) return *this;
  try {
    // A statement being built is copied with what its builder holds; the
    // builder of this one holds nothing that survives the assignment.
    if (other.m_pBuilder != nullptr) other.m_pBuilder->Flush();
    // Every copy is made before anything is replaced, so that running out of
    // memory leaves this statement as it was. What `other` still owes its
    // parsed and no-comment texts is paid in the copy.
    const std::size_t length = other.m_strText.GetLength();
    CKXStringT<T> text(other.m_strText);
    // A text the other shares with its full text is shared here too.
    CKXStringT<T> parsed;
    if (!other.m_bParsedIsText) {
      parsed = other.m_strParsedText;
      parsed.Append(other.m_strText.GetString() + other.m_nParsedFrom, length - other.m_nParsedFrom);
    }
    CKXStringT<T> no_comment;
    if (!other.m_bNoCommentIsText) {
      no_comment = other.m_strNoCommentText;
      no_comment.Append(other.m_strText.GetString() + other.m_nNoCommentFrom, length - other.m_nNoCommentFrom);
    }
    CKXStringT<T> side_effect(other.m_strSideEffect);
    CKXStringT<T> data(other.m_strData);
    SQLToken<T> first(other.m_firstToken);
    SQLToken<T> last(other.m_lastToken);
    m_strText = std::move(text);
    m_strParsedText = std::move(parsed);
    m_strNoCommentText = std::move(no_comment);
    m_nCompareTokens = other.m_nCompareTokens;
    m_nTokens = other.m_nTokens;
    m_strSideEffect = std::move(side_effect);
    m_firstToken = std::move(first);
    m_lastToken = std::move(last);
    m_nParsedFrom = length;
    m_nNoCommentFrom = length;
    m_bParsedIsText = other.m_bParsedIsText;
    m_bNoCommentIsText = other.m_bNoCommentIsText;
    m_nKind = other.m_nKind;
    m_nRepeat = other.m_nRepeat;
    m_strData = std::move(data);
    if (m_pBuilder != nullptr) m_pBuilder->Drop();
  } catch (const std::bad_alloc&) {
  }
  return *this;
}

template <class T>
SQLStmtT<T>& SQLStmtT<T>::operator=(SQLStmtT&& other) {
  const SQLStmtT& source = other;
  return *this = source;
}

template <class T>
void SQLStmtT<T>::AddToken(const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags) {
  try {
    Append(token, dbms, flags);
  } catch (const std::bad_alloc&) {
  }
  // Out of memory the token is left out, or the other two texts stay owed
  // their last part; the statement stays whole in itself either way.
  static_cast<void>(Sync());
}

template <class T>
void SQLStmtT<T>::Append(const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags) {
  AppendInline(token.text_.GetString(), token.text_.GetLength(), *token.type_, dbms, flags);
}

template <class T>
void SQLStmtT<T>::AppendText(const T* const text, const std::size_t n, const SQLTOKEN_TYPE& type,
                             const DBMSTYPE& dbms, unsigned long flags) {
  AppendInline(text, n, type, dbms, flags);
}

// The token path appends every token: its body is inlined there.
template <class T>
void SQLStmtT<T>::AppendInline(const T* const text, const std::size_t n,
                                                         const SQLTOKEN_TYPE& type, const DBMSTYPE& dbms,
                                                         unsigned long flags) {
  FlushBuilder();
  const bool to_parsed = !(((flags & SQLSTMT_SKIP_LINECOMMENT) != 0 && type == SQLTOKEN_TYPE::LINECOMMENT) ||
                           ((flags & SQLSTMT_SKIP_MULTILINECOMMENT) != 0 && type == SQLTOKEN_TYPE::MULTILINECOMMENT) ||
                           ((flags & SQLSTMT_SKIP_CR) != 0 && type == SQLTOKEN_TYPE::CR));
  const bool to_no_comment = !type.IsComment();
  const bool compare = type.IsCompare();
  const std::size_t length = m_strText.GetLength();

  // Everything that allocates happens first; the statement changes only once
  // nothing can fail any more.
  // A text that takes the token is owed it; one that leaves it out is paid
  // what it is owed so far.
  m_strText.Reserve(length + n);
  if (!to_parsed) m_strParsedText.Reserve(m_strParsedText.GetLength() + (length - m_nParsedFrom));
  if (!to_no_comment) m_strNoCommentText.Reserve(m_strNoCommentText.GetLength() + (length - m_nNoCommentFrom));
  bool new_side_effect = false;
  if (compare) {
    if (m_nCompareTokens == 0) m_firstToken.text_.Reserve(n);
    // Only the last part of a qualified name (a word right behind a dot) can
    // be a side effect such as seq.NEXTVAL.
    // The host reads the word up to its end: a token cut out of a longer
    // text (the native rules cut them so) is copied first.
    if (m_lastToken.type_->GetCode() == SQLTOKEN_TYPE::DOT.GetCode() &&
        dbms.IsPossibleSideEffect(CKXStringT<T>(text, n).GetString())) {
      m_strSideEffect.Reserve(n);
      new_side_effect = true;
    }
    m_lastToken.text_.Reserve(n);
  }

  // Within the room reserved, none of these allocates.
  ++m_nTokens;
  m_strText.Append(text, n);
  const T* const full = m_strText.GetString();
  if (!to_parsed) {
    m_strParsedText.Append(full + m_nParsedFrom, length - m_nParsedFrom);
    m_nParsedFrom = length + n;
  }
  if (!to_no_comment) {
    m_strNoCommentText.Append(full + m_nNoCommentFrom, length - m_nNoCommentFrom);
    m_nNoCommentFrom = length + n;
  }
  if (compare) {
    ++m_nCompareTokens;
    if (m_nCompareTokens == 1) {
      m_firstToken.text_.Assign(text, n);
      m_firstToken.type_ = &type;
    }
    if (new_side_effect) m_strSideEffect.Assign(text, kxsql::detail::LengthUpToNul(text, n));  // the word, as the host read it
    m_lastToken.text_.Assign(text, n);
    m_lastToken.type_ = &type;
    if (m_pBuilder != nullptr) m_pBuilder->Resync();
  }
}

template <class T>
inline void SQLStmtT<T>::FlushBuilder() {
  if (m_pBuilder != nullptr) m_pBuilder->Flush();
  if (m_bParsedIsText || m_bNoCommentIsText) Unshare();
}

template <class T>
void SQLStmtT<T>::Unshare() {
  // The copies are made before anything changes, so that running out of
  // memory leaves the statement as it was.
  CKXStringT<T> parsed(m_bParsedIsText ? m_strText : m_strParsedText);
  CKXStringT<T> no_comment(m_bNoCommentIsText ? m_strText : m_strNoCommentText);
  m_strParsedText = std::move(parsed);
  m_strNoCommentText = std::move(no_comment);
  m_bParsedIsText = m_bNoCommentIsText = false;
}

template <class T>
void SQLStmtT<T>::Settle() {
  const std::size_t length = m_strText.GetLength();
  m_strParsedText.Reserve(m_strParsedText.GetLength() + (length - m_nParsedFrom));
  m_strNoCommentText.Reserve(m_strNoCommentText.GetLength() + (length - m_nNoCommentFrom));
  const T* const full = m_strText.GetString();
  m_strParsedText.Append(full + m_nParsedFrom, length - m_nParsedFrom);
  m_nParsedFrom = length;
  m_strNoCommentText.Append(full + m_nNoCommentFrom, length - m_nNoCommentFrom);
  m_nNoCommentFrom = length;
}

template <class T>
void SQLStmtT<T>::ReleaseSpareRoom() noexcept {
  // A huge literal that was the last compare token for a while is not kept
  // twice while the statement runs.
  m_firstToken.text_.Compact();
  m_lastToken.text_.Compact();
}

template <class T>
bool SQLStmtT<T>::Sync() noexcept {
  try {
    Settle();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

template <class T>
void SQLStmtT<T>::Clear() {
  m_strText.Empty();
  m_strParsedText.Empty();
  m_strNoCommentText.Empty();
  m_nCompareTokens = 0;
  m_nTokens = 0;
  m_strSideEffect.Empty();
  m_firstToken.Clear();
  m_lastToken.Clear();
  m_nParsedFrom = 0;
  m_nNoCommentFrom = 0;
  m_nKind = KXSQL_STMT_SQL;
  m_nRepeat = 1;
  m_strData.Empty();
  m_bParsedIsText = m_bNoCommentIsText = false;
  if (m_pBuilder != nullptr) m_pBuilder->Drop();
}

template <class T>
void SQLStmtT<T>::Trim() {
  // The full text keeps its trailing blanks: a GO indented on its own line
  // leaves them there, and the runner compares texts without them anyway.
  FlushBuilder();
  // A text that has taken every token is owed the whole full text: it is
  // not copied before it is known whether the full text can stand for it.
  const bool parsed_whole = m_strParsedText.IsEmpty() && m_nParsedFrom == 0;
  const bool no_comment_whole = m_strNoCommentText.IsEmpty() && m_nNoCommentFrom == 0;
  const T* const full = m_strText.GetString();
  const std::size_t full_length = m_strText.GetLength();
  if (!parsed_whole) m_strParsedText.Reserve(m_strParsedText.GetLength() + (full_length - m_nParsedFrom));
  if (!no_comment_whole) m_strNoCommentText.Reserve(m_strNoCommentText.GetLength() + (full_length - m_nNoCommentFrom));
  if (!parsed_whole) m_strParsedText.Append(full + m_nParsedFrom, full_length - m_nParsedFrom);
  if (!no_comment_whole) m_strNoCommentText.Append(full + m_nNoCommentFrom, full_length - m_nNoCommentFrom);
  m_strText.TrimLeft(CharSet<T>::WHITESPACE);
  m_nParsedFrom = m_nNoCommentFrom = m_strText.GetLength();
  // Trimmed at both ends, such a text equals the full text when that has no
  // blank at its end: the full text then stands for it.
  const std::size_t length = m_strText.GetLength();
  const bool blank_at_end = length > 0 && kxsql::detail::IsWhitespace(m_strText[length - 1]);
  if (parsed_whole && !blank_at_end) m_bParsedIsText = true;
  else if (parsed_whole) m_strParsedText = m_strText;
  if (no_comment_whole && !blank_at_end) m_bNoCommentIsText = true;
  else if (no_comment_whole) m_strNoCommentText = m_strText;
  m_strParsedText.TrimLeft(CharSet<T>::WHITESPACE);
  m_strParsedText.TrimRight(CharSet<T>::WHITESPACE);
  m_strNoCommentText.TrimLeft(CharSet<T>::WHITESPACE);
  m_strNoCommentText.TrimRight(CharSet<T>::WHITESPACE);
}

template <class T>
void SQLStmtT<T>::RemoveLastLineEnding() {
  FlushBuilder();
  Settle();
  const std::size_t length = m_strText.GetLength();
  const T* crlf = CharSet<T>::CRLF;
  if (length >= 2 && m_strText[length - 2] == crlf[0] && m_strText[length - 1] == crlf[1]) {
    m_strText.Truncate(length - 2);
  } else if (length >= 1 &&
             (m_strText[length - 1] == CharSet<T>::CR_STR[0] || m_strText[length - 1] == CharSet<T>::LF_STR[0])) {
    // One line ending only: LF CR loses the CR and keeps the LF.
    m_strText.Truncate(length - 1);
  }
  // The other texts keep theirs; they are owed only what comes after.
  m_nParsedFrom = m_nNoCommentFrom = m_strText.GetLength();
}

template <class T>
bool SQLStmtT<T>::IsEmpty() const noexcept {
  // A text is empty when it holds nothing and is owed nothing (a text the
  // full text stands for is as empty as that).
  const std::size_t length = m_strText.GetLength();
  return m_nCompareTokens == 0 || length == 0 ||
         (!m_bParsedIsText && m_strParsedText.IsEmpty() && m_nParsedFrom == length) ||
         (!m_bNoCommentIsText && m_strNoCommentText.IsEmpty() && m_nNoCommentFrom == length);
}

template <class T>
bool SQLStmtT<T>::IsSelectStmt() const {
  return m_firstToken.Is(CharSet<T>::SELECT);
}

// SQLStmtT<T>: one statement as the splitter assembles it, with its full,
// parsed and comment-free texts.
#pragma once

#include <new>
#include <utility>

#include "kxcom/charset.h"
#include "kxsql/statement.h"

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
    // Every copy is made before anything is replaced, so that running out of
    // memory leaves this statement as it was.
    CKXStringT<T> text(other.m_strText);
    CKXStringT<T> parsed(other.m_strParsedText);
    CKXStringT<T> no_comment(other.m_strNoCommentText);
    CKXStringT<T> side_effect(other.m_strSideEffect);
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
}

template <class T>
void SQLStmtT<T>::Append(const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags) {
  const SQLTOKEN_TYPE& type = token.GetType();
  const bool to_parsed = !((IsPartFilter(flags, SQLSTMT_SKIP_LINECOMMENT) && type == SQLTOKEN_TYPE::LINECOMMENT) ||
                           (IsPartFilter(flags, SQLSTMT_SKIP_MULTILINECOMMENT) &&
                            type == SQLTOKEN_TYPE::MULTILINECOMMENT) ||
                           (IsPartFilter(flags, SQLSTMT_SKIP_CR) && type == SQLTOKEN_TYPE::CR));
  const bool to_no_comment = !type.IsComment();
  const std::size_t n = token.GetLength();

  // Everything that allocates happens first; the statement changes only once
  // nothing can fail any more.
  m_strText.Reserve(m_strText.GetLength() + n);
  if (to_parsed) m_strParsedText.Reserve(m_strParsedText.GetLength() + n);
  if (to_no_comment) m_strNoCommentText.Reserve(m_strNoCommentText.GetLength() + n);
  SQLToken<T> first;
  SQLToken<T> last;
  CKXStringT<T> side_effect;
  bool new_side_effect = false;
  if (token.IsCompare()) {
    if (m_nCompareTokens == 0) first = token;
    // Only the last part of a qualified name (a word right behind a dot) can
    // be a side effect such as seq.NEXTVAL.
    if (m_lastToken.Is(SQLTOKEN_TYPE::DOT) && dbms.IsPossibleSideEffect(token.GetText())) {
      side_effect = token.GetText();
      new_side_effect = true;
    }
    last = token;
  }

  ++m_nTokens;
  m_strText.Append(token.GetText(), n);
  if (to_parsed) m_strParsedText.Append(token.GetText(), n);
  if (to_no_comment) m_strNoCommentText.Append(token.GetText(), n);
  if (token.IsCompare()) {
    ++m_nCompareTokens;
    if (m_nCompareTokens == 1) m_firstToken = std::move(first);
    if (new_side_effect) m_strSideEffect = std::move(side_effect);
    m_lastToken = std::move(last);
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
}

template <class T>
void SQLStmtT<T>::Trim() {
  // The full text keeps its trailing blanks: a GO indented on its own line
  // leaves them there, and the runner compares texts without them anyway.
  m_strText.TrimLeft(CharSet<T>::WHITESPACE);
  m_strParsedText.TrimLeft(CharSet<T>::WHITESPACE);
  m_strParsedText.TrimRight(CharSet<T>::WHITESPACE);
  m_strNoCommentText.TrimLeft(CharSet<T>::WHITESPACE);
  m_strNoCommentText.TrimRight(CharSet<T>::WHITESPACE);
}

template <class T>
void SQLStmtT<T>::RemoveLastLineEnding() {
  const std::size_t length = m_strText.GetLength();
  const T* crlf = CharSet<T>::CRLF;
  if (length >= 2 && m_strText[length - 2] == crlf[0] && m_strText[length - 1] == crlf[1]) {
    m_strText.Truncate(length - 2);
    return;
  }
  // One line ending only: LF CR loses the CR and keeps the LF.
  if (length >= 1 && (m_strText[length - 1] == CharSet<T>::CR_STR[0] || m_strText[length - 1] == CharSet<T>::LF_STR[0]))
    m_strText.Truncate(length - 1);
}

template <class T>
bool SQLStmtT<T>::IsEmpty() const noexcept {
  return m_nCompareTokens == 0 || m_strText.IsEmpty() || m_strParsedText.IsEmpty() || m_strNoCommentText.IsEmpty();
}

template <class T>
bool SQLStmtT<T>::IsSelectStmt() const {
  return m_firstToken.Is(CharSet<T>::SELECT);
}

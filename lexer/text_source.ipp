// CKXSQLTextT<T>: SQL text held in memory by the caller.
#pragma once

#include <typeinfo>

#include "kxcom/charset.h"
#include "kxcom/message.h"
#include "kxsql/text_source.h"

template <class T>
CKXSQLTextT<T>::CKXSQLTextT() noexcept {
  this->m_pWindowOwner = &typeid(CKXSQLTextT);
}

template <class T>
CKXSQLTextT<T>::CKXSQLTextT(const T* sql) {
  this->m_pWindowOwner = &typeid(CKXSQLTextT);
  Set(sql);
}

// The base copies the window, which points into the shared text.
template <class T>
CKXSQLTextT<T>::CKXSQLTextT(const CKXSQLTextT& other) : CKXSQLStreamT<T>(other), m_pText(other.m_pText) {
  this->m_pWindowOwner = &typeid(CKXSQLTextT);
}

template <class T>
CKXSQLTextT<T>& CKXSQLTextT<T>::operator=(const CKXSQLTextT& other) {
  CKXSQLStreamT<T>::operator=(other);
  m_pText = other.m_pText;
  return *this;
}

template <class T>
CKXSQLTextT<T>::~CKXSQLTextT() = default;

template <class T>
long CKXSQLTextT<T>::Set(const T* sql) {
  const std::size_t length = CKXStringT<T>::Length(sql);
  if (length == 0) {
    CKXMsg::GetInstance()->LogError("No sql text");
    return -1;
  }
  m_pText = sql;
  this->m_pWindowBegin = sql;
  this->m_pWindowPos = sql;
  this->m_pWindowEnd = sql + length;
  this->Init();
  return 0;
}

template <class T>
void CKXSQLTextT<T>::Close() {
  m_pText = nullptr;
  this->m_pWindowBegin = nullptr;
  this->m_pWindowPos = nullptr;
  this->m_pWindowEnd = nullptr;
}

template <class T>
bool CKXSQLTextT<T>::IsOpen() const {
  return m_pText != nullptr;
}

template <class T>
bool CKXSQLTextT<T>::IsEOF() const {
  return m_pText == nullptr || this->m_pWindowPos >= this->m_pWindowEnd;
}

template <class T>
unsigned int CKXSQLTextT<T>::GetTotalCount() const {
  if (!IsOpen()) return 0xFFFFFFFFu;
  return static_cast<unsigned int>(this->m_pWindowEnd - m_pText);
}

template <class T>
unsigned int CKXSQLTextT<T>::GetDoneCount() const {
  if (!IsOpen()) return 0xFFFFFFFFu;
  if (IsEOF()) return GetTotalCount();
  return static_cast<unsigned int>(this->m_pWindowPos - m_pText);
}

template <class T>
const T* CKXSQLTextT<T>::GetCurPos() const noexcept {
  return m_pText ? this->m_pWindowPos : nullptr;
}

template <class T>
T CKXSQLTextT<T>::GetChar(bool& eof) {
  if (m_pText == nullptr) {
    eof = true;
    return static_cast<T>(~T{0});  // the source cannot deliver
  }
  if (this->m_pWindowPos >= this->m_pWindowEnd) {
    eof = true;
    return 0;
  }
  return *this->m_pWindowPos++;
}

template <class T>
void CKXSQLTextT<T>::UngetChar() {
  if (this->m_pWindowPos > this->m_pWindowBegin) --this->m_pWindowPos;
}

template <class T>
int CKXSQLTextT<T>::CompareText(const T* other, bool case_sensitive) {
  // A null or empty other text holds no tokens.
  const bool other_empty = CKXStringT<T>::Length(other) == 0;
  CKXSQLTextT<T> other_source;
  if (!other_empty) other_source.Set(other);
  SQLToken<T> mine;
  SQLToken<T> theirs;
  for (;;) {
    const long r1 = this->GetCompareToken(mine);
    const long r2 = other_empty ? KXSQL_END : other_source.GetCompareToken(theirs);
    if (r1 == KXSQL_END) return r2 == KXSQL_END ? 0 : -1;
    if (r1 < 0) return 2;
    if (r2 == KXSQL_END) return 1;
    const int order = mine.Compare(theirs, case_sensitive);
    if (order != 0) return order < 0 ? -1 : 1;
  }
}

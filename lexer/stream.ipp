// CKXSQLStreamT<T>: construction, copying, the tokenizer state, and the
// token queue that PeekToken fills.
#pragma once

#include <new>

#include "kxsql/stream.h"

template <class T>
CKXSQLStreamT<T>::CKXSQLStreamT() {
  Init();
}

// The window describes the source's reading position, so it is copied with
// the state; the owner and the window decision belong to the class of the
// object being made, which its own constructor sets.
template <class T>
CKXSQLStreamT<T>::CKXSQLStreamT(const CKXSQLStreamT& other)
    : CKXObject(other),
      m_pWindowBegin(other.m_pWindowBegin),
      m_pWindowPos(other.m_pWindowPos),
      m_pWindowEnd(other.m_pWindowEnd),
      m_nState(other.m_nState),
      m_tokenQueue(other.m_tokenQueue),
      m_pNative(other.m_pNative ? kxsql::detail::CloneNativeState(*other.m_pNative) : nullptr),
      m_pClasses(other.m_pClasses),
      m_bTokenPathOnly(other.m_bTokenPathOnly) {}

template <class T>
CKXSQLStreamT<T>& CKXSQLStreamT<T>::operator=(const CKXSQLStreamT& other) {
  m_nState = other.m_nState;
  m_pWindowBegin = other.m_pWindowBegin;
  m_pWindowPos = other.m_pWindowPos;
  m_pWindowEnd = other.m_pWindowEnd;
  if (this != &other) {
    m_tokenQueue = other.m_tokenQueue;
    m_pNative.reset(other.m_pNative ? kxsql::detail::CloneNativeState(*other.m_pNative) : nullptr);
  }
  return *this;
}

template <class T>
CKXSQLStreamT<T>::~CKXSQLStreamT() = default;

template <class T>
void CKXSQLStreamT<T>::Init() noexcept {
  m_nState = 0;
  // A new text or file: the native rules start afresh too.
  if (m_pNative) kxsql::detail::ResetNativeReading(*m_pNative);
}

template <class T>
void CKXSQLStreamT<T>::SetState(unsigned int state) noexcept {
  // States above 14 do not exist; GetToken could not go on from one.
  if (state <= 14) m_nState = state;
}

template <class T>
int CKXSQLStreamT<T>::PeekToken(SQLToken<T>& token) {
  token.Clear();
  // Bit 0x1 reads past the queue, so successive peeks look further ahead.
  if (GetToken(token, 0x1) != KXSQL_PRODUCED) return 0;
  try {
    m_tokenQueue.push_back(token);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

template <class T>
long CKXSQLStreamT<T>::GetCompareToken(SQLToken<T>& token) {
  long rc = GetToken(token, 0);
  while (rc == KXSQL_PRODUCED && !token.IsCompare()) rc = GetToken(token, 0);
  return rc;
}

/// @file
/// kxsql text source: SQL held in memory by the caller, read as a stream.
///
/// The source points at the caller's zero-terminated text and never copies or
/// frees it; the text must stay alive and unchanged while the source is open.
///
/// @code
/// CKXSQLTextT<char> source;
/// unsigned int statements = 0, errors = 0;
/// long rc = source.ParseSQL("create table t(a); insert into t values(1);", &tr, statements, errors, 4294967295u);
/// @endcode
#pragma once

#include <cstddef>

#include "kxcom/transaction.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/stream.h"

/// SQL text held in memory by the caller, read as a stream: tokens,
/// statements, and whole scripts run with ParseSQL. The source points at the
/// caller's zero-terminated text and never copies or frees it.
template <class T>
class KXSQL_EXPORT CKXSQLTextT : public CKXSQLStreamT<T> {
 public:
  /// Closed.
  CKXSQLTextT() noexcept;
  /// Open on `sql`; stays closed when `sql` is null or empty.
  explicit CKXSQLTextT(const T* sql);
  /// Copies share the caller's text, and copy the position, the tokenizer
  /// state and the queued tokens.
  ///@{
  CKXSQLTextT(const CKXSQLTextT& other);
  CKXSQLTextT& operator=(const CKXSQLTextT& other);
  ///@}
  ~CKXSQLTextT() override;

  /// Opens the source on `sql` at position 0, tokenizer state 0; the token
  /// queue is kept. Returns 0, or -1 (logging "No sql text") when `sql` is null
  /// or empty, leaving the source as it was.
  long Set(const T* sql);
  /// The source holds a text (IsOpen).
  bool IsSet() const { return this->IsOpen(); }

  void Close() override;
  bool IsOpen() const override;
  bool IsEOF() const override;
  /// In characters (T units): the text's length, and the position.
  ///@{
  unsigned int GetTotalCount() const override;
  unsigned int GetDoneCount() const override;
  ///@}

  /// The next undelivered character.
  const T* GetCurPos() const noexcept;

  /// Compares the source's remaining text with `other`, token by token, over
  /// compare tokens only: 0 equal, -1 this text orders first, +1 the other
  /// first, 2 this source could not be read. Consumes this source's tokens.
  int CompareText(const T* other, bool case_sensitive);
  /// CompareText without regard to the letter case of words.
  int CompareTextNoCase(const T* other) { return CompareText(other, false); }

  /// Runs `text` as a script over the transaction: every statement is handed
  /// to the transaction's DBMS type for execution. `stmt_count` is set to the
  /// number of statements handed over; `error_count` grows by one for each
  /// failure (it is not reset). With `max_errors` other than 4294967295 the run
  /// stops once `error_count` reaches it. Returns 0 at the end of the script,
  /// -1 (no text, not connected, unreadable, or the error limit), or 4096 when
  /// the worker thread running the call was asked to stop. Failures are
  /// recorded as messages with the caption "Parse SQL script". The source is
  /// closed afterwards.
  long ParseSQL(const T* text, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
                unsigned int max_errors);

 protected:
  T GetChar(bool& eof) override;
  void UngetChar() override;

 private:
  /// The caller's text, null while closed. The read window spans the whole
  /// text, and its position is the reading position.
  const T* m_pText = nullptr;
};

/// @cond
extern template class CKXSQLTextT<char>;
extern template class CKXSQLTextT<unsigned short>;
/// @endcond

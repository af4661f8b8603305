// The statement splitter: cuts the token stream into statements at a
// semicolon, GO, a slash in the first column or a caller's separator, and
// hands compound blocks to the block rules so that their inner semicolons do
// not split them.
#pragma once

#include <new>

#include "kxcom/charset.h"
#include "kxcom/kxstring.h"
#include "kxcom/message.h"
#include "kxsql/stream.h"
#include "statements/keyword.h"

namespace kxsql::detail {

// The separator's text for the stream's width.
inline const char* SeparatorText(const STMTSEP& sep, const char*) { return sep.m_pszText; }
inline const unsigned short* SeparatorText(const STMTSEP& sep, const unsigned short*) { return sep.m_pwszText; }

// Texts handed to the host are 8-bit.
inline CKXStringA HostText(const char* text) { return CKXStringA(text); }
inline CKXStringA HostText(const unsigned short* text) { return KXNarrow(text); }

// The statement flags word for a DBMS type: which comments and line ends stay
// out of the parsed text. The first test that holds decides.
inline unsigned long FlagsFor(const DBMSTYPE& dbms) noexcept {
  if (dbms == DBMSTYPE::ORACLE) return SQLSTMT_SKIP_LINECOMMENT | SQLSTMT_SKIP_MULTILINECOMMENT | SQLSTMT_SKIP_CR;
  if (dbms == DBMSTYPE::DB2 || dbms == DBMSTYPE::INFORMIX || dbms.GetGroup() == DBMSGroup::Access)
    return SQLSTMT_SKIP_LINECOMMENT | SQLSTMT_SKIP_MULTILINECOMMENT;
  return 0;
}

}  // namespace kxsql::detail

template <class T>
long CKXSQLStreamT<T>::GetNextStmt(SQLStmtT<T>& stmt, const CKXTr* tr, const STMTSEP* sep) {
  const DBMSTYPE& dbms = tr != nullptr ? tr->GetDBMSType() : DBMSTYPE::GENERIC;
  return GetNextStmt(stmt, tr, kxsql::detail::FlagsFor(dbms), sep);
}

template <class T>
long CKXSQLStreamT<T>::GetNextStmt(SQLStmtT<T>& stmt, const CKXTr* tr, unsigned long flags, const STMTSEP* sep) {
  const DBMSTYPE& dbms = tr != nullptr ? tr->GetDBMSType() : DBMSTYPE::GENERIC;
  stmt.Clear();
  long rc;
  try {
    // A separator without a type is no separator: the dialect rules apply.
    if (sep != nullptr && sep->m_pType != nullptr) {
      rc = SeekSeparator(stmt, dbms, flags, *sep);
      if (rc == KXSQL_PRODUCED && sep->m_bOwnLine) stmt.RemoveLastLineEnding();
    } else if (m_pNative) {
      rc = NativeStmt(stmt, dbms, flags);
    } else {
      rc = DialectStmt(stmt, dbms, flags);
    }
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Trim();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SeekSeparator(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                     const STMTSEP& sep) {
  const SQLTOKEN_TYPE& type = *sep.m_pType;
  const T* text = type == SQLTOKEN_TYPE::SYMBOL ? kxsql::detail::SeparatorText(sep, static_cast<const T*>(nullptr))
                                                : nullptr;
  // The separator ends the statement but is not part of it.
  return SeekToken(stmt, dbms, flags | SQLSTMT_OMIT_MATCH, type, text);
}

template <class T>
long CKXSQLStreamT<T>::DialectStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  using kxsql::detail::IsKeyword;
  SQLToken<T> token;
  long rc = ReadToken(token);
  while (rc == KXSQL_PRODUCED) {
    const bool symbol = token.Is(SQLTOKEN_TYPE::SYMBOL);
    if (symbol && IsKeyword(token, CharSet<T>::GO)) {
      // GO ends a batch wherever it stands; the line ending just before it
      // belongs to the GO line, not to the statement.
      stmt.RemoveLastLineEnding();
      return KXSQL_PRODUCED;
    }
    if (symbol && IsKeyword(token, CharSet<T>::BEGIN)) {
      Append(stmt, token, dbms, flags);
      // BEGIN TRAN, BEGIN TRANSACTION and BEGIN WORK (one run of blanks
      // between the words) are statements, not blocks. The peeked tokens come
      // back from the queue and are appended as usual.
      SQLToken<T> blank;
      SQLToken<T> word;
      if (PeekToken(blank) && blank.Is(SQLTOKEN_TYPE::WHITESPACE) && PeekToken(word) &&
          word.Is(SQLTOKEN_TYPE::SYMBOL) &&
          (IsKeyword(word, CharSet<T>::TRAN) || IsKeyword(word, CharSet<T>::TRANSACTION) ||
           IsKeyword(word, CharSet<T>::WORK))) {
        rc = ReadToken(token);
        continue;
      }
      return FollowBlocks(stmt, dbms, flags, BlockKind::kCompound);
    }
    // DROP PROCEDURE is a statement; CREATE or ALTER PROCEDURE opens stored code.
    if (symbol && IsKeyword(token, CharSet<T>::PROCEDURE) && !IsKeyword(stmt.GetLastToken(), CharSet<T>::DROP)) {
      Append(stmt, token, dbms, flags);
      return StoredCodeBlock(stmt, dbms, flags);
    }
    if (symbol && IsKeyword(token, CharSet<T>::TRIGGER)) {
      const SQLToken<T>& before = stmt.GetLastToken();
      if (!IsKeyword(before, CharSet<T>::DROP) && !IsKeyword(before, CharSet<T>::ALTER) &&
          !IsKeyword(before, CharSet<T>::ENABLE) && !IsKeyword(before, CharSet<T>::DISABLE)) {
        Append(stmt, token, dbms, flags);
        return StoredCodeBlock(stmt, dbms, flags);
      }
    }
    if (token.Is(SQLTOKEN_TYPE::SEMI_COLON)) return KXSQL_PRODUCED;
    if (token.Is(SQLTOKEN_TYPE::SLASH_TERMINATOR)) {
      // A `/` alone in the first column ends the statement; its line ending goes with it.
      stmt.RemoveLastLineEnding();
      return KXSQL_PRODUCED;
    }
    if (token.Is(SQLTOKEN_TYPE::DollarSign) && dbms.GetGroup() == DBMSGroup::Postgres) {
      // `$$` opens a Postgres body. The token after a single `$` (a
      // parameter's number, a quote's tag) is taken as it is, unexamined.
      Append(stmt, token, dbms, flags);
      rc = ReadToken(token);
      if (rc != KXSQL_PRODUCED) return rc;
      Append(stmt, token, dbms, flags);
      if (token.Is(SQLTOKEN_TYPE::DollarSign)) {
        rc = FollowDollarQuote(stmt, dbms, flags);
        if (rc != KXSQL_PRODUCED) return rc;
      }
      rc = ReadToken(token);
      continue;
    }
    Append(stmt, token, dbms, flags);
    rc = ReadToken(token);
  }
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::StoredCodeBlock(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  // A procedure or trigger body runs from the next BEGIN to its END. One
  // without BEGIN therefore runs on to the next BEGIN anywhere in the script.
  // The seek's own result is not looked at: an end or a failure comes back
  // from the block's first read.
  SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SYMBOL, CharSet<T>::BEGIN);
  long rc = FollowBlocks(stmt, dbms, flags, BlockKind::kCompound);
  // Oracle stored code ends with the semicolon after its END.
  if (dbms == DBMSTYPE::ORACLE) rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SEMI_COLON, nullptr);
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                 const SQLTOKEN_TYPE& type, const T* text) {
  using kxsql::detail::IsKeyword;
  const bool omit_match = IsPartFilter(flags, SQLSTMT_OMIT_MATCH);
  // Words match by text; every other type by type alone, except OTHER, which
  // stands for too many characters to end anything.
  const bool symbol = type == SQLTOKEN_TYPE::SYMBOL;
  const bool by_type = !symbol && type != SQLTOKEN_TYPE::OTHER;
  SQLToken<T> token;
  long rc = ReadToken(token);
  while (rc == KXSQL_PRODUCED) {
    if (token.Is(type) && (by_type || (symbol && IsKeyword(token, text)))) {
      if (!omit_match) Append(stmt, token, dbms, flags);
      return KXSQL_PRODUCED;
    }
    Append(stmt, token, dbms, flags);
    rc = ReadToken(token);
  }
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLSeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                    const SQLTOKEN_TYPE& type, const T* text) {
  long rc;
  try {
    rc = SeekToken(stmt, dbms, flags, type, text);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLSeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                    const SQLTOKEN_TYPE& type) {
  return SQLSeekToken(stmt, dbms, flags, type, nullptr);
}

template <class T>
long CKXSQLStreamT<T>::SQLSeekSymbol(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, const T* text) {
  return SQLSeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SYMBOL, text);
}

template <class T>
long CKXSQLStreamT<T>::SQLSeekEndOfStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                        const STMTSEP& sep) {
  long rc;
  try {
    // As in GetNextStmt, a separator without a type leaves the statement's
    // end to the dialect rules.
    rc = sep.m_pType == nullptr ? DialectStmt(stmt, dbms, flags) : SeekSeparator(stmt, dbms, flags, sep);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::RegularStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  using kxsql::detail::IsKeyword;
  stmt.Clear();
  SQLToken<T> token;
  long rc = ReadToken(token);
  while (rc == KXSQL_PRODUCED) {
    if ((token.Is(SQLTOKEN_TYPE::SYMBOL) && IsKeyword(token, CharSet<T>::GO)) ||
        token.Is(SQLTOKEN_TYPE::SLASH_TERMINATOR)) {
      stmt.RemoveLastLineEnding();
      return KXSQL_PRODUCED;
    }
    if (token.Is(SQLTOKEN_TYPE::SEMI_COLON)) return KXSQL_PRODUCED;
    Append(stmt, token, dbms, flags);
    rc = ReadToken(token);
  }
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLRegularStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = RegularStmt(stmt, dbms, flags);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLInvalidStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = RegularStmt(stmt, dbms, flags);
    // Reported whatever the read gave: the statement itself is what is wrong.
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, kxsql::detail::HostText(stmt.GetText()).GetString(),
                                          "Invalid SQL Statement", 0, "SQLInvalidStmt", 0);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

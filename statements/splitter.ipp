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
#include "statements/fast_path.ipp"
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
      rc = DialectStmt(stmt, dbms, flags, true);
    }
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  try {
    stmt.Trim();
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.ReleaseSpareRoom();
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
long CKXSQLStreamT<T>::DialectStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, bool trimmed) {
  Feed feed(*this, stmt, dbms, flags, trimmed);
  const long rc = StatementRules(feed);
  feed.Finish();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::StatementRules(Feed& feed) {
  using kxsql::detail::Keyword;
  using kxsql::detail::TokenKind;
  SQLStmtT<T>& stmt = feed.Statement();
  kxsql::detail::Interest<T> decisive;
  decisive.Add(TokenKind::kSemicolon).Add(TokenKind::kSlashTerminator);
  decisive.Add(Keyword::kGo).Add(Keyword::kBegin).Add(Keyword::kProcedure).Add(Keyword::kTrigger);
  if (feed.Dbms().GetGroup() == DBMSGroup::Postgres) decisive.Add(TokenKind::kDollar);
  kxsql::detail::FoundToken<T> token;
  for (;;) {
    long rc = feed.Next(decisive, token);
    if (rc != KXSQL_PRODUCED) return rc;
    switch (token.keyword) {
      case Keyword::kGo:
        // GO ends a batch wherever it stands; the line ending just before it
        // belongs to the GO line, not to the statement.
        stmt.RemoveLastLineEnding();
        return KXSQL_PRODUCED;
      case Keyword::kBegin:
        feed.Append(token);
        // BEGIN TRAN, BEGIN TRANSACTION and BEGIN WORK (one run of blanks
        // between the words) are statements, not blocks.
        if (feed.BeginsTransaction()) continue;
        return FollowBlocks(feed, BlockKind::kCompound);
      case Keyword::kProcedure:
        // DROP PROCEDURE is a statement; CREATE or ALTER PROCEDURE opens stored code.
        if (feed.LastIs(Keyword::kDrop)) break;
        feed.Append(token);
        return StoredCodeBlock(feed);
      case Keyword::kTrigger:
        if (feed.LastIs(Keyword::kDrop) || feed.LastIs(Keyword::kAlter) || feed.LastIs(Keyword::kEnable) ||
            feed.LastIs(Keyword::kDisable))
          break;
        feed.Append(token);
        return StoredCodeBlock(feed);
      default:
        break;
    }
    if (token.kind == TokenKind::kSemicolon) return KXSQL_PRODUCED;
    if (token.kind == TokenKind::kSlashTerminator) {
      // A `/` alone in the first column ends the statement; its line ending goes with it.
      stmt.RemoveLastLineEnding();
      return KXSQL_PRODUCED;
    }
    if (token.kind == TokenKind::kDollar) {
      // `$$` opens a Postgres body. The token after a single `$` (a
      // parameter's number, a quote's tag) is taken as it is, unexamined.
      feed.Append(token);
      rc = feed.Next(kxsql::detail::Interest<T>::Any(), token);
      if (rc != KXSQL_PRODUCED) return rc;
      feed.Append(token);
      if (token.kind == TokenKind::kDollar) {
        rc = FollowDollarQuote(feed);
        if (rc != KXSQL_PRODUCED) return rc;
      }
      continue;
    }
    feed.Append(token);  // DROP PROCEDURE, DROP TRIGGER and the like
  }
}

template <class T>
long CKXSQLStreamT<T>::StoredCodeBlock(Feed& feed) {
  using kxsql::detail::Interest;
  // A procedure or trigger body runs from the next BEGIN to its END. One
  // without BEGIN therefore runs on to the next BEGIN anywhere in the script.
  // The seek's own result is not looked at: an end or a failure comes back
  // from the block's first read.
  SeekOn(feed, Interest<T>().Add(kxsql::detail::Keyword::kBegin));
  long rc = FollowBlocks(feed, BlockKind::kCompound);
  // Oracle stored code ends with the semicolon after its END.
  if (feed.Dbms() == DBMSTYPE::ORACLE) rc = SeekOn(feed, Interest<T>().Add(kxsql::detail::TokenKind::kSemicolon));
  return rc;
}

// A seek of the block rules: appends tokens up to the first that `target`
// names, and that one too unless the flags say to leave it out.
template <class T>
template <class Want>
long CKXSQLStreamT<T>::SeekOn(Feed& feed, const Want& target) {
  kxsql::detail::FoundToken<T> token;
  const long rc = feed.Next(target, token);
  if (rc != KXSQL_PRODUCED) return rc;
  if (!IsPartFilter(feed.Flags(), SQLSTMT_OMIT_MATCH)) feed.Append(token);
  return KXSQL_PRODUCED;
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
  if (!stmt.Sync()) rc = KXSQL_FAILED;
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
    rc = sep.m_pType == nullptr ? DialectStmt(stmt, dbms, flags, false) : SeekSeparator(stmt, dbms, flags, sep);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  if (!stmt.Sync()) rc = KXSQL_FAILED;
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
  if (!stmt.Sync()) rc = KXSQL_FAILED;
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
  if (!stmt.Sync()) rc = KXSQL_FAILED;
  return rc;
}

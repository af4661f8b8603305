// The dialect block rules: BEGIN ... END blocks, Oracle and DB2 IF blocks,
// Oracle FOR loops and Postgres dollar-quoted bodies stay in one statement.
//
// The three nesting rules share one engine that keeps the open blocks on an
// explicit stack, so a script of any nesting depth splits in time linear in
// its length and never exhausts the call stack. Each rule still behaves as if
// it called the others for the blocks nested in it: a nested block's result
// is not looked at, the enclosing block just reads on, and an end of input or
// a read failure comes back from that read.
#pragma once

#include <new>
#include <vector>

#include "kxcom/charset.h"
#include "kxsql/stream.h"
#include "statements/keyword.h"

template <class T>
long CKXSQLStreamT<T>::FollowBlocks(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                                    BlockKind outer) {
  using kxsql::detail::IsKeyword;
  const bool oracle = dbms == DBMSTYPE::ORACLE;
  const bool if_blocks = oracle || dbms == DBMSTYPE::DB2;
  std::vector<BlockKind> open{outer};
  SQLToken<T> token;
  long rc = KXSQL_PRODUCED;
  bool entering = true;  // the top block has just been opened, nothing of it read yet

  for (;;) {
    bool closed = false;
    if (entering) {
      entering = false;
      // A loop's header runs up to LOOP; FOR UPDATE and the like are
      // taken for loops as well and seek on to the next LOOP.
      if (open.back() == BlockKind::kFor) {
        rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SYMBOL, CharSet<T>::LOOP);
        closed = rc != KXSQL_PRODUCED;
      }
    }
    if (!closed) {
      rc = ReadToken(token);
      closed = rc != KXSQL_PRODUCED;
    }
    if (!closed) {
      Append(stmt, token, dbms, flags);
      if (token.Is(SQLTOKEN_TYPE::SYMBOL)) {
        const BlockKind kind = open.back();
        // Inside an IF block or a loop, IF and FOR open their blocks whatever
        // the DBMS type: only a BEGIN ... END block asks.
        if (IsKeyword(token, CharSet<T>::IF) && (kind != BlockKind::kCompound || if_blocks)) {
          open.push_back(BlockKind::kIf);
          entering = true;
        } else if (IsKeyword(token, CharSet<T>::FOR) && (kind == BlockKind::kFor || oracle)) {
          open.push_back(BlockKind::kFor);
          entering = true;
        } else if (IsKeyword(token, CharSet<T>::BEGIN)) {
          // BEGIN TRAN inside a block opens a block too: only the statement
          // level tells it apart.
          open.push_back(BlockKind::kCompound);
          entering = true;
        } else if (IsKeyword(token, CharSet<T>::END)) {
          // END closes the innermost block, whatever it ends in the script
          // (a CASE, an unknown construct). IF blocks and loops then run on to
          // their closing IF or LOOP.
          if (kind == BlockKind::kIf)
            rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SYMBOL, CharSet<T>::IF);
          else if (kind == BlockKind::kFor)
            rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::SYMBOL, CharSet<T>::LOOP);
          else
            rc = KXSQL_PRODUCED;
          closed = true;
        }
      }
    }
    if (closed) {
      open.pop_back();
      if (open.empty()) return rc;
      // The enclosing block reads on; the closed block's result is dropped.
    }
  }
}

template <class T>
long CKXSQLStreamT<T>::FollowDollarQuote(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  // Single dollar signs inside the body are text; two in a row close it.
  long rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::DollarSign, nullptr);
  SQLToken<T> token;
  while (rc == KXSQL_PRODUCED) {
    rc = ReadToken(token);
    if (rc != KXSQL_PRODUCED) return rc;
    Append(stmt, token, dbms, flags);
    if (token.Is(SQLTOKEN_TYPE::DollarSign)) return KXSQL_PRODUCED;
    rc = SeekToken(stmt, dbms, flags, SQLTOKEN_TYPE::DollarSign, nullptr);
  }
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLCompoundStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = FollowBlocks(stmt, dbms, flags, BlockKind::kCompound);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLDB2OracleIFStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = FollowBlocks(stmt, dbms, flags, BlockKind::kIf);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLOracleForStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = FollowBlocks(stmt, dbms, flags, BlockKind::kFor);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLPGDollarQuotedString(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  long rc;
  try {
    rc = FollowDollarQuote(stmt, dbms, flags);
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  stmt.Sync();
  return rc;
}

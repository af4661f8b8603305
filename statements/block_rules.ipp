// The dialect block rules: BEGIN ... END blocks, Oracle and DB2 IF blocks,
// Oracle FOR loops and Postgres dollar-quoted bodies stay in one statement.
//
// The rules read their tokens from a Feed (statements/fast_path.ipp), naming
// the keywords they decide on; every other token is appended on the way.
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
#include "statements/fast_path.ipp"

template <class T>
long CKXSQLStreamT<T>::FollowBlocks(Feed& feed, BlockKind outer) {
  using kxsql::detail::Keyword;
  using Want = kxsql::detail::Interest<T>;
  const DBMSTYPE& dbms = feed.Dbms();
  const bool oracle = dbms == DBMSTYPE::ORACLE;
  const bool if_blocks = oracle || dbms == DBMSTYPE::DB2;
  // The keywords each kind of block decides on. Inside an IF block or a
  // loop, IF and FOR open their blocks whatever the DBMS type: only a
  // BEGIN ... END block asks. Every other word is text.
  Want in_block[3];
  for (const BlockKind kind : {BlockKind::kCompound, BlockKind::kIf, BlockKind::kFor}) {
    Want& want = in_block[static_cast<unsigned>(kind)];
    if (kind != BlockKind::kCompound || if_blocks) want.Add(Keyword::kIf);
    if (kind == BlockKind::kFor || oracle) want.Add(Keyword::kFor);
    want.Add(Keyword::kBegin).Add(Keyword::kEnd);
  }
  std::vector<BlockKind> open{outer};
  kxsql::detail::FoundToken<T> token;
  long rc = KXSQL_PRODUCED;
  bool entering = true;  // the top block has just been opened, nothing of it read yet

  for (;;) {
    bool closed = false;
    if (entering) {
      entering = false;
      // A loop's header runs up to LOOP; FOR UPDATE and the like are
      // taken for loops as well and seek on to the next LOOP.
      if (open.back() == BlockKind::kFor) {
        rc = SeekOn(feed, Want().Add(Keyword::kLoop));
        closed = rc != KXSQL_PRODUCED;
      }
    }
    if (!closed) {
      rc = feed.Next(in_block[static_cast<unsigned>(open.back())], token);
      closed = rc != KXSQL_PRODUCED;
    }
    if (!closed) {
      feed.Append(token);
      switch (token.keyword) {
        case Keyword::kIf:
          open.push_back(BlockKind::kIf);
          entering = true;
          break;
        case Keyword::kFor:
          open.push_back(BlockKind::kFor);
          entering = true;
          break;
        case Keyword::kBegin:
          // BEGIN TRAN inside a block opens a block too: only the statement
          // level tells it apart.
          open.push_back(BlockKind::kCompound);
          entering = true;
          break;
        default:
          // END closes the innermost block, whatever it ends in the script
          // (a CASE, an unknown construct). IF blocks and loops then run on
          // to their closing IF or LOOP.
          if (open.back() == BlockKind::kIf) rc = SeekOn(feed, Want().Add(Keyword::kIf));
          else if (open.back() == BlockKind::kFor) rc = SeekOn(feed, Want().Add(Keyword::kLoop));
          else rc = KXSQL_PRODUCED;
          closed = true;
          break;
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
long CKXSQLStreamT<T>::FollowDollarQuote(Feed& feed) {
  using Want = kxsql::detail::Interest<T>;
  const Want dollar = Want().Add(kxsql::detail::TokenKind::kDollar);
  // Single dollar signs inside the body are text; two in a row close it.
  long rc = SeekOn(feed, dollar);
  kxsql::detail::FoundToken<T> token;
  while (rc == KXSQL_PRODUCED) {
    rc = feed.Next(Want::Any(), token);
    if (rc != KXSQL_PRODUCED) return rc;
    feed.Append(token);
    if (token.kind == kxsql::detail::TokenKind::kDollar) return KXSQL_PRODUCED;
    rc = SeekOn(feed, dollar);
  }
  return rc;
}

// The exported block rules: each runs its rule on a feed of its own.
template <class T>
template <class Rule>
long CKXSQLStreamT<T>::RunBlockRule(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, Rule rule) {
  long rc;
  try {
    Feed feed(*this, stmt, dbms, flags, false);
    rc = rule(feed);
    feed.Finish();
  } catch (const std::bad_alloc&) {
    rc = KXSQL_FAILED;
  }
  if (!stmt.Sync()) rc = KXSQL_FAILED;
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::SQLCompoundStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  return RunBlockRule(stmt, dbms, flags, [this](Feed& feed) { return FollowBlocks(feed, BlockKind::kCompound); });
}

template <class T>
long CKXSQLStreamT<T>::SQLDB2OracleIFStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  return RunBlockRule(stmt, dbms, flags, [this](Feed& feed) { return FollowBlocks(feed, BlockKind::kIf); });
}

template <class T>
long CKXSQLStreamT<T>::SQLOracleForStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  return RunBlockRule(stmt, dbms, flags, [this](Feed& feed) { return FollowBlocks(feed, BlockKind::kFor); });
}

template <class T>
long CKXSQLStreamT<T>::SQLPGDollarQuotedString(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  return RunBlockRule(stmt, dbms, flags, [this](Feed& feed) { return FollowDollarQuote(feed); });
}

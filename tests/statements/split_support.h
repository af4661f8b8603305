// Splits a script with GetNextStmt and records what every call gave back, for
// both character widths.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/test_text.h"
#include "support/tokens.h"

namespace kxsql::testing {

// What one GetNextStmt call gave back.
struct Piece {
  long rc;
  std::string text;
  std::string parsed;

  // Most statements come out with a parsed text equal to the full text.
  Piece(long rc_, std::string text_) : rc(rc_), text(text_), parsed(std::move(text_)) {}
  Piece(long rc_, std::string text_, std::string parsed_)
      : rc(rc_), text(std::move(text_)), parsed(std::move(parsed_)) {}

  bool operator==(const Piece& other) const {
    return rc == other.rc && text == other.text && parsed == other.parsed;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Piece& piece) {
  return out << "{" << piece.rc << ", \"" << piece.text << "\", \"" << piece.parsed << "\"}";
}

// A caller's separator, written once for both widths.
struct Separator {
  const SQLTOKEN_TYPE* type;
  std::string text;
  bool own_line;
};

template <class T>
std::string Str(const T* text) {
  return TextOf(text, CKXStringT<T>::Length(text));
}

// Everything a statement tells about itself, in one line.
template <class T>
std::string Summary(const SQLStmtT<T>& stmt) {
  return Str(stmt.GetText()) + "|" + Str(stmt.GetParsedText()) + "|" + Str(stmt.GetNoCommentText()) + "|" +
         Str(stmt.GetSideEffect()) + "|" + Describe(stmt.GetFirstToken()) + "|" + Describe(stmt.GetLastToken()) +
         "|" + (stmt.IsEmpty() ? "empty" : "") + (stmt.IsSelectStmt() ? "select" : "") +
         (stmt.HasSideEffect() ? "effect" : "");
}

// The statement AddToken builds from the tokens of `text`.
template <class T>
SQLStmtT<T> StmtOf(const std::string& text, const DBMSTYPE& dbms = DBMSTYPE::GENERIC, unsigned long flags = 0) {
  SQLStmtT<T> stmt;
  if (text.empty()) return stmt;
  Text<T> chars(text);
  CKXSQLTextT<T> source(chars.c_str());
  SQLToken<T> token;
  while (source.GetToken(token, 0) == 0) stmt.AddToken(token, dbms, flags);
  return stmt;
}

// Keeps the separator's text of the stream's width alive.
template <class T>
struct SeparatorFor {
  explicit SeparatorFor(const Separator* sep) : wide(sep ? sep->text : std::string()) {
    if (sep == nullptr) return;
    value.m_pType = sep->type;
    value.m_bOwnLine = sep->own_line;
    value.m_pszText = sep->text.c_str();
    value.m_pwszText = wide.c_str();
  }
  const STMTSEP* get(const Separator* sep) const { return sep ? &value : nullptr; }
  STMTSEP value;
  Text<unsigned short> wide;
};

// Every GetNextStmt call up to and including the one that fails or answers 1
// at the end of the source (a NUL character read from a file answers 1 before
// it). A script that would not stop fails the test instead of hanging.
template <class T>
std::vector<Piece> SplitAll(CKXSQLStreamT<T>& source, const CKXTr& tr, const Separator* sep = nullptr,
                            std::size_t max_calls = 100000) {
  SeparatorFor<T> separator(sep);
  std::vector<Piece> pieces;
  SQLStmtT<T> stmt;
  for (std::size_t calls = 0; calls < max_calls; ++calls) {
    const long rc = source.GetNextStmt(stmt, &tr, separator.get(sep));
    pieces.emplace_back(rc, Str(stmt.GetText()), Str(stmt.GetParsedText()));
    if (rc < 0 || (rc > 0 && source.IsEOF())) return pieces;
  }
  ADD_FAILURE() << "the splitter did not reach the end";
  return pieces;
}

template <class T>
std::vector<Piece> SplitAll(const std::string& script, const DBMSTYPE& dbms, const Separator* sep = nullptr) {
  Text<T> text(script);
  CKXSQLTextT<T> source(text.c_str());
  CKXTr tr;
  tr.SetDBMSType(dbms);
  return SplitAll(source, tr, sep);
}

}  // namespace kxsql::testing

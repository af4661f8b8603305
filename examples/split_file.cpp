// Splitting a script file into statements, the way a chosen database would.
//
//   split_file oracle payroll.sql
//
// The file may be UTF-8, UTF-16 or UTF-32, with or without a byte-order mark:
// CKXSQLFile detects the encoding and delivers UTF-8 characters.
#include <cstdio>

#include <kxsql.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: split_file DIALECT FILE\n");
    return 64;
  }

  // The dialect comes from the transaction's DBMS type. No database is needed
  // to split: a transaction that is not connected still carries a type.
  const DBMSTYPE* dialect = DBMSTYPE::FromName(argv[1]);
  if (dialect == nullptr) {
    std::fprintf(stderr, "unknown dialect %s\n", argv[1]);
    return 64;
  }
  CKXTr tr;
  tr.SetDBMSType(*dialect);

  // Open returns 1 on success; a failure is described on the message sink.
  CKXSQLFile file;
  if (file.Open(argv[2]) != 1) {
    std::fprintf(stderr, "%s\n", CKXMsg::GetInstance()->GetLastMessage().text.c_str());
    return 2;
  }

  // One statement object serves the whole script: GetNextStmt clears it and
  // fills it again. It answers 0 while statements end at their terminator and
  // 1 at the end of the input (the last statement may still be there).
  SQLStmtT<char> stmt;
  int number = 0;
  long rc = 0;
  do {
    rc = file.GetNextStmt(stmt, &tr, nullptr);
    if (rc < 0) {
      std::fprintf(stderr, "cannot read %s\n", argv[2]);
      return 2;
    }
    // Empty statements (only blanks and comments, or the `;` after an
    // Oracle block) are part of the answer; a runner skips them.
    if (stmt.IsEmpty()) continue;
    ++number;
    // Three texts: the full text as written; the parsed text, without what the
    // dialect leaves out (Oracle drops comments and carriage returns); and the
    // text without any comment.
    std::printf("--- statement %d (%s, first word %s)\n", number, stmt.IsSelectStmt() ? "a query" : "not a query",
                stmt.GetFirstToken().GetText());
    std::printf("text:       %s\n", stmt.GetText());
    std::printf("parsed:     %s\n", stmt.GetParsedText());
    std::printf("no comment: %s\n", stmt.GetNoCommentText());
    if (stmt.HasSideEffect()) std::printf("side effect: %s\n", stmt.GetSideEffect());
  } while (rc == 0);

  std::printf("%d statements\n", number);
  return 0;
}

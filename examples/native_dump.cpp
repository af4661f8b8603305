// Reading a dump the way its own client reads it: the native rules.
//
//   native_dump postgres pg_dump_excerpt.sql
//
// Under the native rules a script is cut as the dialect's client cuts it
// (here psql: `begin;` is a statement, `$_$` bodies are strings, COPY is
// followed by its rows) and the client's own commands come out as
// statements of their own. ParseSQL does them as the client would.
#include <cstdio>

#include <kxsql.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: native_dump DIALECT FILE\n");
    return 64;
  }
  const DBMSTYPE* dialect = DBMSTYPE::FromName(argv[1]);
  if (dialect == nullptr) {
    std::fprintf(stderr, "unknown dialect %s\n", argv[1]);
    return 64;
  }
  CKXTr tr;
  tr.SetDBMSType(*dialect);
  CKXSQLFile file;
  // The rules are chosen before reading; the classic ones are the default.
  if (file.SetSplitRules(KXSQL_RULES_NATIVE) != 0 || file.Open(argv[2]) != 1) {
    std::fprintf(stderr, "%s\n", CKXMsg::GetInstance()->GetLastMessage().text.c_str());
    return 2;
  }
  SQLStmtT<char> stmt;
  int number = 0;
  long rc = 0;
  do {
    rc = file.GetNextStmt(stmt, &tr, nullptr);
    if (rc < 0) return 2;
    if (stmt.IsEmpty() && stmt.GetKind() == KXSQL_STMT_SQL) continue;
    const char* kind = stmt.GetKind() == KXSQL_STMT_CLIENT ? "client command"
                       : stmt.GetKind() == KXSQL_STMT_DATA ? "more COPY rows"
                                                           : "SQL";
    std::printf("--- %d, %s: %s\n", ++number, kind, stmt.GetNoCommentText());
    // A COPY carries its rows: the lines up to the `\.` line.
    if (*stmt.GetData() != 0) std::printf("rows:\n%s", stmt.GetData());
  } while (rc == 0);
  std::printf("%d statements\n", number);
  return 0;
}

// Splitting at a separator of the caller's choice instead of the dialect's
// rules: here a GO on a line of its own, as SQL Server tools write batches.
//
//   custom_separator
#include <cstdio>

#include <kxsql.h>

int main() {
  const char* script =
      "CREATE PROCEDURE greet AS\n"
      "  PRINT 'hello';\n"
      "  PRINT 'world';\n"
      "GO\n"
      "EXEC greet; EXEC greet;\n"
      "GO\n";

  // The separator: the word GO (a SYMBOL token, compared without case) on a
  // line of its own. Semicolons, BEGIN and slashes are then ordinary tokens.
  STMTSEP go;
  go.m_pszText = "GO";
  go.m_pwszText = nullptr;  // only read by 16-bit streams
  go.m_bOwnLine = true;     // drop the line ending before the GO
  go.m_pType = &SQLTOKEN_TYPE::SYMBOL;

  CKXTr tr;  // not connected: splitting needs no database
  CKXSQLTextT<char> source(script);
  SQLStmtT<char> batch;
  int number = 0;
  long rc = 0;
  do {
    rc = source.GetNextStmt(batch, &tr, &go);
    if (!batch.IsEmpty()) std::printf("batch %d:\n%s\n", ++number, batch.GetText());
  } while (rc == 0);
  return rc < 0 ? 2 : 0;
}

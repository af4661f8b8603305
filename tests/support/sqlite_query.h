// Reads results back from a transaction's SQLite engine, which
// ExecuteScriptStmt never returns: rows are discarded there.
#pragma once

#include <sqlite3.h>

#include <string>

#include "host/transaction_impl.h"
#include "kxcom/transaction.h"

namespace kxsql::testing {

// The first column of the first row of `sql` as text; empty when the
// statement fails or gives no row.
inline std::string QueryText(CKXTr& tr, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  std::string value;
  if (tr.GetImpl().db && sqlite3_prepare_v2(tr.GetImpl().db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
    value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  return value;
}

// The same as a number; -1 when there is none.
inline long long QueryInt(CKXTr& tr, const std::string& sql) {
  const std::string text = QueryText(tr, sql);
  return text.empty() ? -1 : std::stoll(text);
}

}  // namespace kxsql::testing

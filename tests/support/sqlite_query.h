// Reads results back from a transaction's SQLite engine, which
// ExecuteScriptStmt never returns: rows are discarded there.
#pragma once

#include <sqlite3.h>

#include <string>

#include "host/transaction_impl.h"
#include "kxcom/transaction.h"

namespace kxsql::testing {

// The first column of the first row of `sql` as a number; -1 when the
// statement fails or gives no row.
inline long long QueryInt(CKXTr& tr, const std::string& sql) {
  sqlite3* db = tr.GetImpl().db;
  if (db == nullptr) return -1;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return -1;
  long long value = -1;
  if (sqlite3_step(stmt) == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return value;
}

// The first column of the first row as text; empty when none.
inline std::string QueryText(CKXTr& tr, const std::string& sql) {
  sqlite3* db = tr.GetImpl().db;
  if (db == nullptr) return std::string();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return std::string();
  std::string value;
  if (sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    if (text) value = reinterpret_cast<const char*>(text);
  }
  sqlite3_finalize(stmt);
  return value;
}

}  // namespace kxsql::testing

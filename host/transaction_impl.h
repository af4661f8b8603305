// The connection handles behind CKXTr and CKXSQLStmt, shared by the SQLite
// and ODBC halves of kxcom. Internal: never installed.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "kxcom/transaction.h"

struct CKXTr::Impl {
  const DBMSTYPE* type = &DBMSTYPE::GENERIC;
  std::string dbms_name;

  // The embedded engine; null unless OpenSQLite succeeded.
  sqlite3* db = nullptr;

  // ODBC; dbc is non-null only while connected.
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  // The string the ODBC connection was made with, for ConnectDatabase.
  std::string connection_string;

  // The wrappers holding a statement handle on `dbc`. Disconnecting frees
  // every statement of the connection, so their handles are freed first and
  // the wrappers forget them.
  std::vector<CKXSQLStmt::Impl*> stmts;

  bool IsConnected() const noexcept { return db != nullptr || dbc != SQL_NULL_HDBC; }
  void Release() noexcept;
};

struct CKXSQLStmt::Impl {
  // The ODBC statement handle and the transaction whose connection made it.
  SQLHSTMT handle = SQL_NULL_HSTMT;
  CKXTr::Impl* owner = nullptr;

  // Frees the handle and leaves the owner's list.
  void Free() noexcept;
};

namespace kxcom::detail {

// Records a failure to connect as the last message, for the host to show.
void ReportConnectFailure(const char* text, const char* caption, const char* source);

// Runs every statement of `sql` on the engine. 0, or -1 at the first failure
// (its reason logged).
short ExecuteOnSQLite(CKXTr::Impl& tr, const char* sql) noexcept;
// Executes `sql` with the wrapper's statement handle and drains every result.
short ExecuteOnODBC(CKXTr::Impl& tr, CKXSQLStmt::Impl& stmt, const char* sql) noexcept;
// Frees the ODBC side of a transaction (statement handles, connection, environment).
void ReleaseODBC(CKXTr::Impl& tr) noexcept;

}  // namespace kxcom::detail

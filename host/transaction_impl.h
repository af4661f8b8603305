// The connection handles behind CKXTr and CKXSQLStmt, shared by the SQLite
// and ODBC halves of kxcom. Internal: never installed.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <atomic>
#include <mutex>
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

  unsigned int busy_timeout_ms = 5000;
  // Why the database cannot be used any more; empty while it can.
  std::string unusable_reason;

  // Cancel comes from another thread: it reads the handles below, and the
  // running execution, under this lock. Release takes it to let go of them.
  std::mutex cancel_mutex;
  bool executing = false;
  SQLHSTMT executing_handle = SQL_NULL_HSTMT;  // over ODBC, the running statement's
  bool cancel_pending = false;  // a cancel that found nothing running
  // A cancel reached the running execution. The engine polls it from its
  // progress handler: sqlite3_interrupt alone is forgotten when it comes
  // before the statement's first step.
  std::atomic<bool> interrupting{false};

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

// Marks an execution as running, so that Cancel reaches it (`handle` is the
// ODBC statement's, or null on the engine). False when a cancel came first:
// the execution must then fail without running, and the cancel is used up.
bool BeginExecution(CKXTr::Impl& tr, SQLHSTMT handle) noexcept;
void EndExecution(CKXTr::Impl& tr) noexcept;
// The log line for an execution refused by a cancel that came first.
extern const char kCancelledBeforeStart[];

// Runs every statement of `sql` on the engine. 0, or -1 at the first failure
// (its reason logged).
short ExecuteOnSQLite(CKXTr::Impl& tr, const char* sql) noexcept;
// The transaction of BeginTransaction on either connection kind; false with
// the reason as the last message.
bool BeginOnSQLite(CKXTr::Impl& tr);
bool CommitOnSQLite(CKXTr::Impl& tr);
bool RollbackOnSQLite(CKXTr::Impl& tr);
bool BeginOnODBC(CKXTr::Impl& tr);
bool EndOnODBC(CKXTr::Impl& tr, bool commit);
// CKXTr::QueryRows on either connection kind.
bool QueryOnSQLite(CKXTr::Impl& tr, const char* sql, std::vector<std::vector<std::string>>& rows);
bool QueryOnODBC(CKXTr::Impl& tr, const char* sql, std::vector<std::vector<std::string>>& rows);
// Executes `sql` with the wrapper's statement handle and drains every result;
// `texts`, when given, are the values of its parameter markers.
short ExecuteOnODBC(CKXTr::Impl& tr, CKXSQLStmt::Impl& stmt, const char* sql,
                    const std::vector<std::string>* texts = nullptr) noexcept;
// Frees the ODBC side of a transaction (statement handles, connection, environment).
void ReleaseODBC(CKXTr::Impl& tr) noexcept;

}  // namespace kxcom::detail

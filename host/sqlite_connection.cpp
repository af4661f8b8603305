// The embedded SQLite engine: opening a database and running script text on
// it the way its own shell does, statement after statement.
#include <new>
#include <string>

#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "transaction_impl.h"

namespace {

constexpr char kOpenCaption[] = "Open SQLite Database";
constexpr char kOpenSource[] = "OpenSQLite";

// A database file locked by another writer is waited for this long before
// a statement fails with "database is locked".
constexpr int kBusyTimeoutMs = 5000;

void LogEngineFailure(sqlite3* db) {
  const std::string line = std::string("SQLite: ") + sqlite3_errmsg(db);
  CKXMsg::GetInstance()->LogError(line.c_str());
}

}  // namespace

bool CKXTr::OpenSQLite(const char* path) {
  try {
    impl_->Release();
    if (path == nullptr || *path == 0) {
      kxcom::detail::ReportConnectFailure("no database file name", kOpenCaption, kOpenSource);
      return false;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      // The engine hands back a handle even on failure, so that its message can be read.
      // The caption says what failed; the text is the engine's reason alone.
      const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      if (db) sqlite3_close_v2(db);
      kxcom::detail::ReportConnectFailure(text.c_str(), kOpenCaption, kOpenSource);
      return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    impl_->db = db;
    impl_->dbms_name = "SQLite";
    impl_->type = &DBMSTYPE::SQLITE;
    return true;
  } catch (const std::bad_alloc&) {
    impl_->Release();
    kxcom::detail::ReportConnectFailure("Out of memory", kOpenCaption, kOpenSource);
    return false;
  }
}

namespace kxcom::detail {

short ExecuteOnSQLite(CKXTr::Impl& tr, const char* sql) noexcept {
  try {
    const char* rest = sql;
    while (*rest != 0) {
      sqlite3_stmt* stmt = nullptr;
      const char* next = nullptr;
      if (sqlite3_prepare_v2(tr.db, rest, -1, &stmt, &next) != SQLITE_OK) {
        LogEngineFailure(tr.db);
        return SQL_ERROR;
      }
      // No statement: the rest held only blanks and comments.
      if (stmt == nullptr) break;
      int rc = SQLITE_ROW;
      while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
      if (rc != SQLITE_DONE) {
        LogEngineFailure(tr.db);  // read before finalize, which may reset it
        sqlite3_finalize(stmt);
        return SQL_ERROR;
      }
      sqlite3_finalize(stmt);
      if (next == nullptr || next <= rest) break;
      rest = next;
    }
    return SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

}  // namespace kxcom::detail

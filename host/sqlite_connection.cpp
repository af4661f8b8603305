// The embedded SQLite engine: opening a database and running script text on
// it the way its own shell does, statement after statement.
#include <cstring>
#include <new>
#include <string>

#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "transaction_impl.h"

namespace {

constexpr char kOpenCaption[] = "Open SQLite Database";
constexpr char kOpenSource[] = "OpenSQLite";
constexpr char kTransactionCaption[] = "SQLite Transaction";

// Statements longer than this are prepared without the copy of their text
// that the engine keeps for sqlite3_sql: a statement of hundreds of
// megabytes is then not held once more.
constexpr std::size_t kSavedTextLimit = std::size_t{1} << 20;

std::string EngineFailure(sqlite3* db) { return std::string("SQLite: ") + sqlite3_errmsg(db); }

// The failures after which no later statement can succeed: the disk is full,
// the file cannot be read, written or locked, or is no database at all.
bool LeavesDatabaseUnusable(int code) {
  switch (code & 0xFF) {
    case SQLITE_FULL: case SQLITE_IOERR: case SQLITE_NOTADB: case SQLITE_CORRUPT: case SQLITE_CANTOPEN:
    case SQLITE_READONLY: case SQLITE_PERM: case SQLITE_NOMEM: case SQLITE_BUSY: case SQLITE_NOLFS:
    case SQLITE_PROTOCOL:
      return true;
    default:
      return false;
  }
}

// Logs the engine's reason for the failure with `code`, and remembers it
// when the database cannot be used any more.
void NoteEngineFailure(CKXTr::Impl& tr, int code) {
  const std::string line = EngineFailure(tr.db);
  CKXMsg::GetInstance()->LogError(line.c_str());
  if (LeavesDatabaseUnusable(code) && tr.unusable_reason.empty()) tr.unusable_reason = line;
}

// Whether the engine can use the file: reading its schema fails at once on a
// file that is not a database or is locked past the busy timeout, and a file
// that the engine could only open for reading is refused, since scripts
// write. Empty when it can; the reason otherwise.
std::string CheckUsable(sqlite3* db) {
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
    return sqlite3_errmsg(db);
  if (sqlite3_db_readonly(db, "main") == 1) return "the database file is read-only";
  return std::string();
}

// Polled by the engine every kProgressSteps steps of a statement: a cancel
// then ends it as sqlite3_interrupt does.
constexpr int kProgressSteps = 1000;
int StopWhenCancelled(void* impl) { return static_cast<CKXTr::Impl*>(impl)->interrupting.load() ? 1 : 0; }

// Runs one transaction-control statement of the engine.
bool RunControl(CKXTr::Impl& tr, const char* sql, const char* source) {
  if (tr.db == nullptr) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "not connected", kTransactionCaption, 0, source, 0);
    return false;
  }
  if (sqlite3_exec(tr.db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, sqlite3_errmsg(tr.db), kTransactionCaption, 0, source, 0);
  return false;
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
    std::string failure;
    if (rc != SQLITE_OK) {
      // The engine hands back a handle even on failure, so that its message can be read.
      // The caption says what failed; the text is the engine's reason alone.
      failure = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    } else {
      sqlite3_busy_timeout(db, static_cast<int>(impl_->busy_timeout_ms));
      sqlite3_extended_result_codes(db, 1);
      sqlite3_progress_handler(db, kProgressSteps, StopWhenCancelled, impl_.get());
      failure = CheckUsable(db);
    }
    if (!failure.empty()) {
      if (db) sqlite3_close_v2(db);
      kxcom::detail::ReportConnectFailure(failure.c_str(), kOpenCaption, kOpenSource);
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(impl_->cancel_mutex);
      impl_->db = db;
    }
    impl_->dbms_name = "SQLite";
    impl_->type = &DBMSTYPE::SQLITE;
    return true;
  } catch (const std::bad_alloc&) {
    impl_->Release();
    kxcom::detail::ReportConnectFailure("Out of memory", kOpenCaption, kOpenSource);
    return false;
  }
}

void CKXTr::SetBusyTimeout(unsigned int milliseconds) noexcept {
  constexpr unsigned int kLongest = 0x7FFFFFFF;
  impl_->busy_timeout_ms = milliseconds < kLongest ? milliseconds : kLongest;
  if (impl_->db != nullptr) sqlite3_busy_timeout(impl_->db, static_cast<int>(impl_->busy_timeout_ms));
}

namespace kxcom::detail {

bool BeginOnSQLite(CKXTr::Impl& tr) { return RunControl(tr, "BEGIN", "BeginTransaction"); }
bool CommitOnSQLite(CKXTr::Impl& tr) { return RunControl(tr, "COMMIT", "CommitTransaction"); }
bool RollbackOnSQLite(CKXTr::Impl& tr) {
  // Some failures (a full disk, an interrupt) make the engine roll back by
  // itself: then there is nothing left to undo.
  if (tr.db != nullptr && sqlite3_get_autocommit(tr.db) != 0) return true;
  return RunControl(tr, "ROLLBACK", "RollbackTransaction");
}

bool QueryOnSQLite(CKXTr::Impl& tr, const char* sql, std::vector<std::vector<std::string>>& rows) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(tr.db, sql, -1, &stmt, nullptr);
  struct Finalize {
    sqlite3_stmt* stmt;
    ~Finalize() { sqlite3_finalize(stmt); }
  } finalize{stmt};
  if (rc == SQLITE_OK && stmt != nullptr) {
    const int columns = sqlite3_column_count(stmt);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int c = 0; c < columns; ++c) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
      }
    }
  }
  if (rc == SQLITE_OK || rc == SQLITE_DONE) return true;
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, sqlite3_errmsg(tr.db), "SQLite", 0, "QueryRows", 0);
  return false;
}

short ExecuteOnSQLite(CKXTr::Impl& tr, const char* sql) noexcept {
  try {
    if (!BeginExecution(tr, nullptr)) {
      CKXMsg::GetInstance()->LogError(kCancelledBeforeStart);
      return SQL_ERROR;
    }
    struct Running {
      CKXTr::Impl& tr;
      ~Running() { EndExecution(tr); }
    } running{tr};
    const char* rest = sql;
    const char* const end = sql + std::strlen(sql);
    while (*rest != 0) {
      sqlite3_stmt* stmt = nullptr;
      const char* next = nullptr;
      // The length -1 reads up to the terminator: with any other the engine
      // copies a text that does not include it.
      const int prepared = static_cast<std::size_t>(end - rest) <= kSavedTextLimit
                               ? sqlite3_prepare_v2(tr.db, rest, -1, &stmt, &next)
                               : sqlite3_prepare(tr.db, rest, -1, &stmt, &next);
      if (prepared != SQLITE_OK) {
        NoteEngineFailure(tr, sqlite3_extended_errcode(tr.db));
        return SQL_ERROR;
      }
      // No statement: the rest held only blanks and comments.
      if (stmt == nullptr) break;
      int rc = SQLITE_ROW;
      while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
      if (rc != SQLITE_DONE) {
        // The reset gives the specific failure also for a statement prepared
        // without its text; the reason is read before finalize may reset it.
        const int code = sqlite3_reset(stmt);
        NoteEngineFailure(tr, code != SQLITE_OK ? code : rc);
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

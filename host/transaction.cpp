// CKXTr and CKXSQLStmt: what both connection kinds share. The engine side is
// in sqlite_connection.cpp, the driver side in odbc_connection.cpp.
#include "kxcom/transaction.h"

#include <algorithm>
#include <new>

#include "kxcom/message.h"
#include "transaction_impl.h"

void CKXTr::Impl::Release() noexcept {
  sqlite3* engine = nullptr;
  {
    // Cancel must not reach handles that are going away.
    std::lock_guard<std::mutex> lock(cancel_mutex);
    engine = db;
    db = nullptr;
    executing = false;
    executing_handle = SQL_NULL_HSTMT;
    cancel_pending = false;
  }
  kxcom::detail::ReleaseODBC(*this);
  if (engine != nullptr) {
    // Every engine statement is finalized right after its use, so the
    // handle closes at once.
    sqlite3_close_v2(engine);
  }
  dbms_name.clear();
  unusable_reason.clear();
}

CKXTr::CKXTr() : impl_(new Impl) {}
CKXTr::~CKXTr() { impl_->Release(); }

void CKXTr::Disconnect() noexcept { impl_->Release(); }
bool CKXTr::IsConnected() const noexcept { return impl_->IsConnected(); }
bool CKXTr::IsEmbedded() const noexcept { return impl_->db != nullptr; }
const DBMSTYPE& CKXTr::GetDBMSType() const noexcept { return *impl_->type; }
void CKXTr::SetDBMSType(const DBMSTYPE& type) noexcept { impl_->type = &type; }
const char* CKXTr::GetDBMSName() const noexcept { return impl_->dbms_name.c_str(); }
bool CKXTr::IsUnusable() const noexcept { return !impl_->unusable_reason.empty(); }
const char* CKXTr::GetUnusableReason() const noexcept { return impl_->unusable_reason.c_str(); }

bool CKXTr::BeginTransaction() {
  return impl_->db != nullptr ? kxcom::detail::BeginOnSQLite(*impl_) : kxcom::detail::BeginOnODBC(*impl_);
}
bool CKXTr::CommitTransaction() {
  return impl_->db != nullptr ? kxcom::detail::CommitOnSQLite(*impl_) : kxcom::detail::EndOnODBC(*impl_, true);
}
bool CKXTr::RollbackTransaction() {
  return impl_->db != nullptr ? kxcom::detail::RollbackOnSQLite(*impl_) : kxcom::detail::EndOnODBC(*impl_, false);
}

bool CKXTr::QueryRows(const char* sql, std::vector<std::vector<std::string>>& rows) {
  rows.clear();
  if (sql == nullptr || !impl_->IsConnected()) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "not connected", "Query", 0, "QueryRows", 0);
    return false;
  }
  try {
    return impl_->db != nullptr ? kxcom::detail::QueryOnSQLite(*impl_, sql, rows)
                                : kxcom::detail::QueryOnODBC(*impl_, sql, rows);
  } catch (const std::bad_alloc&) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "out of memory", "Query", 0, "QueryRows", 0);
    return false;
  }
}

void CKXTr::Cancel() noexcept {
  Impl& tr = *impl_;
  std::lock_guard<std::mutex> lock(tr.cancel_mutex);
  if (!tr.executing) {
    tr.cancel_pending = true;  // for the next execution; a new connection forgets it
    return;
  }
  // Both calls are made for exactly this: to be called while another
  // thread waits in the statement.
  tr.interrupting = true;
  if (tr.db != nullptr) sqlite3_interrupt(tr.db);
  if (tr.executing_handle != SQL_NULL_HSTMT) SQLCancel(tr.executing_handle);
}

void CKXSQLStmt::Impl::Free() noexcept {
  if (owner != nullptr) {
    std::vector<CKXSQLStmt::Impl*>& list = owner->stmts;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    owner = nullptr;
  }
  if (handle != SQL_NULL_HSTMT) {
    SQLFreeHandle(SQL_HANDLE_STMT, handle);
    handle = SQL_NULL_HSTMT;
  }
}

CKXSQLStmt::CKXSQLStmt(int /*reserved*/) : impl_(new Impl) {}
CKXSQLStmt::~CKXSQLStmt() { impl_->Free(); }

namespace kxcom::detail {

const char kCancelledBeforeStart[] = "Cancelled before it started";

bool BeginExecution(CKXTr::Impl& tr, SQLHSTMT handle) noexcept {
  std::lock_guard<std::mutex> lock(tr.cancel_mutex);
  if (tr.cancel_pending) {
    tr.cancel_pending = false;
    return false;
  }
  tr.executing = true;
  tr.executing_handle = handle;
  tr.interrupting = false;
  return true;
}

void EndExecution(CKXTr::Impl& tr) noexcept {
  std::lock_guard<std::mutex> lock(tr.cancel_mutex);
  tr.executing = false;
  tr.executing_handle = SQL_NULL_HSTMT;
  tr.interrupting = false;
}

void ReportConnectFailure(const char* text, const char* caption, const char* source) {
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, text, caption, 0, source, 0);
}

}  // namespace kxcom::detail

// CKXTr and CKXSQLStmt: what both connection kinds share. The engine side is
// in sqlite_connection.cpp, the driver side in odbc_connection.cpp.
#include "kxcom/transaction.h"

#include <algorithm>

#include "kxcom/message.h"
#include "transaction_impl.h"

void CKXTr::Impl::Release() noexcept {
  kxcom::detail::ReleaseODBC(*this);
  if (db != nullptr) {
    // Every engine statement is finalized right after its use, so the
    // handle closes at once.
    sqlite3_close_v2(db);
    db = nullptr;
  }
  dbms_name.clear();
}

CKXTr::CKXTr() : impl_(new Impl) {}
CKXTr::~CKXTr() { impl_->Release(); }

void CKXTr::Disconnect() noexcept { impl_->Release(); }
bool CKXTr::IsConnected() const noexcept { return impl_->IsConnected(); }
bool CKXTr::IsEmbedded() const noexcept { return impl_->db != nullptr; }
const DBMSTYPE& CKXTr::GetDBMSType() const noexcept { return *impl_->type; }
void CKXTr::SetDBMSType(const DBMSTYPE& type) noexcept { impl_->type = &type; }
const char* CKXTr::GetDBMSName() const noexcept { return impl_->dbms_name.c_str(); }

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

void ReportConnectFailure(const char* text, const char* caption, const char* source) {
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, text, caption, 0, source, 0);
}

}  // namespace kxcom::detail

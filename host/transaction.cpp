// Placeholder until connections land.
#include "kxcom/transaction.h"

struct CKXTr::Impl {
  const DBMSTYPE* type = &DBMSTYPE::GENERIC;
};
CKXTr::CKXTr() : impl_(new Impl) {}
CKXTr::~CKXTr() = default;
bool CKXTr::OpenSQLite(const char*) { return false; }
bool CKXTr::Connect(const char*) { return false; }
void CKXTr::Disconnect() noexcept {}
bool CKXTr::IsConnected() const noexcept { return false; }
const DBMSTYPE& CKXTr::GetDBMSType() const noexcept { return *impl_->type; }
void CKXTr::SetDBMSType(const DBMSTYPE& type) noexcept { impl_->type = &type; }
const char* CKXTr::GetDBMSName() const noexcept { return ""; }

struct CKXSQLStmt::Impl {};
CKXSQLStmt::CKXSQLStmt(int) : impl_(new Impl) {}
CKXSQLStmt::~CKXSQLStmt() = default;

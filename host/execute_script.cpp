// DBMSTYPE::ExecuteScriptStmt: hands one statement's text to whichever
// connection the transaction holds. The DBMS type chooses the dialect, not
// the engine: an Oracle-flavoured script split on an SQLite connection still
// runs on SQLite.
#include "kxcom/dbms_type.h"
#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "transaction_impl.h"

short DBMSTYPE::ExecuteScriptStmt(CKXSQLStmt& stmt, CKXTr* tr, const char* sql) const noexcept {
  try {
    if (tr == nullptr || !tr->IsConnected()) {
      CKXMsg::GetInstance()->LogError("Cannot execute a statement: the transaction is not connected");
      return SQL_ERROR;
    }
    if (sql == nullptr) {
      CKXMsg::GetInstance()->LogError("Cannot execute a statement: no SQL text");
      return SQL_ERROR;
    }
    CKXTr::Impl& connection = tr->GetImpl();
    if (connection.db != nullptr) return kxcom::detail::ExecuteOnSQLite(connection, sql);
    return kxcom::detail::ExecuteOnODBC(connection, stmt.GetImpl(), sql);
  } catch (...) {
    return SQL_ERROR;
  }
}

short CKXTr::ExecuteWithTexts(CKXSQLStmt& stmt, const char* sql, const std::vector<std::string>& texts) noexcept {
  if (!IsConnected() || sql == nullptr) {
    CKXMsg::GetInstance()->LogError("Cannot execute a statement: the transaction is not connected");
    return SQL_ERROR;
  }
  if (IsEmbedded()) {
    CKXMsg::GetInstance()->LogError("Cannot execute a statement with parameters on the embedded engine");
    return SQL_ERROR;
  }
  return kxcom::detail::ExecuteOnODBC(GetImpl(), stmt.GetImpl(), sql, &texts);
}

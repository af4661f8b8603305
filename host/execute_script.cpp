// Placeholder until connections land.
#include "kxcom/dbms_type.h"
#include "kxcom/transaction.h"

short DBMSTYPE::ExecuteScriptStmt(CKXSQLStmt&, CKXTr*, const char*) const noexcept { return -1; }

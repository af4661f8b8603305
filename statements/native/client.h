// The command-line client whose rules cut a dialect under the native rules,
// and whose commands the runner performs.
#pragma once

#include "kxcom/dbms_type.h"

namespace kxsql::detail {

enum class Client : unsigned char {
  kClassic,      // Informix, Access, GENERIC: the classic rules
  kPsql,         // PostgreSQL
  kSqliteShell,  // SQLite
  kMysql,        // MySQL, MariaDB
  kSqlPlus,      // Oracle
  kSqlcmd,       // SQL Server, Sybase
  kDb2Clp,       // DB2
};

inline Client ClientFor(const DBMSTYPE& dbms) noexcept {
  const DBMSGroup& group = dbms.GetGroup();
  if (group == DBMSGroup::Postgres) return Client::kPsql;
  if (group == DBMSGroup::SQLite) return Client::kSqliteShell;
  if (group == DBMSGroup::MySQL) return Client::kMysql;
  if (group == DBMSGroup::Oracle) return Client::kSqlPlus;
  if (group == DBMSGroup::SqlServer) return Client::kSqlcmd;
  if (group == DBMSGroup::DB2) return Client::kDb2Clp;
  return Client::kClassic;
}

}  // namespace kxsql::detail

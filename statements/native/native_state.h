// What the native rules keep between two calls on a stream: the client whose
// rules apply, the input with what it has read ahead, and each client's own
// state (mysql's DELIMITER, the DB2 CLP's terminator, a statement that a
// client command interrupted, the rows of a long COPY still to come).
#pragma once

#include "kxcom/dbms_type.h"
#include "statements/native/client.h"
#include "statements/native/lexing.h"
#include "statements/native/native_input.h"
#include "statements/native/db2_clp.ipp"
#include "statements/native/mysql_client.ipp"
#include "statements/native/psql.ipp"
#include "statements/native/sqlcmd.ipp"
#include "statements/native/sqlite_shell.ipp"
#include "statements/native/sqlplus.ipp"

namespace kxsql::detail {

template <class T>
struct NativeState {
  // The dialect of the last GetNextStmt (or the one SetSplitRules named):
  // GetToken lexes as its client does.
  const DBMSTYPE* dialect = nullptr;
  NativeInput<T> input;
  bool at_line_start = true;
  // What the last statement's end of input left open, if anything.
  OpenAtEnd open_at_end;
  // A statement that a client command inside it interrupted; it goes on
  // with the next call.
  SQLStmtT<T> interrupted;
  bool has_interrupted = false;
  typename PsqlRules<T>::State psql;
  typename SqliteShellRules<T>::State sqlite;
  typename MysqlRules<T>::State mysql;
  typename SqlPlusRules<T>::State sqlplus;
  typename Db2ClpRules<T>::State db2;
};

}  // namespace kxsql::detail

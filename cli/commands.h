// The tool's subcommands. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "kxsql.h"

namespace kxsql::cli {

struct TokensOptions {
  std::string input = "-";
  const DBMSTYPE* dialect = &DBMSTYPE::GENERIC;
  int rules = KXSQL_RULES_NATIVE;
  bool json = false;
};

struct SplitOptions {
  std::string input = "-";
  const DBMSTYPE* dialect = &DBMSTYPE::GENERIC;
  int rules = KXSQL_RULES_NATIVE;
  std::string separator;  // empty: the dialect rules apply
  bool own_line = false;
  bool json = false;
};

struct RunOptions {
  std::vector<std::string> inputs;
  std::string connect;                 // an ODBC connection string, or empty
  std::string sqlite_path = "kxsql.db";
  const DBMSTYPE* dialect = nullptr;   // null: the connection's
  int rules = KXSQL_RULES_NATIVE;
  std::vector<std::pair<std::string, std::string>> variables;  // --var NAME=VALUE
  unsigned int max_errors = 4294967295u;
  unsigned int busy_timeout_ms = 5000;  // SQLite: how long a locked database is waited for
  bool single_transaction = false;     // all or nothing: commit only when every statement succeeded
  bool quiet = false;
};

int RunTokens(const TokensOptions& options);
int RunSplit(const SplitOptions& options);
int RunScripts(const RunOptions& options);

// Reports a failure of the tool itself as one line on standard error.
void PrintError(const std::string& message);

// Says on standard error that the script `name` ends inside an open comment,
// string, quoted name or block, when `stmt`, its last statement, does;
// `first_line` is where the statement's text begins. `tr` gives the dialect;
// with a caller's separator (`sep` not null) only comments and quotes count.
// Under the native rules the splitter itself tells what the end left open.
class ScriptFile;
void WarnIfLeftOpen(const std::string& name, const SQLStmtT<char>& stmt, ScriptFile& file, const CKXTr& tr,
                    const STMTSEP* sep);

}  // namespace kxsql::cli

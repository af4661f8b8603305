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
  bool quiet = false;
};

int RunTokens(const TokensOptions& options);
int RunSplit(const SplitOptions& options);
int RunScripts(const RunOptions& options);

// Reports a failure of the tool itself as one line on standard error.
void PrintError(const std::string& message);

}  // namespace kxsql::cli

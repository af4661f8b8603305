// Running a script as `kxsql run` does, for the module's run(): on a worker
// thread, while the calling thread waits without the GIL and turns Python's
// KeyboardInterrupt into a stop between statements and a cancel of the
// running one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/script_input.h"
#include "kxsql.h"

namespace kxsql::python {

struct RunRequest {
  // The script: open, reading stops at a NUL character.
  std::unique_ptr<kxsql::cli::ScriptFile> script;
  std::string script_path;  // empty for a script held in memory
  std::string sqlite;       // an SQLite database file, or
  std::string connect;      // an ODBC connection string
  const DBMSTYPE* dialect = nullptr;  // null: the connection's
  int rules = KXSQL_RULES_NATIVE;
  unsigned int max_errors = 4294967295u;
  std::vector<std::pair<std::string, std::string>> variables;
};

struct RunFailure {
  std::string statement;
  unsigned long long line = 0;
  std::string reason;
  std::string file;  // empty for the script held in memory
};

struct RunOutcome {
  std::uint64_t statements = 0;
  unsigned int errors = 0;
  bool completed = false;  // the end of the script was reached
  bool stopped = false;    // stopped by KeyboardInterrupt
  std::string reason;      // why the run ended early; empty when completed
  std::vector<RunFailure> failures;
  std::vector<std::string> output;  // what the script echoed (\echo, .print, PROMPT)
};

// Called every few milliseconds while the script runs, on the calling
// thread: true asks the run to stop (the statement running is cancelled).
using StopCheck = std::function<bool()>;

// Connects and runs. False when the database cannot be opened or connected,
// with the reason in `error`; the script is then not run.
bool RunScript(RunRequest& request, const StopCheck& should_stop, RunOutcome& outcome, std::string& error);

}  // namespace kxsql::python

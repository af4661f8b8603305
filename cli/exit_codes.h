// The tool's exit codes, as `kxsql --help` and the README list them.
#pragma once

namespace kxsql::cli {

enum ExitCode : int {
  kExitOk = 0,            // every statement succeeded
  kExitSomeFailed = 1,    // some statements failed, below the error limit
  kExitFailed = 2,        // the error limit was reached, or a script or database could not be used
  kExitUsage = 64,        // the command line was wrong
  kExitInterrupted = 130, // stopped by Ctrl-C (SIGINT)
  kExitTerminated = 143,  // stopped by SIGTERM
};

}  // namespace kxsql::cli

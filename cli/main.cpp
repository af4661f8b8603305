// kxsql: tokenize, split and run SQL scripts from the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "kxsql/version.h"

namespace kxsql::cli {

void PrintError(const std::string& message) {
  std::fprintf(stderr, "kxsql: %s\n", message.c_str());
  std::fflush(stderr);
}

namespace {

constexpr const char* kDialects =
    "oracle, db2, informix, sqlserver, sybase, postgres, access, sqlite, mysql, generic";

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0    every statement succeeded\n"
    "  1    some statements failed, below the error limit\n"
    "  2    the error limit was reached, a statement failed under --single-transaction,\n"
    "       or a script, the database or the output could not be used\n"
    "  64   the command line was wrong\n"
    "  130  interrupted (Ctrl-C): the running statement is cancelled and the run stops\n"
    "  143  stopped by SIGTERM, as by Ctrl-C";

constexpr const char* kCommands[] = {"tokens", "split", "run"};

// An option's value that must not be empty: an unset shell variable would
// otherwise quietly choose the default.
CLI::Validator NotEmpty() {
  return CLI::Validator([](std::string& value) { return value.empty() ? std::string("must not be empty") : ""; },
                        "");
}

// A whole number from `low` to `high`, said so when it is not.
CLI::Validator WholeNumber(unsigned long long low, unsigned long long high) {
  return CLI::Validator(
      [low, high](std::string& value) {
        const std::string range = std::to_string(low) + " to " + std::to_string(high);
        char* end = nullptr;
        errno = 0;
        const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
        if (value.empty() || *end != 0 || value[0] == '-' || errno == ERANGE)
          return "'" + value + "' is not a number (give a whole number from " + range + ")";
        if (n < low || n > high) return value + " is out of range (give a whole number from " + range + ")";
        return std::string();
      },
      "");
}

// Turns a dialect name into its DBMS type, for CLI11's option checks.
CLI::Validator DialectName() {
  return CLI::Validator(
      [](std::string& name) {
        return DBMSTYPE::FromName(name.c_str()) ? std::string() : "unknown dialect '" + name + "' (one of " + kDialects + ")";
      },
      "DIALECT");
}

// The rule sets by name, for --rules.
const std::map<std::string, int> kRuleSets = {{"native", KXSQL_RULES_NATIVE}, {"classic", KXSQL_RULES_CLASSIC}};
constexpr const char* kRulesHelp =
    "native: cut as the dialect's own client (psql, sqlite3, mysql, SQL*Plus, sqlcmd, the DB2 CLP) cuts; "
    "classic: the library's original rules";

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app{"kxsql " KXSQL_VERSION_STRING ": tokenize, split and run SQL scripts, aware of the database's dialect"};
  app.footer(kExitCodes);
  app.set_version_flag("--version", "kxsql " KXSQL_VERSION_STRING);
  app.require_subcommand(1);

  TokensOptions tokens;
  CLI::App* tokens_cmd = app.add_subcommand("tokens", "Print the tokens of a script, one a line: TYPE<TAB>text");
  tokens_cmd->add_option("FILE", tokens.input, "script file, or - for standard input")->capture_default_str();
  std::string tokens_dialect = "generic";
  tokens_cmd->add_option("--dialect", tokens_dialect, std::string("lex as this dialect's client: ") + kDialects)
      ->check(DialectName())
      ->capture_default_str();
  tokens_cmd->add_option("--rules", tokens.rules, kRulesHelp)
      ->transform(CLI::CheckedTransformer(kRuleSets, CLI::ignore_case));
  tokens_cmd->add_flag("--json", tokens.json, "one JSON object a token (JSON Lines)");

  SplitOptions split;
  std::string split_dialect = "generic";
  CLI::App* split_cmd = app.add_subcommand("split", "Print the statements of a script, numbered, with their text");
  split_cmd->add_option("FILE", split.input, "script file, or - for standard input")->capture_default_str();
  split_cmd->add_option("--dialect", split_dialect, std::string("the dialect's rules: ") + kDialects)
      ->check(DialectName())
      ->capture_default_str();
  split_cmd->add_option("--rules", split.rules, kRulesHelp)
      ->transform(CLI::CheckedTransformer(kRuleSets, CLI::ignore_case));
  CLI::Option* separator =
      split_cmd->add_option("--separator", split.separator, "end statements at this word (or ; / $) instead")
          ->check(NotEmpty());
  split_cmd->add_flag("--own-line", split.own_line, "the separator stands on a line of its own")->needs(separator);
  split_cmd->add_flag("--json", split.json, "one JSON object a statement (JSON Lines)");

  RunOptions run;
  std::string run_dialect, max_errors, busy_timeout;
  CLI::App* run_cmd = app.add_subcommand("run", "Run scripts statement by statement over a database connection");
  run_cmd->add_option("FILE", run.inputs, "script files, or - for standard input")->required();
  CLI::Option* connect =
      run_cmd->add_option("--connect", run.connect, "an ODBC connection string")->check(NotEmpty());
  CLI::Option* sqlite = run_cmd->add_option("--sqlite", run.sqlite_path, "an SQLite database file (the default)")
                            ->capture_default_str()
                            ->check(NotEmpty());
  connect->excludes(sqlite);
  run_cmd->add_option("--dialect", run_dialect, std::string("split as this dialect, not the connection's: ") + kDialects)
      ->check(DialectName());
  run_cmd->add_option("--rules", run.rules, kRulesHelp)
      ->transform(CLI::CheckedTransformer(kRuleSets, CLI::ignore_case));
  std::vector<std::string> variables;
  run_cmd->add_option("--var", variables,
                      "set a variable of the script's client, as psql -v, sqlcmd -v or SQL*Plus DEFINE (NAME=VALUE; "
                      "may repeat)");
  run_cmd->add_option("--max-errors", max_errors,
                      "stop once this many statements have failed, 1 or more (default: never)")
      ->check(WholeNumber(1, 4294967294ULL))
      ->type_name("N");
  run_cmd
      ->add_option("--busy-timeout", busy_timeout,
                   "SQLite: wait this many milliseconds for a database locked by another program (default 5000)")
      ->check(WholeNumber(0, 2147483647ULL))
      ->type_name("MS")
      ->excludes(connect);
  run_cmd->add_flag("--single-transaction", run.single_transaction,
                    "run everything in one transaction: committed only when every statement succeeded, "
                    "rolled back at the first failure or stop");
  run_cmd->add_flag("--quiet", run.quiet, "no progress and no summary; failures are still shown");

  // CLI11 would only say that a command is missing.
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const char* command : kCommands) known = known || std::strcmp(argv[1], command) == 0;
    if (!known) {
      PrintError(std::string("unknown command '") + argv[1] + "' (one of tokens, split, run; see kxsql --help)");
      return kExitUsage;
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    PrintError(std::string(e.what()) + " (see kxsql --help)");
    return kExitUsage;
  }

  try {
    if (*tokens_cmd) {
      tokens.dialect = DBMSTYPE::FromName(tokens_dialect.c_str());
      return RunTokens(tokens);
    }
    if (*split_cmd) {
      split.dialect = DBMSTYPE::FromName(split_dialect.c_str());
      return RunSplit(split);
    }
    if (!run_dialect.empty()) run.dialect = DBMSTYPE::FromName(run_dialect.c_str());
    if (!max_errors.empty()) run.max_errors = static_cast<unsigned int>(std::stoull(max_errors));
    if (!busy_timeout.empty()) run.busy_timeout_ms = static_cast<unsigned int>(std::stoull(busy_timeout));
    for (const std::string& variable : variables) {
      const std::size_t equals = variable.find('=');
      if (equals == std::string::npos || equals == 0) {
        PrintError("--var takes NAME=VALUE, not '" + variable + "'");
        return kExitUsage;
      }
      run.variables.emplace_back(variable.substr(0, equals), variable.substr(equals + 1));
    }
    std::size_t stdin_uses = 0;
    for (const std::string& input : run.inputs) stdin_uses += input == "-";
    if (stdin_uses > 1) {
      PrintError("standard input (-) can be named only once");
      return kExitUsage;
    }
    return RunScripts(run);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitFailed;
  }
}

}  // namespace kxsql::cli

#if defined(__SANITIZE_ADDRESS__)
// Under LeakSanitizer (make sanitize): MariaDB's ODBC driver keeps a
// kilobyte of its own until the process ends; it is not the tool's to free.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libmaodbc.so\n";
}
// ...and says nothing about it, so that the tool's error output stays the tool's.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif

int main(int argc, char** argv) { return kxsql::cli::Main(argc, argv); }

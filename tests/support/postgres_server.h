// A throwaway PostgreSQL server for integration tests: its own cluster in a
// temporary folder, listening on a free loopback port, stopped and removed
// when the object goes away.
//
//   kxsql::testing::PostgresServer server;
//   if (!server.Start()) GTEST_SKIP() << server.Error();   // or FAIL, see Unavailable()
//   tr.Connect(server.ConnectionString().c_str());
//
// The server binaries are looked for in KXSQL_PG_BINDIR, then in the
// distribution's usual place (/usr/lib/postgresql/<version>/bin). Run
// as root, the server runs as the `postgres` system user, since PostgreSQL
// refuses to run as root. The ODBC driver is "PostgreSQL Unicode" unless
// KXSQL_PG_ODBC_DRIVER names another (a driver name or a library path).
// While the server runs, ODBCSYSINI points at a copy of the driver's
// registration with its file logging off; programs started meanwhile
// inherit it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kxsql::testing {

class PostgresServer {
 public:
  PostgresServer() = default;
  ~PostgresServer() { Stop(); }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // Makes the cluster and starts the server with these "name=value"
  // settings too; false when it cannot, with the reason in Error().
  bool Start(const std::vector<std::string>& settings = {});
  // Stops the server at once and removes its folder; safe to call twice.
  void Stop() noexcept;

  bool IsRunning() const { return running_; }
  // True when Start failed because PostgreSQL is not installed here (a
  // reason to skip), rather than because it failed to start.
  bool Unavailable() const { return unavailable_; }
  const std::string& Error() const { return error_; }

  // An ODBC connection string for `database` on this server.
  std::string ConnectionString(const std::string& database = "postgres") const;
  // Runs `sql` with psql and returns its rows, one per line, columns
  // separated by '|' (psql's unaligned, tuples-only output); on failure sets
  // `ok` to false and returns psql's error text.
  std::string Query(const std::string& sql, bool* ok = nullptr, const std::string& database = "postgres") const;
  // A program of the server's (psql, pg_dump), and the arguments that both
  // take to reach `database` here.
  std::string Program(const std::string& name) const { return bin_dir_ + "/" + name; }
  std::vector<std::string> ConnectArgs(const std::string& database) const;
  // What the server has logged so far (its settings say what it logs).
  std::string Log() const;

 private:
  // Runs a server program as the cluster's owner; returns its exit code
  // (-1 when it could not run) and its output in `output`.
  int RunServerProgram(const std::string& program, const std::vector<std::string>& args, std::string* output) const;
  bool Fail(std::string error, bool unavailable = false);
  void QuietDriverLog();

  std::string bin_dir_, folder_, error_;
  std::vector<std::string> run_as_;  // the command that leaves root, when we are root
  int port_ = 0;
  bool running_ = false, unavailable_ = false;
  pid_t pid_ = -1;
  bool odbcsysini_set_ = false;
  std::optional<std::string> saved_odbcsysini_;  // ODBCSYSINI as it was before Start
};

}  // namespace kxsql::testing

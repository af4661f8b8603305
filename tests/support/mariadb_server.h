// A throwaway MariaDB server for integration tests: a data folder made by
// mariadb-install-db in a temporary folder, the server listening on a unix
// socket there and on a free loopback port, killed and removed when the
// object goes away.
//
//   kxsql::testing::MariadbServer server;
//   if (!server.Start()) GTEST_SKIP() << server.Error();   // or FAIL, see Unavailable()
//   tr.Connect(server.ConnectionString().c_str());
//
// Run as root, the server runs as the `mysql` system user (mariadbd refuses
// root). It dies with the thread that started it, so that a test that
// crashes leaves no server behind. The ODBC driver is MariaDB Connector/ODBC
// (libmaodbc.so, looked for in the usual library folders) unless
// KXSQL_MARIADB_ODBC_DRIVER names another (a driver name or a library path).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kxsql::testing {

class MariadbServer {
 public:
  MariadbServer() = default;
  ~MariadbServer() { Stop(); }
  MariadbServer(const MariadbServer&) = delete;
  MariadbServer& operator=(const MariadbServer&) = delete;

  // Makes the data folder and starts the server, with a database `test`;
  // with `general_log`, every query goes to GeneralLog(). False when it
  // cannot, with the reason in Error().
  bool Start(bool general_log = false);
  // Kills the server and removes its folder; safe to call twice.
  void Stop() noexcept;

  bool IsRunning() const { return pid_ > 0; }
  // True when Start failed because MariaDB is not installed here (a reason
  // to skip), rather than because it failed to start.
  bool Unavailable() const { return unavailable_; }
  const std::string& Error() const { return error_; }

  // An ODBC connection string for `database`, with several statements
  // allowed in one call; empty when no driver is found.
  std::string ConnectionString(const std::string& database = "test") const;
  // Runs `sql` with the mariadb client and returns its rows, one per line,
  // columns separated by tabs; on failure sets `ok` to false and returns the
  // client's error text.
  std::string Query(const std::string& sql, bool* ok = nullptr, const std::string& database = "test") const;
  // The command line of a client program (mariadb, mariadb-dump) that
  // reaches this server as root; add the database and options.
  std::vector<std::string> Client(const std::string& program = "mariadb") const;
  // The general query log so far.
  std::string GeneralLog() const;

 private:
  bool Fail(std::string error, bool unavailable = false);
  bool Launch(const std::vector<std::string>& argv, uid_t uid, gid_t gid);
  void Kill() noexcept;

  std::string folder_, error_, server_, client_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool unavailable_ = false;
};

}  // namespace kxsql::testing

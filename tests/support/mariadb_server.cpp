#include "support/mariadb_server.h"

#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/local_server.h"

namespace kxsql::testing {
namespace {

// A small server: the redo log and buffer pool need not be the defaults'
// hundreds of megabytes.
const char* const kSizes[] = {"--innodb-log-file-size=8M", "--innodb-buffer-pool-size=32M"};

// MariaDB Connector/ODBC's library, wherever the distribution puts it.
std::string FindDriver() {
  if (const char* driver = std::getenv("KXSQL_MARIADB_ODBC_DRIVER"); driver && *driver)
    return std::strchr(driver, '/') ? driver : std::string("{") + driver + "}";
  for (const char* pattern : {"/usr/lib/*/odbc/libmaodbc.so", "/usr/lib*/odbc/libmaodbc.so", "/usr/lib/*/libmaodbc.so",
                              "/usr/lib*/libmaodbc.so", "/usr/local/lib*/libmaodbc.so"}) {
    glob_t found{};
    const bool any = ::glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    const std::string path = any ? found.gl_pathv[0] : "";
    ::globfree(&found);
    if (any) return path;
  }
  return "";
}

}  // namespace

bool MariadbServer::Fail(std::string error, bool unavailable) {
  error_ = std::move(error);
  unavailable_ = unavailable;
  Stop();
  return false;
}

bool MariadbServer::Launch(const std::vector<std::string>& argv, uid_t uid, gid_t gid) {
  pid_ = LaunchServer(argv, uid, gid, folder_ + "/server.out");
  return pid_ > 0;
}

bool MariadbServer::Start(bool general_log) {
  if (IsRunning()) return true;
  unavailable_ = false;
  const std::string install = FindProgram("mariadb-install-db");
  server_ = FindProgram("mariadbd");
  client_ = FindProgram("mariadb");
  if (install.empty() || server_.empty() || client_.empty())
    return Fail("MariaDB programs (mariadb-install-db, mariadbd, mariadb) not found; install the mariadb-server and "
                "mariadb-client packages",
                true);
  const passwd* owner = nullptr;
  if (::geteuid() == 0 && (owner = ::getpwnam("mysql")) == nullptr)
    return Fail("running as root and there is no 'mysql' user to run the server as", true);
  if ((folder_ = MakeTempFolder("kxsql-mariadb", true)).empty())
    return Fail("cannot make a temporary folder for the server");
  if (owner && ::chown(folder_.c_str(), owner->pw_uid, owner->pw_gid) != 0)
    return Fail("cannot hand the temporary folder to the 'mysql' user");

  const std::string data = "--datadir=" + folder_ + "/data";
  std::vector<std::string> argv = {install, "--no-defaults", data, "--auth-root-authentication-method=normal",
                                   "--skip-test-db", kSizes[0], kSizes[1]};
  if (owner) argv.push_back("--user=mysql");
  std::string output;
  if (RunProgram(argv, folder_, &output) != 0) return Fail("mariadb-install-db failed: " + output);

  // A free port may be taken before the server binds it: a new one is tried.
  const std::string socket = folder_ + "/mariadbd.sock";
  for (int attempt = 0; attempt < 3 && !IsRunning(); ++attempt) {
    port_ = FreeLoopbackPort();
    argv = {server_, "--no-defaults", data, "--socket=" + socket, "--port=" + std::to_string(port_),
            "--bind-address=127.0.0.1", "--skip-name-resolve", "--pid-file=" + folder_ + "/mariadbd.pid",
            "--log-error=" + folder_ + "/error.log", kSizes[0], kSizes[1]};
    if (general_log)
      argv.insert(argv.end(),
                  {"--general-log=1", "--general-log-file=" + folder_ + "/general.log", "--log-output=FILE"});
    if (port_ == 0 || !Launch(argv, owner ? owner->pw_uid : 0, owner ? owner->pw_gid : 0)) continue;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Listens(socket) && std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;  // it gave up, most likely on the port
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (IsRunning() && !Listens(socket)) Kill();
  }
  if (!IsRunning()) return Fail("mariadbd did not start: " + ReadFile(folder_ + "/error.log"));
  bool ok = false;
  output = Query("CREATE DATABASE IF NOT EXISTS test", &ok, "mysql");
  return ok || Fail("cannot create the database 'test': " + output);
}

void MariadbServer::Kill() noexcept { KillServer(pid_); }

void MariadbServer::Stop() noexcept {
  try {
    Kill();
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    folder_.clear();
  } catch (...) {
  }
}

std::string MariadbServer::ConnectionString(const std::string& database) const {
  // OPTION 67108864 (1 << 26) lets one call hold several statements;
  // Connector/ODBC 3.1 knows no MULTI_STATEMENTS keyword for it.
  const std::string driver = FindDriver();
  return driver.empty() ? "" : "Driver=" + driver + ";Server=127.0.0.1;Port=" + std::to_string(port_) +
                                   ";Database=" + database + ";Uid=root;Pwd=;Option=67108864";
}

std::vector<std::string> MariadbServer::Client(const std::string& program) const {
  return {program == "mariadb" ? client_ : FindProgram(program), "--no-defaults",
          "--socket=" + folder_ + "/mariadbd.sock", "--user=root"};
}

std::string MariadbServer::Query(const std::string& sql, bool* ok, const std::string& database) const {
  std::vector<std::string> argv = Client();
  argv.insert(argv.end(), {"--batch", "--skip-column-names", "-e", sql, database});
  std::string output;
  const int rc = RunProgram(argv, "", &output);
  if (ok) *ok = rc == 0;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

std::string MariadbServer::GeneralLog() const { return ReadFile(folder_ + "/general.log"); }

}  // namespace kxsql::testing

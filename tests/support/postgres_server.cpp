#include "support/postgres_server.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "support/local_server.h"

namespace kxsql::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kUser[] = "kxsql";  // the database superuser; it needs no password
constexpr char kDefaultDriver[] = "PostgreSQL Unicode";

bool HasServerPrograms(const fs::path& folder) {
  const auto runs = [&](const char* program) { return ::access((folder / program).c_str(), X_OK) == 0; };
  return runs("initdb") && runs("postgres") && runs("psql");
}

// KXSQL_PG_BINDIR, or the newest of Debian's folders (one per major version,
// off PATH).
std::string FindBinDir() {
  if (const char* configured = std::getenv("KXSQL_PG_BINDIR"); configured && *configured)
    return HasServerPrograms(configured) ? configured : "";
  std::map<int, std::string> versions;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
    if (HasServerPrograms(entry.path() / "bin"))
      versions[std::atoi(entry.path().filename().c_str())] = entry.path() / "bin";
  return versions.empty() ? "" : versions.rbegin()->second;
}

}  // namespace

int PostgresServer::RunServerProgram(const std::string& program, const std::vector<std::string>& args,
                                     std::string* output) const {
  std::vector<std::string> argv = run_as_;
  argv.push_back(bin_dir_ + "/" + program);
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, folder_, output);
}

bool PostgresServer::Fail(std::string error, bool unavailable) {
  error_ = std::move(error);
  unavailable_ = unavailable;
  Stop();
  return false;
}

bool PostgresServer::Start(const std::vector<std::string>& settings) {
  if (running_) return true;
  unavailable_ = false;
  if ((bin_dir_ = FindBinDir()).empty())
    return Fail("PostgreSQL server programs (initdb, postgres, psql) not found; install the postgresql package "
                "or set KXSQL_PG_BINDIR", true);
  const passwd* owner = nullptr;
  if (::geteuid() == 0) {
    // PostgreSQL refuses to run as root: the cluster belongs to `postgres`.
    if ((owner = ::getpwnam("postgres")) == nullptr)
      return Fail("running as root and there is no 'postgres' user to run the server as", true);
    run_as_ = {"setpriv", "--reuid=postgres", "--regid=postgres", "--init-groups", "--"};
  }
  if ((folder_ = MakeTempFolder("kxsql-pg", true)).empty()) return Fail("cannot make a temporary folder for the server");
  if (owner && ::chown(folder_.c_str(), owner->pw_uid, owner->pw_gid) != 0)
    return Fail("cannot hand the temporary folder to the 'postgres' user");

  const std::string data = folder_ + "/data";
  std::string output;
  if (RunServerProgram("initdb", {"-D", data, "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C", "-N"},
                       &output) != 0)
    return Fail("initdb failed: " + output);
  // The server runs as a child of the test, so that it goes when the test
  // goes, however it ends. A free port may be taken before the server binds
  // it: a new one is tried.
  for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
    port_ = FreeLoopbackPort();
    if (port_ == 0) continue;
    // Durability is of no use to a server that is thrown away: -F skips fsync.
    std::vector<std::string> argv = {bin_dir_ + "/postgres", "-D", data, "-p", std::to_string(port_), "-k", folder_,
                                     "-c", "listen_addresses=127.0.0.1", "-F", "-c", "full_page_writes=off"};
    for (const std::string& setting : settings) argv.insert(argv.end(), {"-c", setting});
    pid_ = LaunchServer(argv, owner ? owner->pw_uid : 0, owner ? owner->pw_gid : 0, folder_ + "/server.log");
    const std::string socket = folder_ + "/.s.PGSQL." + std::to_string(port_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;  // it gave up, most likely on the port
        break;
      }
      // Listening, and past its start: a query gets through.
      if (Listens(socket) && (running_ = true, Query("SELECT 1", &running_) == "1" && running_)) break;
      running_ = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!running_) KillServer(pid_);
  }
  if (!running_) return Fail("the PostgreSQL server did not start: " + ReadFile(folder_ + "/server.log"));
  QuietDriverLog();
  return true;
}

void PostgresServer::QuietDriverLog() {
  // Debian registers the driver with CommLog=1, which makes every process
  // that loads it leave a log file behind, and the driver reads that setting
  // from its registration: a private copy with logging off is found first
  // through ODBCSYSINI.
  if (const char* driver = std::getenv("KXSQL_PG_ODBC_DRIVER"); driver && *driver) return;
  std::string registration, copy;
  if (RunProgram({"odbcinst", "-q", "-d", "-n", kDefaultDriver}, "", &registration) != 0) return;
  std::istringstream lines(registration);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("CommLog", 0) != 0 && line.rfind("Debug", 0) != 0) copy += line + "\n";
  std::ofstream ini(folder_ + "/odbcinst.ini");
  if (copy.find("Driver") == std::string::npos || !(ini << copy << "CommLog=0\nDebug=0\n").flush()) return;
  if (const char* previous = std::getenv("ODBCSYSINI")) saved_odbcsysini_ = previous;
  ::setenv("ODBCSYSINI", folder_.c_str(), 1);
  odbcsysini_set_ = true;
}

void PostgresServer::Stop() noexcept {
  try {
    KillServer(pid_);
    running_ = false;
    if (odbcsysini_set_) {
      if (saved_odbcsysini_) ::setenv("ODBCSYSINI", saved_odbcsysini_->c_str(), 1);
      else ::unsetenv("ODBCSYSINI");
      odbcsysini_set_ = false;
      saved_odbcsysini_.reset();
    }
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
    folder_.clear();
  } catch (...) {
  }
}

std::string PostgresServer::ConnectionString(const std::string& database) const {
  const char* driver = std::getenv("KXSQL_PG_ODBC_DRIVER");
  return std::string("Driver={") + (driver && *driver ? driver : kDefaultDriver) + "};Server=127.0.0.1;Port=" +
         std::to_string(port_) + ";Database=" + database + ";Uid=" + kUser + ";Pwd=;CommLog=0;Debug=0";
}

std::vector<std::string> PostgresServer::ConnectArgs(const std::string& database) const {
  return {"-h", "127.0.0.1", "-p", std::to_string(port_), "-U", kUser, "-d", database};
}

std::string PostgresServer::Log() const { return ReadFile(folder_ + "/server.log"); }

std::string PostgresServer::Query(const std::string& sql, bool* ok, const std::string& database) const {
  std::string output;
  std::vector<std::string> argv = {Program("psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-c", sql};
  const std::vector<std::string> connect = ConnectArgs(database);
  argv.insert(argv.end(), connect.begin(), connect.end());
  const int rc = RunProgram(argv, "", &output);
  if (ok) *ok = rc == 0;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

}  // namespace kxsql::testing

#include "support/postgres_server.h"

#include <arpa/inet.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace kxsql::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kUser[] = "kxsql";  // the database superuser; it needs no password
constexpr char kDefaultDriver[] = "PostgreSQL Unicode";

bool HasServerPrograms(const fs::path& folder) {
  const auto runs = [&](const char* program) { return ::access((folder / program).c_str(), X_OK) == 0; };
  return runs("initdb") && runs("pg_ctl") && runs("psql");
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

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (fd >= 0) ::close(fd);
  return bound ? ntohs(address.sin_port) : 0;
}

// A shell word that stands for `text` as it is.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs argv in `folder` (the server's user may not enter the test's own) with
// stdin from /dev/null, collecting stdout and stderr together; `timeout` kills
// a program that hangs. Returns the exit code, -1 when it could not run.
int RunProgram(const std::vector<std::string>& argv, const std::string& folder, std::string* output) {
  std::string command = folder.empty() ? "" : "cd " + Quoted(folder) + " && ";
  command += "exec timeout -s KILL 120";
  for (const std::string& arg : argv) command += " " + Quoted(arg);
  FILE* const pipe = ::popen((command + " </dev/null 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string collected;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) collected.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = collected;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

bool PostgresServer::Start() {
  if (running_) return true;
  unavailable_ = false;
  if ((bin_dir_ = FindBinDir()).empty())
    return Fail("PostgreSQL server programs (initdb, pg_ctl, psql) not found; install the postgresql package "
                "or set KXSQL_PG_BINDIR", true);
  const passwd* owner = nullptr;
  if (::geteuid() == 0) {
    // PostgreSQL refuses to run as root: the cluster belongs to `postgres`.
    if ((owner = ::getpwnam("postgres")) == nullptr)
      return Fail("running as root and there is no 'postgres' user to run the server as", true);
    run_as_ = {"setpriv", "--reuid=postgres", "--regid=postgres", "--init-groups", "--"};
  }
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "kxsql-pg-XXXXXX").string();
  if (ec || ::mkdtemp(pattern.data()) == nullptr) return Fail("cannot make a temporary folder for the server");
  folder_ = pattern;
  if (owner && ::chown(folder_.c_str(), owner->pw_uid, owner->pw_gid) != 0)
    return Fail("cannot hand the temporary folder to the 'postgres' user");

  const std::string data = folder_ + "/data";
  std::string output;
  if (RunServerProgram("initdb", {"-D", data, "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C", "-N"},
                       &output) != 0)
    return Fail("initdb failed: " + output);
  // A free port may be taken before the server binds it: a new one is tried.
  for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
    port_ = FreeLoopbackPort();
    // Durability is of no use to a server that is thrown away: -F skips fsync.
    const std::string options = "-p " + std::to_string(port_) + " -k '" + folder_ +
                                "' -c listen_addresses=127.0.0.1 -F -c full_page_writes=off";
    running_ = port_ != 0 && RunServerProgram("pg_ctl", {"-D", data, "-l", folder_ + "/server.log", "-w", "-t",
                                                         "60", "-o", options, "start"},
                                              &output) == 0;
  }
  if (!running_) {
    std::ifstream log(folder_ + "/server.log");
    return Fail("pg_ctl start failed: " + output + std::string(std::istreambuf_iterator<char>(log), {}));
  }
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
    if (!folder_.empty()) {
      // Stopped whenever a server may have come up, even from a start that
      // failed; the pid is read first, as pg_ctl removes its file.
      pid_t pid = 0;
      std::ifstream(folder_ + "/data/postmaster.pid") >> pid;
      if (pid > 0 && RunServerProgram("pg_ctl", {"-D", folder_ + "/data", "-m", "immediate", "-w", "-t", "30", "stop"},
                                      nullptr) != 0 && running_)
        ::kill(pid, SIGKILL);
    }
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

std::string PostgresServer::Query(const std::string& sql, bool* ok, const std::string& database) const {
  std::string output;
  const int rc = RunProgram({bin_dir_ + "/psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1",
                             "-p", std::to_string(port_), "-U", kUser, "-d", database, "-c", sql},
                            "", &output);
  if (ok) *ok = rc == 0;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

}  // namespace kxsql::testing

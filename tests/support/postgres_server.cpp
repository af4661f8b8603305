#include "support/postgres_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace kxsql::testing {
namespace {

namespace fs = std::filesystem;

// No server program is expected to take this long; one that does is killed.
constexpr int kProgramTimeoutMs = 120000;
// Ports are picked free, but another process may take one before the server
// binds it: starting is tried again with a new port.
constexpr int kStartAttempts = 3;

bool IsExecutable(const fs::path& path) { return ::access(path.c_str(), X_OK) == 0; }

// The first folder of PATH, then of `extra`, that holds `program`.
std::string FindProgram(const std::string& program, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    folders.push_back(rest.substr(0, colon));
    rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
  }
  folders.insert(folders.end(), extra.begin(), extra.end());
  for (const std::string& folder : folders)
    if (!folder.empty() && IsExecutable(fs::path(folder) / program)) return (fs::path(folder) / program).string();
  return std::string();
}

bool HasServerPrograms(const fs::path& folder) {
  return IsExecutable(folder / "initdb") && IsExecutable(folder / "pg_ctl") && IsExecutable(folder / "psql");
}

std::string FindBinDir() {
  if (const char* configured = std::getenv("KXSQL_PG_BINDIR"); configured && *configured)
    return HasServerPrograms(configured) ? std::string(configured) : std::string();
  const std::string on_path = FindProgram("pg_ctl");
  if (!on_path.empty() && HasServerPrograms(fs::path(on_path).parent_path())) return fs::path(on_path).parent_path();
  // Debian keeps the server programs off PATH, one folder per major version;
  // the newest installed one is taken.
  std::error_code ec;
  int best_version = -1;
  std::string best;
  for (const fs::directory_entry& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > best_version && HasServerPrograms(entry.path() / "bin")) {
      best_version = version;
      best = (entry.path() / "bin").string();
    }
  }
  return best;
}

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

// Runs argv in `folder` with stdin from /dev/null, collecting stdout and
// stderr together. Returns the exit code, or -1 when it could not run.
int RunProgram(const std::vector<std::string>& argv, const std::string& folder, std::string* output) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return -1;
  }
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDONLY);
    if (null_fd >= 0) ::dup2(null_fd, STDIN_FILENO);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::dup2(pipe_fds[1], STDERR_FILENO);
    // The server's user may not enter the test's working folder.
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    _exit(127);
  }
  ::close(pipe_fds[1]);
  std::string collected;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProgramTimeoutMs);
  bool killed = false;
  for (;;) {
    pollfd fd{pipe_fds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, 200);
    if (!killed && std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      killed = true;
    }
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n > 0) {
      collected.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (output) *output = collected;
  if (killed) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr char kDefaultDriver[] = "PostgreSQL Unicode";

}  // namespace

PostgresServer::~PostgresServer() { Stop(); }

void PostgresServer::QuietDriverLog() {
  // Debian registers the driver with CommLog=1, which makes every process
  // that loads it leave a log file behind. A private copy of the
  // registration with logging off, found through ODBCSYSINI, keeps the
  // machine clean; the driver's own settings are read from that section.
  if (const char* driver = std::getenv("KXSQL_PG_ODBC_DRIVER"); driver && *driver) return;
  const std::string odbcinst = FindProgram("odbcinst");
  std::string registration;
  if (odbcinst.empty() || RunProgram({odbcinst, "-q", "-d", "-n", kDefaultDriver}, std::string(), &registration) != 0)
    return;
  std::string copy;
  std::size_t start = 0;
  while (start < registration.size()) {
    std::size_t end = registration.find('\n', start);
    if (end == std::string::npos) end = registration.size();
    const std::string line = registration.substr(start, end - start);
    start = end + 1;
    if (line.rfind("CommLog", 0) == 0 || line.rfind("Debug", 0) == 0) continue;
    copy += line + "\n";
  }
  if (copy.find("Driver") == std::string::npos) return;
  copy += "CommLog=0\nDebug=0\n";
  std::ofstream ini(folder_ + "/odbcinst.ini");
  ini << copy;
  if (!ini) return;
  if (const char* previous = std::getenv("ODBCSYSINI")) saved_odbcsysini_ = previous;
  had_odbcsysini_ = std::getenv("ODBCSYSINI") != nullptr;
  ::setenv("ODBCSYSINI", folder_.c_str(), 1);
  odbcsysini_set_ = true;
}

int PostgresServer::RunServerProgram(const std::string& program, const std::vector<std::string>& args,
                                     std::string* output) const {
  std::vector<std::string> argv;
  if (!run_as_.empty()) {
    const std::vector<std::string> admin = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
    if (std::string runuser = FindProgram("runuser", admin); !runuser.empty()) {
      argv = {runuser, "-u", run_as_, "--"};
    } else if (std::string setpriv = FindProgram("setpriv", admin); !setpriv.empty()) {
      argv = {setpriv, "--reuid=" + run_as_, "--regid=" + run_as_, "--init-groups", "--"};
    } else {
      if (output) *output = "neither runuser nor setpriv is available to leave root";
      return -1;
    }
  }
  argv.push_back((fs::path(bin_dir_) / program).string());
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, folder_, output);
}

bool PostgresServer::Start() {
  if (running_) return true;
  error_.clear();
  unavailable_ = false;
  bin_dir_ = FindBinDir();
  if (bin_dir_.empty()) {
    unavailable_ = true;
    error_ = "PostgreSQL server programs (initdb, pg_ctl, psql) not found; install the postgresql package "
             "or set KXSQL_PG_BINDIR";
    return false;
  }
  if (::geteuid() == 0) {
    const passwd* user = ::getpwnam("postgres");
    if (user == nullptr) {
      unavailable_ = true;
      error_ = "running as root and there is no 'postgres' user to run the server as";
      return false;
    }
    run_as_ = "postgres";
  }

  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "kxsql-pg-XXXXXX").string();
  if (ec || ::mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot make a temporary folder for the server";
    return false;
  }
  folder_ = pattern;
  if (!run_as_.empty()) {
    const passwd* user = ::getpwnam(run_as_.c_str());
    if (::chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      error_ = "cannot hand the temporary folder to the 'postgres' user";
      Stop();
      return false;
    }
  }

  const std::string data = folder_ + "/data";
  std::string output;
  if (RunServerProgram("initdb", {"-D", data, "-U", User(), "-A", "trust", "-E", "UTF8", "--locale=C", "-N"},
                       &output) != 0) {
    error_ = "initdb failed: " + output;
    Stop();
    return false;
  }
  for (int attempt = 0; attempt < kStartAttempts && !running_; ++attempt) {
    port_ = FreeLoopbackPort();
    if (port_ == 0) continue;
    // Durability is of no use to a server that is thrown away: -F skips fsync.
    const std::string options = "-p " + std::to_string(port_) + " -k '" + folder_ +
                                "' -c listen_addresses=127.0.0.1 -F -c full_page_writes=off";
    running_ = RunServerProgram("pg_ctl", {"-D", data, "-l", folder_ + "/server.log", "-w", "-t", "60", "-o",
                                           options, "start"},
                                &output) == 0;
  }
  if (!running_) {
    std::ifstream log(folder_ + "/server.log");
    const std::string server_log((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    error_ = "pg_ctl start failed: " + output + server_log;
    Stop();
    return false;
  }
  QuietDriverLog();
  return true;
}

void PostgresServer::Stop() noexcept {
  try {
    if (running_) {
      const std::string data = folder_ + "/data";
      // Read before stopping: pg_ctl removes it once the server is down.
      pid_t pid = 0;
      {
        std::ifstream pid_file(data + "/postmaster.pid");
        pid_file >> pid;
      }
      std::string output;
      if (RunServerProgram("pg_ctl", {"-D", data, "-m", "immediate", "-w", "-t", "30", "stop"}, &output) != 0 &&
          pid > 0)
        ::kill(pid, SIGKILL);
      running_ = false;
    }
    if (odbcsysini_set_) {
      if (had_odbcsysini_) ::setenv("ODBCSYSINI", saved_odbcsysini_.c_str(), 1);
      else ::unsetenv("ODBCSYSINI");
      odbcsysini_set_ = false;
    }
    if (!folder_.empty()) {
      std::error_code ec;
      fs::remove_all(folder_, ec);
      folder_.clear();
    }
  } catch (...) {
  }
}

std::string PostgresServer::ConnectionString(const std::string& database) const {
  const char* driver = std::getenv("KXSQL_PG_ODBC_DRIVER");
  return std::string("Driver={") + (driver && *driver ? driver : kDefaultDriver) +
         "};Server=127.0.0.1;Port=" + std::to_string(port_) + ";Database=" + database + ";Uid=" + User() +
         ";Pwd=;CommLog=0;Debug=0";
}

std::string PostgresServer::Query(const std::string& sql, bool* ok, const std::string& database) const {
  std::string output;
  const int rc = RunProgram({(fs::path(bin_dir_) / "psql").string(), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
                             "-h", "127.0.0.1", "-p", std::to_string(port_), "-U", User(), "-d", database, "-c",
                             sql},
                            std::string(), &output);
  if (ok) *ok = rc == 0;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

}  // namespace kxsql::testing

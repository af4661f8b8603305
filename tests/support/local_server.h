// What the throwaway database servers of the tests share: a free loopback
// port, a temporary folder, and running a program to its end.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace kxsql::testing {
namespace detail {

// A shell word that stands for `text` as it is.
inline std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace detail

// A TCP port on 127.0.0.1 that nothing listens on right now; 0 when none.
inline int FreeLoopbackPort() {
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

// Makes a fresh folder named `prefix`-XXXXXX; empty on failure. With
// `in_memory` it goes to /dev/shm when that has room, since a database that
// syncs its files waits seconds for a disk and none for memory.
inline std::string MakeTempFolder(const std::string& prefix, bool in_memory = false) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path parent = fs::temp_directory_path(ec);
  struct statvfs memory {};
  if (in_memory && ::statvfs("/dev/shm", &memory) == 0 && ::access("/dev/shm", W_OK) == 0 &&
      static_cast<unsigned long long>(memory.f_bavail) * memory.f_frsize >= (512ULL << 20))
    parent = "/dev/shm";
  if (parent.empty()) return "";
  std::string pattern = (parent / (prefix + "-XXXXXX")).string();
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

// Runs argv in `folder` (the server's user may not enter the test's own)
// with stdin from /dev/null, collecting stdout and stderr together; a program
// that hangs is killed after two minutes. Returns the exit code, -1 when it
// could not run.
inline int RunProgram(const std::vector<std::string>& argv, const std::string& folder, std::string* output) {
  std::string command = folder.empty() ? "" : "cd " + detail::Quoted(folder) + " && ";
  command += "exec timeout -s KILL 120";
  for (const std::string& arg : argv) command += " " + detail::Quoted(arg);
  FILE* const pipe = ::popen((command + " </dev/null 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string collected;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) collected.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = collected;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The path of the program `name`, looked for on PATH and then in the usual
// system folders (/usr/sbin holds the servers); empty when it is not found.
inline std::string FindProgram(const std::string& name) {
  std::istringstream path(std::string(std::getenv("PATH") ? std::getenv("PATH") : "") +
                          ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
  for (std::string folder; std::getline(path, folder, ':');)
    if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
  return "";
}

// Starts argv as a server: in a process group of its own (so that KillServer
// reaches every process of it), as `uid`/`gid` when run as root, its output
// appended to `log`, and killed when the thread that started it ends, so
// that a test that crashes or is killed leaves no server behind. Returns its
// pid, or -1.
inline pid_t LaunchServer(const std::vector<std::string>& argv, uid_t uid, gid_t gid, const std::string& log) {
  const pid_t parent = ::getpid();
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) ::_exit(127);
    if (::geteuid() == 0 && (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(127);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid > 0 ? pid : -1;
}

// Kills a server that LaunchServer started, with every process of its group,
// and waits for it. Nothing of a throwaway server is kept: no clean shutdown
// is needed.
inline void KillServer(pid_t& pid) noexcept {
  if (pid <= 0) return;
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

// Something accepts connections on the unix socket at `path`.
inline bool Listens(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return connected;
}

}  // namespace kxsql::testing


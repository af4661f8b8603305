// What the throwaway database servers of the tests share: a free loopback
// port, a temporary folder, and running a program to its end.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace kxsql::testing


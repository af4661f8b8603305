#include "support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace kxsql::testing {

Process::Process(const std::vector<std::string>& argv, const std::string& input) : input_(input) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) std::abort();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    signal(SIGINT, SIG_DFL);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_fd_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];
  fcntl(in_fd_, F_SETFL, O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);
}

Process::~Process() {
  if (!waited_) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

void Process::Signal(int signal_number) { kill(pid_, signal_number); }

ProcessResult Process::Wait(int timeout_ms) {
  if (waited_) return result_;
  waited_ = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t written = 0;
  if (input_.empty()) {
    close(in_fd_);
    in_fd_ = -1;
  }
  bool killed = false;
  while (out_fd_ >= 0 || err_fd_ >= 0) {
    pollfd fds[3];
    int n = 0;
    if (out_fd_ >= 0) fds[n++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[n++] = {err_fd_, POLLIN, 0};
    if (in_fd_ >= 0) fds[n++] = {in_fd_, POLLOUT, 0};
    const int ready = poll(fds, static_cast<nfds_t>(n), 100);
    if (ready < 0 && errno != EINTR) break;
    if (!killed && std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      killed = true;
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_fd_) {
        const ssize_t w = write(in_fd_, input_.data() + written, input_.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 && errno != EAGAIN) written = input_.size();
        if (written == input_.size()) {
          close(in_fd_);
          in_fd_ = -1;
        }
        continue;
      }
      char buffer[65536];
      const ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == out_fd_ ? result_.out : result_.err;
      if (r > 0) {
        sink.append(buffer, static_cast<std::size_t>(r));
      } else if (r == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == out_fd_ ? out_fd_ : err_fd_) = -1;
      }
    }
  }
  if (in_fd_ >= 0) close(in_fd_);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  result_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result_;
}

}  // namespace kxsql::testing

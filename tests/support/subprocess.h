// Runs a program as a user would: arguments, standard input, and what it
// prints on standard output and standard error.
#pragma once

#include <string>
#include <vector>

namespace kxsql::testing {

struct ProcessResult {
  int exit_code = -1;  // 128 + the signal's number when a signal ended it
  std::string out;
  std::string err;
};

class Process {
 public:
  // Starts `argv[0]` with `argv`, feeding `input` to its standard input.
  Process(const std::vector<std::string>& argv, const std::string& input = "");
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void Signal(int signal_number);
  // Waits for the end (killing the program after `timeout_ms`) and collects its output.
  ProcessResult Wait(int timeout_ms = 120000);

 private:
  int pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string input_;
  int in_fd_ = -1;
  bool waited_ = false;
  ProcessResult result_;
};

inline ProcessResult Run(const std::vector<std::string>& argv, const std::string& input = "") {
  return Process(argv, input).Wait();
}

}  // namespace kxsql::testing

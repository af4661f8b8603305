// The signals that `kxsql run` takes over while it runs.
#pragma once

#include <csignal>

namespace kxsql::cli {

// While it lives, Ctrl-C (SIGINT) and SIGTERM ask the run to stop: the
// signal's number is kept for StopSignal. Each handler is reset once it ran,
// so that a second signal ends the process at once. A closed or full output
// must be a write error that is reported, not the end of the process
// (SIGPIPE), and a file size limit an I/O error that the database reports
// (SIGXFSZ): both are ignored. Everything is put back as it was at the end.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first stop signal received, or 0.
  static int Received() noexcept;

 private:
  struct sigaction previous_[4] {};
};

}  // namespace kxsql::cli

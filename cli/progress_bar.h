// A progress line on a terminal: how far through the scripts the run is.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace kxsql::cli {

struct Progress {
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
  std::uint64_t statements = 0;
  std::uint64_t errors = 0;
};

// Draws on standard error, and only when it is a terminal; every other
// writer to standard error takes Lock() and calls Clear() first, so that
// messages and the bar never mix.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled);
  bool Enabled() const noexcept { return enabled_; }
  void Draw(const Progress& progress);
  void Clear();
  std::mutex& Lock() noexcept { return mutex_; }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
};

// "12.3 MB", "512 B".
std::string FormatBytes(double bytes);

}  // namespace kxsql::cli

#include "cli/progress_bar.h"

#include <unistd.h>

#include <cstdio>

namespace kxsql::cli {

std::string FormatBytes(double bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000.0 && unit < 4) {
    bytes /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

ProgressBar::ProgressBar(bool enabled)
    : enabled_(enabled && isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::Draw(const Progress& p) {
  if (!enabled_) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double fraction = p.bytes_total ? static_cast<double>(p.bytes_done) / p.bytes_total : 0.0;
  constexpr int kWidth = 24;
  const int filled = static_cast<int>(fraction * kWidth + 0.5);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  const std::string rate = seconds > 0 ? FormatBytes(p.bytes_done / seconds) + "/s" : "";
  std::fprintf(stderr, "\r\033[K[%s] %3.0f%%  %s / %s  %llu statements  %llu errors  %s", bar.c_str(),
               fraction * 100.0, FormatBytes(static_cast<double>(p.bytes_done)).c_str(),
               FormatBytes(static_cast<double>(p.bytes_total)).c_str(),
               static_cast<unsigned long long>(p.statements), static_cast<unsigned long long>(p.errors),
               rate.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!enabled_ || !drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace kxsql::cli

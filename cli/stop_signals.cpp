#include "cli/stop_signals.h"

namespace kxsql::cli {
namespace {

volatile std::sig_atomic_t g_received = 0;

extern "C" void OnStopSignal(int signal_number) {
  if (g_received == 0) g_received = signal_number;
}

constexpr int kTaken[] = {SIGINT, SIGTERM, SIGPIPE, SIGXFSZ};

}  // namespace

StopSignals::StopSignals() {
  g_received = 0;
  for (int i = 0; i < 4; ++i) {
    struct sigaction action {};
    action.sa_handler = i < 2 ? OnStopSignal : SIG_IGN;
    sigemptyset(&action.sa_mask);
    action.sa_flags = i < 2 ? SA_RESETHAND : 0;
    sigaction(kTaken[i], &action, &previous_[i]);
  }
}

StopSignals::~StopSignals() {
  for (int i = 0; i < 4; ++i) sigaction(kTaken[i], &previous_[i], nullptr);
}

int StopSignals::Received() noexcept { return g_received; }

}  // namespace kxsql::cli

// `kxsql run`: runs scripts with the library's runner, on a worker thread
// that Ctrl-C asks to stop between two statements.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "cli/script_input.h"
#include "runner/script_runner.h"
#include "runner/substitution.h"
#include "statements/native/client.h"

namespace kxsql::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

// Ctrl-C asks the run to stop; the handler is reset, so a second Ctrl-C ends
// the process at once.
class InterruptGuard {
 public:
  InterruptGuard() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

// At most this much of a failed statement is shown.
constexpr std::size_t kShownStatementLength = 400;

std::string Excerpt(const char* text) {
  std::string shown(text ? text : "");
  if (shown.size() > kShownStatementLength) {
    shown.resize(kShownStatementLength);
    shown += " ...";
  }
  std::string indented = "    ";
  for (char c : shown) {
    indented += c;
    if (c == '\n') indented += "    ";
  }
  return indented;
}

// Follows one script's run from the worker thread: counts, progress, and
// each failed statement with where it stands and why it failed.
// What the worker has done so far, read by the main thread for the progress line.
struct LiveProgress {
  std::atomic<std::uint64_t> bytes_done{0};
  std::atomic<std::uint64_t> statements{0};
  std::atomic<std::uint64_t> errors{0};
};

// Follows one script's run on the worker thread. The host log, where a failed
// statement's reason goes, is written on that same thread, so the reason
// needs no lock.
class RunObserver : public kxsql::detail::ScriptObserver<char> {
 public:
  RunObserver(ScriptFile& file, std::string name, ProgressBar& bar, LiveProgress& live, std::uint64_t bytes_before)
      : bar_(bar), live_(live), bytes_before_(bytes_before), top_(file) {
    files_.push_back({&file, std::move(name)});
  }

  void OnBeforeStatement() override {
    files_.back().file->BeginStatement();
    reason_.clear();
  }

  void OnStatement(const SQLStmtT<char>& stmt, const char* /*sql*/, short rc) override {
    const bool failed = rc != 0 && rc != 1 && rc != 100;
    live_.statements.fetch_add(1, std::memory_order_relaxed);
    if (failed) live_.errors.fetch_add(1, std::memory_order_relaxed);
    live_.bytes_done.store(bytes_before_ + static_cast<std::uint64_t>(top_.GetTotalBytes() - top_.GetRemainingBytes()),
                           std::memory_order_relaxed);
    if (!failed) return;
    const std::string reason =
        reason_.empty() ? "the database reported a failure (code " + std::to_string(rc) + ")" : reason_;
    Show(stmt, "error", reason, true);
  }

  void OnClientCommand(const SQLStmtT<char>& stmt, Outcome outcome, const std::string& message) override {
    if (outcome == Outcome::kEcho) {
      // What the script echoes is its output.
      std::lock_guard<std::mutex> lock(bar_.Lock());
      bar_.Clear();
      std::printf("%s\n", message.c_str());
      std::fflush(stdout);
      return;
    }
    if (outcome == Outcome::kNotice) Show(stmt, "notice", message, false);
    if (outcome == Outcome::kFailed) {
      live_.errors.fetch_add(1, std::memory_order_relaxed);
      Show(stmt, "error", message, true);
    }
  }

  std::unique_ptr<CKXSQLFile> OpenInclude(const std::string& path) override {
    auto file = std::make_unique<ScriptFile>();
    std::string error;
    if (!OpenScript(path, *file, error)) return nullptr;
    files_.push_back({file.get(), path});
    return file;
  }
  void OnIncludeEnd() override {
    if (files_.size() > 1) files_.pop_back();
  }

  // Called from the host log with the reason of a failed statement.
  void OnLogLine(const std::string& line) {
    if (!reason_.empty()) reason_ += "; ";
    reason_ += line;
  }

 private:
  // One line for the user, where the statement stands, then its text.
  void Show(const SQLStmtT<char>& stmt, const char* what, const std::string& message, bool with_text) {
    std::lock_guard<std::mutex> lock(bar_.Lock());
    bar_.Clear();
    const Source& source = files_.back();
    std::fprintf(stderr, "%s:%llu: %s: %s\n", source.name.c_str(), source.file->StatementLine(stmt), what,
                 message.c_str());
    if (with_text) std::fprintf(stderr, "%s\n", Excerpt(stmt.GetText()).c_str());
    std::fflush(stderr);
  }

  struct Source {
    ScriptFile* file;
    std::string name;
  };
  ProgressBar& bar_;
  LiveProgress& live_;
  std::uint64_t bytes_before_;
  ScriptFile& top_;
  std::vector<Source> files_;  // the script, and the scripts it includes
  std::string reason_;
};

bool Connect(const RunOptions& options, CKXTr& tr) {
  const bool ok = options.connect.empty() ? tr.OpenSQLite(options.sqlite_path.c_str())
                                          : tr.Connect(options.connect.c_str());
  if (!ok) {
    const std::string what = options.connect.empty() ? "cannot open SQLite database '" + options.sqlite_path + "'"
                                                     : std::string("cannot connect");
    std::string reason = CKXMsg::GetInstance()->GetLastMessage().text;
    for (char& c : reason)
      if (c == '\n' || c == '\r') c = ' ';
    PrintError(what + ": " + reason);
  }
  return ok;
}

}  // namespace

int RunScripts(const RunOptions& options) {
  // Every script is opened before the database is touched: a missing file
  // changes nothing.
  std::vector<std::unique_ptr<ScriptFile>> files;
  std::uint64_t bytes_total = 0;
  for (const std::string& input : options.inputs) {
    auto file = std::make_unique<ScriptFile>();
    std::string error;
    if (!OpenScript(input, *file, error)) {
      PrintError(error);
      return kExitFailed;
    }
    bytes_total += static_cast<std::uint64_t>(file->GetTotalBytes());
    files.push_back(std::move(file));
  }

  CKXTr tr;
  if (!Connect(options, tr)) return kExitFailed;
  if (options.dialect) tr.SetDBMSType(*options.dialect);
  // What the scripts' client keeps from one script to the next.
  kxsql::detail::ScriptSession session;
  const kxsql::detail::Client client = kxsql::detail::ClientFor(tr.GetDBMSType());
  for (const auto& [name, value] : options.variables) session.SetVariable(kxsql::detail::VariableKey(client, name), value);

  ProgressBar bar(!options.quiet);
  LiveProgress live;
  RunObserver* current = nullptr;
  std::mutex current_mutex;
  CKXMsg::GetInstance()->SetLogListener([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(current_mutex);
    if (current) current->OnLogLine(line);
  });

  unsigned int error_count = 0;
  std::uint64_t statements = 0;
  long result = 0;
  std::atomic<bool> finished{false};
  const auto start = std::chrono::steady_clock::now();

  CKXThread worker([&] {
    std::uint64_t bytes_before = 0;
    for (std::size_t i = 0; i < files.size() && result == 0 && !session.quit; ++i) {
      RunObserver observer(*files[i], DisplayName(options.inputs[i]), bar, live, bytes_before);
      {
        std::lock_guard<std::mutex> lock(current_mutex);
        current = &observer;
      }
      unsigned int file_statements = 0;
      files[i]->SetSplitRules(options.rules);
      session.SetScriptPath(options.inputs[i] == "-" ? std::string() : options.inputs[i]);
      result = kxsql::detail::LoadSQL<char>(*files[i], &tr, file_statements, error_count, options.max_errors,
                                             &observer, &session);
      statements += file_statements;
      if (result == -1 && !(options.max_errors != 4294967295u && error_count >= options.max_errors)) {
        std::lock_guard<std::mutex> lock(bar.Lock());
        bar.Clear();
        std::fprintf(stderr, "kxsql: %s: %s\n", DisplayName(options.inputs[i]).c_str(),
                     CKXMsg::GetInstance()->GetLastMessage().text.c_str());
      }
      {
        std::lock_guard<std::mutex> lock(current_mutex);
        current = nullptr;
      }
      bytes_before += static_cast<std::uint64_t>(files[i]->GetTotalBytes());
      files[i]->Close();
    }
    finished = true;
  });

  {
    InterruptGuard guard;
    if (!worker.Start()) {
      PrintError("cannot start the worker thread");
      return kExitFailed;
    }
    bool stop_asked = false;
    auto last_draw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (g_interrupted && !stop_asked) {
        worker.SignalStop();
        stop_asked = true;
      }
      const auto now = std::chrono::steady_clock::now();
      if (bar.Enabled() && now - last_draw >= std::chrono::milliseconds(200)) {
        Progress snapshot;
        snapshot.bytes_total = bytes_total;
        snapshot.bytes_done = live.bytes_done.load(std::memory_order_relaxed);
        snapshot.statements = live.statements.load(std::memory_order_relaxed);
        snapshot.errors = live.errors.load(std::memory_order_relaxed);
        std::lock_guard<std::mutex> lock(bar.Lock());
        bar.Draw(snapshot);
        last_draw = now;
      }
    }
    worker.Join();
  }
  CKXMsg::GetInstance()->SetLogListener(nullptr);
  {
    std::lock_guard<std::mutex> lock(bar.Lock());
    bar.Clear();
  }

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool interrupted = result == 4096;
  const bool limit_reached =
      result == -1 && options.max_errors != 4294967295u && error_count >= options.max_errors;
  if (!options.quiet || interrupted) {
    std::printf("%s%llu statement%s run, %u error%s, %.2f s\n", interrupted ? "interrupted: " : "",
                static_cast<unsigned long long>(statements), statements == 1 ? "" : "s", error_count,
                error_count == 1 ? "" : "s", seconds);
    if (limit_reached) std::printf("stopped: the error limit (%u) was reached\n", options.max_errors);
    std::fflush(stdout);
  }
  if (interrupted) return kExitInterrupted;
  if (result != 0) return kExitFailed;
  return error_count > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace kxsql::cli

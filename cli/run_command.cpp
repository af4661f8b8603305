// `kxsql run`: runs scripts with the library's runner on a worker thread.
// The main thread draws the progress line and turns Ctrl-C and SIGTERM into a
// stop request between statements and a cancel of the running one; the
// worker stops by itself when the database cannot be used any more.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "cli/script_files_observer.h"
#include "cli/script_input.h"
#include "cli/stop_signals.h"
#include "runner/script_runner.h"
#include "runner/substitution.h"
#include "statements/native/client.h"

namespace kxsql::cli {
namespace {

// At most this much of a failed statement is shown (and of the database's
// reason, ScriptFilesObserver): an identifier of 50 MB must not make a line
// of 50 MB.
constexpr std::size_t kShownStatementLength = 400;

std::string Excerpt(const char* text) {
  const std::size_t length = text ? strnlen(text, kShownStatementLength + 1) : 0;
  std::string shown(text ? text : "", length);
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

// What the worker has done so far, read by the main thread for the progress line.
struct LiveProgress {
  std::atomic<std::uint64_t> bytes_done{0};
  std::atomic<std::uint64_t> statements{0};
  std::atomic<std::uint64_t> errors{0};
};

// Why the worker stopped by itself, for the summary.
struct StopCause {
  std::string unusable;          // the database's reason, when it cannot be used any more
  bool failed_in_transaction = false;
};

// Follows one script's run on the worker thread. The host log, where a failed
// statement's reason goes, is written on that same thread, so the reason
// needs no lock.
class RunObserver : public ScriptFilesObserver {
 public:
  RunObserver(ScriptFile& file, std::string name, CKXTr& tr, const RunOptions& options, ProgressBar& bar,
              LiveProgress& live, StopCause& cause, std::uint64_t bytes_before)
      : ScriptFilesObserver(file, std::move(name)),
        top_(file),
        tr_(tr),
        options_(options),
        bar_(bar),
        live_(live),
        cause_(cause),
        bytes_before_(bytes_before) {}

  void OnBeforeStatement() override {
    ScriptFilesObserver::OnBeforeStatement();
    // Each reason is shown as it comes; the sink need not keep its last
    // ten thousand lines, however long they are.
    CKXMsg::GetInstance()->Reset();
  }

  void OnStatementRead(const SQLStmtT<char>& stmt, long rc) override {
    const Source& source = Current();
    if (rc != 1 || !source.file->IsEOF()) return;
    std::lock_guard<std::mutex> lock(bar_.Lock());
    bar_.Clear();
    WarnIfLeftOpen(source.name, stmt, *source.file, tr_, nullptr);
  }

  void OnStatement(const SQLStmtT<char>& stmt, const char* /*sql*/, short rc) override {
    const bool failed = rc != 0 && rc != 1 && rc != 100;
    live_.statements.fetch_add(1, std::memory_order_relaxed);
    if (failed) live_.errors.fetch_add(1, std::memory_order_relaxed);
    live_.bytes_done.store(bytes_before_ + static_cast<std::uint64_t>(top_.GetTotalBytes() - top_.GetRemainingBytes()),
                           std::memory_order_relaxed);
    if (!failed) return;
    Show(stmt, "error", Reason(rc), true);
    // Every later statement would fail the same way, or could not be
    // committed: the run ends here.
    if (tr_.IsUnusable()) cause_.unusable = tr_.GetUnusableReason();
    else if (options_.single_transaction) cause_.failed_in_transaction = true;
    else return;
    if (CKXThread* worker = CKXThread::GetWorkerThread()) worker->SignalStop();
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
      if (options_.single_transaction) {
        cause_.failed_in_transaction = true;
        if (CKXThread* worker = CKXThread::GetWorkerThread()) worker->SignalStop();
      }
    }
  }

 private:
  // One line for the user, where the statement stands, then its text.
  void Show(const SQLStmtT<char>& stmt, const char* what, const std::string& message, bool with_text) {
    std::lock_guard<std::mutex> lock(bar_.Lock());
    bar_.Clear();
    const Source& source = Current();
    std::fprintf(stderr, "%s:%llu: %s: %s\n", source.name.c_str(), source.file->StatementLine(stmt), what,
                 message.c_str());
    if (with_text) std::fprintf(stderr, "%s\n", Excerpt(stmt.GetText()).c_str());
    std::fflush(stderr);
  }

  ScriptFile& top_;
  CKXTr& tr_;
  const RunOptions& options_;
  ProgressBar& bar_;
  LiveProgress& live_;
  StopCause& cause_;
  std::uint64_t bytes_before_;
};

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

bool Connect(const RunOptions& options, CKXTr& tr) {
  tr.SetBusyTimeout(options.busy_timeout_ms);
  const bool ok = options.connect.empty() ? tr.OpenSQLite(options.sqlite_path.c_str())
                                          : tr.Connect(options.connect.c_str());
  if (!ok) {
    const std::string what = options.connect.empty() ? "cannot open SQLite database '" + options.sqlite_path + "'"
                                                     : std::string("cannot connect");
    PrintError(what + ": " + OneLine(CKXMsg::GetInstance()->GetLastMessage().text));
  }
  return ok;
}

// What became of the one transaction of --single-transaction.
enum class TransactionEnd { kNone, kCommitted, kRolledBack };

}  // namespace

int RunScripts(const RunOptions& options) {
  // Every script is opened before the database is touched: a missing file
  // changes nothing.
  std::vector<std::unique_ptr<ScriptFile>> files;
  std::uint64_t bytes_total = 0;
  for (const std::string& input : options.inputs) {
    // A NUL character ends the script in failure before the statement that holds it.
    auto file = std::make_unique<ScriptFile>(true);
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
  for (const auto& [name, value] : options.variables)
    session.SetVariable(kxsql::detail::VariableKey(client, name), value);
  if (options.single_transaction && !tr.BeginTransaction()) {
    PrintError("cannot begin the transaction: " + OneLine(CKXMsg::GetInstance()->GetLastMessage().text));
    return kExitFailed;
  }

  ProgressBar bar(!options.quiet);
  LiveProgress live;
  StopCause cause;
  RunObserver* current = nullptr;
  std::mutex current_mutex;
  CKXMsg::GetInstance()->SetLogListener([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(current_mutex);
    if (current) current->OnLogLine(line);
  });

  unsigned int error_count = 0;
  std::uint64_t statements = 0;
  long result = 0;
  TransactionEnd transaction_end = TransactionEnd::kNone;
  std::string commit_failure;
  std::atomic<bool> finished{false};
  const auto start = std::chrono::steady_clock::now();

  CKXThread worker([&] {
    std::uint64_t bytes_before = 0;
    for (std::size_t i = 0; i < files.size() && result == kxsql::detail::kRunEnded && !session.quit; ++i) {
      const std::string name = DisplayName(options.inputs[i]);
      RunObserver observer(*files[i], name, tr, options, bar, live, cause, bytes_before);
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
      if (result == kxsql::detail::kRunFailed &&
          !(options.max_errors != kxsql::detail::kNoErrorLimit && error_count >= options.max_errors)) {
        std::lock_guard<std::mutex> lock(bar.Lock());
        bar.Clear();
        if (files[i]->NulLine() != 0) {
          std::fprintf(stderr,
                       "%s:%llu: error: a NUL character: the script is binary or damaged; nothing from the "
                       "statement that holds it on was run\n",
                       name.c_str(), files[i]->NulLine());
        } else {
          std::fprintf(stderr, "kxsql: %s: %s\n", name.c_str(),
                       CKXMsg::GetInstance()->GetLastMessage().text.c_str());
        }
      }
      {
        std::lock_guard<std::mutex> lock(current_mutex);
        current = nullptr;
      }
      bytes_before += static_cast<std::uint64_t>(files[i]->GetTotalBytes());
      files[i]->Close();
    }
    if (options.single_transaction) {
      // Committed only when every statement of every script ran.
      const bool complete = result == kxsql::detail::kRunEnded && error_count == 0 &&
                            !CKXThread::GetWorkerThread()->IsStopSignaled(0) && cause.unusable.empty();
      if (complete && tr.CommitTransaction()) {
        transaction_end = TransactionEnd::kCommitted;
      } else {
        if (complete) commit_failure = OneLine(CKXMsg::GetInstance()->GetLastMessage().text);
        // A lost connection ends the transaction on the server's side.
        tr.RollbackTransaction();
        transaction_end = TransactionEnd::kRolledBack;
      }
    }
    finished = true;
  });

  int stop_signal = 0;
  {
    StopSignals signals;
    if (!worker.Start()) {
      PrintError("cannot start the worker thread");
      return kExitFailed;
    }
    auto last_draw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    auto last_cancel = last_draw;
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const auto now = std::chrono::steady_clock::now();
      if (StopSignals::Received() != 0) {
        if (stop_signal == 0) {
          stop_signal = StopSignals::Received();
          worker.SignalStop();
        }
        // The running statement is cancelled too. A cancel may reach a
        // driver just before it sends the statement, and be lost: it is
        // repeated until the worker is done.
        if (now - last_cancel >= std::chrono::milliseconds(250)) {
          tr.Cancel();
          last_cancel = now;
        }
      }
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

    CKXMsg::GetInstance()->SetLogListener(nullptr);
    {
      std::lock_guard<std::mutex> lock(bar.Lock());
      bar.Clear();
    }
    if (!cause.unusable.empty())
      PrintError("stopped: the database cannot be used any more: " + OneLine(cause.unusable));
    if (!commit_failure.empty()) PrintError("cannot commit: " + commit_failure);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool stopped = stop_signal != 0;
    const bool limit_reached = result == kxsql::detail::kRunFailed &&
                               options.max_errors != kxsql::detail::kNoErrorLimit && error_count >= options.max_errors;
    bool output_failed = false;
    if (!options.quiet || stopped) {
      std::printf("%s%llu statement%s run, %u error%s, %.2f s\n",
                  !stopped ? "" : stop_signal == SIGTERM ? "terminated: " : "interrupted: ",
                  static_cast<unsigned long long>(statements), statements == 1 ? "" : "s", error_count,
                  error_count == 1 ? "" : "s", seconds);
      if (limit_reached) std::printf("stopped: the error limit (%u) was reached\n", options.max_errors);
      if (transaction_end == TransactionEnd::kRolledBack)
        std::printf("rolled back: nothing of this run was committed\n");
      output_failed = std::fflush(stdout) != 0 || std::ferror(stdout);
      if (output_failed) PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
    }

    if (stopped) return stop_signal == SIGTERM ? kExitTerminated : kExitInterrupted;
    if (result != kxsql::detail::kRunEnded || !cause.unusable.empty() || transaction_end == TransactionEnd::kRolledBack ||
        output_failed)
      return kExitFailed;
    return error_count > 0 ? kExitSomeFailed : kExitOk;
  }
}

}  // namespace kxsql::cli

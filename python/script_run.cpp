#include "python/script_run.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "cli/script_files_observer.h"
#include "runner/script_runner.h"
#include "runner/substitution.h"
#include "statements/native/client.h"

namespace kxsql::python {
namespace {

using kxsql::cli::ScriptFile;

class RunObserver;
// The observer of the run on this thread: the host log, shared by every run
// of the process, hands each reason to the run whose worker logged it.
thread_local RunObserver* t_observer = nullptr;

// Collects a run's failures and output on the worker thread, as the tool
// shows them.
class RunObserver : public kxsql::cli::ScriptFilesObserver {
 public:
  RunObserver(ScriptFile& file, std::string name, CKXTr& tr, RunOutcome& outcome)
      : ScriptFilesObserver(file, std::move(name)), tr_(tr), outcome_(outcome) {}

  void OnStatement(const SQLStmtT<char>& stmt, const char* /*sql*/, short rc) override {
    if (rc == 0 || rc == 1 || rc == 100) return;
    Fail(stmt, Reason(rc));
    // Every later statement would fail the same way: the run ends here.
    if (tr_.IsUnusable()) {
      unusable_ = tr_.GetUnusableReason();
      if (CKXThread* worker = CKXThread::GetWorkerThread()) worker->SignalStop();
    }
  }

  void OnClientCommand(const SQLStmtT<char>& stmt, Outcome outcome, const std::string& message) override {
    if (outcome == Outcome::kEcho) outcome_.output.push_back(message);
    if (outcome == Outcome::kFailed) Fail(stmt, message);
  }

  const std::string& Unusable() const { return unusable_; }

 private:
  void Fail(const SQLStmtT<char>& stmt, const std::string& reason) {
    const Source& source = Current();
    outcome_.failures.push_back({stmt.GetText(), source.file->StatementLine(stmt), reason, source.name});
  }

  CKXTr& tr_;
  RunOutcome& outcome_;
  std::string unusable_;
};

void ListenToLog() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    CKXMsg::GetInstance()->SetLogListener([](const std::string& line) {
      if (t_observer != nullptr) t_observer->OnLogLine(line);
    });
  });
}

bool Connect(const RunRequest& request, CKXTr& tr, std::string& error) {
  const bool ok = request.connect.empty() ? tr.OpenSQLite(request.sqlite.c_str())
                                          : tr.Connect(request.connect.c_str());
  if (!ok) {
    error = request.connect.empty() ? "cannot open SQLite database '" + request.sqlite + "'"
                                    : std::string("cannot connect");
    error += ": " + CKXMsg::GetInstance()->GetLastMessage().text;
  }
  return ok;
}

}  // namespace

bool RunScript(RunRequest& request, const StopCheck& should_stop, RunOutcome& outcome, std::string& error) {
  CKXTr tr;
  if (!Connect(request, tr, error)) return false;
  if (request.dialect != nullptr) tr.SetDBMSType(*request.dialect);
  // What the script's client keeps from one statement, and one included
  // script, to the next.
  kxsql::detail::ScriptSession session;
  const kxsql::detail::Client client = kxsql::detail::ClientFor(tr.GetDBMSType());
  for (const auto& [name, value] : request.variables)
    session.SetVariable(kxsql::detail::VariableKey(client, name), value);
  session.SetScriptPath(request.script_path);
  ListenToLog();

  ScriptFile& file = *request.script;
  long result = kxsql::detail::kRunEnded;
  unsigned int statements = 0;
  std::string last_message;
  std::string unusable;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  CKXThread worker([&] {
    try {
      RunObserver observer(file, request.script_path, tr, outcome);
      t_observer = &observer;
      file.SetSplitRules(request.rules);
      result = kxsql::detail::LoadSQL<char>(file, &tr, statements, outcome.errors, request.max_errors, &observer,
                                            &session);
      t_observer = nullptr;
      last_message = CKXMsg::GetInstance()->GetLastMessage().text;
      unusable = observer.Unusable();
    } catch (const std::bad_alloc&) {
      // An observer that could not keep a failure: the run ends, and says why.
      t_observer = nullptr;
      result = kxsql::detail::kRunFailed;
      last_message = "out of memory";
    }
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    done.notify_all();
  });
  if (!worker.Start()) {
    error = "cannot start the worker thread";
    return false;
  }

  bool stopping = false;
  auto last_cancel = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex);
  while (!finished) {
    done.wait_for(lock, std::chrono::milliseconds(20));
    if (finished) break;
    lock.unlock();
    if (!stopping && should_stop()) {
      stopping = true;
      worker.SignalStop();
      tr.Cancel();
      last_cancel = std::chrono::steady_clock::now();
    } else if (stopping && std::chrono::steady_clock::now() - last_cancel >= std::chrono::milliseconds(250)) {
      // A cancel may reach a driver just before it sends the statement, and
      // be lost: it is repeated until the worker is done.
      tr.Cancel();
      last_cancel = std::chrono::steady_clock::now();
    }
    lock.lock();
  }
  lock.unlock();
  worker.Join();
  file.Close();

  outcome.statements = statements;
  outcome.stopped = stopping;
  const bool limit_reached = result == kxsql::detail::kRunFailed &&
                             request.max_errors != kxsql::detail::kNoErrorLimit &&
                             outcome.errors >= request.max_errors;
  if (stopping) {
    outcome.reason = "interrupted";
  } else if (!unusable.empty()) {
    outcome.reason = "the database cannot be used any more: " + unusable;
  } else if (limit_reached) {
    outcome.reason = "the error limit (" + std::to_string(request.max_errors) + ") was reached";
  } else if (result == kxsql::detail::kRunFailed && file.NulLine() != 0) {
    outcome.reason = "a NUL character on line " + std::to_string(file.NulLine()) +
                     ": the script is binary or damaged; nothing from the statement that holds it on was run";
  } else if (result != kxsql::detail::kRunEnded) {
    outcome.reason = last_message;
  }
  outcome.completed = outcome.reason.empty();
  return true;
}

}  // namespace kxsql::python

// The script runner's statement loop, and what it does under the native
// rules with client commands, COPY rows and variables.
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

#include "kxcom/charset.h"
#include "kxcom/kxstring.h"
#include "kxcom/message.h"
#include "kxcom/thread.h"
#include "runner/client_commands.h"
#include "runner/copy_loader.h"
#include "runner/script_runner.h"
#include "runner/substitution.h"
#include "statements/native/client.h"

namespace kxsql::detail {
namespace {

constexpr char kRunCaption[] = "Parse SQL script";
constexpr char kRunSource[] = "LoadSQL";

void ReportRunFailure(const char* text) {
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, text, kRunCaption, 0, kRunSource, 0);
}

// 0 (SQL_SUCCESS), 1 (SQL_SUCCESS_WITH_INFO) and 100 (SQL_NO_DATA): an
// UPDATE that touched no row has still run.
bool IsExecuted(short rc) { return rc == 0 || rc == 1 || rc == 100; }
constexpr short kFailed = -1;

// The host takes narrow text: 8-bit text goes as it is, 16-bit text is
// converted to UTF-8 in `holder`. A huge statement is not copied for nothing.
inline const char* ToNarrow(const char* text, CKXStringA&) { return text; }
inline const char* ToNarrow(const unsigned short* text, CKXStringA& holder) {
  holder = KXNarrow(text);
  return holder.GetString();
}

// The SQL to hand over. The parsed text is the raw text with the dialect's
// left-out tokens removed and both ends trimmed; when nothing but trailing
// blanks tells them apart, the raw text goes as written. Compared in place.
template <class T>
const T* ChooseSQL(const SQLStmtT<T>& stmt) {
  const T* const text = stmt.GetText();
  const T* const parsed = stmt.GetParsedText();
  std::size_t n = CKXStringT<T>::Length(text);
  const auto is_blank = [](T c) {
    for (const T* w = CharSet<T>::WHITESPACE; *w != 0; ++w)
      if (*w == c) return true;
    return false;
  };
  while (n > 0 && is_blank(text[n - 1])) --n;
  for (std::size_t i = 0; i < n; ++i)
    if (parsed[i] != text[i]) return parsed;
  return parsed[n] == 0 ? text : parsed;
}

// What the loop does next after a statement.
enum class Step { kNext, kEnd, kFail, kStop };

// One run: the counters, the limit and the session that every script of it
// shares, included scripts too.
struct RunState {
  RunState(CKXTr* tr_, unsigned int& stmts, unsigned int& errors, unsigned int limit, ScriptSession& session_)
      : tr(tr_), stmt_count(stmts), error_count(errors), max_errors(limit), session(session_),
        worker(CKXThread::GetWorkerThread()) {}
  CKXTr* tr;
  unsigned int& stmt_count;
  unsigned int& error_count;
  unsigned int max_errors;
  ScriptSession& session;
  CKXThread* worker;
  CKXSQLStmt wrapper{0};
  // The COPY whose rows are being loaded, and whether it failed (its further
  // rows are then dropped, as the server drops them).
  CopyLoader copy;
  bool copy_active = false;
  bool copy_failed = false;
  std::string copy_text;
};

// The run's answer to a failure: go on, or end at the limit or because the
// script asked to stop at the first failure.
Step CountFailure(RunState& run) {
  ++run.error_count;
  if (run.max_errors != kNoErrorLimit && run.error_count >= run.max_errors) return Step::kFail;
  if (run.session.stop_on_error) {
    ReportRunFailure("the script asked to stop at its first failure");
    return Step::kFail;
  }
  return Step::kNext;
}

template <class T>
class StatementLoop {
 public:
  StatementLoop(CKXSQLStreamT<T>& stream, RunState& run, ScriptObserver<T>* observer)
      : stream_(stream), run_(run), observer_(observer) {}
  long Run();

 private:
  Step Execute(const SQLStmtT<T>& stmt, const char* sql);
  Step ExecuteOnce(const SQLStmtT<T>& stmt, const char* sql, bool report);
  Step LoadCopy(const SQLStmtT<T>& stmt, const std::string& sql);
  Step LoadCopyRows(const SQLStmtT<T>& stmt, bool last);
  Step FinishCopy();
  Step FailCopy(const SQLStmtT<T>& stmt, const char* sql, const std::string& error);
  Step Perform(const SQLStmtT<T>& stmt);
  Step Include(const SQLStmtT<T>& stmt, const ClientCommand& command);
  Step FailClient(const SQLStmtT<T>& stmt, const std::string& message);
  void Tell(const SQLStmtT<T>& stmt, typename ScriptObserver<T>::Outcome outcome, const std::string& message);

  CKXSQLStreamT<T>& stream_;
  RunState& run_;
  ScriptObserver<T>* observer_;
  Client client_ = Client::kClassic;
  CKXStringA narrow_;  // the 8-bit form of a 16-bit text
};

template <class T>
void StatementLoop<T>::Tell(const SQLStmtT<T>& stmt, typename ScriptObserver<T>::Outcome outcome,
                            const std::string& message) {
  using Outcome = typename ScriptObserver<T>::Outcome;
  if (outcome == Outcome::kEcho)
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::INFO, message.c_str(), "Script Message", 0, kRunSource, 0);
  else if (outcome == Outcome::kNotice)
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::WARN, message.c_str(), kRunCaption, 0, kRunSource, 0);
  else if (outcome == Outcome::kFailed)
    ReportRunFailure(message.c_str());
  if (observer_ != nullptr) observer_->OnClientCommand(stmt, outcome, message);
}

template <class T>
Step StatementLoop<T>::FailClient(const SQLStmtT<T>& stmt, const std::string& message) {
  Tell(stmt, ScriptObserver<T>::Outcome::kFailed, message);
  return CountFailure(run_);
}

template <class T>
Step StatementLoop<T>::ExecuteOnce(const SQLStmtT<T>& stmt, const char* sql, bool report) {
  const short rc = run_.tr->GetDBMSType().ExecuteScriptStmt(run_.wrapper, run_.tr, sql);
  if (report) {
    ++run_.stmt_count;
    if (observer_) observer_->OnStatement(stmt, sql, rc);
  }
  if (IsExecuted(rc)) return Step::kNext;
  CKXStringA holder;  // `sql` may stand in narrow_
  if (report) ReportRunFailure(ToNarrow(stmt.GetText(), holder));
  return report ? CountFailure(run_) : Step::kFail;
}

template <class T>
Step StatementLoop<T>::Execute(const SQLStmtT<T>& stmt, const char* sql) {
  // sqlcmd's `GO n` sends the batch n times.
  for (unsigned int i = 0; i < stmt.GetRepeatCount(); ++i) {
    const Step step = ExecuteOnce(stmt, sql, true);
    if (step != Step::kNext) return step;
  }
  return Step::kNext;
}

template <class T>
Step StatementLoop<T>::LoadCopy(const SQLStmtT<T>& stmt, const std::string& sql) {
  run_.copy = CopyLoader(!run_.tr->IsEmbedded());
  run_.copy_active = true;
  run_.copy_failed = false;
  run_.copy_text = ToNarrow(stmt.GetText(), narrow_);
  ++run_.stmt_count;
  std::string error;
  if (!run_.copy.Parse(sql, error)) return FailCopy(stmt, sql.c_str(), error);
  const std::string column_query = run_.copy.ColumnQuery();
  if (!column_query.empty() && std::strstr(run_.tr->GetDBMSName(), "PostgreSQL") != nullptr) {
    // Without the columns' types the rows go in as VALUES lists.
    std::vector<std::vector<std::string>> columns;
    if (run_.tr->QueryRows(column_query.c_str(), columns)) run_.copy.UseColumns(columns);
  }
  const Step step = LoadCopyRows(stmt, false);
  if (step == Step::kNext && observer_) observer_->OnStatement(stmt, sql.c_str(), 0);
  return step;
}

template <class T>
Step StatementLoop<T>::FailCopy(const SQLStmtT<T>& stmt, const char* sql, const std::string& error) {
  // The rest of its rows are dropped, as the server drops them.
  run_.copy_failed = true;
  if (!error.empty()) CKXMsg::GetInstance()->LogError(error.c_str());
  if (observer_) observer_->OnStatement(stmt, sql, kFailed);
  ReportRunFailure(run_.copy_text.c_str());
  return CountFailure(run_);
}

template <class T>
Step StatementLoop<T>::LoadCopyRows(const SQLStmtT<T>& stmt, bool last) {
  if (!run_.copy_active || run_.copy_failed) return Step::kNext;
  if (last) run_.copy_active = false;
  std::vector<CopyInsert> inserts;
  std::string error;
  if (!run_.copy.AddRows(ToNarrow(stmt.GetData(), narrow_), last, inserts, error))
    return FailCopy(stmt, run_.copy_text.c_str(), error);
  for (const CopyInsert& insert : inserts) {
    const bool done = insert.texts.empty()
                          ? ExecuteOnce(stmt, insert.sql.c_str(), false) == Step::kNext
                          : IsExecuted(run_.tr->ExecuteWithTexts(run_.wrapper, insert.sql.c_str(), insert.texts));
    if (!done) return FailCopy(stmt, run_.copy_text.c_str(), "");
  }
  return Step::kNext;
}

template <class T>
Step StatementLoop<T>::FinishCopy() {
  // A record that the last piece left open, or the last line without its line end.
  if (!run_.copy_active) return Step::kNext;
  return LoadCopyRows(SQLStmtT<T>(), true);
}

template <class T>
Step StatementLoop<T>::Include(const SQLStmtT<T>& stmt, const ClientCommand& command) {
  if (command.args.empty()) return FailClient(stmt, command.name + ": missing file name");
  std::string path = command.args[0];
  // SQL*Plus adds .sql to a name without an extension.
  if (client_ == Client::kSqlPlus && path.find('.', path.find_last_of('/') + 1) == std::string::npos) path += ".sql";
  path = run_.session.ResolveInclude(path, command.action == ClientAction::kIncludeRelative);
  if (!run_.session.EnterInclude(path))
    return FailClient(stmt, command.name + " " + path + ": includes nest deeper than " +
                                std::to_string(ScriptSession::kMaxIncludeDepth) + " or include themselves");
  std::unique_ptr<CKXSQLFile> file;
  ScriptObserver<char>* include_observer = nullptr;
  if constexpr (std::is_same_v<T, char>) include_observer = observer_;
  file = include_observer ? include_observer->OpenInclude(path) : OpenPlainInclude(path);
  if (!file) {
    run_.session.LeaveInclude();
    return FailClient(stmt, command.name + " " + path + ": " + CKXMsg::GetInstance()->GetLastMessage().text);
  }
  file->SetSplitRules(KXSQL_RULES_NATIVE);
  StatementLoop<char> nested(*file, run_, include_observer);
  const long result = nested.Run();
  run_.session.LeaveInclude();
  if (include_observer) include_observer->OnIncludeEnd();
  if (result == kRunStopped) return Step::kStop;
  if (result == kRunFailed) return Step::kFail;
  return run_.session.quit ? Step::kEnd : Step::kNext;
}

template <class T>
Step StatementLoop<T>::Perform(const SQLStmtT<T>& stmt) {
  using Outcome = typename ScriptObserver<T>::Outcome;
  const std::string text(ToNarrow(stmt.GetNoCommentText(), narrow_));
  // Client commands take variables in their arguments (\echo :x, :r $(dir)/x.sql).
  std::size_t name_end = 0;
  while (name_end < text.size() && text[name_end] != ' ' && text[name_end] != '\t') ++name_end;
  std::string error;
  std::string arguments;
  const std::string written = text.substr(name_end);
  switch (SubstituteVariables(client_, run_.session, written.c_str(), arguments, error)) {
    case Substitution::kUndefined:
      return FailClient(stmt, error);
    case Substitution::kUnchanged:
      arguments = written;
      break;
    case Substitution::kChanged:
      break;
  }
  const std::string line = text.substr(0, name_end) + arguments;
  const ClientCommand command = ParseClientCommand(client_, line);
  ScriptSession& session = run_.session;
  if (client_ == Client::kPsql && command.name == "\\copy" && CopyLoader::IsCopyFromStdin(line.substr(1))) {
    // \copy ... from stdin reads its rows from the script, as COPY does.
    if (!session.restrict_key.empty())
      return FailClient(stmt, "backslash commands are restricted; only \\unrestrict is allowed");
    return LoadCopy(stmt, line.substr(1));
  }
  if (client_ == Client::kPsql && (command.name == "\\restrict" || command.name == "\\unrestrict")) {
    // What psql does with pg_dump's guard: between the two, only the
    // \unrestrict of the same key runs.
    const std::string key = command.args.empty() ? std::string() : command.args[0];
    if (command.name == "\\unrestrict" && !session.restrict_key.empty() && key != session.restrict_key)
      return FailClient(stmt, "\\unrestrict: wrong key");
    if (command.name == "\\restrict" && !session.restrict_key.empty())
      return FailClient(stmt, "backslash commands are restricted; only \\unrestrict is allowed");
    session.restrict_key = command.name == "\\restrict" ? key : std::string();
    return Step::kNext;
  }
  if (client_ == Client::kPsql && !session.restrict_key.empty())
    return FailClient(stmt, "backslash commands are restricted; only \\unrestrict is allowed");
  switch (command.action) {
    case ClientAction::kInclude:
    case ClientAction::kIncludeRelative:
      return Include(stmt, command);
    case ClientAction::kConnect: {
      if (command.args.empty() || command.args[0] == "-") {
        Tell(stmt, Outcome::kNotice, command.name + " without a database name: the connection stays as it is");
        return Step::kNext;
      }
      for (std::size_t i = 1; i < command.args.size(); ++i)
        if (command.args[i] != "-")
          return FailClient(stmt, command.name + ": kxsql connects to another database of the same server only, "
                                                 "not as another user or to another host");
      if (!run_.tr->ConnectDatabase(command.args[0].c_str()))
        return FailClient(stmt, command.name + " " + command.args[0] + ": " +
                                    CKXMsg::GetInstance()->GetLastMessage().text);
      Tell(stmt, Outcome::kDone, std::string());
      return Step::kNext;
    }
    case ClientAction::kOpenDatabase: {
      if (command.args.empty()) return FailClient(stmt, command.name + ": missing file name");
      if (!run_.tr->IsEmbedded())
        return FailClient(stmt, command.name + ": the connection is not an SQLite database");
      const DBMSTYPE& type = run_.tr->GetDBMSType();
      const bool opened = run_.tr->OpenSQLite(command.args.back().c_str());
      run_.tr->SetDBMSType(type);
      if (!opened) return FailClient(stmt, command.name + ": " + CKXMsg::GetInstance()->GetLastMessage().text);
      return Step::kNext;
    }
    case ClientAction::kSetVariable:
      session.SetVariable(VariableKey(client_, command.args[0]), command.args[1]);
      return Step::kNext;
    case ClientAction::kUnsetVariable:
      for (const std::string& name : command.args) session.UnsetVariable(VariableKey(client_, name));
      return Step::kNext;
    case ClientAction::kEcho:
      Tell(stmt, Outcome::kEcho, command.text);
      return Step::kNext;
    case ClientAction::kStopOnError:
      session.stop_on_error = command.flag;
      return Step::kNext;
    case ClientAction::kSubstitution:
      session.substitution = command.flag;
      if (!command.text.empty()) session.substitution_prefix = command.text[0];
      return Step::kNext;
    case ClientAction::kQuit:
      session.quit = true;
      return Step::kEnd;
    case ClientAction::kRunSql: {
      const Step step = ExecuteOnce(stmt, command.text.c_str(), true);
      return step;
    }
    case ClientAction::kIgnore:
      return Step::kNext;
    case ClientAction::kSkip:
      Tell(stmt, Outcome::kNotice, command.Message());
      return Step::kNext;
    case ClientAction::kRefuse:
    case ClientAction::kInvalid:
      return FailClient(stmt, command.Message());
  }
  return Step::kNext;
}

template <class T>
long StatementLoop<T>::Run() {
  const bool native = stream_.GetSplitRules() == KXSQL_RULES_NATIVE;
  client_ = native ? ClientFor(run_.tr->GetDBMSType()) : Client::kClassic;
  SQLStmtT<T> stmt;
  while (!stream_.IsEOF() || HasNativeReadAhead(stream_)) {
    // Polled between statements only: a statement once handed over runs to its end.
    if (run_.worker != nullptr && run_.worker->IsStopSignaled(0)) return kRunStopped;
    if (observer_) observer_->OnBeforeStatement();
    stmt.Clear();
    const long next = stream_.GetNextStmt(stmt, run_.tr, nullptr);
    if (next < 0) {
      ReportRunFailure("Failed to get next statement");
      ++run_.error_count;
      return kRunFailed;
    }
    if (observer_) observer_->OnStatementRead(stmt, next);
    Step step = Step::kNext;
    if (stmt.GetKind() != KXSQL_STMT_DATA) step = FinishCopy();
    if (step != Step::kNext) {
    } else if (stmt.GetKind() == KXSQL_STMT_CLIENT) {
      step = Perform(stmt);
    } else if (stmt.GetKind() == KXSQL_STMT_DATA) {
      step = LoadCopyRows(stmt, false);
    } else if (stmt.IsEmpty()) {
      if (next > 0) break;
      continue;
    } else {
      const char* sql = ToNarrow(ChooseSQL(stmt), narrow_);
      std::string substituted, error;
      // Variables are replaced (and a COPY recognised) only where the client
      // has them; classic statements go as they are, uncopied. A statement
      // whose variable the client would insist on is not sent.
      const Substitution substitution = native && client_ != Client::kClassic
                                            ? SubstituteVariables(client_, run_.session, sql, substituted, error)
                                            : Substitution::kUnchanged;
      if (substitution == Substitution::kUndefined) step = FailClient(stmt, error);
      else if (substitution == Substitution::kChanged) sql = substituted.c_str();
      if (substitution != Substitution::kUndefined) {
        if (native && client_ == Client::kPsql && CopyLoader::IsCopyFromStdin(sql)) step = LoadCopy(stmt, sql);
        else step = Execute(stmt, sql);
      }
    }
    switch (step) {
      case Step::kNext:
        break;
      case Step::kEnd:
        return kRunEnded;
      case Step::kFail:
        return kRunFailed;
      case Step::kStop:
        return kRunStopped;
    }
  }
  const Step last = FinishCopy();
  return last == Step::kFail ? kRunFailed : kRunEnded;
}

template <class T>
long RunStatements(CKXSQLStreamT<T>& stream, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
                   unsigned int max_errors, ScriptObserver<T>* observer, ScriptSession* session) {
  stmt_count = 0;
  if (tr == nullptr || !tr->IsConnected()) {
    ReportRunFailure("Transaction is not connected");
    return kRunFailed;
  }
  ScriptSession own_session;
  RunState run(tr, stmt_count, error_count, max_errors, session ? *session : own_session);
  StatementLoop<T> loop(stream, run, observer);
  return loop.Run();
}

}  // namespace

template <class T>
long LoadSQL(CKXSQLStreamT<T>& stream, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
             unsigned int max_errors, ScriptObserver<T>* observer, ScriptSession* session) {
  try {
    return RunStatements(stream, tr, stmt_count, error_count, max_errors, observer, session);
  } catch (const std::bad_alloc&) {
    ReportRunFailure("Out of memory");
  } catch (const std::exception& e) {
    ReportRunFailure(e.what());
  } catch (...) {
    ReportRunFailure("Unexpected failure");
  }
  return kRunFailed;
}

}  // namespace kxsql::detail

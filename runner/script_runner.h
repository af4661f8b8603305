// The script runner: hands every statement of a stream, one after the other,
// to the DBMS type of a host transaction, with counters, an error limit and
// the worker thread's stop request polled between statements.
//
// Internal to kxsql (not installed), but exported so that the kxsql tool can
// run a file source with an observer:
//
//   unsigned int statements = 0, errors = 0;
//   long rc = kxsql::detail::LoadSQL<char>(file, &tr, statements, errors, 4294967295u, &observer);
#pragma once

#include <memory>
#include <string>

#include "kxcom/transaction.h"
#include "kxsql/file_source.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/statement.h"
#include "kxsql/stream.h"
#include "runner/script_session.h"

namespace kxsql::detail {

// Run results.
enum : long {
  kRunEnded = 0,     // the end of the script was reached (statements may have failed below the limit)
  kRunFailed = -1,   // no text, not connected, unreadable, or the error limit
  kRunStopped = 4096,  // the worker thread was asked to stop
};

// The error limit that means none.
constexpr unsigned int kNoErrorLimit = 4294967295u;

// A plain file source opened on `path`, or null with the reason in the
// host's last message.
KXSQL_EXPORT std::unique_ptr<CKXSQLFile> OpenPlainInclude(const std::string& path);

// Follows a run as it goes, on the thread that runs it. The runner itself
// never depends on what an observer does.
template <class T>
class ScriptObserver {
 public:
  virtual ~ScriptObserver() = default;
  // Before the next statement is read from the stream.
  virtual void OnBeforeStatement() {}
  // After a statement was read, before it is run (or passed over when it is
  // empty); `rc` is GetNextStmt's: 1 when the input ended first.
  virtual void OnStatementRead(const SQLStmtT<T>& /*stmt*/, long /*rc*/) {}
  // After a statement was handed over: `sql` is the narrow text that was
  // executed and `rc` the ODBC return code (0, 1 and 100 are success). The
  // reason of a failure is already in the host log.
  virtual void OnStatement(const SQLStmtT<T>& stmt, const char* sql, short rc) = 0;

  // What became of a client command (native rules).
  enum class Outcome { kDone, kEcho, kNotice, kFailed };
  // After a client command: `message` is the text to echo (kEcho), the
  // notice of a skipped command (kNotice), or why it failed (kFailed).
  virtual void OnClientCommand(const SQLStmtT<T>& /*stmt*/, Outcome /*outcome*/, const std::string& /*message*/) {}
  // An included script: the source to read `path` from, opened; null, with
  // the reason in the host's last message, when it cannot be read. The
  // tool gives its own source, which counts lines.
  virtual std::unique_ptr<CKXSQLFile> OpenInclude(const std::string& path) { return OpenPlainInclude(path); }
  // The included script opened last has been read.
  virtual void OnIncludeEnd() {}
};

// Runs every statement of the open `stream` on `tr`. Under the native rules
// (the stream's SetSplitRules) client commands are done as their client does
// them (runner/client_commands.h), COPY rows are loaded, and variables are
// replaced; `session` carries what the client keeps from one script to the
// next (null: a session for this run alone). `stmt_count` is set to
// the number of statements handed over; `error_count` grows by one for every
// failed statement (and once when the stream cannot be read) and is never
// reset. With `max_errors` other than kNoErrorLimit the run ends with -1 as
// soon as `error_count` reaches it. Returns 0, -1 or 4096 (see above).
// Failures are recorded as messages with the caption "Parse SQL script" and
// the source "LoadSQL". Never throws. The stream is left open.
template <class T>
KXSQL_EXPORT long LoadSQL(CKXSQLStreamT<T>& stream, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
                          unsigned int max_errors, ScriptObserver<T>* observer = nullptr,
                          ScriptSession* session = nullptr);

extern template KXSQL_EXPORT long LoadSQL<char>(CKXSQLStreamT<char>&, CKXTr*, unsigned int&, unsigned int&,
                                                unsigned int, ScriptObserver<char>*, ScriptSession*);
extern template KXSQL_EXPORT long LoadSQL<unsigned short>(CKXSQLStreamT<unsigned short>&, CKXTr*, unsigned int&,
                                                          unsigned int&, unsigned int,
                                                          ScriptObserver<unsigned short>*, ScriptSession*);

}  // namespace kxsql::detail

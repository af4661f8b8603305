// The script runner's statement loop.
#include <exception>
#include <new>

#include "kxcom/charset.h"
#include "kxcom/kxstring.h"
#include "kxcom/message.h"
#include "kxcom/thread.h"
#include "runner/script_runner.h"

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

template <class T>
long RunStatements(CKXSQLStreamT<T>& stream, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
                   unsigned int max_errors, ScriptObserver<T>* observer) {
  stmt_count = 0;
  if (tr == nullptr || !tr->IsConnected()) {
    ReportRunFailure("Transaction is not connected");
    return kRunFailed;
  }
  CKXThread* const worker = CKXThread::GetWorkerThread();
  CKXSQLStmt wrapper(0);
  SQLStmtT<T> stmt;
  CKXStringA narrow;

  while (!stream.IsEOF()) {
    // Polled between statements only: a statement once handed over runs to its end.
    if (worker != nullptr && worker->IsStopSignaled(0)) return kRunStopped;
    if (observer) observer->OnBeforeStatement();
    stmt.Clear();
    const long next = stream.GetNextStmt(stmt, tr, nullptr);
    if (next < 0) {
      ReportRunFailure("Failed to get next statement");
      ++error_count;
      return kRunFailed;
    }
    if (observer) observer->OnStatementRead(stmt, next);
    if (stmt.IsEmpty()) {
      if (next > 0) return kRunEnded;
      continue;
    }
    const char* const sql = ToNarrow(ChooseSQL(stmt), narrow);
    const short rc = tr->GetDBMSType().ExecuteScriptStmt(wrapper, tr, sql);
    ++stmt_count;
    if (observer) observer->OnStatement(stmt, sql, rc);
    if (IsExecuted(rc)) continue;

    ReportRunFailure(ToNarrow(stmt.GetText(), narrow));
    ++error_count;
    if (max_errors != kNoErrorLimit && error_count >= max_errors) return kRunFailed;
  }
  return kRunEnded;
}

}  // namespace

template <class T>
long LoadSQL(CKXSQLStreamT<T>& stream, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
             unsigned int max_errors, ScriptObserver<T>* observer) {
  try {
    return RunStatements(stream, tr, stmt_count, error_count, max_errors, observer);
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

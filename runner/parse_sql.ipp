// CKXSQLTextT<T>::ParseSQL: a whole script held in memory, run over a
// transaction by the script runner.
#include "kxsql/text_source.h"
#include "runner/script_runner.h"

template <class T>
long CKXSQLTextT<T>::ParseSQL(const T* text, CKXTr* tr, unsigned int& stmt_count, unsigned int& error_count,
                             unsigned int max_errors) {
  // Set refuses a null or empty text (and logs why); the counters stay as they were.
  if (Set(text) < 0) return kxsql::detail::kRunFailed;
  const long result = kxsql::detail::LoadSQL<T>(*this, tr, stmt_count, error_count, max_errors);
  Close();
  return result;
}

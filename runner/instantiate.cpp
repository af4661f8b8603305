// The script runner and ParseSQL, instantiated for 8-bit and 16-bit text.
// CKXSQLTextT itself is instantiated with the lexical layer; only its
// ParseSQL member is instantiated here.
#include "runner/parse_sql.ipp"
#include "runner/script_runner.ipp"

namespace kxsql::detail {
template long LoadSQL<char>(CKXSQLStreamT<char>&, CKXTr*, unsigned int&, unsigned int&, unsigned int,
                            ScriptObserver<char>*, ScriptSession*);
template long LoadSQL<unsigned short>(CKXSQLStreamT<unsigned short>&, CKXTr*, unsigned int&, unsigned int&,
                                      unsigned int, ScriptObserver<unsigned short>*, ScriptSession*);
}  // namespace kxsql::detail

template long CKXSQLTextT<char>::ParseSQL(const char*, CKXTr*, unsigned int&, unsigned int&, unsigned int);
template long CKXSQLTextT<unsigned short>::ParseSQL(const unsigned short*, CKXTr*, unsigned int&, unsigned int&,
                                                    unsigned int);

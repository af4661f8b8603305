// The statement layer's templates, instantiated for 8-bit and 16-bit text.
//
// CKXSQLStreamT itself is instantiated with the lexer, which sees only the
// members defined there; the splitter and the block rules are instantiated
// here, member by member.
#include "statements/block_rules.ipp"
#include "statements/native/native.ipp"
#include "statements/splitter.ipp"
#include "statements/statement.ipp"

template class SQLStmtT<char>;
template class SQLStmtT<unsigned short>;

#define KXSQL_INSTANTIATE_SPLITTER(T)                                                                       \
  template long CKXSQLStreamT<T>::GetNextStmt(SQLStmtT<T>&, const CKXTr*, const STMTSEP*);                 \
  template long CKXSQLStreamT<T>::GetNextStmt(SQLStmtT<T>&, const CKXTr*, unsigned long, const STMTSEP*);  \
  template long CKXSQLStreamT<T>::SQLSeekToken(SQLStmtT<T>&, const DBMSTYPE&, unsigned long,               \
                                               const SQLTOKEN_TYPE&, const T*);                            \
  template long CKXSQLStreamT<T>::SQLSeekToken(SQLStmtT<T>&, const DBMSTYPE&, unsigned long,               \
                                               const SQLTOKEN_TYPE&);                                      \
  template long CKXSQLStreamT<T>::SQLSeekSymbol(SQLStmtT<T>&, const DBMSTYPE&, unsigned long, const T*);   \
  template long CKXSQLStreamT<T>::SQLSeekEndOfStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long,           \
                                                   const STMTSEP&);                                        \
  template long CKXSQLStreamT<T>::SQLRegularStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);            \
  template long CKXSQLStreamT<T>::SQLInvalidStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);            \
  template long CKXSQLStreamT<T>::SQLCompoundStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);           \
  template long CKXSQLStreamT<T>::SQLDB2OracleIFStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);        \
  template long CKXSQLStreamT<T>::SQLOracleForStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);          \
  template long CKXSQLStreamT<T>::SQLPGDollarQuotedString(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);   \
  template long CKXSQLStreamT<T>::SeekToken(SQLStmtT<T>&, const DBMSTYPE&, unsigned long,                  \
                                            const SQLTOKEN_TYPE&, const T*);                               \
  template long CKXSQLStreamT<T>::SeekSeparator(SQLStmtT<T>&, const DBMSTYPE&, unsigned long,              \
                                                const STMTSEP&);                                           \
  template long CKXSQLStreamT<T>::RegularStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);               \
  template long CKXSQLStreamT<T>::DialectStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long, bool);         \
  template long CKXSQLStreamT<T>::StatementRules(CKXSQLStreamT<T>::Feed&);                                 \
  template long CKXSQLStreamT<T>::StoredCodeBlock(CKXSQLStreamT<T>::Feed&);                                \
  template long CKXSQLStreamT<T>::FollowBlocks(CKXSQLStreamT<T>::Feed&, CKXSQLStreamT<T>::BlockKind);      \
  template long CKXSQLStreamT<T>::FollowDollarQuote(CKXSQLStreamT<T>::Feed&);                              \
  template long CKXSQLStreamT<T>::SetSplitRules(int) noexcept;                                             \
  template long CKXSQLStreamT<T>::SetSplitRules(int, const DBMSTYPE&) noexcept;                            \
  template long CKXSQLStreamT<T>::NativeStmt(SQLStmtT<T>&, const DBMSTYPE&, unsigned long);                \
  template long CKXSQLStreamT<T>::NativeToken(SQLToken<T>&);                                               \
  template bool CKXSQLStreamT<T>::LexesNatively() const noexcept;                                          \
  template struct kxsql::detail::NativeStateDeleter<T>;                                                    \
  template kxsql::detail::NativeState<T>* kxsql::detail::CloneNativeState(const NativeState<T>&);          \
  template void kxsql::detail::ResetNativeReading(NativeState<T>&) noexcept;                               \
  template bool kxsql::detail::HasNativeReadAhead(const CKXSQLStreamT<T>&) noexcept;                       \
  template const char* kxsql::detail::NativeOpenAtEnd(const CKXSQLStreamT<T>&, std::size_t&) noexcept;

KXSQL_INSTANTIATE_SPLITTER(char)
KXSQL_INSTANTIATE_SPLITTER(unsigned short)
#undef KXSQL_INSTANTIATE_SPLITTER

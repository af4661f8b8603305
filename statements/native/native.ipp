// The native rules on a stream: choosing them, and the next statement and
// the next token as the dialect's own client cuts them. Each client's rules
// live in a file of their own (psql.ipp, sqlite_shell.ipp, mysql_client.ipp,
// sqlplus.ipp, sqlcmd.ipp, db2_clp.ipp); this file only chooses among them.
#pragma once

#include <new>

#include "kxcom/message.h"
#include "kxsql/stream.h"
#include "statements/native/native_input.ipp"
#include "statements/native/native_state.h"

namespace kxsql::detail {

template <class T>
void NativeStateDeleter<T>::operator()(NativeState<T>* state) const noexcept {
  delete state;
}

template <class T>
NativeState<T>* CloneNativeState(const NativeState<T>& state) {
  return new NativeState<T>(state);
}

template <class T>
void ResetNativeReading(NativeState<T>& state) noexcept {
  // A new text or file: nothing read ahead, every client starts afresh.
  const DBMSTYPE* const dialect = state.dialect;
  try {
    state = NativeState<T>();
  } catch (const std::bad_alloc&) {
    // Assigning a fresh state never needs memory of its own; keep going.
  }
  state.dialect = dialect;
}

template <class T>
const char* NativeOpenAtEnd(const CKXSQLStreamT<T>& stream, std::size_t& length) noexcept {
  if (stream.m_pNative == nullptr || stream.m_pNative->open_at_end.what == nullptr) return nullptr;
  length = stream.m_pNative->open_at_end.length;
  return stream.m_pNative->open_at_end.what;
}

template <class T>
bool HasNativeReadAhead(const CKXSQLStreamT<T>& stream) noexcept {
  return stream.m_pNative != nullptr && stream.m_pNative->input.HasReadAhead();
}

// Gives the reading position back to the stream however the call ends.
template <class T>
class AttachedInput {
 public:
  AttachedInput(NativeInput<T>& input, CKXSQLStreamT<T>& stream, bool window) : input_(input) {
    input_.Attach(stream, window);
  }
  ~AttachedInput() { input_.Detach(); }
  AttachedInput(const AttachedInput&) = delete;
  AttachedInput& operator=(const AttachedInput&) = delete;

 private:
  NativeInput<T>& input_;
};

// The client's lexer, for GetToken.
template <class T>
Lexeme<T> LexAs(Client client, NativeState<T>& state) {
  switch (client) {
    case Client::kPsql:
      return PsqlRules<T>::Lex(state.input, state.psql);
    case Client::kSqliteShell:
      return SqliteShellRules<T>::Lex(state.input);
    case Client::kMysql:
      return MysqlRules<T>::Lex(state.input, state.mysql);
    case Client::kSqlPlus:
      return SqlPlusRules<T>::Lex(state.input);
    case Client::kSqlcmd:
      return SqlcmdRules<T>::Lex(state.input);
    case Client::kDb2Clp:
      return Db2ClpRules<T>::Lex(state.input, state.db2);
    default:
      return Lexeme<T>();
  }
}

}  // namespace kxsql::detail

template <class T>
long CKXSQLStreamT<T>::SetSplitRules(int rules) noexcept {
  if (rules == KXSQL_RULES_CLASSIC) {
    m_pNative.reset();
    return 0;
  }
  if (rules != KXSQL_RULES_NATIVE) return -1;
  if (m_pNative) return 0;
  try {
    m_pNative.reset(new kxsql::detail::NativeState<T>());
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

template <class T>
long CKXSQLStreamT<T>::SetSplitRules(int rules, const DBMSTYPE& dialect) noexcept {
  const long rc = SetSplitRules(rules);
  if (rc == 0 && m_pNative) m_pNative->dialect = &dialect;
  return rc;
}

template <class T>
long CKXSQLStreamT<T>::NativeStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags) {
  using namespace kxsql::detail;
  NativeState<T>& state = *m_pNative;
  state.dialect = &dbms;
  const Client client = ClientFor(dbms);
  if (client == Client::kClassic) return DialectStmt(stmt, dbms, flags, true);
  if (!IsOpen()) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "Attempting to get next token, file not open",
                                          "Get Token Sequence Error", 0, "GetToken", 0);
    return KXSQL_FAILED;
  }
  AttachedInput<T> attached(state.input, *this, ReadsWindow());
  // Tokens that PeekToken queued are read again as characters, first.
  if (!m_tokenQueue.empty()) {
    CKXStringT<T> queued;
    for (const SQLToken<T>& token : m_tokenQueue) queued.Append(token.GetText(), token.GetLength());
    state.input.Unread(queued.GetString(), queued.GetLength());
    m_tokenQueue.clear();
  }
  state.open_at_end = OpenAtEnd();
  SplitContext<T> ctx(state.input, stmt, dbms, flags, state.at_line_start);
  ctx.open = &state.open_at_end;
  ctx.runs = !m_bTokenPathOnly;
  long rc = KXSQL_FAILED;
  switch (client) {
    case Client::kPsql:
      rc = PsqlRules<T>::Next(ctx, state.psql, state.interrupted, state.has_interrupted);
      break;
    case Client::kSqliteShell:
      rc = SqliteShellRules<T>::Next(ctx, state.sqlite);
      break;
    case Client::kMysql:
      rc = MysqlRules<T>::Next(ctx, state.mysql, state.interrupted, state.has_interrupted);
      break;
    case Client::kSqlPlus:
      rc = SqlPlusRules<T>::Next(ctx, state.sqlplus, state.interrupted, state.has_interrupted);
      break;
    case Client::kSqlcmd:
      rc = SqlcmdRules<T>::Next(ctx, state.interrupted, state.has_interrupted);
      break;
    case Client::kDb2Clp:
      rc = Db2ClpRules<T>::Next(ctx, state.db2, state.interrupted, state.has_interrupted);
      break;
    default:
      break;
  }
  ctx.Finish();
  m_nState = state.at_line_start ? 0 : 4;
  return rc;
}

template <class T>
bool CKXSQLStreamT<T>::LexesNatively() const noexcept {
  using namespace kxsql::detail;
  return m_pNative != nullptr && m_pNative->dialect != nullptr && ClientFor(*m_pNative->dialect) != Client::kClassic;
}

template <class T>
long CKXSQLStreamT<T>::NativeToken(SQLToken<T>& token) {
  using namespace kxsql::detail;
  NativeState<T>& state = *m_pNative;
  const Client client = ClientFor(*state.dialect);
  AttachedInput<T> attached(state.input, *this, ReadsWindow());
  const Lexeme<T> lexeme = LexAs(client, state);
  if (lexeme.length == 0) return state.input.Failed() ? KXSQL_FAILED : KXSQL_END;
  token.text_.Assign(lexeme.text, lexeme.length);
  token.type_ = lexeme.type;
  state.at_line_start = lexeme.Is(LexKind::kLineEnd);
  m_nState = state.at_line_start ? 0 : 4;
  return KXSQL_PRODUCED;
}

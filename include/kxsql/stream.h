/// @file
/// kxsql streams: the abstract source of SQL characters, with the tokenizer and
/// the statement splitter that run over every source.
///
/// A concrete source (the in-memory text CKXSQLTextT, the file CKXSQLFile)
/// delivers characters; the stream cuts them into tokens and statements.
///
/// @code
/// CKXSQLTextT<char> source("select 1; select 2;");
/// SQLStmtT<char> stmt;
/// while (source.GetNextStmt(stmt, &tr, nullptr) == 0) puts(stmt.GetText());
/// @endcode
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <typeinfo>

#include "kxcom/dbms_type.h"
#include "kxcom/message.h"
#include "kxcom/stmtsep.h"
#include "kxcom/token_type.h"
#include "kxcom/transaction.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/statement.h"
#include "kxsql/token.h"

/// Result codes of the reading operations (GetToken, GetCompareToken,
/// GetNextStmt and the splitter's rules): 0 a token or statement was
/// produced, 1 the input ended, -1 failure.
enum : long {
  KXSQL_PRODUCED = 0,  ///< a token or statement was produced
  KXSQL_END = 1,       ///< the input ended
  KXSQL_FAILED = -1,   ///< the source is not open or cannot be read
};

/// The rule sets that cut statements (SetSplitRules).
enum : int {
  /// The library's rules, the same for every dialect but for its block rules:
  /// `;`, GO and a `/` line end statements, BEGIN ... END and stored code stay
  /// whole. The default.
  KXSQL_RULES_CLASSIC = 0,
  /// Each dialect cut as its own command-line client cuts it: psql for
  /// PostgreSQL, the sqlite3 shell, the mysql client (DELIMITER), SQL*Plus
  /// for Oracle, sqlcmd for SQL Server and Sybase, the DB2 command line
  /// processor. Client commands come out as statements of their own
  /// (KXSQL_STMT_CLIENT). Informix, Access and GENERIC are cut as classic.
  KXSQL_RULES_NATIVE = 1,
};

/// @cond
namespace kxsql::detail {
template <class T>
class NativeInput;
template <class T>
struct NativeState;
template <class T>
struct NativeStateDeleter {
  void operator()(NativeState<T>* state) const noexcept;
};
template <class T>
NativeState<T>* CloneNativeState(const NativeState<T>& state);
template <class T>
void ResetNativeReading(NativeState<T>& state) noexcept;
template <class T>
bool HasNativeReadAhead(const CKXSQLStreamT<T>& stream) noexcept;
// Under the native rules: what the input ended inside while the last
// statement was read (a comment, a string, a quoted name, a dollar body, a
// block), in words, with its length: it is the end of that statement's text
// (a block: all of it, `length` then exceeds the text); null when nothing.
template <class T>
KXSQL_EXPORT const char* NativeOpenAtEnd(const CKXSQLStreamT<T>& stream, std::size_t& length) noexcept;
template <class T>
struct StreamProbe;
}  // namespace kxsql::detail
/// @endcond

/// The abstract source of SQL characters, with the tokenizer (GetToken) and
/// the statement splitter (GetNextStmt) that run over every source. It owns
/// the tokenizer state and the queue of tokens read ahead; derived sources
/// (CKXSQLTextT, CKXSQLFile) deliver the characters. One thread at a time.
template <class T>
class KXSQL_EXPORT CKXSQLStreamT : public CKXObject {
 public:
  /// Empty queue, tokenizer state 0.
  CKXSQLStreamT();
  /// Copies the state and every queued token, in queue order.
  CKXSQLStreamT(const CKXSQLStreamT& other);
  /// Copies the state and every queued token, in queue order.
  CKXSQLStreamT& operator=(const CKXSQLStreamT& other);
  ~CKXSQLStreamT() override;

  /// Detaches the source; afterwards IsOpen is false.
  virtual void Close() = 0;
  /// True when no character is left to deliver (also when not open).
  virtual bool IsEOF() const = 0;
  /// True while a source is attached.
  virtual bool IsOpen() const = 0;
  /// Progress in the source's own unit; GetTotalCount() once at the end;
  /// 0xFFFFFFFF when not open.
  ///@{
  virtual unsigned int GetDoneCount() const = 0;
  virtual unsigned int GetTotalCount() const = 0;
  ///@}

  /// Reads the next token into `token`. Returns 0 when a token was produced,
  /// 1 when the source is exhausted (token empty, type NONE), -1 when the
  /// source is not open ("Attempting to get next token, file not open" is
  /// reported) or cannot be read. Tokens queued by PeekToken come first unless
  /// bit 0x1 of `flags` is set. Never throws (-1 on exhausted memory).
  long GetToken(SQLToken<T>& token, unsigned long flags);
  /// GetToken, skipping tokens whose type is not a compare type.
  long GetCompareToken(SQLToken<T>& token);

  /// Reads the next statement into `stmt`, with the flags word formed from the
  /// connection's DBMS type (0x111 Oracle; 0x11 DB2, Informix and the Access
  /// group; 0 otherwise). `tr` must not be null; `sep` may be null (the
  /// dialect rules apply) or name the caller's separator. Returns 0 when the
  /// statement ended at its terminator, 1 when the input ended first (a last
  /// statement may still be in `stmt`), negative when the stream is not open
  /// or cannot be read.
  long GetNextStmt(SQLStmtT<T>& stmt, const CKXTr* tr, const STMTSEP* sep);
  /// The same with the caller's flags word.
  long GetNextStmt(SQLStmtT<T>& stmt, const CKXTr* tr, unsigned long flags, const STMTSEP* sep);

  /// Chooses the rules that cut statements: KXSQL_RULES_CLASSIC (the
  /// default) or KXSQL_RULES_NATIVE, where the connection's dialect is cut as
  /// its own client cuts it and GetToken lexes as that client does (the
  /// dialect of the last GetNextStmt, or `dialect` when given). Choose the
  /// rules before reading: under native rules characters may be read ahead,
  /// and only native reading goes on from them. Returns 0, or -1 (nothing
  /// changed) for an unknown rule set or on exhausted memory.
  long SetSplitRules(int rules) noexcept;
  /// SetSplitRules, with the dialect whose client GetToken lexes as until a
  /// GetNextStmt names one.
  long SetSplitRules(int rules, const DBMSTYPE& dialect) noexcept;
  /// The rule set in use: KXSQL_RULES_CLASSIC or KXSQL_RULES_NATIVE.
  int GetSplitRules() const noexcept { return m_pNative ? KXSQL_RULES_NATIVE : KXSQL_RULES_CLASSIC; }

 protected:
  /// Delivers the next character and advances. At the end of the source: sets
  /// `eof`, returns 0 and does not advance. `eof` set together with the
  /// all-ones value of T means the source cannot deliver.
  virtual T GetChar(bool& eof) = 0;
  /// Steps back one character (called at most once after each delivered character).
  virtual void UngetChar() = 0;

  /// Sets the tokenizer state to 0 (the start of a line).
  void Init() noexcept;
  /// Sets the tokenizer state. Only the states 0-14 exist: a larger value is
  /// rejected and leaves the state unchanged.
  void SetState(unsigned int state) noexcept;
  /// Reads the next token of the source itself, behind whatever is queued, and
  /// queues a copy of it. Returns 1 when a token was read, 0 at the end or on
  /// failure.
  int PeekToken(SQLToken<T>& token);

  /// The read window: the run of characters that the source has ready, so
  /// that the tokenizer can take them without a virtual call each.
  /// m_pWindowPos is the next character to deliver, within [m_pWindowBegin,
  /// m_pWindowEnd]. A source that keeps its reading position in the window
  /// names its own class in m_pWindowOwner. When the stream's dynamic type is
  /// exactly that class, the tokenizer takes characters from the window
  /// itself, calls GetChar only once the window is used up and UngetChar only
  /// at the window's start; for any other type (a class that derives from the
  /// source, to watch or change its characters) every character goes through
  /// GetChar and UngetChar. The window is empty (all null) unless a source
  /// sets it.
  const T* m_pWindowBegin = nullptr;
  const T* m_pWindowPos = nullptr;                ///< the next character of the window
  const T* m_pWindowEnd = nullptr;                ///< the end of the window
  const std::type_info* m_pWindowOwner = nullptr; ///< the source class that keeps its position in the window

  /// Appends tokens to `stmt` until one of `type` (with `text`, ignoring case,
  /// when `type` is SYMBOL) is found; it is appended too unless bit 0x200 is in
  /// `flags`. A sought type OTHER never matches.
  long SQLSeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                    const SQLTOKEN_TYPE& type, const T* text);
  /// SQLSeekToken for any token of `type`.
  long SQLSeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                    const SQLTOKEN_TYPE& type);
  /// SQLSeekToken for the SYMBOL `text`.
  long SQLSeekSymbol(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, const T* text);
  /// Seeks the separator's token, leaving it out of the statement.
  long SQLSeekEndOfStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags,
                        const STMTSEP& sep);
  /// The plain splitter: ends at `;`, GO or a slash terminator, no block rules, no trim.
  long SQLRegularStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);
  /// SQLRegularStmt, then reports the statement as "Invalid SQL Statement".
  long SQLInvalidStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);

  /// The block rules. Each is called after the token that opens its block has
  /// been appended, and appends everything up to and including the token that
  /// closes it. 0 when the block closed, 1 when the input ended inside it,
  /// negative on a read failure. Nesting is followed with an explicit stack,
  /// so any depth is handled.
  long SQLCompoundStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);      ///< BEGIN ... END
  long SQLDB2OracleIFStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);   ///< IF ... END IF
  long SQLOracleForStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);     ///< FOR ... LOOP ... END LOOP
  long SQLPGDollarQuotedString(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);  ///< $$ ... $$

 private:
  /// The blocks whose inner semicolons must not end a statement.
  enum class BlockKind : unsigned char {
    kCompound,  // BEGIN ... END
    kIf,        // IF ... END IF (Oracle, DB2)
    kFor,       // FOR ... LOOP ... END LOOP (Oracle)
  };

  /// The members below do the work of the exported ones; they let
  /// std::bad_alloc through, so that a statement stops at the first failure.
  long ReadToken(SQLToken<T>& token) { return GetToken(token, 0); }
  static void Append(SQLStmtT<T>& stmt, const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags) {
    stmt.Append(token, dbms, flags);
  }
  /// Any type and text, token by token: the caller's separator and SQLSeekToken.
  long SeekToken(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, const SQLTOKEN_TYPE& type,
                 const T* text);
  long SeekSeparator(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, const STMTSEP& sep);
  long RegularStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);

  /// The statement and block rules read the tokens that they decide on from
  /// a Feed, which appends every other token on the way: from the source's
  /// read window in whole runs where it can, through GetToken where it must
  /// (statements/fast_path.ipp). `trimmed`: the statement is trimmed when the
  /// rules are done, so blanks before its first token need not be copied.
  class Feed;
  long DialectStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, bool trimmed);
  long StatementRules(Feed& feed);
  long StoredCodeBlock(Feed& feed);
  /// Follows `outer`, whose opening keyword has been appended, and every block
  /// nested in it, with an explicit stack of open blocks.
  long FollowBlocks(Feed& feed, BlockKind outer);
  long FollowDollarQuote(Feed& feed);
  template <class Want>
  long SeekOn(Feed& feed, const Want& target);
  template <class Rule>
  long RunBlockRule(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, Rule rule);

  /// The tokenizer's machine, over the virtual character interface or over
  /// the read window (tokenizer.ipp).
  class CharReader;
  class WindowReader;
  template <class Reader>
  long Scan(SQLToken<T>& token, Reader& reader);
  /// Whether this stream's GetToken reads from the window: decided on its
  /// first GetToken, when its dynamic type is final.
  bool ReadsWindow() noexcept;

  /// Under native rules: the next statement cut as the dialect's client
  /// cuts it, and the next token lexed as that client lexes (native.ipp).
  long NativeStmt(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags);
  long NativeToken(SQLToken<T>& token);
  bool LexesNatively() const noexcept;
  friend class kxsql::detail::NativeInput<T>;
  friend bool kxsql::detail::HasNativeReadAhead<T>(const CKXSQLStreamT<T>& stream) noexcept;
  friend const char* kxsql::detail::NativeOpenAtEnd<T>(const CKXSQLStreamT<T>& stream, std::size_t& length) noexcept;
  friend struct kxsql::detail::StreamProbe<T>;

  unsigned int m_nState = 0;
  std::deque<SQLToken<T>> m_tokenQueue;
  /// The native rules' reading state (client, delimiter, characters read
  /// ahead); null under the classic rules.
  std::unique_ptr<kxsql::detail::NativeState<T>, kxsql::detail::NativeStateDeleter<T>> m_pNative;
  /// The character class table of this width, fetched on the first GetToken.
  const std::uint8_t* m_pClasses = nullptr;
  /// -1 not decided yet, 0 through GetChar, 1 from the window.
  signed char m_nWindowUse = -1;
  /// Tests compare the two ways of splitting: true makes this stream's
  /// statement and block rules take every token from GetToken, and the
  /// native clients read every lexeme through their lexer.
  bool m_bTokenPathOnly = false;
};

/// @cond
namespace kxsql::detail {
/// For tests, which compare the two ways of splitting: the switch between
/// them, and where a stream stands behind its interface.
template <class T>
struct StreamProbe {
  /// `on` makes `stream` split through GetToken alone, token by token, as a
  /// stream of a class derived from a source does, and under the native
  /// rules lexeme by lexeme through the client's lexer; off (the default)
  /// lets it cut statements from the read window in whole runs.
  static void SplitThroughTokens(CKXSQLStreamT<T>& stream, bool on) noexcept { stream.m_bTokenPathOnly = on; }
  static unsigned int TokenizerState(const CKXSQLStreamT<T>& stream) noexcept { return stream.m_nState; }
  /// The reading position within the read window (-1 without a window).
  static long WindowOffset(const CKXSQLStreamT<T>& stream) noexcept {
    return stream.m_pWindowBegin ? static_cast<long>(stream.m_pWindowPos - stream.m_pWindowBegin) : -1;
  }
  static std::size_t QueuedTokens(const CKXSQLStreamT<T>& stream) noexcept { return stream.m_tokenQueue.size(); }
};
}  // namespace kxsql::detail
/// @endcond

/// @cond
extern template class CKXSQLStreamT<char>;
extern template class CKXSQLStreamT<unsigned short>;
/// @endcond

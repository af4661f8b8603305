/// @file
/// kxsql statements: one SQL statement as the splitter assembles it from tokens.
///
/// A statement keeps three texts: the full text, a parsed text without the
/// tokens the dialect leaves out, and a text without comments.
///
/// @code
/// SQLStmtT<char> stmt;
/// while (source.GetNextStmt(stmt, &tr, nullptr) == 0)
///   if (!stmt.IsEmpty()) puts(stmt.GetText());
/// @endcode
#pragma once

#include <cstddef>

#include "kxcom/dbms_type.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/token.h"

/// Bits of the statement flags word.
enum : unsigned long {
  SQLSTMT_SKIP_LINECOMMENT = 0x1,        ///< line comments stay out of the parsed text
  SQLSTMT_SKIP_MULTILINECOMMENT = 0x10,  ///< block comments stay out of the parsed text
  SQLSTMT_SKIP_CR = 0x100,               ///< carriage returns stay out of the parsed text
  SQLSTMT_OMIT_MATCH = 0x200,            ///< a token seek leaves out the token that ends it
};

/// What a statement is for (SQLStmtT::GetKind).
enum : int {
  KXSQL_STMT_SQL = 0,     ///< SQL for the database
  KXSQL_STMT_CLIENT = 1,  ///< a command for the client itself (psql's `\c`, mysql's DELIMITER, ...)
  /// More inline data for the COPY statement before it: the statement's text
  /// repeats that COPY, its data holds the next rows. A long COPY comes in
  /// pieces, so that a dump of any size streams in bounded memory.
  KXSQL_STMT_DATA = 2,
};

/// @cond
namespace kxsql::detail {
template <class T>
struct StatementAccess;
template <class T>
class StatementBuilder;
}  // namespace kxsql::detail
/// @endcond

/// One SQL statement as the splitter assembles it from tokens: its full text,
/// its parsed text (without what the dialect leaves out), its text without
/// comments, its first and last compare tokens and a possible side-effect
/// word. It owns its texts and its two token copies; one object is normally
/// reused for every statement of a script.
template <class T>
class KXSQL_EXPORT SQLStmtT {
 public:
  /// All texts empty, counts 0, no first or last token.
  SQLStmtT();
  /// Member-wise copies. On exhausted memory a copy comes out empty and an
  /// assignment leaves the target as it was; nothing throws.
  SQLStmtT(const SQLStmtT& other);
  /// Copies, as the copy constructor does.
  SQLStmtT(SQLStmtT&& other);
  ~SQLStmtT();
  /// Member-wise copies; assigning a statement to itself changes nothing.
  ///@{
  SQLStmtT& operator=(const SQLStmtT& other);
  SQLStmtT& operator=(SQLStmtT&& other);
  ///@}

  /// Appends one token to the full text; to the parsed text unless `flags`
  /// leaves its type out; to the no-comment text unless it is a comment. A
  /// compare token becomes the last token (and the first, if it is the first),
  /// and a word right after a DOT that `dbms` calls a possible side effect
  /// becomes the side effect. On exhausted memory the statement is left as it
  /// was, without the token.
  void AddToken(const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags);
  /// Empties everything.
  void Clear();
  /// Removes leading blanks (CharSet<T>::WHITESPACE) from the full text and
  /// leading and trailing ones from the parsed and no-comment texts.
  void Trim();
  /// Removes one line ending (CR LF, CR or LF) from the end of the full text.
  void RemoveLastLineEnding();

  /// The full text, the parsed text and the text without comments,
  /// zero-terminated; valid until the statement changes.
  ///@{
  const T* GetText() const noexcept { return m_strText.GetString(); }
  const T* GetParsedText() const noexcept { return (m_bParsedIsText ? m_strText : m_strParsedText).GetString(); }
  const T* GetNoCommentText() const noexcept {
    return (m_bNoCommentIsText ? m_strText : m_strNoCommentText).GetString();
  }
  ///@}
  /// The last word after a dot that the DBMS type reported as a possible side effect.
  const T* GetSideEffect() const noexcept { return m_strSideEffect.GetString(); }
  /// The first and the most recent compare token; empty, type NONE, until there is one.
  ///@{
  const SQLToken<T>& GetFirstToken() const noexcept { return m_firstToken; }
  const SQLToken<T>& GetLastToken() const noexcept { return m_lastToken; }
  ///@}

  /// KXSQL_STMT_SQL, or under the native rules KXSQL_STMT_CLIENT for a
  /// command of the dialect's client, or KXSQL_STMT_DATA for more rows of a
  /// COPY.
  int GetKind() const noexcept { return m_nKind; }
  /// The inline data of a PostgreSQL `COPY ... FROM stdin` (native rules):
  /// the lines after the statement, each with its line end, up to and not
  /// including the line that holds only a backslash and a period; empty for
  /// any other statement.
  const T* GetData() const noexcept { return m_strData.GetString(); }

  /// How many times the batch is to run: sqlcmd's `GO 3` gives 3 (native
  /// rules); 1 for every other statement.
  unsigned int GetRepeatCount() const noexcept { return m_nRepeat; }

  /// No compare token, or any of the three texts empty.
  bool IsEmpty() const noexcept;
  /// A side-effect word was seen.
  bool HasSideEffect() const noexcept { return !m_strSideEffect.IsEmpty(); }
  /// The first compare token is SELECT, in any letter case.
  bool IsSelectStmt() const;

 private:
  /// AddToken without its out-of-memory guard and without Sync: the splitter
  /// stops a statement at the first failure instead of going on with a token
  /// missing, and brings the parsed and no-comment texts up to date once, when
  /// it hands the statement back.
  void Append(const SQLToken<T>& token, const DBMSTYPE& dbms, unsigned long flags);
  /// Appends what the parsed and no-comment texts still owe (see below).
  /// Out of memory, both stay owed and nothing changes.
  void Settle();
  /// Settle for the ways out of a failure: false when memory ran out.
  bool Sync() noexcept;
  /// Gives back the room of a huge token that the first or last token no
  /// longer holds.
  void ReleaseSpareRoom() noexcept;
  /// Append for a token given as its text and type (the native rules cut
  /// tokens without making token objects).
  void AppendText(const T* text, std::size_t n, const SQLTOKEN_TYPE& type, const DBMSTYPE& dbms,
                  unsigned long flags);
  KXCOM_ALWAYS_INLINE void AppendInline(const T* text, std::size_t n, const SQLTOKEN_TYPE& type,
                                        const DBMSTYPE& dbms, unsigned long flags);
  /// Brings in what an attached builder still holds (see m_pBuilder).
  void FlushBuilder();
  /// Gives the parsed and no-comment texts their own copies again.
  void Unshare();
  friend class CKXSQLStreamT<T>;
  friend struct kxsql::detail::StatementAccess<T>;
  friend class kxsql::detail::StatementBuilder<T>;

  CKXStringT<T> m_strText;
  CKXStringT<T> m_strParsedText;
  CKXStringT<T> m_strNoCommentText;
  unsigned int m_nCompareTokens = 0;
  unsigned int m_nTokens = 0;
  CKXStringT<T> m_strSideEffect;
  SQLToken<T> m_firstToken;
  SQLToken<T> m_lastToken;
  /// Most tokens go to all three texts. The parsed and no-comment texts are
  /// therefore owed the full text from these offsets on: a token that stays
  /// out of one of them, and Sync, append what is owed first. Every member
  /// but Append leaves nothing owed. The room for what is owed is not taken
  /// ahead: a statement that is one huge literal would cost three times its
  /// size while it is read.
  std::size_t m_nParsedFrom = 0;
  std::size_t m_nNoCommentFrom = 0;
  /// A parsed or comment-free text that took every token, and so equals the
  /// trimmed full text, is not kept twice: the full text stands for it (a
  /// huge statement costs its size once, not three times). Anything that
  /// changes the statement first gives it its own copy (Unshare).
  bool m_bParsedIsText = false;
  bool m_bNoCommentIsText = false;
  int m_nKind = KXSQL_STMT_SQL;
  unsigned int m_nRepeat = 1;
  CKXStringT<T> m_strData;
  /// While the splitter builds the statement from whole ranges of the source
  /// (statements/statement_builder.h), the builder holds the latest tokens as
  /// positions in the source. Every member that reads or changes the texts
  /// or the tokens brings them in first (Clear and assignment drop them); the
  /// inline getters do not, and are read only once the splitter is done.
  /// Never copied.
  kxsql::detail::StatementBuilder<T>* m_pBuilder = nullptr;
};

/// @cond
extern template class SQLStmtT<char>;
extern template class SQLStmtT<unsigned short>;
/// @endcond

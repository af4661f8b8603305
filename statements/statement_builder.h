// Builds a statement from whole ranges of the source instead of token by
// token. The splitter's run-based path (statements/fast_path.ipp) and the
// native rules (statements/native/lexing.h) see each token as a position and
// a length in memory that stays put for a while: the source's read window,
// or the native input's buffer. Most tokens stand right after the one before
// and go to all three texts, so the builder only remembers where the current
// run of them begins and ends, and copies the run into the full text in one
// piece when it has to:
//  - the parsed and comment-free texts are owed the full text from an offset
//    on (SQLStmtT::m_nParsedFrom, m_nNoCommentFrom), as with AddToken; a
//    token that stays out of one of them (a comment, a CR under the Oracle
//    flags) is appended the token-by-token way, after the run;
//  - the first and last compare tokens are kept as positions and copied into
//    the statement once, at the end;
//  - the counts are kept exactly, token by token, and a compare token right
//    after a DOT goes to the DBMS type's side-effect test as AddToken sends it.
// Whoever moves or drops the memory that the tokens stand in calls Flush
// first; the statement itself calls it before anything reads or changes its
// texts (SQLStmtT::m_pBuilder).
#pragma once

#include <cstddef>

#include "kxcom/dbms_type.h"
#include "kxcom/token_type.h"
#include "kxsql/statement.h"

namespace kxsql::detail {

// Where a token goes, decided once per type and flags word.
struct TokenRoute {
  // Into all three texts: the token can join the current run.
  bool plain = true;
  // A compare token: counted, and the statement's first and last token.
  bool compare = false;
  // A DOT: the compare token after it goes to the side-effect test.
  bool dot = false;
};

inline TokenRoute RouteOf(const SQLTOKEN_TYPE& type, unsigned long flags) noexcept {
  const bool to_parsed = !(((flags & SQLSTMT_SKIP_LINECOMMENT) != 0 && type == SQLTOKEN_TYPE::LINECOMMENT) ||
                           ((flags & SQLSTMT_SKIP_MULTILINECOMMENT) != 0 && type == SQLTOKEN_TYPE::MULTILINECOMMENT) ||
                           ((flags & SQLSTMT_SKIP_CR) != 0 && type == SQLTOKEN_TYPE::CR));
  TokenRoute route;
  route.plain = to_parsed && !type.IsComment();
  route.compare = type.IsCompare();
  route.dot = type == SQLTOKEN_TYPE::DOT;
  return route;
}

template <class T>
class StatementBuilder {
 public:
  // `attach` false: the caller appends every token the token-by-token way,
  // and the builder never holds anything.
  StatementBuilder(SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, bool attach = true) noexcept
      : stmt_(stmt), dbms_(dbms), flags_(flags) {
    if (attach) stmt_.m_pBuilder = this;
    Resync();
  }
  // What is still held is dropped: call Flush first to keep it. (On the way
  // out of a failure the statement is not used any more.)
  ~StatementBuilder() {
    if (stmt_.m_pBuilder == this) stmt_.m_pBuilder = nullptr;
  }
  StatementBuilder(const StatementBuilder&) = delete;
  StatementBuilder& operator=(const StatementBuilder&) = delete;

  SQLStmtT<T>& Statement() noexcept { return stmt_; }
  const DBMSTYPE& Dbms() const noexcept { return dbms_; }
  unsigned long Flags() const noexcept { return flags_; }

  // Appends the token [text, text + n), whose characters stay where they are
  // until the next Flush.
  KXCOM_ALWAYS_INLINE void Add(const T* text, std::size_t n, const SQLTOKEN_TYPE& type, TokenRoute route) {
    if (!route.plain) {
      AddApart(text, n, type);
      return;
    }
    ++stmt_.m_nTokens;
    Extend(text, text + n);
    if (route.compare) {
      if (stmt_.m_nCompareTokens++ == 0) first_.Set(text, n, type);
      if (after_dot_) SideEffect(text, n);
      last_.Set(text, n, type);
      after_dot_ = route.dot;
    }
  }
  void Add(const T* text, std::size_t n, const SQLTOKEN_TYPE& type) { Add(text, n, type, RouteOf(type, flags_)); }

  // The pieces of Add, for a caller that goes through many tokens at a time
  // (the run-based path): `tokens` tokens, `compares` of them compare tokens,
  // stand in [begin, end) and go to all three texts.
  KXCOM_ALWAYS_INLINE void AddRun(const T* begin, const T* end, unsigned tokens, unsigned compares) {
    stmt_.m_nTokens += tokens;
    stmt_.m_nCompareTokens += compares;
    if (begin != end) Extend(begin, end);
  }
  // The statement's first compare token (when it had none) and its last.
  void SetFirst(const T* text, std::size_t n, const SQLTOKEN_TYPE& type) noexcept { first_.Set(text, n, type); }
  void SetLast(const T* text, std::size_t n, const SQLTOKEN_TYPE& type) noexcept {
    last_.Set(text, n, type);
    after_dot_ = type.GetCode() == SQLTOKEN_TYPE::DOT.GetCode();
  }
  // The last compare token so far is a DOT: the next one goes to the side-effect test.
  bool LastIsDot() const noexcept { return after_dot_; }
  // The statement changed without the builder (AppendText, assignment, Clear).
  void Resync() noexcept { after_dot_ = stmt_.m_lastToken.type_->GetCode() == SQLTOKEN_TYPE::DOT.GetCode(); }
  // The compare token [text, text + n) follows a DOT: the host says whether
  // it may be a side effect, reading it up to its terminator as AddToken
  // hands it over.
  KXCOM_NOINLINE void SideEffect(const T* text, std::size_t n) {
    T word[32];
    if (n < 32) {
      for (std::size_t i = 0; i < n; ++i) word[i] = text[i];
      word[n] = 0;
      if (dbms_.IsPossibleSideEffect(word)) stmt_.m_strSideEffect.Assign(word);
      return;
    }
    const CKXStringT<T> long_word(text, n);
    if (dbms_.IsPossibleSideEffect(long_word.GetString())) stmt_.m_strSideEffect.Assign(long_word.GetString());
  }
  // A token that one of the parsed and comment-free texts leaves out goes
  // the token-by-token way, after what is held.
  KXCOM_NOINLINE void AddApart(const T* text, std::size_t n, const SQLTOKEN_TYPE& type) {
    Flush();
    stmt_.AppendText(text, n, type, dbms_, flags_);
    run_begin_ = run_end_ = text + n;
  }

  // A token counted but left out of the texts: a blank before the
  // statement's first token, which Trim would take away.
  void Count() noexcept { ++stmt_.m_nTokens; }
  // Nothing is in the statement's text or held for it yet.
  bool AtStart() const noexcept { return run_begin_ == run_end_ && stmt_.m_strText.IsEmpty(); }

  bool HasCompareToken() const noexcept { return stmt_.m_nCompareTokens > 0; }

  // Copies what is held into the statement: the run into the full text, the
  // first and last tokens.
  KXCOM_ALWAYS_INLINE void Flush() {
    if (run_begin_ != run_end_ || (first_.pending | last_.pending)) FlushHeld();
  }

  // Forgets what is held: the statement was cleared or replaced.
  void Drop() noexcept {
    run_begin_ = run_end_ = nullptr;
    first_.pending = last_.pending = false;
    Resync();
  }

 private:
  KXCOM_NOINLINE void FlushHeld() {
    FlushRun();
    if (first_.pending) {
      stmt_.m_firstToken.text_.Assign(first_.text, first_.n);
      stmt_.m_firstToken.type_ = first_.type;
      first_.pending = false;
    }
    if (last_.pending) {
      stmt_.m_lastToken.text_.Assign(last_.text, last_.n);
      stmt_.m_lastToken.type_ = last_.type;
      last_.pending = false;
    }
  }

  struct HeldToken {
    bool pending = false;
    const T* text = nullptr;
    std::size_t n = 0;
    const SQLTOKEN_TYPE* type = nullptr;
    void Set(const T* t, std::size_t count, const SQLTOKEN_TYPE& ty) noexcept {
      pending = true;
      text = t;
      n = count;
      type = &ty;
    }
  };

  // The run grows by [begin, end), which follows it or starts a new one.
  KXCOM_ALWAYS_INLINE void Extend(const T* begin, const T* end) {
    if (begin != run_end_) {
      FlushRun();
      run_begin_ = begin;
    }
    run_end_ = end;
  }

  KXCOM_ALWAYS_INLINE void FlushRun() {
    const std::size_t n = static_cast<std::size_t>(run_end_ - run_begin_);
    if (n == 0) return;
    // The other two texts are owed the run: they are paid when a token
    // stays out of them, or when the statement is handed back.
    stmt_.m_strText.Append(run_begin_, n);
    run_begin_ = run_end_;
  }

  SQLStmtT<T>& stmt_;
  const DBMSTYPE& dbms_;
  const unsigned long flags_;
  // The run: tokens appended but not copied yet.
  const T* run_begin_ = nullptr;
  const T* run_end_ = nullptr;
  HeldToken first_;
  HeldToken last_;
  // The last compare token, held or in the statement, is a DOT.
  bool after_dot_ = false;
};

}  // namespace kxsql::detail

// The Feed: how the statement and block rules read tokens. A rule names the
// tokens it decides on (an Interest: `;`, a slash terminator, BEGIN, END,
// ...) and asks for the next one; every token before it is appended to the
// statement on the way. Most tokens of a script are none of these, so the
// feed takes them where it can without making token objects:
//
//  - Run-based path: when the stream's class is exactly the source class that
//    keeps its position in the read window (the in-memory text, the file
//    source's chunk), no token is queued and the tokenizer stands between
//    tokens (state 0 or 4), the feed walks the window itself. A byte-class
//    table derived from the tokenizer's classes (lexer/byte_classes.h) tells
//    what token a character starts; the token's end is found in memory
//    (lexer/window_scan.h); the statement is built from whole ranges of the
//    window (statements/statement_builder.h). Keywords are compared only for
//    words whose length can match one.
//  - Token path: anything else, and every token the window cannot settle (one
//    that reaches the window's end, where the next chunk or the end of the
//    text decides; a NUL) goes through GetToken and is appended as AddToken
//    appends it. The feed leaves the stream exactly where GetToken would have
//    it (position and tokenizer state) before it hands over, and goes back to
//    the window as soon as it can.
//
// Both paths give the same statement and leave the stream in the same place;
// fuzz/split_paths.cpp and tests/statements/split_paths_test.cpp compare
// them (SplitThroughTokens switches the run-based path off).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kxcom/charset.h"
#include "kxsql/stream.h"
#include "lexer/byte_classes.h"
#include "lexer/window_scan.h"
#include "statements/interest.h"
#include "statements/keyword.h"
#include "statements/statement_builder.h"
#include "statements/token_kinds.h"
#include "statements/token_run.h"

template <class T>
class CKXSQLStreamT<T>::Feed {
 public:
  using TokenKind = kxsql::detail::TokenKind;
  using Keyword = kxsql::detail::Keyword;
  using Want = kxsql::detail::Interest<T>;
  using Found = kxsql::detail::FoundToken<T>;
  using Run = kxsql::detail::TokenRun<T>;

  Feed(CKXSQLStreamT& stream, SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags, bool trimmed)
      : stream_(stream),
        windowed_(Windowed(stream)),
        builder_(stmt, dbms, flags, windowed_),
        classes_(kxsql::detail::ByteClasses<T>::Get()),
        keywords_(kxsql::detail::KeywordTable<T>::Get()),
        routes_(kxsql::detail::KindRoutes::For(flags)),
        skip_leading_(trimmed) {}
  Feed(const Feed&) = delete;
  Feed& operator=(const Feed&) = delete;

  SQLStmtT<T>& Statement() noexcept { return builder_.Statement(); }
  const DBMSTYPE& Dbms() const noexcept { return builder_.Dbms(); }
  unsigned long Flags() const noexcept { return builder_.Flags(); }

  // Reads up to the next token that `want` names, appending every token
  // before it, and returns it in `found`, read but not appended. The result
  // is GetToken's: 0, 1 at the end of the input, negative on failure.
  long Next(const Want& want, Found& found) {
    for (;;) {
      if (CanScan() && Scan(want, found)) return KXSQL_PRODUCED;
      // The token path: what the builder holds may stand in a chunk that
      // the next read replaces.
      builder_.Flush();
      do {
        const long rc = stream_.ReadToken(token_);
        if (rc != KXSQL_PRODUCED) return rc;
        if (Wanted(want, found)) return KXSQL_PRODUCED;
        if (skip_leading_ && !kxsql::detail::IsBlankKind(kxsql::detail::KindOf(token_.GetType())))
          skip_leading_ = false;
        CKXSQLStreamT::Append(Statement(), token_, Dbms(), Flags());
      } while (!CanScan());
    }
  }

  // Appends the token that Next returned.
  void Append(const Found& token) {
    if (!token.in_window) {
      if (!kxsql::detail::IsBlankKind(token.kind)) skip_leading_ = false;
      CKXSQLStreamT::Append(Statement(), token_, Dbms(), Flags());
      return;
    }
    if (skip_leading_) {
      if (kxsql::detail::IsBlankKind(token.kind)) {
        builder_.Count();
        return;
      }
      skip_leading_ = false;
    }
    builder_.Add(token.text, token.length, kxsql::detail::TypeOf(token.kind), routes_.Route(token.kind));
  }

  // The text of the statement's last compare token is `keyword`, ignoring case.
  bool LastIs(Keyword keyword) {
    builder_.Flush();
    return kxsql::detail::IsKeyword(Statement().GetLastToken(), kxsql::detail::KeywordText<T>(keyword));
  }

  // BEGIN TRAN, BEGIN TRANSACTION, BEGIN WORK: the BEGIN just read is
  // followed by one run of blanks and one of those words. Decided in the
  // window when it holds both tokens; else the two tokens are peeked, and
  // come back from the queue as the next tokens.
  bool BeginsTransaction() {
    using kxsql::detail::ByteClass;
    // A NUL is read by a peek as an empty token, which is not queued: it is
    // gone. The peeks decide then, as they consume it.
    if (CanScan() && classes_.Of(*stream_.m_pWindowPos) != ByteClass::kNul) {
      const T* p = stream_.m_pWindowPos;
      const T* const end = stream_.m_pWindowEnd;
      if (classes_.Of(*p) != ByteClass::kBlank) return false;
      const T* word = kxsql::detail::BlankEnd(p, end);
      if (word != nullptr && classes_.Of(*word) == ByteClass::kNul) word = nullptr;
      else if (word != nullptr && classes_.Of(*word) != ByteClass::kWord) return false;
      const T* word_end = word != nullptr ? kxsql::detail::WordEnd(classes_, word, end) : nullptr;
      if (word_end != nullptr) {
        Want transaction;
        transaction.Add(Keyword::kTran).Add(Keyword::kTransaction).Add(Keyword::kWork);
        return keywords_.Match(transaction.keywords, word, static_cast<std::size_t>(word_end - word)) !=
               Keyword::kNone;
      }
    }
    builder_.Flush();
    SQLToken<T> blank;
    SQLToken<T> word;
    return stream_.PeekToken(blank) && blank.Is(SQLTOKEN_TYPE::WHITESPACE) && stream_.PeekToken(word) &&
           word.Is(SQLTOKEN_TYPE::SYMBOL) &&
           (kxsql::detail::IsKeyword(word, CharSet<T>::TRAN) || kxsql::detail::IsKeyword(word, CharSet<T>::TRANSACTION) ||
            kxsql::detail::IsKeyword(word, CharSet<T>::WORK));
  }

  // Brings everything into the statement; the rules are done.
  void Finish() { builder_.Flush(); }

 private:
  // The stream may be walked in its window at all: a derived class may
  // watch every character, and the native clients lex for themselves; both
  // keep to the token path.
  static bool Windowed(CKXSQLStreamT& stream) noexcept {
    return !stream.m_bTokenPathOnly && stream.ReadsWindow() && kxsql::detail::KeywordTable<T>::Get().Usable() &&
           !(stream.m_pNative != nullptr && stream.LexesNatively());
  }

  // The window can be walked here: see the top of this file.
  bool CanScan() const noexcept {
    return windowed_ && stream_.m_tokenQueue.empty() && (stream_.m_nState == 0 || stream_.m_nState == 4) &&
           stream_.m_pWindowPos < stream_.m_pWindowEnd;
  }

  // The token path's token is one that `want` names.
  bool Wanted(const Want& want, Found& found) const {
    const SQLTOKEN_TYPE& type = token_.GetType();
    TokenKind kind = TokenKind::kCount;
    if (want.kinds != 0 && want.HasCode(type.GetCode())) kind = kxsql::detail::KindOf(type);
    Keyword keyword = Keyword::kNone;
    if (kind == TokenKind::kCount || !want.Has(kind)) {
      if (want.keywords == 0 || type != SQLTOKEN_TYPE::SYMBOL) return false;
      for (std::uint32_t set = want.keywords; set != 0 && keyword == Keyword::kNone; set &= set - 1) {
        const Keyword k = static_cast<Keyword>(__builtin_ctz(set));
        if (kxsql::detail::IsKeyword(token_, kxsql::detail::KeywordText<T>(k))) keyword = k;
      }
      if (keyword == Keyword::kNone) return false;
      kind = TokenKind::kWord;
    }
    found.kind = kind;
    found.keyword = keyword;
    found.text = token_.GetText();
    found.length = token_.GetLength();
    found.in_window = false;
    return true;
  }

  // Walks the window, appending tokens, up to the first token that `want`
  // names (true: it is read, in `found`) or that the window cannot settle
  // (false: the stream stands at its start, for the token path). The
  // tokenizer state between tokens is 0 at a line start, else 4.
  //
  // The tokens are handed to the builder a run at a time
  // (statements/token_run.h).
  bool Scan(const Want& want, Found& found) {
    using kxsql::detail::ByteClass;
    const T* p = stream_.m_pWindowPos;
    const T* const end = stream_.m_pWindowEnd;
    bool line_start = stream_.m_nState == 0;
    Run run(builder_, p);
    const T* start = p;
    TokenKind kind = TokenKind::kNone;
    for (;;) {
      start = p;
      if (p == end) break;
      switch (classes_.Of(*p)) {
        case ByteClass::kWord: {
          p = kxsql::detail::WordEnd(classes_, p, end);
          if (p == nullptr) goto hand_over;
          kind = TokenKind::kWord;
          const std::size_t n = static_cast<std::size_t>(p - start);
          if (n < 32 && ((want.lengths >> n) & 1u) != 0) {
            const Keyword keyword = keywords_.Match(want.keywords, start, n);
            if (keyword != Keyword::kNone) return Take(run, found, kind, keyword, start, p, false);
          }
          break;
        }
        case ByteClass::kSingle:
          if (want.Has(TokenKind::kOther)) return Take(run, found, TokenKind::kOther, Keyword::kNone, start, p + 1, false);
          // A run of one-character tokens: digits, commas, brackets. Only the
          // first can follow a DOT.
          p = kxsql::detail::SinglesEnd(classes_, p, end);
          skip_leading_ = false;
          line_start = false;
          if (!routes_.Plain(TokenKind::kOther)) {
            p = start + 1;
            kind = TokenKind::kOther;
            break;
          }
          if (routes_.Compare(TokenKind::kOther)) {
            run.Compare(start, start + 1, TokenKind::kOther);
            run.compares += static_cast<unsigned>(p - start - 1);
            run.SetLast(p - 1, p, TokenKind::kOther);
          }
          run.tokens += static_cast<unsigned>(p - start);
          continue;
        case ByteClass::kBlank:
          p = kxsql::detail::BlankEnd(p, end);
          if (p == nullptr) goto hand_over;
          kind = TokenKind::kBlank;
          break;
        case ByteClass::kLF:
          ++p;
          kind = TokenKind::kLF;
          break;
        case ByteClass::kCR:
          ++p;
          kind = TokenKind::kCR;
          break;
        case ByteClass::kSemicolon:
          ++p;
          kind = TokenKind::kSemicolon;
          break;
        case ByteClass::kDot:
          ++p;
          kind = TokenKind::kDot;
          break;
        case ByteClass::kDollar:
          ++p;
          kind = TokenKind::kDollar;
          break;
        case ByteClass::kDash:
          if (p + 1 == end) goto hand_over;
          if (p[1] == '-') {
            p = kxsql::detail::LineCommentEnd(p, end);
            if (p == nullptr) goto hand_over;
            kind = TokenKind::kLineComment;
          } else {
            ++p;
            kind = TokenKind::kOther;
          }
          break;
        case ByteClass::kSlash:
          // A `/` in the first column ends a statement, unless it opens a comment.
          if (p + 1 == end) goto hand_over;
          if (p[1] == '*') {
            p = kxsql::detail::BlockCommentEnd(p, end);
            if (p == nullptr) goto hand_over;
            kind = TokenKind::kBlockComment;
          } else {
            ++p;
            kind = line_start ? TokenKind::kSlashTerminator : TokenKind::kOther;
          }
          break;
        case ByteClass::kDoubleQuote:
          p = kxsql::detail::QuotedEnd(p, end, static_cast<T>('"'));
          if (p == nullptr) goto hand_over;
          kind = TokenKind::kDoubleQuoted;
          break;
        case ByteClass::kSingleQuote:
          p = kxsql::detail::QuotedEnd(p, end, static_cast<T>('\''));
          if (p == nullptr) goto hand_over;
          kind = TokenKind::kSingleQuoted;
          break;
        default:
          // NUL: the tokenizer answers it as the end of the input.
          goto hand_over;
      }
      line_start = kind == TokenKind::kLF || kind == TokenKind::kCR || kind == TokenKind::kLineComment;
      if (want.Has(kind)) return Take(run, found, kind, Keyword::kNone, start, p, line_start);
      if (skip_leading_) {
        if (kxsql::detail::IsBlankKind(kind)) {
          // Counted, not copied: the run starts after it.
          ++run.tokens;
          run.begin = p;
          continue;
        }
        skip_leading_ = false;
      }
      if (!routes_.Plain(kind)) {
        // A comment, or a CR that the parsed text leaves out.
        run.Commit(start);
        builder_.AddApart(start, static_cast<std::size_t>(p - start), kxsql::detail::TypeOf(kind));
        run.Restart(p);
        continue;
      }
      ++run.tokens;
      if (routes_.Compare(kind)) run.Compare(start, p, kind);
    }
  hand_over:
    // The stream stands at the token that the token path reads next, in the
    // state the tokenizer had there.
    run.Commit(start);
    stream_.m_pWindowPos = start;
    stream_.m_nState = line_start ? 0 : 4;
    return false;
  }

  // The token [start, end) is read: the stream stands after it.
  bool Take(Run& run, Found& found, TokenKind kind, Keyword keyword, const T* start, const T* end, bool line_start) {
    run.Commit(start);
    stream_.m_pWindowPos = end;
    stream_.m_nState = line_start ? 0 : 4;
    found.kind = kind;
    found.keyword = keyword;
    found.text = start;
    found.length = static_cast<std::size_t>(end - start);
    found.in_window = true;
    return true;
  }

  CKXSQLStreamT& stream_;
  const bool windowed_;
  kxsql::detail::StatementBuilder<T> builder_;
  const kxsql::detail::ByteClasses<T>& classes_;
  const kxsql::detail::KeywordTable<T>& keywords_;
  const kxsql::detail::KindRoutes& routes_;
  SQLToken<T> token_;
  // Blanks before the statement's first token are counted, not copied.
  bool skip_leading_;
};

// What every client's rules share: the token they cut (a Lexeme: a type and
// where its text stands in the input), the scanners for the constructs most
// clients have (blanks, line comments, block comments, quoted text, words),
// and the way into a statement.
//
// A client's lexer reads one token per call from a NativeInput: it marks the
// token's start, moves the input past the token with these scanners, and
// hands back [Start(), Pos()) with a type. Every character of the input ends
// up in exactly one token, so the tokens concatenate back to the input.
#pragma once

#include <cstddef>
#include <type_traits>

#include "kxcom/charset.h"
#include "kxcom/token_type.h"
#include "lexer/char_class.h"
#include "statements/native/native_input.h"
#include "statements/statement_builder.h"
#include "statements/token_kinds.h"

namespace kxsql::detail {

// What the splitter of a client needs to know of a token beyond its type.
enum class LexKind : unsigned char {
  kPlain,        // nothing special: appended as it is
  kBlank,        // spaces and tabs (and form feeds)
  kLineEnd,      // a CR or an LF
  kComment,      // a line or block comment
  kWord,         // a word: a keyword or a name
  kQuoted,       // a string, a quoted name, a dollar-quoted body
  kSemicolon,    // `;`
  kOpenParen,    // `(`
  kCloseParen,   // `)`
  kCommand,      // a client command written inside the SQL (psql's `\...`, mysql's `\g`)
  kTerminator,   // a client's own statement terminator (mysql's DELIMITER string)
};

template <class T>
struct Lexeme {
  const SQLTOKEN_TYPE* type = &SQLTOKEN_TYPE::NONE;
  LexKind kind = LexKind::kPlain;
  const T* text = nullptr;
  std::size_t length = 0;
  // A quoted token or block comment that the input ended inside.
  bool unterminated = false;

  bool Is(LexKind k) const noexcept { return kind == k; }
  // A word equal to `keyword` (ASCII letters, any letter case).
  bool IsWord(const char* keyword) const noexcept;
};

template <class T>
using Unit = std::make_unsigned_t<T>;

constexpr unsigned kLF = 10;
constexpr unsigned kCR = 13;

template <class T>
inline bool IsLineEnd(T c) noexcept {
  return static_cast<Unit<T>>(c) == kLF || static_cast<Unit<T>>(c) == kCR;
}
// Blanks within a line: space, tab, vertical tab, form feed.
template <class T>
inline bool IsBlank(T c) noexcept {
  const unsigned u = static_cast<Unit<T>>(c);
  return u == ' ' || u == '\t' || u == 11 || u == 12;
}
template <class T>
inline bool IsDigit(T c) noexcept {
  const unsigned u = static_cast<Unit<T>>(c);
  return u >= '0' && u <= '9';
}
template <class T>
inline unsigned LowerAscii(T c) noexcept {
  const unsigned u = static_cast<Unit<T>>(c);
  return u >= 'A' && u <= 'Z' ? u + 32 : u;
}

// Inlined where it is called, so that the keyword's letters are constants:
// most words differ from it in their length or first letter.
template <class T>
KXCOM_ALWAYS_INLINE bool Lexeme<T>::IsWord(const char* keyword) const noexcept {
  const std::size_t n = __builtin_strlen(keyword);  // a constant for a literal
  if (kind != LexKind::kWord || length != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (LowerAscii(text[i]) != LowerAscii(keyword[i])) return false;
  return true;
}

// [p, e) holds only characters that Trim takes from a statement's start
// (space, tab, CR, LF).
template <class T>
inline bool Trimmed(const T* p, const T* e) noexcept {
  for (; p < e; ++p)
    if (*p != ' ' && *p != '\t' && !IsLineEnd(*p)) return false;
  return true;
}

// The token from the input's mark to its position.
template <class T>
inline Lexeme<T> Cut(const NativeInput<T>& in, const SQLTOKEN_TYPE& type, LexKind kind) noexcept {
  Lexeme<T> lexeme;
  lexeme.type = &type;
  lexeme.kind = kind;
  lexeme.text = in.Start();
  lexeme.length = static_cast<std::size_t>(in.Pos() - in.Start());
  return lexeme;
}

// The word characters of the classic tokenizer's tables (letters by the
// locale, digits, `_`), and `$` where the dialect lets names hold one.
template <class T>
struct WordClass {
  const std::uint8_t* table = CharClasses<T>::Table();
  bool dollar = false;
  bool Starts(T c) const noexcept { return StartsWord(table, c); }
  bool Continues(T c) const noexcept {
    return ContinuesWord(table, c) || (dollar && static_cast<Unit<T>>(c) == '$');
  }
};

// The scanners below start with the input past the construct's opening
// characters and leave it past its last character.

template <class T>
inline void ScanBlanks(NativeInput<T>& in) {
  in.SkipWhile([](T c) { return IsBlank(c); });
}

// Up to the line end, which stays for a token of its own.
template <class T>
inline void ScanToLineEnd(NativeInput<T>& in) {
  in.SkipWhile([](T c) { return !IsLineEnd(c); });
}

// Past one line end (CR LF, LF or CR), if one is next.
template <class T>
inline void ScanLineEnd(NativeInput<T>& in) {
  if (!in.Ensure(1)) return;
  const unsigned c = static_cast<Unit<T>>(in.Peek());
  if (c == kLF || c == kCR) in.Advance();
  if (c == kCR && in.Ensure(1) && static_cast<Unit<T>>(in.Peek()) == kLF) in.Advance();
}

template <class T>
inline void ScanWord(NativeInput<T>& in, const WordClass<T>& words) {
  in.SkipWhile([&words](T c) { return words.Continues(c); });
}

// A block comment after its `/*`; with `nested`, each inner `/*` needs its
// own `*/`. False when the input ends first.
template <class T>
bool ScanBlockComment(NativeInput<T>& in, bool nested) {
  unsigned depth = 1;
  for (;;) {
    in.SkipWhile([](T c) { return static_cast<Unit<T>>(c) != '*' && static_cast<Unit<T>>(c) != '/'; });
    if (in.AtEnd()) return false;
    const unsigned c = static_cast<Unit<T>>(in.Peek());
    const unsigned next = static_cast<Unit<T>>(in.PeekAt(1));
    if (c == '*' && next == '/') {
      in.Advance(2);
      if (--depth == 0) return true;
    } else if (c == '/' && next == '*' && nested) {
      in.Advance(2);
      ++depth;
    } else {
      in.Advance();
    }
  }
}

// Quoted text after its opening `quote`, to the closing one. A doubled quote
// stands for one; with `backslash`, a backslash takes the next character as
// it is. False when the input ends first.
template <class T>
bool ScanQuoted(NativeInput<T>& in, unsigned quote, bool backslash) {
  for (;;) {
    if (backslash) {
      in.SkipWhile([quote](T c) {
        const unsigned u = static_cast<Unit<T>>(c);
        return u != quote && u != '\\';
      });
    } else {
      in.SkipTo(static_cast<T>(quote));
    }
    if (in.AtEnd()) return false;
    const unsigned c = static_cast<Unit<T>>(in.Peek());
    if (c == '\\') {
      in.Advance();
      if (in.AtEnd()) return false;
      in.Advance();
      continue;
    }
    in.Advance();  // the quote
    if (in.Ensure(1) && static_cast<Unit<T>>(in.Peek()) == quote) {
      in.Advance();  // a doubled quote
      continue;
    }
    return true;
  }
}

// Text up to and including `close` (a single character, no escapes), as
// SQLite's and SQL Server's [bracketed names]. False when the input ends first.
template <class T>
bool ScanTo(NativeInput<T>& in, unsigned close) {
  in.SkipWhile([close](T c) { return static_cast<Unit<T>>(c) != close; });
  if (in.AtEnd()) return false;
  in.Advance();
  return true;
}

// The input's next characters spell `text` (ASCII, any letter case when
// `fold`); nothing is consumed.
template <class T>
bool LooksAt(NativeInput<T>& in, const char* text, bool fold) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  if (!in.Ensure(n)) return false;
  const T* p = in.Pos();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned want = static_cast<unsigned char>(text[i]);
    const unsigned got = fold ? LowerAscii(p[i]) : static_cast<Unit<T>>(p[i]);
    if (got != (fold ? LowerAscii(static_cast<T>(want)) : want)) return false;
  }
  return true;
}

// A quoted token or comment that the end of the input left open: what it is
// in words, and how long it is (it ends the statement's text); a block the
// input ended inside spans the whole statement (npos).
struct OpenAtEnd {
  const char* what = nullptr;
  std::size_t length = 0;
};

// What a client's splitter works with for one statement. The statement is
// built from whole ranges of the input (statements/statement_builder.h):
// lexemes that follow each other are copied in one piece, when the input is
// about to move or drop them (NativeInput flushes the builder), or when
// anything reads or changes the statement.
template <class T>
struct SplitContext {
  SplitContext(NativeInput<T>& input, SQLStmtT<T>& statement, const DBMSTYPE& dbms_type, unsigned long flags_word,
               bool& line_start) noexcept
      : in(input), stmt(statement), dbms(dbms_type), flags(flags_word), at_line_start(line_start),
        builder(statement, dbms_type, flags_word), routes(RoutesByCode::For(flags_word)) {
    in.SetBuilder(&builder);
  }
  ~SplitContext() { in.SetBuilder(nullptr); }
  SplitContext(const SplitContext&) = delete;
  SplitContext& operator=(const SplitContext&) = delete;

  NativeInput<T>& in;
  SQLStmtT<T>& stmt;
  const DBMSTYPE& dbms;
  unsigned long flags;
  // The last token read ended a line (or nothing was read yet).
  bool& at_line_start;
  // Set when a token the input ended inside is appended.
  OpenAtEnd* open = nullptr;
  // The client may take plain lexemes in runs (statements/native/plain_runs.h);
  // false makes it read every lexeme through its Lex, as tests compare.
  bool runs = true;

  KXCOM_ALWAYS_INLINE void Append(const Lexeme<T>& lexeme) {
    if (lexeme.unterminated) NoteOpen(lexeme);
    Append(lexeme.text, lexeme.length, *lexeme.type);
  }
  KXCOM_ALWAYS_INLINE void Append(const T* text, std::size_t n, const SQLTOKEN_TYPE& type) {
    const TokenRoute route = routes.Route(type);
    // Blanks and line ends before anything else are counted, not copied:
    // Trim would take them away again.
    if (!route.compare && builder.AtStart() && Trimmed(text, text + n)) {
      builder.Count();
      return;
    }
    builder.Add(text, n, type, route);
  }
  // Nothing but blanks and comments so far.
  bool Empty() const noexcept { return !builder.HasCompareToken(); }
  void SetKind(int kind) noexcept;
  // The input ended inside a block the client was following (a PL/SQL
  // unit without its `/`, a trigger body without its END, ...).
  void EndsInsideBlock() noexcept {
    if (open != nullptr && open->what == nullptr) *open = OpenAtEnd{"a block", static_cast<std::size_t>(-1)};
  }
  // Brings everything into the statement: the client is done with it.
  void Finish() { builder.Flush(); }
  StatementBuilder<T>& Builder() noexcept { return builder; }

 private:
  // Notes a token that the end of the input left open.
  void NoteOpen(const Lexeme<T>& lexeme) noexcept;

  StatementBuilder<T> builder;
  const RoutesByCode& routes;
};

// The way the native rules build a statement, past its usual interface.
template <class T>
struct StatementAccess {
  static void Append(SQLStmtT<T>& stmt, const Lexeme<T>& lexeme, const DBMSTYPE& dbms, unsigned long flags) {
    stmt.AppendText(lexeme.text, lexeme.length, *lexeme.type, dbms, flags);
  }
  static void Append(SQLStmtT<T>& stmt, const T* text, std::size_t n, const SQLTOKEN_TYPE& type,
                     const DBMSTYPE& dbms, unsigned long flags) {
    stmt.AppendText(text, n, type, dbms, flags);
  }
  static void SetKind(SQLStmtT<T>& stmt, int kind) noexcept { stmt.m_nKind = kind; }
  static void SetRepeatCount(SQLStmtT<T>& stmt, unsigned int count) noexcept { stmt.m_nRepeat = count; }
  static CKXStringT<T>& Data(SQLStmtT<T>& stmt) noexcept { return stmt.m_strData; }
  static const CKXStringT<T>& Data(const SQLStmtT<T>& stmt) noexcept { return stmt.m_strData; }
  static bool HasCompareToken(const SQLStmtT<T>& stmt) noexcept { return stmt.m_nCompareTokens > 0; }
  static const CKXStringT<T>& Text(const SQLStmtT<T>& stmt) noexcept { return stmt.m_strText; }
  // Brings in what the statement's builder holds: the full text is whole
  // (the parsed and comment-free texts are paid when the statement is done).
  static void FlushBuilder(SQLStmtT<T>& stmt) { stmt.FlushBuilder(); }
  // For tests: the texts with their lengths (they may hold NUL characters)
  // and the counts, once the statement is done.
  static const CKXStringT<T>& ParsedText(const SQLStmtT<T>& stmt) noexcept {
    return stmt.m_bParsedIsText ? stmt.m_strText : stmt.m_strParsedText;
  }
  static const CKXStringT<T>& NoCommentText(const SQLStmtT<T>& stmt) noexcept {
    return stmt.m_bNoCommentIsText ? stmt.m_strText : stmt.m_strNoCommentText;
  }
  static unsigned int TokenCount(const SQLStmtT<T>& stmt) noexcept { return stmt.m_nTokens; }
  static unsigned int CompareTokenCount(const SQLStmtT<T>& stmt) noexcept { return stmt.m_nCompareTokens; }
};

template <class T>
void SplitContext<T>::NoteOpen(const Lexeme<T>& lexeme) noexcept {
  if (open == nullptr || lexeme.length == 0) return;
  const unsigned first = static_cast<Unit<T>>(lexeme.text[0]);
  const SQLTOKEN_TYPE& type = *lexeme.type;
  open->length = lexeme.length;
  open->what = type == SQLTOKEN_TYPE::MULTILINECOMMENT ? "a /* comment"
               : first == '$'                          ? "a $$ body"
               : type == SQLTOKEN_TYPE::DQ_STRING      ? (first == '`'   ? "a `...` quoted name"
                                                          : first == '[' ? "a [...] quoted name"
                                                                         : "a \"...\" quoted name")
                                                       : "a '...' string";
}
template <class T>
void SplitContext<T>::SetKind(int kind) noexcept {
  StatementAccess<T>::SetKind(stmt, kind);
}

}  // namespace kxsql::detail

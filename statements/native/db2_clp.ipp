// DB2 as its command line processor cuts a script run with `db2 -tf`.
//
//  - A statement ends at the terminator, `;` until a `--#SET TERMINATOR x`
//    line names another (`@`, `!`, `%%`). The CLP looks for the terminator
//    only at the end of each line, so it counts only as the last thing on
//    its line (blanks may follow it): a `;` inside a line, or followed by a
//    comment (`;--`), is sent with the statement.
//  - With `;` as the terminator, a trigger or routine (CREATE [OR REPLACE]
//    TRIGGER | PROCEDURE | FUNCTION) or a BEGIN [ATOMIC] compound stays
//    whole: BEGIN and CASE open a level, and so do IF, LOOP, WHILE, REPEAT
//    and FOR where a statement of the body starts; END (END IF, END CASE,
//    END LOOP, ...) closes one, and the terminator ends the statement only
//    with every level closed. With any other terminator no tracking is
//    needed: the statement runs to it.
//  - `--#SET TERMINATOR x` is a client statement; inside a statement it
//    comes out first and the statement goes on.
//  - Strings '...', names "...", `--` comments and /* */ comments (not
//    nested: the CLP does not nest them). A terminator inside them ends
//    nothing.
//  - At the end of the script what is left is a statement.
#pragma once

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct Db2ClpRules {
  struct State {
    State() { terminator.Append(static_cast<T>(';')); }
    CKXStringT<T> terminator;
    // What the statement is, by its first words.
    enum class Kind : unsigned char {
      kUnknown,  // no word yet
      kCreate,   // CREATE [OR REPLACE] so far
      kPlain,    // ends at the first terminator
      kBlocks,   // a routine, trigger or compound: levels are followed
    };
    Kind kind = Kind::kUnknown;
    unsigned depth = 0;
    // The next word starts a statement of the body (after `;`, BEGIN, THEN, DO, a label ...).
    bool body_start = false;
    // The last word was END: an IF, CASE, LOOP ... after it closes, not opens.
    bool after_end = false;

    bool Tracking() const noexcept { return terminator.GetLength() == 1 && terminator[0] == ';'; }
    void EndStatement() noexcept {
      kind = Kind::kUnknown;
      depth = 0;
      body_start = after_end = false;
    }
  };

  static Lexeme<T> Lex(NativeInput<T>& in, const State& state);
  static long Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted);

 private:
  struct Runs;
  static bool AtTerminator(NativeInput<T>& in, const State& state);
  static bool SetsTerminator(const Lexeme<T>& comment, State* state);
  static void Track(const Lexeme<T>& lexeme, State& state, NativeInput<T>& in);
  static bool ParenthesisFollows(NativeInput<T>& in);
};

template <class T>
bool Db2ClpRules<T>::AtTerminator(NativeInput<T>& in, const State& state) {
  // The terminator, then blanks to the line end.
  const std::size_t n = state.terminator.GetLength();
  if (!in.Ensure(n)) return false;
  for (std::size_t k = 0; k < n; ++k)
    if (in.Pos()[k] != state.terminator[k]) return false;
  std::size_t i = n;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  return !in.Ensure(i + 1) || IsLineEnd(in.Pos()[i]);
}

template <class T>
Lexeme<T> Db2ClpRules<T>::Lex(NativeInput<T>& in, const State& state) {
  in.Mark();
  if (in.AtEnd()) return Cut(in, SQLTOKEN_TYPE::NONE, LexKind::kPlain);
  if (AtTerminator(in, state)) {
    in.Advance(state.terminator.GetLength());
    return Cut(in, SQLTOKEN_TYPE::SEMI_COLON, LexKind::kTerminator);
  }
  static const WordClass<T> words{CharClasses<T>::Table(), true};
  const unsigned c = static_cast<Unit<T>>(in.Peek());
  in.Advance();
  Lexeme<T> quoted;
  switch (c) {
    case kLF:
      return Cut(in, SQLTOKEN_TYPE::LF, LexKind::kLineEnd);
    case kCR:
      return Cut(in, SQLTOKEN_TYPE::CR, LexKind::kLineEnd);
    case ' ':
    case '\t':
    case 11:
    case 12:
      ScanBlanks(in);
      return Cut(in, SQLTOKEN_TYPE::WHITESPACE, LexKind::kBlank);
    case ';':
      return Cut(in, SQLTOKEN_TYPE::SEMI_COLON, LexKind::kSemicolon);
    case '.':
      return Cut(in, SQLTOKEN_TYPE::DOT, LexKind::kPlain);
    case '-':
      if (in.PeekAt(0) == '-') {
        ScanToLineEnd(in);
        return Cut(in, SQLTOKEN_TYPE::LINECOMMENT, LexKind::kComment);
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '/':
      if (in.PeekAt(0) == '*') {
        in.Advance();
        const bool closed = ScanBlockComment(in, false);
        quoted = Cut(in, SQLTOKEN_TYPE::MULTILINECOMMENT, LexKind::kComment);
        quoted.unterminated = !closed;
        return quoted;
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '\'':
    case '"': {
      const bool closed = ScanQuoted(in, c, false);
      quoted = Cut(in, c == '\'' ? SQLTOKEN_TYPE::SQ_STRING : SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    default:
      break;
  }
  if (words.Starts(static_cast<T>(c))) {
    ScanWord(in, words);
    return Cut(in, SQLTOKEN_TYPE::SYMBOL, LexKind::kWord);
  }
  if (IsDigit(static_cast<T>(c))) {
    in.SkipWhile([](T x) { return IsDigit(x); });
    return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
  }
  return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
}

template <class T>
bool Db2ClpRules<T>::SetsTerminator(const Lexeme<T>& comment, State* state) {
  // `--#SET TERMINATOR x`: x is the next run of non-blank characters. With a
  // state, the terminator becomes x.
  const T* const text = comment.text;
  const std::size_t n = comment.length;
  std::size_t i = 0;
  const auto word = [&](const char* expected) {
    for (; *expected != 0; ++expected, ++i)
      if (i >= n || LowerAscii(text[i]) != static_cast<unsigned char>(*expected)) return false;
    return true;
  };
  const auto blanks = [&]() {
    const std::size_t from = i;
    while (i < n && IsBlank(text[i])) ++i;
    return i > from;
  };
  if (!word("--#set") || !blanks() || !word("terminator") || !blanks()) return false;
  std::size_t end = i;
  while (end < n && !IsBlank(text[end])) ++end;
  if (end == i) return false;
  if (state != nullptr) state->terminator.Assign(text + i, end - i);
  return true;
}

template <class T>
bool Db2ClpRules<T>::ParenthesisFollows(NativeInput<T>& in) {
  std::size_t i = 0;
  while (in.Ensure(i + 1) && (IsBlank(in.Pos()[i]) || IsLineEnd(in.Pos()[i]))) ++i;
  return in.Ensure(i + 1) && in.Pos()[i] == '(';
}

template <class T>
void Db2ClpRules<T>::Track(const Lexeme<T>& lexeme, State& state, NativeInput<T>& in) {
  using Kind = typename State::Kind;
  if (!state.Tracking()) return;
  if (lexeme.Is(LexKind::kSemicolon) || lexeme.Is(LexKind::kTerminator)) {
    state.body_start = true;
    state.after_end = false;
    return;
  }
  if (!lexeme.type->IsCompare()) return;
  const bool start = state.body_start;
  const bool after_end = state.after_end;
  state.body_start = state.after_end = false;
  switch (state.kind) {
    case Kind::kUnknown:
      state.kind = lexeme.IsWord("create") ? Kind::kCreate : lexeme.IsWord("begin") ? Kind::kBlocks : Kind::kPlain;
      if (state.kind != Kind::kBlocks) return;
      break;  // a compound: its BEGIN opens the first level
    case Kind::kCreate:
      if (lexeme.IsWord("or") || lexeme.IsWord("replace")) return;
      state.kind = lexeme.IsWord("trigger") || lexeme.IsWord("procedure") || lexeme.IsWord("function") ? Kind::kBlocks
                                                                                                        : Kind::kPlain;
      return;
    case Kind::kPlain:
      return;
    case Kind::kBlocks:
      break;
  }
  if (!lexeme.Is(LexKind::kWord)) {
    state.body_start = lexeme.length == 1 && lexeme.text[0] == ':';  // after a label
    return;
  }
  const bool begin = lexeme.IsWord("begin");
  const bool end = lexeme.IsWord("end");
  const bool is_case = lexeme.IsWord("case");
  const bool loop = lexeme.IsWord("loop");
  const bool repeat = lexeme.IsWord("repeat");
  const bool opener = loop || lexeme.IsWord("if") || lexeme.IsWord("while") || lexeme.IsWord("for");
  const bool body = begin || loop || repeat || lexeme.IsWord("then") || lexeme.IsWord("else") ||
                    lexeme.IsWord("do") || lexeme.IsWord("atomic");
  // The lexeme's text is not read past here: ParenthesisFollows reads on.
  if (begin) {
    ++state.depth;
  } else if (end) {
    if (state.depth > 0) --state.depth;
    state.after_end = true;
  } else if (is_case) {
    if (!after_end) ++state.depth;
  } else if (start && (opener || (repeat && !ParenthesisFollows(in)))) {
    ++state.depth;  // REPEAT( is the function
  }
  state.body_start = body;
}

// The lexemes taken in runs (plain_runs.h): all but `;`, the terminator,
// `--#` comments and /* */ comments, and compare tokens once the statement
// is known to be plain or one with blocks; in one with blocks, Lex reads the
// words that open or close them, and a `:` after a label. Lex tests for the
// terminator before anything else.
template <class T>
struct Db2ClpRules<T>::Runs : PlainPolicy<T> {
  using Kind = typename State::Kind;
  explicit Runs(State& s) noexcept : state(s) {}
  static const PlainClasses<T>& Classes() {
    static const PlainClasses<T> table(PlainClass::kDigits,
                                       {{';', PlainClass::kStop}, {':', PlainClass::kStop}, {'-', PlainClass::kDash},
                                        {'/', PlainClass::kSlash}, {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}});
    return table;
  }
  bool CompareInert() const noexcept {
    return !state.Tracking() || state.kind == Kind::kPlain || state.kind == Kind::kBlocks;
  }
  bool Word(const T* p, const T* e) const noexcept {
    if (!state.Tracking() || state.kind != Kind::kBlocks) return true;
    const auto is = [p, e](const char* word) { return SpellsWord(p, e, word); };
    switch (e - p) {
      case 2:
        return !is("if") && !is("do");
      case 3:
        return !is("end") && !is("for");
      case 4:
        return !is("case") && !is("loop") && !is("then") && !is("else");
      case 5:
        return !is("begin") && !is("while");
      case 6:
        return !is("repeat") && !is("atomic");
      default:
        return true;
    }
  }
  bool TokenStart(const T* p, const T* end) const noexcept {
    return static_cast<std::size_t>(end - p) >= state.terminator.GetLength() && *p != state.terminator[0];
  }
  bool LineComment(const T* p, const T* e) const noexcept { return e - p < 3 || p[2] != '#'; }
  // What Track does with any other compare token.
  void Compare() noexcept {
    if (state.Tracking()) state.body_start = state.after_end = false;
  }

  State& state;
};

// Whether only blanks have come since the last line end, after a run that
// ended at `pos` and started at `from` (line_blank before it).
template <class T>
bool LineBlankAfter(const T* from, const T* pos, bool line_blank) {
  const T* p = pos;
  while (p > from && IsBlank(p[-1])) --p;
  return p == from ? line_blank : IsLineEnd(p[-1]);
}

template <class T>
long Db2ClpRules<T>::Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted) {
  NativeInput<T>& in = ctx.in;
  if (has_interrupted) {
    // The statement that a --#SET line interrupted goes on.
    ctx.stmt = interrupted;
    has_interrupted = false;
  }
  bool line_blank = ctx.at_line_start;
  for (;;) {
    const T* const from = in.Pos();
    if (ctx.runs && ScanPlainRuns(ctx, Runs(state))) line_blank = LineBlankAfter(from, in.Pos(), line_blank);
    const Lexeme<T> lexeme = Lex(in, state);
    if (lexeme.length == 0) {
      if (state.depth > 0 && state.Tracking()) ctx.EndsInsideBlock();
      return in.Failed() ? KXSQL_FAILED : KXSQL_END;
    }
    const bool first_on_line = line_blank;
    ctx.at_line_start = lexeme.Is(LexKind::kLineEnd);
    line_blank = ctx.at_line_start || (line_blank && lexeme.Is(LexKind::kBlank));
    if (first_on_line && lexeme.Is(LexKind::kComment) && SetsTerminator(lexeme, nullptr)) {
      // Inside a statement the line takes its line end along, so that the
      // statement goes on as if the line were not there.
      const bool interrupting = !ctx.Empty();
      if (interrupting) {
        interrupted = ctx.stmt;
        has_interrupted = true;
        ctx.stmt.Clear();
      }
      ctx.Append(lexeme.text, lexeme.length, SQLTOKEN_TYPE::OTHER);
      SetsTerminator(lexeme, &state);
      if (interrupting) {
        in.Mark();
        ScanLineEnd(in);
        if (in.Pos() != in.Start()) ctx.Append(Cut(in, SQLTOKEN_TYPE::LF, LexKind::kLineEnd));
        ctx.at_line_start = true;
      }
      ctx.SetKind(KXSQL_STMT_CLIENT);
      return in.Failed() ? KXSQL_FAILED : KXSQL_PRODUCED;
    }
    if (lexeme.Is(LexKind::kTerminator) && (state.depth == 0 || !state.Tracking())) {
      state.EndStatement();
      return KXSQL_PRODUCED;
    }
    ctx.Append(lexeme);
    Track(lexeme, state, in);
  }
}

}  // namespace kxsql::detail

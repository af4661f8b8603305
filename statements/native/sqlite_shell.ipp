// SQLite as the sqlite3 shell cuts it.
//
//  - A statement ends at the first `;` where the text so far is complete in
//    SQLite's own sense (sqlite3_complete): a `;` inside CREATE TRIGGER ...
//    BEGIN ... END does not end it, so a trigger whose body holds CASE ...
//    END comes out whole. Completeness is followed with sqlite3_complete's
//    state machine over the tokens as they come, not by asking again for
//    the whole text at every `;`.
//  - A line holding only `go` or `/` (any case, blanks and comments around)
//    also ends the statement, where a `;` in its place would.
//  - Where a statement starts, a line beginning with `.` in its first column
//    is a dot-command (client), and one beginning with `#` a comment that the
//    shell keeps to itself (a client statement that does nothing).
//  - Strings '...'; names "...", `...` and [...]; `--` and /* */ comments
//    (not nested). A `$` inside a name is part of it.
//  - At the end of the script what is left is a statement.
#pragma once

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct SqliteShellRules {
  // sqlite3_complete's token classes and states.
  enum Token : unsigned char { kSemi, kWs, kOther, kExplain, kCreate, kTemp, kTrigger, kEnd };
  enum Stage : unsigned char { kInvalid, kStart, kNormal, kExplainSeen, kCreateSeen, kInTrigger, kTriggerSemi, kTriggerEnd };

  struct State {
    Stage stage = kInvalid;
    // Only blank and comment lines so far: a dot-command may start here.
    bool fresh = true;
    void EndStatement() noexcept {
      stage = kInvalid;
      fresh = true;
    }
  };

  static Lexeme<T> Lex(NativeInput<T>& in);
  static long Next(SplitContext<T>& ctx, State& state);

 private:
  struct Runs;
  static Token Classify(const Lexeme<T>& lexeme);
  static Stage Step(Stage stage, Token token) noexcept;
  static bool IsTerminatorLine(NativeInput<T>& in);
};

template <class T>
typename SqliteShellRules<T>::Stage SqliteShellRules<T>::Step(Stage stage, Token token) noexcept {
  // Rows: the stage; columns: SEMI WS OTHER EXPLAIN CREATE TEMP TRIGGER END.
  static constexpr unsigned char kNext[8][8] = {
      /* kInvalid     */ {1, 0, 2, 3, 4, 2, 2, 2},
      /* kStart       */ {1, 1, 2, 3, 4, 2, 2, 2},
      /* kNormal      */ {1, 2, 2, 2, 2, 2, 2, 2},
      /* kExplainSeen */ {1, 3, 3, 2, 4, 2, 2, 2},
      /* kCreateSeen  */ {1, 4, 2, 2, 2, 4, 5, 2},
      /* kInTrigger   */ {6, 5, 5, 5, 5, 5, 5, 5},
      /* kTriggerSemi */ {6, 6, 5, 5, 5, 5, 5, 7},
      /* kTriggerEnd  */ {1, 7, 5, 5, 5, 5, 5, 5},
  };
  return static_cast<Stage>(kNext[stage][token]);
}

template <class T>
typename SqliteShellRules<T>::Token SqliteShellRules<T>::Classify(const Lexeme<T>& lexeme) {
  switch (lexeme.kind) {
    case LexKind::kBlank:
    case LexKind::kLineEnd:
    case LexKind::kComment:
      return kWs;
    case LexKind::kSemicolon:
      return kSemi;
    case LexKind::kWord:
      if (lexeme.IsWord("create")) return kCreate;
      if (lexeme.IsWord("trigger")) return kTrigger;
      if (lexeme.IsWord("temp") || lexeme.IsWord("temporary")) return kTemp;
      if (lexeme.IsWord("end")) return kEnd;
      if (lexeme.IsWord("explain")) return kExplain;
      return kOther;
    default:
      return kOther;
  }
}

template <class T>
Lexeme<T> SqliteShellRules<T>::Lex(NativeInput<T>& in) {
  in.Mark();
  if (in.AtEnd()) return Cut(in, SQLTOKEN_TYPE::NONE, LexKind::kPlain);
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
    case '"':
    case '`': {
      const bool closed = ScanQuoted(in, c, false);
      quoted = Cut(in, c == '\'' ? SQLTOKEN_TYPE::SQ_STRING : SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    case '[': {
      const bool closed = ScanTo(in, ']');
      quoted = Cut(in, SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    default:
      break;
  }
  if (IsDigit(static_cast<T>(c)) || words.Starts(static_cast<T>(c))) {
    // Numbers and names alike are runs of name characters to SQLite's completeness test.
    ScanWord(in, words);
    return Cut(in, IsDigit(static_cast<T>(c)) ? SQLTOKEN_TYPE::OTHER : SQLTOKEN_TYPE::SYMBOL,
               IsDigit(static_cast<T>(c)) ? LexKind::kPlain : LexKind::kWord);
  }
  return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
}

// The lexemes taken in runs (plain_runs.h): blanks, line ends and `--`
// comments, which leave sqlite3_complete's state where it is, and in the
// middle of a statement or of a trigger body every other lexeme but `;`
// and /* */ comments too. A line start that might hold a dot-command, a `#`
// line, `go` or `/` goes back to Next.
template <class T>
struct SqliteShellRules<T>::Runs : PlainPolicy<T> {
  explicit Runs(State& s) noexcept : state(s) {}
  static const PlainClasses<T>& Classes() {
    static const PlainClasses<T> table(PlainClass::kNumberWord,
                                       {{';', PlainClass::kStop}, {'-', PlainClass::kDash}, {'/', PlainClass::kSlash},
                                        {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}, {'`', PlainClass::kQuote},
                                        {'[', PlainClass::kBracket}});
    return table;
  }
  bool CompareInert() const noexcept { return state.stage == kNormal || state.stage == kInTrigger; }
  void Compare() noexcept { state.fresh = false; }
  bool LineStart(const T* p, const T* end, bool) const noexcept {
    // IsTerminatorLine reads the blanks and two characters.
    const std::size_t i = BlanksAt(p, end);
    if (static_cast<std::size_t>(end - p) < i + 2) return false;
    const unsigned c = LowerAscii(p[i]);
    return !(state.fresh && (*p == '.' || *p == '#')) && c != '/' && c != 'g';
  }

  State& state;
};

template <class T>
bool SqliteShellRules<T>::IsTerminatorLine(NativeInput<T>& in) {
  // Blanks, then `go` or `/`, then nothing but blanks and comments (a `--`
  // one, or /* */ closed on the line) to the line end.
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  if (!in.Ensure(i + 1)) return false;
  if (in.Pos()[i] == '/') {
    i += 1;
  } else if (in.Ensure(i + 2) && LowerAscii(in.Pos()[i]) == 'g' && LowerAscii(in.Pos()[i + 1]) == 'o') {
    i += 2;
  } else {
    return false;
  }
  for (;;) {
    while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
    if (!in.Ensure(i + 1) || IsLineEnd(in.Pos()[i])) return true;
    if (!in.Ensure(i + 2) || (in.Pos()[i] != '-' && in.Pos()[i] != '/')) return false;
    if (in.Pos()[i] == '-') return in.Pos()[i + 1] == '-';
    if (in.Pos()[i + 1] != '*') return false;
    for (i += 2; in.Ensure(i + 2) && !IsLineEnd(in.Pos()[i]) && !(in.Pos()[i] == '*' && in.Pos()[i + 1] == '/');) ++i;
    if (!in.Ensure(i + 2) || IsLineEnd(in.Pos()[i])) return false;
    i += 2;
  }
}

template <class T>
long SqliteShellRules<T>::Next(SplitContext<T>& ctx, State& state) {
  NativeInput<T>& in = ctx.in;
  for (;;) {
    if (ctx.at_line_start && !in.AtEnd()) {
      const unsigned first = static_cast<Unit<T>>(in.Peek());
      // `.command` and `# comment` lines, where a statement starts.
      if (state.fresh && (first == '.' || first == '#')) {
        // The shell reads the line itself and never sends it: a # line is a
        // client statement too (one that does nothing), since SQLite would
        // refuse its `#`.
        in.Mark();
        ScanToLineEnd(in);
        ctx.Append(Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCommand));
        ctx.at_line_start = false;
        ctx.SetKind(KXSQL_STMT_CLIENT);
        state.EndStatement();
        return KXSQL_PRODUCED;
      }
      // A `go` or `/` line stands for a `;` where one would end the statement.
      const Stage after_semi = Step(state.stage, kSemi);
      if (after_semi == kStart && IsTerminatorLine(in)) {
        in.Mark();
        ScanToLineEnd(in);
        state.EndStatement();
        return KXSQL_PRODUCED;
      }
    }
    if (ctx.runs && ScanPlainRuns(ctx, Runs(state)) && ctx.at_line_start) continue;
    const Lexeme<T> lexeme = Lex(in);
    if (lexeme.length == 0) {
      if (state.stage >= kInTrigger) ctx.EndsInsideBlock();
      return in.Failed() ? KXSQL_FAILED : KXSQL_END;
    }
    if (lexeme.Is(LexKind::kLineEnd)) {
      ctx.at_line_start = true;
    } else {
      ctx.at_line_start = false;
      // A block comment over several lines is part of the statement's text to the shell.
      if (lexeme.type->IsCompare() || lexeme.unterminated) state.fresh = false;
      if (lexeme.Is(LexKind::kComment) && lexeme.type == &SQLTOKEN_TYPE::MULTILINECOMMENT)
        for (std::size_t i = 0; i < lexeme.length && state.fresh; ++i) state.fresh = !IsLineEnd(lexeme.text[i]);
    }
    state.stage = Step(state.stage, Classify(lexeme));
    if (lexeme.Is(LexKind::kSemicolon) && state.stage == kStart) {
      state.EndStatement();
      return KXSQL_PRODUCED;
    }
    ctx.Append(lexeme);
  }
}

}  // namespace kxsql::detail

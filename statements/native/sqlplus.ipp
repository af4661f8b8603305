// Oracle as SQL*Plus cuts it.
//
//  - SQL ends at a `;` that ends its line (blanks and comments may follow it
//    there), or at a line holding only `/` or `.`. A `;` inside a line is
//    sent with the statement. A blank line does not end it: we read on, as
//    SQL*Plus does under SET SQLBLANKLINES ON (by default it would stop there
//    and leave the statement unrun in its buffer).
//  - A PL/SQL unit ends only at a `/` or `.` line, its `;` and final `END;`
//    its own. It is a statement that starts with DECLARE or BEGIN; with
//    CREATE [OR REPLACE] [EDITIONABLE | NONEDITIONABLE] FUNCTION, PROCEDURE,
//    PACKAGE [BODY], TRIGGER, TYPE [BODY], LIBRARY or [AND COMPILE] JAVA; or
//    with WITH FUNCTION | PROCEDURE.
//  - A `/` line with nothing open is an empty statement: SQL*Plus would run
//    its buffer again, we run nothing.
//  - Where a statement starts, a line whose first word is a SQL*Plus command
//    (any documented abbreviation: REM, PRO, COL, SPO, DEF, CONN, STA, EXEC,
//    SET but not SET TRANSACTION | ROLE | CONSTRAINT[S], and `@`, `@@`, `!`)
//    is a client statement of that line. A `-` at its end continues it on
//    the next line, except for REMARK, which always ends with its line.
//  - Inside a statement, a line that starts with `#` (SET SQLPREFIX) is a
//    command run at once: it comes out first, the statement goes on.
//  - Strings '...' and N'...', the alternative quoting q'[...]' (any
//    delimiter; ( [ { < close with their pair); names "..."; `--` and /* */
//    comments (not nested). A `/` or `;` inside them ends nothing.
//  - At the end of the script what is left is a statement (SQL*Plus would
//    leave it unrun in its buffer).
#pragma once

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct SqlPlusRules {
  struct State {
    // What the statement is, by its first words.
    enum class Kind : unsigned char {
      kUnknown,  // no word yet
      kCreate,   // CREATE and its modifiers so far
      kWith,     // WITH
      kSql,      // SQL: ends at a `;` at the end of a line
      kPlsql,    // a PL/SQL unit: ends at a `/` or `.` line only
    };
    Kind kind = Kind::kUnknown;
  };

  static Lexeme<T> Lex(NativeInput<T>& in);
  static long Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted);

 private:
  struct Runs;
  enum class Command : unsigned char { kNone, kCommand, kRemark, kSet };
  static Command FindCommand(const Lexeme<T>& lexeme);
  static void Classify(const Lexeme<T>& lexeme, State& state);
  static bool IsTerminatorLine(NativeInput<T>& in);
  static bool LineEndsHere(NativeInput<T>& in);
  static bool SetIsSql(NativeInput<T>& in);
  static long ClientLine(SplitContext<T>& ctx, bool continues, bool interrupting);
};

template <class T>
Lexeme<T> SqlPlusRules<T>::Lex(NativeInput<T>& in) {
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
    const unsigned lower = LowerAscii(static_cast<T>(c));
    // N'...' is a string; q'x...x' and Nq'x...x' quote with a delimiter of
    // their own, so that quotes inside need no doubling.
    if (lower == 'n' && in.PeekAt(0) == '\'') {
      in.Advance();
      const bool closed = ScanQuoted(in, '\'', false);
      quoted = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    const std::size_t q = lower == 'q' ? 0 : (lower == 'n' && LowerAscii(in.PeekAt(0)) == 'q' ? 1 : 2);
    const T open = q < 2 && in.PeekAt(q) == '\'' ? in.PeekAt(q + 1) : T(0);
    if (open != 0 && !IsBlank(open) && !IsLineEnd(open)) {
      in.Advance(q + 2);
      const unsigned o = static_cast<Unit<T>>(open);
      const unsigned close = o == '[' ? ']' : o == '(' ? ')' : o == '{' ? '}' : o == '<' ? '>' : o;
      bool closed = false;
      while (!closed && ScanTo(in, close)) {
        if (in.Ensure(1) && in.Peek() == '\'') {
          in.Advance();
          closed = true;
        }
      }
      quoted = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
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
typename SqlPlusRules<T>::Command SqlPlusRules<T>::FindCommand(const Lexeme<T>& lexeme) {
  if (lexeme.length == 1 && (lexeme.text[0] == '@' || lexeme.text[0] == '!' || lexeme.text[0] == '$'))
    return Command::kCommand;  // @file, @@file, and the host command
  if (!lexeme.Is(LexKind::kWord)) return Command::kNone;
  // Each command by its full name and the length of its shortest
  // abbreviation, in alphabetical order.
  struct Name {
    const char* name;
    unsigned char shortest;
    Command command = Command::kCommand;
  };
  static const Name kNames[] = {
      {"accept", 3},   {"append", 1},    {"archive", 7},  {"argument", 8}, {"attribute", 9}, {"break", 3},
      {"btitle", 3},   {"change", 1},    {"clear", 2},    {"column", 3},   {"compute", 4},   {"connect", 4},
      {"copy", 4},     {"define", 3},    {"del", 3},      {"describe", 4}, {"disconnect", 4}, {"edit", 2},
      {"execute", 4},  {"exit", 4},      {"get", 3},      {"help", 4},     {"history", 4},   {"host", 2},
      {"input", 1},    {"list", 1},      {"oerr", 4},     {"password", 5}, {"pause", 3},     {"print", 3},
      {"prompt", 3},   {"quit", 4},      {"recover", 7},  {"remark", 3, Command::kRemark},   {"repfooter", 4},
      {"repheader", 4}, {"run", 1},      {"save", 3},     {"set", 3, Command::kSet},         {"show", 3},
      {"shutdown", 8}, {"spool", 3},     {"start", 3},    {"startup", 7},  {"store", 5},     {"timing", 4},
      {"ttitle", 3},   {"undefine", 5},  {"variable", 3}, {"whenever", 8},
  };
  constexpr std::size_t kCount = sizeof kNames / sizeof kNames[0];
  // Where the names of each first letter start (and the next letter's end
  // them): most first words are SQL, and only a few names share their letter.
  struct Index {
    unsigned char from[27];
    Index() noexcept {
      std::size_t n = 0;
      for (unsigned letter = 0; letter < 27; ++letter) {
        while (n < kCount && static_cast<unsigned char>(kNames[n].name[0]) < 'a' + letter) ++n;
        from[letter] = static_cast<unsigned char>(n);
      }
    }
  };
  static const Index kIndex;
  const unsigned first = LowerAscii(lexeme.text[0]) - 'a';
  if (first >= 26) return Command::kNone;
  for (std::size_t n = kIndex.from[first]; n < kIndex.from[first + 1]; ++n) {
    const Name& name = kNames[n];
    std::size_t i = 0;
    while (i < lexeme.length && name.name[i] != 0 &&
           LowerAscii(lexeme.text[i]) == static_cast<unsigned char>(name.name[i]))
      ++i;
    if (i == lexeme.length && i >= name.shortest) return name.command;
  }
  return Command::kNone;
}

template <class T>
void SqlPlusRules<T>::Classify(const Lexeme<T>& lexeme, State& state) {
  using Kind = typename State::Kind;
  if (!lexeme.type->IsCompare()) return;
  const auto is = [&lexeme](const char* word) { return lexeme.IsWord(word); };
  switch (state.kind) {
    case Kind::kUnknown:
      state.kind = is("declare") || is("begin") ? Kind::kPlsql
                   : is("create")              ? Kind::kCreate
                   : is("with")                ? Kind::kWith
                                               : Kind::kSql;
      return;
    case Kind::kCreate:
      if (is("or") || is("replace") || is("editionable") || is("noneditionable") || is("and") || is("resolve") ||
          is("compile") || is("noforce"))
        return;
      state.kind = is("function") || is("procedure") || is("package") || is("trigger") || is("type") ||
                           is("library") || is("java")
                       ? Kind::kPlsql
                       : Kind::kSql;
      return;
    case Kind::kWith:
      // WITH FUNCTION declares PL/SQL inside a query.
      state.kind = is("function") || is("procedure") ? Kind::kPlsql : Kind::kSql;
      return;
    default:
      return;
  }
}

// The lexemes taken in runs (plain_runs.h), once the statement is known to
// be SQL or PL/SQL: all but N'...' and q'...', a `;` that may end SQL, and
// the line starts that might be a `/` or `.` line or a `#` command.
template <class T>
struct SqlPlusRules<T>::Runs : PlainPolicy<T> {
  explicit Runs(bool plsql) noexcept : plsql_(plsql) {}
  // A `;` ends nothing inside PL/SQL.
  const PlainClasses<T>& Classes() const {
    static const PlainClasses<T> sql(PlainClass::kDigits,
                                     {{';', PlainClass::kStop}, {'-', PlainClass::kDash}, {'/', PlainClass::kSlash},
                                      {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}});
    static const PlainClasses<T> plsql(PlainClass::kDigits,
                                       {{';', PlainClass::kSemicolon}, {'-', PlainClass::kDash}, {'/', PlainClass::kSlash},
                                        {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}});
    return plsql_ ? plsql : sql;
  }
  bool Word(const T* p, const T* e) const noexcept {
    const unsigned first = LowerAscii(*p);
    return !(*e == '\'' && ((e - p == 1 && (first == 'n' || first == 'q')) ||
                            (e - p == 2 && first == 'n' && LowerAscii(p[1]) == 'q')));
  }
  bool LineStart(const T* p, const T* end, bool) const noexcept {
    const std::size_t i = BlanksAt(p, end);
    return p + i < end && *p != '#' && p[i] != '/' && p[i] != '.';
  }

 private:
  bool plsql_;
};

template <class T>
bool SqlPlusRules<T>::IsTerminatorLine(NativeInput<T>& in) {
  // Blanks, a `/` or a `.`, blanks, the line end.
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  if (!in.Ensure(i + 1) || (in.Pos()[i] != '/' && in.Pos()[i] != '.')) return false;
  ++i;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  return !in.Ensure(i + 1) || IsLineEnd(in.Pos()[i]);
}

template <class T>
bool SqlPlusRules<T>::LineEndsHere(NativeInput<T>& in) {
  // Nothing but blanks and comments up to the line end (a block comment may
  // run on over lines).
  std::size_t i = 0;
  for (;;) {
    while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
    if (!in.Ensure(i + 1) || IsLineEnd(in.Pos()[i])) return true;
    if (!in.Ensure(i + 2)) return false;
    const T c = in.Pos()[i];
    const T next = in.Pos()[i + 1];
    if (c == '-' && next == '-') return true;
    if (c != '/' || next != '*') return false;
    i += 2;
    while (in.Ensure(i + 2) && !(in.Pos()[i] == '*' && in.Pos()[i + 1] == '/')) ++i;
    if (!in.Ensure(i + 2)) return true;  // the comment runs to the end of the script
    i += 2;
  }
}

template <class T>
bool SqlPlusRules<T>::SetIsSql(NativeInput<T>& in) {
  // SET TRANSACTION, SET ROLE and SET CONSTRAINT[S] are SQL: the next word
  // on the line decides.
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  std::size_t end = i;
  while (in.Ensure(end + 1) && ContinuesWord(CharClasses<T>::Table(), in.Pos()[end])) ++end;
  static const char* const kSqlWords[] = {"transaction", "role", "constraint", "constraints"};
  for (const char* word : kSqlWords) {
    std::size_t k = 0;
    while (i + k < end && word[k] != 0 && LowerAscii(in.Pos()[i + k]) == static_cast<unsigned char>(word[k])) ++k;
    if (i + k == end && word[k] == 0) return true;
  }
  return false;
}

template <class T>
long SqlPlusRules<T>::ClientLine(SplitContext<T>& ctx, bool continues, bool interrupting) {
  // The rest of the command's line; with `continues`, a `-` at its end
  // takes the next line too. A command that interrupts a statement takes
  // its line end along, so that the statement goes on as if the line were
  // not there.
  NativeInput<T>& in = ctx.in;
  for (;;) {
    in.Mark();
    ScanToLineEnd(in);
    const Lexeme<T> rest = Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCommand);
    std::size_t last = rest.length;
    while (last > 0 && IsBlank(rest.text[last - 1])) --last;
    const bool more = continues && last > 0 && rest.text[last - 1] == '-';
    if (rest.length > 0) ctx.Append(rest);
    if (!more && !interrupting) break;
    in.Mark();
    ScanLineEnd(in);
    const Lexeme<T> line_end = Cut(in, SQLTOKEN_TYPE::LF, LexKind::kLineEnd);
    if (line_end.length == 0) break;
    ctx.Append(line_end);
    if (!more) break;
  }
  ctx.at_line_start = interrupting;
  ctx.SetKind(KXSQL_STMT_CLIENT);
  return in.Failed() ? KXSQL_FAILED : KXSQL_PRODUCED;
}

template <class T>
long SqlPlusRules<T>::Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted) {
  using Kind = typename State::Kind;
  NativeInput<T>& in = ctx.in;
  if (has_interrupted) {
    // The statement that a `#` command interrupted goes on.
    ctx.stmt = interrupted;
    has_interrupted = false;
  }
  // Only blanks since the line started: a command word may come.
  bool line_blank = ctx.at_line_start;
  for (;;) {
    if (ctx.at_line_start && IsTerminatorLine(in)) {
      // The `/` or `.` line, and the line end before it, end the statement.
      ctx.stmt.RemoveLastLineEnding();
      in.Mark();
      ScanToLineEnd(in);
      ctx.at_line_start = false;
      state.kind = Kind::kUnknown;
      return KXSQL_PRODUCED;
    }
    if (ctx.at_line_start && !ctx.Empty() && in.Ensure(1) && in.Peek() == '#') {
      // A SQL*Plus command entered in the middle of a statement runs now.
      interrupted = ctx.stmt;
      has_interrupted = true;
      ctx.stmt.Clear();
      return ClientLine(ctx, false, true);
    }
    // Only the statement's start (its first words, a command) needs line_blank.
    if (ctx.runs && (state.kind == Kind::kSql || state.kind == Kind::kPlsql) && ScanPlainRuns(ctx, Runs(state.kind == Kind::kPlsql)) &&
        ctx.at_line_start)
      continue;
    const Lexeme<T> lexeme = Lex(in);
    if (lexeme.length == 0) {
      if (state.kind == Kind::kPlsql) ctx.EndsInsideBlock();
      return in.Failed() ? KXSQL_FAILED : KXSQL_END;
    }
    ctx.at_line_start = lexeme.Is(LexKind::kLineEnd);
    const bool first_on_line = line_blank;
    line_blank = ctx.at_line_start || (line_blank && lexeme.Is(LexKind::kBlank));
    if (state.kind == Kind::kUnknown && first_on_line && ctx.Empty()) {
      const Command command = FindCommand(lexeme);
      if (command != Command::kNone) {
        ctx.Append(lexeme);
        if (command != Command::kSet || !SetIsSql(in)) return ClientLine(ctx, command != Command::kRemark, false);
        state.kind = Kind::kSql;
        continue;
      }
    }
    if (lexeme.Is(LexKind::kSemicolon) && state.kind != Kind::kPlsql && LineEndsHere(in)) {
      state.kind = Kind::kUnknown;
      return KXSQL_PRODUCED;
    }
    Classify(lexeme, state);
    ctx.Append(lexeme);
  }
}

}  // namespace kxsql::detail

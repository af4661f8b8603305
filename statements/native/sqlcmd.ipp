// SQL Server and Sybase as sqlcmd cuts them.
//
//  - A batch runs to a line holding only GO: any letter case, blanks around
//    it, an optional count (`GO 3` sends the batch three times; the
//    statement carries the count) and an optional comment. A `;` ends
//    nothing, and neither does GO anywhere else on a line.
//  - Strings '...' and N'...', names "..." and [...] (`]]` stands for `]`),
//    `--` comments and /* */ comments, which nest. A GO line inside any of
//    them is text.
//  - A line that starts with a sqlcmd command (`:setvar`, `:r`, `:on error`,
//    `:connect`, `:out`, `:error`, `:quit`, `:exit`, `:reset`, `:!!`,
//    `:list`, `:listvar`, `:serverlist`, `:perftrace`, `:help`, `:xml`, `:ed`;
//    EXIT, QUIT, RESET, ED and !! also without the colon) is a client
//    statement of that line. Commands run as soon as they are read: inside a
//    batch, the command comes out first and the batch goes on with the next
//    call. EXIT(...) sends the batch before it first; RESET drops the batch
//    typed so far, as sqlcmd clears its statement cache.
//  - $(var) stays in the text, for the runner to replace.
//  - A GO with nothing before it is an empty statement; at the end of the
//    script what is left is a batch.
#pragma once

#include <climits>

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct SqlcmdRules {
  static Lexeme<T> Lex(NativeInput<T>& in);
  static long Next(SplitContext<T>& ctx, SQLStmtT<T>& interrupted, bool& has_interrupted);

 private:
  struct Runs;
  enum class Command : unsigned char { kNone, kCommand, kExitWithBatch, kReset };
  static bool IsGoLine(NativeInput<T>& in, unsigned& count);
  static Command FindCommand(NativeInput<T>& in);
};

template <class T>
Lexeme<T> SqlcmdRules<T>::Lex(NativeInput<T>& in) {
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
        const bool closed = ScanBlockComment(in, true);
        quoted = Cut(in, SQLTOKEN_TYPE::MULTILINECOMMENT, LexKind::kComment);
        quoted.unterminated = !closed;
        return quoted;
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '\'':
    case '"':
    case '[': {
      // A bracketed name closes at `]`, and `]]` inside it stands for one.
      const bool closed = ScanQuoted(in, c == '[' ? ']' : c, false);
      quoted = Cut(in, c == '\'' ? SQLTOKEN_TYPE::SQ_STRING : SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    default:
      break;
  }
  if (words.Starts(static_cast<T>(c))) {
    if ((c == 'N' || c == 'n') && in.PeekAt(0) == '\'') {
      in.Advance();
      const bool closed = ScanQuoted(in, '\'', false);
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

// The lexemes taken in runs (plain_runs.h): sqlcmd follows nothing inside a
// line, so all but N'...' and the nested comments; Next looks at each line
// start that might be a GO line or a command.
template <class T>
struct SqlcmdRules<T>::Runs : PlainPolicy<T> {
  static const PlainClasses<T>& Classes() {
    static const PlainClasses<T> table(PlainClass::kDigits,
                                       {{';', PlainClass::kSemicolon}, {'-', PlainClass::kDash}, {'/', PlainClass::kSlash},
                                        {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}, {'[', PlainClass::kBracket}},
                                       true);
    return table;
  }
  bool Word(const T* p, const T* e) const noexcept { return !(e - p == 1 && LowerAscii(*p) == 'n' && *e == '\''); }
  bool LineStart(const T* p, const T* end, bool) const noexcept {
    // IsGoLine reads the blanks and two characters; GO, `:name`, RESET,
    // EXIT, QUIT, ED and !! start with these.
    const std::size_t i = BlanksAt(p, end);
    if (static_cast<std::size_t>(end - p) < i + 2) return false;
    const unsigned c = LowerAscii(p[i]);
    return c != 'g' && c != ':' && c != 'r' && c != 'e' && c != 'q' && c != '!';
  }
};

template <class T>
bool SqlcmdRules<T>::IsGoLine(NativeInput<T>& in, unsigned& count) {
  // Blanks, GO, [blanks and a positive count], blanks, then the line end, a
  // `--` comment, or a /* */ comment that closes on the line.
  const auto at = [&in](std::size_t i) { return in.Pos()[i]; };
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(at(i))) ++i;
  if (!in.Ensure(i + 2) || LowerAscii(at(i)) != 'g' || LowerAscii(at(i + 1)) != 'o') return false;
  i += 2;
  const std::size_t word_end = i;
  while (in.Ensure(i + 1) && IsBlank(at(i))) ++i;
  count = 1;
  if (i > word_end && in.Ensure(i + 1) && IsDigit(at(i))) {
    unsigned long long value = 0;
    for (; in.Ensure(i + 1) && IsDigit(at(i)); ++i) {
      value = value * 10 + (static_cast<Unit<T>>(at(i)) - '0');
      if (value > UINT_MAX) value = UINT_MAX;  // a count past any use stays the largest one
    }
    if (value == 0) return false;
    count = static_cast<unsigned>(value);
    while (in.Ensure(i + 1) && IsBlank(at(i))) ++i;
  }
  for (;;) {
    if (!in.Ensure(i + 1) || IsLineEnd(at(i))) return true;
    if (!in.Ensure(i + 2)) return false;
    if (at(i) == '-' && at(i + 1) == '-') return true;
    if (at(i) != '/' || at(i + 1) != '*') return false;
    for (i += 2; in.Ensure(i + 2) && !(at(i) == '*' && at(i + 1) == '/'); ++i)
      if (IsLineEnd(at(i))) return false;
    if (!in.Ensure(i + 2)) return false;
    i += 2;
    while (in.Ensure(i + 1) && IsBlank(at(i))) ++i;
  }
}

template <class T>
typename SqlcmdRules<T>::Command SqlcmdRules<T>::FindCommand(NativeInput<T>& in) {
  // Blanks, then `:name` or, for the commands osql knew, the bare name; the
  // name ends where a letter does not follow.
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  const bool colon = in.Ensure(i + 1) && in.Pos()[i] == ':';
  if (colon) ++i;
  const auto name_is = [&in, i](const char* name) {
    std::size_t k = 0;
    for (; name[k] != 0; ++k)
      if (!in.Ensure(i + k + 1) || LowerAscii(in.Pos()[i + k]) != static_cast<unsigned char>(name[k])) return false;
    const unsigned next = in.Ensure(i + k + 1) ? LowerAscii(in.Pos()[i + k]) : 0;
    return name[0] == '!' || next < 'a' || next > 'z';
  };
  static const char* const kWithColonOnly[] = {"setvar", "r",        "on",        "connect", "out", "error",
                                               "listvar", "list",    "serverlist", "perftrace", "help", "xml"};
  if (colon)
    for (const char* name : kWithColonOnly)
      if (name_is(name)) return Command::kCommand;
  if (name_is("reset")) return Command::kReset;
  if (name_is("exit")) {
    // EXIT(...) runs the batch, then exits; plain EXIT drops it.
    std::size_t k = i + 4;
    while (in.Ensure(k + 1) && IsBlank(in.Pos()[k])) ++k;
    return in.Ensure(k + 1) && in.Pos()[k] == '(' ? Command::kExitWithBatch : Command::kCommand;
  }
  return name_is("quit") || name_is("ed") || name_is("!!") ? Command::kCommand : Command::kNone;
}

template <class T>
long SqlcmdRules<T>::Next(SplitContext<T>& ctx, SQLStmtT<T>& interrupted, bool& has_interrupted) {
  NativeInput<T>& in = ctx.in;
  if (has_interrupted) {
    // The batch that a command interrupted goes on.
    ctx.stmt = interrupted;
    has_interrupted = false;
  }
  for (;;) {
    if (ctx.at_line_start) {
      unsigned count = 1;
      if (IsGoLine(in, count)) {
        // The GO line, and the line end before it, end the batch.
        ctx.stmt.RemoveLastLineEnding();
        StatementAccess<T>::SetRepeatCount(ctx.stmt, count);
        in.Mark();
        ScanToLineEnd(in);
        ctx.at_line_start = false;
        return KXSQL_PRODUCED;
      }
      const Command command = FindCommand(in);
      if (command == Command::kExitWithBatch && !ctx.Empty()) return KXSQL_PRODUCED;  // EXIT comes next
      if (command == Command::kReset) ctx.stmt.Clear();
      if (command != Command::kNone) {
        // Inside a batch the command takes its line end along, so that the
        // batch goes on as if the line were not there.
        const bool interrupting = !ctx.Empty();
        if (interrupting) {
          interrupted = ctx.stmt;
          has_interrupted = true;
          ctx.stmt.Clear();
        }
        in.Mark();
        ScanToLineEnd(in);
        if (interrupting) ScanLineEnd(in);
        ctx.Append(Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCommand));
        ctx.SetKind(KXSQL_STMT_CLIENT);
        ctx.at_line_start = interrupting;
        return in.Failed() ? KXSQL_FAILED : KXSQL_PRODUCED;
      }
    }
    if (ctx.runs && ScanPlainRuns(ctx, Runs()) && ctx.at_line_start) continue;
    const Lexeme<T> lexeme = Lex(in);
    if (lexeme.length == 0) return in.Failed() ? KXSQL_FAILED : KXSQL_END;
    ctx.at_line_start = lexeme.Is(LexKind::kLineEnd);
    ctx.Append(lexeme);
  }
}

}  // namespace kxsql::detail

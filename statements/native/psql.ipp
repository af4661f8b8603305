// PostgreSQL as psql cuts it.
//
//  - A `;` ends a statement, unless it stands inside parentheses or inside
//    the BEGIN ... END of a CREATE [OR REPLACE] FUNCTION or PROCEDURE (an
//    SQL-standard body, BEGIN ATOMIC ... END; a CASE there also ends with
//    END). `begin;`, `BEGIN ISOLATION LEVEL ...;` and every other statement
//    end at their `;`; function bodies are strings, so what they hold never
//    ends anything.
//  - Strings: '...' with '' for a quote and the backslash as a character;
//    E'...' where a backslash escapes the next character; U&'...'; quoted
//    names "..."; dollar quotes $$...$$ and $tag$...$tag$ (a `$` after a
//    letter is part of the name, $1 a parameter). Comments: `--` to the line
//    end, and /* */ that nest.
//  - psql lexes '...' as the server reads it: after `SET [SESSION]
//    standard_conforming_strings TO off` (= false, 0, ...) a backslash
//    escapes in '...' too, from the next line on (psql looks the setting up
//    once a line); `SET ... on` and `RESET` (ALL) end that. SET LOCAL, and
//    a SET that a ROLLBACK undoes, are not followed. B'...' and X'...' never
//    take escapes.
//  - A backslash outside quotes starts a psql command (`\c db`, `\set x 1`,
//    `\i file`, `\echo ...`). Its arguments end at the line end or at the
//    next backslash outside quotes ('...' with backslash escapes, "...",
//    `...`), so that `\echo a \echo b` is two commands; `\copy`, `\!`,
//    `\h`, `\ef`, `\ev`, `\sf` and `\sv` (and `\g`, `\o`, `\w` into a `|`
//    pipe) take the whole line. `\\` only separates: what follows it on the
//    line is SQL. Where a statement starts a command is a client statement.
//    Inside a statement psql runs it at once and goes on with the statement,
//    and so do we: the command comes out first, the statement with the next
//    call.
//  - `\g`, `\gx`, `\gset`, `\gexec`, `\gdesc`, `\crosstabview` and `\watch`
//    send the statement, as `;` does (on an empty statement they are client
//    commands: `\g` sends the previous one again). `\r` (`\reset`) drops the
//    statement typed so far. `\;` and `\:` put a `;` or a `:` into the
//    statement without their usual meaning.
//  - `COPY ... FROM STDIN`, sent by `;` or by `\g` and its kin, is followed by
//    its rows, one a line, up to a line holding `\.` (or the end of the
//    script); so is `\copy ... from stdin`, whose rows psql reads from the
//    script too. They come as the statement's data, in pieces of about a
//    megabyte for a long table; anything after the `;` on the COPY line is
//    read after the rows, as psql reads it. After `\;` a COPY may start.
//  - At the end of the script what is left is a statement, as psql sends it.
#pragma once

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct PsqlRules {
  // The COPY data of a long table comes in pieces of about this many characters.
  static constexpr std::size_t kCopyPiece = std::size_t{1} << 20;

  struct State {
    // psql's heuristic for SQL-standard bodies: the first words of the
    // statement, by their first letters, and the BEGIN/CASE ... END depth.
    unsigned paren_depth = 0;
    unsigned begin_depth = 0;
    unsigned word_count = 0;
    char first_words[4] = {0, 0, 0, 0};
    // COPY ... FROM STDIN: 0 not seen, 1 COPY, 2 COPY ... FROM, 3 FROM STDIN, 4 not a COPY.
    unsigned char copy = 0;
    // Rows still to read for the COPY just returned.
    bool copy_rows_follow = false;
    CKXStringT<T> copy_text;
    // What followed the COPY's `;` on its line, read after the rows.
    CKXStringT<T> after_copy;
    // standard_conforming_strings as psql sees it on this line, and from the
    // next line on.
    bool standard_strings = true;
    bool standard_strings_next = true;
    // SET [SESSION] standard_conforming_strings TO value, RESET ...: 0 at the
    // start, 1 SET, 2 its name, 3 TO or =, 4 RESET, 5 the value is known, 6 not such a statement.
    unsigned char setting = 0;
    bool setting_value = true;

    // CREATE [OR REPLACE] FUNCTION | PROCEDURE, by the first words' letters.
    static bool IsRoutine(const char* w) noexcept {
      return w[0] == 'c' && (w[1] == 'f' || w[1] == 'p' || (w[1] == 'o' && w[2] == 'r' && (w[3] == 'f' || w[3] == 'p')));
    }
    bool InRoutine() const noexcept { return IsRoutine(first_words); }
    void EndStatement() noexcept {
      paren_depth = begin_depth = word_count = 0;
      copy = 0;
      if (setting == 5) standard_strings_next = setting_value;
      setting = 0;
    }
  };

  // What a backslash command does to the statement around it, and how far
  // its arguments run: to the next backslash, to the line end, or to the
  // line end when they start with a `|` (a pipe).
  enum class Effect : unsigned char { kRun, kSend, kReset, kCopy, kChar };
  enum class Arguments : unsigned char { kToBackslash, kWholeLine, kPipe };

  static Lexeme<T> Lex(NativeInput<T>& in, const State& state);
  // The next statement into ctx.stmt: 0 at its end, 1 at the end of the input, -1 on failure.
  static long Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted);

 private:
  struct Runs;
  static void Track(const Lexeme<T>& lexeme, State& state);
  static void TrackSetting(const Lexeme<T>& lexeme, State& state);
  static long ReadCopyRows(SplitContext<T>& ctx, State& state, bool first);
  static bool IsCopyEnd(NativeInput<T>& in);
  static void ScanCommand(NativeInput<T>& in);
  static Effect EffectOf(const T* text, std::size_t n, Arguments* arguments = nullptr);
  static bool CopiesFromStdin(const Lexeme<T>& command);
  static long ReadRowsOf(SplitContext<T>& ctx, State& state);
};

// What the command in `text` (its backslash first) does, and how far its
// arguments run. Its name runs from after the backslash to a blank, a
// backslash or the line end.
template <class T>
typename PsqlRules<T>::Effect PsqlRules<T>::EffectOf(const T* text, std::size_t n, Arguments* arguments) {
  struct Named {
    const char* name;
    Effect effect;
    Arguments arguments;
  };
  constexpr Arguments kNormal = Arguments::kToBackslash, kLine = Arguments::kWholeLine, kPipe = Arguments::kPipe;
  static const Named kCommands[] = {
      {"g", Effect::kSend, kPipe},       {"gx", Effect::kSend, kPipe},      {"gset", Effect::kSend, kNormal},
      {"gexec", Effect::kSend, kNormal}, {"gdesc", Effect::kSend, kNormal}, {"crosstabview", Effect::kSend, kNormal},
      {"watch", Effect::kSend, kNormal}, {"r", Effect::kReset, kNormal},    {"reset", Effect::kReset, kNormal},
      {"copy", Effect::kCopy, kLine},    {";", Effect::kChar, kNormal},     {":", Effect::kChar, kNormal},
      {"o", Effect::kRun, kPipe},        {"out", Effect::kRun, kPipe},      {"w", Effect::kRun, kPipe},
      {"write", Effect::kRun, kPipe},    {"!", Effect::kRun, kLine},        {"h", Effect::kRun, kLine},
      {"help", Effect::kRun, kLine},     {"ef", Effect::kRun, kLine},       {"ev", Effect::kRun, kLine},
      {"sf", Effect::kRun, kLine},       {"sf+", Effect::kRun, kLine},      {"sv", Effect::kRun, kLine},
      {"sv+", Effect::kRun, kLine},
      // A backslash with no name is a mistake: psql throws the line away.
      {"", Effect::kRun, kLine},
  };
  std::size_t length = 0;
  if (n >= 2 && (text[1] == ';' || text[1] == ':')) length = 1;
  else
    while (length + 1 < n && !IsBlank(text[length + 1]) && !IsLineEnd(text[length + 1]) && text[length + 1] != '\\')
      ++length;
  for (const Named& c : kCommands) {
    std::size_t i = 0;
    while (i < length && c.name[i] != 0 && static_cast<Unit<T>>(text[i + 1]) == static_cast<unsigned char>(c.name[i]))
      ++i;
    if (i == length && c.name[i] == 0) {
      if (arguments) *arguments = c.arguments;
      return c.effect;
    }
  }
  if (arguments) *arguments = kNormal;
  return Effect::kRun;
}

template <class T>
void PsqlRules<T>::ScanCommand(NativeInput<T>& in) {
  // `\;` and `\:` are characters of the statement.
  if (in.Ensure(1) && (in.Peek() == ';' || in.Peek() == ':')) {
    in.Advance();
    return;
  }
  in.SkipWhile([](T c) { return !IsBlank(c) && !IsLineEnd(c) && c != '\\'; });
  Arguments arguments = Arguments::kToBackslash;
  EffectOf(in.Start(), static_cast<std::size_t>(in.Pos() - in.Start()), &arguments);
  in.SkipWhile([](T c) { return IsBlank(c); });
  if (arguments == Arguments::kWholeLine || (arguments == Arguments::kPipe && in.Ensure(1) && in.Peek() == '|')) {
    ScanToLineEnd(in);
    return;
  }
  for (;;) {
    if (in.AtEnd() || IsLineEnd(in.Peek())) return;
    if (in.Peek() == '\\') {
      // A `\\` after the arguments belongs to the command; a single backslash starts the next one.
      if (in.PeekAt(1) == '\\') in.Advance(2);
      return;
    }
    const unsigned quote = static_cast<Unit<T>>(in.Peek());
    in.Advance();
    if (quote != '\'' && quote != '"' && quote != '`') continue;
    // A quoted argument, within the line; '...' takes backslash escapes.
    while (!in.AtEnd() && !IsLineEnd(in.Peek())) {
      const unsigned c = static_cast<Unit<T>>(in.Peek());
      in.Advance();
      if (c == quote) break;
      if (c == '\\' && quote == '\'' && !in.AtEnd() && !IsLineEnd(in.Peek())) in.Advance();
    }
  }
}

template <class T>
Lexeme<T> PsqlRules<T>::Lex(NativeInput<T>& in, const State& state) {
  in.Mark();
  if (in.AtEnd()) return Cut(in, SQLTOKEN_TYPE::NONE, LexKind::kPlain);
  const unsigned c = static_cast<Unit<T>>(in.Peek());
  static const WordClass<T> words{CharClasses<T>::Table(), true};
  in.Advance();
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
    case '(':
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kOpenParen);
    case ')':
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCloseParen);
    case '-':
      if (in.PeekAt(0) == '-') {
        ScanToLineEnd(in);
        return Cut(in, SQLTOKEN_TYPE::LINECOMMENT, LexKind::kComment);
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '/':
      if (in.PeekAt(0) == '*') {
        in.Advance();
        Lexeme<T> comment;
        const bool closed = ScanBlockComment(in, true);
        comment = Cut(in, SQLTOKEN_TYPE::MULTILINECOMMENT, LexKind::kComment);
        comment.unterminated = !closed;
        return comment;
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '\'': {
      const bool closed = ScanQuoted(in, '\'', !state.standard_strings);
      Lexeme<T> string = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      string.unterminated = !closed;
      return string;
    }
    case '"': {
      const bool closed = ScanQuoted(in, '"', false);
      Lexeme<T> name = Cut(in, SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      name.unterminated = !closed;
      return name;
    }
    case '\\':
      ScanCommand(in);
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCommand);
    case '$': {
      // $1 is a parameter; $$ and $tag$ open a body that the same tag closes.
      if (IsDigit(in.PeekAt(0))) {
        in.SkipWhile([](T x) { return IsDigit(x); });
        return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
      }
      std::size_t tag = 0;  // characters between the two dollar signs
      if (in.Ensure(1) && words.Starts(in.Peek())) {
        while (in.Ensure(tag + 1) && StartsWord(words.table, in.Pos()[tag])) ++tag;
        while (in.Ensure(tag + 1) && ContinuesWord(words.table, in.Pos()[tag])) ++tag;
      }
      if (!in.Ensure(tag + 1) || in.Pos()[tag] != '$')
        return Cut(in, SQLTOKEN_TYPE::DollarSign, LexKind::kPlain);
      in.Advance(tag + 1);
      const std::size_t delimiter = tag + 2;  // $tag$
      for (;;) {
        in.SkipTo(static_cast<T>('$'));
        if (in.AtEnd()) {
          Lexeme<T> body = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
          body.unterminated = true;
          return body;
        }
        // The opening tag is the body's first characters.
        if (in.Ensure(delimiter)) {
          const T* opening = in.Start();
          bool same = true;
          for (std::size_t i = 0; i < delimiter && same; ++i) same = in.Pos()[i] == opening[i];
          if (same) {
            in.Advance(delimiter);
            return Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
          }
        }
        in.Advance();
      }
    }
    default:
      break;
  }
  if (IsDigit(static_cast<T>(c))) {
    in.SkipWhile([](T x) { return IsDigit(x); });
    return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
  }
  if (words.Starts(static_cast<T>(c))) {
    // E'...' holds backslash escapes; U&'...' and U&"..." are quoted as usual.
    if ((c == 'E' || c == 'e') && in.PeekAt(0) == '\'') {
      in.Advance();
      const bool closed = ScanQuoted(in, '\'', true);
      Lexeme<T> string = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      string.unterminated = !closed;
      return string;
    }
    // B'...' and X'...' hold no escapes, whatever standard_conforming_strings says.
    if ((c == 'B' || c == 'b' || c == 'X' || c == 'x') && in.PeekAt(0) == '\'') {
      in.Advance();
      const bool closed = ScanQuoted(in, '\'', false);
      Lexeme<T> string = Cut(in, SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      string.unterminated = !closed;
      return string;
    }
    if ((c == 'U' || c == 'u') && in.PeekAt(0) == '&' && (in.PeekAt(1) == '\'' || in.PeekAt(1) == '"')) {
      const unsigned quote = static_cast<Unit<T>>(in.PeekAt(1));
      in.Advance(2);
      const bool closed = ScanQuoted(in, quote, false);
      Lexeme<T> string = Cut(in, quote == '"' ? SQLTOKEN_TYPE::DQ_STRING : SQLTOKEN_TYPE::SQ_STRING, LexKind::kQuoted);
      string.unterminated = !closed;
      return string;
    }
    ScanWord(in, words);
    return Cut(in, SQLTOKEN_TYPE::SYMBOL, LexKind::kWord);
  }
  return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
}

template <class T>
void PsqlRules<T>::TrackSetting(const Lexeme<T>& lexeme, State& state) {
  // SET [SESSION] standard_conforming_strings {TO | =} value, RESET
  // standard_conforming_strings, RESET ALL.
  if (lexeme.Is(LexKind::kBlank) || lexeme.Is(LexKind::kLineEnd) || lexeme.Is(LexKind::kComment)) return;
  const T* value = lexeme.text;
  std::size_t n = lexeme.length;
  if (lexeme.Is(LexKind::kQuoted) && n >= 2 && value[0] == '\'') {
    ++value;
    n -= 2;
  }
  const auto is = [value, n](const char* word) {
    std::size_t i = 0;
    while (i < n && word[i] != 0 && LowerAscii(value[i]) == static_cast<unsigned char>(word[i])) ++i;
    return i == n && word[i] == 0;
  };
  switch (state.setting) {
    case 0:
      state.setting = lexeme.IsWord("set") ? 1 : lexeme.IsWord("reset") ? 4 : 6;
      break;
    case 1:
      if (!lexeme.IsWord("session")) state.setting = lexeme.IsWord("standard_conforming_strings") ? 2 : 6;
      break;
    case 2:
      state.setting = lexeme.IsWord("to") || is("=") ? 3 : 6;
      break;
    case 3:
      state.setting = 5;
      if (is("on") || is("true") || is("yes") || is("1") || is("default")) state.setting_value = true;
      else if (is("off") || is("false") || is("no") || is("0")) state.setting_value = false;
      else state.setting = 6;
      break;
    case 4:
      state.setting = lexeme.IsWord("standard_conforming_strings") || lexeme.IsWord("all") ? 5 : 6;
      state.setting_value = true;
      break;
    default:
      break;
  }
}

template <class T>
void PsqlRules<T>::Track(const Lexeme<T>& lexeme, State& state) {
  TrackSetting(lexeme, state);
  switch (lexeme.kind) {
    case LexKind::kOpenParen:
      ++state.paren_depth;
      break;
    case LexKind::kCloseParen:
      if (state.paren_depth > 0) --state.paren_depth;
      break;
    case LexKind::kWord: {
      // CREATE [OR REPLACE] FUNCTION | PROCEDURE: from here, BEGIN ... END
      // (and CASE ... END inside it) keeps the `;` in the statement.
      if (lexeme.IsWord("create") || lexeme.IsWord("function") || lexeme.IsWord("procedure") ||
          lexeme.IsWord("or") || lexeme.IsWord("replace")) {
        if (state.word_count < 4) state.first_words[state.word_count] = static_cast<char>(LowerAscii(lexeme.text[0]));
      } else if (state.word_count < 4) {
        state.first_words[state.word_count] = 0;
      }
      ++state.word_count;
      if (state.InRoutine() && state.paren_depth == 0) {
        if (lexeme.IsWord("begin")) ++state.begin_depth;
        else if (lexeme.IsWord("case") && state.begin_depth >= 1) ++state.begin_depth;
        else if (lexeme.IsWord("end") && state.begin_depth > 0) --state.begin_depth;
      }
      // COPY ... FROM STDIN: its rows follow the statement.
      if (state.copy == 0) state.copy = lexeme.IsWord("copy") ? 1 : 4;
      else if (state.copy == 1 && state.paren_depth == 0 && lexeme.IsWord("from")) state.copy = 2;
      else if (state.copy == 2) state.copy = lexeme.IsWord("stdin") ? 3 : 1;
      return;
    }
    default:
      break;
  }
  if (lexeme.type->IsCompare()) {
    if (state.copy == 0) state.copy = 4;
    else if (state.copy == 2) state.copy = 1;
  }
}

// The lexemes taken in runs (plain_runs.h): all that Track and Next let be,
// with what Track notes of them (the parentheses, the first four words, and
// that a statement is neither a SET, a RESET nor a COPY). Lex reads SET,
// RESET and COPY at a statement's start and what follows them, FROM and
// STDIN after COPY, BEGIN, CASE and END in a routine, and the prefixes of
// E'...', B'...', X'...' and U&'...'.
template <class T>
struct PsqlRules<T>::Runs : PlainPolicy<T> {
  explicit Runs(State& s) noexcept
      : state(s), routine(s.InRoutine()), at_start(s.setting == 0 || s.copy == 0) {}
  static const PlainClasses<T>& Classes() {
    static const PlainClasses<T> table(PlainClass::kDigits,
                                       {{';', PlainClass::kStop}, {'$', PlainClass::kStop}, {'\\', PlainClass::kStop},
                                        {'(', PlainClass::kOpen}, {')', PlainClass::kClose}, {'-', PlainClass::kDash},
                                        {'/', PlainClass::kSlash}, {'\'', PlainClass::kQuote}, {'"', PlainClass::kQuote}});
    return table;
  }
  bool CompareInert() const noexcept { return (state.setting == 0 || state.setting >= 5) && state.copy != 2; }
  bool Word(const T* p, const T* e) noexcept {
    const unsigned first = LowerAscii(*p);
    if (e - p == 1 && ((*e == '\'' && (first == 'e' || first == 'b' || first == 'x')) || (*e == '&' && first == 'u')))
      return false;
    if (state.word_count < 4 || at_start) return FirstWord(p, e);
    if (Followed(p, e, routine)) return false;
    ++state.word_count;
    return true;
  }
  // A word that Track follows where it stands.
  bool Followed(const T* p, const T* e, bool in_routine) const noexcept {
    const auto is = [p, e](const char* word) { return SpellsWord(p, e, word); };
    return state.paren_depth == 0 &&
           ((state.copy == 1 && is("from")) || (in_routine && (is("begin") || is("case") || is("end"))));
  }
  // One of the statement's first words, which say whether it creates a
  // routine, or is a SET, RESET or COPY.
  KXCOM_NOINLINE bool FirstWord(const T* p, const T* e) noexcept {
    const auto is = [p, e](const char* word) { return SpellsWord(p, e, word); };
    if ((state.setting == 0 && (is("set") || is("reset"))) || (state.copy == 0 && is("copy"))) return false;
    char words[4] = {state.first_words[0], state.first_words[1], state.first_words[2], state.first_words[3]};
    if (state.word_count < 4)
      words[state.word_count] = is("create") || is("function") || is("procedure") || is("or") || is("replace")
                                    ? static_cast<char>(LowerAscii(*p))
                                    : 0;
    const bool in_routine = State::IsRoutine(words);
    if (Followed(p, e, in_routine)) return false;
    for (unsigned i = 0; i < 4; ++i) state.first_words[i] = words[i];
    routine = in_routine;
    ++state.word_count;
    return true;
  }
  void Paren(bool open) noexcept {
    if (open) ++state.paren_depth;
    else if (state.paren_depth > 0) --state.paren_depth;
  }
  // Any compare token ends a statement's chance to be a SET, RESET or COPY.
  void Compare() noexcept {
    if (!at_start) return;
    if (state.setting == 0) state.setting = 6;
    if (state.copy == 0) state.copy = 4;
    at_start = false;
  }
  bool Escapes(unsigned quote) const noexcept { return quote == '\'' && !state.standard_strings; }
  void LineEnd(bool lf) noexcept {
    if (lf) state.standard_strings = state.standard_strings_next;
  }

  State& state;
  bool routine;
  // SET, RESET or COPY may still start the statement.
  bool at_start;
};

template <class T>
bool PsqlRules<T>::IsCopyEnd(NativeInput<T>& in) {
  // A line holding just `\.` (a CR before its LF allowed), or the last line.
  if (!in.Ensure(2) || in.Pos()[0] != '\\' || in.Pos()[1] != '.') return false;
  return !in.Ensure(3) || IsLineEnd(in.Pos()[2]);
}

template <class T>
long PsqlRules<T>::ReadCopyRows(SplitContext<T>& ctx, State& state, bool first) {
  NativeInput<T>& in = ctx.in;
  CKXStringT<T>& data = StatementAccess<T>::Data(ctx.stmt);
  if (first) {
    // The rest of the COPY line waits until the rows are read; blanks alone
    // are dropped.
    in.Mark();
    in.SkipWhile([](T c) { return static_cast<Unit<T>>(c) != kLF; });
    state.after_copy.Assign(in.Start(), static_cast<std::size_t>(in.Pos() - in.Start()));
    if (!in.AtEnd()) in.Advance();  // the line feed
    bool blank = true;
    for (std::size_t i = 0; i < state.after_copy.GetLength() && blank; ++i)
      blank = IsBlank(state.after_copy[i]) || IsLineEnd(state.after_copy[i]);
    if (blank) state.after_copy.Empty();
    else state.after_copy.Append(static_cast<T>(kLF));
  }
  for (;;) {
    if (in.AtEnd()) break;
    if (IsCopyEnd(in)) {
      in.Advance(2);
      if (in.Ensure(1) && static_cast<Unit<T>>(in.Peek()) == kCR) in.Advance();
      if (in.Ensure(1) && static_cast<Unit<T>>(in.Peek()) == kLF) in.Advance();
      break;
    }
    if (data.GetLength() >= kCopyPiece) {
      state.copy_rows_follow = true;
      return KXSQL_PRODUCED;
    }
    // One row, with its line end.
    for (;;) {
      in.Mark();
      in.SkipTo(static_cast<T>(kLF));
      const bool line_end = in.Pos() < in.End();
      if (line_end) in.Advance();
      data.Append(in.Start(), static_cast<std::size_t>(in.Pos() - in.Start()));
      if (line_end || in.AtEnd()) break;
    }
  }
  if (in.Failed()) return KXSQL_FAILED;
  state.copy_rows_follow = false;
  // The rows were lines of their own: a setting sent before them holds after them.
  if (state.after_copy.IsEmpty()) state.standard_strings = state.standard_strings_next;
  in.Mark();
  if (!state.after_copy.IsEmpty()) {
    in.Unread(state.after_copy.GetString(), state.after_copy.GetLength());
    state.after_copy.Empty();
  }
  ctx.at_line_start = true;
  return KXSQL_PRODUCED;
}

template <class T>
bool PsqlRules<T>::CopiesFromStdin(const Lexeme<T>& command) {
  // `\copy table [(columns)] from stdin ...`: FROM then STDIN outside
  // parentheses and quotes.
  unsigned depth = 0;
  bool after_from = false;
  for (std::size_t i = 5; i < command.length;) {
    const unsigned c = static_cast<Unit<T>>(command.text[i]);
    if (c == '\'' || c == '"') {
      for (++i; i < command.length && static_cast<Unit<T>>(command.text[i]) != c;) ++i;
      ++i;
      after_from = false;
      continue;
    }
    if (c == '(' || c == ')') {
      depth = c == '(' ? depth + 1 : depth - (depth > 0);
      after_from = false;
      ++i;
      continue;
    }
    if (!ContinuesWord(CharClasses<T>::Table(), command.text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < command.length && ContinuesWord(CharClasses<T>::Table(), command.text[end])) ++end;
    Lexeme<T> word = command;
    word.kind = LexKind::kWord;
    word.text = command.text + i;
    word.length = end - i;
    if (after_from && word.IsWord("stdin")) return true;
    after_from = depth == 0 && word.IsWord("from");
    i = end;
  }
  return false;
}

template <class T>
long PsqlRules<T>::ReadRowsOf(SplitContext<T>& ctx, State& state) {
  StatementAccess<T>::FlushBuilder(ctx.stmt);
  state.copy_text = StatementAccess<T>::Text(ctx.stmt);
  state.copy_text.TrimLeft(CharSet<T>::WHITESPACE);
  return ReadCopyRows(ctx, state, true);
}

template <class T>
long PsqlRules<T>::Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted) {
  if (state.copy_rows_follow) {
    // The next piece of a long COPY: the same statement, more rows.
    ctx.Append(state.copy_text.GetString(), state.copy_text.GetLength(), SQLTOKEN_TYPE::OTHER);
    ctx.SetKind(KXSQL_STMT_DATA);
    return ReadCopyRows(ctx, state, false);
  }
  if (has_interrupted) {
    // The statement that a psql command interrupted goes on.
    ctx.stmt = interrupted;
    has_interrupted = false;
  }
  for (;;) {
    if (ctx.runs) ScanPlainRuns(ctx, Runs(state));
    const Lexeme<T> lexeme = Lex(ctx.in, state);
    if (lexeme.length == 0) {
      if (state.begin_depth > 0) ctx.EndsInsideBlock();
      return ctx.in.Failed() ? KXSQL_FAILED : KXSQL_END;
    }
    ctx.at_line_start = lexeme.Is(LexKind::kLineEnd);
    if (lexeme.Is(LexKind::kLineEnd) && lexeme.text[0] == kLF) state.standard_strings = state.standard_strings_next;
    const bool sends = lexeme.Is(LexKind::kSemicolon) && state.paren_depth == 0 && state.begin_depth == 0;
    const Effect effect = lexeme.Is(LexKind::kCommand) ? EffectOf(lexeme.text, lexeme.length) : Effect::kRun;
    if (sends || (effect == Effect::kSend && lexeme.Is(LexKind::kCommand) && !ctx.Empty())) {
      const bool copy_in = state.copy == 3;
      state.EndStatement();
      return copy_in ? ReadRowsOf(ctx, state) : KXSQL_PRODUCED;
    }
    if (!lexeme.Is(LexKind::kCommand)) {
      Track(lexeme, state);
      ctx.Append(lexeme);
      continue;
    }
    if (effect == Effect::kChar) {
      // After `\;` the statement may go on with a COPY.
      ctx.Append(lexeme.text + 1, 1, SQLTOKEN_TYPE::OTHER);
      if (lexeme.text[1] == ';') state.copy = 0;
      continue;
    }
    if (effect == Effect::kReset) {
      ctx.stmt.Clear();
      state.setting = 0;
      state.EndStatement();
    } else if (!ctx.Empty()) {
      // Run now, the statement goes on afterwards.
      interrupted = ctx.stmt;
      has_interrupted = true;
      ctx.stmt.Clear();
    }
    ctx.Append(lexeme);
    ctx.SetKind(KXSQL_STMT_CLIENT);
    return effect == Effect::kCopy && CopiesFromStdin(lexeme) ? ReadRowsOf(ctx, state) : KXSQL_PRODUCED;
  }
}

}  // namespace kxsql::detail

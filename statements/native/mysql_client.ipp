// MySQL and MariaDB as the mysql client cuts them.
//
//  - A statement ends at the delimiter, `;` until a DELIMITER command names
//    another string (`$$`, `//`, `;;`). The delimiter counts wherever it
//    stands outside quotes and comments, even inside a word (`END$$`).
//    Everything up to it goes as one query, several statements included.
//  - Strings '...' and "..." where a backslash escapes the next character
//    and a doubled quote stands for one; names in backquotes. Comments: `#`
//    to the line end; `--` to the line end when a blank or control character
//    follows it, or where a statement starts; /* */, optimizer hints /*+ */
//    among them (MariaDB's client drops those too). The executable comments
//    /*! ... */ and /*M! ... */ are SQL: they stay in the text, and a
//    delimiter inside one still ends the statement.
//  - The client reads quotes as the server's sql_mode says: under
//    NO_BACKSLASH_ESCAPES a backslash is a character in any string, under
//    ANSI_QUOTES (and the modes that include it: ANSI, DB2, MAXDB, MSSQL,
//    ORACLE, POSTGRESQL) in "..." strings. We follow `SET [SESSION]
//    sql_mode = '...' | DEFAULT | @var` and the user variables that save
//    it (`SET @saved = @@sql_mode`), as dumps write them, from the end of
//    the SET on; a mode set any other way is not seen.
//  - Client commands: a line that starts a statement with one of the
//    client's command words (DELIMITER, SOURCE, USE, ...), a statement
//    whose text is such a command (`use db;`), and a backslash command
//    anywhere outside quotes (`\. file`, `\d //`, `\u db`). `\g` and `\G`
//    send the statement; other backslash commands run at once, the
//    statement going on afterwards; `\c` drops what was typed so far.
//  - At the end of the script what is left is a statement.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "statements/native/plain_runs.h"

namespace kxsql::detail {

template <class T>
struct MysqlRules {
  // The sql_mode flags that change how the client reads quotes.
  enum : unsigned char { kNoBackslashEscapes = 1, kAnsiQuotes = 2 };

  // The session's sql_mode as far as quotes go, followed through the SET
  // statements of the script.
  struct SqlMode {
    unsigned char flags = 0;
    // User variables that hold a saved sql_mode, by their lower-case name.
    std::vector<std::pair<std::string, unsigned char>> saved;
    // The SET being read: 0 its start, 1 a target, 2 after it, 3 a value,
    // 4 a value's @ name, 5 after a value, 6 an assignment we skip, 7 not a
    // SET we follow.
    unsigned char stage = 0;
    unsigned char ats = 0;  // the @ signs before the name being read
    std::string target;     // "" for sql_mode, else the user variable
    std::vector<std::pair<std::string, int>> assigned;  // -1: a value we cannot know

    void Read(const Lexeme<T>& lexeme);
    // The SET has run: what it assigned takes effect.
    void Executed();
  };

  struct State {
    State() { delimiter.Append(static_cast<T>(';')); }
    CKXStringT<T> delimiter;
    // Nothing but blanks and comments in the statement so far.
    bool empty = true;
    // Inside /*! ... */: its `*/` is SQL too.
    bool in_executable_comment = false;
    SqlMode mode;
  };

  static Lexeme<T> Lex(NativeInput<T>& in, const State& state);
  static long Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted);

  // The client's command named by `word`, or null; `with_arguments` says
  // whether it takes any.
  struct Command {
    const char* name;
    char letter;  // its backslash form
    bool takes_arguments;
  };
  static const Command* FindCommand(const T* word, std::size_t n);
  static const Command* FindLetter(unsigned letter);

 private:
  struct Runs;
  static bool AtDelimiter(NativeInput<T>& in, const State& state);
  static bool LineIsCommand(NativeInput<T>& in, const State& state, const Command*& command);
  static void ChangeDelimiter(State& state, const T* text, std::size_t n);
};

template <class T>
const typename MysqlRules<T>::Command* MysqlRules<T>::FindLetter(unsigned letter) {
  static const Command kCommands[] = {
      {"?", '?', true},         {"clear", 'c', false},   {"connect", 'r', true}, {"delimiter", 'd', true},
      {"edit", 'e', false},     {"ego", 'G', false},     {"exit", 'q', false},   {"go", 'g', false},
      {"help", 'h', true},      {"nopager", 'n', false}, {"notee", 't', false},  {"nowarning", 'w', false},
      {"pager", 'P', true},     {"print", 'p', false},   {"prompt", 'R', true},  {"quit", 'q', false},
      {"rehash", '#', false},   {"source", '.', true},   {"status", 's', false},  {"system", '!', true},
      {"tee", 'T', true},       {"use", 'u', true},      {"warnings", 'W', false}, {"charset", 'C', true},
      {"sandbox", '-', false},  {nullptr, 0, false},
  };
  if (letter == 0) return kCommands;
  for (const Command* c = kCommands; c->name != nullptr; ++c)
    if (static_cast<unsigned char>(c->letter) == letter) return c;
  return nullptr;
}

template <class T>
const typename MysqlRules<T>::Command* MysqlRules<T>::FindCommand(const T* word, std::size_t n) {
  for (const Command* c = FindLetter(0); c->name != nullptr; ++c) {
    std::size_t i = 0;
    while (i < n && c->name[i] != 0 && LowerAscii(word[i]) == static_cast<unsigned char>(c->name[i])) ++i;
    if (i == n && c->name[i] == 0) return c;
  }
  return nullptr;
}

template <class T>
void MysqlRules<T>::SqlMode::Read(const Lexeme<T>& lexeme) {
  if (stage == 7 || lexeme.Is(LexKind::kBlank) || lexeme.Is(LexKind::kLineEnd) || lexeme.Is(LexKind::kComment)) return;
  // The /*!NNNNN and */ around a dump's SET.
  const T* text = lexeme.text;
  if (lexeme.length >= 2 && ((text[0] == '/' && text[1] == '*') || (text[0] == '*' && text[1] == '/'))) return;
  std::string word;  // the lexeme in lower case, ASCII only
  for (std::size_t i = 0; i < lexeme.length && i < 1024; ++i)
    word += static_cast<char>(LowerAscii(text[i]) < 128 ? LowerAscii(text[i]) : '?');
  const bool scope = word == "session" || word == "local" || word == ".";
  const auto assign = [this](int value) {
    assigned.emplace_back(target, value);
    stage = 5;
  };
  switch (stage) {
    case 0:
      stage = lexeme.IsWord("set") ? 1 : 7;
      ats = 0;
      break;
    case 1:
      // The target: [SESSION | LOCAL] sql_mode, @@[SESSION. | LOCAL.]sql_mode, or @name.
      if (word == "@") {
        ++ats;
      } else if (scope) {
        // SESSION, LOCAL and @@session. name the session's variable, as a bare name does.
      } else if (ats == 1 && (lexeme.Is(LexKind::kWord) || lexeme.Is(LexKind::kQuoted))) {
        target = word;
        stage = 2;
      } else if (word == "sql_mode") {
        target.clear();
        stage = 2;
      } else {
        // GLOBAL, another variable; SET STATEMENT ... FOR lasts one statement.
        stage = word == "statement" ? 7 : 6;
      }
      break;
    case 2:
      if (word == "=") stage = 3;
      else if (word != ":") stage = 7;
      break;
    case 3:
      ats = 0;
      if (word == "@") {
        ats = 1;
        stage = 4;
      } else if (word == "default") {
        assign(0);
      } else if (lexeme.Is(LexKind::kQuoted) && word[0] != '`') {
        // A list of modes, by name.
        int flags = 0;
        std::size_t from = 1;
        for (std::size_t i = 1; i < word.size(); ++i) {
          if (word[i] != ',' && i + 1 < word.size()) continue;
          std::string mode = word.substr(from, i - from);
          while (!mode.empty() && mode.back() == ' ') mode.pop_back();
          while (!mode.empty() && mode.front() == ' ') mode.erase(0, 1);
          if (mode == "no_backslash_escapes") flags |= kNoBackslashEscapes;
          if (mode == "ansi_quotes" || mode == "ansi" || mode == "db2" || mode == "maxdb" || mode == "mssql" ||
              mode == "oracle" || mode == "postgresql")
            flags |= kAnsiQuotes;
          from = i + 1;
        }
        assign(flags);
      } else {
        assign(-1);
      }
      break;
    case 4:
      // @name, or @@[SESSION. | LOCAL.]sql_mode.
      if (word == "@") {
        ats = 2;
      } else if (ats == 2 && scope) {
        // @@session.sql_mode is the session's, as @@sql_mode is.
      } else if (ats == 2) {
        assign(word == "sql_mode" ? flags : -1);
      } else {
        int value = -1;
        for (const auto& variable : saved)
          if (variable.first == word) value = variable.second;
        assign(value);
      }
      break;
    default:
      // After a value or an assignment we skip, a comma starts the next
      // assignment; after a value, anything else makes it an expression,
      // whose value cannot be known.
      if (word == ",") {
        stage = 1;
        ats = 0;
      } else if (stage == 5) {
        if (!assigned.empty()) assigned.back().second = -1;
        stage = 7;
      }
      break;
  }
}

template <class T>
void MysqlRules<T>::SqlMode::Executed() {
  for (const auto& [name, value] : assigned) {
    if (name.empty()) {
      if (value >= 0) flags = static_cast<unsigned char>(value);
      continue;
    }
    auto it = saved.begin();
    while (it != saved.end() && it->first != name) ++it;
    if (value < 0) {
      if (it != saved.end()) saved.erase(it);
    } else if (it != saved.end()) {
      it->second = static_cast<unsigned char>(value);
    } else if (saved.size() < 64) {
      saved.emplace_back(name, static_cast<unsigned char>(value));
    }
  }
  assigned.clear();
  stage = ats = 0;
}

template <class T>
bool MysqlRules<T>::AtDelimiter(NativeInput<T>& in, const State& state) {
  const std::size_t n = state.delimiter.GetLength();
  if (n == 0 || !in.Ensure(n)) return false;
  const T* p = in.Pos();
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != state.delimiter[i]) return false;
  return true;
}

template <class T>
Lexeme<T> MysqlRules<T>::Lex(NativeInput<T>& in, const State& state) {
  in.Mark();
  if (in.AtEnd()) return Cut(in, SQLTOKEN_TYPE::NONE, LexKind::kPlain);
  static const WordClass<T> words{CharClasses<T>::Table(), true};
  if (AtDelimiter(in, state)) {
    in.Advance(state.delimiter.GetLength());
    return Cut(in, SQLTOKEN_TYPE::SEMI_COLON, LexKind::kTerminator);
  }
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
    case '.':
      return Cut(in, SQLTOKEN_TYPE::DOT, LexKind::kPlain);
    case '#':
      ScanToLineEnd(in);
      return Cut(in, SQLTOKEN_TYPE::LINECOMMENT, LexKind::kComment);
    case '-': {
      // `--` needs a blank or control character after it, but where a
      // statement starts any `--` opens a comment.
      const bool dashes = in.PeekAt(0) == '-';
      const bool ends = !in.Ensure(2) || static_cast<Unit<T>>(in.Pos()[1]) <= ' ';
      if (dashes && (ends || state.empty)) {
        ScanToLineEnd(in);
        return Cut(in, SQLTOKEN_TYPE::LINECOMMENT, LexKind::kComment);
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    }
    case '/':
      if (in.PeekAt(0) == '*') {
        const T third = in.PeekAt(1);
        if (third == '!' || (third == 'M' && in.PeekAt(2) == '!')) {
          // An executable comment opens: `/*!`, `/*M!` and the version number are SQL.
          in.Advance(third == 'M' ? 3 : 2);
          in.SkipWhile([](T x) { return IsDigit(x); });
          return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
        }
        in.Advance();
        const bool closed = ScanBlockComment(in, false);
        quoted = Cut(in, SQLTOKEN_TYPE::MULTILINECOMMENT, LexKind::kComment);
        quoted.unterminated = !closed;
        return quoted;
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '*':
      if (state.in_executable_comment && in.PeekAt(0) == '/') in.Advance();
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    case '\'':
    case '"': {
      const unsigned char mode = state.mode.flags;
      const bool escapes = !(mode & kNoBackslashEscapes) && !(c == '"' && (mode & kAnsiQuotes));
      const bool closed = ScanQuoted(in, c, escapes);
      quoted = Cut(in, c == '\'' ? SQLTOKEN_TYPE::SQ_STRING : SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    case '`': {
      const bool closed = ScanQuoted(in, c, false);
      quoted = Cut(in, SQLTOKEN_TYPE::DQ_STRING, LexKind::kQuoted);
      quoted.unterminated = !closed;
      return quoted;
    }
    case '\\':
      // A backslash and a command letter is a client command, whose
      // arguments the splitter takes; any other pair (`\N` for NULL) is SQL.
      // (A character beyond ASCII is never a command letter, and stays whole.)
      if (!in.AtEnd() && !IsLineEnd(in.Peek()) && static_cast<Unit<T>>(in.Peek()) < 0x80) {
        const unsigned letter = static_cast<Unit<T>>(in.Peek());
        const bool command = letter != 0 && FindLetter(letter) != nullptr;
        in.Advance();
        return Cut(in, SQLTOKEN_TYPE::OTHER, command ? LexKind::kCommand : LexKind::kPlain);
      }
      return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
    default:
      break;
  }
  if (IsDigit(static_cast<T>(c)) || words.Starts(static_cast<T>(c)) || c == '$') {
    // A word ends where the delimiter starts, even inside it (`END$$`).
    const unsigned first = static_cast<Unit<T>>(state.delimiter[0]);
    const bool delimiter_in_words = words.Continues(static_cast<T>(first));
    if (!delimiter_in_words) {
      ScanWord(in, words);
    } else {
      while (in.Ensure(1) && words.Continues(in.Peek())) {
        if (static_cast<Unit<T>>(in.Peek()) == first && AtDelimiter(in, state)) break;
        in.Advance();
      }
    }
    const bool word = !IsDigit(static_cast<T>(c));
    return Cut(in, word ? SQLTOKEN_TYPE::SYMBOL : SQLTOKEN_TYPE::OTHER, word ? LexKind::kWord : LexKind::kPlain);
  }
  return Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
}

// The lexemes taken in runs (plain_runs.h), once the statement is under way
// and its SET (if it is one) is no longer followed: all but the delimiter,
// comments, backslashes and executable comments. Lex tests for the
// delimiter before anything else, and a delimiter that starts with a word
// character may end a word: then nothing is taken in runs.
template <class T>
struct MysqlRules<T>::Runs : PlainPolicy<T> {
  explicit Runs(const State& s) noexcept : state(s) {}
  static const PlainClasses<T>& Classes() {
    static const PlainClasses<T> table(PlainClass::kNumberWord,
                                       {{'$', PlainClass::kWord}, {'#', PlainClass::kStop}, {'-', PlainClass::kStop},
                                        {'/', PlainClass::kSlash}, {'\\', PlainClass::kStop}, {'\'', PlainClass::kQuote},
                                        {'"', PlainClass::kQuote}, {'`', PlainClass::kQuote}});
    return table;
  }
  // The delimiter may not stand inside a word.
  static bool Usable(const State& state) {
    static const WordClass<T> words{CharClasses<T>::Table(), true};
    return !state.delimiter.IsEmpty() && !words.Continues(state.delimiter[0]);
  }
  bool CompareInert() const noexcept { return state.mode.stage == 7; }
  bool TokenStart(const T* p, const T* end) const noexcept {
    return static_cast<std::size_t>(end - p) >= state.delimiter.GetLength() && *p != state.delimiter[0] &&
           !(*p == '*' && state.in_executable_comment);
  }
  bool Escapes(unsigned quote) const noexcept {
    const unsigned char mode = state.mode.flags;
    return quote != '`' && !(mode & kNoBackslashEscapes) && !(quote == '"' && (mode & kAnsiQuotes));
  }
  // A line that starts a statement may be one of the client's commands.
  bool LineStart(const T*, const T*, bool empty) const noexcept { return !empty; }

  const State& state;
};

template <class T>
void MysqlRules<T>::ChangeDelimiter(State& state, const T* text, std::size_t n) {
  // DELIMITER's argument: a quoted string, or the characters up to a blank.
  std::size_t i = 0;
  while (i < n && IsBlank(text[i])) ++i;
  if (i == n) return;  // the client refuses an empty delimiter and keeps the old one
  const unsigned quote = static_cast<Unit<T>>(text[i]);
  std::size_t end = i;
  if (quote == '\'' || quote == '"' || quote == '`') {
    end = ++i;
    while (end < n && static_cast<Unit<T>>(text[end]) != quote) ++end;
  } else {
    while (end < n && !IsBlank(text[end]) && !IsLineEnd(text[end])) ++end;
  }
  for (std::size_t k = i; k < end; ++k)
    if (text[k] == '\\') return;  // nor may it hold a backslash
  if (end > i) state.delimiter.Assign(text + i, end - i);
}

template <class T>
bool MysqlRules<T>::LineIsCommand(NativeInput<T>& in, const State& state, const Command*& command) {
  // The first word of the line names a command, and the line has no
  // delimiter in it (DELIMITER itself aside); arguments only for commands
  // that take them.
  std::size_t i = 0;
  while (in.Ensure(i + 1) && IsBlank(in.Pos()[i])) ++i;
  std::size_t word_end = i;
  while (in.Ensure(word_end + 1) && !IsBlank(in.Pos()[word_end]) && !IsLineEnd(in.Pos()[word_end])) ++word_end;
  command = FindCommand(in.Pos() + i, word_end - i);
  if (command == nullptr) return false;
  std::size_t line_end = word_end;
  while (in.Ensure(line_end + 1) && !IsLineEnd(in.Pos()[line_end])) ++line_end;
  const T* line = in.Pos();
  bool arguments = false;
  for (std::size_t k = word_end; k < line_end && !arguments; ++k) arguments = !IsBlank(line[k]);
  if (arguments && !command->takes_arguments) return false;
  if (command->letter == 'd') return true;
  const std::size_t n = state.delimiter.GetLength();
  for (std::size_t k = i; k + n <= line_end; ++k) {
    std::size_t j = 0;
    while (j < n && line[k + j] == state.delimiter[j]) ++j;
    if (j == n) return false;
  }
  return true;
}

template <class T>
long MysqlRules<T>::Next(SplitContext<T>& ctx, State& state, SQLStmtT<T>& interrupted, bool& has_interrupted) {
  NativeInput<T>& in = ctx.in;
  if (has_interrupted) {
    ctx.stmt = interrupted;
    has_interrupted = false;
  }
  for (;;) {
    state.empty = ctx.Empty();
    const Command* command = nullptr;
    if (ctx.at_line_start && state.empty && LineIsCommand(in, state, command)) {
      // A whole line of the client's own: DELIMITER //, USE db, SOURCE file.
      in.Mark();
      ScanToLineEnd(in);
      const Lexeme<T> line = Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kCommand);
      ctx.Append(line);
      ctx.at_line_start = false;
      ctx.SetKind(KXSQL_STMT_CLIENT);
      if (command->letter == 'd') {
        std::size_t i = 0;
        while (i < line.length && IsBlank(line.text[i])) ++i;
        ChangeDelimiter(state, line.text + i + 9, line.length - i - 9);
      }
      return KXSQL_PRODUCED;
    }
    if (ctx.runs && Runs::Usable(state) && ScanPlainRuns(ctx, Runs(state))) {
      if (ctx.at_line_start) continue;
      state.empty = ctx.Empty();
    }
    const Lexeme<T> lexeme = Lex(in, state);
    if (lexeme.length == 0) return in.Failed() ? KXSQL_FAILED : KXSQL_END;
    ctx.at_line_start = lexeme.Is(LexKind::kLineEnd);
    if (lexeme.Is(LexKind::kTerminator)) {
      // The query is everything before the delimiter, unless it names a command.
      state.in_executable_comment = false;
      state.mode.Executed();
      StatementAccess<T>::FlushBuilder(ctx.stmt);
      const CKXStringT<T>& text = StatementAccess<T>::Text(ctx.stmt);
      std::size_t i = 0;
      while (i < text.GetLength() && (IsBlank(text[i]) || IsLineEnd(text[i]))) ++i;
      std::size_t end = i;
      while (end < text.GetLength() && !IsBlank(text[end]) && !IsLineEnd(text[end])) ++end;
      const Command* named = state.empty ? nullptr : FindCommand(text.GetString() + i, end - i);
      if (named != nullptr) {
        std::size_t rest = end;
        while (rest < text.GetLength() && (IsBlank(text[rest]) || IsLineEnd(text[rest]))) ++rest;
        if (rest == text.GetLength() || named->takes_arguments) {
          ctx.SetKind(KXSQL_STMT_CLIENT);
          if (named->letter == 'd') ChangeDelimiter(state, text.GetString() + end, text.GetLength() - end);
        }
      }
      return KXSQL_PRODUCED;
    }
    if (lexeme.type == &SQLTOKEN_TYPE::OTHER && lexeme.length >= 3 && lexeme.text[0] == '/' && lexeme.text[1] == '*')
      state.in_executable_comment = true;
    if (lexeme.type == &SQLTOKEN_TYPE::OTHER && lexeme.length == 2 && lexeme.text[0] == '*' && lexeme.text[1] == '/')
      state.in_executable_comment = false;
    if (lexeme.Is(LexKind::kCommand)) {
      const unsigned letter = static_cast<Unit<T>>(lexeme.text[1]);
      if (letter == 'g' || letter == 'G') {
        state.mode.Executed();
        return KXSQL_PRODUCED;  // sends the statement
      }
      if (letter == 'c') {
        // The statement so far is dropped, as the client drops it.
        state.mode.assigned.clear();
        state.mode.Executed();
        ctx.stmt.Clear();
        ctx.Append(lexeme);
        ctx.SetKind(KXSQL_STMT_CLIENT);
        return KXSQL_PRODUCED;
      }
      if (!ctx.Empty()) {
        // Run at once; the statement goes on with the next call.
        interrupted = ctx.stmt;
        has_interrupted = true;
        ctx.stmt.Clear();
      }
      ctx.Append(lexeme);
      ctx.SetKind(KXSQL_STMT_CLIENT);
      const Command* backslash = FindLetter(letter);
      in.Mark();
      if (backslash != nullptr && backslash->takes_arguments) {
        // The arguments run to the delimiter (taken too) or the line end; in
        // an executable comment, to its `*/`.
        for (;;) {
          if (in.AtEnd() || IsLineEnd(in.Peek())) break;
          if (state.in_executable_comment && in.Peek() == '*' && in.PeekAt(1) == '/') break;
          if (AtDelimiter(in, state)) {
            in.Advance(state.delimiter.GetLength());
            break;
          }
          in.Advance();
        }
      }
      const Lexeme<T> arguments = Cut(in, SQLTOKEN_TYPE::OTHER, LexKind::kPlain);
      if (arguments.length > 0) ctx.Append(arguments);
      if (letter == 'd') ChangeDelimiter(state, arguments.text, arguments.length);
      return KXSQL_PRODUCED;
    }
    state.mode.Read(lexeme);
    ctx.Append(lexeme);
  }
}

}  // namespace kxsql::detail

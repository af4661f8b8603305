#include "runner/client_commands.h"

#include <cctype>
#include <cstring>

namespace kxsql::detail {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string TrimmedEnd(std::string text) {
  while (!text.empty() && (IsSpace(text.back()) || text.back() == ';')) text.pop_back();
  return text;
}

// The words of an argument line. Quoted arguments ('...', "...") are taken
// whole; in psql's single quotes '' is a quote and \n, \t, \\ are escapes.
std::vector<std::string> Arguments(const std::string& line, bool psql_escapes) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    while (i < line.size() && !IsSpace(line[i])) {
      const char c = line[i];
      if (c != '\'' && c != '"') {
        arg += c;
        ++i;
        continue;
      }
      for (++i; i < line.size(); ++i) {
        if (line[i] == c) {
          if (i + 1 < line.size() && line[i + 1] == c) {
            arg += c;
            ++i;
            continue;
          }
          ++i;
          break;
        }
        if (psql_escapes && c == '\'' && line[i] == '\\' && i + 1 < line.size()) {
          const char e = line[++i];
          arg += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
          continue;
        }
        arg += line[i];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string Joined(const std::vector<std::string>& args, std::size_t from, const char* separator) {
  std::string text;
  for (std::size_t i = from; i < args.size(); ++i) {
    if (i > from) text += separator;
    text += args[i];
  }
  return text;
}

ClientCommand Make(ClientAction action, const std::string& name, std::vector<std::string> args = {}) {
  ClientCommand command;
  command.action = action;
  command.name = name;
  command.args = std::move(args);
  return command;
}

bool InList(const std::string& word, std::initializer_list<const char*> words) {
  for (const char* w : words)
    if (word == w) return true;
  return false;
}

// psql: `\name arguments`.
ClientCommand Psql(const std::string& text) {
  std::size_t end = 1;
  if (end < text.size() && !std::isalnum(static_cast<unsigned char>(text[end])) && text[end] != '_') {
    ++end;  // \! \? \. \;
  } else {
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
  }
  const std::string name = text.substr(0, end);
  const std::string verb = name.substr(1);
  const std::string rest = text.substr(end);
  std::vector<std::string> args = Arguments(rest, true);
  if (verb == "i" || verb == "include") return Make(ClientAction::kInclude, name, args);
  if (verb == "ir" || verb == "include_relative") return Make(ClientAction::kIncludeRelative, name, args);
  if (verb == "c" || verb == "connect") return Make(ClientAction::kConnect, name, args);
  if (verb == "set") {
    if (args.empty()) return Make(ClientAction::kSkip, name);
    const std::string value = Joined(args, 1, "");
    ClientCommand command = Make(ClientAction::kSetVariable, name, {args[0], value});
    bool on = false;
    if (args[0] == "ON_ERROR_STOP" && PsqlBoolean(value.empty() ? "on" : value, on)) {
      command.action = ClientAction::kStopOnError;
      command.flag = on;
    }
    return command;
  }
  if (verb == "unset") {
    if (!args.empty() && args[0] == "ON_ERROR_STOP") return Make(ClientAction::kStopOnError, name);
    return Make(ClientAction::kUnsetVariable, name, args);
  }
  if (verb == "echo" || verb == "qecho" || verb == "warn") {
    ClientCommand command = Make(ClientAction::kEcho, name, args);
    const bool no_newline = !args.empty() && args[0] == "-n";
    command.text = Joined(args, no_newline ? 1 : 0, " ");
    return command;
  }
  if (verb == "q" || verb == "quit") return Make(ClientAction::kQuit, name);
  // pg_dump's guard against backslash commands in a dump: nothing to do.
  if (verb == "restrict" || verb == "unrestrict") return Make(ClientAction::kIgnore, name);
  if (InList(verb, {"a", "C", "f", "H", "pset", "t", "T", "x", "timing", "o", "out", "encoding", "conninfo", "l",
                    "list", "p", "print", "r", "reset", "s", "w", "write", "z", "prompt", "errverbose", "g", "h",
                    "help", "?", "copyright", "echo_hidden", "sf", "sv", "ef", "ev", "e", "edit", "getenv", "setenv",
                    "cd", "password", "lo_list", "crosstabview", "gx"}) ||
      verb[0] == 'd')
    return Make(ClientAction::kSkip, name);
  // \copy ... from stdin is loaded by the runner; from a file it is not.
  if (InList(verb, {"copy", "if", "elif", "else", "endif", "gexec", "gset", "gdesc", "!", "watch", "bind",
                    "lo_import", "lo_export", "lo_unlink", "startpipeline", "endpipeline"}))
    return Make(ClientAction::kRefuse, name);
  return Make(ClientAction::kInvalid, name);
}

// The sqlite3 shell: `.name arguments`, and `# comment` lines.
ClientCommand SqliteShell(const std::string& text) {
  if (!text.empty() && text[0] == '#') return Make(ClientAction::kIgnore, "#");
  std::vector<std::string> words = Arguments(text.substr(1), false);
  const std::string name = words.empty() ? "." : "." + words[0];
  const std::string verb = words.empty() ? "" : words[0];
  std::vector<std::string> args(words.size() > 1 ? words.begin() + 1 : words.end(), words.end());
  if (verb == "read") return Make(ClientAction::kInclude, name, args);
  if (verb == "print") {
    ClientCommand command = Make(ClientAction::kEcho, name, args);
    command.text = Joined(args, 0, " ");
    return command;
  }
  if (verb == "bail") {
    ClientCommand command = Make(ClientAction::kStopOnError, name, args);
    command.flag = !args.empty() && (Lower(args[0]) == "on" || args[0] == "1" || Lower(args[0]) == "yes");
    return command;
  }
  if (verb == "quit" || verb == "exit") return Make(ClientAction::kQuit, name);
  if (verb == "open") return Make(ClientAction::kOpenDatabase, name, args);
  if (InList(verb, {"mode", "headers", "header", "width", "timer", "echo", "nullvalue", "separator", "output",
                    "once", "changes", "eqp", "explain", "prompt", "show", "stats", "databases", "tables", "schema",
                    "indexes", "indices", "help", "dump", "fullschema", "lint", "timeout", "scanstats", "trace",
                    "vfsinfo", "vfslist", "vfsname", "dbinfo", "excel", "log", "limit", "print", "binary",
                    "testcase", "check", "selftest", "sha3sum", "iotrace", "auth", "parameter", "filectrl",
                    "connection", "dbconfig", "imposter", "progress", "recover", "restore", "save", "backup"}))
    return Make(ClientAction::kSkip, name);
  if (InList(verb, {"import", "load", "shell", "system", "cd", "archive", "ar", "clone", "session", "expert"}))
    return Make(ClientAction::kRefuse, name);
  return Make(ClientAction::kInvalid, name);
}

// The mysql client: `name arguments` or `\x arguments`.
ClientCommand Mysql(const std::string& text) {
  static const struct {
    char letter;
    const char* name;
  } kLetters[] = {{'?', "?"},       {'c', "clear"},   {'r', "connect"},   {'d', "delimiter"}, {'e', "edit"},
                  {'G', "ego"},     {'q', "quit"},    {'g', "go"},        {'h', "help"},      {'n', "nopager"},
                  {'t', "notee"},   {'w', "nowarning"}, {'P', "pager"},   {'p', "print"},     {'R', "prompt"},
                  {'#', "rehash"},  {'.', "source"},  {'s', "status"},    {'!', "system"},    {'T', "tee"},
                  {'u', "use"},     {'W', "warnings"}, {'C', "charset"},  {'-', "sandbox"}};
  std::string verb;
  std::string rest;
  std::string name;
  if (text.size() >= 2 && text[0] == '\\') {
    for (const auto& entry : kLetters)
      if (entry.letter == text[1]) verb = entry.name;
    name = text.substr(0, 2);
    rest = text.substr(2);
  } else {
    std::size_t end = 0;
    while (end < text.size() && !IsSpace(text[end])) ++end;
    name = text.substr(0, end);
    verb = Lower(name);
    rest = text.substr(end);
  }
  std::vector<std::string> args = Arguments(TrimmedEnd(rest), false);
  if (verb == "use") {
    ClientCommand command = Make(ClientAction::kRunSql, name, args);
    if (args.empty()) return Make(ClientAction::kInvalid, name);
    command.text = "USE `" + args[0] + "`";
    return command;
  }
  if (verb == "source") return Make(ClientAction::kInclude, name, args);
  if (verb == "quit" || verb == "exit") return Make(ClientAction::kQuit, name);
  // The splitter has done what these ask of the text; the sandbox guards
  // the client's own commands, of which kxsql runs none that reach out.
  if (InList(verb, {"delimiter", "clear", "go", "ego", "sandbox"})) return Make(ClientAction::kIgnore, name);
  if (verb == "connect") {
    if (args.size() == 1) {
      ClientCommand command = Make(ClientAction::kRunSql, name, args);
      command.text = "USE `" + args[0] + "`";
      return command;
    }
    return Make(ClientAction::kRefuse, name);
  }
  if (InList(verb, {"?", "help", "nopager", "notee", "nowarning", "pager", "print", "prompt", "rehash", "status",
                    "tee", "warnings", "charset", "edit"}))
    return Make(ClientAction::kSkip, name);
  if (verb == "system") return Make(ClientAction::kRefuse, name);
  return Make(ClientAction::kInvalid, name);
}

// The longest prefix of `word` that is an abbreviation of `command`, whose
// shortest form is its first `shortest` letters (SQL*Plus: COL for COLUMN).
bool Abbreviates(const std::string& word, const char* command, std::size_t shortest) {
  const std::size_t n = std::strlen(command);
  if (word.size() < shortest || word.size() > n) return false;
  return std::strncmp(word.c_str(), command, word.size()) == 0;
}

// SQL*Plus: the first word names the command, in any case, often shortened.
ClientCommand SqlPlus(const std::string& text) {
  if (text.rfind("@@", 0) == 0) return Make(ClientAction::kIncludeRelative, "@@", Arguments(text.substr(2), false));
  if (text.rfind("@", 0) == 0) return Make(ClientAction::kInclude, "@", Arguments(text.substr(1), false));
  std::size_t end = 0;
  while (end < text.size() && !IsSpace(text[end])) ++end;
  const std::string name = text.substr(0, end);
  const std::string word = Lower(name);
  std::string rest = text.substr(end);
  std::size_t skip = 0;
  while (skip < rest.size() && IsSpace(rest[skip])) ++skip;
  rest = rest.substr(skip);
  std::vector<std::string> args = Arguments(rest, false);
  if (Abbreviates(word, "start", 3)) return Make(ClientAction::kInclude, name, args);
  if (Abbreviates(word, "prompt", 3)) {
    ClientCommand command = Make(ClientAction::kEcho, name, args);
    command.text = rest;
    return command;
  }
  if (Abbreviates(word, "remark", 3)) return Make(ClientAction::kIgnore, name);
  if (Abbreviates(word, "define", 3)) {
    // DEFINE NAME = value, DEFINE NAME value; alone it lists the variables.
    const std::size_t equals = rest.find('=');
    if (args.empty()) return Make(ClientAction::kSkip, name);
    std::string variable = equals == std::string::npos ? args[0] : rest.substr(0, equals);
    while (!variable.empty() && IsSpace(variable.back())) variable.pop_back();
    std::string value = equals == std::string::npos ? Joined(args, 1, " ") : rest.substr(equals + 1);
    std::vector<std::string> unquoted = Arguments(value, false);
    if (equals != std::string::npos) value = unquoted.size() == 1 ? unquoted[0] : TrimmedEnd(value);
    std::size_t lead = 0;
    while (lead < value.size() && IsSpace(value[lead])) ++lead;
    return Make(ClientAction::kSetVariable, name, {variable, value.substr(lead)});
  }
  if (Abbreviates(word, "undefine", 5)) return Make(ClientAction::kUnsetVariable, name, args);
  if (word == "set" && !args.empty()) {
    const std::string setting = Lower(args[0]);
    if (Abbreviates(setting, "define", 3)) {
      ClientCommand command = Make(ClientAction::kSubstitution, name, args);
      command.flag = args.size() < 2 || Lower(args[1]) != "off";
      if (args.size() >= 2 && args[1].size() == 1 && Lower(args[1]) != "on") command.text = args[1];
      return command;
    }
    return Make(ClientAction::kSkip, name + " " + args[0]);
  }
  if (word == "whenever") {
    if (args.size() >= 2 && Lower(args[0]) == "sqlerror") {
      ClientCommand command = Make(ClientAction::kStopOnError, name, args);
      command.flag = Lower(args[1]) == "exit";
      return command;
    }
    return Make(ClientAction::kIgnore, name);
  }
  if (word == "exit" || word == "quit") return Make(ClientAction::kQuit, name);
  if (Abbreviates(word, "execute", 4)) {
    // EXECUTE runs one PL/SQL call: SQL*Plus wraps it in a block.
    ClientCommand command = Make(ClientAction::kRunSql, name);
    std::string call = TrimmedEnd(rest);
    command.text = "BEGIN " + call + "; END;";
    return command;
  }
  if (Abbreviates(word, "connect", 4) || Abbreviates(word, "disconnect", 4) || Abbreviates(word, "host", 2) ||
      word == "!" || word == "$" || Abbreviates(word, "password", 5) || word == "shutdown" || word == "startup" ||
      word == "recover" || word == "copy")
    return Make(ClientAction::kRefuse, name);
  static const struct {
    const char* command;
    std::size_t shortest;
  } kDisplay[] = {{"column", 3}, {"spool", 3}, {"show", 3}, {"ttitle", 3}, {"btitle", 3}, {"break", 3},
                  {"compute", 4}, {"clear", 2}, {"timing", 4}, {"pause", 3}, {"accept", 3}, {"variable", 3},
                  {"print", 3}, {"describe", 4}, {"repfooter", 4}, {"repheader", 4}, {"attribute", 4},
                  {"archive", 7}, {"xquery", 6}, {"help", 4}, {"list", 1}, {"input", 1}, {"append", 1},
                  {"change", 1}, {"del", 3}, {"edit", 2}, {"get", 3}, {"save", 3}, {"store", 3}, {"run", 1}};
  for (const auto& entry : kDisplay)
    if (Abbreviates(word, entry.command, entry.shortest)) return Make(ClientAction::kSkip, name);
  return Make(ClientAction::kInvalid, name);
}

// sqlcmd: `:name arguments`, `!!`, and EXIT, QUIT, RESET and ED alone.
ClientCommand Sqlcmd(const std::string& text) {
  if (text.rfind("!!", 0) == 0) return Make(ClientAction::kRefuse, "!!");
  std::size_t end = 0;
  while (end < text.size() && !IsSpace(text[end]) && text[end] != '(') ++end;
  const std::string name = text.substr(0, end);
  std::string verb = Lower(name);
  if (!verb.empty() && verb[0] == ':') verb = verb.substr(1);
  std::vector<std::string> args = Arguments(text.substr(end), false);
  if (verb == "r") return Make(ClientAction::kInclude, name, args);
  if (verb == "setvar") {
    if (args.empty()) return Make(ClientAction::kInvalid, name);
    if (args.size() == 1) return Make(ClientAction::kUnsetVariable, name, args);
    return Make(ClientAction::kSetVariable, name, {args[0], Joined(args, 1, " ")});
  }
  if (verb == "on" && args.size() >= 2 && Lower(args[0]) == "error") {
    ClientCommand command = Make(ClientAction::kStopOnError, name, args);
    command.flag = Lower(args[1]) == "exit";
    return command;
  }
  if (verb == "quit" || verb == "exit") return Make(ClientAction::kQuit, name);
  if (verb == "reset") return Make(ClientAction::kIgnore, name);
  if (verb == "connect") return Make(ClientAction::kRefuse, name);
  if (InList(verb, {"out", "error", "perftrace", "xml", "listvar", "serverlist", "help", "ed", "list"}))
    return Make(ClientAction::kSkip, name);
  return Make(ClientAction::kInvalid, name);
}

// The DB2 command line processor: its commands written as statements.
ClientCommand Db2Clp(const std::string& text) {
  if (text.rfind("--#", 0) == 0) return Make(ClientAction::kIgnore, "--#SET");
  std::vector<std::string> args = Arguments(TrimmedEnd(text), false);
  const std::string word = args.empty() ? "" : Lower(args[0]);
  if (word == "connect" && args.size() >= 3 && Lower(args[1]) == "to") {
    if (args.size() > 3) return Make(ClientAction::kRefuse, args[0]);
    return Make(ClientAction::kConnect, args[0], {args[2]});
  }
  if (word == "connect" && args.size() == 2 && Lower(args[1]) == "reset") return Make(ClientAction::kIgnore, args[0]);
  if (word == "terminate" || word == "quit") return Make(ClientAction::kQuit, args[0]);
  if (word == "echo") {
    ClientCommand command = Make(ClientAction::kEcho, args[0]);
    command.text = Joined(args, 1, " ");
    return command;
  }
  return Make(ClientAction::kInvalid, args.empty() ? text : args[0]);
}

}  // namespace

std::string ClientCommand::Message() const {
  switch (action) {
    case ClientAction::kSkip:
      return name + " skipped: a display setting of the client";
    case ClientAction::kRefuse:
      return name + " is not supported by kxsql";
    case ClientAction::kInvalid:
      return "invalid command " + name;
    default:
      return std::string();
  }
}

bool PsqlBoolean(const std::string& value, bool& result) {
  const std::string v = Lower(value);
  if (v.empty()) return false;
  const auto prefix_of = [&v](const char* word) { return std::strncmp(word, v.c_str(), v.size()) == 0; };
  if (v == "1" || prefix_of("true") || prefix_of("yes") || (v.size() >= 2 && prefix_of("on"))) {
    result = true;
    return true;
  }
  if (v == "0" || prefix_of("false") || prefix_of("no") || (v.size() >= 2 && prefix_of("off"))) {
    result = false;
    return true;
  }
  return false;
}

ClientCommand ParseClientCommand(Client client, const std::string& text) {
  switch (client) {
    case Client::kPsql:
      return Psql(text);
    case Client::kSqliteShell:
      return SqliteShell(text);
    case Client::kMysql:
      return Mysql(text);
    case Client::kSqlPlus:
      return SqlPlus(text);
    case Client::kSqlcmd:
      return Sqlcmd(text);
    case Client::kDb2Clp:
      return Db2Clp(text);
    default:
      return Make(ClientAction::kInvalid, text);
  }
}

}  // namespace kxsql::detail

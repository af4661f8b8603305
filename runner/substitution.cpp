#include "runner/substitution.h"

#include <cctype>
#include <cstring>

#include "kxsql/text_source.h"

namespace kxsql::detail {
namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80) != 0; }

// psql's quoting of a value as a literal, as PQescapeLiteral writes it.
std::string QuotedLiteral(const std::string& value) {
  std::string quoted = "'";
  bool backslash = false;
  for (char c : value) {
    if (c == '\'') quoted += '\'';
    if (c == '\\') {
      quoted += '\\';
      backslash = true;
    }
    quoted += c;
  }
  quoted += '\'';
  return backslash ? " E" + quoted : quoted;
}

std::string QuotedName(const std::string& value) {
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// psql: the native lexer tells what is quoted; a `:` right before a word,
// or before a quoted word, names a variable (`::` is a cast).
bool Psql(const ScriptSession& session, const char* text, std::string& out) {
  out.clear();
  CKXSQLTextT<char> source(text);
  if (!source.IsSet()) return true;
  source.SetSplitRules(KXSQL_RULES_NATIVE, DBMSTYPE::POSTGRES);
  SQLToken<char> token;
  bool after_colon = false, colon_before = false;
  std::string pending;  // a `:` waiting for what follows it
  while (source.GetToken(token, 0) == 0) {
    const std::string piece(token.GetText(), token.GetLength());
    if (after_colon) {
      after_colon = false;
      const std::string* value = nullptr;
      if (token.Is(SQLTOKEN_TYPE::SYMBOL)) {
        value = session.FindVariable(piece);
        if (value != nullptr) {
          out += *value;
          continue;
        }
      } else if (piece.size() >= 2 && (piece[0] == '\'' || piece[0] == '"') && piece.back() == piece[0]) {
        const std::string name = piece.substr(1, piece.size() - 2);
        value = session.FindVariable(name);
        if (value != nullptr) {
          out += piece[0] == '\'' ? QuotedLiteral(*value) : QuotedName(*value);
          continue;
        }
      }
      out += pending;
    }
    if (piece == ":" && !colon_before) {
      after_colon = true;
      pending = piece;
      colon_before = true;
      continue;
    }
    colon_before = piece == ":";
    out += piece;
  }
  if (after_colon) out += pending;
  return true;
}

bool Sqlcmd(const ScriptSession& session, const std::string& text, std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '(') {
      const std::size_t close = text.find(')', i + 2);
      if (close != std::string::npos) {
        const std::string name = text.substr(i + 2, close - i - 2);
        const std::string* value = session.FindVariable(VariableKey(Client::kSqlcmd, name));
        if (value == nullptr) {
          error = "'" + name + "' scripting variable not defined.";
          return false;
        }
        out += *value;
        i = close;
        continue;
      }
    }
    out += text[i];
  }
  return true;
}

bool SqlPlus(const ScriptSession& session, const std::string& text, std::string& out, std::string& error) {
  out.clear();
  const char prefix = session.substitution_prefix;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != prefix) {
      out += text[i];
      continue;
    }
    std::size_t start = i + 1;
    if (start < text.size() && text[start] == prefix) ++start;  // &&NAME
    std::size_t end = start;
    while (end < text.size() && (IsNameChar(text[end]) || text[end] == '$' || text[end] == '#')) ++end;
    if (end == start) {
      out += text[i];
      continue;
    }
    const std::string name = text.substr(start, end - start);
    const std::string* value = session.FindVariable(VariableKey(Client::kSqlPlus, name));
    if (value == nullptr) {
      error = "substitution variable " + name + " is not defined (SQL*Plus would prompt for it)";
      return false;
    }
    out += *value;
    // A period right after the name ends it and is not kept.
    i = end < text.size() && text[end] == '.' ? end : end - 1;
  }
  return true;
}

}  // namespace

std::string VariableKey(Client client, const std::string& name) {
  if (client == Client::kPsql) return name;
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

Substitution SubstituteVariables(Client client, const ScriptSession& session, const char* text, std::string& out,
                                 std::string& error) {
  bool ok = true;
  switch (client) {
    case Client::kPsql:
      // Undefined variables stay as written: without any, nothing changes.
      if (!session.HasVariables() || std::strchr(text, ':') == nullptr) return Substitution::kUnchanged;
      ok = Psql(session, text, out);
      break;
    case Client::kSqlcmd:
      if (std::strstr(text, "$(") == nullptr) return Substitution::kUnchanged;
      ok = Sqlcmd(session, text, out, error);
      break;
    case Client::kSqlPlus:
      if (!session.substitution || std::strchr(text, session.substitution_prefix) == nullptr)
        return Substitution::kUnchanged;
      ok = SqlPlus(session, text, out, error);
      break;
    default:
      return Substitution::kUnchanged;
  }
  return ok ? Substitution::kChanged : Substitution::kUndefined;
}

}  // namespace kxsql::detail

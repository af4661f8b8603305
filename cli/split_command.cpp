// `kxsql split`: the statements of a script as the splitter returns them.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/script_input.h"

namespace kxsql::cli {
namespace {

std::string Str(const char* text) { return text ? std::string(text) : std::string(); }

const char* KindName(int kind) {
  switch (kind) {
    case KXSQL_STMT_CLIENT: return "client";
    case KXSQL_STMT_DATA: return "data";
    default: return "sql";
  }
}

// A separator written on the command line: a word ends statements as a
// SYMBOL, `;` as a semicolon, `/` as a slash terminator, `$` as a dollar sign.
bool MakeSeparator(const std::string& text, bool own_line, STMTSEP& sep) {
  sep.m_bOwnLine = own_line;
  if (text == ";") { sep.m_pType = &SQLTOKEN_TYPE::SEMI_COLON; return true; }
  if (text == "/") { sep.m_pType = &SQLTOKEN_TYPE::SLASH_TERMINATOR; return true; }
  if (text == "$") { sep.m_pType = &SQLTOKEN_TYPE::DollarSign; return true; }
  CKXSQLTextT<char> reader(text.c_str());
  SQLToken<char> token, extra;
  if (reader.GetToken(token, 0) != 0 || !token.Is(SQLTOKEN_TYPE::SYMBOL) || reader.GetToken(extra, 0) != 1)
    return false;
  sep.m_pszText = text.c_str();
  sep.m_pType = &SQLTOKEN_TYPE::SYMBOL;
  return true;
}

}  // namespace

int RunSplit(const SplitOptions& options) {
  STMTSEP sep;
  const bool has_separator = !options.separator.empty();
  if (has_separator && !MakeSeparator(options.separator, options.own_line, sep)) {
    PrintError("--separator takes a word, `;`, `/` or `$`, not '" + options.separator + "'");
    return kExitUsage;
  }
  ScriptFile file;
  std::string error;
  if (!OpenScript(options.input, file, error)) {
    PrintError(error);
    return kExitFailed;
  }
  CKXTr tr;
  tr.SetDBMSType(*options.dialect);
  if (file.SetSplitRules(options.rules) != 0) {
    PrintError("out of memory");
    return kExitFailed;
  }

  // Read by a pager or `head`, the output may close early: the tool then
  // ends quietly, as other filters do, even if SIGPIPE came ignored.
  std::signal(SIGPIPE, SIG_DFL);
  std::ios::sync_with_stdio(false);
  const std::string name = DisplayName(options.input);
  SQLStmtT<char> stmt;
  unsigned long long index = 0;
  for (;;) {
    file.BeginStatement();
    const long rc = file.GetNextStmt(stmt, &tr, has_separator ? &sep : nullptr);
    if (rc < 0) {
      PrintError(name + ": " + CKXMsg::GetInstance()->GetLastMessage().text);
      return kExitFailed;
    }
    const bool at_end = rc == 1 && file.IsEOF();
    if (at_end) WarnIfLeftOpen(name, stmt, file, tr, has_separator ? &sep : nullptr);
    // The call after the last statement answers 1 with nothing in it.
    if (!(at_end && *stmt.GetText() == 0)) {
      ++index;
      const unsigned long long line = file.StatementLine(stmt);
      if (options.json) {
        const SQLToken<char>& first = stmt.GetFirstToken();
        const SQLToken<char>& last = stmt.GetLastToken();
        nlohmann::json object = {
            {"index", index},
            {"line", line},
            {"text", Str(stmt.GetText())},
            {"parsed", Str(stmt.GetParsedText())},
            {"no_comment", Str(stmt.GetNoCommentText())},
            {"first", std::string(first.GetText(), first.GetLength())},
            {"last", std::string(last.GetText(), last.GetLength())},
            {"side_effect", Str(stmt.GetSideEffect())},
            {"is_select", stmt.IsSelectStmt()},
            {"rc", rc},
            {"kind", KindName(stmt.GetKind())},
        };
        if (*stmt.GetData() != 0 || stmt.GetKind() == KXSQL_STMT_DATA) object["data"] = Str(stmt.GetData());
        std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
      } else if (!stmt.IsEmpty()) {
        std::cout << "-- [" << index << "] line " << line << (stmt.GetKind() == KXSQL_STMT_SQL ? "" : " (")
                  << (stmt.GetKind() == KXSQL_STMT_SQL ? "" : KindName(stmt.GetKind()))
                  << (stmt.GetKind() == KXSQL_STMT_SQL ? "" : ")") << '\n'
                  << stmt.GetText() << "\n" << stmt.GetData() << "\n";
      }
    }
    if (!std::cout) break;
    if (at_end) break;
  }
  std::cout.flush();
  if (!std::cout) {
    PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
    return kExitFailed;
  }
  if (file.NulLine() != 0) {
    std::fprintf(stderr, "%s:%llu: warning: a NUL character: the file is binary or damaged (kxsql run stops there)\n",
                 name.c_str(), file.NulLine());
  }
  return kExitOk;
}

}  // namespace kxsql::cli

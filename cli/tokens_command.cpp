// `kxsql tokens`: one token a line; together they give back the input.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/script_input.h"
#include "cli/text_escape.h"

namespace kxsql::cli {

int RunTokens(const TokensOptions& options) {
  ScriptFile file;
  std::string error;
  if (!OpenScript(options.input, file, error)) {
    PrintError(error);
    return kExitFailed;
  }
  if (file.SetSplitRules(options.rules, *options.dialect) != 0) {
    PrintError("out of memory");
    return kExitFailed;
  }
  // Closed early by `head`, the output ends the tool quietly.
  std::signal(SIGPIPE, SIG_DFL);
  std::ios::sync_with_stdio(false);
  SQLToken<char> token;
  for (;;) {
    const long rc = file.GetToken(token, 0);
    if (rc < 0) {
      PrintError(DisplayName(options.input) + ": " + CKXMsg::GetInstance()->GetLastMessage().text);
      return kExitFailed;
    }
    // A NUL character gives an empty token of type OTHER, also as the last
    // character of the file; it is shown as the character it stands for, so
    // that no byte goes missing.
    if (rc == 1 && file.IsEOF() && token.Is(SQLTOKEN_TYPE::NONE)) break;
    const bool nul = rc == 1;
    const char* type = nul ? SQLTOKEN_TYPE::OTHER.GetName() : token.GetType().GetName();
    const char* text = nul ? "" : token.GetText();
    const std::size_t length = nul ? 1 : token.GetLength();
    if (options.json) {
      nlohmann::json line = {{"type", type}, {"text", std::string(text, length)}};
      std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
      std::cout << type << '\t' << EscapeControls(text, length) << '\n';
    }
    if (!std::cout) break;
  }
  std::cout.flush();
  if (!std::cout) {
    PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace kxsql::cli

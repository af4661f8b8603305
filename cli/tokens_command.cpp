// `kxsql tokens`: one token a line.
#include <cstdio>
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
  std::ios::sync_with_stdio(false);
  SQLToken<char> token;
  for (;;) {
    const long rc = file.GetToken(token, 0);
    if (rc < 0) {
      PrintError(DisplayName(options.input) + ": " + CKXMsg::GetInstance()->GetLastMessage().text);
      return kExitFailed;
    }
    // A NUL character gives an empty token without ending the file.
    if (rc == 1) {
      if (file.IsEOF()) break;
      continue;
    }
    if (options.json) {
      nlohmann::json line = {{"type", token.GetType().GetName()},
                             {"text", std::string(token.GetText(), token.GetLength())}};
      std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
      std::cout << token.GetType().GetName() << '\t' << EscapeControls(token.GetText(), token.GetLength())
                << '\n';
    }
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailed;
}

}  // namespace kxsql::cli

// Client variables in statements under the native rules, each client's way:
//   psql     :NAME, :'NAME' (a quoted literal), :"NAME" (a quoted name),
//            outside quotes and comments; an undefined one stays as written
//   sqlcmd   $(NAME) anywhere, names in any case; undefined is an error
//   SQL*Plus &NAME and &&NAME anywhere (a `.` right after the name joins
//            it to what follows), names in any case, unless SET DEFINE OFF;
//            undefined is an error
#pragma once

#include <string>

#include "kxsql/kxsql_export.h"
#include "runner/script_session.h"
#include "statements/native/client.h"

namespace kxsql::detail {

enum class Substitution : unsigned char {
  kUnchanged,  // no variable in the text: use it as it is
  kChanged,    // `out` holds the text with the variables replaced
  kUndefined,  // a variable the client insists on is not defined: `error` says which
};

// `text` with the client's variables replaced by their values. A text with
// nothing to replace is not copied.
Substitution SubstituteVariables(Client client, const ScriptSession& session, const char* text, std::string& out,
                                 std::string& error);

// The variable name as the client keeps it: sqlcmd's and SQL*Plus's names
// are not case-sensitive, psql's are.
KXSQL_EXPORT std::string VariableKey(Client client, const std::string& name);

}  // namespace kxsql::detail

// What the runner does with the commands of each client under the native
// rules: one table per client, from the command as the client spells it to
// what kxsql does about it.
//
//   done     includes, connecting to another database, variables, echoed
//            messages, stop-on-error switches, quitting, SQL*Plus EXECUTE
//   skipped  display and formatting settings (\pset, .mode, SET LINESIZE,
//            COLUMN, SPOOL, ...), with a notice
//   refused  commands kxsql cannot do here (shell escapes, \copy, psql's
//            \if, other users or hosts): an error
//   invalid  anything else: an error, as the client reports it
#pragma once

#include <string>
#include <vector>

#include "statements/native/client.h"

namespace kxsql::detail {

enum class ClientAction : unsigned char {
  kInclude,          // read another script (args[0]) here
  kIncludeRelative,  // the same, relative to the including script's folder
  kConnect,          // move to another database of the same server (args[0])
  kOpenDatabase,     // sqlite3's .open: another database file (args[0])
  kSetVariable,      // args[0] = args[1]
  kUnsetVariable,    // args[0]
  kEcho,             // text
  kStopOnError,      // flag: the next failure ends the run (or no longer does)
  kSubstitution,     // flag: SQL*Plus substitution on or off
  kQuit,             // the run ends here
  kRunSql,           // text is SQL to run in the command's place
  kIgnore,           // nothing to do, nothing to say (remarks, DELIMITER, \restrict)
  kSkip,             // a display setting: skipped with a notice
  kRefuse,           // known, but not something kxsql does: an error
  kInvalid,          // unknown: an error
};

struct ClientCommand {
  ClientAction action = ClientAction::kInvalid;
  std::string name;               // the command as written, for messages
  std::vector<std::string> args;  // its arguments, unquoted
  std::string text;               // the message, or the SQL to run
  bool flag = false;
  // The error or notice to show, for kRefuse, kInvalid and kSkip.
  std::string Message() const;
};

// The command that the text of a client statement (blanks and comments
// before it already removed) stands for.
ClientCommand ParseClientCommand(Client client, const std::string& text);

// A psql boolean value: on/off, true/false, yes/no, 1/0 (and their prefixes).
bool PsqlBoolean(const std::string& value, bool& result);

}  // namespace kxsql::detail

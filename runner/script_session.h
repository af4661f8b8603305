// What a run keeps under the native rules, from one statement to the next,
// from one script to the next and into the scripts they include: the
// client's variables, whether a failure ends the run, and which file is read
// (includes are found relative to it).
//
// Internal to kxsql (not installed), exported for the kxsql tool:
//
//   kxsql::detail::ScriptSession session;
//   session.SetVariable("schema", "shop");          // kxsql run --var schema=shop
//   session.SetScriptPath("migrate.sql");
//   LoadSQL<char>(file, &tr, statements, errors, limit, &observer, &session);
#pragma once

#include <map>
#include <string>
#include <vector>

#include "kxsql/kxsql_export.h"

namespace kxsql::detail {

class KXSQL_EXPORT ScriptSession {
 public:
  // Includes nest at most this deep: deeper is taken for a cycle.
  static constexpr unsigned kMaxIncludeDepth = 64;

  // A variable as the client's own command sets it (psql `\set`, sqlcmd
  // `:setvar`, SQL*Plus DEFINE), or the tool's `--var NAME=VALUE`.
  void SetVariable(const std::string& name, const std::string& value) { variables_[name] = value; }
  void UnsetVariable(const std::string& name) { variables_.erase(name); }
  // Null when the variable is not defined.
  const std::string* FindVariable(const std::string& name) const;
  bool HasVariables() const noexcept { return !variables_.empty(); }

  // The script being read; an empty path is standard input.
  void SetScriptPath(const std::string& path);
  const std::string& ScriptPath() const;
  // `path` as the client finds it: relative to the including script's folder
  // for `\ir` and `@@`, else to the working folder.
  std::string ResolveInclude(const std::string& path, bool relative_to_script) const;
  // Enters and leaves an included script; false when that would go deeper
  // than kMaxIncludeDepth or read a script that is already being read.
  bool EnterInclude(const std::string& path);
  void LeaveInclude();
  unsigned IncludeDepth() const noexcept { return static_cast<unsigned>(files_.size()) - 1; }

  // psql ON_ERROR_STOP, sqlite3 .bail, sqlcmd `:on error exit`, SQL*Plus
  // WHENEVER SQLERROR EXIT: the next failure ends the run.
  bool stop_on_error = false;
  // \q, .quit, EXIT: the run ends here, successfully.
  bool quit = false;
  // psql's \restrict: until \unrestrict with this key, no other backslash
  // command runs (pg_dump guards its dumps with it).
  std::string restrict_key;
  // SQL*Plus substitution (`SET DEFINE OFF` turns it off) and its prefix.
  bool substitution = true;
  char substitution_prefix = '&';

 private:
  std::map<std::string, std::string> variables_;
  // The script being read and the scripts that include it, outermost first.
  std::vector<std::string> files_{std::string()};
};

}  // namespace kxsql::detail

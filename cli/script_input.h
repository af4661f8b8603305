// Opening a script for the tool: a file, or `-` for standard input.
#pragma once

#include <string>

#include "kxsql.h"

namespace kxsql::cli {

// A file source that also counts lines, so that the tool can say where a
// statement stands. Line 1 is the first line; a line feed starts the next.
class ScriptFile : public CKXSQLFile {
 public:
  // The line of the next character to deliver.
  unsigned long long GetLine() const noexcept { return line_; }

  // Marks the start of a statement: from here, the line feeds of the leading
  // blanks (which the splitter trims away) are counted apart.
  void BeginStatement() noexcept;
  // The line where the first compare token of `stmt` stands, `stmt` being
  // the statement read since BeginStatement.
  unsigned long long StatementLine(const SQLStmtT<char>& stmt) const;

 protected:
  char GetChar(bool& eof) override;
  void UngetChar() override;

 private:
  unsigned long long line_ = 1;
  char last_ = 0;
  bool last_delivered_ = false;
  unsigned long long statement_start_line_ = 1;
  unsigned long long leading_line_feeds_ = 0;
  bool in_leading_blanks_ = false;
};

// Opens `path` ("-" spools standard input to an unlinked temporary file, so
// that any amount streams through in bounded memory). On failure returns
// false and sets `error` to one line for the user.
bool OpenScript(const std::string& path, ScriptFile& file, std::string& error);

// The name to show for `path`.
std::string DisplayName(const std::string& path);

}  // namespace kxsql::cli

// Opening a script for the tool: a file, or `-` for standard input.
#pragma once

#include <string>

#include "kxsql.h"

namespace kxsql::cli {

// A file source that also counts lines, so that the tool can say where a
// statement stands. Line 1 is the first line; a line feed starts the next.
//
// It keeps the library's read window: the tokenizer takes characters from the
// decoded chunk itself, and the lines are counted by scanning the chunk up to
// the tokenizer's position when they are asked for, and the rest of a chunk
// just before the next one replaces it. Scanning by position counts each
// character once, however often the tokenizer steps back.
class ScriptFile : public CKXSQLFile {
 public:
  ScriptFile() noexcept;

  // Marks the start of a statement: from here, the line feeds of the leading
  // blanks (which the splitter trims away) are counted apart.
  void BeginStatement() noexcept;
  // The line where the first compare token of `stmt` stands, `stmt` being
  // the statement read since BeginStatement.
  unsigned long long StatementLine(const SQLStmtT<char>& stmt);

 protected:
  // Called only when the chunk is used up: the rest of it is counted before
  // the next chunk replaces it.
  char GetChar(bool& eof) override;

 private:
  void CountUpTo(const char* end) noexcept;

  const char* counted_to_ = nullptr;  // within the current chunk
  unsigned long long line_ = 1;
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

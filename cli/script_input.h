// Opening a script for the tool: a file, or `-` for standard input.
#pragma once

#include <string>

#include "cli/line_counter.h"
#include "kxsql.h"

namespace kxsql::cli {

// A file source that also counts lines (LineCounter), so that the tool can
// say where a statement stands.
//
// It keeps the library's read window: the tokenizer takes characters from the
// decoded chunk itself, and the lines are counted by scanning the chunk up to
// the tokenizer's position when they are asked for, and the rest of a chunk
// just before the next one replaces it.
//
// A NUL character is no SQL: a script that holds one is binary or damaged.
// Each new chunk is searched for one. With `stop_at_nul` the input ends in
// failure where it stands, so that a reader of statements fails
// (GetNextStmt answers -1) before the statement that holds it, and nothing
// from there on is run; otherwise it is read as it is.
class ScriptFile : public CKXSQLFile {
 public:
  explicit ScriptFile(bool stop_at_nul = false) noexcept;

  // As LineCounter has them, for the statement read since BeginStatement.
  void BeginStatement() noexcept;
  unsigned long long StatementLine(const SQLStmtT<char>& stmt);
  unsigned long long TextLine() noexcept;
  // The line of the first NUL character met so far; 0 when there is none.
  unsigned long long NulLine() const noexcept { return nul_line_; }

  // Not at its end while a NUL stops the input: the next read fails there.
  bool IsEOF() const override;

 protected:
  // Called only when the chunk is used up: the rest of it is counted before
  // the next chunk replaces it, and the new one is searched for a NUL.
  char GetChar(bool& eof) override;

 private:
  void CountUpTo(const char* end) noexcept;
  // Notes the first NUL of the new chunk, if any; with stop_at_nul_ the
  // window then ends before it.
  void FindNul() noexcept;

  const char* counted_to_ = nullptr;  // within the current chunk
  LineCounter lines_;
  bool stop_at_nul_;
  bool stopped_at_nul_ = false;
  unsigned long long nul_line_ = 0;
};

// Opens `path`. Standard input ("-"), and a path that cannot be read by
// position (a named pipe, /dev/stdin, a process substitution, a terminal),
// are spooled to an unlinked temporary file first, so that any amount
// streams through in bounded memory. On failure returns false and sets
// `error` to one line for the user.
bool OpenScript(const std::string& path, ScriptFile& file, std::string& error);

// The name to show for `path`.
std::string DisplayName(const std::string& path);

}  // namespace kxsql::cli

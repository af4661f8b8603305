// Where a statement stands: the lines of a script counted as the tokenizer
// takes its characters.
#pragma once

#include "kxsql.h"

namespace kxsql::cli {

// Counts the lines of the characters that a source has delivered. Line 1 is
// the first line; a line feed, a carriage return and the pair CR LF each end
// a line. A source counts by position: each character once, however often
// the tokenizer steps back.
class LineCounter {
 public:
  // Counts the characters from `from` to `end`, the next ones of the script.
  void Count(const char* from, const char* end) noexcept;
  // The line that the character at `at` stands on, `from` being where
  // counting stopped; nothing is counted.
  unsigned long long LineAt(const char* from, const char* at) const noexcept;

  // Marks the start of a statement, everything before it counted: from here,
  // the line ends of the leading blanks (which the splitter trims away) are
  // counted apart.
  void BeginStatement() noexcept;
  // The line where the text of the statement read since BeginStatement
  // begins (its first token, comment or not), everything read counted.
  unsigned long long TextLine() const noexcept { return statement_start_line_ + leading_line_ends_; }
  // The line where the first compare token of `stmt` stands, `stmt` being
  // the statement read since BeginStatement, everything read counted; for a
  // statement of comments only, TextLine.
  unsigned long long StatementLine(const SQLStmtT<char>& stmt) const;

 private:
  unsigned long long line_ = 1;
  bool after_cr_ = false;  // the last character counted was a carriage return
  unsigned long long statement_start_line_ = 1;
  unsigned long long leading_line_ends_ = 0;
  bool in_leading_blanks_ = false;
};

}  // namespace kxsql::cli

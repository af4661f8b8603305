// What a script leaves open at its end: a comment, a string, a quoted name,
// a block or a $$ body that never closes. Whatever follows its opening is
// part of it, so the statements there never run on their own; the tool warns
// with the line where it opens.
#pragma once

#include <functional>
#include <string>

#include "kxsql.h"

namespace kxsql::cli {

struct OpenConstruct {
  std::string what;  // "a /* comment", "a '...' string", ...
  unsigned long long line = 0;
};

// Whether a statement text, followed by a line with `;` alone, would be ended
// by that `;`, i.e. leaves no block open.
using ClosesFn = std::function<bool(const std::string& text)>;

// The classic rules' answer for the dialect of `tr`.
ClosesFn ClassicCloses(const CKXTr& tr);

// Looks at `text`, the last statement of a script (read when the input
// ended, GetNextStmt answering 1), whose first character stands on
// `first_line`. True, with `found` set, when it ends inside a construct.
// Blocks are looked for only when `closes` is given (no caller's separator).
bool FindOpenConstruct(const char* text, unsigned long long first_line, const ClosesFn& closes,
                       OpenConstruct& found);

}  // namespace kxsql::cli

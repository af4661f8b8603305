// The native rules' two ways of splitting give the same statements: each
// client taking plain lexemes in runs from the read window, and reading every
// lexeme through its lexer (fuzz/paths_target.h has the input's form and the
// checks).
#include "fuzz/paths_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return kxsql::fuzz::ComparePaths(data, size, KXSQL_RULES_NATIVE);
}

// The classic rules' two ways of splitting give the same statements: cutting
// them from the read window in whole runs, and reading every token through
// GetToken (fuzz/paths_target.h has the input's form and the checks).
#include "fuzz/paths_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return kxsql::fuzz::ComparePaths(data, size, KXSQL_RULES_CLASSIC);
}

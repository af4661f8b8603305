// The native rules, dialect by dialect, over the rows of native_rows.h:
// each row is a script and the statements that dialect's own client sends
// for it (native_support.h's Check runs each over both widths and through
// the file source, across chunk ends).
#include <gtest/gtest.h>

#include "statements/native_rows.h"
#include "statements/native_support.h"

namespace kxsql::testing {
namespace {

TEST(NativeRules, Psql) { Check(DBMSTYPE::POSTGRES, kPsqlRows); }
TEST(NativeRules, SqliteShell) { Check(DBMSTYPE::SQLITE, kSqliteShellRows); }
TEST(NativeRules, MysqlClient) { Check(DBMSTYPE::MYSQL, kMysqlClientRows); }

}  // namespace
}  // namespace kxsql::testing

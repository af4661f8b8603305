// The native rules, dialect by dialect, over the rows of native_rows.h:
// each row is a script and the statements that dialect's own client sends
// for it.
//
// Every row runs over 8-bit and 16-bit text and through the file source,
// with the script moved across a chunk end so that each of its characters
// stands at the end of a chunk once.
#include <gtest/gtest.h>

#include "statements/native_rows.h"
#include "statements/native_support.h"

namespace kxsql::testing {
namespace {

void Check(const DBMSTYPE& dialect, const std::vector<NativeRow>& rows) {
  for (const NativeRow& row : rows) {
    SCOPED_TRACE(row.script);
    EXPECT_EQ(NativeSplit<char>(row.script, dialect), row.statements);
    EXPECT_EQ(NativeSplit<unsigned short>(row.script, dialect), row.statements);
    // A comment of the right length puts each character of the script at
    // the end of the file source's first chunk in turn.
    const std::string script = row.script;
    for (std::size_t at = 0; at <= script.size(); ++at) {
      const std::string pad = "-- " + std::string(4096 - 4 - at, 'x') + "\n";
      ASSERT_EQ(NativeSplitFile(pad + script, dialect), row.statements) << "moved by " << at;
    }
  }
}

TEST(NativeRules, Psql) { Check(DBMSTYPE::POSTGRES, kPsqlRows); }
TEST(NativeRules, SqliteShell) { Check(DBMSTYPE::SQLITE, kSqliteShellRows); }
TEST(NativeRules, MysqlClient) { Check(DBMSTYPE::MYSQL, kMysqlClientRows); }

}  // namespace
}  // namespace kxsql::testing

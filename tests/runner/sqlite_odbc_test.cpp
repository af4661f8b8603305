// The host's ODBC layer and the runner through the SQLite ODBC driver, which
// needs no server: the database is a file in a temporary folder.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/sqlite_query.h"

namespace {

namespace fs = std::filesystem;

// The driver's library, or what KXSQL_SQLITE_ODBC_DRIVER names (a library or a registered driver).
std::string Driver() {
  const char* driver = std::getenv("KXSQL_SQLITE_ODBC_DRIVER");
  return driver && *driver ? driver : KXSQL_SQLITE_ODBC_LIBRARY;
}

// What a run handed over, statement by statement, as "code:sql".
struct Recorder : kxsql::detail::ScriptObserver<char> {
  void OnStatement(const SQLStmtT<char>&, const char* sql, short rc) override {
    sent.push_back(std::to_string(rc) + ":" + sql);
  }
  std::vector<std::string> sent;
};

class SQLiteODBC : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Driver()[0] == '/' && ::access(Driver().c_str(), R_OK) != 0)
      GTEST_SKIP() << "no SQLite ODBC driver at " << Driver() << " (Debian package libsqliteodbc)";
    std::string pattern = (fs::path(::testing::TempDir()) / "kxsql-odbc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
    CKXMsg::GetInstance()->Reset();
    ASSERT_TRUE(tr_.Connect(ConnectionString().c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  }
  void TearDown() override {
    tr_.Disconnect();
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }
  std::string ConnectionString() const { return "Driver=" + Driver() + ";Database=" + (dir_ / "data.db").string(); }
  short Exec(const char* sql) { return tr_.GetDBMSType().ExecuteScriptStmt(stmt_, &tr_, sql); }

  fs::path dir_;
  CKXTr tr_;
  CKXSQLStmt stmt_{0};
};

TEST_F(SQLiteODBC, ExecutionAndTheDialectFromTheDriversName) {
  EXPECT_EQ(tr_.GetDBMSType(), DBMSTYPE::SQLITE);
  EXPECT_STREQ(tr_.GetDBMSName(), "SQLite");
  const struct {
    const char* sql;
    short rc;
    const char* log;  // for a failure, the pattern of the first log line it adds
  } rows[] = {
      {"create table t(n integer primary key, s text)", 0, nullptr},
      {"insert into t values(1, 'a')", 0, nullptr},
      // Rows are read past, so the same handle takes the next statement.
      {"select * from t", 0, nullptr},
      // Touching no row is SQL_NO_DATA: a success, and nothing to log.
      {"update t set s = 'b' where n = 42", 100, nullptr},
      {"delete from t where n = 42", 100, nullptr},
      {"select * from missing_table", -1, "^[0-9A-Z]{5}: .*no such table: missing_table"},
      {"insert into t values(1, 'again')", -1, "^[0-9A-Z]{5}: .*UNIQUE"},
      // The handle is still good after failures.
      {"insert into t values(2, 'Grüße, € 日本')", 0, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    CKXMsg::GetInstance()->Reset();
    EXPECT_EQ(Exec(row.sql), row.rc);
    const std::vector<std::string> log = CKXMsg::GetInstance()->GetLogLines();
    EXPECT_EQ(log.empty(), row.log == nullptr) << (log.empty() ? "" : log.front());
    if (row.log && !log.empty()) {
      EXPECT_TRUE(std::regex_search(log.front(), std::regex(row.log))) << log.front();
    }
  }
  // Disconnecting frees the wrapper's handle; the wrapper then serves a new connection.
  tr_.Disconnect();
  EXPECT_EQ(Exec("select 1"), -1);
  ASSERT_TRUE(tr_.Connect(ConnectionString().c_str()));
  EXPECT_EQ(Exec("insert into t values(3, 'c')"), 0);
  CKXTr engine;
  ASSERT_TRUE(engine.OpenSQLite((dir_ / "data.db").c_str()));
  EXPECT_EQ(kxsql::testing::QueryText(engine, "select group_concat(n || ':' || s, ',') from t"),
            "1:a,2:Grüße, € 日本,3:c");
}

TEST_F(SQLiteODBC, RunnerCountsNoDataAsSuccess) {
  const char script[] =
      "create table t(n integer);\ninsert into t values(1);\nupdate t set n = 2 where n = 99;\n"
      "delete from t where n = 99;\ninsert into missing values(1);\n";
  CKXSQLTextT<char> source(script);
  Recorder recorder;
  unsigned int stmts = 0, errors = 0;
  // With an error limit of one, only the last statement ends the run.
  EXPECT_EQ(kxsql::detail::LoadSQL<char>(source, &tr_, stmts, errors, 1, &recorder), -1);
  EXPECT_EQ(recorder.sent, (std::vector<std::string>{"0:create table t(n integer)", "0:insert into t values(1)",
                                                     "100:update t set n = 2 where n = 99",
                                                     "100:delete from t where n = 99",
                                                     "-1:insert into missing values(1)"}));
  EXPECT_EQ(stmts, 5u);
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines().size(), 1u);
}

}  // namespace

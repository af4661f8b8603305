#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxcom/dbms_type.h"
#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "support/sqlite_query.h"

namespace {

TEST(Connection, FailureRecordsTheReasonAndLetsTheEarlierConnectionGo) {
  const struct {
    bool odbc;
    const char* target;
    const char* text;  // a pattern
  } rows[] = {
      {false, "no-such-folder/deeper/still/x.db", "^unable to open database file$"},
      {true, "Driver={kxsql no such driver};Server=127.0.0.1", "^[0-9A-Z]{5}: .+"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.target);
    CKXTr tr;
    ASSERT_TRUE(tr.OpenSQLite(":memory:"));
    CKXMsg::GetInstance()->Reset();
    EXPECT_FALSE(row.odbc ? tr.Connect(row.target) : tr.OpenSQLite(row.target));
    EXPECT_FALSE(tr.IsConnected());
    const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(m.type, MSGTYPE::ERR);
    EXPECT_EQ(m.source, row.odbc ? "Connect" : "OpenSQLite");
    EXPECT_FALSE(m.caption.empty());
    EXPECT_TRUE(std::regex_search(m.text, std::regex(row.text))) << m.text;
  }
}

TEST(Connection, HeldUntilDisconnectWhileAFileKeepsItsData) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kxcom-tr-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "data.db").string();
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(path.c_str()));
  EXPECT_TRUE(tr.IsConnected());
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::SQLITE);
  CKXSQLStmt stmt(0);
  EXPECT_EQ(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, "create table t(a); insert into t values(7);"), 0);
  // The dialect chosen outlives the connection; the engine's name does not.
  tr.SetDBMSType(DBMSTYPE::ORACLE);
  tr.Disconnect();
  EXPECT_FALSE(tr.IsConnected());
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::ORACLE);
  EXPECT_STREQ(tr.GetDBMSName(), "");
  tr.Disconnect();  // a second time changes nothing
  EXPECT_FALSE(tr.IsConnected());
  ASSERT_TRUE(tr.OpenSQLite(path.c_str()));
  EXPECT_EQ(kxsql::testing::QueryInt(tr, "select a from t"), 7);
  tr.Disconnect();
  std::filesystem::remove_all(dir);
}

TEST(SQLiteExecution, RunsEveryStatementOfTheTextAndStopsAtTheFirstFailure) {
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  CKXSQLStmt stmt(0);
  const struct {
    const char* sql;
    const char* reason;  // the one log line of a failure; null when the text runs
    const char* expected;
    const char* query = "select count(*) from t";  // its answer once the text has run
  } rows[] = {
      {"create table t(a integer)", nullptr, "0"},
      {"insert into t values(1);\n-- between\ninsert into t values(2); /* a */ insert into t values(3)", nullptr, "3"},
      // Rows of a query are read and dropped; what follows still runs.
      {"select * from t; insert into t values(4);", nullptr, "4"},
      {"", nullptr, "4"},
      {"-- only a comment", nullptr, "4"},
      {"/* block */ ; ;", nullptr, "4"},
      // A trigger body runs as one statement.
      {"create table log(n); create trigger t_ins after insert on t begin insert into log values(new.a); "
       "insert into log values(-new.a); end; insert into t values(5);",
       nullptr, "2,0", "select count(*) || ',' || sum(n) from log"},
      {"insert into t values(10); insert into nosuch values(1); insert into t values(11);",
       "SQLite: no such table: nosuch", "6"},
      {"insert into t values(12); insert into t values('x', 'y');",
       "SQLite: table t has 1 columns but 2 values were supplied", "7"},
      {"insret into t values(13);", "SQLite: near \"insret\": syntax error", "7"},
      // A failure while running (not while preparing) is reported as well.
      {"create table u(a unique); insert into u values(1); insert into u values(1);",
       "SQLite: UNIQUE constraint failed: u.a", "7"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    CKXMsg::GetInstance()->Reset();
    EXPECT_EQ(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, row.sql), row.reason ? -1 : 0);
    EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines(),
              row.reason ? std::vector<std::string>{row.reason} : std::vector<std::string>{});
    EXPECT_EQ(kxsql::testing::QueryText(tr, row.query), row.expected);
  }
}

TEST(SQLiteExecution, RefusedWithoutConnectionOrText) {
  CKXTr tr;
  CKXSQLStmt stmt(0);
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, &tr, "select 1"), -1);
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, nullptr, "select 1"), -1);
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, &tr, nullptr), -1);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines().size(), 3u);
}

}  // namespace

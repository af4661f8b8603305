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

using kxsql::testing::QueryInt;

std::vector<std::string> LogSince(std::size_t first) {
  std::vector<std::string> lines = CKXMsg::GetInstance()->GetLogLines();
  if (first >= lines.size()) return {};
  return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
}

TEST(Connection, SQLiteFailureRecordsTheEngineReason) {
  CKXMsg::GetInstance()->Reset();
  CKXTr tr;
  EXPECT_FALSE(tr.OpenSQLite("no-such-folder/deeper/still/x.db"));
  EXPECT_FALSE(tr.IsConnected());
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(m.type, MSGTYPE::ERR);
  EXPECT_EQ(m.text, "unable to open database file");
  EXPECT_EQ(m.source, "OpenSQLite");
  EXPECT_FALSE(m.caption.empty());
}

TEST(Connection, ODBCFailureRecordsSqlStateAndMessage) {
  const char* const cases[] = {
      "Driver={kxsql no such driver};Server=127.0.0.1",
      "DSN=kxsql-no-such-data-source",
  };
  for (const char* connection_string : cases) {
    SCOPED_TRACE(connection_string);
    CKXMsg::GetInstance()->Reset();
    CKXTr tr;
    ASSERT_TRUE(tr.OpenSQLite(":memory:"));
    // The earlier connection is let go even though the new one fails.
    EXPECT_FALSE(tr.Connect(connection_string));
    EXPECT_FALSE(tr.IsConnected());
    const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(m.type, MSGTYPE::ERR);
    EXPECT_EQ(m.source, "Connect");
    EXPECT_TRUE(std::regex_search(m.text, std::regex("^[0-9A-Z]{5}: .+"))) << m.text;
  }
}

TEST(Connection, HeldExactlyUntilDisconnect) {
  CKXTr tr;
  EXPECT_FALSE(tr.IsConnected());
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  EXPECT_TRUE(tr.IsConnected());
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::SQLITE);
  EXPECT_STREQ(tr.GetDBMSName(), "SQLite");
  tr.SetDBMSType(DBMSTYPE::ORACLE);
  tr.Disconnect();
  EXPECT_FALSE(tr.IsConnected());
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::ORACLE);
  EXPECT_STREQ(tr.GetDBMSName(), "");
  tr.Disconnect();  // a second time changes nothing
  EXPECT_FALSE(tr.IsConnected());
}

TEST(Connection, SQLiteFileKeepsItsData) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kxcom-tr-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "data.db").string();
  {
    CKXTr tr;
    ASSERT_TRUE(tr.OpenSQLite(path.c_str()));
    CKXSQLStmt stmt(0);
    EXPECT_EQ(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, "create table t(a); insert into t values(7);"), 0);
  }
  CKXTr again;
  ASSERT_TRUE(again.OpenSQLite(path.c_str()));
  EXPECT_EQ(QueryInt(again, "select a from t"), 7);
  again.Disconnect();
  std::filesystem::remove_all(dir);
}

class SQLiteExecution : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tr_.OpenSQLite(":memory:"));
    ASSERT_EQ(Run("create table t(a integer)"), 0);
  }
  short Run(const char* sql) { return tr_.GetDBMSType().ExecuteScriptStmt(stmt_, &tr_, sql); }

  CKXTr tr_;
  CKXSQLStmt stmt_{0};
};

TEST_F(SQLiteExecution, RunsEveryStatementOfTheText) {
  EXPECT_EQ(Run("insert into t values(1);\n-- between\ninsert into t values(2); /* a */ insert into t values(3)"), 0);
  EXPECT_EQ(QueryInt(tr_, "select count(*) from t"), 3);
  // Rows of a query are read and dropped; what follows still runs.
  EXPECT_EQ(Run("select * from t; insert into t values(4);"), 0);
  EXPECT_EQ(QueryInt(tr_, "select count(*) from t"), 4);
}

TEST_F(SQLiteExecution, TextOfBlanksAndCommentsSucceeds) {
  const char* const cases[] = {"", "   \n\t", "-- only a comment", "/* block */ ; ;", ";"};
  for (const char* sql : cases) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(Run(sql), 0);
  }
}

TEST_F(SQLiteExecution, TriggerBodyRunsAsOneStatement) {
  EXPECT_EQ(Run("create table log(n); "
                "create trigger t_ins after insert on t begin insert into log values(new.a); "
                "insert into log values(-new.a); end; insert into t values(5);"),
            0);
  EXPECT_EQ(QueryInt(tr_, "select count(*) from log"), 2);
  EXPECT_EQ(QueryInt(tr_, "select sum(n) from log"), 0);
}

TEST_F(SQLiteExecution, StopsAtTheFirstFailureAndLogsWhy) {
  struct Case {
    const char* sql;
    const char* reason;
    long long rows_after;  // rows of t once the text has run
  };
  const Case cases[] = {
      {"insert into t values(10); insert into nosuch values(1); insert into t values(11);",
       "SQLite: no such table: nosuch", 1},
      {"insert into t values(12); insert into t values('x', 'y');",
       "SQLite: table t has 1 columns but 2 values were supplied", 2},
      {"insret into t values(13);", "SQLite: near \"insret\": syntax error", 2},
      // A failure while running (not while preparing) is reported as well.
      {"create table u(a unique); insert into u values(1); insert into u values(1);",
       "SQLite: UNIQUE constraint failed: u.a", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
    EXPECT_EQ(Run(c.sql), -1);
    EXPECT_EQ(LogSince(before), std::vector<std::string>{c.reason});
    EXPECT_EQ(QueryInt(tr_, "select count(*) from t"), c.rows_after);
  }
}

TEST(Execution, RefusedWithoutConnection) {
  CKXTr tr;
  CKXSQLStmt stmt(0);
  const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, &tr, "select 1"), -1);
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, nullptr, "select 1"), -1);
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  EXPECT_EQ(DBMSTYPE::GENERIC.ExecuteScriptStmt(stmt, &tr, nullptr), -1);
  EXPECT_EQ(LogSince(before).size(), 3u);
}

}  // namespace

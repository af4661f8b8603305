#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kxcom/dbms_type.h"
#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "host/transaction_impl.h"
#include "support/sqlite_query.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed at the end.
struct TempFolder {
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kxcom-tr-XXXXXX").string();
    path = ::mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempFolder() { fs::remove_all(path); }
  std::string File(const std::string& name) const { return (fs::path(path) / name).string(); }
  std::string path;
};

short Exec(CKXTr& tr, const char* sql) {
  CKXSQLStmt stmt(0);
  return tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, sql);
}

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
  const TempFolder dir;
  const std::string path = dir.File("data.db");
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

// Failures after which no statement can succeed mark the connection
// unusable; an ordinary failure does not, and a new connection starts usable.
TEST(SQLiteExecution, FailuresThatLeaveTheDatabaseUnusable) {
  const TempFolder dir;
  const std::string path = dir.File("faults.db");
  sqlite3* other = nullptr;  // a second connection that takes the lock
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  const struct {
    const char* sql;
    const char* reason;   // the log line; null when the statement runs
    bool unusable;
    bool locked = false;  // the other connection holds a write lock meanwhile
  } rows[] = {
      {"create table t(a unique); insert into t values (1)", nullptr, false},
      {"insert into t values (1)", "SQLite: UNIQUE constraint failed: t.a", false},
      // A lock held past the busy timeout would leave holes: later
      // statements would run once it is gone.
      {"insert into t values (2)", "SQLite: database is locked", true, true},
      // The page limit makes the file full as a full disk does.
      {"pragma max_page_count = 3; insert into t select randomblob(4000) from t",
       "SQLite: database or disk is full", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    CKXTr tr;
    ASSERT_TRUE(tr.OpenSQLite(path.c_str()));
    tr.SetBusyTimeout(20);
    if (row.locked) {
      ASSERT_EQ(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    CKXMsg::GetInstance()->Reset();
    EXPECT_EQ(Exec(tr, row.sql), row.reason ? -1 : 0);
    if (row.locked) sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines(),
              row.reason ? std::vector<std::string>{row.reason} : std::vector<std::string>{});
    EXPECT_EQ(tr.IsUnusable(), row.unusable);
    EXPECT_STREQ(tr.GetUnusableReason(), row.unusable ? row.reason : "");
  }
  sqlite3_close(other);
}

// Cancel stops the statement running on another thread, or the next one to
// start when none runs; the connection stays usable.
TEST(SQLiteExecution, CancelStopsTheRunningOrNextStatement) {
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  CKXMsg::GetInstance()->Reset();
  short rc = 0;
  // Counting to 10^15 would take days: only the cancel ends it.
  std::thread runner([&] {
    rc = Exec(tr, "with recursive n(i) as (select 1 union all select i + 1 from n) "
                  "select count(*) from n where i > 1000000000000000");
  });
  for (;;) {
    std::lock_guard<std::mutex> lock(tr.GetImpl().cancel_mutex);
    if (tr.GetImpl().executing) break;
  }
  tr.Cancel();
  runner.join();
  EXPECT_EQ(rc, -1);
  tr.Cancel();  // nothing runs: the next statement fails at once, the one after runs
  EXPECT_EQ(Exec(tr, "create table t(a)"), -1);
  EXPECT_EQ(Exec(tr, "create table t(a)"), 0);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines(),
            (std::vector<std::string>{"SQLite: interrupted", "Cancelled before it started"}));
  EXPECT_FALSE(tr.IsUnusable());
}

TEST(SQLiteExecution, OneTransactionAroundManyStatements) {
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  ASSERT_EQ(Exec(tr, "create table t(a)"), 0);
  const auto count = [&] { return kxsql::testing::QueryInt(tr, "select count(*) from t"); };
  ASSERT_TRUE(tr.BeginTransaction());
  EXPECT_EQ(Exec(tr, "insert into t values (1); insert into t values (2)"), 0);
  EXPECT_TRUE(tr.RollbackTransaction());
  EXPECT_EQ(count(), 0);
  ASSERT_TRUE(tr.BeginTransaction());
  EXPECT_EQ(Exec(tr, "insert into t values (3)"), 0);
  EXPECT_TRUE(tr.CommitTransaction());
  EXPECT_EQ(count(), 1);
  // A failure that makes the engine roll back by itself leaves nothing to undo.
  ASSERT_TRUE(tr.BeginTransaction());
  EXPECT_EQ(Exec(tr, "insert into t values (4); pragma max_page_count = 2; "
                     "insert into t select randomblob(9000) from t"), -1);
  EXPECT_TRUE(tr.RollbackTransaction());
  EXPECT_EQ(count(), 1);
  EXPECT_FALSE(tr.CommitTransaction());  // none is open
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().source, "CommitTransaction");
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

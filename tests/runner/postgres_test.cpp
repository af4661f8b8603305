// The runner and the host's ODBC layer against a real PostgreSQL server,
// started for this test on a free loopback port and thrown away afterwards.
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/transaction_impl.h"
#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/postgres_server.h"

namespace {

using kxsql::testing::PostgresServer;

void ExpectMatch(const std::string& text, const char* pattern) {
  EXPECT_TRUE(std::regex_search(text, std::regex(pattern))) << text;
}

std::string FirstLogLine() {
  const std::vector<std::string> lines = CKXMsg::GetInstance()->GetLogLines();
  return lines.empty() ? "(no log line)" : lines.front();
}

class Postgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }  // the program's end would stop it too
  void SetUp() override {
    if (server_.Unavailable()) GTEST_SKIP() << server_.Error();
    ASSERT_TRUE(server_.IsRunning()) << "the PostgreSQL server did not start: " << server_.Error();
  }
  // Connects to a fresh database, so that tests do not see each other's tables.
  void Connect(const std::string& database) {
    db_ = database;
    server_.Query("DROP DATABASE IF EXISTS " + db_);
    Query("CREATE DATABASE " + db_ + " ENCODING 'UTF8'", "postgres");
    ASSERT_TRUE(tr_.Connect(server_.ConnectionString(db_).c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  }
  std::string Query(const std::string& sql, const std::string& database = "") {
    bool ok = false;
    const std::string result = server_.Query(sql, &ok, database.empty() ? db_ : database);
    EXPECT_TRUE(ok) << sql << ": " << result;
    return result;
  }
  short Exec(const char* sql) { return tr_.GetDBMSType().ExecuteScriptStmt(stmt_, &tr_, sql); }

  inline static PostgresServer server_;
  std::string db_;
  CKXTr tr_;
  CKXSQLStmt stmt_{0};
};

// Lending library: PL/pgSQL functions in $$ bodies that hold semicolons, IF
// blocks and a FOR loop; a trigger; a few hundred rows; a transaction block,
// which goes to the server as one batch of three statements.
const char kLibrarySchema[] = R"sql(-- Lending library.
CREATE TABLE title (id integer PRIMARY KEY, name text NOT NULL, copies integer NOT NULL CHECK (copies >= 0));
CREATE TABLE loan (id serial PRIMARY KEY, title_id integer NOT NULL REFERENCES title(id),
  returned boolean NOT NULL DEFAULT false);
/* A loan takes a copy; a return gives it back. The type is written "trigger"
   in quotes: a bare TRIGGER outside a $$ body opens a block. */
CREATE FUNCTION loan_changed() RETURNS "trigger" LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'INSERT' THEN
    UPDATE title SET copies = copies - 1 WHERE id = NEW.title_id;
  ELSIF NEW.returned AND NOT OLD.returned THEN
    UPDATE title SET copies = copies + 1 WHERE id = NEW.title_id;
  END IF;
  RETURN NEW;
END;
$$;
CREATE FUNCTION open_loans() RETURNS integer LANGUAGE plpgsql AS $$
DECLARE n integer := 0; r record;
BEGIN
  FOR r IN SELECT * FROM loan WHERE NOT returned LOOP n := n + 1; END LOOP;
  RETURN n;
END;
$$;
-- CREATE TRIGGER has no body of its own; a DO block keeps it in one $$ body.
DO $$
BEGIN
  CREATE TRIGGER loan_changed AFTER INSERT OR UPDATE OF returned ON loan FOR EACH ROW EXECUTE FUNCTION loan_changed();
END
$$;
)sql";

TEST_F(Postgres, ScriptWithFunctionsTriggersAndData) {
  PostgresServer& server = server_;
  constexpr int kTitles = 30, kCopies = 10, kLoans = 240, kReturned = kLoans / 4;
  std::string script = kLibrarySchema;
  for (int t = 1; t <= kTitles; ++t)
    script += "INSERT INTO title VALUES (" + std::to_string(t) + ", 'Titel Nº " + std::to_string(t) + "; vol. 1', " +
              std::to_string(kCopies) + ");\n";
  for (int l = 0; l < kLoans; ++l)
    script += "INSERT INTO loan (title_id) VALUES (" + std::to_string(l % kTitles + 1) + ");\n";
  // The rows of a query are read past, so the statement after it has the handle.
  script += "BEGIN;\nUPDATE loan SET returned = true WHERE id % 4 = 0;\nEND;\nSELECT open_loans();\n"
            "-- refused: copies cannot be negative\nINSERT INTO title VALUES (999, 'Broken', -1);\n";

  CKXTr tr;
  ASSERT_TRUE(tr.Connect(server.ConnectionString().c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::POSTGRES);
  EXPECT_STREQ(tr.GetDBMSName(), "PostgreSQL");
  CKXSQLTextT<char> source;
  unsigned int stmts = 0, errors = 0;
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.ParseSQL(script.c_str(), &tr, stmts, errors, kxsql::detail::kNoErrorLimit), 0);
  EXPECT_EQ(stmts, 5u + kTitles + kLoans + 3);  // 2 tables, 2 functions, the DO block; the rest
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text,
            "-- refused: copies cannot be negative\nINSERT INTO title VALUES (999, 'Broken', -1)");
  // The log has the server's SQLSTATE and reason.
  const std::vector<std::string> log = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(std::regex_search(log.front(), std::regex("^23514: .*title_copies_check"))) << log.front();
  const auto query = [&server](const std::string& sql) {
    bool ok = false;
    const std::string result = server.Query(sql, &ok);
    EXPECT_TRUE(ok) << sql << ": " << result;
    return result;
  };
  EXPECT_EQ(query("SELECT count(*) FROM loan"), std::to_string(kLoans));
  EXPECT_EQ(query("SELECT sum(copies) FROM title"), std::to_string(kTitles * kCopies - kLoans + kReturned));
  EXPECT_EQ(query("SELECT open_loans()"), std::to_string(kLoans - kReturned));
  EXPECT_EQ(query("SELECT name FROM title WHERE id = 3"), "Titel Nº 3; vol. 1");
  // A refused connection names the server's reason.
  EXPECT_FALSE(tr.Connect(server.ConnectionString("no_such_database").c_str()));
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().source, "Connect");
  EXPECT_TRUE(std::regex_search(CKXMsg::GetInstance()->GetLastMessage().text,
                                std::regex("^[0-9A-Z]{5}: .*no_such_database")));
}

// A COPY that exchanges its rows with the client would leave the driver
// waiting for ever: it fails at once. Every other statement runs as before,
// and a reason longer than any buffer comes whole.
TEST_F(Postgres, ClientCopyFailsAtOnceAndLongReasonsComeWhole) {
  Connect("copy_probe");
  ASSERT_EQ(Exec("CREATE TABLE t (n integer, s text)"), 0);
  const std::string refused = "^COPY \\.\\.\\. FROM STDIN .*needs the native rules";
  const struct {
    std::string sql;
    std::string log;  // the pattern of the first log line; empty when it runs
  } rows[] = {
      {"COPY t FROM STDIN", refused},
      {"copy t (n, s) from stdin with (format csv)", refused},
      {"/* from a dump */ -- data follows\n  Copy public.t FROM stdin", refused},
      {"COPY (SELECT n FROM t) TO STDOUT", refused},
      {"copy t to stdout with csv header", refused},
      {"SELECT 1; COPY t FROM STDIN", refused},
      {"COPY t TO '/dev/null'", ""},
      {"SELECT 'copy t from stdin', \"to\" FROM (SELECT 1 AS \"to\") AS stdout", ""},
      // psqlODBC cut a reason longer than the first buffer into records
      // with "; P0001:" inserted mid-word.
      {"DO $$ BEGIN RAISE EXCEPTION '%', repeat('abcdefghi ', 300); END $$",
       "^P0001: ERROR: (abcdefghi ){299}abcdefghi[^:]*$"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    CKXMsg::GetInstance()->Reset();
    EXPECT_EQ(Exec(row.sql.c_str()), row.log.empty() ? 0 : -1);
    if (!row.log.empty()) ExpectMatch(FirstLogLine(), row.log.c_str());
  }
  EXPECT_FALSE(tr_.IsUnusable());
}

TEST_F(Postgres, CancelTransactionsAndALostConnection) {
  Connect("cancel_probe");
  ASSERT_EQ(Exec("CREATE TABLE t (n integer)"), 0);
  // Cancel reaches the statement running on another thread.
  CKXMsg::GetInstance()->Reset();
  short rc = 0;
  std::thread runner([&] { rc = Exec("SELECT pg_sleep(600)"); });
  for (;;) {
    std::lock_guard<std::mutex> lock(tr_.GetImpl().cancel_mutex);
    if (tr_.GetImpl().executing) break;
  }
  // The driver may send the statement a little after the call began.
  while (Query("SELECT count(*) FROM pg_stat_activity WHERE query LIKE 'SELECT pg_sleep%'") != "1")
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  tr_.Cancel();
  runner.join();
  EXPECT_EQ(rc, -1);
  ExpectMatch(FirstLogLine(), "^57014: .*canceling statement");
  EXPECT_FALSE(tr_.IsUnusable());

  // One transaction: undone, then kept; each statement commits on its own again after it.
  ASSERT_TRUE(tr_.BeginTransaction());
  EXPECT_EQ(Exec("INSERT INTO t VALUES (1)"), 0);
  EXPECT_TRUE(tr_.RollbackTransaction());
  EXPECT_EQ(Query("SELECT count(*) FROM t"), "0");
  ASSERT_TRUE(tr_.BeginTransaction());
  EXPECT_EQ(Exec("INSERT INTO t VALUES (2)"), 0);
  EXPECT_EQ(Query("SELECT count(*) FROM t"), "0");
  EXPECT_TRUE(tr_.CommitTransaction());
  EXPECT_EQ(Exec("INSERT INTO t VALUES (3)"), 0);
  EXPECT_EQ(Query("SELECT string_agg(n::text, ',' ORDER BY n) FROM t"), "2,3");

  // A connection the server ends cannot be used any more.
  Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() "
        "AND pid <> pg_backend_pid()");
  EXPECT_EQ(Exec("SELECT 1"), -1);
  EXPECT_TRUE(tr_.IsUnusable());
  ExpectMatch(tr_.GetUnusableReason(), "^(57P01|08[0-9A-Z]{3}): ");
}

}  // namespace

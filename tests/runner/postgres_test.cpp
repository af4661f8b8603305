// The runner and the host's ODBC layer against a real PostgreSQL server,
// started for this test program on a free loopback port and thrown away
// afterwards.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/postgres_server.h"

namespace {

using kxsql::testing::PostgresServer;

class Postgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new PostgresServer;
    if (!server_->Start()) {
      skip_reason_ = server_->Unavailable() ? server_->Error() : std::string();
      start_error_ = server_->Error();
    }
  }
  static void TearDownTestSuite() {
    delete server_;  // stops the server and removes its folder
    server_ = nullptr;
  }
  void SetUp() override {
    if (!skip_reason_.empty()) GTEST_SKIP() << skip_reason_;
    ASSERT_TRUE(server_->IsRunning()) << "the PostgreSQL server did not start: " << start_error_;
  }
  // A fresh database for one test, so that tests do not see each other's tables.
  std::string NewDatabase(const std::string& name) {
    bool ok = false;
    server_->Query("DROP DATABASE IF EXISTS " + name, &ok);
    const std::string error = server_->Query("CREATE DATABASE " + name + " ENCODING 'UTF8'", &ok);
    EXPECT_TRUE(ok) << error;
    return name;
  }
  std::string Query(const std::string& sql, const std::string& database) {
    bool ok = false;
    const std::string result = server_->Query(sql, &ok, database);
    EXPECT_TRUE(ok) << sql << ": " << result;
    return result;
  }

  static PostgresServer* server_;
  static std::string skip_reason_;
  static std::string start_error_;
};

PostgresServer* Postgres::server_ = nullptr;
std::string Postgres::skip_reason_;
std::string Postgres::start_error_;

std::vector<std::string> LogSince(std::size_t first) {
  std::vector<std::string> lines = CKXMsg::GetInstance()->GetLogLines();
  return first < lines.size() ? std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end())
                              : std::vector<std::string>();
}

TEST_F(Postgres, ODBCConnectionAndExecution) {
  const std::string db = NewDatabase("odbc_probe");
  CKXTr tr;
  ASSERT_TRUE(tr.Connect(server_->ConnectionString(db).c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_TRUE(tr.IsConnected());
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::POSTGRES);
  EXPECT_STREQ(tr.GetDBMSName(), "PostgreSQL");

  CKXSQLStmt stmt(0);
  const DBMSTYPE& dbms = tr.GetDBMSType();
  auto succeeded = [](short rc) { return rc == 0 || rc == 1 || rc == 100; };
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "CREATE TABLE t (n integer PRIMARY KEY, s text)")));
  // Rows are read past, so the same handle takes the next statement.
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "SELECT * FROM generate_series(1, 1000)")));
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "SELECT 1; SELECT 2, 3; INSERT INTO t VALUES (1, 'a')")));
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "UPDATE t SET s = 'b' WHERE n = 42")));
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "INSERT INTO t VALUES (2, 'Grüße, € 日本')")));
  EXPECT_EQ(Query("SELECT string_agg(n || ':' || s, ',' ORDER BY n) FROM t", db), "1:a,2:Grüße, € 日本");

  struct Failure {
    const char* sql;
    const char* log;  // the first log line, as a pattern
  };
  const Failure failures[] = {
      {"SELECT * FROM missing_table", "^42P01: .*relation \"missing_table\" does not exist"},
      {"INSERT INTO t VALUES (1, 'again')", "^23505: .*duplicate key value"},
      {"SELEKT 1", "^42601: .*syntax error"},
      // A later statement of a batch fails the whole text.
      {"SELECT 1; SELECT * FROM missing_table", "^42P01: .*missing_table"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.sql);
    const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
    EXPECT_EQ(dbms.ExecuteScriptStmt(stmt, &tr, f.sql), -1);
    const std::vector<std::string> log = LogSince(before);
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(std::regex_search(log.front(), std::regex(f.log))) << log.front();
  }
  // The handle is still good after failures.
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "INSERT INTO t VALUES (3, 'c')")));

  // Disconnecting frees the wrapper's handle; the wrapper then serves a new connection.
  tr.Disconnect();
  EXPECT_FALSE(tr.IsConnected());
  EXPECT_EQ(dbms.ExecuteScriptStmt(stmt, &tr, "SELECT 1"), -1);
  ASSERT_TRUE(tr.Connect(server_->ConnectionString(db).c_str()));
  EXPECT_TRUE(succeeded(dbms.ExecuteScriptStmt(stmt, &tr, "INSERT INTO t VALUES (4, 'd')")));
  EXPECT_EQ(Query("SELECT count(*) FROM t", db), "4");
}

TEST_F(Postgres, ConnectFailureNamesTheServerReason) {
  CKXTr tr;
  EXPECT_FALSE(tr.Connect(server_->ConnectionString("no_such_database").c_str()));
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(m.source, "Connect");
  EXPECT_TRUE(std::regex_search(m.text, std::regex("^[0-9A-Z]{5}: .*no_such_database"))) << m.text;
}

// Lending library: PL/pgSQL trigger functions in $$ bodies that hold
// semicolons, IF blocks and a FOR loop; triggers; a few hundred rows.
const char kLibrarySchema[] = R"sql(-- Lending library.
CREATE TABLE member (
  id integer PRIMARY KEY,
  name text NOT NULL,
  loans integer NOT NULL DEFAULT 0
);
CREATE TABLE title (
  id integer PRIMARY KEY,
  name text NOT NULL,
  copies integer NOT NULL CHECK (copies >= 0)
);
CREATE TABLE loan (
  id serial PRIMARY KEY,
  member_id integer NOT NULL REFERENCES member(id),
  title_id integer NOT NULL REFERENCES title(id),
  returned boolean NOT NULL DEFAULT false
);
CREATE TABLE history (event text NOT NULL, loan_id integer, loans_then integer);

/* A loan takes a copy and counts for the member. The type is written
   "trigger" in quotes: a bare TRIGGER outside a $$ body opens a block. */
CREATE FUNCTION loan_taken() RETURNS "trigger" LANGUAGE plpgsql AS $$
BEGIN
  UPDATE title SET copies = copies - 1 WHERE id = NEW.title_id;
  UPDATE member SET loans = loans + 1 WHERE id = NEW.member_id;
  INSERT INTO history VALUES ('taken', NEW.id, (SELECT loans FROM member WHERE id = NEW.member_id));
  RETURN NEW;
END;
$$;
CREATE FUNCTION loan_returned() RETURNS "trigger" LANGUAGE plpgsql AS $$
BEGIN
  IF NEW.returned AND NOT OLD.returned THEN
    UPDATE title SET copies = copies + 1 WHERE id = NEW.title_id;
    INSERT INTO history VALUES ('returned', NEW.id, NULL);
  END IF;
  RETURN NEW;
END;
$$;
CREATE FUNCTION open_loans(m integer) RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
  n integer := 0;
  r record;
BEGIN
  FOR r IN SELECT * FROM loan WHERE member_id = m AND NOT returned LOOP
    n := n + 1;
  END LOOP;
  RETURN n;
END;
$$;
-- CREATE TRIGGER has no body of its own; a DO block keeps both in one $$ body.
DO $$
BEGIN
  CREATE TRIGGER loan_taken AFTER INSERT ON loan FOR EACH ROW EXECUTE FUNCTION loan_taken();
  CREATE TRIGGER loan_returned AFTER UPDATE OF returned ON loan FOR EACH ROW EXECUTE FUNCTION loan_returned();
END
$$;
)sql";

TEST_F(Postgres, ScriptWithFunctionsTriggersAndData) {
  constexpr int kMembers = 20, kTitles = 30, kCopies = 10, kLoans = 240;
  std::string script = kLibrarySchema;
  unsigned int expected_stmts = 8;
  for (int m = 1; m <= kMembers; ++m, ++expected_stmts)
    script += "INSERT INTO member (id, name) VALUES (" + std::to_string(m) + ", 'Mitglied Nº " + std::to_string(m) +
              "');\n";
  for (int t = 1; t <= kTitles; ++t, ++expected_stmts)
    script += "INSERT INTO title VALUES (" + std::to_string(t) + ", 'Title; vol. " + std::to_string(t) + "', " +
              std::to_string(kCopies) + ");\n";
  for (int l = 0; l < kLoans; ++l, ++expected_stmts)
    script += "INSERT INTO loan (member_id, title_id) VALUES (" + std::to_string(l % kMembers + 1) + ", " +
              std::to_string(l % kTitles + 1) + ");\n";
  script +=
      "UPDATE loan SET returned = true WHERE id % 4 = 0;\n"
      "-- refused: copies cannot be negative\n"
      "INSERT INTO title VALUES (999, 'Broken', -1);\n"
      "SELECT open_loans(1);\n";
  expected_stmts += 3;

  const std::string db = NewDatabase("library");
  CKXTr tr;
  ASSERT_TRUE(tr.Connect(server_->ConnectionString(db).c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  tr.SetDBMSType(DBMSTYPE::POSTGRES);
  CKXSQLTextT<char> source;
  unsigned int stmts = 0, errors = 0;
  const std::size_t log_before = CKXMsg::GetInstance()->GetLogLines().size();
  EXPECT_EQ(source.ParseSQL(script.c_str(), &tr, stmts, errors, kxsql::detail::kNoErrorLimit), 0);
  EXPECT_EQ(stmts, expected_stmts);
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text,
            "-- refused: copies cannot be negative\nINSERT INTO title VALUES (999, 'Broken', -1)");
  const std::vector<std::string> log = LogSince(log_before);
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(std::regex_search(log.front(), std::regex("^23514: .*title_copies_check"))) << log.front();

  const int returned = kLoans / 4;
  EXPECT_EQ(Query("SELECT count(*) FROM loan", db), std::to_string(kLoans));
  EXPECT_EQ(Query("SELECT sum(copies) FROM title", db), std::to_string(kTitles * kCopies - kLoans + returned));
  EXPECT_EQ(Query("SELECT sum(loans) FROM member", db), std::to_string(kLoans));
  EXPECT_EQ(Query("SELECT count(*) FROM history WHERE event = 'taken'", db), std::to_string(kLoans));
  EXPECT_EQ(Query("SELECT count(*) FROM history WHERE event = 'returned'", db), std::to_string(returned));
  EXPECT_EQ(Query("SELECT string_agg(tgname, ',' ORDER BY tgname) FROM pg_trigger WHERE NOT tgisinternal", db),
            "loan_returned,loan_taken");
  EXPECT_EQ(Query("SELECT sum(open_loans(id)) FROM member", db), std::to_string(kLoans - returned));
  EXPECT_EQ(Query("SELECT name FROM member WHERE id = 3", db), "Mitglied Nº 3");
}

}  // namespace

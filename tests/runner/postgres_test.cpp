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

TEST_F(Postgres, ODBCExecutionAndTheDialectFromTheDriversName) {
  Connect("odbc_probe");
  EXPECT_EQ(tr_.GetDBMSType(), DBMSTYPE::POSTGRES);
  EXPECT_STREQ(tr_.GetDBMSName(), "PostgreSQL");
  const struct {
    const char* sql;
    const char* log;  // for a failure, the pattern of the first log line it adds
  } rows[] = {
      {"CREATE TABLE t (n integer PRIMARY KEY, s text)", nullptr},
      // Rows are read past, also of every statement of a batch, so the same handle takes the next one.
      {"SELECT * FROM generate_series(1, 1000)", nullptr},
      {"SELECT 1; SELECT 2, 3; INSERT INTO t VALUES (1, 'a')", nullptr},
      {"UPDATE t SET s = 'b' WHERE n = 42", nullptr},
      {"SELECT * FROM missing_table", "^42P01: .*relation \"missing_table\" does not exist"},
      {"INSERT INTO t VALUES (1, 'again')", "^23505: .*duplicate key value"},
      // A later statement of a batch fails the whole text.
      {"SELECT 1; SELECT * FROM missing_table", "^42P01: .*missing_table"},
      {"INSERT INTO t VALUES (2, 'Grüße, € 日本')", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sql);
    CKXMsg::GetInstance()->Reset();
    const short rc = Exec(row.sql);
    if (row.log) ExpectMatch(FirstLogLine(), row.log);
    EXPECT_TRUE(row.log ? rc == -1 : rc == 0 || rc == 1 || rc == 100) << rc;
  }
  EXPECT_EQ(Query("SELECT string_agg(n || ':' || s, ',' ORDER BY n) FROM t"), "1:a,2:Grüße, € 日本");
  // A refused connection names the server's reason.
  EXPECT_FALSE(tr_.Connect(server_.ConnectionString("no_such_database").c_str()));
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().source, "Connect");
  ExpectMatch(CKXMsg::GetInstance()->GetLastMessage().text, "^[0-9A-Z]{5}: .*no_such_database");
}

// Lending library: PL/pgSQL functions in $$ bodies that hold semicolons, IF
// blocks and a FOR loop; a trigger; a few hundred rows.
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
  constexpr int kTitles = 30, kCopies = 10, kLoans = 240, kReturned = kLoans / 4;
  std::string script = kLibrarySchema;
  for (int t = 1; t <= kTitles; ++t)
    script += "INSERT INTO title VALUES (" + std::to_string(t) + ", 'Titel Nº " + std::to_string(t) + "; vol. 1', " +
              std::to_string(kCopies) + ");\n";
  for (int l = 0; l < kLoans; ++l) script += "INSERT INTO loan (title_id) VALUES (" + std::to_string(l % kTitles + 1) + ");\n";
  script += "UPDATE loan SET returned = true WHERE id % 4 = 0;\n-- refused: copies cannot be negative\n"
            "INSERT INTO title VALUES (999, 'Broken', -1);\nSELECT open_loans();\n";

  Connect("library");
  CKXSQLTextT<char> source;
  unsigned int stmts = 0, errors = 0;
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.ParseSQL(script.c_str(), &tr_, stmts, errors, kxsql::detail::kNoErrorLimit), 0);
  EXPECT_EQ(stmts, 5u + kTitles + kLoans + 3);  // 2 tables, 2 functions, the DO block; the rest
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text,
            "-- refused: copies cannot be negative\nINSERT INTO title VALUES (999, 'Broken', -1)");
  ExpectMatch(FirstLogLine(), "^23514: .*title_copies_check");
  EXPECT_EQ(Query("SELECT count(*) FROM loan"), std::to_string(kLoans));
  EXPECT_EQ(Query("SELECT sum(copies) FROM title"), std::to_string(kTitles * kCopies - kLoans + kReturned));
  EXPECT_EQ(Query("SELECT open_loans()"), std::to_string(kLoans - kReturned));
  EXPECT_EQ(Query("SELECT name FROM title WHERE id = 3"), "Titel Nº 3; vol. 1");
}

}  // namespace

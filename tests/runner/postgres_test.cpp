// The runner and the host's ODBC layer against a real PostgreSQL server,
// started for this test on a free loopback port and thrown away afterwards.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/postgres_server.h"

namespace {

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

TEST(Postgres, ScriptWithFunctionsTriggersAndData) {
  kxsql::testing::PostgresServer server;
  if (!server.Start()) {
    if (server.Unavailable()) GTEST_SKIP() << server.Error();
    FAIL() << "the PostgreSQL server did not start: " << server.Error();
  }
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

}  // namespace

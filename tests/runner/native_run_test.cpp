// Scripts run under the native rules on the embedded engine: what each
// client's commands do (includes, variables, echo, stop on error, quit), what
// is sent after substitution, and how statements and errors are counted.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "runner/substitution.h"
#include "support/sqlite_query.h"

namespace {

using kxsql::detail::kNoErrorLimit;
using Outcome = kxsql::detail::ScriptObserver<char>::Outcome;

// What a run sent (a failed statement with a leading `!`) and said.
struct Recorder : kxsql::detail::ScriptObserver<char> {
  void OnStatement(const SQLStmtT<char>&, const char* sql, short rc) override {
    sent.push_back((rc == 0 || rc == 1 || rc == 100 ? "" : "!") + std::string(sql));
  }
  void OnClientCommand(const SQLStmtT<char>&, Outcome outcome, const std::string& message) override {
    if (outcome == Outcome::kEcho) said.push_back("echo: " + message);
    if (outcome == Outcome::kNotice) said.push_back("notice: " + message);
    if (outcome == Outcome::kFailed) said.push_back("error: " + message);
  }
  std::vector<std::string> sent, said;
};

struct RunRow {
  const char* name;
  const DBMSTYPE* dialect;
  // Script files by name; "main.sql" is run. $DIR stands for their folder.
  std::map<std::string, std::string> files;
  long result;
  unsigned int statements, errors;
  std::vector<std::string> sent, said;
  // A query on table t and the text it gives after the run, when not empty.
  std::string query, rows;
  // Variables given before the run (kxsql run --var).
  std::map<std::string, std::string> variables = {};
};

class NativeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "kxsql-run-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Check(const RunRow& row) {
    SCOPED_TRACE(row.name);
    for (const auto& [name, text] : row.files) {
      std::string content = text;
      for (std::size_t at; (at = content.find("$DIR")) != std::string::npos;) content.replace(at, 4, dir_);
      std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
    }
    CKXTr tr;
    ASSERT_TRUE(tr.OpenSQLite(":memory:"));
    CKXSQLStmt stmt(0);
    ASSERT_EQ(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, "create table t(n integer, s text)"), 0);
    tr.SetDBMSType(*row.dialect);
    CKXSQLFile file;
    ASSERT_EQ(file.Open((dir_ + "/main.sql").c_str()), 1);
    file.SetSplitRules(KXSQL_RULES_NATIVE);
    kxsql::detail::ScriptSession session;
    session.SetScriptPath(dir_ + "/main.sql");
    const kxsql::detail::Client client = kxsql::detail::ClientFor(*row.dialect);
    for (const auto& [name, value] : row.variables) session.SetVariable(kxsql::detail::VariableKey(client, name), value);
    Recorder recorder;
    unsigned int statements = 0, errors = 0;
    EXPECT_EQ(kxsql::detail::LoadSQL<char>(file, &tr, statements, errors, kNoErrorLimit, &recorder, &session),
              row.result);
    EXPECT_EQ(statements, row.statements);
    EXPECT_EQ(errors, row.errors);
    EXPECT_EQ(recorder.sent, row.sent);
    EXPECT_EQ(recorder.said, row.said);
    if (!row.query.empty()) {
      EXPECT_EQ(kxsql::testing::QueryText(tr, row.query), row.rows);
    }
  }

  std::string dir_;
};

const char kAllRows[] = "select group_concat(n || ':' || coalesce(s, 'null'), ',') from t";

TEST_F(NativeRun, SqliteShell) {
  const RunRow rows[] = {
      {"dot-commands: .print, .read, settings skipped, unknown ones fail",
       &DBMSTYPE::SQLITE,
       {{"main.sql", ".print hello\ninsert into t values (1, 'a');\n.read $DIR/inc.sql\n.mode column\n.foo\n"
                     "insert into t values (3, 'c');\n"},
        {"inc.sql", ".print from inc\ninsert into t values (2, 'b');\n"}},
       0, 3, 1,
       {"insert into t values (1, 'a')", "insert into t values (2, 'b')", "insert into t values (3, 'c')"},
       {"echo: hello", "echo: from inc", "notice: .mode skipped: a display setting of the client",
        "error: invalid command .foo"},
       kAllRows, "1:a,2:b,3:c"},
      {".bail on ends the run at the next failure",
       &DBMSTYPE::SQLITE,
       {{"main.sql", ".bail on\ninsert into nosuch values (1);\ninsert into t values (1, 'never');\n"}},
       -1, 1, 1, {"!insert into nosuch values (1)"}, {}, kAllRows, ""},
      {"an include cycle is an error, not a hang",
       &DBMSTYPE::SQLITE,
       {{"main.sql", ".read $DIR/b.sql\ninsert into t values (9, 'end');"}, {"b.sql", ".read $DIR/main.sql\n"}},
       0, 1, 1, {"insert into t values (9, 'end')"},
       {"error: .read " + std::string("$DIR") + "/main.sql: includes nest deeper than 64 or include themselves"},
       kAllRows, "9:end"},
      {"a missing include fails; .quit ends the run",
       &DBMSTYPE::SQLITE,
       {{"main.sql", ".read nosuch-file.sql\n.quit\ninsert into t values (1, 'never');"}},
       0, 0, 1, {}, {"error: .read nosuch-file.sql: Failed to open file for reading 'nosuch-file.sql': No such file or directory"},
       kAllRows, ""},
  };
  for (RunRow row : rows) {
    for (std::string& line : row.said)
      for (std::size_t at; (at = line.find("$DIR")) != std::string::npos;) line.replace(at, 4, dir_);
    Check(row);
  }
}

TEST_F(NativeRun, PsqlOnTheEngine) {
  const RunRow rows[] = {
      {"variables, echo, COPY rows, \\ir relative to the script, \\q",
       &DBMSTYPE::POSTGRES,
       {{"main.sql", "\\set v 7\ninsert into t values (:v, :'v');\n\\echo v is :v\n"
                     "copy t (n, s) from stdin;\n1\ta\\tb\n2\t\\N\n\\.\n\\ir inc.sql\n\\restrict abc\n\\q\n"
                     "insert into t values (99, 'after quit');\n"},
        {"inc.sql", "insert into t values (3, 'inc');\n"}},
       0, 3, 0,
       {"insert into t values (7, '7')", "copy t (n, s) from stdin", "insert into t values (3, 'inc')"},
       {"echo: v is 7"}, kAllRows, "7:7,1:a\tb,2:null,3:inc"},
      {"\\copy ... from stdin loads its rows as COPY does",
       &DBMSTYPE::POSTGRES,
       {{"main.sql", "\\copy t (n, s) from stdin with (format csv)\n5,\"x,y\"\n6,\n\\.\n"}},
       0, 1, 0, {"copy t (n, s) from stdin with (format csv)"}, {}, kAllRows, "5:x,y,6:null"},
      {"undefined variables stay; ON_ERROR_STOP; \\c needs a server",
       &DBMSTYPE::POSTGRES,
       {{"main.sql", "insert into t values (1, ':nosuch');\n\\c otherdb\n\\set ON_ERROR_STOP on\n"
                     "select nosuch;\ninsert into t values (2, 'never');\n"}},
       -1, 2, 2, {"insert into t values (1, ':nosuch')", "!select nosuch"},
       {"error: \\c otherdb: only an ODBC connection can move to another database"}, kAllRows, "1::nosuch"},
  };
  for (const RunRow& row : rows) Check(row);
}

// sqlcmd and SQL*Plus cannot run here: what is sent after their variables
// are replaced is what counts (the engine refuses what is not SQLite).
TEST_F(NativeRun, SqlcmdAndSqlPlusVariables) {
  const RunRow rows[] = {
      {"sqlcmd: :setvar and --var, $(NAME) in any case, GO n, an undefined one fails, :on error exit",
       &DBMSTYPE::SQLSERVER,
       {{"main.sql", ":setvar n 5\ninsert into t values ($(N), '$(who)')\nGO\ninsert into t values (7, 'x')\nGO 2\n"
                     "insert into t values ($(nosuch), 'a')\nGO\n:on error exit\ninsert into nosuch values (1)\nGO\n"
                     "insert into t values (8, 'never')\nGO\n"}},
       -1, 4, 2,
       {"insert into t values (5, 'me')", "insert into t values (7, 'x')", "insert into t values (7, 'x')",
        "!insert into nosuch values (1)"},
       {"error: 'nosuch' scripting variable not defined."}, kAllRows, "5:me,7:x,7:x", {{"WHO", "me"}}},
      {"SQL*Plus: DEFINE and --var, &NAME, &&NAME., SET DEFINE OFF, PROMPT, EXECUTE, WHENEVER SQLERROR EXIT",
       &DBMSTYPE::ORACLE,
       {{"main.sql", "DEFINE n = 9\nPROMPT loading &n for &who\ninsert into t values (&n, '&&n.x');\nSET DEFINE OFF\n"
                     "insert into t values (10, '&n');\nSET DEFINE ON\ninsert into t values (&undefined, 'x');\n"
                     "EXEC p(1)\nWHENEVER SQLERROR EXIT\ninsert into nosuch values (1);\n"
                     "insert into t values (11, 'never');\n"}},
       -1, 4, 3,
       {"insert into t values (9, '9x')", "insert into t values (10, '&n')", "!BEGIN p(1); END;",
        "!insert into nosuch values (1)"},
       {"echo: loading 9 for me", "error: substitution variable undefined is not defined (SQL*Plus would prompt for it)"},
       kAllRows, "9:9x,10:&n", {{"who", "me"}}},
  };
  for (const RunRow& row : rows) Check(row);
}

}  // namespace

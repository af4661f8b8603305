// ParseSQL and the script runner over the embedded SQLite engine, and
// through the SQLite ODBC driver, which needs no server: failing statements
// are SQL that SQLite refuses.
#include <sqlite3.h>
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
#include "support/test_text.h"

namespace {

namespace fs = std::filesystem;
using kxsql::detail::kNoErrorLimit;
using kxsql::testing::Text;

void ExpectRunMessage(const std::string& text) {
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(m.type, MSGTYPE::ERR);
  EXPECT_EQ(m.text, text);
  EXPECT_EQ(m.caption, "Parse SQL script");
  EXPECT_EQ(m.source, "LoadSQL");
}

// What a run handed over, statement by statement, as "code:sql".
template <class T>
struct Recorder : kxsql::detail::ScriptObserver<T> {
  void OnStatement(const SQLStmtT<T>&, const char* sql, short rc) override {
    sent.push_back(std::to_string(rc) + ":" + sql);
  }
  std::vector<std::string> sent;
};

// A text whose reading fails where its second statement breaks off, as a file
// whose device goes away would.
template <class T>
class FailingSource : public CKXSQLTextT<T> {
 public:
  explicit FailingSource(const T* text) : CKXSQLTextT<T>(text) {}
  bool IsEOF() const override { return false; }

 protected:
  T GetChar(bool& eof) override {
    if (this->GetDoneCount() < this->GetTotalCount()) return CKXSQLTextT<T>::GetChar(eof);
    eof = true;
    return static_cast<T>(-1);  // cannot deliver
  }
};

// The stop flag belongs to the worker thread running the call.
void RequestStop(sqlite3_context* context, int, sqlite3_value**) {
  if (CKXThread* worker = CKXThread::GetWorkerThread()) worker->SignalStop();
  sqlite3_result_null(context);
}

template <class T>
class ScriptRun : public ::testing::Test {
 protected:
  void SetUp() override {
    CKXMsg::GetInstance()->Reset();
    ASSERT_TRUE(tr_.OpenSQLite(":memory:"));
    CKXSQLStmt stmt(0);
    ASSERT_EQ(tr_.GetDBMSType().ExecuteScriptStmt(stmt, &tr_, "create table t(n integer, s text)"), 0);
  }
  long Parse(const std::string& script, unsigned int max_errors = kNoErrorLimit) {
    const Text<T> text(script);
    return source_.ParseSQL(text.c_str(), &tr_, stmts_, errors_, max_errors);
  }
  // Parse on a worker thread, asked to stop before it starts when `stop_first`.
  long ParseOnWorker(const std::string& script, bool stop_first) {
    long result = 0;
    CKXThread worker([&] { result = Parse(script); });
    if (stop_first) worker.SignalStop();
    EXPECT_TRUE(worker.Start());
    worker.Join();
    return result;
  }
  long long Rows() { return kxsql::testing::QueryInt(tr_, "select count(*) from t"); }

  CKXTr tr_;
  CKXSQLTextT<T> source_;
  unsigned int stmts_ = 0;
  unsigned int errors_ = 0;
};

using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(ScriptRun, Widths);

TYPED_TEST(ScriptRun, CountsStatementsAndStopsAtTheErrorLimit) {
  // Seven statements; the 2nd, 4th and 6th fail (no such table).
  const std::string script =
      "insert into t(n) values(1);\ninsert into missing values(2);\ninsert into t(n) values(3);\n"
      "insert into missing values(4);\ninsert into t(n) values(5);\ninsert into missing values(6);\n"
      "insert into t(n) values(7);\n";
  const struct {
    unsigned int max_errors, errors_on_entry;
    long result;
    unsigned int stmts, errors;
    long long rows;
    const char* last_failed;
  } rows[] = {
      {kNoErrorLimit, 0, 0, 7, 3, 4, "insert into missing values(6)"},
      // The error count is never reset by a run.
      {kNoErrorLimit, 4294967290u, 0, 7, 4294967293u, 4, "insert into missing values(6)"},
      {0, 0, -1, 2, 1, 1, "insert into missing values(2)"},
      {1, 0, -1, 2, 1, 1, "insert into missing values(2)"},
      {2, 0, -1, 4, 2, 2, "insert into missing values(4)"},
      {3, 0, -1, 6, 3, 3, "insert into missing values(6)"},
      {4, 0, 0, 7, 3, 4, "insert into missing values(6)"},
      // Already above the limit on entry: the first new failure ends the run.
      {3, 5, -1, 2, 6, 1, "insert into missing values(2)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("limit " + std::to_string(row.max_errors) + ", errors on entry " +
                 std::to_string(row.errors_on_entry));
    CKXSQLStmt stmt(0);
    ASSERT_EQ(this->tr_.GetDBMSType().ExecuteScriptStmt(stmt, &this->tr_, "delete from t"), 0);
    this->stmts_ = 99;
    this->errors_ = row.errors_on_entry;
    EXPECT_EQ(this->Parse(script, row.max_errors), row.result);
    EXPECT_EQ(this->stmts_, row.stmts);
    EXPECT_EQ(this->errors_, row.errors);
    EXPECT_EQ(this->Rows(), row.rows);
    ExpectRunMessage(row.last_failed);
    EXPECT_FALSE(this->source_.IsOpen());
  }
}

TYPED_TEST(ScriptRun, NothingToRun) {
  CKXTr idle;  // never connected
  const char* const insert = "insert into t(n) values(1);";
  const struct {
    const char* script;  // null: no text at all
    CKXTr* tr;
    const char* outcome;  // result|statements (5 on entry)|the last message|the log
  } rows[] = {
      // Blanks, comments and empty statements only: a run that hands nothing over.
      {" \n\t\n", &this->tr_, "0|0||"},
      {"-- one\n/* two */\n  -- three", &this->tr_, "0|0||"},
      {"\n;;\n-- a comment after empty statements\n", &this->tr_, "0|0||"},
      // No text leaves the counters alone.
      {"", &this->tr_, "-1|5||No sql text"},
      {nullptr, &this->tr_, "-1|5||No sql text"},
      {insert, &idle, "-1|0|Transaction is not connected|"},
      {insert, nullptr, "-1|0|Transaction is not connected|"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.script ? row.script : "(null)") + (row.tr == &idle ? ", not connected" : ""));
    CKXMsg* const sink = CKXMsg::GetInstance();
    sink->Reset();
    this->stmts_ = 5;
    this->errors_ = 2;
    const Text<TypeParam> text(row.script ? row.script : "");
    const long result = this->source_.ParseSQL(row.script ? text.c_str() : nullptr, row.tr, this->stmts_,
                                               this->errors_, kNoErrorLimit);
    std::string outcome = std::to_string(result) + "|" + std::to_string(this->stmts_) + "|" +
                          sink->GetLastMessage().text + "|";
    for (const std::string& line : sink->GetLogLines()) outcome += line;
    EXPECT_EQ(outcome, row.outcome);
    EXPECT_EQ(this->errors_, 2u);
    EXPECT_FALSE(this->source_.IsOpen());
  }
}

TYPED_TEST(ScriptRun, WhatIsHandedOver) {
  const struct {
    const DBMSTYPE* dialect;
    const char* script;
    std::vector<std::string> sent;
  } rows[] = {
      // Only trailing blanks differ: the raw text goes, blanks included; 16-bit text goes as UTF-8.
      {&DBMSTYPE::SQLITE, "insert into t(n, s) values(1, 'Grüße, €, 日本')  \t;",
       {"0:insert into t(n, s) values(1, 'Grüße, €, 日本')  \t"}},
      {&DBMSTYPE::SQLITE, "  insert into t(n) values(1)\n\n", {"0:insert into t(n) values(1)\n\n"}},
      // Comments stay in the parsed text of SQLite, so the raw text goes.
      {&DBMSTYPE::SQLITE, "-- first\ninsert /* two */ into t(n) values(2);",
       {"0:-- first\ninsert /* two */ into t(n) values(2)"}},
      // A trigger's body is one statement; the empty statement after its END is not handed over, nor the
      // end of the run.
      {&DBMSTYPE::SQLITE,
       "create trigger ten after insert on t when new.n = 10 begin insert into t(n) values(11); "
       "insert into t(n) values(12); end;\ninsert into t(n) values(10);;\nbogus;\n",
       {"0:create trigger ten after insert on t when new.n = 10 begin insert into t(n) values(11); "
        "insert into t(n) values(12); end",
        "0:insert into t(n) values(10)", "-1:bogus"}},
      // Oracle leaves comments and carriage returns out of the parsed text: it goes instead.
      {&DBMSTYPE::ORACLE, "-- first\ninsert /* two */ into t(n) values(2);", {"0:insert  into t(n) values(2)"}},
      {&DBMSTYPE::ORACLE, "insert into t(n)\r\nvalues(3) ;\r\n", {"0:insert into t(n)\nvalues(3)"}},
      {&DBMSTYPE::ORACLE, "insert into t(n) values(4)  ;", {"0:insert into t(n) values(4)  "}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    this->tr_.SetDBMSType(*row.dialect);
    Recorder<TypeParam> recorder;
    const Text<TypeParam> text(row.script);
    ASSERT_EQ(this->source_.Set(text.c_str()), 0);
    EXPECT_EQ(kxsql::detail::LoadSQL<TypeParam>(this->source_, &this->tr_, this->stmts_, this->errors_,
                                                kNoErrorLimit, &recorder),
              0);
    this->source_.Close();
    EXPECT_EQ(recorder.sent, row.sent);
  }
  EXPECT_EQ(kxsql::testing::QueryText(this->tr_, "select group_concat(n) from (select n from t order by n)"),
            "1,1,2,2,3,4,10,11,12");
  EXPECT_EQ(this->errors_, 1u);
}

TYPED_TEST(ScriptRun, StopRequestTakesEffectBetweenStatements) {
  // Asked before the call: nothing runs.
  EXPECT_EQ(this->ParseOnWorker("insert into t(n) values(1);insert into t(n) values(2);", true), 4096);
  EXPECT_EQ(this->stmts_, 0u);
  EXPECT_EQ(this->Rows(), 0);
  EXPECT_FALSE(this->source_.IsOpen());
  // Asked by a statement while it runs: it finishes, the next does not start.
  ASSERT_EQ(sqlite3_create_function(this->tr_.GetImpl().db, "request_stop", 0, SQLITE_UTF8, nullptr, RequestStop,
                                    nullptr, nullptr),
            SQLITE_OK);
  const std::string script =
      "insert into t(n) values(1);\ninsert into t(n) select 2 where request_stop() is null;\n"
      "insert into t(n) values(3);";
  EXPECT_EQ(this->ParseOnWorker(script, false), 4096);
  EXPECT_EQ(this->stmts_, 2u);
  EXPECT_EQ(this->Rows(), 2);
  EXPECT_FALSE(this->source_.IsOpen());
  // Off a worker thread there is no stop flag to poll: the same script runs to its end.
  EXPECT_EQ(this->Parse(script), 0);
  EXPECT_EQ(this->Rows(), 5);
}

TYPED_TEST(ScriptRun, UnreadableSourceEndsTheRun) {
  const Text<TypeParam> text("insert into t(n) values(1);\ninsert into t(n) va");
  FailingSource<TypeParam> source(text.c_str());
  this->errors_ = 3;
  // Without a limit too: a source that cannot be read cannot go on.
  EXPECT_EQ(kxsql::detail::LoadSQL<TypeParam>(source, &this->tr_, this->stmts_, this->errors_, kNoErrorLimit), -1);
  EXPECT_EQ(this->stmts_, 1u);
  EXPECT_EQ(this->errors_, 4u);
  ExpectRunMessage("Failed to get next statement");
  EXPECT_EQ(this->Rows(), 1);
}

// The driver's library, or what KXSQL_SQLITE_ODBC_DRIVER names (a library or a registered driver).
std::string Driver() {
  const char* driver = std::getenv("KXSQL_SQLITE_ODBC_DRIVER");
  return driver && *driver ? driver : KXSQL_SQLITE_ODBC_LIBRARY;
}

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

TEST_F(SQLiteODBC, ScriptAndTheDialectFromTheDriversName) {
  EXPECT_EQ(tr_.GetDBMSType(), DBMSTYPE::SQLITE);
  EXPECT_STREQ(tr_.GetDBMSName(), "SQLite");
  // Touching no row is SQL_NO_DATA (100): a success, also under an error limit of one, with nothing
  // logged. Rows are read past, so the handle takes the next statement.
  CKXSQLTextT<char> source(
      "create table t(n integer primary key, s text);\ninsert into t values(1, 'a');\nselect * from t;\n"
      "update t set s = 'b' where n = 42;\ndelete from t where n = 42;\ninsert into t values(2, 'Grüße, € 日本');\n"
      "insert into t values(1, 'again');\n");
  Recorder<char> recorder;
  unsigned int stmts = 0, errors = 0;
  EXPECT_EQ(kxsql::detail::LoadSQL<char>(source, &tr_, stmts, errors, 1, &recorder), -1);
  EXPECT_EQ(recorder.sent, (std::vector<std::string>{
                               "0:create table t(n integer primary key, s text)", "0:insert into t values(1, 'a')",
                               "0:select * from t", "100:update t set s = 'b' where n = 42",
                               "100:delete from t where n = 42", "0:insert into t values(2, 'Grüße, € 日本')",
                               "-1:insert into t values(1, 'again')"}));
  EXPECT_EQ(errors, 1u);
  // A failure's SQLSTATE and reason are logged.
  const std::vector<std::string> log = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(std::regex_search(log[0], std::regex("^[0-9A-Z]{5}: .*UNIQUE"))) << log[0];
  // Disconnecting frees the wrapper's handle; the wrapper then serves a new connection.
  EXPECT_EQ(Exec("insert into t values(3, 'c')"), 0);
  tr_.Disconnect();
  EXPECT_EQ(Exec("select 1"), -1);
  ASSERT_TRUE(tr_.Connect(ConnectionString().c_str()));
  EXPECT_EQ(Exec("insert into t values(4, 'd')"), 0);
  CKXTr engine;
  ASSERT_TRUE(engine.OpenSQLite((dir_ / "data.db").c_str()));
  EXPECT_EQ(kxsql::testing::QueryText(engine, "select group_concat(n || ':' || s, ',') from t"),
            "1:a,2:Grüße, € 日本,3:c,4:d");
}

TEST_F(SQLiteODBC, QueriesAndTextParametersOfTheRunnersOwn) {
  // Values bound as parameters arrive as they are, quotes, backslashes,
  // question marks and all; the engine refuses parameters.
  ASSERT_EQ(Exec("create table t(n integer, s text)"), 0);
  const std::vector<std::string> texts = {"7", "it's \\ \"x\" ? Grüße"};
  EXPECT_EQ(tr_.ExecuteWithTexts(stmt_, "insert into t values (?, ?)", texts), 0);
  EXPECT_EQ(Exec("insert into t values (8, NULL)"), 0);
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(tr_.QueryRows("select n, s, length(s) from t order by n", rows))
      << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"7", texts[1], "18"}, {"8", "", ""}}));
  EXPECT_FALSE(tr_.QueryRows("select * from missing", rows));
  EXPECT_NE(CKXMsg::GetInstance()->GetLastMessage().text.find("missing"), std::string::npos);

  CKXTr engine;
  ASSERT_TRUE(engine.OpenSQLite((dir_ / "data.db").c_str()));
  ASSERT_TRUE(engine.QueryRows("select s from t where n = 7", rows));
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{texts[1]}}));
  EXPECT_EQ(engine.ExecuteWithTexts(stmt_, "insert into t values (?, ?)", texts), -1);
}

}  // namespace

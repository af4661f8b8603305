// ParseSQL and the script runner over a real SQLite database in memory:
// failing statements are SQL that SQLite refuses.
#include <sqlite3.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/sqlite_query.h"
#include "support/test_text.h"

namespace {

using kxsql::detail::kNoErrorLimit;
using kxsql::detail::LoadSQL;
using kxsql::detail::ScriptObserver;
using kxsql::testing::QueryInt;
using kxsql::testing::QueryText;
using kxsql::testing::Text;

constexpr const char* kRunCaption = "Parse SQL script";

// What a run handed over, statement by statement.
template <class T>
struct Recorder : ScriptObserver<T> {
  void OnStatement(const SQLStmtT<T>&, const char* sql, short rc) override {
    sent.push_back(sql);
    codes.push_back(rc);
  }
  std::vector<std::string> sent;
  std::vector<short> codes;
};

template <class T>
class ScriptRun : public ::testing::Test {
 protected:
  void SetUp() override {
    CKXMsg::GetInstance()->Reset();
    ASSERT_TRUE(tr_.OpenSQLite(":memory:"));
    ASSERT_EQ(Exec("create table t(n integer, s text)"), 0);
  }
  short Exec(const char* sql) {
    CKXSQLStmt stmt(0);
    return tr_.GetDBMSType().ExecuteScriptStmt(stmt, &tr_, sql);
  }
  long Parse(const std::string& script, unsigned int max_errors = kNoErrorLimit) {
    const Text<T> text(script);
    return source_.ParseSQL(text.c_str(), &tr_, stmts_, errors_, max_errors);
  }
  // LoadSQL over the same kind of source, with `recorder` watching.
  long Load(const std::string& script, Recorder<T>& recorder) {
    const Text<T> text(script);
    EXPECT_EQ(source_.Set(text.c_str()), 0);
    const long rc = LoadSQL<T>(source_, &tr_, stmts_, errors_, kNoErrorLimit, &recorder);
    source_.Close();
    return rc;
  }
  long long Rows() { return QueryInt(tr_, "select count(*) from t"); }

  CKXTr tr_;
  CKXSQLTextT<T> source_;
  unsigned int stmts_ = 0;
  unsigned int errors_ = 0;
};

using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(ScriptRun, Widths);

TYPED_TEST(ScriptRun, EveryStatementIsHandedOverAndCounted) {
  this->errors_ = 7;
  this->stmts_ = 99;
  EXPECT_EQ(this->Parse("insert into t(n) values(1);\ninsert into t(n) values(2);\ninsert into t(n) values(3)\n"), 0);
  EXPECT_EQ(this->stmts_, 3u);
  EXPECT_EQ(this->errors_, 7u);  // never reset by a run
  EXPECT_EQ(this->Rows(), 3);
  EXPECT_FALSE(this->source_.IsOpen());
}

TYPED_TEST(ScriptRun, ErrorLimit) {
  // Seven statements; the 2nd, 4th and 6th fail (no such table).
  const std::string script =
      "insert into t(n) values(1);\ninsert into missing values(2);\ninsert into t(n) values(3);\n"
      "insert into missing values(4);\ninsert into t(n) values(5);\ninsert into missing values(6);\n"
      "insert into t(n) values(7);\n";
  struct Row {
    unsigned int max_errors;
    unsigned int errors_on_entry;
    long result;
    unsigned int stmts;
    unsigned int errors;
    long long rows;
    const char* last_failed;
  };
  const Row rows[] = {
      {kNoErrorLimit, 0, 0, 7, 3, 4, "insert into missing values(6)"},
      {kNoErrorLimit, 4294967290u, 0, 7, 4294967293u, 4, "insert into missing values(6)"},
      {0, 0, -1, 2, 1, 1, "insert into missing values(2)"},
      {1, 0, -1, 2, 1, 1, "insert into missing values(2)"},
      {2, 0, -1, 4, 2, 2, "insert into missing values(4)"},
      {3, 0, -1, 6, 3, 3, "insert into missing values(6)"},
      {4, 0, 0, 7, 3, 4, "insert into missing values(6)"},
      // Already above the limit on entry: the first new failure ends the run.
      {3, 5, -1, 2, 6, 1, "insert into missing values(2)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("limit " + std::to_string(row.max_errors) + ", errors on entry " +
                 std::to_string(row.errors_on_entry));
    ASSERT_EQ(this->Exec("delete from t"), 0);
    this->errors_ = row.errors_on_entry;
    EXPECT_EQ(this->Parse(script, row.max_errors), row.result);
    EXPECT_EQ(this->stmts_, row.stmts);
    EXPECT_EQ(this->errors_, row.errors);
    EXPECT_EQ(this->Rows(), row.rows);
    const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(m.type, MSGTYPE::ERR);
    EXPECT_EQ(m.text, row.last_failed);
    EXPECT_EQ(m.caption, kRunCaption);
    EXPECT_EQ(m.source, "LoadSQL");
    EXPECT_FALSE(this->source_.IsOpen());
  }
}

TYPED_TEST(ScriptRun, FailureReasonIsLoggedBesideTheStatement) {
  const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
  EXPECT_EQ(this->Parse("insert into t(n) values(1, 2);"), 0);
  EXPECT_EQ(this->errors_, 1u);
  const std::vector<std::string> log = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_EQ(log.size(), before + 1);
  EXPECT_EQ(log.back(), "SQLite: 2 values for 1 columns");
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text, "insert into t(n) values(1, 2)");
}

TYPED_TEST(ScriptRun, NothingToHandOver) {
  const char* const scripts[] = {
      " \n\t\n", "-- only a comment", "/* a block\n comment */\n", "-- one\n/* two */\n  -- three\n", ";;\n;",
      "\n;\n-- trailing comment after an empty statement\n",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    this->stmts_ = 5;
    this->errors_ = 2;
    EXPECT_EQ(this->Parse(script), 0);
    EXPECT_EQ(this->stmts_, 0u);
    EXPECT_EQ(this->errors_, 2u);
  }
}

TYPED_TEST(ScriptRun, NoTextLeavesTheCountersAlone) {
  this->stmts_ = 5;
  this->errors_ = 2;
  EXPECT_EQ(this->Parse(""), -1);
  EXPECT_EQ(this->source_.ParseSQL(nullptr, &this->tr_, this->stmts_, this->errors_, kNoErrorLimit), -1);
  EXPECT_EQ(this->stmts_, 5u);
  EXPECT_EQ(this->errors_, 2u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines().back(), "No sql text");
}

TYPED_TEST(ScriptRun, NotConnected) {
  CKXTr idle;
  idle.SetDBMSType(DBMSTYPE::ORACLE);
  CKXTr* const transactions[] = {&idle, nullptr};
  for (CKXTr* tr : transactions) {
    SCOPED_TRACE(tr ? "not connected" : "no transaction");
    CKXMsg::GetInstance()->Reset();
    this->stmts_ = 5;
    this->errors_ = 2;
    const Text<TypeParam> text("insert into t(n) values(1);");
    EXPECT_EQ(this->source_.ParseSQL(text.c_str(), tr, this->stmts_, this->errors_, kNoErrorLimit), -1);
    EXPECT_EQ(this->stmts_, 0u);
    EXPECT_EQ(this->errors_, 2u);
    EXPECT_FALSE(this->source_.IsOpen());
    const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(m.text, "Transaction is not connected");
    EXPECT_EQ(m.caption, kRunCaption);
    EXPECT_EQ(m.source, "LoadSQL");
  }
}

TYPED_TEST(ScriptRun, RawTextKeptUnlessTheParsedTextDropsMore) {
  struct Row {
    const DBMSTYPE* dialect;
    const char* script;
    std::vector<std::string> sent;
  };
  const Row rows[] = {
      // Only trailing blanks differ: the raw text goes, blanks included.
      {&DBMSTYPE::SQLITE, "insert into t(n) values(1)  \t;", {"insert into t(n) values(1)  \t"}},
      {&DBMSTYPE::SQLITE, "  insert into t(n) values(1)\n\n", {"insert into t(n) values(1)\n\n"}},
      // Comments stay in the parsed text of SQLite, so the raw text goes.
      {&DBMSTYPE::SQLITE, "-- first\ninsert /* two */ into t(n) values(2);",
       {"-- first\ninsert /* two */ into t(n) values(2)"}},
      // Oracle leaves comments and carriage returns out of the parsed text: it goes instead.
      {&DBMSTYPE::ORACLE, "-- first\ninsert /* two */ into t(n) values(2);", {"insert  into t(n) values(2)"}},
      {&DBMSTYPE::ORACLE, "insert into t(n)\r\nvalues(3) ;\r\n", {"insert into t(n)\nvalues(3)"}},
      {&DBMSTYPE::ORACLE, "insert into t(n) values(4)  ;", {"insert into t(n) values(4)  "}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.script);
    this->tr_.SetDBMSType(*row.dialect);
    Recorder<TypeParam> recorder;
    EXPECT_EQ(this->Load(row.script, recorder), 0);
    EXPECT_EQ(recorder.sent, row.sent);
    EXPECT_EQ(recorder.codes, std::vector<short>(row.sent.size(), 0));
  }
  EXPECT_EQ(this->Rows(), 6);
}

TYPED_TEST(ScriptRun, ObserverSeesEveryStatementWithItsCode) {
  Recorder<TypeParam> recorder;
  EXPECT_EQ(this->Load("insert into t(n) values(1);\nupdate t set n = 2 where n = 99;\nbogus;\n", recorder), 0);
  EXPECT_EQ(recorder.sent, (std::vector<std::string>{"insert into t(n) values(1)", "update t set n = 2 where n = 99",
                                                     "bogus"}));
  ASSERT_EQ(recorder.codes.size(), 3u);
  EXPECT_EQ(recorder.codes[0], 0);
  EXPECT_EQ(recorder.codes[1], 0);
  EXPECT_EQ(recorder.codes[2], -1);
  EXPECT_EQ(this->stmts_, 3u);
  EXPECT_EQ(this->errors_, 1u);
}

TYPED_TEST(ScriptRun, TextReachesTheHostAsUTF8) {
  EXPECT_EQ(this->Parse("insert into t(n, s) values(1, 'Grüße, €, 日本');\ninsert into tß values('é');"), 0);
  EXPECT_EQ(QueryText(this->tr_, "select s from t"), "Grüße, €, 日本");
  EXPECT_EQ(this->errors_, 1u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text, "insert into tß values('é')");
}

// The stop flag belongs to the worker thread running the call.
void RequestStop(sqlite3_context* context, int, sqlite3_value**) {
  if (CKXThread* worker = CKXThread::GetWorkerThread()) worker->SignalStop();
  sqlite3_result_null(context);
}

TYPED_TEST(ScriptRun, StopRequestedBeforeTheRun) {
  long result = 0;
  CKXThread worker([&] { result = this->Parse("insert into t(n) values(1);insert into t(n) values(2);"); });
  worker.SignalStop();
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(result, 4096);
  EXPECT_EQ(this->stmts_, 0u);
  EXPECT_EQ(this->Rows(), 0);
  EXPECT_FALSE(this->source_.IsOpen());
}

TYPED_TEST(ScriptRun, StopTakesEffectBetweenStatements) {
  // A statement asks for the stop while it runs; it finishes, the next does not start.
  ASSERT_EQ(sqlite3_create_function(this->tr_.GetImpl().db, "request_stop", 0, SQLITE_UTF8, nullptr, RequestStop,
                                    nullptr, nullptr),
            SQLITE_OK);
  long result = 0;
  CKXThread worker([&] {
    result = this->Parse(
        "insert into t(n) values(1);\ninsert into t(n) select 2 where request_stop() is null;\n"
        "insert into t(n) values(3);");
  });
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(result, 4096);
  EXPECT_EQ(this->stmts_, 2u);
  EXPECT_EQ(this->Rows(), 2);
  // Off a worker thread there is no stop flag to poll: the same script runs to its end.
  EXPECT_EQ(this->Parse("insert into t(n) select 4 where request_stop() is null; insert into t(n) values(5);"), 0);
  EXPECT_EQ(this->Rows(), 4);
}

// A source whose reading fails after its first statement, as a file whose
// device goes away would.
class FailingSource : public CKXSQLStreamT<char> {
 public:
  void Close() override { open_ = false; }
  bool IsEOF() const override { return false; }
  bool IsOpen() const override { return open_; }
  unsigned int GetDoneCount() const override { return static_cast<unsigned int>(pos_); }
  unsigned int GetTotalCount() const override { return static_cast<unsigned int>(text_.size()); }

 protected:
  char GetChar(bool& eof) override {
    if (pos_ < text_.size()) {
      eof = false;
      return text_[pos_++];
    }
    eof = true;
    return static_cast<char>(-1);  // cannot deliver
  }
  void UngetChar() override {
    if (pos_ > 0) --pos_;
  }

 private:
  std::string text_ = "insert into t(n) values(1);\ninsert into t(n) va";
  std::size_t pos_ = 0;
  bool open_ = true;
};

TEST(ScriptRunReading, UnreadableSourceEndsTheRun) {
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  CKXSQLStmt stmt(0);
  ASSERT_EQ(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, "create table t(n)"), 0);
  FailingSource source;
  unsigned int stmts = 0, errors = 3;
  // Without a limit too: a source that cannot be read cannot go on.
  EXPECT_EQ(LoadSQL<char>(source, &tr, stmts, errors, kNoErrorLimit), -1);
  EXPECT_EQ(stmts, 1u);
  EXPECT_EQ(errors, 4u);
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(m.text, "Failed to get next statement");
  EXPECT_EQ(m.caption, kRunCaption);
  EXPECT_EQ(m.source, "LoadSQL");
  EXPECT_EQ(QueryInt(tr, "select count(*) from t"), 1);
}

}  // namespace

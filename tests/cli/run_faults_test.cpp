// `kxsql run` when the database fails under it, and when it is asked to stop:
// it never reports success for work that was not done, and leaves an
// accurate record.
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_fixture.h"
#include "support/postgres_server.h"

namespace {

using namespace kxsql::testing;

std::string Repeat(const std::string& line, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += line;
  return text;
}

// Waits until `ready` holds (a minute at most).
void WaitFor(const std::function<bool()>& ready) {
  for (int i = 0; i < 3000 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// A full disk, an I/O error, a file that cannot be written, a lock held past
// the busy timeout: the run ends at the first failure with one clear reason
// and exit 2, instead of failing every statement after it (or running some
// of them once the lock is gone).
TEST_F(Cli, AnUnusableDatabaseStopsTheRunAtOnce) {
  const bool root = ::geteuid() == 0;
  const fs::path small = dir_ / "small";
  fs::create_directory(small);
  // A real full disk where this user may mount a small tmpfs.
  const bool mounted = root && Program({"/bin/mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", small}).exit_code == 0;
  // A database the running user cannot write: root writes any file, so
  // the tool runs as `nobody` then.
  const fs::path readonly = dir_ / "readonly.db";
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open(readonly.c_str(), &handle), SQLITE_OK);
  sqlite3_exec(handle, "create table t(a)", nullptr, nullptr, nullptr);
  sqlite3_close(handle);
  chmod(dir_.c_str(), 0755);
  chmod(readonly.c_str(), 0444);
  const std::vector<std::string> as_other_user =
      root ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}
           : std::vector<std::string>{};
  // Another program holds the write lock of this one.
  const fs::path locked = dir_ / "locked.db";
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(locked.c_str(), &holder), SQLITE_OK);
  sqlite3_exec(holder, "create table t(a); begin immediate", nullptr, nullptr, nullptr);

  const std::string fill = "create table t(a);\n" + Repeat("insert into t values (randomblob(2000));\n", 300);
  const struct {
    const char* what;
    std::vector<std::string> prefix;
    fs::path db;
    std::string script;
    const char* says;
    bool at_open;  // refused before any statement
  } rows[] = {
      {"full tmpfs", {}, small / "full.db", fill, "SQLite: database or disk is full", false},
      {"page limit", {}, dir_ / "pages.db", "pragma max_page_count = 16;\n" + fill, "SQLite: database or disk is full",
       false},
      // Writes past the limit fail with EFBIG (SIGXFSZ would end the process).
      {"file size limit", {"/usr/bin/prlimit", "--fsize=65536", "--"}, dir_ / "io.db",
       "pragma journal_mode = off;\n" + fill, "SQLite: disk I/O error", false},
      {"lock", {}, locked, "insert into t values (1);\ninsert into t values (2);\n", "SQLite: database is locked", false},
      {"read-only", as_other_user, readonly, "insert into t values (1);\n", "the database file is read-only", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.db.parent_path() == small && !mounted) continue;  // no tmpfs here: the page limit stands in
    std::vector<std::string> argv = row.prefix;
    for (const std::string& arg : {std::string(KXSQL_CLI_PATH), std::string("run"), std::string("--busy-timeout"),
                                   std::string("100"), std::string("--sqlite"), row.db.string(),
                                   Write("s.sql", row.script + "create table after_fault(x);\n").string()})
      argv.push_back(arg);
    const ProcessResult r = Program(argv);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    // The failed statement and its excerpt, then why the run stopped.
    EXPECT_LE(Lines(r.err).size(), row.at_open ? 1u : 3u) << r.err;
    if (!row.at_open) {
      EXPECT_NE(r.out.find(" run, 1 error, "), std::string::npos) << r.out;
    }
    EXPECT_EQ(CountRows(row.db, "after_fault"), -1);
  }
  sqlite3_close(holder);
  if (mounted) Program({"/bin/umount", small});
}

// Ctrl-C and SIGTERM cancel the running statement (it counts as failed) and
// stop the run; the summary counts what ran, and nothing is left half done.
TEST_F(Cli, StopSignalsCancelTheRunningStatement) {
  // Counting to 10^15 would take days: only the cancel ends it.
  const std::string endless =
      "with recursive n(i) as (select 1 union all select i + 1 from n) select count(*) from n where i > 1e15;\n";
  const std::string head = "create table t(a);\ninsert into t values (0);\n";
  const struct {
    int signal_number;
    bool single_transaction;
    std::string script;
    int exit_code;
    const char* summary;  // the beginning of standard output
    long long rows;       // -1: the table is not there
  } rows[] = {
      // The query ran on for 19 s after Ctrl-C.
      {SIGINT, false, head + endless + "insert into t values (1);\n", 130, "interrupted: 3 statements run, 1 error", 1},
      {SIGTERM, false, head + endless, 143, "terminated: 3 statements run, 1 error", 1},
      {SIGINT, true, head + endless, 130, "interrupted: 3 statements run, 1 error", -1},
      // Between statements: every statement counted, and only those, is in.
      {SIGTERM, false, head + Repeat("insert into t values (1);\n", 200000), 143, "terminated: ", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.signal_number) + (row.single_transaction ? " in one transaction" : ""));
    const fs::path db = dir_ / "stop.db";
    fs::remove(db);
    std::vector<std::string> argv = {KXSQL_CLI_PATH, "run", "--sqlite", db.string(), Write("s.sql", row.script)};
    if (row.single_transaction) argv.push_back("--single-transaction");
    Process run(argv);
    // In one transaction nothing shows outside before the end but the journal.
    WaitFor([&] { return row.single_transaction ? fs::exists(db.string() + "-journal") : CountRows(db, "t") > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run.Signal(row.signal_number);
    const ProcessResult r = run.Wait();
    EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
    EXPECT_EQ(r.out.rfind(row.summary, 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("rolled back: nothing of this run was committed") != std::string::npos,
              row.single_transaction) << r.out;
    // "terminated: N statements run, E errors": a statement that the signal
    // cancelled is counted, as failed.
    const std::size_t counts = r.out.find(": ") + 2;
    const long long reported = std::stoll(r.out.substr(counts));
    const std::size_t run_end = r.out.find(" run, ", counts);
    const long long failed = run_end == std::string::npos ? 0 : std::stoll(r.out.substr(run_end + 6));
    EXPECT_EQ(CountRows(db, "t"), row.rows ? row.rows : reported - 1 - failed) << r.out;
    EXPECT_FALSE(fs::exists(db.string() + "-journal"));
  }
}

TEST_F(Cli, SingleTransactionCommitsAllOrNothing) {
  const fs::path db = dir_ / "one.db";
  const fs::path good = Write("good.sql", "create table t(a);\ninsert into t values (1);\n");
  const fs::path more = Write("more.sql", "insert into t values (2);\n");
  const fs::path bad = Write("bad.sql", "insert into t values (3);\ninsert into nowhere values (4);\ninsert into t values (5);\n");
  ProcessResult r = Kxsql({"run", "--single-transaction", "--sqlite", db, good});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("rolled back"), std::string::npos);
  // The first failure ends the run and undoes it all, over several scripts too.
  r = Kxsql({"run", "--single-transaction", "--sqlite", db, more, bad});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.out.find("3 statements run, 1 error"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("rolled back: nothing of this run was committed"), std::string::npos) << r.out;
  EXPECT_EQ(CountRows(db, "t"), 1);
}

// The same over ODBC, against a throwaway PostgreSQL server.
class CliPostgres : public Cli {
 protected:
  static void SetUpTestSuite() { server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }
  void SetUp() override {
    if (server_.Unavailable()) GTEST_SKIP() << server_.Error();
    ASSERT_TRUE(server_.IsRunning() || server_.Start()) << server_.Error();
    Cli::SetUp();
  }
  static std::string Query(const std::string& sql) { return server_.Query(sql); }
  Process Start(const std::string& script, const char* rules = "native") {
    return Process({KXSQL_CLI_PATH, "run", "--rules", rules, "--connect", server_.ConnectionString(),
                    Write("pg.sql", script).string()});
  }
  inline static PostgresServer server_;
};

TEST_F(CliPostgres, CopyFromADumpNeverHangs) {
  // A plain pg_dump: psqlODBC sent the COPY and waited for ever at 100% CPU.
  // The classic rules make the rows and the statement after them one
  // statement, which fails; the run goes on. The native rules load the rows;
  // COPY TO STDOUT fails under both.
  const std::string dump =
      "CREATE TABLE copied (n integer, s text);\n"
      "copy copied to stdout with (format csv);\n"
      "COPY public.copied (n, s) FROM stdin;\n1\tone\n2\ttwo\n\\.\n\n"
      "SELECT 1;\nCREATE TABLE after_copy (n integer);\n";
  for (const char* rules : {"classic", "native"}) {
    SCOPED_TRACE(rules);
    const bool native = std::string(rules) == "native";
    Process run = Start(dump, rules);
    const ProcessResult r = run.Wait(60000);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("pg.sql:2: error: COPY ... FROM STDIN"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("needs the native rules"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("pg.sql:3: error:") == std::string::npos, native) << r.err;
    EXPECT_EQ(Query("SELECT count(*) FROM copied"), native ? "2" : "0");
    EXPECT_EQ(Query("SELECT to_regclass('after_copy') IS NOT NULL"), "t");
    Query("DROP TABLE copied, after_copy");
  }
}

TEST_F(CliPostgres, CtrlCCancelsTheStatementOnTheServer) {
  Process run = Start("SELECT pg_sleep(600);\n");
  const std::string running = "SELECT count(*) FROM pg_stat_activity WHERE query LIKE 'SELECT pg_sleep(600)%'";
  WaitFor([&] { return Query(running) == "1"; });
  run.Signal(SIGINT);
  const ProcessResult r = run.Wait();
  EXPECT_EQ(r.exit_code, 130);
  EXPECT_EQ(r.out.rfind("interrupted: 1 statement run, 1 error", 0), 0u) << r.out;
  EXPECT_NE(r.err.find("57014"), std::string::npos) << r.err;  // canceling statement due to user request
  EXPECT_EQ(Query(running), "0");  // it kept running on the server after the tool was gone
}

TEST_F(CliPostgres, LostConnectionStopsTheRunAtOnce) {
  Query("CREATE TABLE beat (n integer)");
  // A stopped server gave one error a statement: 41,303 of them, and exit 1.
  Process run = Start(Repeat("INSERT INTO beat VALUES (1);\nSELECT pg_sleep(0.001);\n", 5000));
  WaitFor([&] { return Query("SELECT count(*) > 20 FROM beat") == "t"; });
  server_.Stop();
  const ProcessResult r = run.Wait();
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("kxsql: stopped: the database cannot be used any more"), std::string::npos) << r.err;
  EXPECT_LE(Lines(r.err).size(), 3u) << r.err;
  EXPECT_NE(r.out.find(" run, 1 error, "), std::string::npos) << r.out;
}

}  // namespace

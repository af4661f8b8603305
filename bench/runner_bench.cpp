// Statements per second that ParseSQL reaches on a script of simple inserts:
// into SQLite in memory, and through ODBC into a throwaway PostgreSQL server
// on loopback. A baseline hands the same statements, already split, straight
// to ExecuteScriptStmt, so that the runner's own share shows. Rates are per
// second of wall-clock time, since a server round trip costs little CPU.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runner/script_runner.h"
#include "support/postgres_server.h"

namespace kxsql::bench {
namespace {

std::string InsertStatement(int i) {
  return "INSERT INTO item (id, name, qty, price) VALUES (" + std::to_string(i) + ", 'item number " +
         std::to_string(i) + "', " + std::to_string(i % 100) + ", " + std::to_string(i % 997) + ".25)";
}

std::string InsertScript(int count) {
  std::string script = "-- simple inserts\n";
  for (int i = 1; i <= count; ++i) script += InsertStatement(i) + ";\n";
  return script;
}

constexpr char kCreateTable[] = "CREATE TABLE item (id integer, name varchar(40), qty integer, price numeric(8,2))";

void Exec(CKXTr& tr, const char* sql) {
  CKXSQLStmt stmt(0);
  tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, sql);
}

template <class T>
void RunScript(benchmark::State& state, CKXTr& tr, int count) {
  const std::vector<T> text = TextOf<T>(InsertScript(count));
  CKXSQLTextT<T> source;
  std::uint64_t statements = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Exec(tr, "DELETE FROM item");
    state.ResumeTiming();
    unsigned int stmts = 0, errors = 0;
    if (source.ParseSQL(text.data(), &tr, stmts, errors, kxsql::detail::kNoErrorLimit) != 0 || errors != 0) {
      state.SkipWithError(("the script failed: " + CKXMsg::GetInstance()->GetLastMessage().text).c_str());
      return;
    }
    statements += stmts;
  }
  state.counters["stmts/s"] = benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
}

// The same statements, split beforehand, one ExecuteScriptStmt each.
void ExecuteOnly(benchmark::State& state, CKXTr& tr, int count) {
  std::vector<std::string> statements;
  for (int i = 1; i <= count; ++i) statements.push_back(InsertStatement(i));
  const DBMSTYPE& dbms = tr.GetDBMSType();
  std::uint64_t done = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Exec(tr, "DELETE FROM item");
    state.ResumeTiming();
    CKXSQLStmt stmt(0);
    for (const std::string& sql : statements) {
      if (dbms.ExecuteScriptStmt(stmt, &tr, sql.c_str()) != 0) {
        state.SkipWithError("a statement failed");
        return;
      }
    }
    done += statements.size();
  }
  state.counters["stmts/s"] = benchmark::Counter(static_cast<double>(done), benchmark::Counter::kIsRate);
}

constexpr int kSQLiteStatements = 20000;
// Every PostgreSQL statement is a round trip and its own transaction.
constexpr int kPostgresStatements = 2000;

CKXTr& SQLite() {
  static CKXTr* tr = [] {
    auto* t = new CKXTr;
    t->OpenSQLite(":memory:");
    Exec(*t, kCreateTable);
    return t;
  }();
  return *tr;
}

// Started at the first PostgreSQL benchmark, stopped when the program ends.
struct PostgresSetup {
  testing::PostgresServer server;
  CKXTr tr;
  std::string error;
  PostgresSetup() {
    if (!server.Start()) {
      error = server.Error();
      return;
    }
    if (!tr.Connect(server.ConnectionString().c_str())) {
      error = CKXMsg::GetInstance()->GetLastMessage().text;
      return;
    }
    Exec(tr, kCreateTable);
  }
};
PostgresSetup& Postgres() {
  static PostgresSetup setup;
  return setup;
}

void BM_ParseSQL_SQLite(benchmark::State& state) { RunScript<char>(state, SQLite(), kSQLiteStatements); }
void BM_ParseSQL_SQLite_16bit(benchmark::State& state) {
  RunScript<unsigned short>(state, SQLite(), kSQLiteStatements);
}
void BM_ExecuteScriptStmt_SQLite(benchmark::State& state) { ExecuteOnly(state, SQLite(), kSQLiteStatements); }

void BM_ParseSQL_PostgresODBC(benchmark::State& state) {
  PostgresSetup& pg = Postgres();
  if (!pg.error.empty()) {
    state.SkipWithError(pg.error.c_str());
    return;
  }
  RunScript<char>(state, pg.tr, kPostgresStatements);
}
void BM_ExecuteScriptStmt_PostgresODBC(benchmark::State& state) {
  PostgresSetup& pg = Postgres();
  if (!pg.error.empty()) {
    state.SkipWithError(pg.error.c_str());
    return;
  }
  ExecuteOnly(state, pg.tr, kPostgresStatements);
}

BENCHMARK(BM_ParseSQL_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseSQL_SQLite_16bit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExecuteScriptStmt_SQLite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseSQL_PostgresODBC)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExecuteScriptStmt_PostgresODBC)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kxsql::bench

BENCHMARK_MAIN();

// The body shared by the benchmarks that split text held in memory.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace kxsql::bench {

// Splits `utf8` (as text of width T) with GetNextStmt under `dialect`, once
// an iteration; throughput in bytes of the UTF-8 text.
template <class T>
void SplitInMemory(benchmark::State& state, const std::string& utf8, const DBMSTYPE& dialect) {
  const std::vector<T> text = TextOf<T>(utf8);
  CKXTr tr;
  tr.SetDBMSType(dialect);
  CKXSQLTextT<T> source;
  SQLStmtT<T> stmt;
  std::uint64_t statements = 0;
  for (auto _ : state) {
    if (source.Set(text.data()) != 0 || CountStatements(source, tr, stmt, statements) < 0) {
      state.SkipWithError("splitting failed");
      return;
    }
    benchmark::DoNotOptimize(statements);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
  state.counters["statements"] = static_cast<double>(statements);
}

}  // namespace kxsql::bench

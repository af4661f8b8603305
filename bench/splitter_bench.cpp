// GetNextStmt over generated scripts, per dialect and in both widths, and
// over blocks nested 10,000 deep. Throughput is in bytes of the script's
// UTF-8 text, so the two widths compare on the same script.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace kxsql::bench {
namespace {

template <class T>
void SplitText(benchmark::State& state, Flavour flavour) {
  const std::string utf8 = GenerateCorpus(flavour, kBenchCorpusBytes);
  const std::vector<T> text = TextOf<T>(utf8);
  CKXTr tr;
  tr.SetDBMSType(DialectOf(flavour));
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

template <class T>
void Register(Flavour flavour) {
  const std::string name = std::string("GetNextStmt/") + FlavourName(flavour) + "/" + WidthName(T());
  benchmark::RegisterBenchmark(name.c_str(), [flavour](benchmark::State& s) { SplitText<T>(s, flavour); })
      ->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace kxsql::bench

int main(int argc, char** argv) {
  using kxsql::bench::Flavour;
  for (Flavour f : {Flavour::kPostgres, Flavour::kSqlServer, Flavour::kOracle, Flavour::kNested}) {
    kxsql::bench::Register<char>(f);
    kxsql::bench::Register<unsigned short>(f);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// GetNextStmt over generated scripts, per dialect and in both widths, and
// over blocks nested 10,000 deep. Throughput is in bytes of the script's
// UTF-8 text, so the two widths compare on the same script.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/split_benchmark.h"

namespace kxsql::bench {
namespace {

template <class T>
void SplitText(benchmark::State& state, Flavour flavour) {
  SplitInMemory<T>(state, GenerateCorpus(flavour, kBenchCorpusBytes), DialectOf(flavour));
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

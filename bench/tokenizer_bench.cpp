// GetToken over a generated script, in both widths. Throughput is in bytes of
// the script's UTF-8 text, so the two widths compare on the same script.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace kxsql::bench {
namespace {

template <class T>
void GetTokens(benchmark::State& state, Flavour flavour) {
  const std::string utf8 = GenerateCorpus(flavour, kBenchCorpusBytes);
  const std::vector<T> text = TextOf<T>(utf8);
  CKXSQLTextT<T> source;
  SQLToken<T> token;
  std::uint64_t tokens = 0;
  for (auto _ : state) {
    if (source.Set(text.data()) != 0) {
      state.SkipWithError("Set failed");
      return;
    }
    tokens = 0;
    long rc;
    while ((rc = source.GetToken(token, 0)) == 0) ++tokens;
    if (rc < 0) {
      state.SkipWithError("GetToken failed");
      return;
    }
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
  state.counters["tokens"] = static_cast<double>(tokens);
}

template <class T>
void Register(Flavour flavour) {
  const std::string name = std::string("GetToken/") + FlavourName(flavour) + "/" + WidthName(T());
  benchmark::RegisterBenchmark(name.c_str(), [flavour](benchmark::State& s) { GetTokens<T>(s, flavour); })
      ->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace kxsql::bench

int main(int argc, char** argv) {
  using kxsql::bench::Flavour;
  for (Flavour f : {Flavour::kPostgres, Flavour::kSqlServer}) {
    kxsql::bench::Register<char>(f);
    kxsql::bench::Register<unsigned short>(f);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

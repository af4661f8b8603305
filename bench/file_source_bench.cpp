// Splitting a script file through CKXSQLFile, in UTF-8 and in UTF-16 LE,
// beside the same script in memory. Throughput is in bytes of the script's
// UTF-8 text in all three, so they compare on the same script; the files are
// written to a fresh temporary folder, read from the page cache, and removed
// at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"
#include "bench/split_benchmark.h"

namespace kxsql::bench {
namespace {

// The files are larger than the in-memory benchmarks' scripts, so that the
// per-file costs (open, encoding detection) weigh as little as in real use.
constexpr std::uint64_t kFileBytes = 16u << 20;

struct Files {
  std::filesystem::path dir;
  std::string utf8;  // the script
  std::string utf8_path;
  std::string utf16_path;
};

Files* g_files = nullptr;  // set once the files are written

Files& TheFiles() {
  static Files files = [] {
    Files f;
    f.dir = std::filesystem::temp_directory_path() / ("kxsql-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f.dir);
    f.utf8 = GenerateCorpus(Flavour::kPostgres, kFileBytes);
    f.utf8_path = (f.dir / "script-utf8.sql").string();
    f.utf16_path = (f.dir / "script-utf16le.sql").string();
    if (!WriteBytes(f.utf8_path, f.utf8) || !WriteUtf16le(f.utf16_path, f.utf8)) f.utf8_path.clear();
    return f;
  }();
  g_files = &files;
  return files;
}

void SplitFile(benchmark::State& state, bool utf16) {
  const Files& files = TheFiles();
  if (files.utf8_path.empty()) {
    state.SkipWithError("cannot write the script files");
    return;
  }
  CKXTr tr;
  tr.SetDBMSType(DialectOf(Flavour::kPostgres));
  CKXSQLFile source;
  SQLStmtT<char> stmt;
  std::uint64_t statements = 0;
  for (auto _ : state) {
    if (source.Open((utf16 ? files.utf16_path : files.utf8_path).c_str()) != 1 ||
        CountStatements<char>(source, tr, stmt, statements) < 0) {
      state.SkipWithError("splitting the file failed");
      return;
    }
    source.Close();
    benchmark::DoNotOptimize(statements);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.utf8.size()));
  state.counters["statements"] = static_cast<double>(statements);
}

void SplitMemory(benchmark::State& state) {
  const Files& files = TheFiles();
  SplitInMemory<char>(state, files.utf8, DialectOf(Flavour::kPostgres));
}

}  // namespace
}  // namespace kxsql::bench

int main(int argc, char** argv) {
  using namespace kxsql::bench;
  benchmark::RegisterBenchmark("SplitFile/postgres/utf8", [](benchmark::State& s) { SplitFile(s, false); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SplitFile/postgres/utf16le", [](benchmark::State& s) { SplitFile(s, true); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SplitMemory/postgres/8bit", SplitMemory)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  if (g_files) std::filesystem::remove_all(g_files->dir, ignored);
  return 0;
}

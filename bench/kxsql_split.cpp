// Times kxsql's statement splitting of one script file, for the comparison
// with other splitters: 8-bit and 16-bit text in memory, and the file source
// over the file itself and over a UTF-16 LE copy of it. Only the splitting is
// timed; reading the file into memory and widening it are not. Times are the
// process's CPU time, which other work on a shared machine hardly disturbs.
//
//   kxsql_split --dialect postgres --repeat 5 pg.sql --utf16-file pg16.sql
//   kxsql_split --rules native --dialect postgres pg.sql
//   kxsql_split --token-path --dialect sqlserver ms.sql
//
// --token-path splits token by token through GetToken, as a stream of a
// derived class does and as every stream did before the run-based path: the
// "before" of the comparison.
//
// Prints one line per mode, then the process's peak resident memory:
//   kxsql-text8 mbps=512.3 statements=81234 seconds=0.0391 bytes=20971520
//   peak_rss_kb=23456
// Throughput is in bytes of the UTF-8 script, whatever the mode reads, so the
// modes compare on the same text. Statements are counted as an application
// runs them: the non-empty ones.
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"

namespace {

using kxsql::bench::CountStatements;

int Usage() {
  std::fprintf(stderr,
               "usage: kxsql_split [--dialect NAME] [--repeat N] [--modes LIST] [--utf16-file PATH] FILE\n"
               "  FILE          the script, in UTF-8\n"
               "  --dialect     the DBMS type to split as (default postgres)\n"
               "  --repeat      timed runs per mode; the median is reported (default 5)\n"
               "  --modes       comma-separated: text8, text16, file8, file16\n"
               "                (default: text8,text16,file8, and file16 with --utf16-file)\n"
               "  --utf16-file  the same script in UTF-16 LE, for the file16 mode\n"
               "  --rules       classic (default) or native; native modes print as kxsql-native-...\n"
               "  --token-path  split token by token through GetToken; modes print as kxsql-tokens-...\n");
  return 2;
}

bool ReadFile(const char* path, std::string& out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

double CpuSeconds() {
  timespec ts {};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

// One way of splitting the script, with the CPU time of each of its runs.
struct Mode {
  Mode(std::string n, std::function<bool(std::uint64_t&)> f) : name(std::move(n)), split(std::move(f)) {}
  std::string name;
  std::function<bool(std::uint64_t&)> split;
  std::vector<double> times;
  std::uint64_t statements = 0;
  bool failed = false;
};

int g_rules = KXSQL_RULES_CLASSIC;
bool g_token_path = false;

template <class T>
bool SplitText(const std::vector<T>& text, const CKXTr& tr, std::uint64_t& statements) {
  CKXSQLTextT<T> source;
  SQLStmtT<T> stmt;
  kxsql::detail::StreamProbe<T>::SplitThroughTokens(source, g_token_path);
  return source.SetSplitRules(g_rules) == 0 && source.Set(text.data()) == 0 &&
         CountStatements(source, tr, stmt, statements) >= 0;
}

bool SplitFile(const char* path, const CKXTr& tr, std::uint64_t& statements) {
  CKXSQLFile source;
  SQLStmtT<char> stmt;
  kxsql::detail::StreamProbe<char>::SplitThroughTokens(source, g_token_path);
  return source.SetSplitRules(g_rules) == 0 && source.Open(path) == 1 &&
         CountStatements<char>(source, tr, stmt, statements) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* dialect = "postgres";
  int repeat = 5;
  std::string modes;
  const char* utf16_path = nullptr;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--dialect") == 0 && has_value) dialect = argv[++i];
    else if (std::strcmp(argv[i], "--repeat") == 0 && has_value) repeat = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--modes") == 0 && has_value) modes = argv[++i];
    else if (std::strcmp(argv[i], "--utf16-file") == 0 && has_value) utf16_path = argv[++i];
    else if (std::strcmp(argv[i], "--rules") == 0 && has_value)
      g_rules = std::strcmp(argv[++i], "native") == 0 ? KXSQL_RULES_NATIVE : KXSQL_RULES_CLASSIC;
    else if (std::strcmp(argv[i], "--token-path") == 0) g_token_path = true;
    else if (argv[i][0] == '-' || path) return Usage();
    else path = argv[i];
  }
  if (!path) return Usage();
  if (modes.empty()) modes = utf16_path ? "text8,text16,file8,file16" : "text8,text16,file8";
  const DBMSTYPE* dbms = DBMSTYPE::FromName(dialect);
  if (!dbms) {
    std::fprintf(stderr, "kxsql_split: unknown dialect '%s'\n", dialect);
    return 2;
  }
  CKXTr tr;
  tr.SetDBMSType(*dbms);

  struct stat st {};
  if (::stat(path, &st) != 0) {
    std::perror(path);
    return 1;
  }
  const double bytes = static_cast<double>(st.st_size);

  // The in-memory texts are made only for the modes that need them, so that
  // the file modes alone show what the file source itself holds.
  const std::string list = "," + modes + ",";
  const auto wants = [&](const char* mode) { return list.find(std::string(",") + mode + ",") != std::string::npos; };
  std::vector<char> text8;
  std::vector<unsigned short> text16;
  if (wants("text8") || wants("text16")) {
    std::string utf8;
    if (!ReadFile(path, utf8)) {
      std::perror(path);
      return 1;
    }
    if (wants("text8")) text8 = kxsql::bench::TextOf<char>(utf8);
    if (wants("text16")) text16 = kxsql::bench::TextOf<unsigned short>(utf8);
  }
  if (wants("file16") && !utf16_path) return Usage();

  std::vector<Mode> runs;
  if (wants("text8")) runs.emplace_back("text8", [&](std::uint64_t& n) { return SplitText(text8, tr, n); });
  if (wants("text16")) runs.emplace_back("text16", [&](std::uint64_t& n) { return SplitText(text16, tr, n); });
  if (wants("file8")) runs.emplace_back("file8", [&](std::uint64_t& n) { return SplitFile(path, tr, n); });
  if (wants("file16")) runs.emplace_back("file16", [&](std::uint64_t& n) { return SplitFile(utf16_path, tr, n); });
  if (runs.empty()) return Usage();

  // The modes take turns, so that a change in the machine's load falls on
  // all of them alike and their ratios hold.
  for (int r = 0; r < repeat; ++r) {
    for (Mode& mode : runs) {
      if (mode.failed) continue;
      const double start = CpuSeconds();
      mode.failed = !mode.split(mode.statements);
      mode.times.push_back(CpuSeconds() - start);
    }
  }
  bool ok = true;
  for (const Mode& mode : runs) {
    if (mode.failed) {
      std::fprintf(stderr, "kxsql_split: %s: splitting failed\n", mode.name.c_str());
      ok = false;
      continue;
    }
    const double seconds = Median(mode.times);
    std::printf("kxsql-%s%s%s mbps=%.1f statements=%llu seconds=%.4f bytes=%.0f\n",
                g_rules == KXSQL_RULES_NATIVE ? "native-" : "", g_token_path ? "tokens-" : "", mode.name.c_str(),
                bytes / (1 << 20) / seconds, static_cast<unsigned long long>(mode.statements), seconds, bytes);
  }

  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_kb=%ld\n", usage.ru_maxrss);
  return ok ? 0 : 1;
}

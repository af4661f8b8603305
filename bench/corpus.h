// Generated SQL scripts for the benchmarks and the comparison with other
// splitters: real-looking DDL, inserts, queries, comments and stored code in
// the dialect of one database, the same text for the same flavour, size and
// seed on every machine.
//
//   std::string sql = kxsql::bench::GenerateCorpus(kxsql::bench::Flavour::kPostgres, 4 << 20);
//   CKXSQLTextT<char> source(sql.c_str());
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kxsql::bench {

enum class Flavour {
  // `;`-terminated statements and untagged `$$` function bodies. Written so
  // that every splitter that knows PostgreSQL finds the same statements: no
  // single `$` anywhere, no tagged quotes, no backslashes in strings, no
  // empty statements, nothing after the last `;` but a line end, and none of
  // the words that open a stored-code block outside a `$$` body (a trigger
  // function returns "trigger", quoted).
  kPostgres,
  // T-SQL batches that end at GO lines; procedures with nested BEGIN ... END.
  kSqlServer,
  // PL/SQL procedures, functions, triggers and anonymous blocks ended by a
  // `/` line, between plain `;`-terminated statements.
  kOracle,
  // BEGIN ... END blocks nested 10,000 deep, one nest after another, each
  // ended by a GO line.
  kNested,
};

// The flavour called `name` ("postgres", "sqlserver", "oracle", "nested").
bool ParseFlavour(const std::string& name, Flavour& flavour);
const char* FlavourName(Flavour flavour);

// Hands out the script in pieces of about a megabyte, each ending after a
// whole statement, until at least `min_bytes` bytes of UTF-8 text have been
// written. The script ends with a line end after its last statement.
void GenerateCorpus(Flavour flavour, std::uint64_t min_bytes, std::uint64_t seed,
                    const std::function<void(const std::string&)>& sink);

// The whole script in one string.
std::string GenerateCorpus(Flavour flavour, std::uint64_t min_bytes, std::uint64_t seed = 1);

}  // namespace kxsql::bench

// What the benchmarks and the comparison driver share: the generated scripts
// in both widths, the dialect each flavour is split as, and statement
// counting as an application does it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "kxsql.h"

namespace kxsql::bench {

// Size of the scripts that the benchmarks run over: large enough that one
// pass takes several milliseconds, small enough to be built in a moment.
constexpr std::uint64_t kBenchCorpusBytes = 4u << 20;

inline const DBMSTYPE& DialectOf(Flavour flavour) {
  switch (flavour) {
    case Flavour::kPostgres: return DBMSTYPE::POSTGRES;
    case Flavour::kOracle: return DBMSTYPE::ORACLE;
    case Flavour::kSqlServer:
    case Flavour::kNested: return DBMSTYPE::SQLSERVER;
  }
  return DBMSTYPE::GENERIC;
}

inline const char* WidthName(char) { return "8bit"; }
inline const char* WidthName(unsigned short) { return "16bit"; }

// The script as zero-terminated text of T: UTF-8 bytes for char, UTF-16
// units for unsigned short.
template <class T>
std::vector<T> TextOf(const std::string& utf8);
template <>
inline std::vector<char> TextOf<char>(const std::string& utf8) {
  std::vector<char> text(utf8.begin(), utf8.end());
  text.push_back(0);
  return text;
}
template <>
inline std::vector<unsigned short> TextOf<unsigned short>(const std::string& utf8) {
  const CKXStringW wide = KXWiden(utf8.data(), utf8.size());
  std::vector<unsigned short> text(wide.GetString(), wide.GetString() + wide.GetLength());
  text.push_back(0);
  return text;
}

// Writes `utf8` as UTF-16 LE with a byte-order mark.
inline bool WriteUtf16le(const std::string& path, const std::string& utf8) {
  const CKXStringW wide = KXWiden(utf8.data(), utf8.size());
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + 2 * wide.GetLength());
  for (std::size_t i = 0; i < wide.GetLength(); ++i) {
    bytes += static_cast<char>(wide[i] & 0xFF);
    bytes += static_cast<char>(wide[i] >> 8);
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Splits what is left of `source` and counts the statements an application
// would run: those that are not empty (IsEmpty false). Returns the last
// result of GetNextStmt: 1 at the end of the input, negative on failure.
template <class T>
long CountStatements(CKXSQLStreamT<T>& source, const CKXTr& tr, SQLStmtT<T>& stmt, std::uint64_t& statements) {
  statements = 0;
  for (;;) {
    const long rc = source.GetNextStmt(stmt, &tr, nullptr);
    if (rc < 0) return rc;
    if (!stmt.IsEmpty()) ++statements;
    if (rc != 0) return rc;
  }
}

}  // namespace kxsql::bench

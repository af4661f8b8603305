// The generated scripts that the benchmarks and the comparison rely on: the
// same bytes for the same flavour, size and seed, a smaller script that is
// the start of a larger one, and a PostgreSQL script free of the constructs
// on which kxsql, libpg_query and sqlparse legitimately split differently.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace kxsql::bench {
namespace {

constexpr std::uint64_t kSmall = 256 << 10;

const Flavour kAllFlavours[] = {Flavour::kPostgres, Flavour::kSqlServer, Flavour::kOracle, Flavour::kNested};

TEST(Corpus, SameSeedSameBytesAndSmallerIsAPrefix) {
  for (Flavour f : kAllFlavours) {
    SCOPED_TRACE(FlavourName(f));
    const std::string a = GenerateCorpus(f, kSmall, 3);
    EXPECT_GE(a.size(), kSmall);
    EXPECT_EQ(a, GenerateCorpus(f, kSmall, 3));
    // The comparison times sqlparse on the start of the large script.
    const std::string larger = GenerateCorpus(f, 3 * kSmall, 3);
    EXPECT_EQ(larger.compare(0, a.size(), a), 0);
    if (f != Flavour::kNested) {
      EXPECT_NE(a, GenerateCorpus(f, kSmall, 4));
    }
  }
}

TEST(Corpus, PiecesEndAfterWholeStatements) {
  for (Flavour f : kAllFlavours) {
    SCOPED_TRACE(FlavourName(f));
    std::vector<std::string> pieces;
    GenerateCorpus(f, 3u << 20, 1, [&](const std::string& piece) { pieces.push_back(piece); });
    ASSERT_GT(pieces.size(), 1u);
    for (const std::string& piece : pieces) {
      ASSERT_FALSE(piece.empty());
      EXPECT_EQ(piece.back(), '\n');
    }
  }
}

// What would make the three splitters disagree on the PostgreSQL script.
TEST(Corpus, PostgresAvoidsWhatSplittersDisagreeOn) {
  const std::string sql = GenerateCorpus(Flavour::kPostgres, 1u << 20, 1);
  ASSERT_GE(sql.size(), 2u);
  EXPECT_EQ(sql.compare(sql.size() - 2, 2, ";\n"), 0) << "nothing may follow the last semicolon";
  EXPECT_EQ(sql.find('\\'), std::string::npos) << "sqlparse reads a backslash in a string as an escape";
  EXPECT_EQ(sql.find(";;"), std::string::npos) << "no empty statements";
  std::size_t dollars = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] != '$') continue;
    ASSERT_TRUE(i + 1 < sql.size() && sql[i + 1] == '$') << "a single $ at byte " << i;
    ++dollars;
    ++i;
  }
  EXPECT_GT(dollars, 0u);
  EXPECT_EQ(dollars % 2, 0u) << "every $$ body is closed";
}

// kxsql finds one statement for each `;` outside strings, comments and `$$`
// bodies: the count that libpg_query and sqlparse find too.
TEST(Corpus, PostgresSplitsAtEverySemicolonOutsideBodies) {
  const std::string sql = GenerateCorpus(Flavour::kPostgres, 512 << 10, 1);
  std::uint64_t semicolons = 0;
  bool in_body = false;
  char quote = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens: same count
    } else if (c == '$') {
      in_body = !in_body;
      ++i;
    } else if (in_body) {
      continue;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '-' && sql[i + 1] == '-') {
      i = sql.find('\n', i);
    } else if (c == '/' && sql[i + 1] == '*') {
      i = sql.find("*/", i) + 1;
    } else if (c == ';') {
      ++semicolons;
    }
  }
  CKXTr tr;
  tr.SetDBMSType(DialectOf(Flavour::kPostgres));
  for (int width = 0; width < 2; ++width) {
    SCOPED_TRACE(width ? "16-bit" : "8-bit");
    std::uint64_t statements = 0;
    if (width == 0) {
      const std::vector<char> text = TextOf<char>(sql);
      CKXSQLTextT<char> source(text.data());
      SQLStmtT<char> stmt;
      EXPECT_EQ(CountStatements(source, tr, stmt, statements), KXSQL_END);
    } else {
      const std::vector<unsigned short> text = TextOf<unsigned short>(sql);
      CKXSQLTextT<unsigned short> source(text.data());
      SQLStmtT<unsigned short> stmt;
      EXPECT_EQ(CountStatements(source, tr, stmt, statements), KXSQL_END);
    }
    EXPECT_EQ(statements, semicolons);
  }
}

TEST(Corpus, Utf16FileHoldsTheSameScript) {
  const std::string sql = GenerateCorpus(Flavour::kPostgres, 64 << 10, 1);
  const std::string path = ::testing::TempDir() + "kxsql-corpus-utf16.sql";
  ASSERT_TRUE(WriteUtf16le(path, sql));
  CKXSQLFile file;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  std::string read;
  SQLToken<char> token;
  while (file.GetToken(token, 0) == 0) read += token.GetText();
  file.Close();
  std::remove(path.c_str());
  EXPECT_EQ(read, sql);
}

}  // namespace
}  // namespace kxsql::bench

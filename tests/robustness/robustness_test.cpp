// Inputs at the limits: a million nested blocks, tokens of 100 MiB, files of
// nothing but NUL or 0xFF bytes or lone surrogates. Each must be read to its
// end without exhausting the stack, looping or losing count. Nothing here
// measures time.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Piece;
using kxsql::testing::SplitAll;

constexpr std::size_t kDepth = 1000000;
constexpr std::size_t kHuge = std::size_t{100} << 20;
constexpr std::size_t kFileSize = std::size_t{1} << 20;

// Nesting is followed with a stack of its own, not the call stack: a million
// open blocks of every kind split like three.
TEST(DeepNesting, MillionLevelsSplitLikeThree) {
  const std::string openers[] = {"BEGIN ", "IF a THEN ", "FOR i IN 1..2 LOOP "};
  const std::string closers[] = {"END; ", "END IF; ", "END LOOP; "};
  std::string block = "BEGIN ";
  for (std::size_t i = 0; i < kDepth; ++i) block += openers[i % 3];
  const std::string cut = block;
  for (std::size_t i = kDepth; i-- > 0;) block += closers[i % 3];
  block += "END";
  std::vector<Piece> pieces = SplitAll<char>(block + "; select 1;", DBMSTYPE::ORACLE);
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_TRUE(pieces[0].rc == 0 && pieces[0].text == block);  // not EXPECT_EQ: a failure would print megabytes
  EXPECT_EQ(std::vector<Piece>(pieces.begin() + 1, pieces.end()),
            (std::vector<Piece>{{0, ""}, {0, "select 1"}, {1, ""}}));
  // Cut off by the end of the input.
  pieces = SplitAll<char>(cut, DBMSTYPE::ORACLE);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_TRUE(pieces[0].rc == 1 && pieces[0].text == cut);
}

TEST(HugeToken, HundredMebibytesIsOneToken) {
  // The line comment runs to the end of the source.
  const struct {
    std::string open;
    char fill;
    std::string close;
    const SQLTOKEN_TYPE* type;
  } cases[] = {
      {"'", 'a', "'", &SQLTOKEN_TYPE::SQ_STRING},
      {"/*", '*', "*/", &SQLTOKEN_TYPE::MULTILINECOMMENT},
      {"", 'w', "", &SQLTOKEN_TYPE::SYMBOL},
      {"--", 'c', "", &SQLTOKEN_TYPE::LINECOMMENT},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.type->GetName());
    const std::string text = row.open + std::string(kHuge, row.fill) + row.close;
    CKXSQLTextT<char> source(text.c_str());
    SQLToken<char> token;
    ASSERT_EQ(source.GetToken(token, 0), 0);
    EXPECT_TRUE(token.Is(*row.type));
    EXPECT_EQ(token.GetLength(), text.size());
    EXPECT_EQ(source.GetDoneCount(), text.size());
    EXPECT_EQ(source.GetToken(token, 0), 1);
  }
  // As a script, the line comment is one empty statement.
  const std::string comment = "--" + std::string(kHuge, 'c');
  CKXSQLTextT<char> source(comment.c_str());
  CKXTr tr;
  SQLStmtT<char> stmt;
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, nullptr), 1);
  EXPECT_TRUE(stmt.IsEmpty());
  EXPECT_EQ(CharSet<char>::GetLength(stmt.GetText()), comment.size());
}

// A scratch file, removed when the test is done with it.
struct ScratchFile {
  ScratchFile(const std::string& name, const std::string& bytes)
      : path((std::filesystem::temp_directory_path() / ("kxsql-robustness-" + std::to_string(getpid()) + "-" + name))
                 .string()) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  const std::string path;
};

std::string Filled(const std::string& unit, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += unit;
  bytes.resize(size);
  return bytes;
}

TEST(OddFiles, ReadToTheirEnd) {
  const struct {
    const char* what;
    std::string bytes;
    std::size_t statements;  // what GetNextStmt gives, up to the end
  } cases[] = {
      // NUL characters: each ends a token read with nothing read.
      {"nul", std::string(kFileSize, '\0'), kFileSize},
      // Bytes that are never UTF-8: each becomes a character of its own.
      {"ff", std::string(kFileSize, '\xff'), 1},
      // Statements between NULs: each gives a statement, then an empty one
      // for its NUL; the file ends in the middle of the last one.
      {"statements-and-nul", Filled(std::string("SELECT 1;\0", 10), kFileSize), 2 * (kFileSize / 10) + 1},
      // UTF-16 with its mark, then nothing but unpaired high surrogates.
      {"lone-surrogates", "\xff\xfe" + Filled(std::string("\x00\xd8", 2), kFileSize - 2), 1},
  };
  // No encoding makes more than three characters of one byte (U+FFFD for a bad byte), and every
  // read takes at least one character.
  const std::size_t max_reads = 3 * kFileSize + 2;
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    const ScratchFile file(row.what, row.bytes);
    CKXSQLFile source;
    ASSERT_EQ(source.Open(file.path.c_str()), 1);
    SQLToken<char> token;
    std::size_t reads = 0;
    unsigned int done = source.GetDoneCount();
    long rc;
    do {
      ASSERT_LE(++reads, max_reads) << "the tokenizer does not progress";
      rc = source.GetToken(token, 0);
      ASSERT_GE(rc, 0);
      ASSERT_GE(source.GetDoneCount(), done);
      done = source.GetDoneCount();
    } while (rc == 0 || !source.IsEOF());
    EXPECT_EQ(done, row.bytes.size());

    ASSERT_EQ(source.Open(file.path.c_str()), 1);
    CKXTr tr;
    const std::vector<Piece> pieces = SplitAll(source, tr, nullptr, max_reads);
    EXPECT_EQ(pieces.size(), row.statements);
    EXPECT_EQ(pieces.back().rc, 1);
    EXPECT_EQ(source.GetDoneCount(), row.bytes.size());
  }
}

}  // namespace

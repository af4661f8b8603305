// Inputs at the limits: a million nested blocks, tokens of 100 MiB, files of
// nothing but NUL or 0xFF bytes, 16-bit text of lone surrogates. Each must
// be read to its end without exhausting the stack, looping or losing count.
// Nothing here measures time.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/test_text.h"

namespace {

using kxsql::testing::Narrow;
using kxsql::testing::Text;

template <class T>
class NestedBlocks : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(NestedBlocks, Widths);

constexpr std::size_t kDepth = 1000000;
constexpr std::size_t kHuge = std::size_t{100} << 20;
constexpr std::size_t kFileSize = std::size_t{4} << 20;

std::string Repeat(const std::string& part, std::size_t n) {
  std::string out;
  out.reserve(part.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += part;
  return out;
}

struct Piece {
  long rc;
  std::string text;
  bool operator==(const Piece& other) const { return rc == other.rc && text == other.text; }
  friend std::ostream& operator<<(std::ostream& out, const Piece& piece) {
    return out << piece.rc << ":\"" << piece.text.substr(0, 80) << (piece.text.size() > 80 ? "...\"" : "\"");
  }
};

// Every statement of `source`, read the way a caller must: on after a result
// of 1 while the source has characters left (a NUL read from a file ends a
// token read). Fails the test instead of looping when a call takes nothing.
template <class T>
std::vector<Piece> SplitAll(CKXSQLStreamT<T>& source, const DBMSTYPE& dbms, std::size_t max_calls) {
  CKXTr tr;
  tr.SetDBMSType(dbms);
  SQLStmtT<T> stmt;
  std::vector<Piece> pieces;
  long rc;
  do {
    if (pieces.size() > max_calls) {
      ADD_FAILURE() << "the splitter does not progress";
      break;
    }
    rc = source.GetNextStmt(stmt, &tr, nullptr);
    pieces.push_back({rc, Narrow(stmt.GetText())});
  } while (rc == 0 || (rc == 1 && !source.IsEOF()));
  return pieces;
}

// A block nested kDepth deep: head, kDepth openers, kDepth - 1 closers and the
// tail, which closes the outermost level. `rest` follows the block; `rest_pieces`
// are the statements it gives.
struct NestingCase {
  const char* what;
  const DBMSTYPE* dbms;
  std::string head, open, close, tail;
  std::string rest;
  std::vector<Piece> rest_pieces;
};

const std::vector<Piece> kEmptyThenSelect = {{0, ""}, {0, "SELECT 1"}, {1, ""}};
const std::vector<Piece> kSelect = {{0, "SELECT 1"}, {1, ""}};

const NestingCase kNestingCases[] = {
    // A block ends at its END: the semicolon behind it is an empty statement.
    {"BEGIN", &DBMSTYPE::GENERIC, "", "BEGIN x;\n", "END;\n", "END", ";\nSELECT 1;\n", kEmptyThenSelect},
    {"Oracle IF", &DBMSTYPE::ORACLE, "BEGIN\n", "IF a THEN x;\n", "END IF;\n", "END IF;\nEND",
     ";\nSELECT 1;\n", kEmptyThenSelect},
    {"DB2 IF", &DBMSTYPE::DB2, "BEGIN\n", "IF a THEN x;\n", "END IF;\n", "END IF;\nEND", ";\nSELECT 1;\n",
     kEmptyThenSelect},
    {"Oracle FOR", &DBMSTYPE::ORACLE, "BEGIN\n", "FOR i IN 1..2 LOOP x;\n", "END LOOP;\n", "END LOOP;\nEND",
     ";\nSELECT 1;\n", kEmptyThenSelect},
    // An Oracle procedure takes the semicolon after its END.
    {"Oracle procedure", &DBMSTYPE::ORACLE, "CREATE PROCEDURE p AS\nBEGIN\n", "BEGIN x;\n", "END;\n",
     "END;\nEND;", "\nSELECT 1;\n", kSelect},
    // Dollar quotes do not nest: a body of a million lines instead, with
    // single dollar signs that must not close it.
    {"Postgres $$ body", &DBMSTYPE::POSTGRES, "CREATE FUNCTION f() RETURNS int AS $$\nBEGIN\n",
     "  x := $1 + 1; -- $ ;\n", "", "END;\n$$ LANGUAGE plpgsql", ";\nSELECT 1;\n", kSelect},
};

TYPED_TEST(NestedBlocks, MillionDeepIsOneStatement) {
  for (const NestingCase& row : kNestingCases) {
    SCOPED_TRACE(row.what);
    const std::string block = row.head + Repeat(row.open, kDepth) + Repeat(row.close, kDepth - 1) + row.tail;
    const std::string script = block + row.rest;
    std::vector<Piece> pieces;
    {
      const Text<TypeParam> text(script);
      CKXSQLTextT<TypeParam> source(text.c_str());
      pieces = SplitAll(source, *row.dbms, script.size());
    }
    ASSERT_EQ(pieces.size(), row.rest_pieces.size() + 1);
    EXPECT_EQ(pieces[0].rc, 0);
    EXPECT_EQ(pieces[0].text.size(), block.size());
    EXPECT_TRUE(pieces[0].text == block);  // not EXPECT_EQ: a failure would print megabytes
    EXPECT_EQ(std::vector<Piece>(pieces.begin() + 1, pieces.end()), row.rest_pieces);
  }
}

// One token of 100 MiB; the line comment runs to the end of the source.
struct HugeTokenCase {
  const char* what;
  std::string open;
  char fill;
  std::string close;
  const SQLTOKEN_TYPE* type;
};

const HugeTokenCase kHugeTokenCases[] = {
    {"string", "'", 'a', "'", &SQLTOKEN_TYPE::SQ_STRING},
    {"block comment", "/*", '*', "*/", &SQLTOKEN_TYPE::MULTILINECOMMENT},
    {"word", "", 'w', "", &SQLTOKEN_TYPE::SYMBOL},
    {"line comment without a line end", "--", 'c', "", &SQLTOKEN_TYPE::LINECOMMENT},
};

TEST(HugeToken, HundredMebibytesIsOneToken) {
  for (const HugeTokenCase& row : kHugeTokenCases) {
    SCOPED_TRACE(row.what);
    const std::string text = row.open + std::string(kHuge, row.fill) + row.close;
    CKXSQLTextT<char> source(text.c_str());
    SQLToken<char> token;
    ASSERT_EQ(source.GetToken(token, 0), 0);
    EXPECT_TRUE(token.Is(*row.type));
    EXPECT_EQ(token.GetLength(), text.size());
    EXPECT_EQ(source.GetDoneCount(), text.size());
    EXPECT_EQ(source.GetToken(token, 0), 1);
  }
}

TEST(HugeToken, HundredMebibyteLineCommentIsAnEmptyStatement) {
  const std::string text = "--" + std::string(kHuge, 'c');
  CKXSQLTextT<char> source(text.c_str());
  CKXTr tr;
  SQLStmtT<char> stmt;
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, nullptr), 1);
  EXPECT_TRUE(stmt.IsEmpty());
  EXPECT_EQ(CharSet<char>::GetLength(stmt.GetText()), text.size());
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, nullptr), 1);
}

// A scratch file, removed when the test is done with it.
class ScratchFile {
 public:
  ScratchFile(const std::string& name, const std::string& bytes)
      : path_((std::filesystem::temp_directory_path() /
               ("kxsql-robustness-" + std::to_string(getpid()) + "-" + name))
                  .string()) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) ADD_FAILURE() << path_;
    if (f) std::fclose(f);
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

std::string Filled(const std::string& unit, std::size_t size) {
  std::string bytes = Repeat(unit, size / unit.size() + 1);
  bytes.resize(size);
  return bytes;
}

struct FileCase {
  const char* what;
  std::string bytes;
  std::size_t statements;  // what GetNextStmt gives, up to the end; 0: not counted
};

// Every decoded character comes out of at most one read, and no encoding
// makes more than three characters of one byte (U+FFFD for a bad byte).
const std::size_t kMaxReads = 3 * kFileSize + 2;

TEST(OddFiles, ReadToTheirEnd) {
  const FileCase cases[] = {
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
  for (const FileCase& row : cases) {
    SCOPED_TRACE(row.what);
    const ScratchFile file(row.what, row.bytes);
    CKXSQLFile source;
    ASSERT_EQ(source.Open(file.path()), 1);
    ASSERT_EQ(source.GetTotalCount(), row.bytes.size());

    SQLToken<char> token;
    std::size_t reads = 0;
    unsigned int done = source.GetDoneCount();
    long rc;
    do {
      ASSERT_LE(++reads, kMaxReads) << "the tokenizer does not progress";
      rc = source.GetToken(token, 0);
      ASSERT_GE(rc, 0);
      const unsigned int now = source.GetDoneCount();
      ASSERT_GE(now, done);
      ASSERT_LE(now, source.GetTotalCount());
      done = now;
    } while (rc == 0 || !source.IsEOF());
    EXPECT_EQ(done, row.bytes.size());

    ASSERT_EQ(source.Open(file.path()), 1);
    const std::vector<Piece> pieces = SplitAll(source, DBMSTYPE::GENERIC, kMaxReads);
    EXPECT_EQ(pieces.size(), row.statements);
    EXPECT_EQ(pieces.back().rc, 1);
    EXPECT_TRUE(source.IsEOF());
    EXPECT_EQ(source.GetDoneCount(), row.bytes.size());
  }
}

// Unpaired and reversed surrogates, among SQL: every unit comes back from the
// tokenizer, and the statements split at their semicolons.
TEST(LoneSurrogates, TokenizeSplitAndRun) {
  const std::vector<unsigned short> line = {0xD800, ' ', 0xDFFF, 0xDC00, 0xD800, '\'', 0xDBFF, '\'', ';', '\n'};
  constexpr std::size_t kLines = 100000;
  std::vector<unsigned short> text;
  text.reserve(line.size() * kLines + 1);
  for (std::size_t i = 0; i < kLines; ++i) text.insert(text.end(), line.begin(), line.end());
  text.push_back(0);

  CKXSQLTextT<unsigned short> source(text.data());
  std::vector<unsigned short> joined;
  SQLToken<unsigned short> token;
  while (source.GetToken(token, 0) == 0)
    joined.insert(joined.end(), token.GetText(), token.GetText() + token.GetLength());
  EXPECT_TRUE(joined == std::vector<unsigned short>(text.begin(), text.end() - 1));

  source.Set(text.data());
  const std::vector<Piece> pieces = SplitAll(source, DBMSTYPE::GENERIC, text.size());
  ASSERT_EQ(pieces.size(), kLines + 1);
  EXPECT_EQ(pieces.back(), (Piece{1, ""}));
  EXPECT_EQ(pieces.front().rc, 0);
  EXPECT_EQ(pieces[1].text, pieces.front().text);

  // Run as a script, the same statements reach the engine as narrow text.
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  const std::vector<unsigned short> script = {'S', 'E', 'L', 'E', 'C', 'T', ' ', '\'', 0xD800, '\'', ';',
                                              '\'', 0xDC00, 0xD800, '\'', ';', 0};
  CKXSQLTextT<unsigned short> runner;
  unsigned int stmts = 0, errors = 0;
  EXPECT_EQ(runner.ParseSQL(script.data(), &tr, stmts, errors, 4294967295u), 0);
  EXPECT_EQ(stmts, 2u);
  EXPECT_EQ(errors, 1u);  // a bare string literal is no statement for SQLite
}

}  // namespace

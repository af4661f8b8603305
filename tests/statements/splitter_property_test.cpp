// Random token soups of the words and signs the splitter decides on: for
// every DBMS type, with and without a separator, splitting stops, and every
// character of the script ends up, in order, in exactly one statement, unless
// it is one that the splitter drops by rule.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Piece;
using kxsql::testing::Separator;
using kxsql::testing::SplitAll;

const char* const kParts[] = {
    "BEGIN", "END", "IF", "FOR", "LOOP", "GO", "go", "PROCEDURE", "TRIGGER", "DROP", "TRAN", "begin", "x", "y1", ";", ";",
    "\n/\n", "\r\n/", "$", "$$", "'a;b'", "'$$'", "\"q;\"", "-- c;\n", "/* ; */", "\n", "\r\n", ".", "(", "nextval",
    "ALTER", "WORK", "CASE", "ELSE"};
const char* const kGlue[] = {" ", " ", " ", "\n", "\r\n", "\t", ""};

std::string RandomScript(std::mt19937& random) {
  std::uniform_int_distribution<int> length(1, 40);
  std::uniform_int_distribution<std::size_t> part(0, std::size(kParts) - 1);
  std::uniform_int_distribution<std::size_t> glue(0, std::size(kGlue) - 1);
  std::string script;
  for (int n = length(random); n > 0; --n) {
    script += kParts[part(random)];
    script += kGlue[glue(random)];
  }
  return script;
}

// Checks that the statements' texts, one after the other, are the script
// with only `droppable` characters left out. Matching greedily is exact here,
// since whether a character may be dropped depends on the character alone.
::testing::AssertionResult CoversScript(const std::string& script, const std::vector<Piece>& pieces,
                                        const std::string& droppable) {
  std::string joined;
  for (const Piece& piece : pieces) joined += piece.text;
  std::size_t j = 0;
  for (std::size_t i = 0; i < script.size(); ++i) {
    if (j < joined.size() && script[i] == joined[j]) {
      ++j;
    } else if (droppable.find(script[i]) == std::string::npos) {
      return ::testing::AssertionFailure() << "character " << i << " ('" << script[i] << "') is in no statement";
    }
  }
  if (j != joined.size()) return ::testing::AssertionFailure() << "the statements hold text that is not in the script";
  return ::testing::AssertionSuccess();
}

template <class T>
class SplitterProperty : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(SplitterProperty, Widths);

TYPED_TEST(SplitterProperty, EveryCharacterLandsInOneStatementOrIsDroppedByRule) {
  const DBMSTYPE* const types[] = {&DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX,
                                    &DBMSTYPE::SQLSERVER, &DBMSTYPE::SYBASE, &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS,
                                    &DBMSTYPE::SQLITE,  &DBMSTYPE::MYSQL};
  const std::string blanks = " \t\r\n";
  const Separator go{&SQLTOKEN_TYPE::SYMBOL, "GO", true};
  const Separator semicolon{&SQLTOKEN_TYPE::SEMI_COLON, "", false};
  struct Mode {
    const Separator* sep;
    std::string droppable;  // terminators, the separator, trimmed blanks, removed line endings
  };
  const Mode modes[] = {{nullptr, blanks + ";/GOgo"}, {&go, blanks + "GOgo"}, {&semicolon, blanks + ";"}};

  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    const std::string script = RandomScript(random);
    for (const DBMSTYPE* dbms : types) {
      for (const Mode& mode : modes) {
        SCOPED_TRACE(std::string(dbms->GetName()) + (mode.sep ? " with a separator" : "") + ": " + script);
        const std::vector<Piece> pieces = SplitAll<TypeParam>(script, *dbms, mode.sep);
        ASSERT_FALSE(pieces.empty());
        ASSERT_EQ(pieces.back().rc, 1);
        ASSERT_TRUE(CoversScript(script, pieces, mode.droppable));
      }
    }
  }
}

}  // namespace

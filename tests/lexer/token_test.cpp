#include <string>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/test_text.h"

namespace {

using kxsql::testing::Text;

template <class T>
class Token : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Token, Widths);

TYPED_TEST(Token, KeywordTestIgnoresCaseAndType) {
  Text<TypeParam> select("SELECT"), lower("select"), other("selects");
  SQLToken<TypeParam> token(select.c_str(), SQLTOKEN_TYPE::DQ_STRING);
  EXPECT_TRUE(token.Is(lower.c_str()));
  EXPECT_FALSE(token.IsNot(lower.c_str()));
  EXPECT_TRUE(token.IsNot(other.c_str()));
  EXPECT_TRUE(token.Is(CharSet<TypeParam>::SELECT));
}

struct CompareCase {
  std::string left;
  const SQLTOKEN_TYPE* left_type;
  std::string right;
  const SQLTOKEN_TYPE* right_type;
  bool case_sensitive;
  int sign;  // -1, 0 or +1: the sign of the result
};

TYPED_TEST(Token, Compare) {
  const SQLTOKEN_TYPE *sym = &SQLTOKEN_TYPE::SYMBOL, *sq = &SQLTOKEN_TYPE::SQ_STRING;
  const CompareCase cases[] = {
      {"abc", sym, "ABC", sym, false, 0},       {"abc", sym, "ABC", sym, true, 1},
      {"'abc'", sq, "'ABC'", sq, false, 1},     {"abc", sym, "abd", sym, false, -1},
      {"ab", sym, "abc", sym, true, -1},        {"Ärger", sym, "ärger", sym, false, 0},
      // Type before text, whatever the texts.
      {"abc", sym, "abc", sq, false, -1},       {"zzz", sq, "aaa", sym, false, 1},
  };
  for (const CompareCase& row : cases) {
    SCOPED_TRACE(row.left + " vs " + row.right);
    Text<TypeParam> left(row.left), right(row.right);
    SQLToken<TypeParam> a(left.c_str(), *row.left_type);
    SQLToken<TypeParam> b(right.c_str(), *row.right_type);
    const int result = a.Compare(b, row.case_sensitive);
    EXPECT_EQ((result > 0) - (result < 0), row.sign);
    if (row.left_type != row.right_type) {
      EXPECT_EQ(result, row.sign);  // exactly -1 or +1
    }
  }
}

TYPED_TEST(Token, CopiesShareTheTypeAndOwnTheText) {
  Text<TypeParam> word("word");
  SQLToken<TypeParam> original(word.c_str(), SQLTOKEN_TYPE::SYMBOL);
  SQLToken<TypeParam> copy(original);
  original.Clear();
  EXPECT_TRUE(original.Is(SQLTOKEN_TYPE::NONE));
  EXPECT_EQ(original.GetLength(), 0u);
  EXPECT_EQ(&copy.GetType(), &SQLTOKEN_TYPE::SYMBOL);
  EXPECT_TRUE(copy.Is(word.c_str()));
  copy = copy;  // self-assignment changes nothing
  EXPECT_TRUE(copy.Is(word.c_str()));
  EXPECT_EQ(copy.GetLength(), 4u);
}

TEST(TokenCase, AsciiFoldsAsAsciiUnderEveryLocale) {
  // Under a Turkish locale, i and I are not each other's case; keywords must
  // still be recognised.
  SQLToken<char> token("begin", SQLTOKEN_TYPE::SYMBOL);
  EXPECT_TRUE(token.Is(CharSet<char>::BEGIN));
  SQLToken<char> dotted("\xC4\xB0" "F", SQLTOKEN_TYPE::SYMBOL);  // capital I with a dot, F
  EXPECT_FALSE(dotted.Is(CharSet<char>::IF));
}

}  // namespace

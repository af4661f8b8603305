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

// Compare orders by type first (exactly -1 or +1), then by text, ignoring case unless asked to or the
// type keeps it. Is(text), the keyword test, compares the text alone, ignoring case.
TYPED_TEST(Token, CompareAndKeywordTest) {
  const SQLTOKEN_TYPE *sym = &SQLTOKEN_TYPE::SYMBOL, *sq = &SQLTOKEN_TYPE::SQ_STRING;
  const struct {
    std::string left;
    const SQLTOKEN_TYPE* left_type;
    std::string right;
    const SQLTOKEN_TYPE* right_type;
    bool case_sensitive;
    int sign;  // of Compare's result
    bool is;   // left.Is(right)
  } cases[] = {
      {"abc", sym, "ABC", sym, false, 0, true},   {"abc", sym, "ABC", sym, true, 1, true},
      {"'abc'", sq, "'ABC'", sq, false, 1, true}, {"abc", sym, "abd", sym, false, -1, false},
      {"ab", sym, "abc", sym, true, -1, false},   {"Ärger", sym, "ärger", sym, false, 0, true},
      {"abc", sym, "abc", sq, false, -1, true},   {"zzz", sq, "aaa", sym, false, 1, false},
      // A keyword is ASCII: a capital I with a dot is no I, whatever a locale folds it to.
      {"\xC4\xB0" "F", sym, "IF", sym, false, 1, false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.left + " vs " + row.right);
    Text<TypeParam> left(row.left), right(row.right);
    SQLToken<TypeParam> a(left.c_str(), *row.left_type);
    SQLToken<TypeParam> b(right.c_str(), *row.right_type);
    const int result = a.Compare(b, row.case_sensitive);
    EXPECT_EQ(row.left_type != row.right_type ? result : (result > 0) - (result < 0), row.sign);
    EXPECT_EQ(a.Is(right.c_str()), row.is);
    EXPECT_EQ(a.IsNot(right.c_str()), !row.is);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/tokens.h"

namespace {

using kxsql::testing::Text;

template <class T>
class TextSource : public ::testing::Test {
 protected:
  // Exposes the character interface that only the tokenizer uses.
  struct Reader : CKXSQLTextT<T> {
    using CKXSQLTextT<T>::CKXSQLTextT;
    using CKXSQLTextT<T>::GetChar;
    using CKXSQLTextT<T>::UngetChar;
  };
};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(TextSource, Widths);

TYPED_TEST(TextSource, RefusesNullAndEmptyText) {
  CKXMsg::GetInstance()->Reset();
  Text<TypeParam> empty("");
  CKXSQLTextT<TypeParam> source;
  EXPECT_EQ(source.Set(nullptr), -1);
  EXPECT_EQ(source.Set(empty.c_str()), -1);
  EXPECT_FALSE(source.IsSet());
  const auto lines = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "No sql text");

  // A source that holds a text keeps it when a new one is refused.
  Text<TypeParam> ab("ab");
  ASSERT_EQ(source.Set(ab.c_str()), 0);
  EXPECT_EQ(source.Set(empty.c_str()), -1);
  EXPECT_EQ(source.GetTotalCount(), 2u);
}

TYPED_TEST(TextSource, DeliversCountsAndPushBack) {
  Text<TypeParam> ab("ab");
  typename TestFixture::Reader source;
  // A source without a text is unusable.
  bool eof = false;
  EXPECT_TRUE(source.IsEOF());
  EXPECT_FALSE(source.IsOpen());
  EXPECT_EQ(source.GetDoneCount(), 0xFFFFFFFFu);
  EXPECT_EQ(source.GetTotalCount(), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<TypeParam>(source.GetChar(eof)), static_cast<TypeParam>(~TypeParam{0}));
  EXPECT_TRUE(eof);
  ASSERT_EQ(source.Set(ab.c_str()), 0);
  eof = false;
  EXPECT_EQ(source.GetDoneCount(), 0u);
  EXPECT_EQ(source.GetChar(eof), 'a');
  EXPECT_EQ(source.GetDoneCount(), 1u);
  EXPECT_EQ(source.GetChar(eof), 'b');
  EXPECT_EQ(source.GetDoneCount(), 2u);
  EXPECT_FALSE(eof);
  EXPECT_EQ(source.GetChar(eof), 0);
  EXPECT_TRUE(eof);
  EXPECT_TRUE(source.IsEOF());
  EXPECT_EQ(source.GetDoneCount(), 2u);
  EXPECT_EQ(source.GetTotalCount(), 2u);
  // After the end, one step back makes the last character deliverable again.
  source.UngetChar();
  eof = false;
  EXPECT_EQ(source.GetChar(eof), 'b');
  EXPECT_FALSE(eof);
  // At position 0 a step back does nothing.
  ASSERT_EQ(source.Set(ab.c_str()), 0);
  source.UngetChar();
  EXPECT_EQ(source.GetChar(eof), 'a');
  EXPECT_EQ(*source.GetCurPos(), 'b');
}

}  // namespace

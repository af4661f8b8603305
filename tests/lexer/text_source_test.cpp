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
  typename TestFixture::Reader source(ab.c_str());
  bool eof = false;
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

TYPED_TEST(TextSource, ClosedSourceReportsUnusable) {
  typename TestFixture::Reader source;
  EXPECT_TRUE(source.IsEOF());
  EXPECT_FALSE(source.IsOpen());
  EXPECT_EQ(source.GetDoneCount(), 0xFFFFFFFFu);
  EXPECT_EQ(source.GetTotalCount(), 0xFFFFFFFFu);
  bool eof = false;
  EXPECT_EQ(static_cast<TypeParam>(source.GetChar(eof)), static_cast<TypeParam>(~TypeParam{0}));
  EXPECT_TRUE(eof);
}

TYPED_TEST(TextSource, CopiesReadIndependently) {
  Text<TypeParam> text("a b c");
  struct Peeker : CKXSQLTextT<TypeParam> {
    using CKXSQLTextT<TypeParam>::CKXSQLTextT;
    using CKXSQLTextT<TypeParam>::PeekToken;
  } source(text.c_str());
  SQLToken<TypeParam> token;
  ASSERT_EQ(source.PeekToken(token), 1);
  ASSERT_EQ(source.PeekToken(token), 1);
  Peeker copy(source);
  Peeker assigned;
  assigned = source;
  for (Peeker* reader : {&source, &copy, &assigned}) {
    std::string seen;
    while (reader->GetToken(token, 0) == 0) seen += kxsql::testing::TextOf(token.GetText(), token.GetLength()) + "|";
    EXPECT_EQ(seen, "a| |b| |c|");
  }
}

}  // namespace

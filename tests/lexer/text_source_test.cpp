#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/test_text.h"

namespace {

using kxsql::testing::Text;

template <class T>
class TextSource : public ::testing::Test {
 protected:
  // Opens the character interface that only the tokenizer uses.
  struct Reader : CKXSQLTextT<T> {
    using CKXSQLTextT<T>::GetChar;
    using CKXSQLTextT<T>::UngetChar;
    // The next character and the done count after it, "<end>" at the end.
    std::string Next() {
      bool eof = false;
      const T c = GetChar(eof);
      return (eof ? std::string("<end>") : std::string(1, static_cast<char>(c))) + std::to_string(this->GetDoneCount());
    }
  };
};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(TextSource, Widths);

TYPED_TEST(TextSource, RefusesNoTextAndKeepsTheTextItHas) {
  CKXMsg::GetInstance()->Reset();
  Text<TypeParam> empty(""), ab("ab");
  CKXSQLTextT<TypeParam> source;
  EXPECT_EQ(source.Set(nullptr), -1);
  ASSERT_EQ(source.Set(ab.c_str()), 0);
  EXPECT_EQ(source.Set(empty.c_str()), -1);
  EXPECT_EQ(source.GetTotalCount(), 2u);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines(), (std::vector<std::string>{"No sql text", "No sql text"}));
}

TYPED_TEST(TextSource, DeliversCountsAndStepsBack) {
  typename TestFixture::Reader source;
  // Without a text: the end, with the value that says the source cannot deliver.
  bool eof = false;
  EXPECT_EQ(source.GetChar(eof), static_cast<TypeParam>(~TypeParam{0}));
  EXPECT_TRUE(eof && source.IsEOF());
  EXPECT_EQ(source.GetDoneCount(), 0xFFFFFFFFu);
  Text<TypeParam> ab("ab");
  ASSERT_EQ(source.Set(ab.c_str()), 0);
  // At the start there is nothing to step back over; after the end, the last character comes again.
  source.UngetChar();
  std::vector<std::string> steps;
  for (int i = 0; i < 3; ++i) steps.push_back(source.Next());
  source.UngetChar();
  steps.push_back(source.Next());
  EXPECT_EQ(steps, (std::vector<std::string>{"a1", "b2", "<end>2", "b2"}));
}

}  // namespace

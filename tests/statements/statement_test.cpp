#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Describe;
using kxsql::testing::StmtOf;
using kxsql::testing::Str;
using kxsql::testing::Summary;
using kxsql::testing::Text;

template <class T>
class Statement : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Statement, Widths);

template <class T>
void Add(SQLStmtT<T>& stmt, const std::string& text, const SQLTOKEN_TYPE& type, unsigned long flags = 0) {
  stmt.AddToken(SQLToken<T>(Text<T>(text).c_str(), type), DBMSTYPE::GENERIC, flags);
}

struct FlagCase {
  unsigned long flags;
  const SQLTOKEN_TYPE* type;
  bool in_parsed;
  bool in_no_comment;
};

TYPED_TEST(Statement, FlagsChooseWhatReachesTheParsedText) {
  const FlagCase cases[] = {
      {0x111, &SQLTOKEN_TYPE::LINECOMMENT, false, false}, {0x111, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false},
      {0x111, &SQLTOKEN_TYPE::CR, false, true}, {0x111, &SQLTOKEN_TYPE::LF, true, true},
      {0x111, &SQLTOKEN_TYPE::SYMBOL, true, true}, {0x11, &SQLTOKEN_TYPE::LINECOMMENT, false, false},
      {0x11, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false}, {0x11, &SQLTOKEN_TYPE::CR, true, true},
      {0x1, &SQLTOKEN_TYPE::LINECOMMENT, false, false}, {0x1, &SQLTOKEN_TYPE::MULTILINECOMMENT, true, false},
      {0x1, &SQLTOKEN_TYPE::CR, true, true}, {0x100, &SQLTOKEN_TYPE::CR, false, true},
      {0x100, &SQLTOKEN_TYPE::LINECOMMENT, true, false}, {0x10, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false},
      {0, &SQLTOKEN_TYPE::LINECOMMENT, true, false}, {0, &SQLTOKEN_TYPE::MULTILINECOMMENT, true, false},
      {0, &SQLTOKEN_TYPE::CR, true, true},
      // The seek bit means nothing to the statement.
      {0x200, &SQLTOKEN_TYPE::SYMBOL, true, true},
  };
  for (const FlagCase& row : cases) {
    SCOPED_TRACE(std::string(row.type->GetName()) + " flags " + std::to_string(row.flags));
    SQLStmtT<TypeParam> stmt;
    Add(stmt, "a", SQLTOKEN_TYPE::SYMBOL, row.flags);
    Add(stmt, "[x]", *row.type, row.flags);
    Add(stmt, "b", SQLTOKEN_TYPE::SYMBOL, row.flags);
    EXPECT_EQ(Str(stmt.GetText()), "a[x]b");
    EXPECT_EQ(Str(stmt.GetParsedText()), row.in_parsed ? "a[x]b" : "ab");
    EXPECT_EQ(Str(stmt.GetNoCommentText()), row.in_no_comment ? "a[x]b" : "ab");
  }
}

struct CompareTokenCase {
  std::string text;
  std::string first, last, side_effect;
  bool is_empty, is_select;
};

// First and last tokens, the side effect, IsEmpty and IsSelectStmt look at compare tokens only.
TYPED_TEST(Statement, CompareTokensDecide) {
  const CompareTokenCase cases[] = {
      {"-- c\n update t\n", "SYMBOL:update", "SYMBOL:t", "", false, false},
      {"", "NONE:", "NONE:", "", true, false},
      {"  \n", "NONE:", "NONE:", "", true, false},
      {"/* only */", "NONE:", "NONE:", "", true, false},
      {"SeLeCt x", "SYMBOL:SeLeCt", "SYMBOL:x", "", false, true},
      {"-- c\nselect", "SYMBOL:select", "SYMBOL:select", "", false, true},
      {"(select", "OTHER:(", "SYMBOL:select", "", false, false},
      {"selectx", "SYMBOL:selectx", "SYMBOL:selectx", "", false, false},
      {"with select", "SYMBOL:with", "SYMBOL:select", "", false, false},
      // A side effect is a word right behind a dot; blanks, line ends and comments may stand between.
      {"s.NEXTVAL", "SYMBOL:s", "SYMBOL:NEXTVAL", "NEXTVAL", false, false},
      {"s.nextVal", "SYMBOL:s", "SYMBOL:nextVal", "nextVal", false, false},
      {"s. /* c */\nnextval", "SYMBOL:s", "SYMBOL:nextval", "nextval", false, false},
      // Any other compare token in between breaks the qualified name.
      {"s.(nextval", "SYMBOL:s", "SYMBOL:nextval", "", false, false},
      {"nextval", "SYMBOL:nextval", "SYMBOL:nextval", "", false, false},
      {"s,nextval", "SYMBOL:s", "SYMBOL:nextval", "", false, false},
      {"s.currval", "SYMBOL:s", "SYMBOL:currval", "", false, false},
      // A later side effect replaces an earlier one; an ordinary qualified name keeps it.
      {"a.nextval b.NextVal c.d", "SYMBOL:a", "SYMBOL:d", "NextVal", false, false},
  };
  for (const CompareTokenCase& row : cases) {
    SCOPED_TRACE(row.text);
    const SQLStmtT<TypeParam> stmt = StmtOf<TypeParam>(row.text);
    EXPECT_EQ(Str(stmt.GetText()), row.text);
    EXPECT_EQ(Describe(stmt.GetFirstToken()), row.first);
    EXPECT_EQ(Describe(stmt.GetLastToken()), row.last);
    EXPECT_EQ(Str(stmt.GetSideEffect()), row.side_effect);
    EXPECT_EQ(stmt.HasSideEffect(), !row.side_effect.empty());
    EXPECT_EQ(stmt.IsEmpty(), row.is_empty);
    EXPECT_EQ(stmt.IsSelectStmt(), row.is_select);
  }
  SQLStmtT<TypeParam> cleared = StmtOf<TypeParam>("select s.nextval");
  cleared.Clear();
  EXPECT_EQ(Summary(cleared), Summary(SQLStmtT<TypeParam>()));
  EXPECT_TRUE(cleared.IsEmpty());
}

TYPED_TEST(Statement, RemoveLastLineEndingTakesOneLineEnding) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\n", "a"},   {"a\n", "a"}, {"a\r", "a"}, {"a\n\r", "a\n"}, {"a\r\n\r\n", "a\r\n"}, {"a\n\n", "a\n"},
      {"a", "a"},       {"", ""},     {"\n", ""},   {"\r\n", ""},     {"a \n", "a "},         {"a\n ", "a\n "},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    SQLStmtT<TypeParam> stmt;
    if (!text.empty()) Add(stmt, text, SQLTOKEN_TYPE::OTHER);
    stmt.RemoveLastLineEnding();
    EXPECT_EQ(Str(stmt.GetText()), expected);
    EXPECT_EQ(Str(stmt.GetParsedText()), text);  // only the full text loses the line ending
  }
}

TYPED_TEST(Statement, TrimAndLineEndRemovalThenMoreTokens) {
  // Trim keeps the full text's trailing blanks.
  SQLStmtT<TypeParam> stmt = StmtOf<TypeParam>(" \t\r\n word  ");
  stmt.Trim();
  EXPECT_EQ(Summary(stmt), "word  |word|word||SYMBOL:word|SYMBOL:word|");
  // Tokens added after RemoveLastLineEnding and Trim go on every text.
  stmt = StmtOf<TypeParam>(" a\r\n", DBMSTYPE::GENERIC, 0x111);
  stmt.RemoveLastLineEnding();
  EXPECT_EQ(Summary(stmt), " a| a\n| a\r\n||SYMBOL:a|SYMBOL:a|");
  Add(stmt, "-- c", SQLTOKEN_TYPE::LINECOMMENT, 0x111);
  Add(stmt, "b", SQLTOKEN_TYPE::SYMBOL, 0x111);
  EXPECT_EQ(Summary(stmt), " a-- cb| a\nb| a\r\nb||SYMBOL:a|SYMBOL:b|");
  stmt.Trim();
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE, 0x111);
  Add(stmt, "c", SQLTOKEN_TYPE::SYMBOL, 0x111);
  EXPECT_EQ(Summary(stmt), "a-- cb c|a\nb c|a\r\nb c||SYMBOL:a|SYMBOL:c|");
  // Only comments: the no-comment text stays empty however much is added.
  SQLStmtT<TypeParam> comments;
  for (int i = 0; i < 100; ++i)
    Add(comments, "/* long comment " + std::to_string(i) + " */", SQLTOKEN_TYPE::MULTILINECOMMENT, 0x111);
  EXPECT_EQ(Str(comments.GetParsedText()) + Str(comments.GetNoCommentText()), "");
  EXPECT_TRUE(comments.IsEmpty());
}

TYPED_TEST(Statement, CopiesAndMovesCopyEverything) {
  const SQLStmtT<TypeParam> original = StmtOf<TypeParam>("select s.nextval-- c", DBMSTYPE::GENERIC, 0x111);
  const std::string sample = "select s.nextval-- c|select s.nextval|select s.nextval|nextval|SYMBOL:select|"
                             "SYMBOL:nextval|selecteffect";
  EXPECT_EQ(Summary(original), sample);
  SQLStmtT<TypeParam> copy(original);
  SQLStmtT<TypeParam> source = original;
  SQLStmtT<TypeParam> moved(std::move(source));
  SQLStmtT<TypeParam> assigned = StmtOf<TypeParam>("other");
  assigned = original;
  SQLStmtT<TypeParam> move_assigned;
  move_assigned = std::move(copy);
  SQLStmtT<TypeParam>& self = assigned;
  assigned = self;
  assigned = std::move(self);
  // A move copies.
  for (const SQLStmtT<TypeParam>* stmt : {&copy, &source, &moved, &assigned, &move_assigned})
    EXPECT_EQ(Summary(*stmt), sample);
  // A copy is independent of its original, long texts included.
  copy.Clear();
  EXPECT_EQ(Summary(original), sample);
  std::string long_text;
  for (int i = 0; i < 1000; ++i) long_text += "word" + std::to_string(i) + " ";
  const SQLStmtT<TypeParam> long_stmt = StmtOf<TypeParam>(long_text);
  copy = long_stmt;
  EXPECT_EQ(Summary(copy), Summary(long_stmt));
  EXPECT_EQ(Str(copy.GetText()), long_text);
}

}  // namespace

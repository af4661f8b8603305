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

TYPED_TEST(Statement, FlagsChooseWhatReachesTheParsedText) {
  // The seek bit 0x200 means nothing to the statement; comments never reach the no-comment text.
  const std::pair<unsigned long, std::string> cases[] = {
      {0, "a-- l\r\n/*b*/c"},     {0x1, "a\r\n/*b*/c"}, {0x10, "a-- l\r\nc"},
      {0x100, "a-- l\n/*b*/c"}, {0x111, "a\nc"},       {0x200, "a-- l\r\n/*b*/c"},
  };
  for (const auto& [flags, parsed] : cases) {
    SCOPED_TRACE(flags);
    const SQLStmtT<TypeParam> stmt = StmtOf<TypeParam>("a-- l\r\n/*b*/c", DBMSTYPE::GENERIC, flags);
    EXPECT_EQ(Str(stmt.GetText()) + "|" + Str(stmt.GetParsedText()) + "|" + Str(stmt.GetNoCommentText()),
              "a-- l\r\n/*b*/c|" + parsed + "|a\r\nc");
  }
}

// First and last tokens, the side effect, IsEmpty and IsSelectStmt look at compare tokens only.
TYPED_TEST(Statement, CompareTokensDecide) {
  const std::pair<std::string, std::string> cases[] = {  // text, first|last|side effect|empty, select, effect
      {"-- c\n update t\n", "SYMBOL:update|SYMBOL:t||"},
      {"", "NONE:|NONE:||empty"},
      {"  \n", "NONE:|NONE:||empty"},
      {"/* only */", "NONE:|NONE:||empty"},
      {"SeLeCt x", "SYMBOL:SeLeCt|SYMBOL:x||select"},
      {"-- c\nselect", "SYMBOL:select|SYMBOL:select||select"},
      {"(select", "OTHER:(|SYMBOL:select||"},
      {"selectx", "SYMBOL:selectx|SYMBOL:selectx||"},
      // A side effect is a word right behind a dot; blanks, line ends and comments may stand between.
      {"s.NEXTVAL", "SYMBOL:s|SYMBOL:NEXTVAL|NEXTVAL|effect"},
      {"s.nextVal", "SYMBOL:s|SYMBOL:nextVal|nextVal|effect"},
      {"s. /* c */\nnextval", "SYMBOL:s|SYMBOL:nextval|nextval|effect"},
      // Any other compare token in between breaks the qualified name.
      {"s.(nextval", "SYMBOL:s|SYMBOL:nextval||"},
      {"nextval", "SYMBOL:nextval|SYMBOL:nextval||"},
      {"s,nextval", "SYMBOL:s|SYMBOL:nextval||"},
      {"s.currval", "SYMBOL:s|SYMBOL:currval||"},
      // A later side effect replaces an earlier one; an ordinary qualified name keeps it.
      {"a.nextval b.NextVal c.d", "SYMBOL:a|SYMBOL:d|NextVal|effect"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const SQLStmtT<TypeParam> stmt = StmtOf<TypeParam>(text);
    EXPECT_EQ(Str(stmt.GetText()), text);
    EXPECT_EQ(Describe(stmt.GetFirstToken()) + "|" + Describe(stmt.GetLastToken()) + "|" + Str(stmt.GetSideEffect()) +
                  "|" + (stmt.IsEmpty() ? "empty" : "") + (stmt.IsSelectStmt() ? "select" : "") +
                  (stmt.HasSideEffect() ? "effect" : ""),
              expected);
  }
  SQLStmtT<TypeParam> cleared = StmtOf<TypeParam>("select s.nextval");
  cleared.Clear();
  EXPECT_EQ(Summary(cleared), Summary(SQLStmtT<TypeParam>()));
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
  SQLStmtT<TypeParam> copy(original), source = original, moved(std::move(source)), assigned = StmtOf<TypeParam>("x");
  assigned = original;
  SQLStmtT<TypeParam>& self = assigned;
  assigned = self;
  assigned = std::move(self);
  // A move copies; a copy is independent of its original.
  for (const SQLStmtT<TypeParam>* stmt : {&copy, &source, &moved, &assigned}) EXPECT_EQ(Summary(*stmt), sample);
  copy.Clear();
  EXPECT_EQ(Summary(original), sample);
}

}  // namespace

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Str;
using kxsql::testing::Text;

template <class T>
class Statement : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Statement, Widths);

// A token of `type` holding the UTF-8 `text`, in the width under test.
template <class T>
SQLToken<T> Tok(const std::string& text, const SQLTOKEN_TYPE& type) {
  Text<T> t(text);
  return SQLToken<T>(t.c_str(), type);
}

template <class T>
void Add(SQLStmtT<T>& stmt, const std::string& text, const SQLTOKEN_TYPE& type, unsigned long flags = 0) {
  stmt.AddToken(Tok<T>(text, type), DBMSTYPE::GENERIC, flags);
}

struct FlagCase {
  unsigned long flags;
  const SQLTOKEN_TYPE* type;
  bool in_parsed;
  bool in_no_comment;
};

TYPED_TEST(Statement, FlagsChooseWhatReachesTheParsedText) {
  const FlagCase cases[] = {
      {0x111, &SQLTOKEN_TYPE::LINECOMMENT, false, false},
      {0x111, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false},
      {0x111, &SQLTOKEN_TYPE::CR, false, true},
      {0x111, &SQLTOKEN_TYPE::LF, true, true},
      {0x111, &SQLTOKEN_TYPE::SYMBOL, true, true},
      {0x11, &SQLTOKEN_TYPE::LINECOMMENT, false, false},
      {0x11, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false},
      {0x11, &SQLTOKEN_TYPE::CR, true, true},
      {0x1, &SQLTOKEN_TYPE::LINECOMMENT, false, false},
      {0x1, &SQLTOKEN_TYPE::MULTILINECOMMENT, true, false},
      {0x1, &SQLTOKEN_TYPE::CR, true, true},
      {0x100, &SQLTOKEN_TYPE::CR, false, true},
      {0x100, &SQLTOKEN_TYPE::LINECOMMENT, true, false},
      {0x10, &SQLTOKEN_TYPE::MULTILINECOMMENT, false, false},
      {0, &SQLTOKEN_TYPE::LINECOMMENT, true, false},
      {0, &SQLTOKEN_TYPE::MULTILINECOMMENT, true, false},
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

TYPED_TEST(Statement, FirstAndLastTokensAreCompareTokens) {
  SQLStmtT<TypeParam> stmt;
  Add(stmt, "-- c", SQLTOKEN_TYPE::LINECOMMENT);
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE);
  Add(stmt, "update", SQLTOKEN_TYPE::SYMBOL);
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE);
  Add(stmt, "t", SQLTOKEN_TYPE::SYMBOL);
  Add(stmt, "\n", SQLTOKEN_TYPE::LF);
  EXPECT_EQ(Str(stmt.GetFirstToken().GetText()), "update");
  EXPECT_TRUE(stmt.GetFirstToken().Is(SQLTOKEN_TYPE::SYMBOL));
  EXPECT_EQ(Str(stmt.GetLastToken().GetText()), "t");
}

struct SideEffectCase {
  std::vector<std::pair<std::string, const SQLTOKEN_TYPE*>> tokens;
  std::string side_effect;
};

TYPED_TEST(Statement, SideEffectIsAWordRightBehindADot) {
  const SQLTOKEN_TYPE& sym = SQLTOKEN_TYPE::SYMBOL;
  const SQLTOKEN_TYPE& dot = SQLTOKEN_TYPE::DOT;
  const SQLTOKEN_TYPE& blank = SQLTOKEN_TYPE::WHITESPACE;
  const SideEffectCase cases[] = {
      {{{"s", &sym}, {".", &dot}, {"NEXTVAL", &sym}}, "NEXTVAL"},
      {{{"s", &sym}, {".", &dot}, {"nextVal", &sym}}, "nextVal"},
      // Blanks, line ends and comments between the dot and the word are not compare tokens.
      {{{"s", &sym}, {".", &dot}, {" ", &blank}, {"/* c */", &SQLTOKEN_TYPE::MULTILINECOMMENT},
        {"\n", &SQLTOKEN_TYPE::LF}, {"nextval", &sym}},
       "nextval"},
      // Any other compare token in between breaks the qualified name.
      {{{"s", &sym}, {".", &dot}, {"(", &SQLTOKEN_TYPE::OTHER}, {"nextval", &sym}}, ""},
      {{{"nextval", &sym}}, ""},
      {{{"s", &sym}, {",", &SQLTOKEN_TYPE::OTHER}, {"nextval", &sym}}, ""},
      {{{"s", &sym}, {".", &dot}, {"currval", &sym}}, ""},
      // A later side effect replaces an earlier one; an ordinary qualified name keeps it.
      {{{"a", &sym}, {".", &dot}, {"nextval", &sym}, {"b", &sym}, {".", &dot}, {"NextVal", &sym},
        {"c", &sym}, {".", &dot}, {"d", &sym}},
       "NextVal"},
  };
  for (const SideEffectCase& row : cases) {
    std::string script;
    for (const auto& token : row.tokens) script += token.first;
    SCOPED_TRACE(script);
    SQLStmtT<TypeParam> stmt;
    for (const auto& token : row.tokens) Add(stmt, token.first, *token.second);
    EXPECT_EQ(Str(stmt.GetSideEffect()), row.side_effect);
    EXPECT_EQ(stmt.HasSideEffect(), !row.side_effect.empty());
  }
}

TYPED_TEST(Statement, IsEmptyWithoutACompareTokenOrWithAnEmptyText) {
  SQLStmtT<TypeParam> fresh;
  EXPECT_TRUE(fresh.IsEmpty());

  SQLStmtT<TypeParam> blanks;
  Add(blanks, "  ", SQLTOKEN_TYPE::WHITESPACE);
  Add(blanks, "\n", SQLTOKEN_TYPE::LF);
  EXPECT_TRUE(blanks.IsEmpty());
  EXPECT_EQ(Str(blanks.GetText()), "  \n");

  SQLStmtT<TypeParam> comment;
  Add(comment, "/* only */", SQLTOKEN_TYPE::MULTILINECOMMENT);
  EXPECT_TRUE(comment.IsEmpty());

  SQLStmtT<TypeParam> word;
  Add(word, "x", SQLTOKEN_TYPE::SYMBOL);
  EXPECT_FALSE(word.IsEmpty());
  word.Clear();
  EXPECT_TRUE(word.IsEmpty());
  EXPECT_EQ(Str(word.GetText()), "");
  EXPECT_TRUE(word.GetFirstToken().Is(SQLTOKEN_TYPE::NONE));
  EXPECT_TRUE(word.GetLastToken().Is(SQLTOKEN_TYPE::NONE));
}

TYPED_TEST(Statement, IsSelectStmtLooksAtTheFirstCompareToken) {
  struct Case {
    std::vector<std::pair<std::string, const SQLTOKEN_TYPE*>> tokens;
    bool is_select;
  };
  const SQLTOKEN_TYPE& sym = SQLTOKEN_TYPE::SYMBOL;
  const Case cases[] = {
      {{{"SeLeCt", &sym}, {"x", &sym}}, true},
      {{{"-- c", &SQLTOKEN_TYPE::LINECOMMENT}, {"\n", &SQLTOKEN_TYPE::LF}, {"select", &sym}}, true},
      {{{"(", &SQLTOKEN_TYPE::OTHER}, {"select", &sym}}, false},
      {{{"selectx", &sym}}, false},
      {{{"with", &sym}, {"select", &sym}}, false},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.tokens.front().first);
    SQLStmtT<TypeParam> stmt;
    for (const auto& token : row.tokens) Add(stmt, token.first, *token.second);
    EXPECT_EQ(stmt.IsSelectStmt(), row.is_select);
  }
}

TYPED_TEST(Statement, RemoveLastLineEndingTakesOneLineEnding) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\n", "a"},   {"a\n", "a"},         {"a\r", "a"},   {"a\n\r", "a\n"}, {"a\r\n\r\n", "a\r\n"},
      {"a\n\n", "a\n"}, {"a", "a"},           {"", ""},       {"\n", ""},       {"\r\n", ""},
      {"a \n", "a "},   {"a\n ", "a\n "},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.first);
    SQLStmtT<TypeParam> stmt;
    if (!row.first.empty()) Add(stmt, row.first, SQLTOKEN_TYPE::OTHER);
    stmt.RemoveLastLineEnding();
    EXPECT_EQ(Str(stmt.GetText()), row.second);
    // Only the full text loses the line ending.
    EXPECT_EQ(Str(stmt.GetParsedText()), row.first);
  }
}

TYPED_TEST(Statement, TrimKeepsTheFullTextsTrailingBlanks) {
  SQLStmtT<TypeParam> stmt;
  Add(stmt, " \t\r\n ", SQLTOKEN_TYPE::WHITESPACE);
  Add(stmt, "word", SQLTOKEN_TYPE::SYMBOL);
  Add(stmt, "  ", SQLTOKEN_TYPE::WHITESPACE);
  stmt.Trim();
  EXPECT_EQ(Str(stmt.GetText()), "word  ");
  EXPECT_EQ(Str(stmt.GetParsedText()), "word");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), "word");
  EXPECT_EQ(Str(stmt.GetFirstToken().GetText()), "word");
}

TYPED_TEST(Statement, TokensAddedAfterTrimAndLineEndRemovalGoOnEveryText) {
  SQLStmtT<TypeParam> stmt;
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE, 0x111);
  Add(stmt, "a", SQLTOKEN_TYPE::SYMBOL, 0x111);
  Add(stmt, "\r", SQLTOKEN_TYPE::CR, 0x111);
  Add(stmt, "\n", SQLTOKEN_TYPE::LF, 0x111);
  stmt.RemoveLastLineEnding();
  EXPECT_EQ(Str(stmt.GetText()), " a");
  EXPECT_EQ(Str(stmt.GetParsedText()), " a\n");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), " a\r\n");
  Add(stmt, "-- c", SQLTOKEN_TYPE::LINECOMMENT, 0x111);
  Add(stmt, "b", SQLTOKEN_TYPE::SYMBOL, 0x111);
  EXPECT_EQ(Str(stmt.GetText()), " a-- cb");
  EXPECT_EQ(Str(stmt.GetParsedText()), " a\nb");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), " a\r\nb");
  stmt.Trim();
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE, 0x111);
  Add(stmt, "c", SQLTOKEN_TYPE::SYMBOL, 0x111);
  EXPECT_EQ(Str(stmt.GetText()), "a-- cb c");
  EXPECT_EQ(Str(stmt.GetParsedText()), "a\nb c");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), "a\r\nb c");
  EXPECT_EQ(Str(stmt.GetLastToken().GetText()), "c");
  // Only comments: the no-comment text stays empty however much is added.
  SQLStmtT<TypeParam> comments;
  for (int i = 0; i < 100; ++i)
    Add(comments, "/* long comment " + std::to_string(i) + " */", SQLTOKEN_TYPE::MULTILINECOMMENT, 0x111);
  EXPECT_EQ(Str(comments.GetParsedText()), "");
  EXPECT_EQ(Str(comments.GetNoCommentText()), "");
  EXPECT_TRUE(comments.IsEmpty());
}

template <class T>
SQLStmtT<T> Sample() {
  SQLStmtT<T> stmt;
  Add(stmt, "select", SQLTOKEN_TYPE::SYMBOL, 0x111);
  Add(stmt, " ", SQLTOKEN_TYPE::WHITESPACE, 0x111);
  Add(stmt, "s", SQLTOKEN_TYPE::SYMBOL, 0x111);
  Add(stmt, ".", SQLTOKEN_TYPE::DOT, 0x111);
  Add(stmt, "nextval", SQLTOKEN_TYPE::SYMBOL, 0x111);
  Add(stmt, "-- c", SQLTOKEN_TYPE::LINECOMMENT, 0x111);
  return stmt;
}

template <class T>
void ExpectSample(const SQLStmtT<T>& stmt) {
  EXPECT_EQ(Str(stmt.GetText()), "select s.nextval-- c");
  EXPECT_EQ(Str(stmt.GetParsedText()), "select s.nextval");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), "select s.nextval");
  EXPECT_EQ(Str(stmt.GetSideEffect()), "nextval");
  EXPECT_EQ(Str(stmt.GetFirstToken().GetText()), "select");
  EXPECT_EQ(Str(stmt.GetLastToken().GetText()), "nextval");
  EXPECT_TRUE(stmt.IsSelectStmt());
  EXPECT_TRUE(stmt.HasSideEffect());
  EXPECT_FALSE(stmt.IsEmpty());
}

TYPED_TEST(Statement, CopiesAndMovesCopyEverything) {
  const SQLStmtT<TypeParam> original = Sample<TypeParam>();
  ExpectSample(original);

  SQLStmtT<TypeParam> copy(original);
  ExpectSample(copy);

  SQLStmtT<TypeParam> source = Sample<TypeParam>();
  SQLStmtT<TypeParam> moved(std::move(source));
  ExpectSample(moved);
  ExpectSample(source);  // a move copies

  SQLStmtT<TypeParam> assigned;
  Add(assigned, "other", SQLTOKEN_TYPE::SYMBOL);
  assigned = original;
  ExpectSample(assigned);

  SQLStmtT<TypeParam> move_assigned;
  move_assigned = std::move(copy);
  ExpectSample(move_assigned);
  ExpectSample(copy);

  SQLStmtT<TypeParam>& self = assigned;
  assigned = self;
  ExpectSample(assigned);
  assigned = std::move(self);
  ExpectSample(assigned);

  // A copy is independent of its original.
  copy.Clear();
  ExpectSample(original);
}

TYPED_TEST(Statement, CopyOfLongTextsIsExact) {
  SQLStmtT<TypeParam> stmt;
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    Add(stmt, "word" + std::to_string(i), SQLTOKEN_TYPE::SYMBOL);
    expected += "word" + std::to_string(i);
  }
  SQLStmtT<TypeParam> copy;
  copy = stmt;
  EXPECT_EQ(Str(copy.GetText()), expected);
  EXPECT_EQ(Str(copy.GetLastToken().GetText()), "word999");
}

}  // namespace

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/tokens.h"

namespace {

using kxsql::testing::Describe;
using kxsql::testing::ReadTokens;
using kxsql::testing::Text;

template <class T>
class Tokenizer : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Tokenizer, Widths);

struct TokenCase {
  std::string input;
  std::vector<std::string> tokens;
};

const TokenCase kTokenCases[] = {
    {"SELECT a.b, 'it''s' FROM t; -- done",
     {"SYMBOL:SELECT", "WHITESPACE: ", "SYMBOL:a", "DOT:.", "SYMBOL:b", "OTHER:,", "WHITESPACE: ",
      "SQ_STRING:'it''s'", "WHITESPACE: ", "SYMBOL:FROM", "WHITESPACE: ", "SYMBOL:t", "SEMI_COLON:;",
      "WHITESPACE: ", "LINECOMMENT:-- done"}},
    {"12.5", {"OTHER:1", "OTHER:2", "DOT:.", "OTHER:5"}}, {"a-b", {"SYMBOL:a", "OTHER:-", "SYMBOL:b"}},
    {"a--b\n", {"SYMBOL:a", "LINECOMMENT:--b", "LF:\n"}}, {"/\nx", {"SLASH_TERMINATOR:/", "LF:\n", "SYMBOL:x"}},
    {" /", {"WHITESPACE: ", "NONE:/"}}, {" /\n", {"WHITESPACE: ", "OTHER:/", "LF:\n"}},
    {"/*x*/", {"MULTILINECOMMENT:/*x*/"}}, {"x/y", {"SYMBOL:x", "OTHER:/", "SYMBOL:y"}}, {"x/", {"SYMBOL:x", "NONE:/"}},
    {"\r\n/", {"CR:\r", "LF:\n", "SLASH_TERMINATOR:/"}},
    {"/* a /* b */ x */;",
     {"MULTILINECOMMENT:/* a /* b */", "WHITESPACE: ", "SYMBOL:x", "WHITESPACE: ", "OTHER:*", "OTHER:/",
      "SEMI_COLON:;"}},
    {"'a\nb' c", {"SQ_STRING:'a\nb'", "WHITESPACE: ", "SYMBOL:c"}}, {"'open", {"SQ_STRING:'open"}},
    {"\"x\"\"y\" z", {"DQ_STRING:\"x\"\"y\"", "WHITESPACE: ", "SYMBOL:z"}}, {"\"open", {"DQ_STRING:\"open"}},
    {"/* open", {"MULTILINECOMMENT:/* open"}},
    {"$$body$$", {"DollarSign:$", "DollarSign:$", "SYMBOL:body", "DollarSign:$", "DollarSign:$"}},
    {"_x1 1x #tmp", {"SYMBOL:_x1", "WHITESPACE: ", "OTHER:1", "SYMBOL:x", "WHITESPACE: ", "OTHER:#", "SYMBOL:tmp"}},
    {"\t \tx", {"WHITESPACE:\t \t", "SYMBOL:x"}},
    // A slash after a line comment's line end is in the first column again.
    {"-- c\r\n/\n", {"LINECOMMENT:-- c", "CR:\r", "LF:\n", "SLASH_TERMINATOR:/", "LF:\n"}},
    // `/` then `*` at a line start opens a comment, not a terminator.
    {"x\n/*/ y */", {"SYMBOL:x", "LF:\n", "MULTILINECOMMENT:/*/ y */"}}, {"/", {"SLASH_TERMINATOR:/"}},
    {"-", {"OTHER:-"}}, {"a**/", {"SYMBOL:a", "OTHER:*", "OTHER:*", "NONE:/"}},
    {"/***/x", {"MULTILINECOMMENT:/***/", "SYMBOL:x"}},
    // Non-ASCII letters stay inside one word.
    {"café naïve", {"SYMBOL:café", "WHITESPACE: ", "SYMBOL:naïve"}},
};

TYPED_TEST(Tokenizer, TypeTable) {
  for (const TokenCase& row : kTokenCases) {
    SCOPED_TRACE(row.input);
    Text<TypeParam> text(row.input);
    CKXSQLTextT<TypeParam> source(text.c_str());
    long rc = 0;
    EXPECT_EQ(ReadTokens(source, &rc), row.tokens);
    EXPECT_EQ(rc, 1);
    // The end is answered again, with an empty token.
    SQLToken<TypeParam> token;
    EXPECT_EQ(source.GetToken(token, 0), 1);
    EXPECT_EQ(Describe(token), "NONE:");
    std::string joined;
    for (const std::string& token : row.tokens) joined += token.substr(token.find(':') + 1);
    EXPECT_EQ(joined, row.input);
  }
}

// Opens PeekToken and SetState, which only derived sources use.
template <class T>
struct Peeker : CKXSQLTextT<T> {
  using CKXSQLTextT<T>::CKXSQLTextT;
  using CKXSQLTextT<T>::PeekToken;
  using CKXSQLTextT<T>::SetState;
};

TYPED_TEST(Tokenizer, NulCharacterEndsTheCallButNotTheSource) {
  // The text source stops at the terminator, so feed the NUL through a source that knows its length.
  struct Counted : CKXSQLStreamT<TypeParam> {
    std::basic_string<TypeParam> data;
    std::size_t pos = 0;
    void Close() override {}
    bool IsEOF() const override { return pos >= data.size(); }
    bool IsOpen() const override { return true; }
    unsigned int GetDoneCount() const override { return static_cast<unsigned int>(pos); }
    unsigned int GetTotalCount() const override { return static_cast<unsigned int>(data.size()); }
    TypeParam GetChar(bool& eof) override {
      if (pos >= data.size()) { eof = true; return 0; }
      return data[pos++];
    }
    void UngetChar() override { if (pos) --pos; }
  } source;
  const TypeParam raw[] = {'a', ' ', 0, 'b'};
  source.data.assign(raw, 4);
  SQLToken<TypeParam> token;
  EXPECT_EQ(source.GetToken(token, 0), 0);  // a
  EXPECT_EQ(source.GetToken(token, 0), 0);  // blank
  EXPECT_EQ(source.GetToken(token, 0), 1);  // NUL: an empty token, so the call answers 1 though text follows
  EXPECT_FALSE(source.IsEOF());
  EXPECT_EQ(source.GetToken(token, 0), 0);
  EXPECT_EQ(Describe(token), "SYMBOL:b");
}

TYPED_TEST(Tokenizer, PeekedTokensComeBackInOrder) {
  Text<TypeParam> text("one two three");
  Peeker<TypeParam> peeker(text.c_str());
  SQLToken<TypeParam> token;
  std::vector<std::string> got;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(peeker.PeekToken(token), 1);
    got.push_back(Describe(token));
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(peeker.GetToken(token, 0), 0);
    got.push_back(Describe(token));
  }
  // Bit 0x1 reads past the queue.
  ASSERT_EQ(peeker.PeekToken(token), 1);
  ASSERT_EQ(peeker.GetToken(token, 0x1), 0);
  got.push_back(Describe(token));
  ASSERT_EQ(peeker.GetToken(token, 0), 0);
  got.push_back(Describe(token));
  EXPECT_EQ(got, (std::vector<std::string>{"SYMBOL:one", "WHITESPACE: ", "SYMBOL:one", "WHITESPACE: ", "SYMBOL:two",
                                           "SYMBOL:three", "WHITESPACE: "}));
  EXPECT_EQ(peeker.PeekToken(token), 0);  // the end
}

TYPED_TEST(Tokenizer, ClosedSourceFailsEvenWithQueuedTokens) {
  Text<TypeParam> text("a b");
  Peeker<TypeParam> source(text.c_str());
  SQLToken<TypeParam> token;
  ASSERT_EQ(source.PeekToken(token), 1);
  source.Close();
  EXPECT_EQ(source.GetCurPos(), nullptr);
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.GetToken(token, 0), -1);
  EXPECT_TRUE(token.Is(SQLTOKEN_TYPE::NONE));
  const CKXMessage message = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(message.type, MSGTYPE::ERR);
  EXPECT_EQ(message.text + "|" + message.caption + "|" + message.source,
            "Attempting to get next token, file not open|Get Token Sequence Error|GetToken");
  // Set again, the queued token comes first, then the text from its start.
  ASSERT_EQ(source.Set(text.c_str()), 0);
  EXPECT_EQ(ReadTokens(source), (std::vector<std::string>{"SYMBOL:a", "SYMBOL:a", "WHITESPACE: ", "SYMBOL:b"}));
}

struct CompareCase {
  std::string mine, other;
  bool case_sensitive;
  int expected;
};

TYPED_TEST(Tokenizer, CompareText) {
  const CompareCase cases[] = {
      // Layout and comments are skipped.
      {"SELECT a FROM t", "select  a -- c\nfrom t", false, 0},
      {"SELECT a FROM t", "select  a -- c\nfrom t", true, -1},  // 'S' orders before 's'
      {"select a", "select a from t", false, -1},               // a token-wise prefix
      {"select a from t", "select a", false, 1},
      {"'A'", "'a'", false, -1},                                // strings keep their case
      {"abc", "'abc'", false, -1},                              // the type decides first
      {"x", "", false, 1},                                      // nothing to compare with
      {"-- only a comment", "", false, 0},
  };
  for (const CompareCase& row : cases) {
    SCOPED_TRACE(row.mine + " <=> " + row.other);
    Text<TypeParam> mine(row.mine), other(row.other);
    CKXSQLTextT<TypeParam> source(mine.c_str());
    EXPECT_EQ(source.CompareText(other.c_str(), row.case_sensitive), row.expected);
  }
  CKXSQLTextT<TypeParam> closed;
  Text<TypeParam> other("x");
  EXPECT_EQ(closed.CompareTextNoCase(other.c_str()), 2);
}

TYPED_TEST(Tokenizer, SetStateRejectsUnknownStates) {
  Text<TypeParam> text("/x");
  Peeker<TypeParam> source(text.c_str());
  source.SetState(4);    // inside a line: the slash is an operator
  source.SetState(99);   // rejected, the state stays 4
  EXPECT_EQ(ReadTokens(source), (std::vector<std::string>{"OTHER:/", "SYMBOL:x"}));

  // State 6 expects a dash: "-x" then makes "--x" a line comment of the dash read twice.
  Text<TypeParam> dash("-x");
  Peeker<TypeParam> lead_in(dash.c_str());
  lead_in.SetState(6);
  EXPECT_EQ(ReadTokens(lead_in), (std::vector<std::string>{"LINECOMMENT:--x"}));
}

// Random and adversarial inputs: the tokens concatenate back to the input and
// every call reads at least one character or ends.
TYPED_TEST(Tokenizer, TokensConcatenateBackToAnyInput) {
  const std::vector<unsigned> alphabet = {'\'', '"', '-', '/', '*', '\r', '\n', ' ', '\t', ';', '.', '$',
                                          'a', 'Z', '_', '1', 0xFF, 0x80, 0xC3, 0xA9, 1, 0x7F};
  std::mt19937 random(20261206);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = 1 + random() % 64;
    std::basic_string<TypeParam> input;
    for (std::size_t i = 0; i < length; ++i) {
      unsigned c = (round % 3 == 0) ? 1 + random() % 255 : alphabet[random() % alphabet.size()];
      if (sizeof(TypeParam) == 2 && round % 5 == 0) c = 1 + random() % 0xFFFE;  // lone surrogates included
      input.push_back(static_cast<TypeParam>(c));
    }
    CKXSQLTextT<TypeParam> source(input.c_str());
    std::basic_string<TypeParam> joined;
    SQLToken<TypeParam> token;
    unsigned int before = source.GetDoneCount();
    for (int calls = 0; calls <= 200; ++calls) {
      ASSERT_LT(calls, 200) << "the tokenizer did not finish";
      const long rc = source.GetToken(token, 0);
      ASSERT_GE(rc, 0);
      joined.append(token.GetText(), token.GetLength());
      if (rc == 1) break;
      ASSERT_GT(source.GetDoneCount(), before) << "a call read nothing";
      before = source.GetDoneCount();
    }
    ASSERT_EQ(joined, input);
  }
}

// The tokenizer reads a text source's characters straight from its text. A
// class derived from the source may watch or change each character, so for
// it every character still goes through its GetChar and UngetChar.
template <class T>
struct WatchedText : CKXSQLTextT<T> {
  using CKXSQLTextT<T>::CKXSQLTextT;
  std::basic_string<T> delivered;  // every character GetChar handed out, less those given back
  T rename_from = 0, rename_to = 0;  // when set, `rename_from` is delivered as `rename_to`
  T GetChar(bool& eof) override {
    T c = CKXSQLTextT<T>::GetChar(eof);
    if (eof) return c;
    if (rename_from != 0 && c == rename_from) c = rename_to;
    delivered.push_back(c);
    return c;
  }
  void UngetChar() override {
    if (!delivered.empty()) delivered.pop_back();
    CKXSQLTextT<T>::UngetChar();
  }
};

TYPED_TEST(Tokenizer, DerivedSourceSeesEveryCharacterAndGetsTheSameTokens) {
  for (const std::string input : {"select a.b, 'it''s' from t; -- done\r\n/\nx", "/* a */ /*** b ***/ \"q\"\"q\" 'open",
                                  "word_1  \t  word2\n\n-- c\rz $$ 12.5", "x", "   ", "--"}) {
    SCOPED_TRACE(input);
    Text<TypeParam> text(input);
    CKXSQLTextT<TypeParam> plain(text.c_str());
    WatchedText<TypeParam> watched(text.c_str());
    SQLToken<TypeParam> a, b;
    for (long rc = 0; rc == 0;) {
      rc = plain.GetToken(a, 0);
      ASSERT_EQ(watched.GetToken(b, 0), rc);
      EXPECT_EQ(Describe(a), Describe(b));
      // The counts, the position and the end agree after every token.
      EXPECT_EQ(plain.GetDoneCount(), watched.GetDoneCount());
      EXPECT_EQ(plain.GetCurPos(), watched.GetCurPos());
      EXPECT_EQ(plain.IsEOF(), watched.IsEOF());
    }
    // Every character came through the override, once for good.
    EXPECT_EQ(kxsql::testing::TextOf(watched.delivered.c_str(), watched.delivered.size()), input);
  }
  // The derived source decides the characters.
  Text<TypeParam> text("a x b");
  WatchedText<TypeParam> source(text.c_str());
  source.rename_from = 'x';
  source.rename_to = ';';
  EXPECT_EQ(ReadTokens(source),
            (std::vector<std::string>{"SYMBOL:a", "WHITESPACE: ", "SEMI_COLON:;", "WHITESPACE: ", "SYMBOL:b"}));
}

TYPED_TEST(Tokenizer, CopiedSourceGoesOnFromTheSamePlaceWithItsQueue) {
  Text<TypeParam> text("one two three");
  Peeker<TypeParam> source(text.c_str());
  SQLToken<TypeParam> token;
  ASSERT_EQ(source.GetToken(token, 0), 0);
  ASSERT_EQ(source.PeekToken(token), 1);
  ASSERT_EQ(source.PeekToken(token), 1);
  Peeker<TypeParam> copy(source);
  Peeker<TypeParam> assigned;
  assigned = source;
  for (Peeker<TypeParam>* reader : {&source, &copy, &assigned}) {
    EXPECT_EQ(reader->GetDoneCount(), 7u);
    EXPECT_EQ(ReadTokens(*reader), (std::vector<std::string>{"WHITESPACE: ", "SYMBOL:two", "WHITESPACE: ",
                                                            "SYMBOL:three"}));
    EXPECT_TRUE(reader->IsEOF());
  }
  // A source that is set again reads its new text from the start.
  Text<TypeParam> other("x;");
  ASSERT_EQ(source.Set(other.c_str()), 0);
  EXPECT_EQ(source.GetDoneCount(), 0u);
  EXPECT_EQ(ReadTokens(source), (std::vector<std::string>{"SYMBOL:x", "SEMI_COLON:;"}));
}

}  // namespace

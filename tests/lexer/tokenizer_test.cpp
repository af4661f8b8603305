#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "support/tokens.h"
#include "support/watched.h"

namespace {

using kxsql::testing::Describe;
using kxsql::testing::ReadTokens;
using kxsql::testing::Text;
using kxsql::testing::TextOf;
using Tokens = std::vector<std::string>;

template <class T>
class Tokenizer : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Tokenizer, Widths);

// Opens PeekToken and SetState, which only derived sources use.
template <class T>
struct Peeker : CKXSQLTextT<T> {
  using CKXSQLTextT<T>::CKXSQLTextT;
  using CKXSQLTextT<T>::PeekToken;
  using CKXSQLTextT<T>::SetState;
};

const std::pair<std::string, Tokens> kTokenCases[] = {
    {"SELECT a.b, 'it''s' FROM t; -- done",
     {"SYMBOL:SELECT", "WHITESPACE: ", "SYMBOL:a", "DOT:.", "SYMBOL:b", "OTHER:,", "WHITESPACE: ",
      "SQ_STRING:'it''s'", "WHITESPACE: ", "SYMBOL:FROM", "WHITESPACE: ", "SYMBOL:t", "SEMI_COLON:;",
      "WHITESPACE: ", "LINECOMMENT:-- done"}},
    {"12.5", {"OTHER:1", "OTHER:2", "DOT:.", "OTHER:5"}}, {"a-b", {"SYMBOL:a", "OTHER:-", "SYMBOL:b"}},
    {"a--b\n", {"SYMBOL:a", "LINECOMMENT:--b", "LF:\n"}}, {"-", {"OTHER:-"}},
    // A `/` in the first column is a terminator, after any line end; elsewhere an operator, with no
    // type when the text ends there.
    {"/\nx", {"SLASH_TERMINATOR:/", "LF:\n", "SYMBOL:x"}}, {"/", {"SLASH_TERMINATOR:/"}},
    {"\r\n/", {"CR:\r", "LF:\n", "SLASH_TERMINATOR:/"}},
    {"a\r/b", {"SYMBOL:a", "CR:\r", "SLASH_TERMINATOR:/", "SYMBOL:b"}},  // a bare CR, as old Macs end lines
    {"-- c\r\n/\n", {"LINECOMMENT:-- c", "CR:\r", "LF:\n", "SLASH_TERMINATOR:/", "LF:\n"}},
    {" /\n", {"WHITESPACE: ", "OTHER:/", "LF:\n"}}, {"x/y", {"SYMBOL:x", "OTHER:/", "SYMBOL:y"}},
    {"x/", {"SYMBOL:x", "NONE:/"}}, {"a**/", {"SYMBOL:a", "OTHER:*", "OTHER:*", "NONE:/"}},
    // `/*` opens a comment in the first column too; comments do not nest.
    {"x\n/*/ y */", {"SYMBOL:x", "LF:\n", "MULTILINECOMMENT:/*/ y */"}},
    {"/***/x", {"MULTILINECOMMENT:/***/", "SYMBOL:x"}},
    {"/* a /* b */ x */;",
     {"MULTILINECOMMENT:/* a /* b */", "WHITESPACE: ", "SYMBOL:x", "WHITESPACE: ", "OTHER:*", "OTHER:/",
      "SEMI_COLON:;"}},
    // Strings and comments left open run to the end.
    {"'a\nb' c", {"SQ_STRING:'a\nb'", "WHITESPACE: ", "SYMBOL:c"}}, {"'open", {"SQ_STRING:'open"}},
    {"\"x\"\"y\" z", {"DQ_STRING:\"x\"\"y\"", "WHITESPACE: ", "SYMBOL:z"}}, {"\"open", {"DQ_STRING:\"open"}},
    {"/* open", {"MULTILINECOMMENT:/* open"}},
    {"$$body$$", {"DollarSign:$", "DollarSign:$", "SYMBOL:body", "DollarSign:$", "DollarSign:$"}},
    {"_x1 1x #tmp", {"SYMBOL:_x1", "WHITESPACE: ", "OTHER:1", "SYMBOL:x", "WHITESPACE: ", "OTHER:#", "SYMBOL:tmp"}},
    {"\t \tx", {"WHITESPACE:\t \t", "SYMBOL:x"}},
    // Non-ASCII letters are letters, first or later in a word.
    {"café été 日本", {"SYMBOL:café", "WHITESPACE: ", "SYMBOL:été", "WHITESPACE: ", "SYMBOL:日本"}},
};

TYPED_TEST(Tokenizer, TypeTable) {
  for (const auto& [input, tokens] : kTokenCases) {
    SCOPED_TRACE(input);
    Text<TypeParam> text(input);
    CKXSQLTextT<TypeParam> source(text.c_str());
    long rc = 0;
    EXPECT_EQ(ReadTokens(source, &rc), tokens);
    std::string joined;
    for (const std::string& token : tokens) joined += token.substr(token.find(':') + 1);
    EXPECT_EQ(joined, input);
    // The end is answered again, with an empty token.
    SQLToken<TypeParam> token;
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(source.GetToken(token, 0), 1);
    EXPECT_EQ(Describe(token), "NONE:");
  }
}

// A reference tokenizer written from the token rules rather than from the
// state machine: each token is the longest run that its first characters
// allow. Its letters are those of the random texts below.
template <class T>
Tokens Reference(const std::basic_string<T>& s) {
  const std::size_t n = s.size();
  const auto at = [&](std::size_t k, unsigned c) { return k < n && static_cast<unsigned>(s[k]) == c; };
  const auto letter = [](unsigned c) { return c == '_' || c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); };
  const auto run = [&](std::size_t k, auto in) { while (k < n && in(static_cast<unsigned>(s[k]))) ++k; return k; };
  Tokens tokens;
  bool line_start = true;
  for (std::size_t i = 0, end; i < n; i = end) {
    const unsigned c = static_cast<unsigned>(s[i]);
    std::string type = "OTHER";
    end = i + 1;
    if (c == '\n' || c == '\r') {
      type = c == '\n' ? "LF" : "CR";
    } else if (c == '/' && at(i + 1, '*')) {
      type = "MULTILINECOMMENT";
      for (end = i + 2; end < n && !(at(end, '*') && at(end + 1, '/'));) ++end;
      end = std::min(end + 2, n);
    } else if (c == '/') {
      type = line_start ? "SLASH_TERMINATOR" : end == n ? "NONE" : "OTHER";
    } else if (c == '-' && at(i + 1, '-')) {
      type = "LINECOMMENT";
      end = run(i, [](unsigned x) { return x != '\r' && x != '\n'; });
    } else if (c == ' ' || c == '\t') {
      type = "WHITESPACE";
      end = run(i, [](unsigned x) { return x == ' ' || x == '\t'; });
    } else if (c == '\'' || c == '"') {
      type = c == '"' ? "DQ_STRING" : "SQ_STRING";  // a doubled quote stays inside
      while (end < n && !(at(end, c) && !at(end + 1, c))) end += at(end, c) ? 2 : 1;
      end = std::min(end + 1, n);
    } else if (c == ';' || c == '.' || c == '$') {
      type = c == ';' ? "SEMI_COLON" : c == '.' ? "DOT" : "DollarSign";
    } else if (letter(c)) {
      type = "SYMBOL";
      end = run(i, [&](unsigned x) { return letter(x) || (x >= '0' && x <= '9'); });
    }
    tokens.push_back(type + ":" + TextOf(s.data() + i, end - i));
    line_start = c == '\n' || c == '\r';
  }
  return tokens;
}

// Also for a class derived from the source, which must see every character through its own GetChar,
// once for good.
TYPED_TEST(Tokenizer, AgreesWithTheReferenceOnRandomText) {
  const char* const parts[] = {"\r", "\n", "/", "*", "-", "'", "\"", " ", "\t", ";", ".", "$", "a", "Z", "_", "1", "#",
                               "é", "日"};
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::string input;
    for (std::size_t n = 1 + random() % 40; n > 0; --n) input += parts[random() % std::size(parts)];
    SCOPED_TRACE(::testing::PrintToString(input));
    Text<TypeParam> text(input);
    const Tokens expected = Reference(std::basic_string<TypeParam>(text.c_str()));
    CKXSQLTextT<TypeParam> source(text.c_str());
    ASSERT_EQ(ReadTokens(source), expected);
    kxsql::testing::Watched<CKXSQLTextT<TypeParam>, TypeParam> watched(text.c_str());
    ASSERT_EQ(ReadTokens(watched), expected);
    ASSERT_EQ(TextOf(watched.delivered.c_str(), watched.delivered.size()), input);
  }
}

TYPED_TEST(Tokenizer, PeekedTokensComeFirstAlsoInCopies) {
  Text<TypeParam> text("one two three");
  Peeker<TypeParam> source(text.c_str());
  SQLToken<TypeParam> token;
  ASSERT_EQ(source.GetToken(token, 0), 0);
  ASSERT_EQ(source.PeekToken(token) + source.PeekToken(token), 2);
  // Bit 0x1 reads past the queue.
  ASSERT_EQ(source.GetToken(token, 0x1), 0);
  EXPECT_EQ(Describe(token), "WHITESPACE: ");
  Peeker<TypeParam> copy(source), assigned;
  assigned = source;
  for (Peeker<TypeParam>* reader : {&source, &copy, &assigned}) {
    EXPECT_EQ(reader->GetDoneCount(), 8u);
    EXPECT_EQ(ReadTokens(*reader), (Tokens{"WHITESPACE: ", "SYMBOL:two", "SYMBOL:three"}));
    EXPECT_EQ(reader->PeekToken(token), 0);
  }
  // Closed, the source fails even with tokens queued; set again, the queue comes first, then the new
  // text from its start, in the first column.
  ASSERT_EQ(source.Set(text.c_str()), 0);
  ASSERT_EQ(source.PeekToken(token), 1);
  source.Close();
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.GetToken(token, 0), -1);
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_EQ(m.text + "|" + m.caption + "|" + m.source,
            "Attempting to get next token, file not open|Get Token Sequence Error|GetToken");
  Text<TypeParam> slash("/\n");
  ASSERT_EQ(source.Set(slash.c_str()), 0);
  EXPECT_EQ(ReadTokens(source), (Tokens{"SYMBOL:one", "SLASH_TERMINATOR:/", "LF:\n"}));
}

TYPED_TEST(Tokenizer, CompareText) {
  const struct {
    std::string mine, other;
    bool case_sensitive;
    int expected;
  } cases[] = {
      {"SELECT a FROM t", "select  a -- c\nfrom t", false, 0},  // layout and comments are skipped
      {"SELECT a FROM t", "select  a -- c\nfrom t", true, -1},  // 'S' orders before 's'
      {"select a", "select a from t", false, -1},               // a token-wise prefix
      {"select a from t", "select a", false, 1},
      {"'A'", "'a'", false, -1},                                // strings keep their case
      {"abc", "'abc'", false, -1},                              // the type decides first
      {"x", "", false, 1},                                      // nothing to compare with
      {"-- only a comment", "", false, 0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.mine + " <=> " + row.other);
    Text<TypeParam> mine(row.mine), other(row.other);
    CKXSQLTextT<TypeParam> source(mine.c_str());
    EXPECT_EQ(source.CompareText(other.c_str(), row.case_sensitive), row.expected);
  }
  CKXSQLTextT<TypeParam> closed;
  EXPECT_EQ(closed.CompareTextNoCase(Text<TypeParam>("x").c_str()), 2);
}

TYPED_TEST(Tokenizer, SetStateTakesTheStoredStatesOnly) {
  Text<TypeParam> text("/x y");
  Peeker<TypeParam> source(text.c_str());
  source.SetState(4);   // inside a line: the slash is an operator
  source.SetState(15);  // no such state: the state stays
  EXPECT_EQ(ReadTokens(source), (Tokens{"OTHER:/", "SYMBOL:x", "WHITESPACE: ", "SYMBOL:y"}));
  // In a word (14) the word goes on, with the type it had (none); with a dash due (6), "-x" is a line
  // comment of that dash read twice.
  const struct {
    unsigned state;
    const char* input;
    Tokens tokens;
  } states[] = {{14, "x y", {"NONE:x", "WHITESPACE: ", "SYMBOL:y"}}, {6, "-x y", {"LINECOMMENT:--x y"}}};
  for (const auto& row : states) {
    Text<TypeParam> input(row.input);
    Peeker<TypeParam> set(input.c_str());
    set.SetState(row.state);
    EXPECT_EQ(ReadTokens(set), row.tokens);
  }
}

}  // namespace

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Piece;
using kxsql::testing::SplitAll;
using kxsql::testing::Str;
using kxsql::testing::StmtOf;
using kxsql::testing::Summary;
using kxsql::testing::Text;

// A text source that opens the splitter's protected rules to the tests, as a
// derived source would use them.
template <class T>
class RuleSource : public CKXSQLTextT<T> {
 public:
  explicit RuleSource(const T* sql) : CKXSQLTextT<T>(sql) {}
  using CKXSQLStreamT<T>::SQLCompoundStmt;
  using CKXSQLStreamT<T>::SQLDB2OracleIFStmt;
  using CKXSQLStreamT<T>::SQLOracleForStmt;
  using CKXSQLStreamT<T>::SQLPGDollarQuotedString;
  using CKXSQLStreamT<T>::SQLSeekToken;
  using CKXSQLStreamT<T>::SQLSeekSymbol;
  using CKXSQLStreamT<T>::SQLSeekEndOfStmt;
  using CKXSQLStreamT<T>::SQLRegularStmt;
  using CKXSQLStreamT<T>::SQLInvalidStmt;
};

template <class T>
class BlockRules : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(BlockRules, Widths);

enum Rule { kCompound, kIf, kFor, kDollar };

// The script follows the block's opening keyword; `text` is what the rule appended, `rest` the next token the
// stream delivers afterwards ("" at the end).
struct RuleCase {
  Rule rule;
  const DBMSTYPE* dbms;
  std::string script;
  long rc;
  std::string text, rest;
};

template <class T>
long Run(RuleSource<T>& source, Rule rule, SQLStmtT<T>& stmt, const DBMSTYPE& dbms, unsigned long flags = 0) {
  switch (rule) {
    case kCompound: return source.SQLCompoundStmt(stmt, dbms, flags);
    case kIf: return source.SQLDB2OracleIFStmt(stmt, dbms, flags);
    case kFor: return source.SQLOracleForStmt(stmt, dbms, flags);
    case kDollar: return source.SQLPGDollarQuotedString(stmt, dbms, flags);
  }
  return -2;
}

TYPED_TEST(BlockRules, EachRuleClosesItsBlock) {
  const DBMSTYPE* const generic = &DBMSTYPE::GENERIC;
  const DBMSTYPE* const oracle = &DBMSTYPE::ORACLE;
  const RuleCase cases[] = {
      {kCompound, generic, " x; BEGIN y; END; END; z", 0, " x; BEGIN y; END; END", ";"},
      // Inside an IF block, a nested IF opens a block whatever the DBMS type.
      {kIf, generic, " a THEN IF b THEN x; END IF; y; END IF; z", 0, " a THEN IF b THEN x; END IF; y; END IF", ";"},
      // ... but FOR opens a loop only for Oracle.
      {kIf, generic, " a THEN SELECT 1 FOR UPDATE; END IF; x; LOOP; END LOOP; END IF; z", 0,
       " a THEN SELECT 1 FOR UPDATE; END IF", ";"},
      {kIf, oracle, " a THEN SELECT 1 FOR UPDATE; END IF; x; LOOP; END LOOP; END IF; z", 0,
       " a THEN SELECT 1 FOR UPDATE; END IF; x; LOOP; END LOOP; END IF", ";"},
      // END then seeks the next IF, whatever comes between.
      {kIf, generic, " a THEN x; END; y; IF z", 0, " a THEN x; END; y; IF", " "},
      // Inside a loop, FOR and IF open their blocks whatever the DBMS type.
      {kFor, generic, " i IN x LOOP FOR j IN y LOOP z; END LOOP; END LOOP; w", 0,
       " i IN x LOOP FOR j IN y LOOP z; END LOOP; END LOOP", ";"},
      {kFor, generic, " i IN x LOOP IF a THEN END; b; END IF; END LOOP; w", 0,
       " i IN x LOOP IF a THEN END; b; END IF; END LOOP", ";"},
      // The loop header runs up to LOOP, whatever it holds.
      {kFor, generic, " UPDATE; END; x LOOP y; END; z LOOP;", 0, " UPDATE; END; x LOOP y; END; z LOOP", ";"},
      {kFor, generic, " i IN x LOOP BEGIN y; END; END LOOP; w", 0, " i IN x LOOP BEGIN y; END; END LOOP", ";"},
      // Single dollar signs are text; two in a row close the body.
      {kDollar, generic, "$$tail", 0, "$$", "tail"},
      {kDollar, generic, " $x; $;$$ tail", 0, " $x; $;$$", " "},
      {kDollar, generic, " a $ $$", 0, " a $ $$", ""},
      // The end of the input inside a nested block (the plain ones are in the splitter tables).
      {kIf, oracle, " a THEN FOR i IN x LOOP y;", 1, " a THEN FOR i IN x LOOP y;", ""},
      {kFor, generic, " i IN x LOOP y; END", 1, " i IN x LOOP y; END", ""},
  };
  for (const RuleCase& row : cases) {
    SCOPED_TRACE(std::string(row.dbms->GetName()) + ":" + row.script);
    Text<TypeParam> text(row.script);
    RuleSource<TypeParam> source(text.c_str());
    SQLStmtT<TypeParam> stmt;
    EXPECT_EQ(Run(source, row.rule, stmt, *row.dbms), row.rc);
    EXPECT_EQ(Str(stmt.GetText()), row.text);
    SQLToken<TypeParam> next;
    source.GetToken(next, 0);
    EXPECT_EQ(Str(next.GetText()), row.rest);
  }
}

TYPED_TEST(BlockRules, SeekAppendsUpToTheMatch) {
  struct Case {
    const SQLTOKEN_TYPE* type;
    std::string sought;
    unsigned long flags;
    std::string script;
    long rc;
    std::string text;
  };
  const Case cases[] = {
      {&SQLTOKEN_TYPE::SYMBOL, "loop", 0, "x 'LOOP' LoOp y", 0, "x 'LOOP' LoOp"},
      {&SQLTOKEN_TYPE::SYMBOL, "loop", 0x200, "x LOOP y", 0, "x "},
      {&SQLTOKEN_TYPE::SYMBOL, "loop", 0, "x loops y", 1, "x loops y"},
      {&SQLTOKEN_TYPE::SEMI_COLON, "", 0, "a b; c", 0, "a b;"},
      {&SQLTOKEN_TYPE::SEMI_COLON, "", 0x200, "a b; c", 0, "a b"},
      {&SQLTOKEN_TYPE::DollarSign, "", 0, "a $ b", 0, "a $"},
      // OTHER stands for any single character: it never ends a seek.
      {&SQLTOKEN_TYPE::OTHER, ",", 0, "a, b", 1, "a, b"},
      {&SQLTOKEN_TYPE::LINECOMMENT, "", 0x1, "a -- c\nb", 0, "a -- c"},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.script);
    Text<TypeParam> text(row.script), sought(row.sought);
    RuleSource<TypeParam> source(text.c_str());
    SQLStmtT<TypeParam> stmt;
    const long rc = row.type == &SQLTOKEN_TYPE::SYMBOL
                        ? source.SQLSeekSymbol(stmt, DBMSTYPE::GENERIC, row.flags, sought.c_str())
                    : row.sought.empty() ? source.SQLSeekToken(stmt, DBMSTYPE::GENERIC, row.flags, *row.type)
                                         : source.SQLSeekToken(stmt, DBMSTYPE::GENERIC, row.flags, *row.type,
                                                               sought.c_str());
    EXPECT_EQ(rc, row.rc);
    EXPECT_EQ(Str(stmt.GetText()), row.text);
  }
}

TYPED_TEST(BlockRules, SeekEndOfStmtLeavesTheSeparatorOut) {
  Text<TypeParam> text("  a;\nGO\nb");
  RuleSource<TypeParam> source(text.c_str());
  const kxsql::testing::Separator go{&SQLTOKEN_TYPE::SYMBOL, "GO", true};
  const kxsql::testing::SeparatorFor<TypeParam> go_for(&go);
  const STMTSEP& sep = go_for.value;
  SQLStmtT<TypeParam> stmt;
  // Neither the line ending nor the leading blanks go: that is GetNextStmt's work.
  EXPECT_EQ(source.SQLSeekEndOfStmt(stmt, DBMSTYPE::GENERIC, 0, sep), 0);
  EXPECT_EQ(Str(stmt.GetText()), "  a;\n");
  EXPECT_EQ(source.SQLSeekEndOfStmt(stmt, DBMSTYPE::GENERIC, 0, sep), 1);
  EXPECT_EQ(Str(stmt.GetText()), "  a;\n\nb");
}

TYPED_TEST(BlockRules, RegularStmtAppliesNoBlockRule) {
  Text<TypeParam> text("  BEGIN x; END\nGO\nCREATE PROCEDURE p BEGIN y; END\n/\nz");
  RuleSource<TypeParam> source(text.c_str());
  SQLStmtT<TypeParam> stmt;
  stmt.AddToken(SQLToken<TypeParam>(Text<TypeParam>("old").c_str(), SQLTOKEN_TYPE::SYMBOL), DBMSTYPE::GENERIC, 0);
  std::vector<Piece> pieces;
  long rc;
  do {
    rc = source.SQLRegularStmt(stmt, DBMSTYPE::ORACLE, 0x111);
    pieces.emplace_back(rc, Str(stmt.GetText()), Str(stmt.GetParsedText()));
  } while (rc == 0);
  // Nothing is trimmed.
  EXPECT_EQ(pieces, (std::vector<Piece>{{0, "  BEGIN x"}, {0, " END", " END\n"}, {0, "\nCREATE PROCEDURE p BEGIN y"},
                                        {0, " END", " END\n"}, {1, "\nz"}}));
}

TYPED_TEST(BlockRules, InvalidStmtReportsTheStatement) {
  Text<TypeParam> text("selct ü from t; x");
  RuleSource<TypeParam> source(text.c_str());
  SQLStmtT<TypeParam> stmt;
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.SQLInvalidStmt(stmt, DBMSTYPE::GENERIC, 0), 0);
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_TRUE(m.type == MSGTYPE::ERR && m.style == 0u && m.code == 0);
  EXPECT_EQ(m.text + "|" + m.caption + "|" + m.source, "selct ü from t|Invalid SQL Statement|SQLInvalidStmt");
  // Reported also when the read ends the input.
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.SQLInvalidStmt(stmt, DBMSTYPE::GENERIC, 0), 1);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text, " x");
}

TYPED_TEST(BlockRules, RulesLeaveEveryTextComplete) {
  // Comments and carriage returns stay out of the parsed text (0x111), and
  // comments out of the no-comment text, whichever rule appended them.
  const std::string script =
      "a -- c\r\n/* b */ x.nextval; if y then -- z\r\n z; end if; end; for i in 1..2 loop -- l\r\n"
      "w; end loop; $$ /* d */ $ q $$ tail";
  const Rule rules[] = {kCompound, kIf, kFor, kDollar};
  for (Rule rule : rules) {
    SCOPED_TRACE(static_cast<int>(rule));
    Text<TypeParam> text(script);
    RuleSource<TypeParam> source(text.c_str());
    SQLStmtT<TypeParam> stmt;
    Run(source, rule, stmt, DBMSTYPE::ORACLE, 0x111);
    // A second rule goes on appending to the same statement.
    source.SQLSeekToken(stmt, DBMSTYPE::ORACLE, 0x111, SQLTOKEN_TYPE::SEMI_COLON);
    EXPECT_EQ(Summary(stmt), Summary(StmtOf<TypeParam>(Str(stmt.GetText()), DBMSTYPE::ORACLE, 0x111)));
    EXPECT_NE(Str(stmt.GetParsedText()), Str(stmt.GetText()));
    // On a closed stream every rule fails.
    source.Close();
    stmt.Clear();
    EXPECT_LT(Run(source, rule, stmt, DBMSTYPE::ORACLE), 0);
    EXPECT_EQ(Str(stmt.GetText()), "");
  }
  // The splitter's own rules: the regular statement and the invalid one.
  Text<TypeParam> text("/* a */ b -- c\r\nd; e /* f */\r\n");
  RuleSource<TypeParam> source(text.c_str());
  SQLStmtT<TypeParam> stmt;
  ASSERT_EQ(source.SQLRegularStmt(stmt, DBMSTYPE::ORACLE, 0x111), 0);
  EXPECT_EQ(Str(stmt.GetParsedText()), " b \nd");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), " b \r\nd");
  ASSERT_EQ(source.SQLInvalidStmt(stmt, DBMSTYPE::ORACLE, 0x111), 1);
  EXPECT_EQ(Str(stmt.GetParsedText()), " e \n");
  EXPECT_EQ(Str(stmt.GetNoCommentText()), " e \r\n");
}

// Nesting is followed without the call stack: a million open blocks split
// like three.
constexpr int kDeep = 1000000;

std::string Repeat(const std::string& part, int n) {
  std::string out;
  out.reserve(part.size() * n);
  for (int i = 0; i < n; ++i) out += part;
  return out;
}

TEST(DeepNesting, MillionLevelsSplitLikeThree) {
  std::string mixed = "BEGIN ";
  const std::string openers[] = {"BEGIN ", "IF a THEN ", "FOR i IN 1..2 LOOP "};
  const std::string closers[] = {"END; ", "END IF; ", "END LOOP; "};
  for (int i = 0; i < kDeep; ++i) mixed += openers[i % 3];
  for (int i = kDeep - 1; i >= 0; --i) mixed += closers[i % 3];
  const std::pair<std::string, const DBMSTYPE*> blocks[] = {
      {Repeat("BEGIN x; ", kDeep) + Repeat("END; ", kDeep - 1) + "END", &DBMSTYPE::GENERIC},
      {"BEGIN " + Repeat("IF a THEN ", kDeep) + Repeat("x; END IF; ", kDeep) + "END", &DBMSTYPE::ORACLE},
      {"BEGIN " + Repeat("FOR i IN 1..2 LOOP ", kDeep) + Repeat("x; END LOOP; ", kDeep) + "END", &DBMSTYPE::ORACLE},
      {mixed + "END", &DBMSTYPE::ORACLE},
  };
  for (const auto& [block, dbms] : blocks) {
    const std::vector<Piece> pieces = SplitAll<char>(block + "; select 1;", *dbms);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].rc, 0);
    EXPECT_TRUE(pieces[0].text == block);  // not EXPECT_EQ: a failure would print megabytes
    EXPECT_EQ(std::vector<Piece>(pieces.begin() + 1, pieces.end()),
              (std::vector<Piece>{{0, ""}, {0, "select 1"}, {1, ""}}));
  }
  // Cut off by the end of the input.
  const std::string cut = "BEGIN " + Repeat("IF a THEN FOR i IN 1..2 LOOP BEGIN ", kDeep / 3);
  std::vector<Piece> pieces = SplitAll<char>(cut, DBMSTYPE::ORACLE);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_TRUE(pieces[0].rc == 1 && pieces[0].text == cut);
  // The wide splitter too.
  const std::string wide = Repeat("BEGIN ", kDeep) + Repeat("END ", kDeep - 1) + "END";
  pieces = SplitAll<unsigned short>(wide, DBMSTYPE::GENERIC);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_TRUE(pieces[0].rc == 0 && pieces[0].text == wide);
  EXPECT_EQ(pieces[1], Piece(1, ""));
}

}  // namespace

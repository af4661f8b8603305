#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Piece;
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

enum Rule { kCompound, kIf, kFor, kDollar, kRegular, kInvalid };

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
    case kRegular: return source.SQLRegularStmt(stmt, dbms, flags);
    case kInvalid: return source.SQLInvalidStmt(stmt, dbms, flags);
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

// The plain rules follow no block and trim nothing: that is GetNextStmt's work, as is leaving out the
// line ending before an own-line separator. An invalid statement is a regular one, reported as it is.
TYPED_TEST(BlockRules, PlainRules) {
  Text<TypeParam> text("  BEGIN x; END\nGO\nCREATE PROCEDURE p BEGIN y; END\n/\nselct ü; z");
  RuleSource<TypeParam> source(text.c_str());
  SQLStmtT<TypeParam> stmt = StmtOf<TypeParam>("old");
  std::vector<Piece> pieces;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(source.SQLRegularStmt(stmt, DBMSTYPE::ORACLE, 0x111), 0);
    pieces.emplace_back(0, Str(stmt.GetText()), Str(stmt.GetParsedText()));
  }
  EXPECT_EQ(pieces, (std::vector<Piece>{{0, "  BEGIN x"}, {0, " END", " END\n"}, {0, "\nCREATE PROCEDURE p BEGIN y"},
                                        {0, " END", " END\n"}}));
  CKXMsg::GetInstance()->Reset();
  EXPECT_EQ(source.SQLInvalidStmt(stmt, DBMSTYPE::GENERIC, 0), 0);
  const CKXMessage m = CKXMsg::GetInstance()->GetLastMessage();
  EXPECT_TRUE(m.type == MSGTYPE::ERR && m.style == 0u && m.code == 0);
  EXPECT_EQ(m.text + "|" + m.caption + "|" + m.source, "\nselct ü|Invalid SQL Statement|SQLInvalidStmt");
  // Reported also when the read ends the input.
  EXPECT_EQ(source.SQLInvalidStmt(stmt, DBMSTYPE::GENERIC, 0), 1);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text, " z");

  Text<TypeParam> batches("  a;\nGO\nb");
  RuleSource<TypeParam> go_source(batches.c_str());
  const kxsql::testing::Separator go{&SQLTOKEN_TYPE::SYMBOL, "GO", true};
  const kxsql::testing::SeparatorFor<TypeParam> sep(&go);
  stmt.Clear();
  EXPECT_EQ(go_source.SQLSeekEndOfStmt(stmt, DBMSTYPE::GENERIC, 0, sep.value), 0);
  EXPECT_EQ(Str(stmt.GetText()), "  a;\n");
  EXPECT_EQ(go_source.SQLSeekEndOfStmt(stmt, DBMSTYPE::GENERIC, 0, sep.value), 1);
  EXPECT_EQ(Str(stmt.GetText()), "  a;\n\nb");
}

TYPED_TEST(BlockRules, RulesLeaveEveryTextComplete) {
  // Whichever rule appended them, comments and carriage returns are out of the parsed text (0x111), and
  // comments out of the no-comment text, as if the tokens had been added one by one.
  const std::string script =
      "a -- c\r\n/* b */ x.nextval; if y then -- z\r\n z; end if; end; for i in 1..2 loop -- l\r\n"
      "w; end loop; $$ /* d */ $ q $$ tail";
  for (Rule rule : {kCompound, kIf, kFor, kDollar, kRegular, kInvalid}) {
    SCOPED_TRACE(static_cast<int>(rule));
    Text<TypeParam> text(script);
    RuleSource<TypeParam> source(text.c_str());
    SQLStmtT<TypeParam> stmt;
    // A second rule goes on appending to the same statement.
    for (int rules = 0; rules < 2; ++rules) {
      if (rules == 0) Run(source, rule, stmt, DBMSTYPE::ORACLE, 0x111);
      else source.SQLSeekToken(stmt, DBMSTYPE::ORACLE, 0x111, SQLTOKEN_TYPE::SEMI_COLON);
      EXPECT_EQ(Summary(stmt), Summary(StmtOf<TypeParam>(Str(stmt.GetText()), DBMSTYPE::ORACLE, 0x111)));
      EXPECT_NE(Str(stmt.GetParsedText()), Str(stmt.GetText()));
    }
    // On a closed stream every rule fails.
    source.Close();
    stmt.Clear();
    EXPECT_LT(Run(source, rule, stmt, DBMSTYPE::ORACLE), 0);
    EXPECT_EQ(Str(stmt.GetText()), "");
  }
}

}  // namespace

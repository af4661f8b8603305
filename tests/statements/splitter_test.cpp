#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/split_support.h"

namespace {

using kxsql::testing::Piece;
using kxsql::testing::Separator;
using kxsql::testing::SplitAll;
using kxsql::testing::Str;
using kxsql::testing::Text;

template <class T>
class Splitter : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(Splitter, Widths);

// A script and what every GetNextStmt call gives back for it, up to the first
// call that does not answer 0: {result, text, parsed text}.
struct SplitCase {
  std::string script;
  std::vector<Piece> pieces;
};

template <class T>
void RunTable(const DBMSTYPE& dbms, const std::vector<SplitCase>& cases, const Separator* sep = nullptr) {
  for (const SplitCase& row : cases) {
    SCOPED_TRACE(std::string(dbms.GetName()) + ": " + row.script);
    EXPECT_EQ(SplitAll<T>(row.script, dbms, sep), row.pieces);
  }
}

// Rules that hold for every DBMS type (run with the generic one). The reference splitter below tries
// the block words in many more combinations.
const std::vector<SplitCase> kCommonCases = {
    {"select 1; select 2", {{0, "select 1"}, {1, "select 2"}}}, {"a;;b", {{0, "a"}, {0, ""}, {1, "b"}}},
    // A slash in the first column ends the statement with the line ending before it.
    {"select 1\n/\nselect 2\n/", {{0, "select 1"}, {0, "select 2"}, {1, ""}}},
    {"select 1\r\n/\r\n", {{0, "select 1"}, {1, ""}}}, {"select 1\n /\nselect 2", {{1, "select 1\n /\nselect 2"}}},
    {"select 1\n/* c */ x;", {{0, "select 1\n/* c */ x"}, {1, ""}}},
    // GO ends the statement wherever it stands, in any letter case.
    {"select 1\nGO\nselect 2\ngo\n", {{0, "select 1"}, {0, "select 2"}, {1, ""}}},
    {"select go from t", {{0, "select ", "select"}, {1, "from t"}}}, {"select 1\r\nGo", {{0, "select 1"}, {1, ""}}},
    {"select gone;", {{0, "select gone"}, {1, ""}}},
    // An indented GO keeps its line ending and indentation in the text.
    {"select 1\n  GO\nselect 2", {{0, "select 1\n  ", "select 1"}, {1, "select 2"}}},
    {"select 1\n;", {{0, "select 1\n", "select 1"}, {1, ""}}},
    // Comments belong to the statement they precede; one after the last terminator is a statement.
    {"-- head\nselect 1; -- tail\n", {{0, "-- head\nselect 1"}, {1, "-- tail\n", "-- tail"}}},
    // BEGIN with blanks and TRAN, TRANSACTION or WORK is a statement.
    {"BEGIN TRAN; x", {{0, "BEGIN TRAN"}, {1, "x"}}},
    {"begin\t transaction;x;", {{0, "begin\t transaction"}, {0, "x"}, {1, ""}}},
    {"BEGIN WORK;", {{0, "BEGIN WORK"}, {1, ""}}},
    // Anything else after BEGIN opens a block, a line break before TRAN included.
    {"BEGIN\nTRAN; x; END; y", {{0, "BEGIN\nTRAN; x; END"}, {0, ""}, {1, "y"}}},
    {"BEGIN TRANS; x; END;", {{0, "BEGIN TRANS; x; END"}, {0, ""}, {1, ""}}},
    {"BEGIN 'TRAN'; x; END;", {{0, "BEGIN 'TRAN'; x; END"}, {0, ""}, {1, ""}}}, {"BEGIN;", {{1, "BEGIN;"}}},
    // The END of a CASE closes the block early.
    {"BEGIN v := CASE WHEN a THEN 1 END; w; END; z",
     {{0, "BEGIN v := CASE WHEN a THEN 1 END"}, {0, ""}, {0, "w"}, {0, "END"}, {1, "z"}}},
    // Stored code runs from its keyword to the END matching the next BEGIN.
    {"create trigger t on x begin y; end;", {{0, "create trigger t on x begin y; end"}, {0, ""}, {1, ""}}},
    {"DROP PROCEDURE p;\nDROP TRIGGER t;\nALTER TRIGGER t ON x;\nENABLE TRIGGER t ON x;\ndisable trigger t on x;",
     {{0, "DROP PROCEDURE p"}, {0, "DROP TRIGGER t"}, {0, "ALTER TRIGGER t ON x"}, {0, "ENABLE TRIGGER t ON x"},
      {0, "disable trigger t on x"}, {1, ""}}},
    // A procedure without BEGIN runs on to the next BEGIN anywhere further on.
    {"CREATE PROCEDURE p AS x; y; BEGIN z; END; w;",
     {{0, "CREATE PROCEDURE p AS x; y; BEGIN z; END"}, {0, ""}, {0, "w"}, {1, ""}}},
    // DECLARE opens nothing.
    {"DECLARE v int; BEGIN SET v = 1; END;", {{0, "DECLARE v int"}, {0, "BEGIN SET v = 1; END"}, {0, ""}, {1, ""}}},
    // IF opens no block outside Oracle and DB2.
    {"BEGIN IF a THEN x; END IF; y; END;", {{0, "BEGIN IF a THEN x; END"}, {0, "IF"}, {0, "y"}, {0, "END"}, {1, ""}}},
};

// Rules of one DBMS type that differ from the common ones.
const std::pair<const DBMSTYPE*, std::vector<SplitCase>> kDialectCases[] = {
    {&DBMSTYPE::ORACLE,
     {
         // Stored code takes the semicolon after its END.
         {"CREATE OR REPLACE TRIGGER t BEFORE INSERT ON x BEGIN IF a THEN b; END IF; END;\n/\nselect 1 from dual;",
          {{0, "CREATE OR REPLACE TRIGGER t BEFORE INSERT ON x BEGIN IF a THEN b; END IF; END;"}, {0, ""},
           {0, "select 1 from dual"}, {1, ""}}},
         {"CREATE PROCEDURE p AS BEGIN x; END /* c */ ;",
          {{0, "CREATE PROCEDURE p AS BEGIN x; END /* c */ ;", "CREATE PROCEDURE p AS BEGIN x; END  ;"}, {1, ""}}},
         // IF ... END IF and FOR ... LOOP ... END LOOP do not close the block.
         {"BEGIN FOR i IN 1..2 LOOP FOR j IN 1..2 LOOP IF a THEN x; END IF; END LOOP; END LOOP; END;",
          {{0, "BEGIN FOR i IN 1..2 LOOP FOR j IN 1..2 LOOP IF a THEN x; END IF; END LOOP; END LOOP; END"}, {0, ""},
           {1, ""}}},
         // Any FOR starts a loop: FOR UPDATE seeks on to the next LOOP.
         {"BEGIN SELECT a INTO v FROM t FOR UPDATE; END; LOOP x; y;",
          {{1, "BEGIN SELECT a INTO v FROM t FOR UPDATE; END; LOOP x; y;"}}},
         // An END inside an IF block seeks the next IF, whatever it closed.
         {"BEGIN IF a THEN LOOP x; END LOOP; y; END IF; END; z;",
          {{0, "BEGIN IF a THEN LOOP x; END LOOP; y; END IF; END"}, {0, ""}, {0, "z"}, {1, ""}}},
         {"-- head\nselect 1; -- tail\n", {{0, "-- head\nselect 1", "select 1"}, {1, "-- tail\n", ""}}},
     }},
    {&DBMSTYPE::DB2,
     {
         // IF ... END IF does not close the block; FOR is an ordinary word.
         {"BEGIN IF a THEN SELECT 1 FOR UPDATE; END IF; x; END; y;",
          {{0, "BEGIN IF a THEN SELECT 1 FOR UPDATE; END IF; x; END"}, {0, ""}, {0, "y"}, {1, ""}}},
     }},
    {&DBMSTYPE::INFORMIX,
     {
         // A procedure without BEGIN takes in the next BEGIN's block, wherever it is.
         {"CREATE PROCEDURE p() x; END PROCEDURE; BEGIN WORK; y; END; z;",
          {{0, "CREATE PROCEDURE p() x; END PROCEDURE; BEGIN WORK; y; END"}, {0, ""}, {0, "z"}, {1, ""}}},
         {"select /* b */ 1 -- c\r\n;", {{0, "select /* b */ 1 -- c\r\n", "select  1"}, {1, ""}}},
     }},
    {&DBMSTYPE::SQLSERVER,
     {
         {"CREATE PROCEDURE p AS BEGIN SELECT 1; BEGIN TRAN; x; END; END\nGO\nselect 2",
          {{0, "CREATE PROCEDURE p AS BEGIN SELECT 1; BEGIN TRAN; x; END; END"}, {0, ""}, {1, "select 2"}}},
         {"BEGIN TRANSACTION\r\nINSERT t VALUES (1)\r\nCOMMIT\r\nGO\r\n",
          {{0, "BEGIN TRANSACTION\r\nINSERT t VALUES (1)\r\nCOMMIT"}, {1, ""}}},
     }},
    {&DBMSTYPE::POSTGRES,
     {
         // Two dollar signs open a body that the next two close.
         {"CREATE FUNCTION f() RETURNS int AS $$ BEGIN RETURN 1; END; $$ LANGUAGE plpgsql; select f();",
          {{0, "CREATE FUNCTION f() RETURNS int AS $$ BEGIN RETURN 1; END; $$ LANGUAGE plpgsql"}, {0, "select f()"},
           {1, ""}}},
         {"$$ a $ b; $$; x", {{0, "$$ a $ b; $$"}, {1, "x"}}},
         {"$$ a $b; $1; $$; x", {{0, "$$ a $b; $1; $$"}, {1, "x"}}}, {"$$$$; x", {{0, "$$$$"}, {1, "x"}}},
         {"select $$a;$$ || $$b;$$;", {{0, "select $$a;$$ || $$b;$$"}, {1, ""}}},
         // A parameter: the token after a single dollar sign is taken unexamined.
         {"select $1, $2;", {{0, "select $1, $2"}, {1, ""}}}, {"$;x; y", {{0, "$;x"}, {1, "y"}}},
         // A tagged quote is no body: a semicolon inside it ends the statement.
         {"select $tag$ a; b $tag$;", {{0, "select $tag$ a"}, {1, "b $tag$;"}}},
         // End of the input inside a body or after a single dollar sign.
         {"$$ a; $", {{1, "$$ a; $"}}}, {"$$ a; $ b", {{1, "$$ a; $ b"}}},
         {"x $", {{1, "x $"}}},
     }},
    // Comments leave the parsed text, or not, as the flags test below shows.
    {&DBMSTYPE::ACCESS, {{"select 1 /* c */;", {{0, "select 1 /* c */", "select 1"}, {1, ""}}}}},
};

TYPED_TEST(Splitter, PerDBMSType) {
  RunTable<TypeParam>(DBMSTYPE::GENERIC, kCommonCases);
  for (const auto& [dbms, cases] : kDialectCases) RunTable<TypeParam>(*dbms, cases);
}

TYPED_TEST(Splitter, FlagsFollowTheDBMSType) {
  const std::string all = "select -- l\r\n/* b */ 1", no_comments = "select \r\n 1";
  const std::pair<const DBMSTYPE*, std::string> cases[] = {
      {&DBMSTYPE::ORACLE, "select \n 1"}, {&DBMSTYPE::DB2, no_comments}, {&DBMSTYPE::INFORMIX, no_comments},
      {&DBMSTYPE::ACCESS, no_comments},   {&DBMSTYPE::GENERIC, all},     {&DBMSTYPE::SQLSERVER, all},
      {&DBMSTYPE::SYBASE, all},           {&DBMSTYPE::POSTGRES, all},    {&DBMSTYPE::SQLITE, all},
      {&DBMSTYPE::MYSQL, all}};
  for (const auto& [dbms, parsed] : cases) {
    SCOPED_TRACE(dbms->GetName());
    EXPECT_EQ(SplitAll<TypeParam>(all + ";", *dbms), (std::vector<Piece>{{0, all, parsed}, {1, ""}}));
  }
  // The caller's flags go everywhere; 0x200 leaves out the token that ends every seek: BEGIN and the final semicolon.
  Text<TypeParam> text("CREATE PROCEDURE p BEGIN x;\r\nEND; y;");
  CKXSQLTextT<TypeParam> source(text.c_str());
  CKXTr tr;
  tr.SetDBMSType(DBMSTYPE::ORACLE);
  SQLStmtT<TypeParam> stmt;
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, 0x300, nullptr), 0);
  EXPECT_EQ(Piece(0, Str(stmt.GetText()), Str(stmt.GetParsedText())),
            Piece(0, "CREATE PROCEDURE p  x;\r\nEND", "CREATE PROCEDURE p  x;\nEND"));
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, 0, nullptr), 0);
  EXPECT_EQ(Str(stmt.GetText()), "y");
}

TYPED_TEST(Splitter, Separators) {
  const Separator go_own_line{&SQLTOKEN_TYPE::SYMBOL, "go", true}, go{&SQLTOKEN_TYPE::SYMBOL, "GO", false};
  const Separator semicolon{&SQLTOKEN_TYPE::SEMI_COLON, "", false};
  // A separator of type OTHER never matches; one without a type is no separator.
  const Separator other{&SQLTOKEN_TYPE::OTHER, ",", true}, none{nullptr, "GO", true};
  // A word separator matches whole words in any case of its ASCII letters, whatever characters it holds besides.
  const Separator fin{&SQLTOKEN_TYPE::SYMBOL, "F\u00CDN", false};
  // The slash terminator as a separator, own line: the line ending before it goes.
  const Separator slash{&SQLTOKEN_TYPE::SLASH_TERMINATOR, "", true};
  const struct {
    const DBMSTYPE* dbms;
    const Separator* sep;
    std::vector<SplitCase> cases;
  } tables[] = {
      {&DBMSTYPE::GENERIC, &go_own_line,
       {{"a;\nb;\nGO\nc;\ngo\n", {{0, "a;\nb;"}, {0, "c;"}, {1, ""}}},
        {"BEGIN x; END\r\nGO\r\n", {{0, "BEGIN x; END"}, {1, ""}}},
        {"a\n", {{1, "a\n", "a"}}}, {"a\n\nGO", {{0, "a\n", "a"}, {1, ""}}},
        {"select ago, go2 from t", {{1, "select ago, go2 from t"}}}}},
      {&DBMSTYPE::ORACLE, &go, {{"a;\nb;\nGO\nc;\ngo\n", {{0, "a;\nb;\n", "a;\nb;"}, {0, "c;\n", "c;"}, {1, ""}}}}},
      // Dialect rules do not apply: the semicolon inside the procedure ends it.
      {&DBMSTYPE::ORACLE, &semicolon,
       {{"CREATE PROCEDURE p BEGIN x; END;", {{0, "CREATE PROCEDURE p BEGIN x"}, {0, "END"}, {1, ""}}},
        {"$$ a; $$;", {{0, "$$ a"}, {0, "$$"}, {1, ""}}}, {"a\n/\nb;", {{0, "a\n/\nb"}, {1, ""}}}}},
      {&DBMSTYPE::POSTGRES, &semicolon, {{"$$ a; $$;", {{0, "$$ a"}, {0, "$$"}, {1, ""}}}}},
      {&DBMSTYPE::GENERIC, &other, {{"a, b; c\nGO\nd", {{1, "a, b; c\nGO\nd"}}}}},
      {&DBMSTYPE::GENERIC, &none, {{"BEGIN a; END; b", {{0, "BEGIN a; END"}, {0, ""}, {1, "b"}}}}},
      {&DBMSTYPE::GENERIC, &fin,
       {{"a F\u00CDNAL b f\u00CDn c F\u00CDN", {{0, "a F\u00CDNAL b ", "a F\u00CDNAL b"}, {0, "c ", "c"}, {1, ""}}}}},
      {&DBMSTYPE::GENERIC, &slash, {{"a;\nb;\n/\nc", {{0, "a;\nb;"}, {1, "c"}}}}},
  };
  for (const auto& table : tables) RunTable<TypeParam>(*table.dbms, table.cases, table.sep);
}

TYPED_TEST(Splitter, EndAndClosedStream) {
  // After the end every call answers 1 with an empty statement.
  Text<TypeParam> text("select 1; select 2");
  CKXSQLTextT<TypeParam> source(text.c_str());
  CKXTr tr;
  SQLStmtT<TypeParam> stmt;
  EXPECT_EQ(SplitAll(source, tr), (std::vector<Piece>{{0, "select 1"}, {1, "select 2"}}));
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, nullptr), 1);
  EXPECT_TRUE(stmt.IsEmpty());
  // A stream closed in the middle of a script fails, and empties the statement, with or without a separator.
  ASSERT_EQ(source.Set(text.c_str()), 0);
  EXPECT_EQ(source.GetNextStmt(stmt, &tr, nullptr), 0);
  source.Close();
  CKXMsg::GetInstance()->Reset();
  EXPECT_LT(source.GetNextStmt(stmt, &tr, nullptr), 0);
  EXPECT_EQ(Str(stmt.GetText()), "");
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text, "Attempting to get next token, file not open");
  const Separator go{&SQLTOKEN_TYPE::SYMBOL, "GO", true};
  EXPECT_LT(SplitAll(source, tr, &go).front().rc, 0);
}

// A reference splitter for soups of whole words, each followed by a blank:
// a table of what each word does at the statement level and in each block,
// rather than the splitter's own code.
struct Part {
  const char* text;
  // BEGIN, End, If, For, Loop, Tran, Procedure, Drop; the terminators ; G(O) /; a $$ quote;
  // x: any other word or string; c: layout and comments.
  char kind;
};
const Part kParts[] = {{"BEGIN", 'B'}, {"begin", 'B'}, {"END", 'E'}, {"End", 'E'}, {"IF", 'I'}, {"for", 'F'},
                       {"LOOP", 'L'}, {"TRAN", 'T'}, {"PROCEDURE", 'P'}, {"DROP", 'D'}, {";", ';'}, {";", ';'},
                       {"go", 'G'}, {"\n/\n", '/'}, {"$$", '$'}, {"x", 'x'}, {"'a;b'", 'x'}, {"-- c;\n", 'c'},
                       {"/* ; */", 'c'}, {"\r\n", 'c'}};

std::string Trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(" \t\r\n"));
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  return text;
}

std::vector<Piece> ReferenceSplit(const std::vector<const Part*>& soup, const DBMSTYPE& dbms) {
  const bool oracle = dbms == DBMSTYPE::ORACLE, if_blocks = oracle || dbms == DBMSTYPE::DB2;
  std::vector<Piece> pieces;
  std::string text;
  std::size_t i = 0;
  const auto take = [&] {
    text = text + soup[i]->text + " ";
    return soup[i++]->kind;
  };
  // Takes the parts up to and including one of `kind`; false when the script ends first.
  const auto seek = [&](char kind) {
    while (i < soup.size())
      if (take() == kind) return true;
    return false;
  };
  // Follows the block whose opening word was taken, and the blocks nested in it; false when the script ends first.
  const auto block = [&] {
    std::vector<char> open{'B'};
    while (i < soup.size()) {
      const char kind = take(), top = open.back();
      if (kind == 'B' || (kind == 'I' && (top != 'B' || if_blocks))) {
        open.push_back(kind);
      } else if (kind == 'F' && (top == 'F' || oracle)) {
        open.push_back('F');
        if (!seek('L')) return false;  // the loop's header
      } else if (kind == 'E') {
        if (top != 'B' && !seek(top == 'I' ? 'I' : 'L')) return false;  // END IF, END LOOP
        open.pop_back();
        if (open.empty()) return true;
      }
    }
    return false;
  };
  bool after_drop = false;
  const auto finish = [&](long rc) {
    pieces.emplace_back(rc, Trimmed(text));
    text.clear();
    after_drop = false;
  };
  while (i < soup.size()) {
    const char kind = soup[i]->kind;
    if (kind == ';' || kind == 'G' || kind == '/') {
      ++i;
      finish(0);
      continue;
    }
    take();
    if (kind == 'B' && !(i < soup.size() && soup[i]->kind == 'T')) {
      if (!block()) break;
      finish(0);
    } else if (kind == 'P' && !after_drop) {
      if (!seek('B') || !block() || (oracle && !seek(';'))) break;
      finish(0);
    } else if (kind == '$' && dbms == DBMSTYPE::POSTGRES && !seek('$')) {
      break;
    } else if (kind != 'c') {
      after_drop = kind == 'D';
    }
  }
  finish(1);
  return pieces;
}

TYPED_TEST(Splitter, AgreesWithTheReferenceOnRandomWordSoups) {
  const DBMSTYPE* const types[] = {&DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX,
                                    &DBMSTYPE::SQLSERVER, &DBMSTYPE::SYBASE, &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS,
                                    &DBMSTYPE::SQLITE,  &DBMSTYPE::MYSQL};
  std::mt19937 random(20240611);
  for (int round = 0; round < 1000; ++round) {
    std::vector<const Part*> soup;
    std::string script;
    for (std::size_t n = 1 + random() % 30; n > 0; --n) {
      soup.push_back(&kParts[random() % std::size(kParts)]);
      script = script + soup.back()->text + " ";
    }
    for (const DBMSTYPE* dbms : types) {
      SCOPED_TRACE(std::string(dbms->GetName()) + ": " + script);
      std::vector<Piece> pieces = SplitAll<TypeParam>(script, *dbms);
      for (Piece& piece : pieces) piece = Piece(piece.rc, Trimmed(piece.text));
      ASSERT_EQ(pieces, ReferenceSplit(soup, *dbms));
    }
  }
}

}  // namespace

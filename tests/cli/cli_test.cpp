// The kxsql tool, run as a user runs it.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "kxsql/version.h"

namespace {

using namespace kxsql::testing;

TEST_F(Cli, TokensOneALineWithControlsEscaped) {
  const fs::path script = Write("t.sql", "select 'a\tb';\r\n");
  const ProcessResult r = Kxsql({"tokens", script});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "SYMBOL\tselect\nWHITESPACE\t \nSQ_STRING\t'a\\tb'\nSEMI_COLON\t;\nCR\t\\r\nLF\t\\n\n");

  const ProcessResult json = Kxsql({"tokens", "--json", "-"}, "x -- c\n/");
  ASSERT_EQ(json.exit_code, 0) << json.err;
  std::string joined;
  std::vector<std::string> types;
  for (const nlohmann::json& token : JsonLines(json.out)) {
    joined += token["text"].get<std::string>();
    types.push_back(token["type"]);
  }
  EXPECT_EQ(joined, "x -- c\n/");
  EXPECT_EQ(types, (std::vector<std::string>{"SYMBOL", "WHITESPACE", "LINECOMMENT", "LF", "SLASH_TERMINATOR"}));
}

TEST_F(Cli, SplitNumbersStatementsWithTheirLines) {
  const fs::path script = Write("s.sql", "-- head\nselect 1;\n\n  select 2\n  from t;\n");
  const ProcessResult r = Kxsql({"split", script});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "-- [1] line 2\n-- head\nselect 1\n\n-- [2] line 4\nselect 2\n  from t\n\n");
}

TEST_F(Cli, StatementLinesStayRightAcrossChunks) {
  // Blank lines and comments before each statement, over many 4096-byte
  // chunks: statement i starts on line 3i.
  std::string script;
  for (int i = 1; i <= 3000; ++i) script += "-- c\n\n  select " + std::to_string(i) + ";\n";
  const ProcessResult r = Kxsql({"split", "--json", Write("lines.sql", script)});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<nlohmann::json> statements = JsonLines(r.out);
  ASSERT_EQ(statements.size(), 3000u);
  for (int i = 1; i <= 3000; ++i) ASSERT_EQ(statements[i - 1]["line"], 3 * i) << i;
}

TEST_F(Cli, SplitJsonCarriesEveryField) {
  const std::string script =
      "CREATE PROCEDURE p AS\nBEGIN\n  IF x THEN y; END IF;\nEND;\n/\n"
      "-- next\nINSERT INTO t VALUES (s.nextval);\nSelect 1 from dual;\n";
  const ProcessResult r = Kxsql({"split", "--dialect", "oracle", "--rules", "classic", "--json", "-"}, script);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<nlohmann::json> statements = JsonLines(r.out);
  ASSERT_EQ(statements.size(), 4u);
  EXPECT_EQ(statements[0]["text"], "CREATE PROCEDURE p AS\nBEGIN\n  IF x THEN y; END IF;\nEND;");
  EXPECT_EQ(statements[0]["line"], 1);
  EXPECT_EQ(statements[0]["first"], "CREATE");
  EXPECT_EQ(statements[0]["last"], ";");
  EXPECT_EQ(statements[0]["rc"], 0);
  EXPECT_EQ(statements[1]["text"], "");  // the `/` after a procedure ends an empty statement
  EXPECT_EQ(statements[2]["index"], 3);
  EXPECT_EQ(statements[2]["line"], 7);    // the comment line before it does not count
  EXPECT_EQ(statements[2]["side_effect"], "nextval");
  EXPECT_EQ(statements[2]["no_comment"], "INSERT INTO t VALUES (s.nextval)");
  EXPECT_EQ(statements[2]["parsed"], "INSERT INTO t VALUES (s.nextval)");  // Oracle leaves comments out
  EXPECT_EQ(statements[2]["is_select"], false);
  EXPECT_EQ(statements[3]["is_select"], true);
}

TEST_F(Cli, SplitWithACallersSeparator) {
  const ProcessResult r =
      Kxsql({"split", "--separator", "GO", "--own-line", "--json", "-"}, "a; b;\nGO\nc\ngo\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<nlohmann::json> statements = JsonLines(r.out);
  ASSERT_GE(statements.size(), 2u);
  EXPECT_EQ(statements[0]["text"], "a; b;");
  EXPECT_EQ(statements[1]["text"], "c");
  EXPECT_EQ(Kxsql({"split", "--separator", "two words", "-"}, "x").exit_code, 64);
}

TEST_F(Cli, Utf16ScriptFromAWindowsEditorSplitsLikeUtf8) {
  const std::string utf8 = "select 'caf\xC3\xA9';\r\nselect 2;\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string(u"select 'caf\u00e9';\r\nselect 2;\r\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  const ProcessResult a = Kxsql({"split", "--json", Write("a.sql", utf8)});
  const ProcessResult b = Kxsql({"split", "--json", Write("b.sql", utf16)});
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(JsonLines(b.out)[0]["text"], "select 'caf\xC3\xA9'");
}

TEST_F(Cli, RunReportsFailuresWithTheirLinesAndExitCodes) {
  const fs::path db = dir_ / "run.db";
  const fs::path good = Write("good.sql", "create table t(a);\ninsert into t values (1);\ninsert into t values (2);\n");
  ProcessResult r = Kxsql({"run", "--sqlite", db, good});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("3 statements run, 0 errors"), std::string::npos) << r.out;
  EXPECT_EQ(CountRows(db, "t"), 2);

  const fs::path bad = Write("bad.sql", "insert into t values (3);\n\n-- why\ninsert into nowhere values (1);\ninsert into t values (4);\n");
  r = Kxsql({"run", "--sqlite", db, bad});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("bad.sql:4: error:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no such table: nowhere"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("insert into nowhere values (1)"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("3 statements run, 1 error"), std::string::npos) << r.out;
  EXPECT_EQ(CountRows(db, "t"), 4);

  // The error limit stops the run: the statement after the failure never runs.
  r = Kxsql({"run", "--max-errors", "1", "--sqlite", db, bad});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(CountRows(db, "t"), 5);

  // --quiet keeps the failures, drops the summary.
  r = Kxsql({"run", "--quiet", "--sqlite", db, bad});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("no such table"), std::string::npos);
}

TEST_F(Cli, RunReadsStandardInputAndDefaultsToKxsqlDb) {
  const fs::path work = dir_ / "work";
  fs::create_directory(work);
  const fs::path old = fs::current_path();
  fs::current_path(work);
  const ProcessResult r = Kxsql({"run", "-"}, "create table s(x); insert into s values (1);");
  fs::current_path(old);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(CountRows(work / "kxsql.db", "s"), 1);
}

TEST_F(Cli, BadInputGivesOneClearLine) {
  const fs::path db = dir_ / "never.db";
  const std::string x = Write("x.sql", "select 1;").string();
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string says;
  };
  const Case cases[] = {
      {{"run", "--sqlite", db.string(), (dir_ / "missing.sql").string()}, 2, "missing.sql"},
      {{"run", "--connect", "DRIVER={No Such Driver};", x}, 2, "cannot connect"},
      {{"split", "--dialect", "klingon", "-"}, 64, "klingon"},
      {{"run", "--sqlite", "a.db", "--connect", "DSN=x", "f.sql"}, 64, "excludes"},
      {{"run"}, 64, "FILE"},
      {{}, 64, "subcommand"},
      {{"tokens", (dir_ / "missing.sql").string()}, 2, "Failed to open file for reading"},
      // An unset variable used to choose the default: --connect "" wrote ./kxsql.db.
      {{"run", "--connect", "", x}, 64, "--connect: must not be empty"},
      {{"run", "--sqlite", "", x}, 64, "--sqlite: must not be empty"},
      {{"split", "--separator", "", x}, 64, "--separator: must not be empty"},
      {{"foo", x}, 64, "unknown command 'foo'"},
      {{"run", "--max-errors", "abc", x}, 64, "'abc' is not a number"},
      {{"run", "--max-errors", "0", x}, 64, "0 is out of range (give a whole number from 1"},
      {{"run", "--busy-timeout", "soon", x}, 64, "'soon' is not a number"},
      {{"run", "--busy-timeout", "10", "--connect", "DSN=x", x}, 64, "excludes"},
      // Checked when opened, before any statement.
      {{"run", "--sqlite", Write("notes.txt", std::string(3000, 'n')), x}, 2, "file is not a database"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const ProcessResult r = Kxsql(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(db));  // nothing is half-done when a script is missing
}

TEST_F(Cli, VersionAndHelp) {
  const ProcessResult version = Kxsql({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_NE(version.out.find(KXSQL_VERSION_STRING), std::string::npos);
  const ProcessResult help = Kxsql({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("130"), std::string::npos);
  EXPECT_NE(help.out.find("143"), std::string::npos);
  EXPECT_NE(help.out.find("run"), std::string::npos);
}

// A script never ends before its last byte with a success: a NUL character
// (a binary or damaged file) stops `run` where it stands, and nothing from the
// statement that holds it on runs. `split` shows what follows and warns;
// `tokens` keeps the NUL, so that its tokens give back the input.
TEST_F(Cli, NulCharactersAndBinaryFilesNeverPassAsSuccess) {
  const struct {
    std::string script;
    const char* says;
    long long rows;  // in t afterwards; -1: no table
  } rows[] = {
      // The statements after a NUL between two statements were dropped with exit 0.
      {Bytes("create table t(a);\ninsert into t values (1);\n\0insert into t values (2);\n"),
       "s.sql:3: error: a NUL character", 1},
      {Bytes("create table t(a);\ninsert into t values ('a\0b');\ninsert into t values (3);\n"),
       "s.sql:2: error: a NUL character", 0},
      {Bytes("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\xCB\x48\xCD\xC9\xC9\x57\x28"), "s.sql:1: error: a NUL", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.says);
    const fs::path db = dir_ / "nul.db";
    fs::remove(db);
    const fs::path script = Write("s.sql", row.script);
    const ProcessResult r = Kxsql({"run", "--sqlite", db.string(), script.string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_EQ(CountRows(db, "t"), row.rows);
  }
  const std::string script = Bytes("select 1;\n\0select 2;\n");
  const ProcessResult split = Kxsql({"split", Write("s.sql", script).string()});
  EXPECT_EQ(split.exit_code, 0);
  EXPECT_NE(split.out.find("select 2"), std::string::npos) << split.out;
  EXPECT_NE(split.err.find("s.sql:2: warning: a NUL character"), std::string::npos) << split.err;
  // A NUL as the last byte was dropped.
  for (const std::string& text : {script, Bytes("select 1\0")}) {
    std::string joined;
    for (const nlohmann::json& token : JsonLines(Kxsql({"tokens", "--json", "-"}, text).out))
      joined += token["text"].get<std::string>();
    EXPECT_EQ(joined, text);
  }
}

// What never closes swallows the rest of the script: a warning names the line
// where it opens, and the statement gets its own first line.
TEST_F(Cli, AScriptEndingInsideAConstructIsWarnedAbout) {
  const struct {
    const char* dialect;
    std::string script;
    std::string warning;  // empty: none
  } rows[] = {
      // An unclosed /* dropped the statements after it silently, and split
      // gave the statement line 4 of a 3-line file.
      {"generic", "select 1;\n/* oops\nselect 2;\n", "s.sql:2: warning: the script ends inside a /* comment"},
      {"generic", "select 1;\nselect 'abc\n;\nselect 3;\n", "s.sql:2: warning: the script ends inside a '...' string"},
      {"generic", "select 1;\nselect \"ab\nc;\n", "s.sql:2: warning: the script ends inside a \"...\" quoted name"},
      {"postgres", "select 1;\ncreate function f()\n  returns int\n  as $$\nbegin\n  return 1;\nend;\n",
       "s.sql:4: warning: the script ends inside a $$ body"},
      // BEGIN; alone on its line opens a block.
      {"generic", "select 1;\nBEGIN;\ninsert into t values (1);\nCOMMIT;\n", "s.sql:2: warning: the script ends inside a block"},
      {"oracle", "select 1 from dual;\nbegin\n  if x then\n    y;\n  end if;\n", "s.sql:2: warning: the script ends inside a block"},
      // Closed ones, and a last statement without its `;`, are no warning.
      {"postgres", "select 1;\n/* c */ select 'a''b', \"x\"\"y\", $$ $$ from t", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    const ProcessResult r = Kxsql({"split", "--json", "--dialect", row.dialect, Write("s.sql", row.script).string()});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.err.find(row.warning), std::string::npos) << r.err;
    if (row.warning.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(JsonLines(r.out).back()["line"], 2);
  }
  const ProcessResult run = Kxsql({"run", "--sqlite", (dir_ / "w.db").string(), Write("s.sql", rows[0].script).string()});
  EXPECT_NE(run.err.find(rows[0].warning), std::string::npos) << run.err;
}

// A carriage return alone (old Mac files), CR LF and LF each end a line.
TEST_F(Cli, EveryKindOfLineEndCounts) {
  for (const std::string e : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(::testing::PrintToString(e));
    const std::string script = "-- head" + e + "select 1;" + e + e + "/* a" + e + "b */ select 2;" + e;
    const std::vector<nlohmann::json> statements = JsonLines(Kxsql({"split", "--json", "-"}, script).out);
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_EQ(statements[0]["line"], 2);
    EXPECT_EQ(statements[1]["line"], 5);
  }
}

// A named pipe, /dev/stdin and a process substitution are read as standard
// input is: they failed with "Failed to determine file size ... Illegal seek".
TEST_F(Cli, PipesReadLikeStandardInput) {
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const std::pair<const char*, const char*> rows[] = {
      {"/bin/sh", "printf 'select 1;\\n' > fifo & $K split fifo"},
      {"/bin/sh", "printf 'select 1;\\n' | $K split /dev/stdin"},
      {"/bin/bash", "$K split <(printf 'select 1;\\n')"},
  };
  for (const auto& [shell, command] : rows) {
    SCOPED_TRACE(command);
    const ProcessResult r = Shell(command, shell);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "-- [1] line 1\nselect 1\n\n");
  }
}

// A failed write on standard output is reported and fails the command; a
// reader that stops early (head) ends `split` quietly. A database's reason
// is shown capped, as the statement is.
TEST_F(Cli, OutputErrorsAreReportedAndLongReasonsCapped) {
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "select " + std::to_string(i) + ";\n";
  Write("many.sql", many);
  Write("slow.sql", "with recursive n(i) as (select 1 union all select i + 1 from n limit 3000000) select count(*) from n;");
  const struct {
    const char* command;
    const char* err;  // the beginning of standard error
  } rows[] = {
      {"$K run --sqlite r.db slow.sql > /dev/full", "kxsql: cannot write to standard output: No space left on device"},
      {"$K split many.sql > /dev/full", "kxsql: cannot write to standard output: No space left on device"},
      // The reader is gone before the summary is written.
      {"{ $K run --sqlite r.db slow.sql; echo \"exit $?\" >&2; } | (exec <&-; sleep 0)",
       "kxsql: cannot write to standard output: Broken pipe\nexit 2"},
      {"$K split many.sql | head -n 1", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command);
    const ProcessResult r = Shell(row.command);
    EXPECT_EQ(r.err.rfind(row.err, 0), 0u) << r.err;
    if (*row.err == 0) {
      EXPECT_EQ(r.out, "-- [1] line 1\n");
    }
  }
  // A 100 kB name made a line of 100 kB.
  const ProcessResult r = Kxsql({"run", "--sqlite", (dir_ / "r.db").string(), "-"},
                                "select * from " + std::string(100000, 'x') + ";");
  EXPECT_EQ(r.exit_code, 1);
  for (const std::string& line : Lines(r.err)) EXPECT_LT(line.size(), 1100u);
}

}  // namespace

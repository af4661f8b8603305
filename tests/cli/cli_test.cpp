// The kxsql tool, run as a user runs it.
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kxsql/version.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;
using kxsql::testing::Process;
using kxsql::testing::ProcessResult;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(nlohmann::json::parse(line));
  return objects;
}

long long CountRows(const fs::path& db, const std::string& table) {
  sqlite3* handle = nullptr;
  long long count = -1;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT count(*) FROM " + table;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
      count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(handle);
  return count;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kxsql-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static ProcessResult Kxsql(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), KXSQL_CLI_PATH);
    return kxsql::testing::Run(args, input);
  }

  fs::path dir_;
};

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
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string says;
  };
  const Case cases[] = {
      {{"run", "--sqlite", db.string(), (dir_ / "missing.sql").string()}, 2, "missing.sql"},
      {{"run", "--connect", "DRIVER={No Such Driver};", Write("x.sql", "select 1;").string()}, 2, "cannot connect"},
      {{"split", "--dialect", "klingon", "-"}, 64, "klingon"},
      {{"run", "--sqlite", "a.db", "--connect", "DSN=x", "f.sql"}, 64, "excludes"},
      {{"run"}, 64, "FILE"},
      {{}, 64, "subcommand"},
      {{"tokens", (dir_ / "missing.sql").string()}, 2, "Failed to open file for reading"},
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
  EXPECT_NE(help.out.find("run"), std::string::npos);
}

TEST_F(Cli, InterruptStopsBetweenStatements) {
  // Without a transaction every insert is committed on its own, so the run
  // takes long enough to be interrupted half way.
  std::string script = "create table n(i);\n";
  for (int i = 0; i < 200000; ++i) script += "insert into n values (" + std::to_string(i) + ");\n";
  const fs::path path = Write("long.sql", script);
  const fs::path db = dir_ / "long.db";
  Process run({KXSQL_CLI_PATH, "run", "--sqlite", db.string(), path.string()});
  // Wait until the table exists and a few rows are in.
  for (int i = 0; i < 600 && CountRows(db, "n") < 10; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  run.Signal(SIGINT);
  const ProcessResult r = run.Wait();
  ASSERT_EQ(r.exit_code, 130) << r.out << r.err;
  const std::string prefix = "interrupted: ";
  ASSERT_EQ(r.out.rfind(prefix, 0), 0u) << r.out;
  const long long reported = std::stoll(r.out.substr(prefix.size()));
  EXPECT_GT(reported, 1);
  EXPECT_LT(reported, 200001);
  EXPECT_EQ(CountRows(db, "n"), reported - 1);  // every statement reported, and only those, is in
}

}  // namespace

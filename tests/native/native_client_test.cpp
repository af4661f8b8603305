// The native rules against the clients themselves. psql, the sqlite3 shell
// and the mariadb client each run the scripts of native_rows.h, the scripts
// of scripts/<client>.sql and a dump they made; what each sent (the server's
// statement log, the shell's .trace, the general query log) is compared
// with kxsql's statements for the same script.
//
// The client's own commands (psql's backslash commands, the shell's
// dot-commands, mysql's USE and DELIMITER) are statements it does not send;
// psql sends a `\copy` as a COPY. Each statement is compared as the clients
// send it: without leading blanks and comments and without a last `;`; the
// mysql client drops comments, and its blanks count as one space. The shell
// runs nothing of a statement it cannot parse, nor the rest of that input
// line: there, what it ran has to be found in order among kxsql's
// statements.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/native_rows.h"
#include "support/local_server.h"
#include "support/mariadb_server.h"
#include "support/postgres_server.h"
#include "support/subprocess.h"

// Under LeakSanitizer: MariaDB's ODBC driver keeps a kilobyte to the end of
// the process, a leak of its own.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libmaodbc.so\n";
}

namespace kxsql::testing {
namespace {

enum class Client { kPsql, kSqlite, kMysql };
constexpr char kCopy[] = "(a \\copy, sent as a COPY)";

// The statement as the client sends it.
std::string Cleaned(const std::string& text, Client client) {
  std::size_t from = 0;
  for (;;) {
    while (from < text.size() && std::isspace(static_cast<unsigned char>(text[from]))) ++from;
    std::size_t end = std::string::npos;
    if (text.compare(from, 2, "--") == 0 || (client != Client::kPsql && text.compare(from, 1, "#") == 0))
      end = text.find('\n', from);
    else if (text.compare(from, 2, "/*") == 0 && client != Client::kMysql)  // mysql's are SQL by now
      end = text.find("*/", from);
    else
      break;
    if (end == std::string::npos) return "";
    from = end + (text[end] == '*' ? 2 : 0);
  }
  std::string cleaned = text.substr(from);
  while (!cleaned.empty() && std::isspace(static_cast<unsigned char>(cleaned.back()))) cleaned.pop_back();
  if (!cleaned.empty() && cleaned.back() == ';') cleaned.pop_back();
  while (!cleaned.empty() && std::isspace(static_cast<unsigned char>(cleaned.back()))) cleaned.pop_back();
  if (client == Client::kMysql) cleaned = std::regex_replace(cleaned, std::regex("\\s+"), " ");
  return cleaned;
}

std::vector<std::string> KxsqlSends(const std::string& script, Client client) {
  static const DBMSTYPE* const kDialects[] = {&DBMSTYPE::POSTGRES, &DBMSTYPE::SQLITE, &DBMSTYPE::MYSQL};
  CKXTr tr;
  tr.SetDBMSType(*kDialects[static_cast<int>(client)]);
  CKXSQLTextT<char> source(script.c_str());
  source.SetSplitRules(KXSQL_RULES_NATIVE);
  std::vector<std::string> sent;
  SQLStmtT<char> stmt;
  for (long rc = 0; rc == 0;) {
    if ((rc = source.GetNextStmt(stmt, &tr, nullptr)) < 0) return {"FAILED"};
    const std::string cleaned = Cleaned(client == Client::kMysql ? stmt.GetNoCommentText() : stmt.GetText(), client);
    if (stmt.GetKind() == KXSQL_STMT_CLIENT && cleaned.rfind("\\copy", 0) == 0) sent.push_back(kCopy);
    if (stmt.GetKind() == KXSQL_STMT_SQL && !cleaned.empty()) sent.push_back(cleaned);
  }
  return sent;
}

// psql's statements in the server's log: a statement is logged as it starts,
// or, when the server cannot parse it, with its error. A logged statement's
// lines after the first start with a tab.
std::vector<std::string> PsqlSent(const std::string& log) {
  std::vector<std::string> entries, sent;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind('\t', 0) == 0 && !entries.empty()) entries.back() += "\n" + line.substr(1);
    else entries.push_back(line);
  }
  std::string logged;
  for (const std::string& entry : entries) {
    if (const std::size_t at = entry.find("LOG:  statement: "); at != std::string::npos) {
      sent.push_back(logged = entry.substr(at + 17));
    } else if (const std::size_t error = entry.find("STATEMENT:  "); error != std::string::npos) {
      if (entry.substr(error + 12) != logged) sent.push_back(entry.substr(error + 12));
      logged.clear();
    }
  }
  return sent;
}

// The mariadb client's queries in the general log. The client asks for the
// current database before it changes to another (USE): not the script's.
std::vector<std::string> MysqlSent(const std::string& log) {
  static const std::regex kEntry(R"(^(?:\d{6} +\d{1,2}:\d\d:\d\d)?\t+ *\d+ ([A-Z][A-Za-z ]*)\t([\s\S]*)$)");
  std::vector<std::pair<std::string, std::string>> entries;
  std::istringstream lines(log);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, kEntry)) entries.emplace_back(match[1], match[2]);
    else if (!entries.empty()) entries.back().second += "\n" + line;
  }
  std::vector<std::string> sent;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].first == "Query" && !(entries[i].second == "SELECT DATABASE()" && i + 1 < entries.size() &&
                                         entries[i + 1].first == "Init DB"))
      sent.push_back(entries[i].second);
  return sent;
}

// The shell's .trace with --profile ends each statement with "; -- <n> ns".
std::vector<std::string> SqliteSent(const std::string& trace) {
  static const std::regex kEnd("; -- [0-9]+ ns\n");
  return {std::sregex_token_iterator(trace.begin(), trace.end(), kEnd, -1), std::sregex_token_iterator()};
}

std::string ScriptPath(const std::string& file) { return std::string(KXSQL_NATIVE_SCRIPTS) + "/" + file; }

// The scripts of a file of scripts/, each after its "-- == name" line, and
// then those of a table of native_rows.h.
std::vector<std::pair<std::string, std::string>> Scripts(const std::string& file, const std::vector<NativeRow>& rows) {
  std::vector<std::pair<std::string, std::string>> scripts;
  std::istringstream lines(ReadFile(ScriptPath(file)));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("-- == ", 0) == 0) scripts.emplace_back(line.substr(6), "");
    else if (!scripts.empty()) scripts.back().second += line + "\n";
  }
  for (const NativeRow& row : rows) scripts.emplace_back(row.script, row.script);
  return scripts;
}

class NativeClients : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { folder_ = MakeTempFolder("kxsql-clients"); }
  static void TearDownTestSuite() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // The servers start once, on first use, and stop when the program ends.
  static PostgresServer& Postgres() {
    static PostgresServer server;
    static const bool started = server.Start({"log_statement=all", "log_min_error_statement=error"}) &&
                                (server.Query("CREATE DATABASE db"), true);  // for the \c db of a row
    (void)started;
    return server;
  }
  static MariadbServer& Mariadb() {
    static MariadbServer server;
    static const bool started = server.Start(true);
    (void)started;
    return server;
  }
  static std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
    return folder_ + "/" + name;
  }

  // What the client sent for `script`: psql and the mariadb client in
  // `database` (psql in `schema` of it, when one is named), the shell in a
  // fresh database after `setup`. `partial` tells that it may have left
  // some out.
  std::vector<std::string> Sent(Client client, const std::string& script, const std::string& database,
                                const std::string& schema_or_setup, bool* partial) {
    const std::string file = Write("script.sql", script);
    *partial = false;
    if (client == Client::kPsql) {
      PostgresServer& server = Postgres();
      const std::size_t seen = server.Log().size();
      std::vector<std::string> argv = {FindProgram("env"), "PGOPTIONS=-c search_path=" + schema_or_setup,
                                       server.Program("psql"), "-X", "-f", file};
      if (schema_or_setup.empty()) argv[1] = "PGOPTIONS=";
      const std::vector<std::string> connect = server.ConnectArgs(database);
      argv.insert(argv.end(), connect.begin(), connect.end());
      testing::Run(argv);
      return PsqlSent(server.Log().substr(seen));
    }
    if (client == Client::kMysql) {
      const std::size_t seen = Mariadb().GeneralLog().size();
      std::vector<std::string> argv = Mariadb().Client();
      argv.insert(argv.end(), {"--force", database});
      testing::Run(argv, script);
      return MysqlSent(Mariadb().GeneralLog().substr(seen));
    }
    const std::string trace = folder_ + "/trace.txt";
    std::error_code ec;
    std::filesystem::remove(trace, ec);
    const ProcessResult shell = testing::Run({FindProgram("sqlite3"), "-cmd", schema_or_setup, "-cmd", ".explain off",
                                              "-cmd", ".trace " + trace + " --profile", ":memory:", ".read " + file});
    *partial = shell.err.find("Parse error") != std::string::npos;
    return SqliteSent(ReadFile(trace));
  }

  void Compare(Client client, const std::string& script, const std::string& database,
               const std::string& schema_or_setup = "") {
    bool partial = false;
    const std::vector<std::string> sent = Sent(client, script, database, schema_or_setup, &partial);
    std::vector<std::string> expected = KxsqlSends(script, client);
    std::vector<std::string> cleaned;
    for (const std::string& statement : sent)
      if (const std::string c = Cleaned(statement, client); !c.empty()) cleaned.push_back(c);
    for (std::size_t i = 0; i < expected.size() && i < cleaned.size(); ++i)
      if (expected[i] == kCopy && cleaned[i].rfind("COPY ", 0) == 0) expected[i] = cleaned[i];
    if (!partial) {
      EXPECT_EQ(cleaned, expected);
      return;
    }
    auto at = expected.begin();
    for (const std::string& statement : cleaned) {
      at = std::find(at, expected.end(), statement);
      ASSERT_NE(at, expected.end()) << "sent, and not where kxsql has it: " << statement;
      ++at;
    }
  }

  inline static std::string folder_;
};

// Skips where the server's programs are missing; fails where it did not start.
#define KXSQL_NEEDS(server)                                     \
  if ((server).Unavailable()) GTEST_SKIP() << (server).Error(); \
  ASSERT_TRUE((server).IsRunning()) << "the server did not start: " << (server).Error()

TEST_F(NativeClients, PsqlSendsWhatKxsqlCuts) {
  KXSQL_NEEDS(Postgres());
  const auto scripts = Scripts("psql.sql", kPsqlRows);
  std::string schemas;
  for (std::size_t i = 0; i < scripts.size(); ++i)
    schemas += "CREATE SCHEMA s" + std::to_string(i) + "; CREATE TABLE s" + std::to_string(i) + ".t (a int, b text);";
  Postgres().Query(schemas);
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE(scripts[i].first);
    Compare(Client::kPsql, scripts[i].second, "postgres", "s" + std::to_string(i));
  }
}

TEST_F(NativeClients, PsqlRestoresPgDumpAsKxsqlCuts) {
  KXSQL_NEEDS(Postgres());
  PostgresServer& server = Postgres();
  server.Query("CREATE DATABASE dumped");
  server.Query("CREATE DATABASE restored");
  std::vector<std::string> made = {server.Program("psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1", "-f",
                                   ScriptPath("psql_schema.sql")};
  std::vector<std::string> dump = {server.Program("pg_dump")};
  for (std::vector<std::string>* argv : {&made, &dump})
    for (const std::string& arg : server.ConnectArgs("dumped")) argv->push_back(arg);
  const ProcessResult schema = testing::Run(made);
  ASSERT_EQ(schema.exit_code, 0) << schema.err;
  const ProcessResult dumped = testing::Run(dump);
  ASSERT_EQ(dumped.exit_code, 0) << dumped.err;
  Compare(Client::kPsql, dumped.out, "restored");
}

TEST_F(NativeClients, SqliteShellRunsWhatKxsqlCuts) {
  if (FindProgram("sqlite3").empty()) GTEST_SKIP() << "the sqlite3 shell is not installed";
  for (const auto& [name, script] : Scripts("sqlite3.sql", kSqliteShellRows)) {
    SCOPED_TRACE(name);
    Compare(Client::kSqlite, script, "", "CREATE TABLE t (a, b, \"a;b\", \"c;d\", \"e;f\"); CREATE TABLE x (a);");
  }
}

TEST_F(NativeClients, SqliteShellRestoresDumpAsKxsqlCuts) {
  if (FindProgram("sqlite3").empty()) GTEST_SKIP() << "the sqlite3 shell is not installed";
  const std::string db = folder_ + "/dumped.db";
  const ProcessResult schema =
      testing::Run({FindProgram("sqlite3"), "-bail", db, ".read " + ScriptPath("sqlite3_schema.sql")});
  ASSERT_EQ(schema.exit_code, 0) << schema.err;
  const ProcessResult dumped = testing::Run({FindProgram("sqlite3"), db, ".dump"});
  ASSERT_EQ(dumped.exit_code, 0) << dumped.err;
  Compare(Client::kSqlite, dumped.out, "", "");
}

TEST_F(NativeClients, MysqlClientSendsWhatKxsqlCuts) {
  KXSQL_NEEDS(Mariadb());
  const auto scripts = Scripts("mysql.sql", kMysqlClientRows);
  std::string databases;
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    const std::string db = "r" + std::to_string(i);
    databases += "CREATE DATABASE " + db + "; CREATE TABLE " + db + ".t (a int, b text); CREATE TABLE " + db +
                 ".x (a int);";
  }
  Mariadb().Query(databases);
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE(scripts[i].first);
    Compare(Client::kMysql, scripts[i].second, "r" + std::to_string(i));
  }
}

TEST_F(NativeClients, MysqlClientRestoresDumpAsKxsqlCuts) {
  KXSQL_NEEDS(Mariadb());
  Mariadb().Query("CREATE DATABASE dumped; CREATE DATABASE restored");
  std::vector<std::string> made = Mariadb().Client(), dump = Mariadb().Client("mariadb-dump");
  made.push_back("dumped");
  dump.insert(dump.end(), {"--routines", "--triggers", "--events", "dumped"});
  const ProcessResult schema = testing::Run(made, ReadFile(ScriptPath("mysql_schema.sql")));
  ASSERT_EQ(schema.exit_code, 0) << schema.err;
  const ProcessResult dumped = testing::Run(dump);
  ASSERT_EQ(dumped.exit_code, 0) << dumped.err;
  Compare(Client::kMysql, dumped.out, "restored");
}

// kxcom reaches the server through MariaDB's ODBC driver, tells the dialect
// from the DBMS name, and sends several statements in one call.
TEST_F(NativeClients, MariadbOverOdbcIsTheMysqlDialect) {
  KXSQL_NEEDS(Mariadb());
  const std::string connection = Mariadb().ConnectionString();
  if (connection.empty()) GTEST_SKIP() << "MariaDB's ODBC driver (libmaodbc.so, package odbc-mariadb) is not installed";
  CKXTr tr;
  ASSERT_TRUE(tr.Connect(connection.c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(tr.GetDBMSType(), DBMSTYPE::MYSQL) << tr.GetDBMSName();
  CKXSQLStmt stmt(0);
  EXPECT_NE(tr.GetDBMSType().ExecuteScriptStmt(stmt, &tr, "CREATE TABLE o (a int); INSERT INTO o VALUES (1), (2)"), -1)
      << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(Mariadb().Query("SELECT count(*) FROM o"), "2");
}

}  // namespace
}  // namespace kxsql::testing

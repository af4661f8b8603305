// Dumps made during the test by the installed dump tools, from small
// databases of the test's own, restored by `kxsql run` (native rules) and by
// each tool's own client into fresh databases: both must leave the same
// tables, rows, routines, triggers and sequences. pg_dump in its default
// form (COPY rows), with --inserts and with --create (\connect);
// mariadb-dump --routines --triggers; the sqlite3 shell's .dump.
#include <string>
#include <vector>

#include "support/local_server.h"
#include "support/mariadb_server.h"
#include "support/postgres_server.h"
#include "cli/cli_fixture.h"

namespace kxsql::testing {
namespace {

// Rows that dumps must carry over exactly: a tab, a backslash, quotes, a `;`,
// a line break, NULL, Unicode.
const char kPostgresSchema[] = R"(
CREATE TABLE item (id serial PRIMARY KEY, name text NOT NULL, note text, price numeric(8,2), tags text[],
                   data jsonb, created date);
CREATE TABLE log (item_id int, what text);
CREATE FUNCTION log_item() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO log VALUES (NEW.id, 'added ' || NEW.name || '; $1');
  RETURN NEW;
END;
$$;
CREATE TRIGGER item_log AFTER INSERT ON item FOR EACH ROW EXECUTE FUNCTION log_item();
CREATE FUNCTION add(a int, b int) RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT a + b; END;
CREATE VIEW pricey AS SELECT id, name FROM item WHERE price > 10;
INSERT INTO item (name, note, price, tags, data, created) VALUES
  ('plain', NULL, 1.5, '{a,b}', '{"k": [1, "x;y"]}', '2024-01-02'),
  (E'tab\there', E'back\\slash; semi', 20, '{}', '[]', NULL),
  ('quote '' and "', E'two\nlines', 3, NULL, NULL, '2024-02-03'),
  ('Grüße € 日本', '', 0, '{"with space"}', 'null', '1999-12-31');
)";

class DumpRestorePostgres : public Cli {
 protected:
  static void SetUpTestSuite() { server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }
  void SetUp() override {
    Cli::SetUp();
    if (server_.Unavailable()) GTEST_SKIP() << server_.Error();
    ASSERT_TRUE(server_.IsRunning()) << server_.Error();
  }
  std::string Query(const std::string& sql, const std::string& database) {
    bool ok = false;
    const std::string rows = server_.Query(sql, &ok, database);
    EXPECT_TRUE(ok) << sql << ": " << rows;
    return rows;
  }
  void Fresh(const std::string& database) {
    server_.Query("DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
    Query("CREATE DATABASE " + database, "postgres");
  }
  ProcessResult Client(const std::string& program, const std::string& database, std::vector<std::string> args) {
    std::vector<std::string> argv{server_.Program(program)};
    for (const std::string& arg : server_.ConnectArgs(database)) argv.push_back(arg);
    argv.insert(argv.end(), args.begin(), args.end());
    return Program(argv);
  }
  // What a restore left in `database`.
  std::string Contents(const std::string& database) {
    return Query("SELECT string_agg(relname || ':' || relkind::text, ',' ORDER BY relname) FROM pg_class "
                 "WHERE relnamespace = 'public'::regnamespace", database) + "\n" +
           Query("SELECT * FROM item ORDER BY id", database) + "\n" +
           Query("SELECT * FROM log ORDER BY 1, 2", database) + "\n" +
           Query("SELECT last_value FROM item_id_seq", database) + "\n" +
           Query("SELECT proname, md5(coalesce(prosrc, '') || coalesce(pg_get_function_sqlbody(oid), '')) "
                 "FROM pg_proc WHERE pronamespace = 'public'::regnamespace ORDER BY 1", database) + "\n" +
           Query("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal ORDER BY 1", database) + "\n" +
           Query("SELECT add(2, 3), count(*) FROM pricey", database);
  }
  inline static PostgresServer server_;
};

TEST_F(DumpRestorePostgres, KxsqlRestoresWhatPsqlRestores) {
  Fresh("dump_src");
  Query(kPostgresSchema, "dump_src");
  const std::string source = Contents("dump_src");
  ASSERT_NE(source.find("tab\there"), std::string::npos) << source;
  const struct {
    const char* name;
    std::vector<std::string> options;
  } dumps[] = {{"copy", {}}, {"inserts", {"--inserts"}}, {"create", {"--create"}}};
  for (const auto& dump : dumps) {
    SCOPED_TRACE(dump.name);
    const fs::path file = dir_ / (std::string(dump.name) + ".sql");
    std::vector<std::string> args = dump.options;
    args.insert(args.end(), {"-f", file.string()});
    const ProcessResult made = Client("pg_dump", "dump_src", args);
    ASSERT_EQ(made.exit_code, 0) << made.err;
    // --create makes the dumped database itself: psql's restore and then
    // kxsql's each make it anew.
    const bool creates = !dump.options.empty() && dump.options[0] == "--create";
    const std::string by_psql = creates ? "dump_src" : std::string("by_psql_") + dump.name;
    const std::string by_kxsql = creates ? "dump_src" : std::string("by_kxsql_") + dump.name;
    if (creates) server_.Query("DROP DATABASE dump_src WITH (FORCE)");
    else Fresh(by_psql);
    const ProcessResult psql =
        Client("psql", creates ? "postgres" : by_psql, {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-f", file.string()});
    ASSERT_EQ(psql.exit_code, 0) << psql.err;
    const std::string expected = Contents(by_psql);
    EXPECT_EQ(expected, source);
    if (creates) server_.Query("DROP DATABASE dump_src WITH (FORCE)");
    else Fresh(by_kxsql);
    const ProcessResult kxsql = Kxsql(
        {"run", "--quiet", "--connect", server_.ConnectionString(creates ? "postgres" : by_kxsql), file.string()});
    EXPECT_EQ(kxsql.exit_code, 0) << kxsql.err;
    EXPECT_EQ(kxsql.err, "");
    EXPECT_EQ(Contents(by_kxsql), expected);
  }
}

const char kMariadbSchema[] = R"(
CREATE TABLE item (id int AUTO_INCREMENT PRIMARY KEY, name varchar(50) NOT NULL, note text, price decimal(8,2));
CREATE TABLE log (item_id int, what varchar(100));
DELIMITER //
CREATE TRIGGER item_log AFTER INSERT ON item FOR EACH ROW
BEGIN
  INSERT INTO log VALUES (NEW.id, CONCAT('added ', NEW.name, '; done'));
END//
CREATE PROCEDURE add_item(IN n varchar(50))
BEGIN
  DECLARE c int;
  INSERT INTO item (name) VALUES (n);
  SELECT count(*) INTO c FROM item;
END//
CREATE FUNCTION twice(x int) RETURNS int DETERMINISTIC RETURN x * 2//
DELIMITER ;
CREATE VIEW pricey AS SELECT id, name FROM item WHERE price > 10;
INSERT INTO item (name, note, price) VALUES ('plain', NULL, 1.5), ('tab\there', 'back\\slash; semi', 20),
  ('quote '' and "', 'two\nlines', 3), ('Grüße € 日本', '', 0);
CALL add_item('called');
)";

class DumpRestoreMariadb : public Cli {
 protected:
  static void SetUpTestSuite() { server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }
  void SetUp() override {
    Cli::SetUp();
    if (server_.Unavailable()) GTEST_SKIP() << server_.Error();
    ASSERT_TRUE(server_.IsRunning()) << server_.Error();
  }
  // The mariadb client (or mariadb-dump) on `database`, with `input`.
  ProcessResult Client(const std::string& program, const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv = server_.Client(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return kxsql::testing::Run(argv, input);
  }
  std::string Query(const std::string& sql, const std::string& database) {
    bool ok = false;
    const std::string rows = server_.Query(sql, &ok, database);
    EXPECT_TRUE(ok) << sql << ": " << rows;
    return rows;
  }
  void Fresh(const std::string& database) {
    Query("DROP DATABASE IF EXISTS " + database + "; CREATE DATABASE " + database + " CHARACTER SET utf8mb4", "mysql");
  }
  std::string Contents(const std::string& database) {
    return Query("SELECT * FROM item ORDER BY id", database) + "\n" + Query("SELECT * FROM log ORDER BY 1, 2", database) +
           "\n" +
           Query("SELECT ROUTINE_NAME, ROUTINE_TYPE, MD5(ROUTINE_DEFINITION) FROM information_schema.ROUTINES "
                 "WHERE ROUTINE_SCHEMA = DATABASE() ORDER BY 1", database) + "\n" +
           Query("SELECT TRIGGER_NAME, MD5(ACTION_STATEMENT) FROM information_schema.TRIGGERS "
                 "WHERE TRIGGER_SCHEMA = DATABASE() ORDER BY 1", database) + "\n" +
           Query("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                 "ORDER BY 1", database) + "\n" +
           Query("SELECT twice(21)", database);
  }
  inline static MariadbServer server_;
};

TEST_F(DumpRestoreMariadb, KxsqlRestoresWhatTheClientRestores) {
  Fresh("dump_src");
  const ProcessResult made_schema = Client("mariadb", {"dump_src"}, kMariadbSchema);
  ASSERT_EQ(made_schema.exit_code, 0) << made_schema.err;
  const std::string source = Contents("dump_src");
  const ProcessResult dump = Client("mariadb-dump", {"--routines", "--triggers", "dump_src"});
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  const fs::path file = Write("dump.sql", dump.out);
  Fresh("by_client");
  const ProcessResult client = Client("mariadb", {"by_client"}, dump.out);
  ASSERT_EQ(client.exit_code, 0) << client.err;
  EXPECT_EQ(Contents("by_client"), source);
  Fresh("by_kxsql");
  const ProcessResult kxsql =
      Kxsql({"run", "--quiet", "--connect", server_.ConnectionString("by_kxsql"), file.string()});
  EXPECT_EQ(kxsql.exit_code, 0) << kxsql.err;
  EXPECT_EQ(kxsql.err, "");
  EXPECT_EQ(Contents("by_kxsql"), source);
}

// The mysql client sends everything up to the delimiter as one query; the
// connection allows several statements in one, so kxsql runs it whole too.
TEST_F(DumpRestoreMariadb, AQueryOfSeveralStatementsRunsWhole) {
  Fresh("several");
  const fs::path file = Write("several.sql",
                              "CREATE TABLE t (n int);\nDELIMITER //\nINSERT INTO t VALUES (5); INSERT INTO t VALUES (6)//\n"
                              "DELIMITER ;\nsource " + Write("more.sql", "INSERT INTO t VALUES (7);\n").string() + "\n");
  const ProcessResult kxsql = Kxsql({"run", "--connect", server_.ConnectionString("several"), file.string()});
  EXPECT_EQ(kxsql.exit_code, 0) << kxsql.err;
  EXPECT_NE(kxsql.out.find("3 statements run, 0 errors"), std::string::npos) << kxsql.out;
  EXPECT_EQ(Query("SELECT group_concat(n ORDER BY n) FROM t", "several"), "5,6,7");
}

TEST_F(Cli, SqliteDumpRestoresAsTheShellRestoresIt) {
  // A trigger whose body holds CASE ... END, and rows that need quoting.
  const std::string schema =
      "CREATE TABLE item (id INTEGER PRIMARY KEY, name TEXT, grade TEXT);\n"
      "CREATE TABLE log (what TEXT);\n"
      "CREATE TRIGGER grade AFTER INSERT ON item BEGIN\n"
      "  UPDATE item SET grade = CASE WHEN NEW.id > 1 THEN 'high' ELSE 'low' END WHERE id = NEW.id;\n"
      "  INSERT INTO log VALUES ('added ' || NEW.name || '; done');\n"
      "END;\n"
      "INSERT INTO item (name) VALUES ('it''s'), ('two\nlines'), ('x;y');\n";
  const std::string sqlite3 = FindProgram("sqlite3");
  if (sqlite3.empty()) GTEST_SKIP() << "the sqlite3 shell is missing (Debian: sqlite3)";
  const fs::path source = dir_ / "source.db";
  ASSERT_EQ(kxsql::testing::Run({sqlite3, source.string()}, schema).exit_code, 0);
  const ProcessResult dump = Program({sqlite3, source.string(), ".dump"});
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  const fs::path file = Write("dump.sql", dump.out);
  const fs::path by_shell = dir_ / "by_shell.db", by_kxsql = dir_ / "by_kxsql.db";
  ASSERT_EQ(kxsql::testing::Run({sqlite3, by_shell.string()}, dump.out).exit_code, 0);
  const ProcessResult kxsql = Kxsql({"run", "--quiet", "--sqlite", by_kxsql.string(), file.string()});
  EXPECT_EQ(kxsql.exit_code, 0) << kxsql.err;
  EXPECT_EQ(Program({sqlite3, by_kxsql.string(), ".dump"}).out, Program({sqlite3, by_shell.string(), ".dump"}).out);
  EXPECT_EQ(Program({sqlite3, by_kxsql.string(), ".dump"}).out, dump.out);
}

}  // namespace
}  // namespace kxsql::testing

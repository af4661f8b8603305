// A pg_dump-shaped script run by kxsql under the native rules and by psql,
// each into a database of its own on a throwaway server: both must leave the
// same tables, rows, sequences, functions and triggers.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/postgres_server.h"

namespace {

using kxsql::testing::PostgresServer;

// pg_dump 15's shape: \restrict, SETs, a $_$ function, a trigger without
// BEGIN, COPY rows with escapes, \N, a tab inside a value, braces, an empty
// string and the word NULL as values, columns of fixed length, setval; and a
// psql script's \c, \set and :'var' around it (psql refuses backslash
// commands between \restrict and \unrestrict).
const char kDump[] = R"(\c :target
\set greeting 'it''s me'
--
-- PostgreSQL database dump
--
\restrict 4bL0xk8Y

SET statement_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;

CREATE FUNCTION public.touch() RETURNS trigger
    LANGUAGE plpgsql
    AS $_$
BEGIN
  NEW.note := coalesce(NEW.note, '') || '$1;';
  RETURN NEW;
END;
$_$;

CREATE TABLE public.item (
    id integer NOT NULL,
    name text,
    note text
);

CREATE SEQUENCE public.item_id_seq
    AS integer
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1;

ALTER SEQUENCE public.item_id_seq OWNED BY public.item.id;
ALTER TABLE ONLY public.item ALTER COLUMN id SET DEFAULT nextval('public.item_id_seq'::regclass);

COPY public.item (id, name, note) FROM stdin;
1	plain	\N
2	tab\there	back\\slash
3	quote ' and "	semi;colon
4	{a, "b"} \\N	
5	  NULL  	NULL
\.

CREATE TABLE public.code (c character(4), b bit(3), v character varying(5), n numeric(5,1));

COPY public.code (c, b, v, n) FROM stdin;
ab	101	xyz  	1.25
\N	010	\N	-3
\.

SELECT pg_catalog.setval('public.item_id_seq', 5, true);

ALTER TABLE ONLY public.item
    ADD CONSTRAINT item_pkey PRIMARY KEY (id);

CREATE TRIGGER item_touch BEFORE INSERT ON public.item FOR EACH ROW EXECUTE FUNCTION public.touch();

\unrestrict 4bL0xk8Y

INSERT INTO public.item (name) VALUES (:'greeting');
)";

class NativePostgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }
  void SetUp() override {
    if (server_.Unavailable()) GTEST_SKIP() << server_.Error();
    ASSERT_TRUE(server_.IsRunning()) << "the PostgreSQL server did not start: " << server_.Error();
    std::string pattern = ::testing::TempDir() + "kxsql-pgrun-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // The server's own user reads the scripts psql is given.
    std::filesystem::permissions(dir_, std::filesystem::perms::all);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    std::filesystem::permissions(path, std::filesystem::perms::all);
    return path;
  }
  std::string Query(const std::string& sql, const std::string& database) {
    bool ok = false;
    const std::string result = server_.Query(sql, &ok, database);
    EXPECT_TRUE(ok) << sql << ": " << result;
    return result;
  }
  // Everything the script leaves in `database`, as text.
  std::string Contents(const std::string& database) {
    return Query("SELECT id, name, note FROM public.item ORDER BY id", database) + "|" +
           Query("SELECT c || '|', b, v || '|', n FROM public.code ORDER BY n", database) + "|" +
           Query("SELECT last_value FROM public.item_id_seq", database) + "|" +
           Query("SELECT proname, prosrc FROM pg_proc WHERE pronamespace = 'public'::regnamespace ORDER BY 1",
                 database) +
           "|" + Query("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal ORDER BY 1", database);
  }

  inline static PostgresServer server_;
  std::string dir_;
};

TEST_F(NativePostgres, DumpShapedScriptLeavesWhatPsqlLeaves) {
  for (const char* db : {"by_psql", "by_kxsql"}) {
    server_.Query(std::string("DROP DATABASE IF EXISTS ") + db);
    Query(std::string("CREATE DATABASE ") + db + " ENCODING 'UTF8'", "postgres");
  }
  const std::string dump = Write("dump.sql", kDump);
  bool ok = false;
  const std::string wrapper = Write("psql.sql", "\\set target by_psql\n\\i " + dump + "\n");
  const std::string psql = server_.Query("\\i " + wrapper, &ok, "postgres");
  ASSERT_TRUE(ok) << psql;

  CKXTr tr;
  ASSERT_TRUE(tr.Connect(server_.ConnectionString("postgres").c_str())) << CKXMsg::GetInstance()->GetLastMessage().text;
  CKXSQLFile file;
  ASSERT_EQ(file.Open(dump.c_str()), 1);
  file.SetSplitRules(KXSQL_RULES_NATIVE);
  kxsql::detail::ScriptSession session;
  session.SetVariable("target", "by_kxsql");
  session.SetScriptPath(dump);
  unsigned int statements = 0, errors = 0;
  EXPECT_EQ(kxsql::detail::LoadSQL<char>(file, &tr, statements, errors, kxsql::detail::kNoErrorLimit, nullptr,
                                         &session),
            0)
      << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(errors, 0u) << CKXMsg::GetInstance()->GetLastMessage().text;
  EXPECT_EQ(statements, 17u);  // a COPY with its rows is one statement
  const std::string expected = Contents("by_psql");
  EXPECT_NE(expected.find("tab\there"), std::string::npos) << expected;
  EXPECT_EQ(Contents("by_kxsql"), expected);
}

}  // namespace

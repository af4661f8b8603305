// COPY rows as one array per column: what goes to PostgreSQL, and when the
// VALUES lists stay. (Both forms against a real server: native_postgres_test.)
#include "runner/copy_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kxsql::detail::CopyInsert;
using kxsql::detail::CopyLoader;
using Rows = std::vector<std::vector<std::string>>;

const Rows kItemColumns = {{"id", "integer", "N"}, {"Name", "text", "S"}, {"note", "text", "S"}, {"tags", "text[]", "A"}};

CopyLoader ByColumns(const std::string& copy) {
  CopyLoader loader;
  std::string error;
  EXPECT_TRUE(loader.Parse(copy, error)) << error;
  loader.UseColumns(kItemColumns);
  EXPECT_TRUE(loader.ByColumns()) << copy;
  return loader;
}

TEST(CopyLoader, RowsGoAsOneArrayPerColumnWithTheirTypes) {
  CopyLoader loader = ByColumns("COPY public.item (id, \"Name\", note) FROM stdin");
  EXPECT_NE(loader.ColumnQuery().find("to_regclass(E'public.item')"), std::string::npos);
  std::vector<CopyInsert> inserts;
  std::string error;
  // Quotes, a backslash, an empty string, NULL, and the word NULL as a value.
  ASSERT_TRUE(loader.AddRows("1\tit's \"q\" back\\\\slash\t\\N\n2\t\tNULL\n", true, inserts, error)) << error;
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].sql,
            "INSERT INTO public.item (id, \"Name\", note) SELECT * FROM ROWS FROM (pg_catalog.unnest(?::integer[]), "
            "pg_catalog.unnest(?::text[]), pg_catalog.unnest(?::text[]))");
  EXPECT_EQ(inserts[0].texts, (std::vector<std::string>{"{\"1\",\"2\"}", "{\"it's \\\"q\\\" back\\\\slash\",\"\"}",
                                                        "{NULL,\"NULL\"}"}));

  // CSV with a header line: an unquoted empty field is NULL, a quoted comma a character.
  loader = ByColumns("COPY public.item (id, \"Name\", note) FROM stdin WITH (FORMAT csv, HEADER true)");
  inserts.clear();
  ASSERT_TRUE(loader.AddRows("id,Name,note\n1,\"a,b\",\n", true, inserts, error)) << error;
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].texts, (std::vector<std::string>{"{\"1\"}", "{\"a,b\"}", "{NULL}"}));
}

TEST(CopyLoader, ARowThatDoesNotFitTheColumnsFailsAsCopyWould) {
  const struct {
    const char* rows;
    const char* error;
  } cases[] = {
      {"1\tx\n", "missing data for column \"note\""},
      {"1\tx\ty\tz\n", "extra data after last expected column"},
  };
  for (const auto& c : cases) {
    CopyLoader loader = ByColumns("COPY public.item (id, \"Name\", note) FROM stdin");
    std::vector<CopyInsert> inserts;
    std::string error;
    EXPECT_FALSE(loader.AddRows(c.rows, true, inserts, error)) << c.rows;
    EXPECT_EQ(error, c.error);
  }
}

TEST(CopyLoader, TheValuesListsStayWhereTheArraysCannotServe) {
  const struct {
    const char* copy;
    Rows columns;
  } cases[] = {
      {"COPY public.item FROM stdin", kItemColumns},                       // no column list
      {"COPY public.item (id, tags) FROM stdin", kItemColumns},            // an array column
      {"COPY public.item (id, name) FROM stdin", kItemColumns},            // name, not "Name"
      {"COPY public.item (id, \"Name\") FROM stdin", {{"id", "integer", "N"}, {"Name", "prix€", "U"}}},
      {"COPY public.item (id, \"Name\") FROM stdin", {}},                  // the table is unknown
  };
  for (const auto& c : cases) {
    CopyLoader loader;
    std::string error;
    ASSERT_TRUE(loader.Parse(c.copy, error)) << error;
    loader.UseColumns(c.columns);
    EXPECT_FALSE(loader.ByColumns()) << c.copy;
    std::vector<CopyInsert> inserts;
    ASSERT_TRUE(loader.AddRows("1\tx\n", true, inserts, error)) << error;
    ASSERT_EQ(inserts.size(), 1u);
    EXPECT_NE(inserts[0].sql.find(" VALUES (E'1', E'x')"), std::string::npos) << inserts[0].sql;
    EXPECT_TRUE(inserts[0].texts.empty());
  }
  CopyLoader loader;
  std::string error;
  ASSERT_TRUE(loader.Parse("COPY public.item FROM stdin", error));
  EXPECT_EQ(loader.ColumnQuery(), "");
}

}  // namespace

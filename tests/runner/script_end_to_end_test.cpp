// A real script end to end on SQLite: a schema whose triggers hold
// semicolons inside BEGIN ... END, a few hundred inserts in a transaction,
// and one statement that a trigger refuses.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/sqlite_query.h"
#include "support/test_text.h"

namespace {

using kxsql::testing::QueryInt;
using kxsql::testing::QueryText;
using kxsql::testing::Text;

constexpr int kWarehouses = 3;
constexpr int kItems = 60;

const char kSchema[] = R"sql(-- Inventory: items in warehouses, and the movements of their stock.
PRAGMA foreign_keys = ON;

CREATE TABLE warehouse (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);
CREATE TABLE item (
  id INTEGER PRIMARY KEY,
  warehouse_id INTEGER NOT NULL REFERENCES warehouse(id),
  name TEXT NOT NULL,
  stock INTEGER NOT NULL DEFAULT 0 CHECK (stock >= 0)
);
CREATE TABLE movement (
  id INTEGER PRIMARY KEY,
  item_id INTEGER NOT NULL REFERENCES item(id),
  quantity INTEGER NOT NULL,
  note TEXT
);
CREATE TABLE audit (what TEXT NOT NULL, item_id INTEGER, amount INTEGER);

/* A movement changes the stock and leaves a trace;
   the semicolons inside BEGIN ... END belong to the trigger. */
CREATE TRIGGER movement_applied AFTER INSERT ON movement
BEGIN
  UPDATE item SET stock = stock + NEW.quantity WHERE id = NEW.item_id;
  INSERT INTO audit (what, item_id, amount) VALUES ('movement', NEW.item_id, NEW.quantity);
END;
CREATE TRIGGER item_created AFTER INSERT ON item
BEGIN
  INSERT INTO audit (what, item_id, amount) VALUES ('created', NEW.id, NEW.stock);
END;
CREATE TRIGGER item_emptied AFTER UPDATE OF stock ON item
WHEN NEW.stock = 0 AND OLD.stock > 0
BEGIN
  INSERT INTO audit (what, item_id, amount) VALUES ('emptied', NEW.id, 0);
END;
-- An item with a history stays.
CREATE TRIGGER item_kept BEFORE DELETE ON item
WHEN EXISTS (SELECT 1 FROM movement WHERE item_id = OLD.id)
BEGIN
  SELECT RAISE(ABORT, 'item has movements');
END;

BEGIN TRANSACTION;
)sql";

// The data, and what the triggers must make of it.
struct Script {
  std::string text;
  unsigned int statements = 0;
  int movements = 0;
  int emptied = 0;
  std::map<int, int> stock;
};

Script MakeScript() {
  Script s;
  s.text = kSchema;
  s.statements = 10;  // PRAGMA, 4 tables, 4 triggers, BEGIN TRANSACTION
  for (int w = 1; w <= kWarehouses; ++w) {
    s.text += "INSERT INTO warehouse (id, name) VALUES (" + std::to_string(w) + ", 'Hall " + std::to_string(w) + "');\n";
    ++s.statements;
  }
  s.text += "\n-- Items; the names hold a semicolon, which a string keeps.\n";
  for (int i = 1; i <= kItems; ++i) {
    s.text += "INSERT INTO item (id, warehouse_id, name) VALUES (" + std::to_string(i) + ", " +
              std::to_string(i % kWarehouses + 1) + ", 'item " + std::to_string(i) + "; size " +
              std::to_string(i % 4) + "');\n";
    ++s.statements;
    s.stock[i] = 0;
  }
  s.text += "\n/* Movements: in, out, and every third item sold out. */\n";
  int id = 0;
  for (int i = 1; i <= kItems; ++i) {
    const int q = i % 7 + 1;
    const int moves[] = {3 * q, -q, -q, i % 3 == 0 ? -q : q, i};
    for (int m : moves) {
      s.text += "INSERT INTO movement (id, item_id, quantity, note) VALUES (" + std::to_string(++id) + ", " +
                std::to_string(i) + ", " + std::to_string(m) + ", " + (m < 0 ? "'out'" : "NULL") + ");\n";
      ++s.statements;
      const int before = s.stock[i];
      s.stock[i] += m;
      if (s.stock[i] == 0 && before > 0) ++s.emptied;
    }
    s.movements += 5;
  }
  s.text += "COMMIT;\n\n-- Refused by item_kept: counted as the run's one error.\nDELETE FROM item WHERE id = 1;\n";
  s.text += "UPDATE item SET name = upper(name) WHERE id = 2;\n";
  s.statements += 3;
  return s;
}

template <class T>
class EndToEnd : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(EndToEnd, Widths);

TYPED_TEST(EndToEnd, SchemaWithTriggersAndData) {
  const Script script = MakeScript();
  ASSERT_GT(script.statements, 300u);
  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  CKXSQLTextT<TypeParam> source;
  unsigned int stmts = 0, errors = 0;
  const Text<TypeParam> text(script.text);
  EXPECT_EQ(source.ParseSQL(text.c_str(), &tr, stmts, errors, kxsql::detail::kNoErrorLimit), 0);
  EXPECT_EQ(stmts, script.statements);
  EXPECT_EQ(errors, 1u);
  // The failed statement is reported as written, with the comment before it,
  // and the engine's reason is in the log.
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text,
            "-- Refused by item_kept: counted as the run's one error.\nDELETE FROM item WHERE id = 1");
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines().back(), "SQLite: item has movements");

  EXPECT_EQ(QueryInt(tr, "select count(*) from warehouse"), kWarehouses);
  EXPECT_EQ(QueryInt(tr, "select count(*) from item"), kItems);
  EXPECT_EQ(QueryInt(tr, "select count(*) from movement"), script.movements);
  EXPECT_EQ(QueryText(tr, "select name from item where id = 7"), "item 7; size 3");
  EXPECT_EQ(QueryText(tr, "select name from item where id = 2"), "ITEM 2; SIZE 2");
  EXPECT_EQ(QueryText(tr, "select group_concat(name, ',') from (select name from sqlite_master "
                          "where type = 'trigger' order by name)"),
            "item_created,item_emptied,item_kept,movement_applied");
  // Every trigger fired as often as the data asks.
  EXPECT_EQ(QueryInt(tr, "select count(*) from audit where what = 'created'"), kItems);
  EXPECT_EQ(QueryInt(tr, "select count(*) from audit where what = 'movement'"), script.movements);
  EXPECT_EQ(QueryInt(tr, "select count(*) from audit where what = 'emptied'"), script.emptied);
  ASSERT_GT(script.emptied, 0);
  for (const auto& [item, stock] : script.stock) {
    SCOPED_TRACE("item " + std::to_string(item));
    EXPECT_EQ(QueryInt(tr, "select stock from item where id = " + std::to_string(item)), stock);
  }
}

}  // namespace

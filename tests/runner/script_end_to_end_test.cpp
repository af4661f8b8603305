// A real script end to end on SQLite: a schema whose triggers hold
// semicolons inside BEGIN ... END, a few hundred inserts in a transaction,
// and one statement that a trigger refuses.
#include <string>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "runner/script_runner.h"
#include "support/sqlite_query.h"
#include "support/test_text.h"

namespace {

constexpr int kItems = 60;

const char kSchema[] = R"sql(-- Inventory: items, and the movements of their stock.
PRAGMA foreign_keys = ON;
CREATE TABLE item (id INTEGER PRIMARY KEY, name TEXT NOT NULL, stock INTEGER NOT NULL DEFAULT 0 CHECK (stock >= 0));
CREATE TABLE movement (id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL REFERENCES item(id),
  quantity INTEGER NOT NULL, note TEXT);
CREATE TABLE audit (what TEXT NOT NULL, item_id INTEGER, amount INTEGER);
/* A movement changes the stock and leaves a trace;
   the semicolons inside BEGIN ... END belong to the trigger. */
CREATE TRIGGER movement_applied AFTER INSERT ON movement
BEGIN
  UPDATE item SET stock = stock + NEW.quantity WHERE id = NEW.item_id;
  INSERT INTO audit (what, item_id, amount) VALUES ('movement', NEW.item_id, NEW.quantity);
END;
CREATE TRIGGER item_created AFTER INSERT ON item BEGIN
  INSERT INTO audit (what, item_id, amount) VALUES ('created', NEW.id, NEW.stock);
END;
CREATE TRIGGER item_emptied AFTER UPDATE OF stock ON item
WHEN NEW.stock = 0 AND OLD.stock > 0
BEGIN
  INSERT INTO audit (what, item_id, amount) VALUES ('emptied', NEW.id, 0);
END;
-- An item with a history stays.
CREATE TRIGGER item_kept BEFORE DELETE ON item WHEN EXISTS (SELECT 1 FROM movement WHERE item_id = OLD.id)
BEGIN SELECT RAISE(ABORT, 'item has movements'); END;
BEGIN TRANSACTION;
)sql";

template <class T>
class EndToEnd : public ::testing::Test {};
using Widths = ::testing::Types<char, unsigned short>;
TYPED_TEST_SUITE(EndToEnd, Widths);

TYPED_TEST(EndToEnd, SchemaWithTriggersAndData) {
  std::string script = kSchema;
  unsigned int statements = 9;  // PRAGMA, 3 tables, 4 triggers, BEGIN TRANSACTION
  script += "\n-- Items; the names hold a semicolon, which a string keeps.\n";
  for (int i = 1; i <= kItems; ++i, ++statements)
    script += "INSERT INTO item (id, name) VALUES (" + std::to_string(i) + ", 'item " + std::to_string(i) + "; size " +
              std::to_string(i % 4) + "');\n";
  // Movements: in, out, and every third item sold out; and what the triggers must make of them.
  script += "\n/* Movements: in, out, and every third item sold out. */\n";
  std::string stocks;
  int movements = 0, emptied = 0;
  for (int i = 1; i <= kItems; ++i) {
    const int q = i % 7 + 1;
    int stock = 0;
    for (const int m : {3 * q, -q, -q, i % 3 == 0 ? -q : q, i}) {
      script += "INSERT INTO movement (id, item_id, quantity, note) VALUES (" + std::to_string(++movements) + ", " +
                std::to_string(i) + ", " + std::to_string(m) + ", " + (m < 0 ? "'out'" : "NULL") + ");\n";
      emptied += stock > 0 && stock + m == 0;
      stock += m;
    }
    stocks += (i > 1 ? "," : "") + std::to_string(stock);
  }
  script += "COMMIT;\n\n-- Refused by item_kept: counted as the run's one error.\nDELETE FROM item WHERE id = 1;\n"
            "UPDATE item SET name = upper(name) WHERE id = 2;\n";
  statements += movements + 3;
  ASSERT_GT(emptied, 0);

  CKXTr tr;
  ASSERT_TRUE(tr.OpenSQLite(":memory:"));
  CKXSQLTextT<TypeParam> source;
  unsigned int stmts = 0, errors = 0;
  const kxsql::testing::Text<TypeParam> text(script);
  EXPECT_EQ(source.ParseSQL(text.c_str(), &tr, stmts, errors, kxsql::detail::kNoErrorLimit), 0);
  EXPECT_EQ(stmts, statements);
  EXPECT_EQ(errors, 1u);
  // The failed statement is reported as written, with the comment before it,
  // and the engine's reason is in the log.
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().text,
            "-- Refused by item_kept: counted as the run's one error.\nDELETE FROM item WHERE id = 1");
  EXPECT_EQ(CKXMsg::GetInstance()->GetLogLines().back(), "SQLite: item has movements");

  const struct {
    const char* sql;
    std::string expected;
  } checks[] = {
      {"select count(*) from item", std::to_string(kItems)},
      {"select count(*) from movement", std::to_string(movements)},
      {"select name from item where id = 7", "item 7; size 3"},
      {"select name from item where id = 2", "ITEM 2; SIZE 2"},
      {"select group_concat(name, ',') from (select name from sqlite_master where type = 'trigger' order by name)",
       "item_created,item_emptied,item_kept,movement_applied"},
      // Every trigger fired as often as the data asks.
      {"select count(*) from audit where what = 'created'", std::to_string(kItems)},
      {"select count(*) from audit where what = 'movement'", std::to_string(movements)},
      {"select count(*) from audit where what = 'emptied'", std::to_string(emptied)},
      {"select group_concat(stock, ',') from (select stock from item order by id)", stocks},
  };
  for (const auto& check : checks) EXPECT_EQ(kxsql::testing::QueryText(tr, check.sql), check.expected) << check.sql;
}

}  // namespace

#!/usr/bin/env python3
"""Writes examples/scripts/bookshop.sql: the demo's schema, triggers and data.

The data is generated once, from a fixed seed, and committed; run this again
only to change it.
"""
import random
import sys

random.seed(1996)

FIRST = ["Ada", "Alan", "Barbara", "Claude", "Donald", "Edsger", "Frances", "Grace", "Hedy", "John",
         "Katherine", "Leslie", "Margaret", "Niklaus", "Radia", "Sophie", "Tim", "Vint", "Whitfield", "Yukihiro"]
LAST = ["Lovelace", "Turing", "Liskov", "Shannon", "Knuth", "Dijkstra", "Allen", "Hopper", "Lamarr", "Backus",
        "Johnson", "Lamport", "Hamilton", "Wirth", "Perlman", "Wilson", "Berners-Lee", "Cerf", "Diffie", "Matsumoto"]
WORDS = ["Art", "Structure", "Interpretation", "Programs", "Systems", "Data", "Theory", "Practice", "Notes",
         "Compilers", "Algorithms", "Networks", "Logic", "Design", "Patterns", "Types", "Proofs", "Machines"]
CITIES = ["Lisbon", "Oslo", "Zürich", "Kraków", "Dublin", "Québec", "Tallinn", "Porto", "Bergen", "Graz"]


def q(text):
    return "'" + text.replace("'", "''") + "'"


def main(path):
    out = []
    w = out.append
    w("-- The bookshop: a small but real schema with triggers, and its data.")
    w("-- Run it with: kxsql run --sqlite bookshop.db examples/scripts/bookshop.sql")
    w("")
    w("PRAGMA foreign_keys = ON;")
    w("")
    w("CREATE TABLE author (\n  id INTEGER PRIMARY KEY,\n  name TEXT NOT NULL\n);")
    w("CREATE TABLE book (\n  id INTEGER PRIMARY KEY,\n  author_id INTEGER NOT NULL REFERENCES author(id),\n"
      "  title TEXT NOT NULL,\n  price_cents INTEGER NOT NULL CHECK (price_cents > 0),\n"
      "  stock INTEGER NOT NULL DEFAULT 0 CHECK (stock >= 0)\n);")
    w("CREATE TABLE customer (\n  id INTEGER PRIMARY KEY,\n  name TEXT NOT NULL,\n  city TEXT NOT NULL\n);")
    w("CREATE TABLE orders (\n  id INTEGER PRIMARY KEY,\n  customer_id INTEGER NOT NULL REFERENCES customer(id),\n"
      "  total_cents INTEGER NOT NULL DEFAULT 0\n);")
    w("CREATE TABLE order_line (\n  order_id INTEGER NOT NULL REFERENCES orders(id),\n"
      "  book_id INTEGER NOT NULL REFERENCES book(id),\n  quantity INTEGER NOT NULL CHECK (quantity > 0),\n"
      "  PRIMARY KEY (order_id, book_id)\n);")
    w("CREATE TABLE stock_log (\n  book_id INTEGER NOT NULL,\n  change INTEGER NOT NULL,\n  reason TEXT NOT NULL\n);")
    w("")
    w("/* Selling a book takes it from stock and adds it to the order's total;")
    w("   the semicolons inside a trigger's BEGIN ... END do not end the statement. */")
    w("CREATE TRIGGER order_line_sold AFTER INSERT ON order_line\nBEGIN\n"
      "  UPDATE book SET stock = stock - NEW.quantity WHERE id = NEW.book_id;\n"
      "  UPDATE orders SET total_cents = total_cents +\n"
      "    NEW.quantity * (SELECT price_cents FROM book WHERE id = NEW.book_id)\n"
      "  WHERE id = NEW.order_id;\n"
      "  INSERT INTO stock_log (book_id, change, reason) VALUES (NEW.book_id, -NEW.quantity, 'sold');\n"
      "END;")
    w("CREATE TRIGGER book_restocked AFTER UPDATE OF stock ON book\n"
      "WHEN NEW.stock > OLD.stock\nBEGIN\n"
      "  INSERT INTO stock_log (book_id, change, reason) VALUES (NEW.id, NEW.stock - OLD.stock, 'restocked');\n"
      "END;")
    w("")
    w("BEGIN TRANSACTION;")
    w("")
    w("-- Authors and their books.")
    authors = len(FIRST)
    for i in range(authors):
        w(f"INSERT INTO author (id, name) VALUES ({i + 1}, {q(FIRST[i] + ' ' + LAST[i])});")
    books = 400
    for i in range(books):
        title = " ".join(random.sample(WORDS, 3))
        w(f"INSERT INTO book (id, author_id, title, price_cents, stock) VALUES "
          f"({i + 1}, {random.randint(1, authors)}, {q(title)}, {random.randint(500, 9000)}, 1000);")
    w("")
    w("-- Customers.")
    customers = 600
    for i in range(customers):
        name = random.choice(FIRST) + " " + random.choice(LAST)
        w(f"INSERT INTO customer (id, name, city) VALUES ({i + 1}, {q(name)}, {q(random.choice(CITIES))});")
    w("")
    w("-- Orders; every order line fires order_line_sold.")
    orders = 800
    for i in range(orders):
        w(f"INSERT INTO orders (id, customer_id) VALUES ({i + 1}, {random.randint(1, customers)});")
        for book in random.sample(range(1, books + 1), random.randint(1, 3)):
            w(f"INSERT INTO order_line (order_id, book_id, quantity) VALUES ({i + 1}, {book}, {random.randint(1, 3)});")
    w("")
    w("-- A delivery restocks the best sellers; book_restocked logs it.")
    w("UPDATE book SET stock = stock + 50\nWHERE id IN (SELECT book_id FROM order_line GROUP BY book_id\n"
      "             ORDER BY sum(quantity) DESC LIMIT 10);")
    w("")
    w("COMMIT;")
    w("")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/scripts/bookshop.sql")

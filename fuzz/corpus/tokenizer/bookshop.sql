PRAGMA foreign_keys = ON;

CREATE TABLE author (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL
);
CREATE TABLE book (
  id INTEGER PRIMARY KEY,
  author_id INTEGER NOT NULL REFERENCES author(id),
  title TEXT NOT NULL,
  price_cents INTEGER NOT NULL CHECK (price_cents > 0),
  stock INTEGER NOT NULL DEFAULT 0 CHECK (stock >= 0)
);
CREATE TABLE customer (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  city TEXT NOT NULL
);
CREATE TABLE orders (
  id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customer(id),
  total_cents INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE order_line (
  order_id INTEGER NOT NULL REFERENCES orders(id),
  book_id INTEGER NOT NULL REFERENCES book(id),
  quantity INTEGER NOT NULL CHECK (quantity > 0),
  PRIMARY KEY (order_id, book_id)
);
CREATE TABLE stock_log (
  book_id INTEGER NOT NULL,
  change INTEGER NOT NULL,
  reason TEXT NOT NULL
);

/* Selling a book takes it from stock and adds it to the order's total;
   the semicolons inside a trigger's BEGIN ... END do not end the statement. */
CREATE TRIGGER order_line_sold AFTER INSERT ON order_line
BEGIN
  UPDATE book SET stock = stock - NEW.quantity WHERE id = NEW.book_id;
  UPDATE orders SET total_cents = total_cents +
    NEW.quantity * (SELECT price_cents FROM book WHERE id = NEW.book_id)
  WHERE id = NEW.order_id;
  INSERT INTO stock_log (book_id, change, reason) VALUES (NEW.book_id, -NEW.quantity, 'sold');
END;
CREATE TRIGGER book_restocked AFTER UPDATE OF stock ON book
WHEN NEW.stock > OLD.stock
BEGIN
  INSERT INTO stock_log (book_id, change, reason) VALUES (NEW.id, NEW.stock - OLD.stock, 'restocked');
END;

BEGIN TRANSACTION;

-- Authors and their books.
INSERT INTO author (id, name) VALUES (1, 'Ada Lovelace');
INSERT INTO author (id, name) VALUES (2, 'Alan Turing');
INSERT INTO author (id, name) VALUES (3, 'Barbara Liskov');
INSERT INTO author (id, name) VALUES (4, 'Claude Shannon');
INSERT INTO author (id, name) VALUES (5, 'Donald Knuth');
INSERT INTO author (id, name) VALUES (6, 'Edsger Dijkstra');
INSERT INTO author (id, name) VALUES (7, 'Frances Allen');
INSERT INTO author (id, name) VALUES (8, 'Grace Hopper');
INSERT INTO author (id, name) VALUES (9, 'Hedy Lamarr');
INSERT INTO author (id, name) VALUES (10, 'John Backus');
INSERT INTO author (id, name) VALUES (11, 'Katherine Johnson');
INSERT INTO author (id, name) VALUES (12, 'Leslie Lamport');
INSERT INTO author (id, name) VALUES (13, 'Margaret Hamilton');
INSERT INTO author (id, name) VALUES (14, 'Niklaus Wirth');
INSERT INTO author (id, name) VALUES (15, 'Radia Perlman');
INSERT INTO author (id, name) VALUES (16, 'Sophie Wilson');
INSERT INTO author (id, name) VALUES (17, 'Tim Berners-Lee');
INSERT INTO author (id, name) VALUES (18, 'Vint Cerf');

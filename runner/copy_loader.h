// PostgreSQL's `COPY ... FROM STDIN` with its rows, loaded the way psql
// loads them but over a connection that cannot stream COPY data (the ODBC
// driver): the rows become multi-row INSERT statements into the same table
// and columns, with the same values, NULLs and escapes.
//
//   CopyLoader copy;
//   if (!copy.Parse("COPY t (a, b) FROM stdin", error)) ...
//   copy.AddRows("1\tx\n2\t\\N\n", true, inserts, error);   // INSERT INTO t (a, b) VALUES (...), (...)
//
// On PostgreSQL, once UseColumns has the columns' types, the rows go as one
// array per column instead, bound as parameters:
//   INSERT INTO t (a, b) SELECT * FROM ROWS FROM (unnest(?::integer[]), unnest(?::text[]))
//
// Both of COPY's text formats are read: `text` (tab-separated, `\N` for
// NULL, backslash escapes) and `csv` (quotes, an empty field for NULL), with
// the options a dump uses: FORMAT, DELIMITER, NULL, HEADER, QUOTE, ESCAPE,
// ENCODING (nothing to do: the script is read as Unicode) and FREEZE, in
// both the parenthesised and the older option syntax.
#pragma once

#include <string>
#include <vector>

#include "kxsql/kxsql_export.h"

namespace kxsql::detail {

// One statement that loads rows: its text and, where the rows go as arrays
// per column, the values of its parameter markers.
struct CopyInsert {
  std::string sql;
  std::vector<std::string> texts;
};

// Exported for the tests.
class KXSQL_EXPORT CopyLoader {
 public:
  // Rows per INSERT, and the most text one INSERT gathers.
  static constexpr std::size_t kRowsPerInsert = 20000;
  static constexpr std::size_t kInsertChars = std::size_t{4} << 20;

  // True for `COPY ... FROM STDIN` (the statement's text, without its `;`).
  static bool IsCopyFromStdin(const std::string& sql);
  // True for `COPY ... TO STDOUT`, whose rows psql would print.
  static bool IsCopyToStdout(const std::string& sql);

  // The rows go to PostgreSQL (E'' literals) or to another database.
  explicit CopyLoader(bool postgres = true) : postgres_(postgres) {}

  // Reads the COPY statement. False, with the reason, when it cannot be
  // loaded this way (BINARY, a WHERE clause, FORCE_* options).
  bool Parse(const std::string& sql, std::string& error);
  // PostgreSQL takes rows several times faster as one array per column than
  // as VALUES lists, but the arrays need the columns' types: this is the
  // catalog query that gives them (name, type, type category per column),
  // empty when the COPY names no column list. UseColumns takes its rows;
  // the VALUES lists stay when a column is not among them or holds arrays.
  std::string ColumnQuery() const;
  void UseColumns(const std::vector<std::vector<std::string>>& rows);
  // The rows go in as arrays per column.
  bool ByColumns() const { return by_columns_; }
  // Turns rows into INSERT statements appended to `inserts`. A CSV record
  // cut at the end of a piece is kept for the next one; `last` says no
  // piece follows. False, with the reason, for a row COPY would refuse.
  bool AddRows(const std::string& rows, bool last, std::vector<CopyInsert>& inserts, std::string& error);

 private:
  bool AddRecord(const std::vector<std::string>& fields, const std::vector<bool>& nulls,
                 std::vector<CopyInsert>& inserts, std::string& error);
  bool AddToColumns(const std::vector<std::string>& fields, const std::vector<bool>& nulls,
                    std::vector<CopyInsert>& inserts, std::string& error);
  void Flush(std::vector<CopyInsert>& inserts);
  bool TextRecord(const std::string& line, std::vector<CopyInsert>& inserts, std::string& error);

  bool postgres_;
  std::string target_;  // the table and its column list, as the COPY wrote them
  std::string table_;   // the table alone
  std::vector<std::string> columns_;       // the column list's names, as the catalog holds them
  std::vector<std::string> column_types_;  // their types, once UseColumns found them all
  bool by_columns_ = false;
  std::vector<std::string> arrays_;  // per column, the array being gathered (its text form)
  bool csv_ = false;
  char delimiter_ = '\t';
  std::string null_ = "\\N";
  bool header_ = false;
  char quote_ = '"';
  char escape_ = '"';

  std::string carry_;    // a record not complete yet
  std::string values_;   // the VALUES list being gathered
  std::size_t rows_ = 0;  // rows in values_
};

}  // namespace kxsql::detail

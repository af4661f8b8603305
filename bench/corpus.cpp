// The script generator. Every choice comes from one seeded 64-bit generator
// (splitmix64, not the standard distributions, whose results differ between
// standard libraries), so a flavour, size and seed always give the same bytes.
#include "bench/corpus.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace kxsql::bench {
namespace {

// A piece is handed to the sink once it holds this much.
constexpr std::size_t kPieceBytes = 1 << 20;
// Depth of every nest of the nested flavour.
constexpr int kNestDepth = 10000;

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [0, n).
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  // In [lo, hi].
  long Between(long lo, long hi) { return lo + static_cast<long>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <std::size_t N>
  const char* Pick(const char* const (&words)[N]) { return words[Below(N)]; }

 private:
  std::uint64_t state_;
};

const char* const kTables[] = {
    "customer", "orders", "order_line", "product", "supplier", "invoice", "payment", "shipment",
    "warehouse", "stock_level", "employee", "department", "audit_log", "price_history", "category",
    "address", "campaign", "coupon", "review", "return_request"};
const char* const kColumns[] = {
    "name", "title", "description", "status", "email", "phone", "city", "country", "region", "note",
    "quantity", "unit_price", "discount", "total", "weight", "created_at", "updated_at", "due_date",
    "shipped_on", "rating", "code", "sku", "currency", "balance", "score", "priority", "owner_id",
    "parent_id", "version", "flags"};
const char* const kFirstNames[] = {
    "Anna", "Bruno", "Chloé", "Dmitri", "Eilís", "Farid", "Greta", "Hiro", "Inés", "Jonas", "Kaito",
    "Léa", "Mateus", "Nadia", "Oskar", "Priya", "Quentin", "Rosa", "Søren", "Tomás", "Uma", "Václav",
    "Wen", "Xavier", "Yusuf", "Zofia"};
const char* const kLastNames[] = {
    "O''Brien", "Müller", "García", "Nakamura", "Kowalski", "D''Angelo", "Johansson", "Nguyen", "Silva",
    "Dubois", "Ivanova", "Okafor", "Rossi", "Fernández", "Schmidt", "Öztürk", "Haddad", "MacLeod"};
const char* const kCities[] = {
    "Zürich", "São Paulo", "Kraków", "東京", "Reykjavík", "Montréal", "Göteborg", "Lyon", "Austin",
    "Cork", "Nairobi", "Århus", "Porto", "Sevilla", "Oulu", "Busan", "Perth", "Quito"};
const char* const kWords[] = {
    "express", "standard", "backorder", "pending", "approved", "rejected", "refund", "gift wrap",
    "fragile", "bulk", "priority", "weekend", "naïve café blend", "crème brûlée", "über deal",
    "first; second", "a -- not a comment", "50% off", "x /* not a comment */ y", "line one"};
const char* const kStatuses[] = {"new", "paid", "shipped", "delivered", "cancelled", "returned"};
const char* const kPgTypes[] = {
    "integer", "bigint", "numeric(12,2)", "text", "varchar(80)", "boolean", "date",
    "timestamptz", "jsonb", "smallint", "double precision", "uuid"};
const char* const kMsTypes[] = {
    "INT", "BIGINT", "DECIMAL(12,2)", "NVARCHAR(80)", "NVARCHAR(MAX)", "BIT", "DATE", "DATETIME2(3)",
    "SMALLINT", "FLOAT", "UNIQUEIDENTIFIER", "VARCHAR(20)"};
const char* const kOraTypes[] = {
    "NUMBER(10)", "NUMBER(12,2)", "VARCHAR2(80 CHAR)", "VARCHAR2(4000)", "DATE", "TIMESTAMP",
    "CHAR(1)", "CLOB", "NUMBER(5)", "NVARCHAR2(100)"};
const char* const kRemarks[] = {
    "keep the totals in step with the order lines",
    "rows older than two years are archived by the nightly job",
    "the reporting views read from here, change with care",
    "prices are stored in the currency of the supplier",
    "do not rename: the import tool addresses these columns by name",
    "filled by the loader, corrected by hand afterwards",
    "one row per customer and calendar month"};

// Builds the script statement by statement and hands it out in pieces.
class Writer {
 public:
  Writer(std::uint64_t min_bytes, const std::function<void(const std::string&)>& sink)
      : min_bytes_(min_bytes), sink_(sink) {}

  bool Done() const { return written_ + out_.size() >= min_bytes_; }
  // Called after each whole statement.
  void EndStatement() {
    if (out_.size() >= kPieceBytes) Flush();
  }
  void Flush() {
    if (out_.empty()) return;
    written_ += out_.size();
    sink_(out_);
    out_.clear();
  }

  Writer& operator<<(const char* s) { out_ += s; return *this; }
  Writer& operator<<(const std::string& s) { out_ += s; return *this; }
  Writer& operator<<(char c) { out_ += c; return *this; }
  Writer& operator<<(long n) { out_ += std::to_string(n); return *this; }
  Writer& operator<<(int n) { out_ += std::to_string(n); return *this; }

 private:
  std::uint64_t min_bytes_;
  const std::function<void(const std::string&)>& sink_;
  std::uint64_t written_ = 0;
  std::string out_;
};

std::string Money(Rng& rng) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld.%02ld", rng.Between(0, 99999), rng.Between(0, 99));
  return buf;
}

std::string Date(Rng& rng) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%ld-%02ld-%02ld", rng.Between(2015, 2025), rng.Between(1, 12), rng.Between(1, 28));
  return buf;
}

std::string Table(Rng& rng) {
  std::string t = rng.Pick(kTables);
  if (rng.OneIn(3)) t += "_" + std::to_string(rng.Between(1, 40));
  return t;
}

// A short quoted string: a name, a city, an address or a note. Holds no
// backslash and no dollar sign; may hold `;`, `--`, `/*` and doubled quotes.
std::string Literal(Rng& rng, const char* prefix = "") {
  std::string s = prefix;
  s += '\'';
  switch (rng.Below(5)) {
    case 0: s += std::string(rng.Pick(kFirstNames)) + " " + rng.Pick(kLastNames); break;
    case 1: s += rng.Pick(kCities); break;
    case 2: s += std::to_string(rng.Between(1, 999)) + " " + rng.Pick(kLastNames) + " Street, " + rng.Pick(kCities); break;
    case 3: s += rng.Pick(kWords); break;
    default: s += std::string(rng.Pick(kStatuses)) + ": " + rng.Pick(kRemarks); break;
  }
  s += '\'';
  return s;
}

// Comments that stand before a statement, as people write them.
void LeadingComment(Rng& rng, Writer& w) {
  switch (rng.Below(8)) {
    case 0: w << "-- " << rng.Pick(kRemarks) << "\n"; break;
    case 1:
      w << "/*\n * " << rng.Pick(kRemarks) << "\n * " << rng.Pick(kRemarks) << "\n */\n";
      break;
    case 2: w << "-- ---------------------------------------------------------------\n-- "
              << rng.Pick(kTables) << "\n-- ---------------------------------------------------------------\n";
      break;
    default: break;
  }
}

// ---------------------------------------------------------------- PostgreSQL

void PgCreateTable(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE TABLE IF NOT EXISTS " << t << " (\n    id bigserial PRIMARY KEY";
  const long n = rng.Between(3, 10);
  for (long i = 0; i < n; ++i) {
    w << ",\n    " << rng.Pick(kColumns) << "_" << i << " " << rng.Pick(kPgTypes);
    if (rng.OneIn(3)) w << " NOT NULL";
    if (rng.OneIn(4)) w << " DEFAULT " << Literal(rng);
    if (rng.OneIn(6)) w << " /* " << rng.Pick(kRemarks) << " */";
  }
  if (rng.OneIn(2)) w << ",\n    CONSTRAINT " << t << "_chk CHECK (quantity_1 >= 0 AND unit_price_2 < 100000)";
  w << "\n);\n";
  if (rng.OneIn(2))
    w << "COMMENT ON TABLE " << t << " IS " << Literal(rng) << ";\n";
}

void PgInsert(Rng& rng, Writer& w) {
  w << "INSERT INTO " << Table(rng) << " (id, name, city, quantity, unit_price, created_at, note, active) VALUES";
  const long rows = rng.Between(1, 25);
  for (long r = 0; r < rows; ++r) {
    w << (r ? ",\n    (" : "\n    (") << rng.Between(1, 9999999) << ", " << Literal(rng) << ", "
      << Literal(rng) << ", " << rng.Between(0, 500) << ", " << Money(rng) << ", '" << Date(rng)
      << " 10:" << rng.Between(10, 59) << ":00+00', " << (rng.OneIn(4) ? std::string("NULL") : Literal(rng))
      << ", " << (rng.OneIn(2) ? "TRUE" : "FALSE") << ")";
  }
  if (rng.OneIn(5)) w << "\nON CONFLICT (id) DO NOTHING";
  w << ";";
  if (rng.OneIn(6)) w << " -- " << rng.Pick(kRemarks);
  w << "\n";
}

void PgQuery(Rng& rng, Writer& w) {
  const std::string a = Table(rng), b = Table(rng);
  switch (rng.Below(4)) {
    case 0:
      w << "SELECT a.id, a.name, count(*) AS n, sum(b.total)::numeric(14,2) AS total,\n"
        << "       CASE WHEN sum(b.total) > " << rng.Between(100, 9000) << " THEN 'large' ELSE 'small' END AS size\n"
        << "  FROM " << a << " a\n  JOIN " << b << " b ON b.owner_id = a.id\n"
        << " WHERE a.status IN ('paid', 'shipped') AND a.city <> " << Literal(rng) << "\n"
        << " GROUP BY a.id, a.name\n HAVING count(*) > " << rng.Between(1, 20) << "\n ORDER BY total DESC\n LIMIT "
        << rng.Between(10, 500) << ";\n";
      break;
    case 1:
      w << "UPDATE " << a << "\n   SET quantity = quantity + " << rng.Between(1, 9) << ", note = " << Literal(rng)
        << ", updated_at = now()\n WHERE id BETWEEN " << rng.Between(1, 5000) << " AND " << rng.Between(5001, 90000)
        << ";\n";
      break;
    case 2:
      w << "DELETE FROM " << a << " WHERE created_at < DATE '" << Date(rng) << "' AND status = '"
        << rng.Pick(kStatuses) << "';\n";
      break;
    default:
      w << "CREATE OR REPLACE VIEW " << a << "_summary AS\nSELECT date_trunc('month', created_at) AS month,\n"
        << "       count(*) AS orders, avg(total) AS average\n  FROM " << a << "\n GROUP BY 1;\n";
      break;
  }
}

void PgTriggerFunction(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  // The return type is quoted: a bare TRIGGER word opens a stored-code block
  // for kxsql in every dialect, which would end the statement inside the body.
  w << "CREATE OR REPLACE FUNCTION " << t << "_touch_" << rng.Between(1, 999) << "() RETURNS \"trigger\" AS $$\n"
    << "BEGIN\n"
    << "    -- " << rng.Pick(kRemarks) << "\n"
    << "    NEW.updated_at := now();\n"
    << "    IF NEW.quantity < 0 THEN\n"
    << "        RAISE EXCEPTION 'quantity of % must not be negative; got %', NEW.id, NEW.quantity;\n"
    << "    END IF;\n"
    << "    IF TG_OP = 'UPDATE' AND NEW.status IS DISTINCT FROM OLD.status THEN\n"
    << "        INSERT INTO audit_log (table_name, row_id, old_status, new_status, changed_at)\n"
    << "        VALUES (TG_TABLE_NAME, NEW.id, OLD.status, NEW.status, now());\n"
    << "    END IF;\n"
    << "    RETURN NEW;\n"
    << "END;\n"
    << "$$ LANGUAGE plpgsql;\n";
}

void PgFunction(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE OR REPLACE FUNCTION " << t << "_total(p_id bigint, p_since date DEFAULT '" << Date(rng)
    << "')\nRETURNS numeric AS $$\n"
    << "DECLARE\n"
    << "    v_total numeric := 0;\n"
    << "    r record;\n"
    << "BEGIN\n"
    << "    /* " << rng.Pick(kRemarks) << " */\n"
    << "    FOR r IN SELECT quantity, unit_price FROM " << t << " WHERE owner_id = p_id AND created_at >= p_since LOOP\n"
    << "        v_total := v_total + r.quantity * r.unit_price;\n"
    << "    END LOOP;\n"
    << "    IF v_total > " << rng.Between(1000, 50000) << " THEN\n"
    << "        v_total := v_total * 0.9" << rng.Between(0, 9) << ";\n"
    << "    END IF;\n"
    << "    RETURN round(v_total, 2);\n"
    << "END;\n"
    << "$$ LANGUAGE plpgsql STABLE;\n";
  if (rng.OneIn(2)) w << "GRANT EXECUTE ON FUNCTION " << t << "_total(bigint, date) TO reporting;\n";
}

void PgMisc(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  switch (rng.Below(4)) {
    case 0: w << "CREATE INDEX " << t << "_idx_" << rng.Between(1, 99) << " ON " << t << " (" << rng.Pick(kColumns)
              << ", created_at DESC);\n"; break;
    case 1: w << "ALTER TABLE " << t << " ADD COLUMN " << rng.Pick(kColumns) << "_x " << rng.Pick(kPgTypes) << ";\n"; break;
    case 2: w << "DROP TRIGGER IF EXISTS " << t << "_touch ON " << t << ";\n"; break;
    default: w << "GRANT SELECT, INSERT ON " << t << " TO app_user;\n"; break;
  }
}

void PgStatement(Rng& rng, Writer& w) {
  LeadingComment(rng, w);
  const std::size_t pick = rng.Below(20);
  if (pick < 2) PgCreateTable(rng, w);
  else if (pick < 10) PgInsert(rng, w);
  else if (pick < 14) PgQuery(rng, w);
  else if (pick < 16) PgTriggerFunction(rng, w);
  else if (pick < 18) PgFunction(rng, w);
  else PgMisc(rng, w);
  if (rng.OneIn(4)) w << "\n";
}

// ---------------------------------------------------------------- SQL Server

void MsCreateTable(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE TABLE [dbo].[" << t << "] (\n    [id] INT IDENTITY(1,1) NOT NULL";
  const long n = rng.Between(3, 10);
  for (long i = 0; i < n; ++i) {
    w << ",\n    [" << rng.Pick(kColumns) << "_" << i << "] " << rng.Pick(kMsTypes) << (rng.OneIn(3) ? " NOT NULL" : " NULL");
    if (rng.OneIn(5)) w << " DEFAULT " << Literal(rng, "N");
  }
  w << ",\n    CONSTRAINT [PK_" << t << "] PRIMARY KEY CLUSTERED ([id] ASC)\n)\nGO\n";
}

void MsInsertBatch(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  const long n = rng.Between(3, 30);
  w << "SET IDENTITY_INSERT [dbo].[" << t << "] ON\n";
  for (long i = 0; i < n; ++i)
    w << "INSERT INTO [dbo].[" << t << "] ([id], [name], [city], [quantity], [unit_price], [created_at]) VALUES ("
      << rng.Between(1, 9999999) << ", " << Literal(rng, "N") << ", " << Literal(rng, "N") << ", " << rng.Between(0, 500)
      << ", " << Money(rng) << ", '" << Date(rng) << "');\n";
  w << "SET IDENTITY_INSERT [dbo].[" << t << "] OFF\nGO\n";
}

void MsProcedure(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE PROCEDURE [dbo].[usp_" << t << "_" << rng.Between(1, 999) << "]\n"
    << "    @OwnerID INT,\n    @From DATE = NULL,\n    @Status NVARCHAR(20) = N'" << rng.Pick(kStatuses) << "'\n"
    << "AS\nBEGIN\n"
    << "    SET NOCOUNT ON;\n"
    << "    -- " << rng.Pick(kRemarks) << "\n"
    << "    IF @From IS NULL\n"
    << "    BEGIN\n"
    << "        SET @From = DATEADD(day, -" << rng.Between(7, 365) << ", CAST(GETDATE() AS DATE));\n"
    << "    END\n"
    << "    BEGIN TRY\n"
    << "        UPDATE [dbo].[" << t << "] SET [status] = @Status, [updated_at] = SYSUTCDATETIME()\n"
    << "         WHERE [owner_id] = @OwnerID AND [created_at] >= @From;\n"
    << "        IF @@ROWCOUNT = 0\n"
    << "        BEGIN\n"
    << "            INSERT INTO [dbo].[audit_log] ([message]) VALUES (N'nothing to update; owner ' + CAST(@OwnerID AS NVARCHAR(12)));\n"
    << "        END\n"
    << "    END TRY\n"
    << "    BEGIN CATCH\n"
    << "        /* " << rng.Pick(kRemarks) << " */\n"
    << "        THROW;\n"
    << "    END CATCH\n"
    << "    SELECT [id], [name], [total] FROM [dbo].[" << t << "] WHERE [owner_id] = @OwnerID ORDER BY [id];\n"
    << "END\nGO\n";
}

void MsQuery(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  switch (rng.Below(3)) {
    case 0:
      w << "SELECT TOP (" << rng.Between(10, 100) << ") c.[name], SUM(o.[total]) AS [total]\n  FROM [dbo].[" << t
        << "] AS c\n  INNER JOIN [dbo].[orders] AS o ON o.[owner_id] = c.[id]\n WHERE c.[city] = " << Literal(rng, "N")
        << "\n GROUP BY c.[name]\n ORDER BY [total] DESC;\nGO\n";
      break;
    case 1:
      w << "IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'IX_" << t << "_created')\n"
        << "    CREATE NONCLUSTERED INDEX [IX_" << t << "_created] ON [dbo].[" << t << "] ([created_at]);\nGO\n";
      break;
    default:
      w << "BEGIN TRANSACTION;\nUPDATE [dbo].[" << t << "] SET [quantity] = [quantity] - " << rng.Between(1, 5)
        << " WHERE [id] = " << rng.Between(1, 90000) << ";\nDELETE FROM [dbo].[" << t << "] WHERE [status] = N'"
        << rng.Pick(kStatuses) << "';\nCOMMIT TRANSACTION;\nGO\n";
      break;
  }
}

void MsStatement(Rng& rng, Writer& w) {
  LeadingComment(rng, w);
  const std::size_t pick = rng.Below(10);
  if (pick < 2) MsCreateTable(rng, w);
  else if (pick < 6) MsInsertBatch(rng, w);
  else if (pick < 8) MsProcedure(rng, w);
  else MsQuery(rng, w);
}

// ---------------------------------------------------------------- Oracle

void OraCreateTable(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE TABLE " << t << " (\n    id NUMBER(10) GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
  const long n = rng.Between(3, 10);
  for (long i = 0; i < n; ++i) {
    w << ",\n    " << rng.Pick(kColumns) << "_" << i << " " << rng.Pick(kOraTypes);
    if (rng.OneIn(3)) w << " NOT NULL";
  }
  w << "\n);\n";
  if (rng.OneIn(2)) w << "COMMENT ON TABLE " << t << " IS " << Literal(rng) << ";\n";
}

void OraInserts(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  const long n = rng.Between(2, 20);
  for (long i = 0; i < n; ++i)
    w << "INSERT INTO " << t << " (id, name, city, quantity, unit_price, created_at) VALUES ("
      << rng.Between(1, 9999999) << ", " << Literal(rng) << ", " << Literal(rng) << ", " << rng.Between(0, 500) << ", "
      << Money(rng) << ", DATE '" << Date(rng) << "');\n";
  w << "COMMIT;\n";
}

void OraProcedure(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE OR REPLACE PROCEDURE " << t << "_close_" << rng.Between(1, 999) << " (\n"
    << "    p_owner_id IN NUMBER,\n    p_limit IN NUMBER DEFAULT " << rng.Between(10, 1000) << "\n) AS\n"
    << "    v_total NUMBER := 0;\n    v_count PLS_INTEGER := 0;\n"
    << "BEGIN\n"
    << "    -- " << rng.Pick(kRemarks) << "\n"
    << "    FOR r IN (SELECT id, quantity * unit_price AS amount FROM " << t << " WHERE owner_id = p_owner_id) LOOP\n"
    << "        v_total := v_total + r.amount;\n"
    << "        v_count := v_count + 1;\n"
    << "        IF v_count >= p_limit THEN\n"
    << "            EXIT;\n"
    << "        END IF;\n"
    << "    END LOOP;\n"
    << "    IF v_total > " << rng.Between(100, 90000) << " THEN\n"
    << "        UPDATE " << t << " SET status = 'large', total = v_total WHERE owner_id = p_owner_id;\n"
    << "    ELSIF v_total = 0 THEN\n"
    << "        DELETE FROM " << t << " WHERE owner_id = p_owner_id;\n"
    << "    ELSE\n"
    << "        UPDATE " << t << " SET status = 'small' WHERE owner_id = p_owner_id;\n"
    << "    END IF;\n"
    << "    BEGIN\n"
    << "        INSERT INTO audit_log (message) VALUES ('closed ' || p_owner_id || '; ' || " << Literal(rng) << ");\n"
    << "    EXCEPTION\n"
    << "        WHEN DUP_VAL_ON_INDEX THEN\n"
    << "            NULL;\n"
    << "    END;\n"
    << "    COMMIT;\n"
    << "EXCEPTION\n"
    << "    WHEN NO_DATA_FOUND THEN\n"
    << "        ROLLBACK;\n"
    << "END;\n/\n";
}

void OraTrigger(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  w << "CREATE OR REPLACE TRIGGER " << t << "_biu\n    BEFORE INSERT OR UPDATE ON " << t << "\n    FOR EACH ROW\n"
    << "BEGIN\n"
    << "    IF :NEW.id IS NULL THEN\n"
    << "        :NEW.id := " << t << "_seq.NEXTVAL;\n"
    << "    END IF;\n"
    << "    :NEW.updated_at := SYSTIMESTAMP; /* " << rng.Pick(kRemarks) << " */\n"
    << "END;\n/\n";
}

void OraFunctionAndBlock(Rng& rng, Writer& w) {
  const std::string t = Table(rng);
  if (rng.OneIn(2)) {
    w << "CREATE OR REPLACE FUNCTION " << t << "_count (p_status IN VARCHAR2) RETURN NUMBER IS\n"
      << "    v_n NUMBER;\nBEGIN\n"
      << "    SELECT COUNT(*) INTO v_n FROM " << t << " WHERE status = p_status;\n"
      << "    RETURN v_n;\nEND;\n/\n";
  } else {
    w << "BEGIN\n"
      << "    DBMS_OUTPUT.PUT_LINE('refreshing " << t << "; ' || TO_CHAR(SYSDATE, 'YYYY-MM-DD'));\n"
      << "    DELETE FROM " << t << "_stage;\n"
      << "    INSERT INTO " << t << "_stage SELECT * FROM " << t << " WHERE created_at > SYSDATE - " << rng.Between(1, 90)
      << ";\n    COMMIT;\nEND;\n/\n";
  }
}

void OraStatement(Rng& rng, Writer& w) {
  LeadingComment(rng, w);
  const std::size_t pick = rng.Below(10);
  if (pick < 2) OraCreateTable(rng, w);
  else if (pick < 5) OraInserts(rng, w);
  else if (pick < 7) OraProcedure(rng, w);
  else if (pick < 8) OraTrigger(rng, w);
  else OraFunctionAndBlock(rng, w);
}

// ---------------------------------------------------------------- nested

void NestedBlock(Rng& rng, Writer& w) {
  w << "-- " << kNestDepth << " nested blocks\n";
  for (int i = 0; i < kNestDepth; ++i) {
    w << "BEGIN\n";
    if (i % 100 == 0) w << "SET @depth = " << i << ";\n";
  }
  w << "SELECT " << Literal(rng) << ";\n";
  for (int i = 0; i < kNestDepth; ++i) w << "END\n";
  w << "GO\n";
}

}  // namespace

bool ParseFlavour(const std::string& name, Flavour& flavour) {
  for (Flavour f : {Flavour::kPostgres, Flavour::kSqlServer, Flavour::kOracle, Flavour::kNested})
    if (name == FlavourName(f)) {
      flavour = f;
      return true;
    }
  return false;
}

const char* FlavourName(Flavour flavour) {
  switch (flavour) {
    case Flavour::kPostgres: return "postgres";
    case Flavour::kSqlServer: return "sqlserver";
    case Flavour::kOracle: return "oracle";
    case Flavour::kNested: return "nested";
  }
  return "?";
}

void GenerateCorpus(Flavour flavour, std::uint64_t min_bytes, std::uint64_t seed,
                    const std::function<void(const std::string&)>& sink) {
  Rng rng(seed);
  Writer w(min_bytes, sink);
  switch (flavour) {
    case Flavour::kPostgres:
      w << "-- Generated PostgreSQL script\nSET client_encoding = 'UTF8';\n";
      break;
    case Flavour::kSqlServer:
      w << "-- Generated SQL Server script\nSET ANSI_NULLS ON\nGO\nSET QUOTED_IDENTIFIER ON\nGO\n";
      break;
    case Flavour::kOracle:
      w << "-- Generated Oracle script\nALTER SESSION SET NLS_DATE_FORMAT = 'YYYY-MM-DD';\n";
      break;
    case Flavour::kNested:
      break;
  }
  while (!w.Done()) {
    switch (flavour) {
      case Flavour::kPostgres: PgStatement(rng, w); break;
      case Flavour::kSqlServer: MsStatement(rng, w); break;
      case Flavour::kOracle: OraStatement(rng, w); break;
      case Flavour::kNested: NestedBlock(rng, w); break;
    }
    w.EndStatement();
  }
  w.Flush();
}

std::string GenerateCorpus(Flavour flavour, std::uint64_t min_bytes, std::uint64_t seed) {
  std::string all;
  all.reserve(static_cast<std::size_t>(min_bytes) + kPieceBytes);
  GenerateCorpus(flavour, min_bytes, seed, [&all](const std::string& piece) { all += piece; });
  return all;
}

}  // namespace kxsql::bench

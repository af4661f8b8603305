#include "runner/copy_loader.h"

#include <cctype>

#include "kxsql/text_source.h"

namespace kxsql::detail {
namespace {

struct Word {
  std::string text;
  bool quoted = false;  // a string literal
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The significant tokens of `sql` as PostgreSQL reads them.
std::vector<Word> Words(const std::string& sql) {
  std::vector<Word> words;
  CKXSQLTextT<char> source(sql.c_str());
  if (!source.IsSet()) return words;
  source.SetSplitRules(KXSQL_RULES_NATIVE, DBMSTYPE::POSTGRES);
  SQLToken<char> token;
  while (source.GetToken(token, 0) == 0) {
    if (!token.IsCompare()) continue;
    Word word;
    word.text.assign(token.GetText(), token.GetLength());
    word.quoted = token.Is(SQLTOKEN_TYPE::SQ_STRING);
    words.push_back(word);
  }
  return words;
}

// The value of a string literal: 'it''s', or E'\t' with backslash escapes.
std::string LiteralValue(const std::string& literal) {
  const bool escapes = !literal.empty() && (literal[0] == 'E' || literal[0] == 'e');
  const std::size_t open = literal.find('\'');
  std::string value;
  if (open == std::string::npos) return literal;
  for (std::size_t i = open + 1; i + 1 < literal.size(); ++i) {
    const char c = literal[i];
    if (c == '\'' && literal[i + 1] == '\'') {
      value += '\'';
      ++i;
    } else if (escapes && c == '\\' && i + 2 < literal.size()) {
      const char e = literal[++i];
      value += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 'b' ? '\b' : e == 'f' ? '\f' : e;
    } else {
      value += c;
    }
  }
  return value;
}

bool IsCopyWith(const std::string& sql, const char* direction, const char* end) {
  const std::vector<Word> words = Words(sql);
  if (words.empty() || Lower(words[0].text) != "copy") return false;
  int depth = 0;
  for (std::size_t i = 1; i + 1 < words.size(); ++i) {
    if (words[i].text == "(") ++depth;
    if (words[i].text == ")") --depth;
    if (depth == 0 && Lower(words[i].text) == direction) return Lower(words[i + 1].text) == end;
  }
  return false;
}

// A value as a literal. PostgreSQL reads an E'' literal the same way
// whatever its standard_conforming_strings setting; other databases take
// the standard form, where only the quote is doubled.
void AppendLiteral(std::string& out, const std::string& value, bool postgres) {
  out += postgres ? "E'" : "'";
  for (char c : value) {
    if (c == '\'' || (postgres && c == '\\')) out += c;
    out += c;
  }
  out += '\'';
}

bool IsAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A column's name as the catalog holds it: a quoted name as written, any
// other folded to lower case.
std::string NameOf(const std::string& word) {
  if (word.size() < 2 || word.front() != '"' || word.back() != '"') return Lower(word);
  std::string name;
  for (std::size_t i = 1; i + 1 < word.size(); ++i) {
    name += word[i];
    if (word[i] == '"') ++i;  // "" stands for one quote
  }
  return name;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A field of the text format after its backslash escapes.
std::string Unescaped(const std::string& raw) {
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 >= raw.size()) {
      value += raw[i];
      continue;
    }
    const char e = raw[++i];
    switch (e) {
      case 'b': value += '\b'; break;
      case 'f': value += '\f'; break;
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      case 'v': value += '\v'; break;
      case 'x': {
        int code = 0, digits = 0;
        while (digits < 2 && i + 1 < raw.size() && HexValue(raw[i + 1]) >= 0) code = code * 16 + HexValue(raw[++i]), ++digits;
        if (digits == 0) value += 'x';
        else value += static_cast<char>(code);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          int code = e - '0', digits = 1;
          while (digits < 3 && i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '7')
            code = code * 8 + (raw[++i] - '0'), ++digits;
          value += static_cast<char>(code);
        } else {
          value += e;  // the delimiter, a backslash, any other character
        }
    }
  }
  return value;
}

}  // namespace

bool CopyLoader::IsCopyFromStdin(const std::string& sql) { return IsCopyWith(sql, "from", "stdin"); }
bool CopyLoader::IsCopyToStdout(const std::string& sql) { return IsCopyWith(sql, "to", "stdout"); }

bool CopyLoader::Parse(const std::string& sql, std::string& error) {
  const std::vector<Word> words = Words(sql);
  std::size_t i = 1;
  target_.clear();
  // The table (maybe qualified, maybe quoted) and its column list.
  table_.clear();
  columns_.clear();
  column_types_.clear();
  by_columns_ = false;
  // The column list, when it is plain names: `(a, "B", c)`.
  bool plain_columns = true;
  bool list_seen = false;
  int depth = 0;
  for (; i < words.size(); ++i) {
    if (depth == 0 && Lower(words[i].text) == "from") break;
    if (words[i].text == "(") {
      if (depth == 0 && list_seen) plain_columns = false;
      list_seen = true;
      ++depth;
    } else if (words[i].text == ")") {
      --depth;
    } else if (depth == 0) {
      if (list_seen) plain_columns = false;
      table_ += words[i].text;
    } else if (depth == 1 && words[i].text != ",") {
      const bool after_comma = columns_.empty() ? words[i - 1].text == "(" : words[i - 1].text == ",";
      if (!after_comma) plain_columns = false;
      columns_.push_back(NameOf(words[i].text));
    } else if (depth > 1) {
      plain_columns = false;
    }
    // The words again, with a blank only where two names would run together.
    const std::string& word = words[i].text;
    const bool glue = target_.empty() || word == "." || word == ")" || word == "," || target_.back() == '.' ||
                      target_.back() == '(';
    if (!glue) target_ += ' ';
    target_ += word;
  }
  // Without a column list the table's own columns would have to be told
  // from generated ones: the VALUES lists serve there.
  if (!plain_columns || columns_.empty()) columns_.clear();
  if (i + 1 >= words.size() || Lower(words[i + 1].text) != "stdin") {
    error = "not a COPY ... FROM STDIN";
    return false;
  }
  i += 2;
  // The options: `[WITH] (name value, ...)` or the older `[WITH] name [AS] value ...`.
  if (i < words.size() && Lower(words[i].text) == "with") ++i;
  const bool parenthesised = i < words.size() && words[i].text == "(";
  if (parenthesised) ++i;
  bool escape_given = false;
  while (i < words.size()) {
    const std::string name = Lower(words[i].text);
    if (name == ")" || name == ",") {
      ++i;
      continue;
    }
    std::string value;
    bool has_value = false;
    if (i + 1 < words.size() && words[i + 1].text != "," && words[i + 1].text != ")") {
      std::size_t v = i + 1;
      if (!parenthesised && Lower(words[v].text) == "as") ++v;
      const bool takes_value = name == "format" || name == "delimiter" || name == "null" || name == "quote" ||
                               name == "escape" || name == "encoding" || name == "header" || name == "freeze";
      if (takes_value && v < words.size() && (parenthesised || words[v].quoted)) {
        value = words[v].quoted ? LiteralValue(words[v].text) : Lower(words[v].text);
        has_value = true;
        i = v;
      }
    }
    ++i;
    if (name == "format" || name == "csv" || name == "binary" || name == "text") {
      const std::string format = name == "format" ? value : name;
      if (format == "binary") {
        error = "COPY's binary format cannot be loaded from a script";
        return false;
      }
      csv_ = format == "csv";
      if (csv_ && !escape_given) escape_ = quote_;
      if (csv_ && null_ == "\\N") null_.clear();
      if (csv_ && delimiter_ == '\t') delimiter_ = ',';
    } else if (name == "delimiter" && has_value && value.size() == 1) {
      delimiter_ = value[0];
    } else if (name == "null" && has_value) {
      null_ = value;
    } else if (name == "header") {
      header_ = !has_value || (value != "false" && value != "off" && value != "0");
    } else if (name == "quote" && has_value && value.size() == 1) {
      quote_ = value[0];
      if (!escape_given) escape_ = quote_;
    } else if (name == "escape" && has_value && value.size() == 1) {
      escape_ = value[0];
      escape_given = true;
    } else if (name == "encoding" || name == "freeze" || name == "oids") {
      // The script is read as Unicode, and the load is not a bulk load.
    } else if (name == "where" || name.rfind("force", 0) == 0 || name == "default") {
      error = "COPY option " + words[i - 1].text + " cannot be loaded from a script";
      return false;
    } else {
      error = "unknown COPY option " + words[i - 1].text;
      return false;
    }
  }
  return true;
}

std::string CopyLoader::ColumnQuery() const {
  if (!postgres_ || columns_.empty() || table_.empty()) return std::string();
  // to_regclass answers NULL for a table it does not know instead of
  // failing, so that the query cannot break a transaction that is open.
  // A type by its catalog name, quoted, which has no length: `character`
  // or `bit` as SQL writes them would mean one character or one bit. The
  // column's own length then applies when the row is stored, as COPY applies it.
  std::string sql =
      "SELECT a.attname, pg_catalog.quote_ident(n.nspname) || '.' || pg_catalog.quote_ident(t.typname), "
      "t.typcategory "
      "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
      "JOIN pg_catalog.pg_namespace n ON n.oid = t.typnamespace "
      "WHERE a.attrelid = pg_catalog.to_regclass(";
  AppendLiteral(sql, table_, true);
  sql += ") AND a.attnum > 0 AND NOT a.attisdropped";
  return sql;
}

void CopyLoader::UseColumns(const std::vector<std::vector<std::string>>& rows) {
  column_types_.clear();
  if (!postgres_ || columns_.empty()) return;
  for (const std::string& column : columns_) {
    const std::vector<std::string>* found = nullptr;
    for (const std::vector<std::string>& row : rows)
      if (row.size() == 3 && row[0] == column) found = &row;
    // An array's values would be flattened into the outer array; a name or
    // type beyond ASCII may not have come through the driver unchanged.
    if (found == nullptr || (*found)[2] == "A" || !IsAscii((*found)[0]) || !IsAscii((*found)[1])) {
      column_types_.clear();
      return;
    }
    column_types_.push_back((*found)[1]);
  }
  by_columns_ = true;
  arrays_.assign(columns_.size(), std::string());
}

bool CopyLoader::AddRecord(const std::vector<std::string>& fields, const std::vector<bool>& nulls,
                           std::vector<CopyInsert>& inserts, std::string& error) {
  if (header_) {
    header_ = false;
    return true;
  }
  if (by_columns_) return AddToColumns(fields, nulls, inserts, error);
  values_ += rows_ == 0 ? "(" : ",\n(";
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (f > 0) values_ += ", ";
    if (nulls[f]) values_ += "NULL";
    else AppendLiteral(values_, fields[f], postgres_);
  }
  values_ += ')';
  if (++rows_ >= kRowsPerInsert || values_.size() >= kInsertChars) Flush(inserts);
  return true;
}

bool CopyLoader::AddToColumns(const std::vector<std::string>& fields, const std::vector<bool>& nulls,
                              std::vector<CopyInsert>& inserts, std::string& error) {
  // What COPY says of a row that does not fit the column list.
  if (fields.size() < columns_.size()) {
    error = "missing data for column \"" + columns_[fields.size()] + "\"";
    return false;
  }
  if (fields.size() > columns_.size()) {
    error = "extra data after last expected column";
    return false;
  }
  std::size_t size = 0;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    std::string& array = arrays_[f];
    array += rows_ == 0 ? "{" : ",";
    if (nulls[f]) {
      array += "NULL";
    } else {
      // A quoted element: any character stands for itself but a quote or a
      // backslash, which a backslash escapes.
      array += '"';
      for (char c : fields[f]) {
        if (c == '\\' || c == '"') array += '\\';
        array += c;
      }
      array += '"';
    }
    size += array.size();
  }
  if (++rows_ >= kRowsPerInsert || size >= kInsertChars) Flush(inserts);
  return true;
}

void CopyLoader::Flush(std::vector<CopyInsert>& inserts) {
  if (rows_ == 0) return;
  if (by_columns_) {
    // One array per column, unnested into rows: the server reads each value
    // with its type's input function, as COPY does, and the column's own
    // length or precision applies as the row is stored.
    CopyInsert insert;
    insert.sql = "INSERT INTO " + target_ + " SELECT * FROM ROWS FROM (";
    for (std::size_t f = 0; f < arrays_.size(); ++f) {
      if (f > 0) insert.sql += ", ";
      insert.sql += "pg_catalog.unnest(?::" + column_types_[f] + "[])";
      arrays_[f] += '}';
      insert.texts.push_back(std::move(arrays_[f]));
      arrays_[f].clear();
    }
    insert.sql += ')';
    inserts.push_back(std::move(insert));
  } else {
    inserts.push_back({"INSERT INTO " + target_ + " VALUES " + values_, {}});
    values_.clear();
  }
  rows_ = 0;
}

bool CopyLoader::TextRecord(const std::string& line, std::vector<CopyInsert>& inserts, std::string& error) {
  std::vector<std::string> fields;
  std::vector<bool> nulls;
  // The null string is matched against a field before its escapes are undone.
  std::size_t start = 0;
  for (std::size_t i = 0;; ++i) {
    if (i < line.size() && line[i] == '\\') {
      ++i;
      continue;
    }
    if (i >= line.size() || line[i] == delimiter_) {
      const std::string raw = line.substr(start, std::min(i, line.size()) - start);
      nulls.push_back(raw == null_);
      fields.push_back(nulls.back() ? std::string() : Unescaped(raw));
      start = i + 1;
      if (i >= line.size()) break;
    }
  }
  return AddRecord(fields, nulls, inserts, error);
}

bool CopyLoader::AddRows(const std::string& rows, bool last, std::vector<CopyInsert>& inserts, std::string& error) {
  std::string data = carry_ + rows;
  carry_.clear();
  std::size_t at = 0;
  if (!csv_) {
    while (at < data.size()) {
      std::size_t end = data.find('\n', at);
      if (end == std::string::npos) {
        if (!last) {
          carry_ = data.substr(at);
          break;
        }
        end = data.size();
      }
      std::size_t line_end = end;
      if (line_end > at && data[line_end - 1] == '\r') --line_end;
      if (!TextRecord(data.substr(at, line_end - at), inserts, error)) return false;
      at = end + 1;
    }
  } else {
    // A quoted field may run over several lines.
    while (at < data.size()) {
      std::vector<std::string> fields(1);
      std::vector<bool> nulls;
      bool quoted = false, in_quotes = false, complete = false;
      std::size_t i = at;
      for (; i < data.size(); ++i) {
        const char c = data[i];
        if (in_quotes) {
          // The escape character before a quote (or before itself) makes it a character.
          if (c == escape_ && i + 1 < data.size() && (data[i + 1] == quote_ || data[i + 1] == escape_)) {
            fields.back() += data[i + 1];
            ++i;
          } else if (c == quote_) {
            in_quotes = false;
          } else {
            fields.back() += c;
          }
          continue;
        }
        if (c == quote_) {
          in_quotes = quoted = true;
        } else if (c == delimiter_) {
          nulls.push_back(!quoted && fields.back() == null_);
          fields.emplace_back();
          quoted = false;
        } else if (c == '\n' || c == '\r') {
          complete = true;
          break;
        } else {
          fields.back() += c;
        }
      }
      if (!complete && !last) {
        carry_ = data.substr(at);
        break;
      }
      if (in_quotes) {
        error = "unterminated CSV quoted field";
        return false;
      }
      nulls.push_back(!quoted && fields.back() == null_);
      for (std::size_t f = 0; f < fields.size(); ++f)
        if (nulls[f]) fields[f].clear();
      if (!AddRecord(fields, nulls, inserts, error)) return false;
      at = i + 1;
      if (i < data.size() && data[i] == '\r' && at < data.size() && data[at] == '\n') ++at;
    }
  }
  // Each piece's rows go in at once; only an unfinished record waits.
  Flush(inserts);
  if (last && !carry_.empty()) {
    error = "the COPY data ends inside a record";
    return false;
  }
  return true;
}

}  // namespace kxsql::detail

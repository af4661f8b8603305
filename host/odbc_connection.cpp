// Databases reached through an ODBC driver (unixODBC): connecting, telling
// the dialect from the driver's DBMS name, and executing script text.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "connection_string.h"
#include "copy_statement.h"
#include "kxcom/message.h"
#include "kxcom/transaction.h"
#include "transaction_impl.h"

namespace {

constexpr char kConnectCaption[] = "Connect to Database";
constexpr char kConnectSource[] = "Connect";

// The DBMS names that drivers report (SQL_DBMS_NAME), by their lower-case
// beginning. PostgreSQL's driver says "PostgreSQL", IBM's "DB2/LINUXX8664" or
// "DB2/NT64", Microsoft's Access driver "ACCESS".
struct NamePrefix {
  const char* prefix;
  const DBMSTYPE* type;
};
const NamePrefix kNamePrefixes[] = {
    {"postgresql", &DBMSTYPE::POSTGRES},  {"oracle", &DBMSTYPE::ORACLE},
    {"microsoft sql server", &DBMSTYPE::SQLSERVER}, {"db2", &DBMSTYPE::DB2},
    {"informix", &DBMSTYPE::INFORMIX},    {"ids/", &DBMSTYPE::INFORMIX},
    {"mysql", &DBMSTYPE::MYSQL},          {"mariadb", &DBMSTYPE::MYSQL},
    {"access", &DBMSTYPE::ACCESS},        {"sqlite", &DBMSTYPE::SQLITE},
};

const DBMSTYPE& TypeFromDBMSName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const NamePrefix& entry : kNamePrefixes)
    if (lower.compare(0, std::strlen(entry.prefix), entry.prefix) == 0) return *entry.type;
  // Informix servers also name themselves "IBM Informix Dynamic Server".
  if (lower.find("informix") != std::string::npos) return DBMSTYPE::INFORMIX;
  return DBMSTYPE::GENERIC;
}

// Drivers break long messages over lines ("...refused\n\tIs the server
// running..."); a log line is one line, so each break and the blanks around
// it become one space.
std::string OneLine(const char* text) {
  std::string line;
  bool pending_space = false;
  for (const char* p = text; *p != 0; ++p) {
    const char c = *p;
    if (c == '\n' || c == '\r') {
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
      pending_space = true;
      continue;
    }
    if (pending_space && (c == ' ' || c == '\t')) continue;
    if (pending_space && !line.empty()) line += ' ';
    pending_space = false;
    line += c;
  }
  return line;
}

struct Diagnostic {
  std::string state;  // the SQLSTATE
  std::string text;   // "SQLSTATE: message", on one line
};

// Every diagnostic record of a handle. psqlODBC cuts a message longer than
// the buffer of the first request into records of that size, each with the
// same SQLSTATE and native code: the buffer is as large as the call allows,
// and a record that fills it whole is joined with the one that follows it.
std::vector<Diagnostic> Diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  constexpr SQLSMALLINT kBufferSize = 32767;  // the largest SQLSMALLINT
  std::vector<Diagnostic> records;
  std::vector<SQLCHAR> text(kBufferSize);
  std::string message, previous_state;
  SQLINTEGER previous_native = 0;
  bool continues = false;
  // The driver manager numbers records from 1; it keeps a bounded number.
  for (SQLSMALLINT i = 1; i <= 100; ++i) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    text[0] = 0;
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, i, state, &native, text.data(), kBufferSize, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    const std::string piece(reinterpret_cast<const char*>(text.data()));
    const std::string this_state(reinterpret_cast<const char*>(state));
    const bool same_origin = this_state == previous_state && native == previous_native;
    if (continues && same_origin) {
      message += piece;
    } else if (piece.empty() && same_origin) {
      // psqlODBC keeps 4095 characters of a message; the rest comes as an
      // empty record.
    } else {
      if (!message.empty() || !previous_state.empty())
        records.push_back({previous_state, previous_state + ": " + OneLine(message.c_str())});
      message = piece;
      previous_state = this_state;
      previous_native = native;
    }
    continues = piece.size() + 1 >= static_cast<std::size_t>(kBufferSize);
  }
  if (!message.empty() || !previous_state.empty())
    records.push_back({previous_state, previous_state + ": " + OneLine(message.c_str())});
  return records;
}

// The SQLSTATEs after which the connection cannot run anything more: class
// 08 (the connection failed or was lost), a server shutting down or not
// accepting connections (57P01-57P03), a full disk (53100), an I/O error
// (58030).
bool LeavesConnectionUnusable(const std::string& state) {
  return state.compare(0, 2, "08") == 0 || state == "57P01" || state == "57P02" || state == "57P03" ||
         state == "53100" || state == "58030";
}

std::string Joined(const std::vector<Diagnostic>& records) {
  std::string text;
  for (const Diagnostic& record : records) {
    if (!text.empty()) text += "; ";
    text += record.text;
  }
  return text;
}

// Puts a failure's reasons in the log (a failure without any gets the code),
// and remembers the first that leaves the connection unusable.
void LogFailure(CKXTr::Impl& tr, SQLSMALLINT handle_type, SQLHANDLE handle, const char* call, SQLRETURN rc) {
  const std::vector<Diagnostic> records = Diagnostics(handle_type, handle);
  CKXMsg* sink = CKXMsg::GetInstance();
  for (const Diagnostic& record : records) {
    sink->LogError(record.text.c_str());
    if (LeavesConnectionUnusable(record.state) && tr.unusable_reason.empty()) tr.unusable_reason = record.text;
  }
  if (records.empty()) {
    const std::string line = std::string("ODBC: ") + call + " failed with code " + std::to_string(rc);
    sink->LogError(line.c_str());
  }
}

constexpr char kClientCopyRefused[] =
    "COPY ... FROM STDIN and COPY ... TO STDOUT cannot run over ODBC: the driver cannot send or receive their "
    "rows (COPY data needs the native rules: kxsql run --rules native)";

bool IsSuccess(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }

constexpr char kTransactionCaption[] = "ODBC Transaction";

// Records why a call on `handle` failed as the last message.
void ReportFailure(SQLSMALLINT handle_type, SQLHANDLE handle, const char* caption, const char* source,
                   SQLRETURN rc) {
  std::string text = Joined(Diagnostics(handle_type, handle));
  if (text.empty()) text = std::string("the ODBC driver failed with code ") + std::to_string(rc);
  CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, text.c_str(), caption, 0, source, 0);
}

void ReportTransactionFailure(CKXTr::Impl& tr, const char* source, SQLRETURN rc) {
  ReportFailure(SQL_HANDLE_DBC, tr.dbc, kTransactionCaption, source, rc);
}

}  // namespace

bool CKXTr::Connect(const char* odbc_connection_string) {
  Impl& tr = *impl_;
  try {
    tr.Release();
    if (odbc_connection_string == nullptr || *odbc_connection_string == 0) {
      kxcom::detail::ReportConnectFailure("No ODBC connection string", kConnectCaption, kConnectSource);
      return false;
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &tr.env))) {
      tr.env = SQL_NULL_HENV;
      kxcom::detail::ReportConnectFailure("Cannot allocate an ODBC environment", kConnectCaption,
                                          kConnectSource);
      return false;
    }
    SQLSetEnvAttr(tr.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, tr.env, &dbc))) {
      const std::string text = Joined(Diagnostics(SQL_HANDLE_ENV, tr.env));
      tr.Release();
      kxcom::detail::ReportConnectFailure(text.empty() ? "Cannot allocate an ODBC connection" : text.c_str(),
                                          kConnectCaption, kConnectSource);
      return false;
    }
    std::string connection_string(odbc_connection_string);
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connection_string.data()),
                                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      std::string text = Joined(Diagnostics(SQL_HANDLE_DBC, dbc));
      if (text.empty()) text = "The ODBC driver refused the connection (code " + std::to_string(rc) + ")";
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
      tr.Release();
      kxcom::detail::ReportConnectFailure(text.c_str(), kConnectCaption, kConnectSource);
      return false;
    }
    tr.dbc = dbc;
    SQLCHAR name[256] = {0};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length)))
      tr.dbms_name = reinterpret_cast<const char*>(name);
    tr.type = &TypeFromDBMSName(tr.dbms_name);
    tr.connection_string = odbc_connection_string;
    // The mysql client sends a text of several statements as one query;
    // MySQL's and MariaDB's drivers run that only with their
    // multi-statement option (bit 26 of OPTION).
    constexpr unsigned long long kMultiStatements = 67108864;
    std::string option;
    const bool has_option = kxcom::detail::FindConnectionKey(tr.connection_string, "OPTION", &option);
    const unsigned long long flags = has_option ? std::strtoull(option.c_str(), nullptr, 10) : 0;
    if (tr.type == &DBMSTYPE::MYSQL && (flags & kMultiStatements) == 0) {
      const std::string with_option =
          kxcom::detail::WithConnectionKey(tr.connection_string, "OPTION", std::to_string(flags | kMultiStatements));
      return Connect(with_option.c_str());
    }
    return true;
  } catch (const std::bad_alloc&) {
    tr.Release();
    kxcom::detail::ReportConnectFailure("Out of memory", kConnectCaption, kConnectSource);
    return false;
  }
}

bool CKXTr::ConnectDatabase(const char* database) {
  if (impl_->db != nullptr || impl_->connection_string.empty()) {
    kxcom::detail::ReportConnectFailure("only an ODBC connection can move to another database", kConnectCaption,
                                        kConnectSource);
    return false;
  }
  try {
    const DBMSTYPE& type = *impl_->type;
    const std::string key =
        kxcom::detail::FindConnectionKey(impl_->connection_string, "DB", nullptr) ? "DB" : "DATABASE";
    const std::string moved =
        kxcom::detail::WithConnectionKey(impl_->connection_string, key, database != nullptr ? database : "");
    const bool ok = Connect(moved.c_str());
    impl_->type = &type;
    return ok;
  } catch (const std::bad_alloc&) {
    kxcom::detail::ReportConnectFailure("Out of memory", kConnectCaption, kConnectSource);
    return false;
  }
}

namespace kxcom::detail {

void ReleaseODBC(CKXTr::Impl& tr) noexcept {
  while (!tr.stmts.empty()) tr.stmts.back()->Free();
  if (tr.dbc != SQL_NULL_HDBC) {
    SQLDisconnect(tr.dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, tr.dbc);
    tr.dbc = SQL_NULL_HDBC;
  }
  if (tr.env != SQL_NULL_HENV) {
    SQLFreeHandle(SQL_HANDLE_ENV, tr.env);
    tr.env = SQL_NULL_HENV;
  }
}

bool BeginOnODBC(CKXTr::Impl& tr) {
  if (tr.dbc == SQL_NULL_HDBC) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "not connected", kTransactionCaption, 0, "BeginTransaction", 0);
    return false;
  }
  const SQLRETURN rc = SQLSetConnectAttr(tr.dbc, SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
  if (SQL_SUCCEEDED(rc)) return true;
  ReportTransactionFailure(tr, "BeginTransaction", rc);
  return false;
}

bool EndOnODBC(CKXTr::Impl& tr, bool commit) {
  const char* const source = commit ? "CommitTransaction" : "RollbackTransaction";
  if (tr.dbc == SQL_NULL_HDBC) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "not connected", kTransactionCaption, 0, source, 0);
    return false;
  }
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, tr.dbc, commit ? SQL_COMMIT : SQL_ROLLBACK);
  if (!SQL_SUCCEEDED(rc)) ReportTransactionFailure(tr, source, rc);
  // Each statement commits on its own again, whatever the end was.
  SQLSetConnectAttr(tr.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
  return SQL_SUCCEEDED(rc);
}

bool QueryOnODBC(CKXTr::Impl& tr, const char* sql, std::vector<std::vector<std::string>>& rows) {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, tr.dbc, &handle))) {
    ReportFailure(SQL_HANDLE_DBC, tr.dbc, "ODBC", "QueryRows", SQL_ERROR);
    return false;
  }
  struct FreeHandle {
    SQLHSTMT handle;
    ~FreeHandle() { SQLFreeHandle(SQL_HANDLE_STMT, handle); }
  } free_handle{handle};
  const auto fail = [handle](SQLRETURN rc) {
    ReportFailure(SQL_HANDLE_STMT, handle, "ODBC", "QueryRows", rc);
    return false;
  };
  SQLRETURN rc = SQLExecDirect(handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
  if (!IsSuccess(rc)) return fail(rc);
  SQLSMALLINT columns = 0;
  if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(SQLNumResultCols(handle, &columns))) return rc == SQL_NO_DATA || fail(rc);
  while (SQL_SUCCEEDED(rc = SQLFetch(handle))) {
    std::vector<std::string>& row = rows.emplace_back();
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      // A long value comes in pieces, each but the last filling the buffer.
      std::string value;
      char piece[1024];
      SQLLEN length = 0;
      while (SQL_SUCCEEDED(rc = SQLGetData(handle, c, SQL_C_CHAR, piece, sizeof piece, &length))) {
        if (length == SQL_NULL_DATA) break;
        const bool whole = rc == SQL_SUCCESS;
        value.append(piece, whole ? static_cast<std::size_t>(length) : sizeof piece - 1);
        if (whole) break;
      }
      if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) return fail(rc);
      row.push_back(std::move(value));
    }
  }
  return rc == SQL_NO_DATA || fail(rc);
}

short ExecuteOnODBC(CKXTr::Impl& tr, CKXSQLStmt::Impl& stmt, const char* sql,
                    const std::vector<std::string>* texts) noexcept {
  try {
    if (IsClientCopy(sql)) {
      CKXMsg::GetInstance()->LogError(kClientCopyRefused);
      return SQL_ERROR;
    }
    if (stmt.owner != &tr || stmt.handle == SQL_NULL_HSTMT) {
      stmt.Free();
      // Registered before the handle exists, so that Disconnect always finds it.
      tr.stmts.push_back(&stmt);
      stmt.owner = &tr;
      const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, tr.dbc, &stmt.handle);
      if (!SQL_SUCCEEDED(rc)) {
        stmt.handle = SQL_NULL_HSTMT;
        LogFailure(tr, SQL_HANDLE_DBC, tr.dbc, "SQLAllocHandle", rc);
        stmt.Free();
        return SQL_ERROR;
      }
    }
    if (!BeginExecution(tr, stmt.handle)) {
      CKXMsg::GetInstance()->LogError(kCancelledBeforeStart);
      return SQL_ERROR;
    }
    // The driver only reads the texts; the API just lacks the const.
    std::vector<SQLLEN> lengths(texts != nullptr ? texts->size() : 0);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const std::string& value = (*texts)[i];
      lengths[i] = static_cast<SQLLEN>(value.size());
      const SQLRETURN bound = SQLBindParameter(
          stmt.handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
          value.size() > 0 ? value.size() : 1, 0, const_cast<char*>(value.data()), lengths[i], &lengths[i]);
      if (!SQL_SUCCEEDED(bound)) {
        LogFailure(tr, SQL_HANDLE_STMT, stmt.handle, "SQLBindParameter", bound);
        SQLFreeStmt(stmt.handle, SQL_RESET_PARAMS);
        EndExecution(tr);
        return SQL_ERROR;
      }
    }
    SQLCHAR* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql));
    SQLRETURN rc = SQLExecDirect(stmt.handle, text, SQL_NTS);
    if (!IsSuccess(rc)) {
      LogFailure(tr, SQL_HANDLE_STMT, stmt.handle, "SQLExecDirect", rc);
      if (rc == SQL_NEED_DATA || rc == SQL_STILL_EXECUTING) SQLCancel(stmt.handle);
    } else if (rc != SQL_NO_DATA) {
      // A batch answers with one result per statement; every one is read
      // past, and a later statement's failure fails the whole text.
      for (;;) {
        const SQLRETURN more = SQLMoreResults(stmt.handle);
        if (more == SQL_SUCCESS || more == SQL_SUCCESS_WITH_INFO) continue;
        if (more != SQL_NO_DATA) {
          LogFailure(tr, SQL_HANDLE_STMT, stmt.handle, "SQLMoreResults", more);
          rc = SQL_ERROR;
        }
        break;
      }
    }
    EndExecution(tr);
    // Leaves the handle ready for the next statement, whether or not a cursor is open.
    SQLFreeStmt(stmt.handle, SQL_CLOSE);
    if (!lengths.empty()) SQLFreeStmt(stmt.handle, SQL_RESET_PARAMS);
    return rc;
  } catch (...) {
    EndExecution(tr);
    return SQL_ERROR;
  }
}

}  // namespace kxcom::detail

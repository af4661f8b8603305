// Databases reached through an ODBC driver (unixODBC): connecting, telling
// the dialect from the driver's DBMS name, and executing script text.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "connection_string.h"
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

// Every diagnostic record of a handle, each as "SQLSTATE: message".
std::vector<std::string> Diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<std::string> records;
  // The driver manager numbers records from 1; it keeps a bounded number.
  for (SQLSMALLINT i = 1; i <= 100; ++i) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {0};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> text(512);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, i, state, &native, text.data(),
                                 static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      // Too long for the buffer: ask again with room for all of it.
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRec(handle_type, handle, i, state, &native, text.data(),
                         static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::string message = OneLine(reinterpret_cast<const char*>(text.data()));
    records.push_back(std::string(reinterpret_cast<const char*>(state)) + ": " + message);
  }
  return records;
}

std::string Joined(const std::vector<std::string>& records) {
  std::string text;
  for (const std::string& record : records) {
    if (!text.empty()) text += "; ";
    text += record;
  }
  return text;
}

// Puts a failure's reasons in the log; a failure without any gets the code.
void LogFailure(SQLSMALLINT handle_type, SQLHANDLE handle, const char* call, SQLRETURN rc) {
  const std::vector<std::string> records = Diagnostics(handle_type, handle);
  CKXMsg* sink = CKXMsg::GetInstance();
  for (const std::string& record : records) sink->LogError(record.c_str());
  if (records.empty()) {
    const std::string line = std::string("ODBC: ") + call + " failed with code " + std::to_string(rc);
    sink->LogError(line.c_str());
  }
}

bool IsSuccess(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }

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

short ExecuteOnODBC(CKXTr::Impl& tr, CKXSQLStmt::Impl& stmt, const char* sql) noexcept {
  try {
    if (stmt.owner != &tr || stmt.handle == SQL_NULL_HSTMT) {
      stmt.Free();
      // Registered before the handle exists, so that Disconnect always finds it.
      tr.stmts.push_back(&stmt);
      stmt.owner = &tr;
      const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, tr.dbc, &stmt.handle);
      if (!SQL_SUCCEEDED(rc)) {
        stmt.handle = SQL_NULL_HSTMT;
        LogFailure(SQL_HANDLE_DBC, tr.dbc, "SQLAllocHandle", rc);
        stmt.Free();
        return SQL_ERROR;
      }
    }
    // The driver only reads the text; the API just lacks the const.
    SQLCHAR* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql));
    SQLRETURN rc = SQLExecDirect(stmt.handle, text, SQL_NTS);
    if (!IsSuccess(rc)) {
      LogFailure(SQL_HANDLE_STMT, stmt.handle, "SQLExecDirect", rc);
      if (rc == SQL_NEED_DATA || rc == SQL_STILL_EXECUTING) SQLCancel(stmt.handle);
    } else if (rc != SQL_NO_DATA) {
      // A batch answers with one result per statement; every one is read
      // past, and a later statement's failure fails the whole text.
      for (;;) {
        const SQLRETURN more = SQLMoreResults(stmt.handle);
        if (more == SQL_SUCCESS || more == SQL_SUCCESS_WITH_INFO) continue;
        if (more != SQL_NO_DATA) {
          LogFailure(SQL_HANDLE_STMT, stmt.handle, "SQLMoreResults", more);
          rc = SQL_ERROR;
        }
        break;
      }
    }
    // Leaves the handle ready for the next statement, whether or not a cursor is open.
    SQLFreeStmt(stmt.handle, SQL_CLOSE);
    return rc;
  } catch (...) {
    return SQL_ERROR;
  }
}

}  // namespace kxcom::detail

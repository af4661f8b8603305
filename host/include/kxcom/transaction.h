/// @file
/// kxcom transactions: a database connection and the dialect chosen for it.
///
/// The embedded SQLite engine is the default database; any server that has
/// an ODBC driver is reached through unixODBC.
///
/// @code
/// CKXTr tr;
/// if (!tr.OpenSQLite(":memory:")) puts(CKXMsg::GetInstance()->GetLastMessage().text.c_str());
/// tr.SetDBMSType(DBMSTYPE::ORACLE);   // split as Oracle, run on SQLite
/// @endcode
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kxcom/dbms_type.h"
#include "kxcom/kxcom_export.h"

/// A database connection (or none) and the DBMS type that chooses the
/// dialect rules. Not copyable; destroying it closes the connection.
class KXCOM_EXPORT CKXTr {
 public:
  /// Not connected; the GENERIC type.
  CKXTr();
  ~CKXTr();
  CKXTr(const CKXTr&) = delete;
  CKXTr& operator=(const CKXTr&) = delete;

  /// Opens the embedded SQLite engine on a database file (created when
  /// missing) or ":memory:". Any earlier connection is closed first. The type
  /// becomes SQLITE. On failure records SQLite's reason as a message and
  /// returns false.
  bool OpenSQLite(const char* path);
  /// Connects through ODBC with a connection string ("DRIVER=...;SERVER=...").
  /// The type comes from the driver's DBMS name (GENERIC when unknown). A
  /// MySQL or MariaDB connection is made with the driver's multi-statement
  /// option, so that a text of several statements runs as the mysql client
  /// runs it. On failure records the driver's SQLSTATE and message and
  /// returns false.
  bool Connect(const char* odbc_connection_string);
  /// Reconnects to another database of the same server, as psql's
  /// `\c dbname` does: the connection string of the last Connect with its
  /// DATABASE key set to `database`. The DBMS type stays as it is. Not for
  /// the embedded engine (OpenSQLite names its file). On failure the reason
  /// is recorded as Connect records it, the transaction is not connected, and
  /// false is returned.
  bool ConnectDatabase(const char* database);
  /// Lets go of the connection, if any; the type is kept.
  void Disconnect() noexcept;
  /// True exactly while a connection is held.
  bool IsConnected() const noexcept;
  /// True while the connection is the embedded SQLite engine (OpenSQLite).
  bool IsEmbedded() const noexcept;

  /// The dialect: the connection's type, or the one SetDBMSType chose.
  const DBMSTYPE& GetDBMSType() const noexcept;
  /// Chooses the dialect; overrides what the connection reported.
  void SetDBMSType(const DBMSTYPE& type) noexcept;

  /// The engine's or driver's name of the database product ("SQLite",
  /// "PostgreSQL", ...); empty when not connected.
  const char* GetDBMSName() const noexcept;

  /// How long a statement on the embedded engine waits for a database file
  /// that another connection holds locked before it fails with "database is
  /// locked", in milliseconds (5000 unless set; 0 does not wait). Applies to
  /// the open database and to those opened later; ODBC servers keep their
  /// own lock waits.
  void SetBusyTimeout(unsigned int milliseconds) noexcept;

  /// True once a failed statement showed that the database cannot be used
  /// any more, so that running more statements is pointless: the connection
  /// was lost or the server is shutting down (SQLSTATE class 08, 57P01-57P03),
  /// the disk is full (SQLITE_FULL, 53100), an I/O error (SQLITE_IOERR,
  /// 58030), the file is not a database or is damaged (SQLITE_NOTADB,
  /// SQLITE_CORRUPT), it cannot be opened or written (SQLITE_CANTOPEN,
  /// SQLITE_READONLY, SQLITE_PERM), memory ran out (SQLITE_NOMEM), or a lock
  /// was held past the busy timeout (SQLITE_BUSY). Set by ExecuteScriptStmt
  /// on the thread that runs it; cleared by OpenSQLite, Connect and
  /// Disconnect.
  bool IsUnusable() const noexcept;
  /// The reason of the failure that made IsUnusable true, as it was logged;
  /// empty while the database is usable.
  const char* GetUnusableReason() const noexcept;

  /// Stops the statement that ExecuteScriptStmt is running on this
  /// connection, from any other thread: sqlite3_interrupt on the engine,
  /// SQLCancel over ODBC. The statement fails as soon as the database
  /// notices; when none is running, the next one to start fails at once
  /// instead. Statements after that one run as usual. Never blocks for long
  /// and never throws.
  void Cancel() noexcept;

  /// One transaction around many statements: from BeginTransaction, nothing
  /// that ExecuteScriptStmt runs is committed until CommitTransaction;
  /// RollbackTransaction undoes all of it. On the engine these are BEGIN,
  /// COMMIT and ROLLBACK; over ODBC, autocommit is turned off and SQLEndTran
  /// ends the transaction (autocommit is then on again). Statements of the
  /// script that end the transaction themselves (COMMIT) end it early. Each
  /// returns false on failure, with the database's reason as the last
  /// message; RollbackTransaction succeeds when the database has already
  /// rolled back (SQLite does so on some failures, a server on a lost
  /// connection).
  ///@{
  bool BeginTransaction();
  bool CommitTransaction();
  bool RollbackTransaction();
  ///@}

  /// Runs one query and gives every row of its result, each value as text
  /// (a NULL as an empty string). For what the runner needs to know of the
  /// database itself, such as a table's columns; not for the script's own
  /// statements. False with the database's reason as the last message, and
  /// `rows` then holds what was read before the failure.
  bool QueryRows(const char* sql, std::vector<std::vector<std::string>>& rows);
  /// Runs one statement of the runner's own whose `?` parameter markers take
  /// `texts`, in order, as text values, with `stmt`'s handle, as
  /// DBMSTYPE::ExecuteScriptStmt runs a script's statement (the same results,
  /// log lines and Cancel). The values go to the driver as bound parameters,
  /// which it passes on without reading them for escapes: how megabytes of
  /// COPY rows reach a server. ODBC connections only: on the engine it
  /// returns -1 with the reason logged.
  short ExecuteWithTexts(CKXSQLStmt& stmt, const char* sql, const std::vector<std::string>& texts) noexcept;

  /// The connection handles, for kxcom's own use (the type is not public).
  struct Impl;
  /// The connection handles, for kxcom's own use.
  Impl& GetImpl() noexcept { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

/// What one execution needs on a transaction's connection: an ODBC statement
/// handle, made on first use and freed on destruction; nothing for the engine.
class KXCOM_EXPORT CKXSQLStmt {
 public:
  /// Holds nothing yet; `reserved` is not used (the runner passes 0).
  explicit CKXSQLStmt(int reserved = 0);
  /// Frees the statement handle, if one was made.
  ~CKXSQLStmt();
  CKXSQLStmt(const CKXSQLStmt&) = delete;
  CKXSQLStmt& operator=(const CKXSQLStmt&) = delete;

  /// The statement handle, for kxcom's own use (the type is not public).
  struct Impl;
  /// The statement handle, for kxcom's own use.
  Impl& GetImpl() noexcept { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

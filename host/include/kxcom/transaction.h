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

/// @file
/// kxcom database types: what the splitter and runner need to know of the
/// target database, and how a statement is executed on it.
///
/// @code
/// const DBMSTYPE& dbms = tr.GetDBMSType();
/// if (dbms == DBMSTYPE::ORACLE) { ... }
/// if (dbms.GetGroup() == DBMSGroup::Postgres) { ... }
/// @endcode
#pragma once

#include "kxcom/kxcom_export.h"

class CKXSQLStmt;
class CKXTr;

/// A family of database types that share dialect rules; compared by code.
class KXCOM_EXPORT DBMSGroup {
 public:
  static const DBMSGroup Generic;    ///< no dialect rules of its own
  static const DBMSGroup Oracle;     ///< Oracle: PL/SQL blocks, `/` lines
  static const DBMSGroup DB2;        ///< DB2: IF blocks
  static const DBMSGroup Informix;   ///< Informix
  static const DBMSGroup SqlServer;  ///< SQL Server and Sybase: GO batches, T-SQL
  static const DBMSGroup Postgres;   ///< dollar-quoted bodies
  static const DBMSGroup Access;     ///< Microsoft Access
  static const DBMSGroup SQLite;     ///< SQLite
  static const DBMSGroup MySQL;      ///< MySQL and MariaDB

  /// The code that identifies the group.
  unsigned int GetCode() const noexcept { return code_; }
  /// Groups are equal when their codes are.
  ///@{
  bool operator==(const DBMSGroup& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const DBMSGroup& other) const noexcept { return code_ != other.code_; }
  ///@}

 private:
  constexpr explicit DBMSGroup(unsigned int code) noexcept : code_(code) {}
  unsigned int code_;
};

/// A database type; compared by code.
class KXCOM_EXPORT DBMSTYPE {
 public:
  static const DBMSTYPE GENERIC;    ///< any other database: `;`, GO and `/` end statements
  static const DBMSTYPE ORACLE;     ///< Oracle: comments left out of the parsed text, IF and FOR blocks
  static const DBMSTYPE DB2;        ///< DB2: IF blocks
  static const DBMSTYPE INFORMIX;   ///< Informix
  static const DBMSTYPE SQLSERVER;  ///< Microsoft SQL Server
  static const DBMSTYPE SYBASE;     ///< Sybase
  static const DBMSTYPE POSTGRES;   ///< PostgreSQL: `$$` bodies
  static const DBMSTYPE ACCESS;     ///< Microsoft Access
  static const DBMSTYPE SQLITE;     ///< SQLite, the embedded engine
  static const DBMSTYPE MYSQL;      ///< MySQL and MariaDB

  /// The type named by a lower-case dialect name ("oracle", "db2", "informix",
  /// "sqlserver", "sybase", "postgres", "access", "sqlite", "mysql",
  /// "generic"), compared ignoring case; null for any other name.
  static const DBMSTYPE* FromName(const char* name) noexcept;

  /// The code that identifies the type.
  unsigned int GetCode() const noexcept { return code_; }
  /// The lower-case dialect name, as FromName takes it.
  const char* GetName() const noexcept { return name_; }
  /// The family of dialects the type belongs to.
  const DBMSGroup& GetGroup() const noexcept { return *group_; }

  /// True when `word`, the last part of a qualified name (the word after a
  /// dot), may change the database when evaluated: NEXTVAL, in any letter case,
  /// for every type, since advancing a sequence is a side effect. `word` is
  /// 8-bit or 16-bit text; null is not a side effect.
  ///@{
  bool IsPossibleSideEffect(const char* word) const noexcept;
  bool IsPossibleSideEffect(const unsigned short* word) const noexcept;
  ///@}

  /// Runs `sql` on the transaction's connection and returns an ODBC return
  /// code: 0 (SQL_SUCCESS), 1 (SQL_SUCCESS_WITH_INFO) or 100 (SQL_NO_DATA) on
  /// success, -1 (SQL_ERROR) or another code on failure. Over ODBC, every
  /// result set is drained (a failure met while draining a batch makes the
  /// result -1); on the embedded SQLite engine every statement in
  /// the text runs in turn and rows are discarded. A failure's reason goes to
  /// the host log (CKXMsg::LogError). Returns -1 when `tr` is null or not
  /// connected, or `sql` is null. Never throws.
  short ExecuteScriptStmt(CKXSQLStmt& stmt, CKXTr* tr, const char* sql) const noexcept;

  /// Types are equal when their codes are.
  ///@{
  bool operator==(const DBMSTYPE& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const DBMSTYPE& other) const noexcept { return code_ != other.code_; }
  ///@}

 private:
  constexpr DBMSTYPE(unsigned int code, const char* name, const DBMSGroup* group) noexcept
      : code_(code), name_(name), group_(group) {}
  unsigned int code_;
  const char* name_;
  const DBMSGroup* group_;
};

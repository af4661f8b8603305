// Splits a script under the native rules and describes each statement in one
// short line, for tables of expected statements:
//   "select 1"                 an SQL statement (its text without comments)
//   "client: \c db"            a client command
//   "copy t from stdin <data: 1\tx\n>"   a COPY with its rows
//   "select 1 (x3)"            a batch to run three times
// Statements with nothing but blanks and comments are left out.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxsql.h"
#include "statements/native_rows.h"
#include "support/split_paths.h"
#include "support/test_text.h"

namespace kxsql::testing {

template <class T>
std::string Line(const SQLStmtT<T>& stmt) {
  std::string line;
  if (stmt.GetKind() == KXSQL_STMT_CLIENT) line = "client: ";
  if (stmt.GetKind() == KXSQL_STMT_DATA) line = "more: ";
  line += Narrow(stmt.GetNoCommentText());
  const std::string data = Narrow(stmt.GetData());
  if (!data.empty()) line += " <data: " + data + ">";
  if (stmt.GetRepeatCount() != 1) line += " (x" + std::to_string(stmt.GetRepeatCount()) + ")";
  if (stmt.HasSideEffect()) line += " [effect: " + Narrow(stmt.GetSideEffect()) + "]";
  return line;
}

// Reads every statement of `stream`; a failed read is described as "FAILED".
template <class T>
std::vector<std::string> Statements(CKXSQLStreamT<T>& stream, const DBMSTYPE& dialect) {
  CKXTr tr;
  tr.SetDBMSType(dialect);
  stream.SetSplitRules(KXSQL_RULES_NATIVE);
  std::vector<std::string> lines;
  SQLStmtT<T> stmt;
  for (int guard = 0; guard < 100000; ++guard) {
    const long rc = stream.GetNextStmt(stmt, &tr, nullptr);
    if (rc < 0) {
      lines.push_back("FAILED");
      break;
    }
    if (!stmt.IsEmpty() || stmt.GetKind() != KXSQL_STMT_SQL || *stmt.GetData() != 0) lines.push_back(Line(stmt));
    if (rc == 1) break;
  }
  return lines;
}

template <class T>
std::vector<std::string> NativeSplit(const std::string& script, const DBMSTYPE& dialect) {
  Text<T> text(script);
  CKXSQLTextT<T> source(text.c_str());
  return Statements<T>(source, dialect);
}

// The same through the file source, from a UTF-8 file written for the call.
inline std::vector<std::string> NativeSplitFile(const std::string& script, const DBMSTYPE& dialect) {
  std::string pattern = ::testing::TempDir() + "kxsql-native-XXXXXX";
  char* const path = pattern.data();
  const int fd = ::mkstemp(path);
  if (fd < 0) return {"no temporary file"};
  const bool written = ::write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  ::close(fd);
  std::vector<std::string> lines{"cannot write the temporary file"};
  if (written) {
    CKXSQLFile file;
    lines = file.Open(path) == 1 ? Statements<char>(file, dialect) : std::vector<std::string>{"cannot open"};
  }
  ::unlink(path);
  return lines;
}

// Every row over 8-bit and 16-bit text, and through the file source with
// each character of the script at the end of a chunk once; each time the
// client's runs of plain lexemes and its lexer alone cut the same
// (support/split_paths.h).
inline void Check(const DBMSTYPE& dialect, const std::vector<NativeRow>& rows) {
  CKXTr tr;
  tr.SetDBMSType(dialect);
  const SplitCall call{&tr, false, 0};
  for (const NativeRow& row : rows) {
    SCOPED_TRACE(row.script);
    const std::string script = row.script;
    const Text<char> text8(script);
    const Text<unsigned short> text16(script);
    EXPECT_EQ(NativeSplit<char>(row.script, dialect), row.statements);
    EXPECT_EQ(NativeSplit<unsigned short>(row.script, dialect), row.statements);
    EXPECT_EQ(CompareTextPaths<char>(text8.c_str(), script.size(), call, KXSQL_RULES_NATIVE), "");
    EXPECT_EQ(CompareTextPaths<unsigned short>(text16.c_str(), script.size(), call, KXSQL_RULES_NATIVE), "");
    // A comment of the right length puts each character of the script at
    // the end of the file source's first chunk in turn.
    for (std::size_t at = 0; at <= script.size(); ++at) {
      const std::string pad = "-- " + std::string(4096 - 4 - at, 'x') + "\n";
      ASSERT_EQ(NativeSplitFile(pad + script, dialect), row.statements) << "moved by " << at;
      ASSERT_EQ(CompareFilePaths(pad + script, call, KXSQL_RULES_NATIVE), "") << "moved by " << at;
    }
  }
}

}  // namespace kxsql::testing

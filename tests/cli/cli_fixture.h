// What the tests of the kxsql tool share: a folder of their own, the tool
// run as a user runs it (directly or through the shell), and a look into the
// SQLite files it writes.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/subprocess.h"

namespace kxsql::testing {

namespace fs = std::filesystem;

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(nlohmann::json::parse(line));
  return objects;
}

// The bytes of a literal, NUL characters included.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// The rows of `table` in the SQLite file `db`; -1 when it cannot be read.
inline long long CountRows(const fs::path& db, const std::string& table) {
  sqlite3* handle = nullptr;
  long long count = -1;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT count(*) FROM " + table;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
      count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(handle);
  return count;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kxsql-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static ProcessResult Kxsql(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), KXSQL_CLI_PATH);
    return kxsql::testing::Run(args, input);
  }
  // Any program (gtest's Test::Run hides the plain name).
  static ProcessResult Program(const std::vector<std::string>& argv) { return kxsql::testing::Run(argv); }
  // Runs a shell command line in which $K names the tool, in the test's folder.
  ProcessResult Shell(const std::string& command, const char* shell = "/bin/sh") const {
    return Program({shell, "-c", "K=" KXSQL_CLI_PATH "; cd '" + dir_.string() + "' || exit 125; " + command});
  }

  fs::path dir_;
};

}  // namespace kxsql::testing

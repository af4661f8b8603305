// Splits a script twice, once cutting statements from the read window in
// whole runs and once token by token through GetToken (the reference), and
// compares the two after every statement: the result, the three texts, the
// first and last tokens, the counts, the side effect, the kind, the repeat
// count and the data, what the input ended inside, and where the stream
// stands (progress, end, tokenizer state, position in the window, queue).
// Under the native rules the reference reads every lexeme through the
// client's lexer instead. Shared by the differential fuzz targets and their
// tests over example scripts.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "kxsql.h"
#include "statements/native/lexing.h"

namespace kxsql::testing {

// Everything one GetNextStmt call leaves behind, in one comparable string.
template <class T>
std::string Snapshot(long rc, const SQLStmtT<T>& stmt, const CKXSQLStreamT<T>& stream) {
  using Access = kxsql::detail::StatementAccess<T>;
  using Probe = kxsql::detail::StreamProbe<T>;
  std::string out = "rc=" + std::to_string(rc);
  const auto text = [&out](const char* name, const T* chars, std::size_t n) {
    out += std::string(" ") + name + "=[";
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned c = static_cast<std::make_unsigned_t<T>>(chars[i]);
      if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
      else out += "\\" + std::to_string(c) + ";";
    }
    out += "]";
  };
  const auto token = [&](const char* name, const SQLToken<T>& t) {
    text(name, t.GetText(), t.GetLength());
    out += ":" + std::to_string(t.GetType().GetCode());
  };
  text("text", Access::Text(stmt).GetString(), Access::Text(stmt).GetLength());
  text("parsed", Access::ParsedText(stmt).GetString(), Access::ParsedText(stmt).GetLength());
  text("no_comment", Access::NoCommentText(stmt).GetString(), Access::NoCommentText(stmt).GetLength());
  token("first", stmt.GetFirstToken());
  token("last", stmt.GetLastToken());
  text("side_effect", stmt.GetSideEffect(), CKXStringT<T>::Length(stmt.GetSideEffect()));
  text("data", Access::Data(stmt).GetString(), Access::Data(stmt).GetLength());
  std::size_t open_length = 0;
  const char* open = kxsql::detail::NativeOpenAtEnd(stream, open_length);
  out += std::string(" open=") + (open != nullptr ? open : "-") + ":" + std::to_string(open_length) +
         " kind=" + std::to_string(stmt.GetKind()) + " repeat=" + std::to_string(stmt.GetRepeatCount());
  out += " tokens=" + std::to_string(Access::TokenCount(stmt)) +
         " compare=" + std::to_string(Access::CompareTokenCount(stmt)) +
         " empty=" + std::to_string(stmt.IsEmpty()) + " done=" + std::to_string(stream.GetDoneCount()) +
         " eof=" + std::to_string(stream.IsEOF()) + " state=" + std::to_string(Probe::TokenizerState(stream)) +
         " at=" + std::to_string(Probe::WindowOffset(stream)) +
         " queued=" + std::to_string(Probe::QueuedTokens(stream));
  return out;
}

// How the statements are asked for: the flags word formed from the
// connection's DBMS type, or a caller's.
struct SplitCall {
  const CKXTr* tr;
  bool own_flags;
  unsigned long flags;
  long operator()(CKXSQLStreamT<char>& s, SQLStmtT<char>& stmt) const { return Call(s, stmt); }
  long operator()(CKXSQLStreamT<unsigned short>& s, SQLStmtT<unsigned short>& stmt) const { return Call(s, stmt); }

 private:
  template <class T>
  long Call(CKXSQLStreamT<T>& s, SQLStmtT<T>& stmt) const {
    return own_flags ? s.GetNextStmt(stmt, tr, flags, nullptr) : s.GetNextStmt(stmt, tr, nullptr);
  }
};

// Splits both streams, which read the same script under `rules`, the first
// run-based and the second token by token (lexeme by lexeme), up to the end
// of the input. Returns "" when they agree after every statement, else the
// first difference.
template <class T>
std::string CompareSplitPaths(CKXSQLStreamT<T>& fast, CKXSQLStreamT<T>& reference, const SplitCall& call,
                              std::size_t max_statements, int rules = KXSQL_RULES_CLASSIC) {
  if (fast.SetSplitRules(rules) != 0 || reference.SetSplitRules(rules) != 0) return "cannot set the rules";
  kxsql::detail::StreamProbe<T>::SplitThroughTokens(reference, true);
  SQLStmtT<T> a;
  SQLStmtT<T> b;
  for (std::size_t n = 0; n <= max_statements; ++n) {
    const long rc = call(fast, a);
    const std::string got = Snapshot(rc, a, fast);
    const std::string want = Snapshot(call(reference, b), b, reference);
    if (got != want) return "statement " + std::to_string(n) + ":\n  run-based:   " + got + "\n  token path:  " + want;
    // A NUL character ends a statement with 1 too; the input goes on.
    if (rc < 0 || (rc == 1 && fast.IsEOF())) return "";
  }
  return "the splitter did not reach the end";
}

// The same over `units` characters of text (NUL-terminated).
template <class T>
std::string CompareTextPaths(const T* text, std::size_t units, const SplitCall& call, int rules) {
  CKXSQLTextT<T> fast(text);
  CKXSQLTextT<T> reference(text);
  return CompareSplitPaths<T>(fast, reference, call, units + 2, rules);
}

// The same over a file that holds `bytes`, written for the call.
inline std::string CompareFilePaths(const std::string& bytes, const SplitCall& call, int rules) {
  static unsigned serial = 0;
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("kxsql-paths-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".sql"))
                               .string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return "cannot write a temporary file";
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  CKXSQLFile fast;
  CKXSQLFile reference;
  std::string result = "cannot write or open the temporary file";
  if (written && fast.Open(path.c_str()) == 1 && reference.Open(path.c_str()) == 1)
    result = CompareSplitPaths<char>(fast, reference, call, bytes.size() + 2, rules);
  std::remove(path.c_str());
  return result;
}

}  // namespace kxsql::testing

#include "cli/script_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace kxsql::cli {

ScriptFile::ScriptFile() noexcept {
  // The tokenizer may read the window directly: this class counts from it.
  m_pWindowOwner = &typeid(ScriptFile);
}

void ScriptFile::CountUpTo(const char* end) noexcept {
  if (counted_to_ == nullptr || end == nullptr) return;
  for (const char* p = counted_to_; p < end; ++p) {
    const char c = *p;
    if (c == '\n') ++line_;
    if (in_leading_blanks_) {
      if (c == '\n') ++leading_line_feeds_;
      else if (c != ' ' && c != '\t' && c != '\r') in_leading_blanks_ = false;
    }
  }
  if (end > counted_to_) counted_to_ = end;
}

char ScriptFile::GetChar(bool& eof) {
  if (m_pWindowPos >= m_pWindowEnd) {
    CountUpTo(m_pWindowEnd);
    const char c = CKXSQLFile::GetChar(eof);
    counted_to_ = m_pWindowBegin;  // a new chunk, or none
    return c;
  }
  return CKXSQLFile::GetChar(eof);
}

void ScriptFile::BeginStatement() noexcept {
  CountUpTo(m_pWindowPos);
  statement_start_line_ = line_;
  leading_line_feeds_ = 0;
  in_leading_blanks_ = true;
}

unsigned long long ScriptFile::StatementLine(const SQLStmtT<char>& stmt) {
  CountUpTo(m_pWindowPos);
  // The statement's text starts after its trimmed leading blanks; count the
  // line feeds of the comments before its first compare token.
  unsigned long long line = statement_start_line_ + leading_line_feeds_;
  const char* text = stmt.GetText();
  if (text == nullptr || *text == 0) return line;
  CKXSQLTextT<char> reader(text);
  SQLToken<char> token;
  while (reader.GetToken(token, 0) == 0 && !token.IsCompare()) {
    const char* p = token.GetText();
    for (unsigned int i = 0; i < token.GetLength(); ++i)
      if (p[i] == '\n') ++line;
  }
  return line;
}

std::string DisplayName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

namespace {

// Copies standard input into an unlinked temporary file and returns a path
// that reopens it.
bool SpoolStandardInput(std::string& path, std::string& error) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/kxsql-stdin-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    error = std::string("cannot spool standard input: ") + std::strerror(errno);
    return false;
  }
  unlink(pattern.c_str());
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::string("cannot read standard input: ") + std::strerror(errno);
      close(fd);
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(fd, buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        error = std::string("cannot spool standard input: ") + std::strerror(errno);
        close(fd);
        return false;
      }
      done += w;
    }
  }
  // The descriptor stays open for the life of the process: the path below
  // names it.
  path = "/proc/self/fd/" + std::to_string(fd);
  return true;
}

}  // namespace

bool OpenScript(const std::string& path, ScriptFile& file, std::string& error) {
  std::string real_path = path;
  if (path == "-" && !SpoolStandardInput(real_path, error)) return false;
  if (file.Open(real_path.c_str()) == 1) return true;
  error = CKXMsg::GetInstance()->GetLastMessage().text;
  if (path == "-") error = "cannot read standard input: " + error;
  return false;
}

}  // namespace kxsql::cli

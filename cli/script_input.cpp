#include "cli/script_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace kxsql::cli {
namespace {

// The value with which a source says that it cannot deliver.
constexpr char kUnusable = static_cast<char>(0xFF);

}  // namespace

ScriptFile::ScriptFile(bool stop_at_nul) noexcept : stop_at_nul_(stop_at_nul) {
  // The tokenizer may read the window directly: this class counts from it.
  m_pWindowOwner = &typeid(ScriptFile);
}

void ScriptFile::CountUpTo(const char* end) noexcept {
  if (counted_to_ == nullptr || end == nullptr || end <= counted_to_) return;
  lines_.Count(counted_to_, end);
  counted_to_ = end;
}

void ScriptFile::FindNul() noexcept {
  if (nul_line_ != 0 || m_pWindowBegin == nullptr) return;
  const char* nul = static_cast<const char*>(
      std::memchr(m_pWindowBegin, 0, static_cast<std::size_t>(m_pWindowEnd - m_pWindowBegin)));
  if (nul == nullptr) return;
  // Its line, counted apart: the tokenizer has not read that far yet.
  nul_line_ = lines_.LineAt(m_pWindowBegin, nul);
  if (stop_at_nul_) {
    stopped_at_nul_ = true;
    m_pWindowEnd = nul;
    if (m_pWindowPos > m_pWindowEnd) m_pWindowPos = m_pWindowEnd;
  }
}

char ScriptFile::GetChar(bool& eof) {
  if (stopped_at_nul_ && m_pWindowPos >= m_pWindowEnd) {
    eof = true;
    return kUnusable;
  }
  if (m_pWindowPos >= m_pWindowEnd) {
    CountUpTo(m_pWindowEnd);
    const char c = CKXSQLFile::GetChar(eof);
    counted_to_ = m_pWindowBegin;  // a new chunk, or none
    if (eof || m_pWindowBegin == nullptr) return c;
    FindNul();
    if (stopped_at_nul_ && m_pWindowEnd == m_pWindowBegin) {
      // The chunk begins with the NUL: nothing of it is delivered.
      eof = true;
      return kUnusable;
    }
    return c;
  }
  return CKXSQLFile::GetChar(eof);
}

bool ScriptFile::IsEOF() const { return !stopped_at_nul_ && CKXSQLFile::IsEOF(); }

void ScriptFile::BeginStatement() noexcept {
  CountUpTo(m_pWindowPos);
  lines_.BeginStatement();
}

unsigned long long ScriptFile::TextLine() noexcept {
  CountUpTo(m_pWindowPos);
  return lines_.TextLine();
}

unsigned long long ScriptFile::StatementLine(const SQLStmtT<char>& stmt) {
  CountUpTo(m_pWindowPos);
  return lines_.StatementLine(stmt);
}

std::string DisplayName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

namespace {

// Copies what `from` delivers up to its end into an unlinked temporary file,
// open as `spool`, and returns a path that reopens it.
bool Spool(int from, const std::string& what, int& spool, std::string& path, std::string& error) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/kxsql-stdin-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    error = "cannot spool " + what + ": " + std::strerror(errno);
    return false;
  }
  unlink(pattern.c_str());
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = "cannot read " + what + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(fd, buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        error = "cannot spool " + what + ": " + std::strerror(errno);
        close(fd);
        return false;
      }
      done += w;
    }
  }
  // The descriptor stays open until the file source has opened the path
  // below, which names it.
  spool = fd;
  path = "/proc/self/fd/" + std::to_string(fd);
  return true;
}

// A path whose content can only be read in order, once: it is read as
// standard input is. Its descriptor, opened for reading, goes to `fd`.
bool IsStream(const std::string& path, int& fd) {
  fd = -1;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) && !S_ISCHR(info.st_mode)) return false;
  // A device that can seek (/dev/null) reads as a file.
  fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  if (S_ISCHR(info.st_mode) && lseek(fd, 0, SEEK_END) >= 0) {
    close(fd);
    fd = -1;
    return false;
  }
  return true;
}

}  // namespace

bool OpenScript(const std::string& path, ScriptFile& file, std::string& error) {
  std::string real_path = path;
  int stream = -1;
  int spool = -1;
  if (path == "-") {
    if (!Spool(STDIN_FILENO, "standard input", spool, real_path, error)) return false;
  } else if (IsStream(path, stream)) {
    const bool spooled = Spool(stream, "'" + path + "'", spool, real_path, error);
    close(stream);
    if (!spooled) return false;
  }
  const bool opened = file.Open(real_path.c_str()) == 1;
  // The open file keeps the spooled copy alive.
  if (spool >= 0) close(spool);
  if (opened) return true;
  error = CKXMsg::GetInstance()->GetLastMessage().text;
  if (path == "-") error = "cannot read standard input: " + error;
  return false;
}

}  // namespace kxsql::cli

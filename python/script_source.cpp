#include "python/script_source.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <typeinfo>

namespace kxsql::python {

ScriptText::ScriptText(const char* text, std::size_t size) noexcept {
  static const char kEmpty[] = "";
  m_pWindowBegin = size != 0 ? text : kEmpty;
  m_pWindowPos = m_pWindowBegin;
  m_pWindowEnd = m_pWindowBegin + size;
  m_pWindowOwner = &typeid(ScriptText);
  counted_to_ = m_pWindowBegin;
}

void ScriptText::Close() {
  open_ = false;
  m_pWindowPos = m_pWindowEnd;
}

bool ScriptText::IsEOF() const { return m_pWindowPos >= m_pWindowEnd; }

unsigned int ScriptText::GetDoneCount() const { return static_cast<unsigned int>(m_pWindowPos - m_pWindowBegin); }

unsigned int ScriptText::GetTotalCount() const { return static_cast<unsigned int>(m_pWindowEnd - m_pWindowBegin); }

char ScriptText::GetChar(bool& eof) {
  eof = m_pWindowPos >= m_pWindowEnd;
  return eof ? 0 : *m_pWindowPos++;
}

void ScriptText::UngetChar() {
  if (m_pWindowPos > m_pWindowBegin) --m_pWindowPos;
}

std::size_t ScriptText::Find(const char* text, std::size_t size, std::size_t from) const noexcept {
  const char* p = m_pWindowBegin + from;
  // The splitter trims the blanks before a statement away.
  while (p < m_pWindowEnd && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
  if (static_cast<std::size_t>(m_pWindowEnd - p) < size || std::memcmp(p, text, size) != 0) return kNotFound;
  return static_cast<std::size_t>(p - m_pWindowBegin);
}

void ScriptText::BeginStatement() noexcept {
  lines_.Count(counted_to_, m_pWindowPos);
  counted_to_ = m_pWindowPos;
  lines_.BeginStatement();
}

unsigned long long ScriptText::StatementLine(const SQLStmtT<char>& stmt) {
  lines_.Count(counted_to_, m_pWindowPos);
  counted_to_ = m_pWindowPos;
  return lines_.StatementLine(stmt);
}

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool OpenScriptBytes(const char* data, std::size_t size, bool utf8_text, kxsql::cli::ScriptFile& file,
                     std::string& error) {
  const int fd = memfd_create("kxsql-script", MFD_CLOEXEC);
  if (fd < 0) {
    error = std::string("cannot hold the script in memory: ") + std::strerror(errno);
    return false;
  }
  // A byte-order mark makes the file source read the text as UTF-8 and
  // nothing else; it is not part of the text it delivers.
  static const char kUtf8Mark[] = "\xEF\xBB\xBF";
  if ((utf8_text && !WriteAll(fd, kUtf8Mark, 3)) || !WriteAll(fd, data, size)) {
    error = std::string("cannot hold the script in memory: ") + std::strerror(errno);
    close(fd);
    return false;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const bool opened = file.Open(path.c_str()) == 1;
  // The file source has its own descriptor of the memory file.
  close(fd);
  if (!opened) error = CKXMsg::GetInstance()->GetLastMessage().text;
  return opened;
}

}  // namespace kxsql::python

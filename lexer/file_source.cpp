// CKXSQLFile: a script file read in 4096-byte chunks, each decoded whole to
// UTF-8 by the decoder of the encoding that its first bytes show. The read
// buffer is the input stream's buffer, which takes the file 64 KiB at a time
// so that a system call serves sixteen chunks; each chunk is decoded where
// it stands in it. A chunk of valid UTF-8 decodes to itself, and so do most
// of the next ones: they then make one read window together, so that the
// splitter runs on across them instead of stopping at every chunk's end. The
// progress counts still go a chunk at a time, as reading begins each one. The
// buffer is made once per object.
#include "kxsql/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <typeinfo>

#include "kxcom/message.h"

namespace {

constexpr unsigned int kNotOpen = 0xFFFFFFFFu;
// The encoding shows in the first bytes; the longest mark is 4 bytes.
constexpr unsigned int kDetectBytes = 10;

// Reads up to `n` bytes at `offset`, fewer only where the file ends.
// Returns the bytes read, or -1 with errno set.
long long ReadAt(int fd, unsigned char* buffer, std::size_t n, std::int64_t offset) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, buffer + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long long>(done);
}

// Takes a shared read lock on the whole file, so that writers that lock
// before writing stay out while the script is read. The lock belongs to the
// open file description and goes with its last descriptor. False with errno
// EBUSY when another process holds a write lock; a file system without locks
// is read unlocked.
bool LockForReading(int fd) {
  struct flock lock = {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however far the file grows
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) {
    errno = EBUSY;
    return false;
  }
  return true;
}

}  // namespace

CKXSQLFile::CKXSQLFile() {
  m_pWindowOwner = &typeid(CKXSQLFile);
  Init();
}

CKXSQLFile::~CKXSQLFile() {
  Close();
  delete[] m_pReadBuffer;
}

void CKXSQLFile::Init() noexcept {
  m_pReadBuffer = nullptr;
  m_pDecoder = nullptr;
  InitReadInfo();
}

void CKXSQLFile::InitReadInfo() noexcept {
  m_nRemainingBytes = 0;
  m_nTotalBytes = -1;
  m_pWindowBegin = nullptr;
  m_pWindowPos = nullptr;
  m_pWindowEnd = nullptr;
  m_nStreamAt = m_nStreamCount = 0;
  m_nWindowBytes = m_nBegunChunks = 0;
  m_nAheadState = 0;
  m_pAhead = nullptr;
  m_nAheadCount = 0;
  m_nAheadBytes = 0;
  CKXSQLStreamT<char>::Init();
}

void CKXSQLFile::ReportSystemError(const char* text, const char* name, const char* source, int error) {
  try {
    // The user sees which file failed; the sink adds the system's reason.
    std::string message(text);
    if (name != nullptr && *name != 0) message.append(" '").append(name).append("'");
    errno = error;
    CKXMsg::GetInstance()->GetLastError(message.c_str(), 1, source);
  } catch (const std::bad_alloc&) {
    // Nothing more can be said without memory.
  }
}

int CKXSQLFile::Open(const char* path) {
  Close();
  InitReadInfo();

  if (path == nullptr || *path == 0) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "Open requires a file name", "Open SQL File", 0,
                                          "Open", 0);
    return 0;
  }

  // Non-blocking so that a named pipe fails at once (it has no size)
  // instead of waiting for a writer; it changes nothing for a regular file.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    ReportSystemError("Failed to open file for reading", path, "Open", errno);
    return 0;
  }
  struct stat info;
  bool usable = fstat(fd, &info) == 0;
  if (usable && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    usable = false;
  }
  if (usable) usable = LockForReading(fd);
  if (!usable) {
    const int error = errno;
    ::close(fd);
    ReportSystemError("Failed to open file for reading", path, "Open", error);
    return 0;
  }
  m_nFile = fd;

  // The size as the end of the file shows it (block devices report no size
  // through fstat); something that cannot seek, a pipe, has none.
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size < 0 || lseek(fd, 0, SEEK_SET) != 0) {
    const int error = errno;
    Close();
    ReportSystemError("Failed to determine file size", path, "Open", error);
    return 0;
  }

  if (m_pReadBuffer == nullptr) {
    m_pReadBuffer = new (std::nothrow) unsigned char[kStreamBufferSize];
    if (m_pReadBuffer == nullptr) {
      Close();
      CKXMsg::GetInstance()->SetLastMessage(0, "Failed to allocate file read buffer", 0, "Open", 0);
      return 0;
    }
  }

  const std::size_t wanted =
      static_cast<std::uint64_t>(size) < kDetectBytes ? static_cast<std::size_t>(size) : kDetectBytes;
  const long long got = ReadAt(fd, m_pReadBuffer, wanted, 0);
  if (got < 0) {
    const int error = errno;
    Close();
    ReportSystemError("Unexpected error reading file", path, nullptr, error);
    return 0;
  }

  bool has_bom = false;
  const OFENCODING& encoding =
      OFENCODING::GetFromBuf(has_bom, m_pReadBuffer, static_cast<unsigned int>(got));

  // Reading starts over from the first byte after the mark: the detection
  // bytes are read again with the first chunk.
  m_nTotalBytes = size;
  m_nRemainingBytes = size;
  if (has_bom) {
    if (encoding.BOMLength() > static_cast<std::uint64_t>(size)) {
      Close();
      ReportSystemError("Failed to position past BOM for reading", path, "Open", EINVAL);
      return 0;
    }
    m_nRemainingBytes -= encoding.BOMLength();
  }

  m_pDecoder = encoding.CreateDecoder(kChunkSize);
  if (m_pDecoder == nullptr || !m_pDecoder->IsValid()) {
    Close();
    CKXMsg::GetInstance()->LogError("Failed to create encoding object");
    return 0;
  }

  try {
    m_strFileName = path;
  } catch (const std::bad_alloc&) {
    Close();
    CKXMsg::GetInstance()->SetLastMessage(0, "Failed to allocate file read buffer", 0, "Open", 0);
    return 0;
  }
  m_pEncoding = &encoding;
  return 1;
}

void CKXSQLFile::Close() {
  if (m_nFile >= 0) {
    // Closing the last descriptor of the description also drops its lock.
    ::close(m_nFile);
    m_nFile = -1;
    InitReadInfo();
  }
  if (m_pDecoder != nullptr) {
    delete m_pDecoder;
    m_pDecoder = nullptr;
  }
}

bool CKXSQLFile::IsEOF() const {
  return m_nRemainingBytes == 0 && m_nAheadState == 0 && m_pWindowPos >= m_pWindowEnd;
}

std::int64_t CKXSQLFile::UnbegunBytes() const noexcept {
  std::int64_t bytes = m_nAheadState != 0 ? static_cast<std::int64_t>(m_nAheadBytes) : 0;
  if (m_nWindowBytes > kChunkSize && m_pWindowPos != nullptr) {
    // The chunk of the last character delivered has begun, and those before it.
    const std::size_t at = static_cast<std::size_t>(m_pWindowPos - m_pWindowBegin);
    const std::size_t begun = at == 0 ? 1 : (at - 1) / kChunkSize + 1;
    if (begun > m_nBegunChunks) m_nBegunChunks = begun;
    const std::size_t begun_bytes = m_nBegunChunks * kChunkSize;
    if (begun_bytes < m_nWindowBytes) bytes += static_cast<std::int64_t>(m_nWindowBytes - begun_bytes);
  }
  return bytes;
}

std::int64_t CKXSQLFile::GetRemainingBytes() const noexcept { return m_nRemainingBytes + UnbegunBytes(); }

bool CKXSQLFile::IsOpen() const { return m_nFile >= 0; }

unsigned int CKXSQLFile::GetDoneCount() const {
  if (!IsOpen()) return kNotOpen;
  if (IsEOF()) return GetTotalCount();
  return static_cast<unsigned int>(static_cast<std::uint64_t>(m_nTotalBytes - GetRemainingBytes()));
}

unsigned int CKXSQLFile::GetTotalCount() const {
  if (!IsOpen()) return kNotOpen;
  return static_cast<unsigned int>(static_cast<std::uint64_t>(m_nTotalBytes));
}

char CKXSQLFile::GetChar(bool& eof) {
  if (m_pWindowPos < m_pWindowEnd) {
    eof = false;
    return *m_pWindowPos++;
  }
  return NextChunkChar(eof);
}

char CKXSQLFile::NextChunkChar(bool& eof) {
  // Each round reads at least one byte of the file, or ends.
  for (;;) {
    if (m_nRemainingBytes <= 0 && m_nAheadState == 0) {
      // Also the answer of a closed source: the end, not the unusable value.
      eof = true;
      return 0;
    }
    eof = false;
    if (!ReadChunk()) return 0;
    if (m_pWindowEnd != m_pWindowBegin) {
      m_pWindowPos = m_pWindowBegin + 1;
      return *m_pWindowBegin;
    }
  }
}

bool CKXSQLFile::TakeChunk(const unsigned char*& chunk, std::size_t& n) {
  const std::size_t wanted =
      m_nRemainingBytes < kChunkSize ? static_cast<std::size_t>(m_nRemainingBytes) : kChunkSize;
  if (m_nStreamAt == m_nStreamCount) {
    const std::size_t ahead = m_nRemainingBytes < kStreamBufferSize ? static_cast<std::size_t>(m_nRemainingBytes)
                                                                      : kStreamBufferSize;
    const long long read = ReadAt(m_nFile, m_pReadBuffer, ahead, m_nTotalBytes - m_nRemainingBytes);
    if (read < 0) {
      const int error = errno;
      Close();
      ReportSystemError("Unexpected error reading file", m_strFileName.GetString(), nullptr, error);
      return false;
    }
    m_nStreamAt = 0;
    m_nStreamCount = static_cast<std::size_t>(read);
  }
  n = std::min(wanted, m_nStreamCount - m_nStreamAt);
  chunk = m_pReadBuffer + m_nStreamAt;
  m_nStreamAt += n;
  // A file cut short while it is read ends where its bytes end.
  if (n < wanted) m_nRemainingBytes = 0;
  else m_nRemainingBytes -= static_cast<std::int64_t>(wanted);
  return true;
}

int CKXSQLFile::DecodeNextChunk(const unsigned char*& chunk, std::size_t& bytes, const char*& decoded,
                                unsigned int& count) {
  if (!TakeChunk(chunk, bytes)) return -1;
  const unsigned int n = static_cast<unsigned int>(bytes);
  // The last chunk ends the input, so that a character left incomplete at
  // the end of the file is not lost silently.
  const int ok = m_nRemainingBytes == 0 ? m_pDecoder->DecodeLast(chunk, n, decoded, count)
                                        : m_pDecoder->Decode(chunk, n, decoded, count);
  return ok ? 1 : 0;
}

bool CKXSQLFile::ReadChunk() {
  m_pWindowBegin = nullptr;
  m_pWindowPos = nullptr;
  m_pWindowEnd = nullptr;
  m_nWindowBytes = 0;
  m_nBegunChunks = 0;
  const char* decoded = nullptr;
  unsigned int count = 0;
  if (m_nAheadState != 0) {
    // Decoded while the window before was extended.
    const bool ok = m_nAheadState == 1;
    decoded = m_pAhead;
    count = m_nAheadCount;
    m_nAheadState = 0;
    m_pAhead = nullptr;
    m_nAheadCount = 0;
    m_nAheadBytes = 0;
    if (!ok) return false;
  } else {
    const unsigned char* chunk = nullptr;
    std::size_t bytes = 0;
    if (DecodeNextChunk(chunk, bytes, decoded, count) != 1) return false;
    if (decoded == reinterpret_cast<const char*>(chunk) && count == bytes) m_nWindowBytes = bytes;
  }
  m_pWindowBegin = decoded;
  m_pWindowPos = decoded;
  m_pWindowEnd = decoded != nullptr ? decoded + count : nullptr;
  if (m_nWindowBytes == kChunkSize) ExtendInPlace();
  return true;
}

void CKXSQLFile::ExtendInPlace() {
  // Only whole chunks that the read buffer holds join: reading on would
  // refill the buffer under the window.
  while (m_nRemainingBytes > 0) {
    const std::size_t next =
        m_nRemainingBytes < kChunkSize ? static_cast<std::size_t>(m_nRemainingBytes) : kChunkSize;
    if (m_nStreamCount - m_nStreamAt < next) return;
    const unsigned char* chunk = nullptr;
    std::size_t bytes = 0;
    const char* decoded = nullptr;
    unsigned int count = 0;
    const int rc = DecodeNextChunk(chunk, bytes, decoded, count);  // no read: the bytes are in the buffer
    if (rc == 1 && decoded == m_pWindowEnd && count == bytes) {
      m_pWindowEnd += bytes;
      m_nWindowBytes += bytes;
      continue;
    }
    // Read as the next window, or failed there; its bytes are taken.
    m_nAheadState = rc == 1 ? 1 : 2;
    m_pAhead = decoded;
    m_nAheadCount = rc == 1 ? count : 0;
    m_nAheadBytes = bytes;
    return;
  }
}

void CKXSQLFile::UngetChar() {
  // Never back before the window: a refill leaves the position at 1, so the
  // one character of push-back the tokenizer needs is always there.
  if (m_pWindowPos > m_pWindowBegin) --m_pWindowPos;
}

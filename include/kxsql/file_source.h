/// @file
/// kxsql file source: a script file in any encoding the host recognises,
/// read in 4096-byte chunks and delivered as UTF-8 characters.
///
/// @code
/// CKXSQLFile file;
/// if (file.Open("schema.sql") == 1)
///   while (file.GetNextStmt(stmt, &tr, nullptr) == 0) run(stmt.GetText());
/// @endcode
#pragma once

#include <cstdint>

#include "kxcom/encoding.h"
#include "kxcom/kxstring.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/stream.h"

/// A script file read as a stream of UTF-8 characters, whatever its encoding:
/// the file is read in 4096-byte chunks, each decoded whole, so memory stays
/// flat however large the file. It owns its open file, its read buffer and
/// its decoder. Not copyable.
class KXSQL_EXPORT CKXSQLFile : public CKXSQLStreamT<char> {
 public:
  /// Closed.
  CKXSQLFile();
  /// Closes the file and frees the read buffer.
  ~CKXSQLFile() override;
  CKXSQLFile(const CKXSQLFile&) = delete;
  CKXSQLFile& operator=(const CKXSQLFile&) = delete;

  /// Opens a script file: detects its encoding from its first bytes, skips a
  /// byte-order mark, and makes a decoder. A file that was open is closed
  /// first. Returns 1 on success, 0 on failure, reported to the message sink
  /// with the file's name and the system's reason ("Failed to open file for
  /// reading 'x.sql': No such file or directory"). A directory does not open.
  ///
  /// While open, the file holds a shared read lock (an open file description
  /// lock): cooperating writers, which take a write lock first, are kept out,
  /// and Open fails with "Failed to open file for reading" on a file that
  /// another process holds locked for writing. On Linux these locks are
  /// advisory: a writer that takes no lock is not stopped. Where the file
  /// system has no locks the file is read without one.
  int Open(const char* path);
  void Close() override;
  bool IsEOF() const override;
  bool IsOpen() const override;
  /// In bytes of the file, byte-order mark included; the low 32 bits.
  ///@{
  unsigned int GetDoneCount() const override;
  unsigned int GetTotalCount() const override;
  ///@}
  /// Resets the read counters: an open file then reports its end at once.
  void InitReadInfo() noexcept;

  /// The path given to the last successful Open.
  const char* GetFileName() const noexcept { return m_strFileName.GetString(); }
  /// The encoding detected by the last successful Open.
  const OFENCODING* GetEncoding() const noexcept { return m_pEncoding; }
  /// Full 64-bit byte counts, for progress over files of 4 GiB and more.
  /// GetTotalBytes is -1 when no file is read; GetRemainingBytes counts the
  /// bytes of the chunks that reading has not begun.
  ///@{
  std::int64_t GetTotalBytes() const noexcept { return m_nTotalBytes; }
  std::int64_t GetRemainingBytes() const noexcept;
  ///@}

 protected:
  /// No read buffer, no decoder, read counters reset.
  void Init() noexcept;
  /// Delivers the next character of the current chunk; at its end, reads and
  /// decodes the next 4096 bytes. A chunk that yields no character (it only
  /// began one) is passed over for the next. The last chunk is decoded as the
  /// end of the input: a character left incomplete there comes out as U+FFFD.
  char GetChar(bool& eof) override;
  void UngetChar() override;

 private:
  static constexpr unsigned int kChunkSize = 4096;
  /// The input stream's buffer: the file is read this many bytes at a time.
  static constexpr unsigned int kStreamBufferSize = 16 * kChunkSize;
  /// Reads and decodes the next chunk. False when the read failed (the file
  /// is then closed and the failure reported) or the chunk did not decode.
  bool ReadChunk();
  /// Takes the next chunk's raw bytes from the read buffer, refilling it
  /// when it is used up. False when the read failed.
  bool TakeChunk(const unsigned char*& chunk, std::size_t& n);
  /// Takes the next chunk and decodes it: 1, 0 when it did not decode, -1
  /// when the read failed.
  int DecodeNextChunk(const unsigned char*& chunk, std::size_t& bytes, const char*& decoded, unsigned int& count);
  /// Lets the chunks after an in-place window join it while they decode in
  /// place too; the first that does not is kept as the next window.
  void ExtendInPlace();
  /// Bytes taken from the file whose chunk reading has not begun.
  std::int64_t UnbegunBytes() const noexcept;
  char NextChunkChar(bool& eof);
  /// Reports a failed system call with the file's name, errno kept.
  static void ReportSystemError(const char* text, const char* name, const char* source, int error);

  CKXStringA m_strFileName;
  int m_nFile = -1;  ///< the open file's descriptor
  TextDecoder* m_pDecoder = nullptr;
  const OFENCODING* m_pEncoding = nullptr;
  std::int64_t m_nTotalBytes = -1;
  /// Bytes after the byte-order mark not taken into a chunk yet; the next
  /// chunk starts at m_nTotalBytes - m_nRemainingBytes.
  std::int64_t m_nRemainingBytes = 0;
  /// The read buffer: the file's raw bytes, read kStreamBufferSize at a
  /// time. The current chunk is the up to 4096 bytes before m_nStreamAt;
  /// the bytes from m_nStreamAt to m_nStreamCount are still to be taken.
  unsigned char* m_pReadBuffer = nullptr;
  std::size_t m_nStreamAt = 0;
  std::size_t m_nStreamCount = 0;
  /// A window of valid UTF-8 spans the chunks that follow in the read
  /// buffer as long as they decode to themselves, so that reading runs on
  /// across them: m_nWindowBytes is its size in bytes (then also in
  /// characters), and m_nBegunChunks how many of its chunks reading has
  /// begun, for the progress counts, which go a chunk at a time.
  std::size_t m_nWindowBytes = 0;
  mutable std::size_t m_nBegunChunks = 0;
  /// The chunk decoded after the window that did not decode in place: the
  /// next window (m_nAheadState 1), or a chunk that failed to decode (2).
  int m_nAheadState = 0;
  const char* m_pAhead = nullptr;
  unsigned int m_nAheadCount = 0;
  std::size_t m_nAheadBytes = 0;
  // The current chunk's characters, in the decoder's storage (or in the read
  // buffer itself, for UTF-8 that needs no change), are the read window
  // (m_pWindowBegin to m_pWindowEnd); m_pWindowPos is the next one to
  // deliver. All null when nothing is decoded.
};

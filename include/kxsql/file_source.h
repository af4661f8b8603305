// kxsql file source: a script file in any encoding the host recognises,
// read in 4096-byte chunks and delivered as UTF-8 characters.
//
//   CKXSQLFile file;
//   if (file.Open("schema.sql") == 1)
//     while (file.GetNextStmt(stmt, &tr, nullptr) == 0) run(stmt.GetText());
#pragma once

#include <cstdint>

#include "kxcom/encoding.h"
#include "kxcom/kxstring.h"
#include "kxsql/kxsql_export.h"
#include "kxsql/stream.h"

class KXSQL_EXPORT CKXSQLFile : public CKXSQLStreamT<char> {
 public:
  // Closed.
  CKXSQLFile();
  // Closes the file and frees the read buffer.
  ~CKXSQLFile() override;
  CKXSQLFile(const CKXSQLFile&) = delete;
  CKXSQLFile& operator=(const CKXSQLFile&) = delete;

  // Opens a script file: detects its encoding from its first bytes, skips a
  // byte-order mark, and makes a decoder. A file that was open is closed
  // first. Returns 1 on success, 0 on failure (reported to the message sink
  // with the file's name and the system's reason). While open, the file holds
  // a shared read lock: cooperating writers are kept out, and Open fails on a
  // file that another process holds locked for writing. The locks are
  // advisory (open file description locks): a writer that takes no lock is
  // not stopped.
  int Open(const char* path);
  void Close() override;
  bool IsEOF() const override;
  bool IsOpen() const override;
  // In bytes of the file, byte-order mark included; the low 32 bits.
  unsigned int GetDoneCount() const override;
  unsigned int GetTotalCount() const override;
  // Resets the read counters: an open file then reports its end at once.
  void InitReadInfo() noexcept;

  // The path given to the last successful Open.
  const char* GetFileName() const noexcept { return m_strFileName.GetString(); }
  // The encoding detected by the last successful Open.
  const OFENCODING* GetEncoding() const noexcept { return m_pEncoding; }
  // Full 64-bit byte counts, for progress over files of 4 GiB and more.
  std::int64_t GetTotalBytes() const noexcept { return m_nTotalBytes; }
  std::int64_t GetRemainingBytes() const noexcept { return m_nRemainingBytes; }

 protected:
  // No read buffer, no decoder, read counters reset.
  void Init() noexcept;
  char GetChar(bool& eof) override;
  void UngetChar() override;

 private:
  bool ReadChunk();

  CKXStringA m_strFileName;
  int m_nFile = -1;  // the open file's descriptor
  TextDecoder* m_pDecoder = nullptr;
  const OFENCODING* m_pEncoding = nullptr;
  std::int64_t m_nTotalBytes = -1;
  std::int64_t m_nRemainingBytes = 0;
  unsigned char* m_pReadBuffer = nullptr;
  const char* m_pDecoded = nullptr;
  unsigned int m_nDecodedCount = 0;
  unsigned int m_nReadPos = 0;
};

// The two in-memory forms of a script that the module reads: a Python str,
// which is text already, and bytes, which are decoded as a file's would be.
#pragma once

#include <cstddef>
#include <string>

#include "cli/line_counter.h"
#include "cli/script_input.h"
#include "kxsql.h"

namespace kxsql::python {

// UTF-8 text held by the caller (a str's own buffer), read as a stream that
// counts lines as the tool's file source does. Unlike the library's text
// source it takes a length, so that a NUL character is read as a file's
// would be (the tokenizer makes an empty token of it) instead of ending the
// text. The tokenizer reads the text itself: the read window spans it all.
class ScriptText final : public CKXSQLStreamT<char> {
 public:
  ScriptText(const char* text, std::size_t size) noexcept;

  void Close() override;
  bool IsEOF() const override;
  bool IsOpen() const override { return open_; }
  unsigned int GetDoneCount() const override;
  unsigned int GetTotalCount() const override;

  // The next character to read, counted from the start of the text.
  std::size_t Position() const noexcept { return static_cast<std::size_t>(m_pWindowPos - m_pWindowBegin); }
  // Where `size` bytes at `text` stand in the text, searched from `from` on
  // past blanks; kNotFound when they are not there.
  std::size_t Find(const char* text, std::size_t size, std::size_t from) const noexcept;
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

  // As ScriptFile has them.
  void BeginStatement() noexcept;
  unsigned long long StatementLine(const SQLStmtT<char>& stmt);

 protected:
  char GetChar(bool& eof) override;
  void UngetChar() override;

 private:
  const char* counted_to_;
  kxsql::cli::LineCounter lines_;
  bool open_ = true;
};

// Opens `file` on a copy of `size` bytes at `data`, held in an anonymous
// memory file, so that they are decoded exactly as the file source decodes a
// file (byte-order marks, UTF-16 and UTF-32, Windows-1252 bytes in UTF-8).
// With `utf8_text` the bytes are a str's UTF-8, read as UTF-8 whatever they
// look like (a str "a\0b\0" is no UTF-16). False with the reason in `error`.
bool OpenScriptBytes(const char* data, std::size_t size, bool utf8_text, kxsql::cli::ScriptFile& file,
                     std::string& error);

}  // namespace kxsql::python

// The file source over any bytes, written to a file:
// - it opens, every read ends, and the byte counts only grow, ending at the
//   file's size;
// - its characters are the file decoded whole by the same decoder (chunk by
//   chunk, as the file source feeds it), less the NUL characters that end a
//   token read;
// - the tokens are the same whether the tokenizer reads the source's window
//   or every character through GetChar and UngetChar (a derived class);
// - when the decoded text holds no NUL, splitting the file gives the same
//   statements as splitting the decoded text in memory.
// Each input is checked as it is, and once more behind blanks that put its
// middle on the first 4096-byte chunk boundary. The last byte picks the DBMS
// type of the split.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

const DBMSTYPE* const kTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};
constexpr std::size_t kChunk = 4096;

struct Statement {
  long rc;
  std::string text, parsed;
  bool operator==(const Statement& other) const {
    return rc == other.rc && text == other.text && parsed == other.parsed;
  }
};

// One file per fuzzing process, rewritten for every input and removed when
// the process ends normally.
struct ScratchFile {
  ScratchFile()
      : path((std::filesystem::temp_directory_path() / ("kxsql-fuzz-file-" + std::to_string(getpid()) + ".sql"))
                 .string()) {}
  ~ScratchFile() { std::remove(path.c_str()); }
  const std::string path;
};

const std::string& ScratchPath() {
  static const ScratchFile file;
  return file.path;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr, "cannot write the scratch file");
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size, "cannot write the scratch file");
  std::fclose(f);
}

// The file's text as the file source must deliver it: the encoding found in
// the first bytes, the mark skipped, the rest decoded in the file source's
// chunks by a decoder of that encoding, the last chunk ending the input.
std::string Decode(const std::uint8_t* data, std::size_t size) {
  bool has_bom = false;
  const OFENCODING& encoding =
      OFENCODING::GetFromBuf(has_bom, data, static_cast<unsigned int>(std::min<std::size_t>(size, 10)));
  std::size_t at = has_bom ? std::min<std::size_t>(encoding.BOMLength(), size) : 0;
  std::unique_ptr<TextDecoder> decoder(encoding.CreateDecoder(kChunk));
  FUZZ_CHECK(decoder && decoder->IsValid(), "no decoder for a detected encoding");
  std::string text;
  while (at < size) {
    const unsigned int n = static_cast<unsigned int>(std::min(kChunk, size - at));
    const char* out = nullptr;
    unsigned int out_count = 0;
    at += n;
    const int ok = at == size ? decoder->DecodeLast(data + at - n, n, out, out_count)
                              : decoder->Decode(data + at - n, n, out, out_count);
    if (ok && out_count > 0) text.append(out, out_count);
  }
  return text;
}

std::vector<Statement> SplitFile(const std::string& path, CKXTr& tr, std::size_t cap) {
  CKXSQLFile file;
  FUZZ_CHECK(file.Open(path.c_str()) == 1, "the scratch file does not open");
  SQLStmtT<char> stmt;
  std::vector<Statement> statements;
  long rc;
  do {
    FUZZ_CHECK(statements.size() <= cap, "splitting the file does not progress");
    rc = file.GetNextStmt(stmt, &tr, nullptr);
    FUZZ_CHECK(rc == 0 || rc == 1, "an open file failed to split");
    statements.push_back({rc, stmt.GetText(), stmt.GetParsedText()});
  } while (rc == 0 || (rc == 1 && !file.IsEOF()));
  FUZZ_CHECK(file.GetDoneCount() == file.GetTotalCount(), "the split did not reach the end of the file");
  return statements;
}

std::vector<Statement> SplitText(const std::string& text, CKXTr& tr) {
  CKXSQLTextT<char> source(text.c_str());
  SQLStmtT<char> stmt;
  std::vector<Statement> statements;
  long rc;
  do {
    FUZZ_CHECK(statements.size() <= text.size() + 1, "splitting the text does not progress");
    rc = source.GetNextStmt(stmt, &tr, nullptr);
    FUZZ_CHECK(rc == 0 || rc == 1, "an open text failed to split");
    statements.push_back({rc, stmt.GetText(), stmt.GetParsedText()});
  } while (rc == 0);
  return statements;
}

std::string WithoutNul(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

// A class derived from the file source: the tokenizer then reads every
// character through GetChar and UngetChar instead of the source's window.
class ThroughVirtuals : public CKXSQLFile {};

// Every token of the file at `path`, checking the counts on the way.
std::vector<SQLToken<char>> ReadTokens(CKXSQLFile& file, const std::string& path, std::size_t size,
                                       std::size_t cap) {
  FUZZ_CHECK(file.Open(path.c_str()) == 1, "the scratch file does not open");
  FUZZ_CHECK(file.GetTotalCount() == size, "the total count is not the file's size");
  std::vector<SQLToken<char>> tokens;
  SQLToken<char> token;
  std::size_t reads = 0;
  unsigned int done = file.GetDoneCount();
  for (;;) {
    FUZZ_CHECK(++reads <= cap, "reading the file does not progress");
    const long rc = file.GetToken(token, 0);
    FUZZ_CHECK(rc == 0 || rc == 1, "an open file failed to give a token");
    const unsigned int now = file.GetDoneCount();
    FUZZ_CHECK(now >= done && now <= file.GetTotalCount(), "the done count went back or past the total");
    done = now;
    if (rc == 0) {
      FUZZ_CHECK(token.GetLength() > 0, "a produced token is empty");
      tokens.push_back(token);
    } else if (file.IsEOF()) {
      break;
    }
  }
  FUZZ_CHECK(done == size, "the done count at the end is not the file's size");
  return tokens;
}

void CheckFile(const std::uint8_t* data, std::size_t size, const DBMSTYPE& type) {
  const std::string& path = ScratchPath();
  WriteFile(path, data, size);
  const std::string decoded = Decode(data, size);
  // Every read takes at least one character; the decoded text is its bound.
  const std::size_t cap = decoded.size() + 2;

  CKXSQLFile file;
  const std::vector<SQLToken<char>> tokens = ReadTokens(file, path, size, cap);
  std::string joined;
  for (const SQLToken<char>& token : tokens) joined.append(token.GetText(), token.GetLength());
  FUZZ_CHECK(WithoutNul(joined) == WithoutNul(decoded), "the file's tokens are not its decoded text");
  FUZZ_CHECK(decoded.find('\0') != std::string::npos || joined == decoded,
             "the file's tokens lost characters of its decoded text");
  ThroughVirtuals slow;
  const std::vector<SQLToken<char>> slow_tokens = ReadTokens(slow, path, size, cap);
  FUZZ_CHECK(slow_tokens.size() == tokens.size() &&
                 std::equal(tokens.begin(), tokens.end(), slow_tokens.begin(), kxsql::fuzz::SameToken<char>),
             "reading through GetChar and UngetChar gives other tokens than reading the window");

  static CKXTr tr;
  tr.SetDBMSType(type);
  const std::vector<Statement> from_file = SplitFile(path, tr, cap);
  if (decoded.empty()) {
    FUZZ_CHECK(from_file.size() == 1 && from_file[0].rc == 1 && from_file[0].text.empty(),
               "an empty file gave a statement");
  } else if (decoded.find('\0') == std::string::npos) {
    FUZZ_CHECK(from_file == SplitText(decoded, tr), "the file splits differently from its decoded text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DBMSTYPE& type = *kTypes[size ? data[size - 1] % 10 : 0];
  CheckFile(data, size, type);
  // The same bytes behind blanks that put the middle of the input on the
  // first chunk boundary: a token, a character or a push-back cut in two
  // there is what the chunked reading must get right, and inputs seldom
  // grow that long by themselves.
  if (size < 2 * kChunk) {
    std::vector<std::uint8_t> padded(kChunk - size / 2, ' ');
    padded.insert(padded.end(), data, data + size);
    CheckFile(padded.data(), padded.size(), type);
  }
  return 0;
}

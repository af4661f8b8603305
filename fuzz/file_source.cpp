// The file source over any bytes, written to a file:
// - it opens, every read ends, and the byte counts only grow, ending at the
//   file's size;
// - its characters are the file decoded whole by the same decoder (chunk by
//   chunk, as the file source feeds it), less the NUL characters that end a
//   token read;
// - the tokens are the same whether the tokenizer reads the source's window
//   or every character through GetChar and UngetChar (a derived class), and
//   when the decoded text holds no NUL, they are the tokens of that text in
//   memory: the statements, made of tokens alone, are then the same too.
// Each input is checked as it is, and once more behind blanks that put its
// middle on the first 4096-byte chunk boundary.
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

constexpr std::size_t kChunk = 4096;

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

std::string WithoutNul(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

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

bool SameTokens(const std::vector<SQLToken<char>>& a, const std::vector<SQLToken<char>>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), kxsql::fuzz::SameToken<char>);
}

void CheckFile(const std::uint8_t* data, std::size_t size) {
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
  kxsql::fuzz::ThroughVirtuals<CKXSQLFile> slow;
  FUZZ_CHECK(SameTokens(ReadTokens(slow, path, size, cap), tokens),
             "reading through GetChar and UngetChar gives other tokens than reading the window");
  if (decoded.empty() || decoded.find('\0') != std::string::npos) return;
  CKXSQLTextT<char> memory(decoded.c_str());
  std::vector<SQLToken<char>> in_memory;
  SQLToken<char> token;
  while (memory.GetToken(token, 0) == 0) in_memory.push_back(token);
  FUZZ_CHECK(SameTokens(tokens, in_memory), "the file's tokens are not those of its decoded text in memory");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckFile(data, size);
  // The same bytes behind blanks that put the middle of the input on the
  // first chunk boundary: a token, a character or a push-back cut in two
  // there is what the chunked reading must get right, and inputs seldom
  // grow that long by themselves.
  if (size < 2 * kChunk) {
    std::vector<std::uint8_t> padded(kChunk - size / 2, ' ');
    padded.insert(padded.end(), data, data + size);
    CheckFile(padded.data(), padded.size());
  }
  return 0;
}

// The two ways of splitting give the same statements: cutting them from the
// read window in whole runs, and reading every token through GetToken (the
// reference). After every statement they must agree on the result, the
// three texts, the first and last tokens, the counts, the side effect and
// where the stream stands (tests/support/split_paths.h).
//
// The first byte picks the DBMS type (byte % 10) and the flags word
// ((byte / 10) % 8: the one the DBMS type gives, or one of seven others);
// the second how far the script starts into the file source's first chunk,
// behind blank lines or a comment, so that statements cross the 4096-byte
// chunk boundary; the rest is the script. Each input is split as 8-bit text,
// as 16-bit text (each byte a unit, and each pair of bytes a unit) and from
// a file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/support/split_paths.h"

namespace {

const DBMSTYPE* const kTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};
// 0 stands for the flags word of the DBMS type; 0x200 leaves the token that
// ends a block's seek out of the statement.
const unsigned long kFlags[] = {0, 0x0, 0x1, 0x10, 0x100, 0x111, 0x11, 0x311};

template <class T>
void Compare(const std::vector<T>& text, const kxsql::testing::SplitCall& call, const char* what) {
  CKXSQLTextT<T> fast(text.data());
  CKXSQLTextT<T> reference(text.data());
  const std::string difference = kxsql::testing::CompareSplitPaths<T>(fast, reference, call, text.size() + 2);
  if (!difference.empty()) std::fprintf(stderr, "%s: %s\n", what, difference.c_str());
  FUZZ_CHECK(difference.empty(), "the run-based and the token path split differently");
}

const std::string& ScratchPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("kxsql-fuzz-paths-" + std::to_string(getpid()) + ".sql")).string();
  return path;
}

void CompareFile(const std::string& bytes, const kxsql::testing::SplitCall& call) {
  const std::string& path = ScratchPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(),
             "cannot write the scratch file");
  std::fclose(f);
  CKXSQLFile fast;
  CKXSQLFile reference;
  FUZZ_CHECK(fast.Open(path.c_str()) == 1 && reference.Open(path.c_str()) == 1, "cannot open the scratch file");
  const std::string difference = kxsql::testing::CompareSplitPaths<char>(fast, reference, call, bytes.size() + 2);
  if (!difference.empty()) std::fprintf(stderr, "file: %s\n", difference.c_str());
  FUZZ_CHECK(difference.empty(), "the run-based and the token path split a file differently");
  std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static CKXTr tr;
  tr.SetDBMSType(*kTypes[data[0] % 10]);
  const unsigned long flags = kFlags[(data[0] / 10) % 8];
  const kxsql::testing::SplitCall call{&tr, (data[0] / 10) % 8 != 0, flags};
  const std::uint8_t* script = data + 2;
  const std::size_t length = size - 2;

  const std::vector<char> narrow = kxsql::fuzz::NarrowText(script, length);
  if (narrow.size() > 1) {
    Compare(narrow, call, "8-bit text");
    Compare(kxsql::fuzz::WidenedText(narrow), call, "16-bit text, a unit per byte");
  }
  const std::vector<unsigned short> units = kxsql::fuzz::UnitText(script, length);
  if (units.size() > 1) Compare(units, call, "16-bit text, a unit per two bytes");

  // The script starts `pad` bytes before the end of the first chunk.
  const std::size_t pad = 4096 - 1 - (data[1] % 64) * 5;
  std::string bytes = (data[1] & 0x80) != 0 ? "--" + std::string(pad - 3, '-') + "\n" : std::string(pad, '\n');
  bytes.append(reinterpret_cast<const char*>(script), length);
  CompareFile(bytes, call);
  return 0;
}

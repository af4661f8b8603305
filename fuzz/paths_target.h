// The differential fuzz targets' input and checks: two ways of splitting give
// the same statements, the run-based one against reading token by token (or
// under the native rules, lexeme by lexeme through the client's lexer).
// After every statement they must agree on the result, the three texts, the
// first and last tokens, the counts, the side effect, the kind, the repeat
// count, the data, what the input ended inside and where the stream stands
// (tests/support/split_paths.h).
//
// The first byte picks the DBMS type (byte % 10) and the flags word
// ((byte / 10) % 8: the one the DBMS type gives, or one of seven others);
// the second how far the script starts into the file source's first chunk,
// behind blank lines or a comment, so that statements cross the 4096-byte
// chunk boundary; the rest is the script. Each input is split as 8-bit text,
// as 16-bit text (each byte a unit, and each pair of bytes a unit) and from
// a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/support/split_paths.h"

namespace kxsql::fuzz {

// 0 stands for the flags word of the DBMS type; 0x200 leaves the token that
// ends a block's seek out of the statement.
inline const unsigned long kFlags[] = {0, 0x0, 0x1, 0x10, 0x100, 0x111, 0x11, 0x311};

template <class T>
void ComparePathsOn(const std::vector<T>& text, const testing::SplitCall& call, int rules, const char* what) {
  const std::string difference = testing::CompareTextPaths<T>(text.data(), text.size(), call, rules);
  if (!difference.empty()) std::fprintf(stderr, "%s: %s\n", what, difference.c_str());
  FUZZ_CHECK(difference.empty(), "the run-based and the token path split differently");
}

inline int ComparePaths(const std::uint8_t* data, std::size_t size, int rules) {
  if (size < 3) return 0;
  static CKXTr tr;
  tr.SetDBMSType(*kTypes[data[0] % 10]);
  const unsigned long flags = kFlags[(data[0] / 10) % 8];
  const testing::SplitCall call{&tr, (data[0] / 10) % 8 != 0, flags};
  const std::uint8_t* script = data + 2;
  const std::size_t length = size - 2;

  const std::vector<char> narrow = NarrowText(script, length);
  if (narrow.size() > 1) {
    ComparePathsOn(narrow, call, rules, "8-bit text");
    ComparePathsOn(WidenedText(narrow), call, rules, "16-bit text, a unit per byte");
  }
  const std::vector<unsigned short> units = UnitText(script, length);
  if (units.size() > 1) ComparePathsOn(units, call, rules, "16-bit text, a unit per two bytes");

  // The script starts `pad` bytes before the end of the first chunk.
  const std::size_t pad = 4096 - 1 - (data[1] % 64) * 5;
  std::string bytes = (data[1] & 0x80) != 0 ? "--" + std::string(pad - 3, '-') + "\n" : std::string(pad, '\n');
  bytes.append(reinterpret_cast<const char*>(script), length);
  const std::string difference = testing::CompareFilePaths(bytes, call, rules);
  if (!difference.empty()) std::fprintf(stderr, "file: %s\n", difference.c_str());
  FUZZ_CHECK(difference.empty(), "the run-based and the token path split a file differently");
  return 0;
}

}  // namespace kxsql::fuzz

// Reading tokens, and comparing two scripts token by token.
//
//   compare_scripts old.sql new.sql
//
// Two scripts that differ only in layout, comments and the letter case of
// their words are the same script: blanks, line ends and comments are not
// compare tokens, and words compare without case. Quoted strings keep theirs.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <kxsql.h>

namespace {

bool ReadWhole(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: compare_scripts FIRST SECOND\n");
    return 64;
  }
  std::string first, second;
  if (!ReadWhole(argv[1], first) || !ReadWhole(argv[2], second)) {
    std::fprintf(stderr, "cannot read the scripts\n");
    return 2;
  }

  // A text source reads the caller's text in place; it neither copies nor
  // frees it. GetCompareToken skips the tokens that do not take part in
  // comparison, and says 1 at the end.
  CKXSQLTextT<char> source(first.c_str());
  SQLToken<char> token;
  int significant = 0;
  while (source.GetCompareToken(token) == 0) {
    if (significant < 8) std::printf("%-10s %s\n", token.GetType().GetName(), token.GetText());
    ++significant;
  }
  std::printf("%s: %d significant tokens\n", argv[1], significant);

  // Set starts the source again from the beginning of its text.
  source.Set(first.c_str());
  switch (source.CompareTextNoCase(second.c_str())) {
    case 0:
      std::printf("the scripts are the same, token by token\n");
      return 0;
    case 2:
      std::printf("the first script could not be read\n");
      return 2;
    default:
      std::printf("the scripts differ\n");
      return 1;
  }
}

// Writes a generated script to a file, for the comparison with other
// splitters and the memory check.
//
//   kxsql_gen_corpus postgres 20M pg.sql
//   kxsql_gen_corpus postgres 20M pg16.sql --utf16le      (with a byte-order mark)
//   kxsql_gen_corpus sqlserver 20M ms.sql --seed 7
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/corpus.h"
#include "kxcom/kxstring.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: kxsql_gen_corpus FLAVOUR SIZE OUT [--seed N] [--utf16le]\n"
               "  FLAVOUR  postgres, sqlserver, oracle or nested\n"
               "  SIZE     at least this many bytes of UTF-8 text (suffix K, M or G)\n"
               "  OUT      the file to write\n");
  return 2;
}

bool ParseSize(const char* text, std::uint64_t& size) {
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  if (end == text) return false;
  std::uint64_t unit = 1;
  if (*end == 'K' || *end == 'k') unit = 1ull << 10;
  else if (*end == 'M' || *end == 'm') unit = 1ull << 20;
  else if (*end == 'G' || *end == 'g') unit = 1ull << 30;
  else if (*end != 0) return false;
  if (*end && end[1] != 0) return false;
  size = n * unit;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  kxsql::bench::Flavour flavour;
  std::uint64_t size = 0;
  if (!kxsql::bench::ParseFlavour(argv[1], flavour) || !ParseSize(argv[2], size)) return Usage();
  const char* out_path = argv[3];
  std::uint64_t seed = 1;
  bool utf16 = false;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--utf16le") == 0) utf16 = true;
    else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) seed = std::strtoull(argv[++i], nullptr, 10);
    else return Usage();
  }

  std::FILE* out = std::fopen(out_path, "wb");
  if (!out) {
    std::perror(out_path);
    return 1;
  }
  bool ok = true;
  if (utf16) ok = std::fwrite("\xFF\xFE", 1, 2, out) == 2;
  kxsql::bench::GenerateCorpus(flavour, size, seed, [&](const std::string& piece) {
    if (!ok) return;
    if (!utf16) {
      ok = std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
      return;
    }
    // Pieces end after whole statements, so no character is cut in two.
    const CKXStringW wide = KXWiden(piece.data(), piece.size());
    std::string le(wide.GetLength() * 2, '\0');
    for (std::size_t i = 0; i < wide.GetLength(); ++i) {
      le[2 * i] = static_cast<char>(wide[i] & 0xFF);
      le[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    ok = std::fwrite(le.data(), 1, le.size(), out) == le.size();
  });
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    std::perror(out_path);
    return 1;
  }
  return 0;
}

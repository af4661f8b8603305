// Reads the tokens of a text as "TYPE:text" strings (16-bit text narrowed to UTF-8).
#pragma once

#include <string>
#include <vector>

#include "support/test_text.h"

namespace kxsql::testing {

inline std::string TextOf(const char* p, std::size_t n) { return std::string(p, n); }
inline std::string TextOf(const unsigned short* p, std::size_t n) {
  CKXStringA a = KXNarrow(p, n);
  return std::string(a.GetString(), a.GetLength());
}

template <class T>
std::string Describe(const SQLToken<T>& token) {
  return std::string(token.GetType().GetName()) + ":" + TextOf(token.GetText(), token.GetLength());
}

// Every token of `source` until GetToken stops producing; `last_rc` gets the
// code that stopped it.
template <class T>
std::vector<std::string> ReadTokens(CKXSQLStreamT<T>& source, long* last_rc = nullptr) {
  std::vector<std::string> tokens;
  SQLToken<T> token;
  long rc;
  while ((rc = source.GetToken(token, 0)) == 0) tokens.push_back(Describe(token));
  if (last_rc) *last_rc = rc;
  return tokens;
}

}  // namespace kxsql::testing

// Keyword tests of the splitter: whether a token's text is a keyword, in any
// letter case.
#pragma once

#include <cstddef>
#include <type_traits>

#include "kxsql/token.h"

namespace kxsql::detail {

// The full test of IsKeyword, once the first letters agree.
template <class T>
bool IsKeywordAfterFirst(const SQLToken<T>& token, const T* keyword) {
  using Unit = std::make_unsigned_t<T>;
  std::size_t length = 0;
  for (; keyword[length] != 0; ++length)
    if (static_cast<Unit>(keyword[length]) >= 0x80) return token.Is(keyword);
  if (token.GetLength() != length) return false;
  return token.Is(keyword);
}

// token.Is(keyword), answered without the full comparison for most words.
// Every word of a script is tested against several keywords, and a keyword
// is ASCII: an ASCII letter folds only to its other case, and a character
// outside ASCII never folds into ASCII, so a word with another first letter
// or another length cannot be the keyword. A keyword that is not all ASCII
// goes to the full comparison.
template <class T>
inline bool IsKeyword(const SQLToken<T>& token, const T* keyword) {
  using Unit = std::make_unsigned_t<T>;
  if (keyword == nullptr) return token.Is(keyword);
  const unsigned first = static_cast<Unit>(keyword[0]) | 0x20u;
  const unsigned mine = static_cast<Unit>(token.GetText()[0]) | 0x20u;
  // Only a letter's two cases differ in bit 0x20 alone.
  if (mine != first && first >= 'a' && first <= 'z') return false;
  return IsKeywordAfterFirst(token, keyword);
}

}  // namespace kxsql::detail

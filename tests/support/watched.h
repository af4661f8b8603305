// A source derived from a text or file source that records every character
// its GetChar hands out, less those given back. For such a class the
// tokenizer must take every character through GetChar and UngetChar instead
// of the source's read window.
#pragma once

#include <string>

namespace kxsql::testing {

template <class Source, class T>
struct Watched : Source {
  using Source::Source;
  std::basic_string<T> delivered;

  T GetChar(bool& eof) override {
    const T c = Source::GetChar(eof);
    if (!eof) delivered.push_back(c);
    return c;
  }
  // The tokenizer steps back only after a character was delivered.
  void UngetChar() override {
    if (!delivered.empty()) delivered.pop_back();
    Source::UngetChar();
  }
};

}  // namespace kxsql::testing

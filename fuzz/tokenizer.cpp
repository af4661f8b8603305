// The tokenizer over any text, in both widths (the bytes as 8-bit text, and
// pairs of bytes as 16-bit units, lone surrogates included):
// - every call produces a non-empty token or ends, and the done count grows by
//   exactly the token's length, so no input can make it stall;
// - the tokens concatenate back to the text;
// - the tokens are the same whether the tokenizer reads the source's window
//   or every character through GetChar and UngetChar (a derived class).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

using kxsql::fuzz::SameToken;

// Every token of `source`, checking each call on the way.
template <class T>
std::vector<SQLToken<T>> ReadAll(CKXSQLTextT<T>& source, const std::vector<T>& text) {
  const std::size_t length = text.size() - 1;
  std::vector<SQLToken<T>> tokens;
  std::vector<T> joined;
  SQLToken<T> token;
  long rc;
  for (;;) {
    const unsigned int before = source.GetDoneCount();
    rc = source.GetToken(token, 0);
    if (rc != 0) break;
    FUZZ_CHECK(tokens.size() < length, "more tokens than characters");
    FUZZ_CHECK(token.GetLength() > 0, "a produced token is empty");
    FUZZ_CHECK(source.GetDoneCount() == before + token.GetLength(),
               "the done count did not grow by the token's length");
    joined.insert(joined.end(), token.GetText(), token.GetText() + token.GetLength());
    tokens.push_back(token);
  }
  FUZZ_CHECK(rc == 1, "an open text source ended with a failure");
  FUZZ_CHECK(token.GetLength() == 0 && token.Is(SQLTOKEN_TYPE::NONE), "the end came with a token");
  FUZZ_CHECK(source.IsEOF() && source.GetDoneCount() == length && source.GetTotalCount() == length,
             "the counts at the end are not the text's length");
  FUZZ_CHECK(joined.size() == length && std::equal(joined.begin(), joined.end(), text.begin()),
             "the tokens do not concatenate back to the text");
  FUZZ_CHECK(source.GetToken(token, 0) == 1, "the end is not repeated");
  return tokens;
}

template <class T>
void CheckText(const std::vector<T>& text) {
  CKXSQLTextT<T> source(text.data());
  if (text.size() == 1) {
    FUZZ_CHECK(!source.IsOpen(), "an empty text opens no source");
    return;
  }
  const std::vector<SQLToken<T>> tokens = ReadAll(source, text);
  kxsql::fuzz::ThroughVirtuals<CKXSQLTextT<T>> slow(text.data());
  const std::vector<SQLToken<T>> slow_tokens = ReadAll<T>(slow, text);
  FUZZ_CHECK(slow_tokens.size() == tokens.size() &&
                 std::equal(tokens.begin(), tokens.end(), slow_tokens.begin(), SameToken<T>),
             "reading through GetChar and UngetChar gives other tokens than reading the window");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckText(kxsql::fuzz::NarrowText(data, size));
  CheckText(kxsql::fuzz::UnitText(data, size));
  return 0;
}

// The tokenizer over any text, in both widths (the bytes as 8-bit text, and
// pairs of bytes as 16-bit units, lone surrogates included):
// - every call produces a non-empty token or ends, and the done count grows by
//   exactly the token's length, so no input can make it stall;
// - the tokens concatenate back to the text;
// - the tokens are the same whether the tokenizer reads the source's window
//   or every character through GetChar and UngetChar (a derived class);
// - reading ahead with PeekToken changes nothing about the tokens delivered;
// - the text compares equal to itself, token by token.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

using kxsql::fuzz::SameToken;

// A class derived from the text source: the tokenizer then reads every
// character through GetChar and UngetChar instead of the source's window.
template <class T>
class ThroughVirtuals : public CKXSQLTextT<T> {
 public:
  explicit ThroughVirtuals(const T* sql) : CKXSQLTextT<T>(sql) {}
  using CKXSQLStreamT<T>::PeekToken;
};

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
bool SameTokens(const std::vector<SQLToken<T>>& a, const std::vector<SQLToken<T>>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameToken<T>);
}

template <class T>
void CheckText(const std::vector<T>& text) {
  const std::size_t length = text.size() - 1;
  CKXSQLTextT<T> source(text.data());
  if (length == 0) {
    FUZZ_CHECK(!source.IsOpen(), "an empty text opens no source");
    return;
  }
  const std::vector<SQLToken<T>> tokens = ReadAll(source, text);
  ThroughVirtuals<T> slow(text.data());
  FUZZ_CHECK(SameTokens(ReadAll<T>(slow, text), tokens),
             "reading through GetChar and UngetChar gives other tokens than reading the window");

  // Peek one, two or three tokens ahead, then take one more than peeked.
  ThroughVirtuals<T> ahead(text.data());
  SQLToken<T> token;
  long rc = 0;
  std::size_t next = 0;
  bool ended = false;
  for (unsigned int round = 0; !ended; ++round) {
    FUZZ_CHECK(round <= length, "reading ahead does not progress");
    const unsigned int peeks = round % 3 + 1;
    for (unsigned int i = 0; i < peeks; ++i)
      if (!ahead.PeekToken(token)) break;
    for (unsigned int i = 0; i <= peeks && !ended; ++i) {
      rc = ahead.GetToken(token, 0);
      if (rc != 0) {
        ended = true;
      } else {
        FUZZ_CHECK(next < tokens.size() && SameToken(token, tokens[next]),
                   "a token read ahead differs from the one read in turn");
        ++next;
      }
    }
  }
  FUZZ_CHECK(rc == 1 && next == tokens.size(), "reading ahead lost or added tokens");

  CKXSQLTextT<T> same(text.data());
  FUZZ_CHECK(same.CompareText(text.data(), true) == 0, "a text differs from itself");
  CKXSQLTextT<T> same_no_case(text.data());
  FUZZ_CHECK(same_no_case.CompareTextNoCase(text.data()) == 0, "a text differs from itself ignoring case");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckText(kxsql::fuzz::NarrowText(data, size));
  CheckText(kxsql::fuzz::UnitText(data, size));
  return 0;
}

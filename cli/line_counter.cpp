#include "cli/line_counter.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kxsql::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Counts the line ends from `from` to `end` into `line`. CR LF ends one
// line, at its CR.
void CountLineEnds(const char* from, const char* end, unsigned long long& line, bool& after_cr) noexcept {
  for (const char* p = from; p < end; ++p) {
    if (*p == '\r' || (*p == '\n' && !after_cr)) ++line;
    after_cr = *p == '\r';
  }
}

// The line feeds in [p, end), or false when a carriage return stands among
// them: 64 bytes at a time where there is SSE2, each byte lane counting up
// to 252 of them before the lanes are summed.
bool CountLineFeeds(const char* p, const char* end, unsigned long long& count) noexcept {
  unsigned long long found = 0;
#if defined(__SSE2__)
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  __m128i crs = _mm_setzero_si128();
  const auto matches = [&](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    crs = _mm_or_si128(crs, _mm_cmpeq_epi8(bytes, carriage_return));
    return _mm_cmpeq_epi8(bytes, line_feed);
  };
  const auto sum = [](__m128i lanes) {
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return static_cast<unsigned long long>(_mm_cvtsi128_si32(sums)) +
           static_cast<unsigned long long>(_mm_extract_epi16(sums, 4));
  };
  while (end - p >= 64) {
    __m128i lanes = _mm_setzero_si128();
    const char* const block_end = p + 64 * std::min<std::ptrdiff_t>((end - p) / 64, 63);
    for (; p < block_end; p += 64) {
      const __m128i four = _mm_add_epi8(_mm_add_epi8(matches(p), matches(p + 16)),
                                        _mm_add_epi8(matches(p + 32), matches(p + 48)));
      lanes = _mm_sub_epi8(lanes, four);
    }
    found += sum(lanes);
  }
  __m128i lanes = _mm_setzero_si128();
  for (; end - p >= 16; p += 16) lanes = _mm_sub_epi8(lanes, matches(p));
  found += sum(lanes);
  if (_mm_movemask_epi8(crs) != 0) return false;
#endif
  for (; p < end; ++p) {
    if (*p == '\r') return false;
    found += *p == '\n';
  }
  count += found;
  return true;
}

bool IsAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// Most statements begin with a word, or with comments and then a word: the
// word is the first compare token. Passes over the blanks and the `--` and
// `/* */` comments before it, counting their line ends into `line`; false
// for any other start, which the tokenizer then reads.
bool LineOfLeadingWord(const char* p, unsigned long long& line) noexcept {
  unsigned long long counted = line;
  bool after_cr = false;
  for (;;) {
    const char* end;
    if (IsAsciiLetter(*p)) {
      line = counted;
      return true;
    }
    if (IsBlank(*p)) {
      end = p + 1;
    } else if (p[0] == '-' && p[1] == '-') {
      // A line comment holds no line end: it stops before one.
      p += 2 + std::strcspn(p + 2, "\r\n");
      after_cr = false;
      continue;
    } else if (p[0] == '/' && p[1] == '*') {
      // Comments do not nest here: the first `*/` closes one.
      end = std::strstr(p + 2, "*/");
      if (end == nullptr) return false;
      end += 2;
    } else {
      return false;
    }
    CountLineEnds(p, end, counted, after_cr);
    p = end;
  }
}

}  // namespace

void LineCounter::Count(const char* from, const char* end) noexcept {
  if (from == nullptr || end == nullptr || end <= from) return;
  const char* p = from;
  for (; in_leading_blanks_ && p < end; ++p) {
    const char c = *p;
    const bool line_end = c == '\r' || (c == '\n' && !after_cr_);
    after_cr_ = c == '\r';
    if (line_end) {
      ++line_;
      ++leading_line_ends_;
    } else if (!IsBlank(c)) {
      in_leading_blanks_ = false;
    }
  }
  if (p == end) return;
  // Line feeds alone, the common case, are counted many bytes at a time;
  // after a carriage return a line feed ends no line.
  const char* const from_here = p;
  const bool after_cr = after_cr_;
  if (after_cr && *p == '\n') ++p;
  if (CountLineFeeds(p, end, line_)) {
    after_cr_ = false;
  } else {
    after_cr_ = after_cr;
    CountLineEnds(from_here, end, line_, after_cr_);
  }
}

unsigned long long LineCounter::LineAt(const char* from, const char* at) const noexcept {
  unsigned long long line = line_;
  bool after_cr = after_cr_;
  if (from != nullptr && at != nullptr) CountLineEnds(from, at, line, after_cr);
  return line;
}

void LineCounter::BeginStatement() noexcept {
  statement_start_line_ = line_;
  leading_line_ends_ = 0;
  in_leading_blanks_ = true;
}

unsigned long long LineCounter::StatementLine(const SQLStmtT<char>& stmt) const {
  // The statement's text starts after its trimmed leading blanks; count the
  // line ends of the comments before its first compare token.
  unsigned long long line = TextLine();
  const char* text = stmt.GetText();
  if (text == nullptr || *text == 0 || stmt.GetFirstToken().GetLength() == 0) return line;
  if (LineOfLeadingWord(text, line)) return line;
  bool after_cr = false;
  CKXSQLTextT<char> reader(text);
  SQLToken<char> token;
  while (reader.GetToken(token, 0) == 0 && !token.IsCompare())
    CountLineEnds(token.GetText(), token.GetText() + token.GetLength(), line, after_cr);
  return line;
}

}  // namespace kxsql::cli

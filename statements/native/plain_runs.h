// Runs of plain lexemes: what a client's Next takes straight from the read
// window while nothing that its rules follow can happen.
//
// Most of a script is words, blanks, numbers, strings and punctuation that
// no rule of the client looks at. Before a client reads its next lexeme with
// its Lex, it asks ScanPlainRuns for as many of these as follow each other.
// The scan cuts exactly the lexemes the client's Lex cuts (the same types and
// lengths), each found with one lookup in the client's table of characters
// (PlainClasses), and hands them to the statement as whole ranges
// (statements/token_run.h). It leaves the rest to Lex, which reads it as
// before, at:
//  - a character that the client's table marks kStop (its terminator, its
//    commands, dollar quotes, ...) and a `/*` comment;
//  - a lexeme whose end or meaning depends on a character past the window
//    (in the next chunk of a file, or past the end of the input): so the
//    input reads ahead exactly where Lex reads ahead;
//  - whatever the client's rules say matters (the Policy): a compare token
//    while the client still follows the statement's first words, a word it
//    is waiting for, a line start where one of its line rules may apply.
//
// A Policy holds the client's state for one scan and answers (PlainPolicy
// gives the answers of a client that follows nothing):
//   Classes()            the client's table of characters
//   CompareInert()       compare tokens change nothing the client follows
//                        (asked once per scan)
//   TokenStart(p, end)   a lexeme may be cut at p: false where the client's
//                        lexer tests something else first (a delimiter)
//   Word(p, e)           the word [p, e) is taken, the client notes it; false
//                        leaves it to Lex. The character *e is in the window.
//   Paren(open)          a `(` or `)` of class kOpen or kClose was taken
//   Escapes(quote)       a backslash escapes the next character inside this quote
//   LineComment(p, e)    the `--` comment [p, e) may be taken
//   LineEnd(lf)          a line end was taken (LF or CR)
//   LineStart(p, end, empty)   a line starts at p (the statement has no
//                        compare token when `empty`): false when one of the
//                        client's line rules may apply there, or when the
//                        client would need characters past `end` to know
//   Compare()            a compare token was taken
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "lexer/char_class.h"
#include "lexer/window_scan.h"
#include "statements/native/lexing.h"
#include "statements/token_kinds.h"
#include "statements/token_run.h"

namespace kxsql::detail {

// What a character starts, to a client's lexer.
enum class PlainClass : std::uint8_t {
  kStop,        // the client's Lex reads it
  kWord,        // a letter or `_`: a word (SYMBOL) of word characters and `$`
  kDigits,      // an ASCII digit: a run of digits (OTHER)
  kNumberWord,  // an ASCII digit: a run of word characters and `$` (OTHER)
  kBlank,       // space, tab, vertical tab, form feed: a run is one WHITESPACE
  kLF,
  kCR,
  kDot,
  kSingle,      // a token of its own (OTHER)
  kSemicolon,   // a `;` that means nothing to the client (SEMI_COLON)
  kOpen,        // `(`, counted by the client (OTHER)
  kClose,       // `)`, counted by the client (OTHER)
  kDash,        // `-`: `--` opens a comment to the line end, else OTHER
  kSlash,       // `/`: OTHER; `/*` is left to Lex
  kQuote,       // quoted up to the same character, doubled inside for one
  kBracket,     // [quoted] up to `]`
};

// A client's table: 256 entries, from the tokenizer's character classes and
// the client's own characters; a 16-bit unit from 256 up starts a word when
// the tokenizer's table calls it a letter, else it is a token of its own.
template <class T>
class PlainClasses {
 public:
  struct Special {
    char c;
    PlainClass cls;
  };
  // `digits` is kDigits or kNumberWord; with `bracket_doubles`, `]]` inside
  // a [name] stands for one `]`.
  PlainClasses(PlainClass digits, std::initializer_list<Special> special, bool bracket_doubles = false) noexcept
      : chars_(CharClasses<T>::Table()), bracket_doubles_(bracket_doubles) {
    for (unsigned u = 0; u < 256; ++u) {
      const T c = static_cast<T>(u);
      PlainClass cls = StartsWord(chars_, c) ? PlainClass::kWord : PlainClass::kSingle;
      if (IsDigit(c)) cls = digits;
      if (IsBlank(c)) cls = PlainClass::kBlank;
      if (u == kLF) cls = PlainClass::kLF;
      if (u == kCR) cls = PlainClass::kCR;
      if (u == '.') cls = PlainClass::kDot;
      classes_[u] = cls;
      continues_[u] = ContinuesWord(chars_, c) || u == '$';
    }
    for (const Special& s : special) classes_[static_cast<unsigned char>(s.c)] = s.cls;
  }

  KXCOM_ALWAYS_INLINE PlainClass Of(T c) const noexcept {
    const auto u = static_cast<Unit<T>>(c);
    if constexpr (sizeof(T) > 1) {
      if (u > 0xFF) return (chars_[u] & kLetterBit) != 0 ? PlainClass::kWord : PlainClass::kSingle;
    }
    return classes_[u];
  }
  // A letter, a digit, `_` or `$`: continues a word.
  KXCOM_ALWAYS_INLINE bool Continues(T c) const noexcept {
    const auto u = static_cast<Unit<T>>(c);
    if constexpr (sizeof(T) > 1) {
      if (u > 0xFF) return (chars_[u] & kWordBit) != 0;
    }
    return continues_[u];
  }
  bool BracketDoubles() const noexcept { return bracket_doubles_; }

 private:
  const std::uint8_t* chars_;
  bool bracket_doubles_;
  PlainClass classes_[256];
  bool continues_[256];
};

// The answers of a client that follows nothing: every plain lexeme is taken.
template <class T>
struct PlainPolicy {
  bool CompareInert() const noexcept { return true; }
  bool TokenStart(const T*, const T*) const noexcept { return true; }
  bool Word(const T*, const T*) noexcept { return true; }
  void Paren(bool) noexcept {}
  bool Escapes(unsigned) const noexcept { return false; }
  bool LineComment(const T*, const T*) const noexcept { return true; }
  void LineEnd(bool) noexcept {}
  bool LineStart(const T*, const T*, bool) const noexcept { return true; }
  void Compare() noexcept {}
};

// The end of quoted text that opens at `p`, as ScanQuoted (`doubles`) or
// ScanTo (not) reads it: null when it is open at `end`, or when ScanQuoted
// would look at the character at `end` (the one after a closing quote, or
// after a backslash).
template <class T>
inline const T* QuotedTextEnd(const T* p, const T* end, T close, bool doubles, bool escapes) noexcept {
  const T* q = p + 1;
  for (;;) {
    if (escapes) {
      while (q < end && *q != close && *q != '\\') ++q;
      if (q == end) return nullptr;
      if (*q == '\\') {
        if (end - q < 2) return nullptr;
        q += 2;
        continue;
      }
    } else {
      q = FindChar(q, end, close);
      if (q == nullptr) return nullptr;
    }
    if (!doubles) return q + 1;
    if (q + 1 == end) return nullptr;
    if (q[1] != close) return q + 1;
    q += 2;
  }
}

// Takes the plain lexemes at the input's position, up to the first one that
// the client's Lex must read (see the top of this file), into the statement.
// True when it took any: ctx.at_line_start then says whether the last one
// was a line end.
template <class T, class Policy>
bool ScanPlainRuns(SplitContext<T>& ctx, Policy&& policy) {
  NativeInput<T>& in = ctx.in;
  if (!in.InWindow()) return false;
  const PlainClasses<T>& classes = policy.Classes();
  // Comments never go to all three texts, a CR does unless the flags leave it out.
  const bool cr_plain = (ctx.flags & SQLSTMT_SKIP_CR) == 0;
  StatementBuilder<T>& builder = ctx.Builder();
  const bool compare_inert = policy.CompareInert();
  const T* const from = in.Pos();
  const T* const end = in.End();
  const T* p = from;
  const T* start = from;
  TokenRun<T> run(builder, from);
  // Blanks and line ends before anything else in the statement are counted,
  // not copied (as SplitContext::Append does): while they last, the run
  // starts after them.
  const auto leading = [&run, &builder](const T* at) { return run.begin == at && builder.AtStart(); };
  for (;;) {
    start = p;
    if (p == end || !policy.TokenStart(p, end)) break;
    const PlainClass cls = classes.Of(*p);
    TokenKind kind = TokenKind::kOther;
    switch (cls) {
      case PlainClass::kWord:
        for (++p; p < end && classes.Continues(*p);) ++p;
        if (p == end || !compare_inert || !policy.Word(start, p)) goto stop;
        kind = TokenKind::kWord;
        break;
      case PlainClass::kNumberWord:
        for (++p; p < end && classes.Continues(*p);) ++p;
        if (p == end) goto stop;
        kind = TokenKind::kOther;
        break;
      case PlainClass::kDigits:
        for (++p; p < end && IsDigit(*p);) ++p;
        if (p == end) goto stop;
        kind = TokenKind::kOther;
        break;
      case PlainClass::kDot:
        ++p;
        kind = TokenKind::kDot;
        break;
      case PlainClass::kSemicolon:
        ++p;
        kind = TokenKind::kSemicolon;
        break;
      case PlainClass::kSingle:
        ++p;
        kind = TokenKind::kOther;
        break;
      case PlainClass::kOpen:
      case PlainClass::kClose:
        if (!compare_inert) goto stop;
        policy.Paren(cls == PlainClass::kOpen);
        ++p;
        kind = TokenKind::kOther;
        break;
      case PlainClass::kSlash:
        if (p + 1 == end || p[1] == '*') goto stop;
        ++p;
        kind = TokenKind::kOther;
        break;
      case PlainClass::kQuote:
        p = QuotedTextEnd(p, end, *p, true, policy.Escapes(static_cast<Unit<T>>(*p)));
        if (p == nullptr) goto stop;
        kind = *start == '\'' ? TokenKind::kSingleQuoted : TokenKind::kDoubleQuoted;
        break;
      case PlainClass::kBracket:
        p = QuotedTextEnd(p, end, static_cast<T>(']'), classes.BracketDoubles(), false);
        if (p == nullptr) goto stop;
        kind = TokenKind::kDoubleQuoted;
        break;
      case PlainClass::kDash:
        if (p + 1 == end) goto stop;
        if (p[1] != '-') {
          ++p;
          kind = TokenKind::kOther;
          break;
        }
        p = LineCommentEnd(p, end);
        if (p == nullptr || !policy.LineComment(start, p)) goto stop;
        run.Commit(start);
        builder.AddApart(start, static_cast<std::size_t>(p - start), SQLTOKEN_TYPE::LINECOMMENT);
        run.Restart(p);
        continue;
      case PlainClass::kBlank:
        for (++p; p < end && IsBlank(*p);) ++p;
        if (p == end) goto stop;
        ++run.tokens;
        if (leading(start) && Trimmed(start, p)) run.begin = p;
        continue;
      case PlainClass::kLF:
        ++p;
        ++run.tokens;
        if (leading(start)) run.begin = p;
        policy.LineEnd(true);
        goto line_start;
      case PlainClass::kCR:
        ++p;
        if (leading(start)) {
          ++run.tokens;
          run.begin = p;
        } else if (cr_plain) {
          ++run.tokens;
        } else {
          run.Commit(start);
          builder.AddApart(start, 1, SQLTOKEN_TYPE::CR);
          run.Restart(p);
        }
        policy.LineEnd(false);
        goto line_start;
      default:
        goto stop;
    }
    // A compare token.
    if (!compare_inert) goto stop;
    policy.Compare();
    ++run.tokens;
    run.Compare(start, p, kind);
    // Most compare tokens have a blank after them: taken here, it costs no
    // turn of the switch.
    if (p < end && *p == ' ' && policy.TokenStart(p, end)) {
      const T* blank = p;
      for (++p; p < end && IsBlank(*p);) ++p;
      if (p == end) {
        start = blank;
        goto stop;
      }
      ++run.tokens;
    }
    continue;
  line_start:
    if (!policy.LineStart(p, end, run.compares == 0 && !builder.HasCompareToken())) {
      start = p;
      break;
    }
  }
stop:
  run.Commit(start);
  in.SetPos(start);
  if (start == from) return false;
  // Only a line end ends in a CR or LF among the lexemes taken here.
  ctx.at_line_start = IsLineEnd(start[-1]);
  return true;
}

// The word [p, e) is `keyword` (ASCII letters, any letter case).
template <class T>
inline bool SpellsWord(const T* p, const T* e, const char* keyword) noexcept {
  std::size_t i = 0;
  for (; p + i < e; ++i)
    if (keyword[i] == 0 || LowerAscii(p[i]) != static_cast<unsigned char>(keyword[i])) return false;
  return keyword[i] == 0;
}

// The blanks at the start of [p, end): how many.
template <class T>
inline std::size_t BlanksAt(const T* p, const T* end) noexcept {
  std::size_t i = 0;
  while (p + i < end && IsBlank(p[i])) ++i;
  return i;
}

}  // namespace kxsql::detail

// The tokenizer: a character-driven state machine whose state survives
// between calls in the stream, so that it knows whether the next character
// stands at the start of a line. That is how a `/` in the first column ends a
// statement while a `/` elsewhere is an operator or opens a comment.
//
// Every character read is kept in some token: concatenating the tokens gives
// back the source exactly. Every step either reads a character, finishes the
// token, or moves to a state that reads next, so no input can hang it.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <typeinfo>

#include "kxcom/message.h"
#include "lexer/char_class.h"
#include "kxsql/stream.h"

namespace kxsql::detail {

// The stored tokenizer states:
//  (0)  LineStart:         at the start of a line (the first column)
//  (1)  AfterDash:         read `-`; a second `-` opens a line comment
//  (2)  FirstColumnSlash:  read `/` in the first column; `*` opens a comment, else a terminator
//  (3)  AfterSlash:        read `/` inside a line; `*` opens a comment, else an operator
//  (4)  InLine:            inside a line, between tokens
//  (5)  Blanks:            in a run of spaces and tabs
//  (6)  DashLeadIn:        a `-` is due (entered only through SetState)
//  (7)  LineComment:       in a `--` comment, up to the line end
//  (8)  BlockComment:      in a `/* */` comment
//  (9)  BlockCommentStar:  in a block comment after `*`
//  (10) DoubleQuoted:      in a "..." string
//  (11) DoubleQuoteSeen:   after `"` inside a "..." string; a second one continues it
//  (12) SingleQuoted:      in a '...' string
//  (13) SingleQuoteSeen:   after `'` inside a '...' string; a second one continues it
//  (14) Word:              in a word
enum class LexState : unsigned int {
  LineStart = 0,
  AfterDash = 1,
  FirstColumnSlash = 2,
  AfterSlash = 3,
  InLine = 4,
  Blanks = 5,
  DashLeadIn = 6,
  LineComment = 7,
  BlockComment = 8,
  BlockCommentStar = 9,
  DoubleQuoted = 10,
  DoubleQuoteSeen = 11,
  SingleQuoted = 12,
  SingleQuoteSeen = 13,
  Word = 14,
};

constexpr unsigned int kLF = 10;
constexpr unsigned int kCR = 13;

// Leaves the machine with a finished token: 0, or 1 when nothing was taken.
template <class T>
inline long Finished(unsigned int& state, const CKXStringT<T>& text, LexState next) noexcept {
  state = static_cast<unsigned int>(next);
  return text.IsEmpty() ? KXSQL_END : KXSQL_PRODUCED;
}

}  // namespace kxsql::detail

// Reads every character through the virtual interface: for a class that
// derives from a source, whose GetChar and UngetChar must see each one.
template <class T>
class CKXSQLStreamT<T>::CharReader {
 public:
  explicit CharReader(CKXSQLStreamT& stream) noexcept : stream_(stream) {}
  T Get(bool& eof) {
    bool end = eof;
    const T c = stream_.GetChar(end);
    eof = end;
    return c;
  }
  void Unget() { stream_.UngetChar(); }
  // Runs are taken one character at a time by the machine itself: false
  // says that nothing is known about the next character.
  template <class Pred>
  bool TakeRun(CKXStringT<T>&, Pred) noexcept {
    return false;
  }

 private:
  CKXSQLStreamT& stream_;
};

// Reads from the source's read window, calling GetChar only when the window
// is used up (the source then refills it or reports its end) and UngetChar
// only at the window's start. The position is handed back to the source
// before each of those calls and when the reader goes, so the source's
// counts are the same as if every character had come through GetChar.
template <class T>
class CKXSQLStreamT<T>::WindowReader {
 public:
  explicit WindowReader(CKXSQLStreamT& stream) noexcept : stream_(stream) { Load(); }
  ~WindowReader() { stream_.m_pWindowPos = pos_; }
  WindowReader(const WindowReader&) = delete;
  WindowReader& operator=(const WindowReader&) = delete;

  KXCOM_ALWAYS_INLINE T Get(bool& eof) {
    if (pos_ < end_) return *pos_++;
    return Refill(eof);
  }
  KXCOM_ALWAYS_INLINE void Unget() {
    if (pos_ > begin_) {
      --pos_;
      return;
    }
    UngetAtStart();
  }
  // Appends the characters that follow, up to the first one that `pred`
  // rejects or the window's end, as the machine would one by one. True when
  // it stopped at a rejected character, which is left unread.
  template <class Pred>
  KXCOM_ALWAYS_INLINE bool TakeRun(CKXStringT<T>& text, Pred pred) {
    const T* p = pos_;
    while (p < end_ && pred(*p)) ++p;
    text.Append(pos_, static_cast<std::size_t>(p - pos_));
    pos_ = p;
    return p < end_;
  }

 private:
  // At the window's start the source steps back itself.
  KXCOM_NOINLINE void UngetAtStart() {
    stream_.m_pWindowPos = pos_;
    stream_.UngetChar();
    Load();
  }
  // The window is used up: the source refills it or reports its end.
  KXCOM_NOINLINE T Refill(bool& eof) {
    stream_.m_pWindowPos = pos_;
    bool end = eof;
    const T c = stream_.GetChar(end);
    eof = end;
    Load();
    return c;
  }
  void Load() noexcept {
    begin_ = stream_.m_pWindowBegin;
    pos_ = stream_.m_pWindowPos;
    end_ = stream_.m_pWindowEnd;
  }

  CKXSQLStreamT& stream_;
  const T* begin_ = nullptr;
  const T* pos_ = nullptr;
  const T* end_ = nullptr;
};

template <class T>
inline bool CKXSQLStreamT<T>::ReadsWindow() noexcept {
  // Only the source's own class is known to keep its position in the
  // window; a class derived from it may watch or change every character.
  if (m_nWindowUse < 0) m_nWindowUse = m_pWindowOwner != nullptr && typeid(*this) == *m_pWindowOwner ? 1 : 0;
  return m_nWindowUse > 0;
}

template <class T>
long CKXSQLStreamT<T>::GetToken(SQLToken<T>& token, unsigned long flags) {
  // The class table is built once per width, on the first call of all, and
  // fetched once per stream.
  if (m_pClasses == nullptr) m_pClasses = kxsql::detail::CharClasses<T>::Table();

  token.Clear();
  if (!IsOpen()) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "Attempting to get next token, file not open",
                                          "Get Token Sequence Error", 0, "GetToken", 0);
    return KXSQL_FAILED;
  }
  try {
    // Bit 0x1 reads past the queue (PeekToken).
    if ((flags & 0x1) == 0 && !m_tokenQueue.empty()) {
      token = std::move(m_tokenQueue.front());
      m_tokenQueue.pop_front();
      return KXSQL_PRODUCED;
    }
    // Under the native rules the dialect's client lexes (statements/native).
    if (m_pNative != nullptr && LexesNatively()) return NativeToken(token);
    if (ReadsWindow()) {
      WindowReader reader(*this);
      return Scan(token, reader);
    }
    CharReader reader(*this);
    return Scan(token, reader);
  } catch (const std::bad_alloc&) {
    return KXSQL_FAILED;
  }
}

// Inlined into GetToken: most tokens are a character or a short word, so
// the calls would cost as much as the scan.
template <class T>
template <class Reader>
KXCOM_ALWAYS_INLINE long CKXSQLStreamT<T>::Scan(SQLToken<T>& token, Reader& reader) {
  using kxsql::detail::Finished;
  using kxsql::detail::LexState;
  using Unit = std::make_unsigned_t<T>;
  constexpr Unit kUnusable = static_cast<Unit>(~Unit{0});
  constexpr Unit kLF = kxsql::detail::kLF;
  constexpr Unit kCR = kxsql::detail::kCR;

  const std::uint8_t* const classes = m_pClasses;
  CKXStringT<T>& text = token.text_;
  const SQLTOKEN_TYPE*& type = token.type_;
  LexState state = static_cast<LexState>(m_nState);
  bool eof = false;
  T c = reader.Get(eof);

  // The runs that a state takes whole, staying in that state.
  auto word = [classes](T x) { return kxsql::detail::ContinuesWord(classes, x); };
  auto blank = [](T x) { return static_cast<Unit>(x) == ' ' || static_cast<Unit>(x) == '\t'; };
  auto not_line_end = [](T x) { return static_cast<Unit>(x) != kCR && static_cast<Unit>(x) != kLF; };
  auto not_star = [](T x) { return static_cast<Unit>(x) != '*'; };
  auto not_double_quote = [](T x) { return static_cast<Unit>(x) != '"'; };
  auto not_single_quote = [](T x) { return static_cast<Unit>(x) != '\''; };

  for (;;) {
    if (eof) break;
    const Unit u = static_cast<Unit>(c);
    switch (state) {
      case LexState::LineStart:
        if (u == kLF) { text.Append(c); type = &SQLTOKEN_TYPE::LF; return Finished(m_nState, text, LexState::LineStart); }
        if (u == kCR) { text.Append(c); type = &SQLTOKEN_TYPE::CR; return Finished(m_nState, text, LexState::LineStart); }
        if (u == '/') { text.Append(c); state = LexState::FirstColumnSlash; continue; }
        state = LexState::InLine;
        continue;

      case LexState::AfterDash:
        if (u == '-') { text.Append(c); type = &SQLTOKEN_TYPE::LINECOMMENT; state = LexState::LineComment; c = reader.Get(eof); continue; }
        reader.Unget();
        return Finished(m_nState, text, LexState::InLine);

      case LexState::FirstColumnSlash:
        // A `/` alone at the start of a line ends the statement; `/*` there opens a comment.
        c = reader.Get(eof);
        if (!eof && static_cast<Unit>(c) == '*') {
          text.Append(c);
          type = &SQLTOKEN_TYPE::MULTILINECOMMENT;
          state = LexState::BlockComment;
          c = reader.Get(eof);
          continue;
        }
        type = &SQLTOKEN_TYPE::SLASH_TERMINATOR;
        m_nState = static_cast<unsigned int>(LexState::InLine);
        if (!eof) {
          reader.Unget();
          return KXSQL_PRODUCED;
        }
        state = LexState::InLine;
        break;  // the end of the source: the ending rules decide

      case LexState::AfterSlash:
        if (u == '*') { text.Append(c); type = &SQLTOKEN_TYPE::MULTILINECOMMENT; state = LexState::BlockComment; c = reader.Get(eof); continue; }
        reader.Unget();
        type = &SQLTOKEN_TYPE::OTHER;
        return Finished(m_nState, text, LexState::InLine);

      case LexState::InLine:
        switch (u) {
          case kLF: text.Append(c); type = &SQLTOKEN_TYPE::LF; return Finished(m_nState, text, LexState::LineStart);
          case kCR: text.Append(c); type = &SQLTOKEN_TYPE::CR; return Finished(m_nState, text, LexState::LineStart);
          case ' ':
          case '\t':
            text.Append(c);
            type = &SQLTOKEN_TYPE::WHITESPACE;
            state = LexState::Blanks;
            if (reader.TakeRun(text, blank)) return Finished(m_nState, text, LexState::InLine);
            c = reader.Get(eof);
            continue;
          case ';': text.Append(c); type = &SQLTOKEN_TYPE::SEMI_COLON; return Finished(m_nState, text, LexState::InLine);
          case '-': text.Append(c); type = &SQLTOKEN_TYPE::OTHER; state = LexState::AfterDash; c = reader.Get(eof); continue;
          case '/': text.Append(c); state = LexState::AfterSlash; c = reader.Get(eof); continue;
          case '"': text.Append(c); type = &SQLTOKEN_TYPE::DQ_STRING; state = LexState::DoubleQuoted; c = reader.Get(eof); continue;
          case '\'': text.Append(c); type = &SQLTOKEN_TYPE::SQ_STRING; state = LexState::SingleQuoted; c = reader.Get(eof); continue;
          case '.': text.Append(c); type = &SQLTOKEN_TYPE::DOT; return Finished(m_nState, text, LexState::InLine);
          case '$': text.Append(c); type = &SQLTOKEN_TYPE::DollarSign; return Finished(m_nState, text, LexState::InLine);
          default: break;
        }
        if (kxsql::detail::StartsWord(classes, c)) {
          text.Append(c);
          type = &SQLTOKEN_TYPE::SYMBOL;
          state = LexState::Word;
          if (reader.TakeRun(text, word)) return Finished(m_nState, text, LexState::InLine);
          c = reader.Get(eof);
          continue;
        }
        // Digits, operators, brackets, commas: one character each. A NUL
        // character leaves the text empty, so the call answers 1 as at the end.
        if (u != 0) text.Append(c);
        type = &SQLTOKEN_TYPE::OTHER;
        return Finished(m_nState, text, LexState::InLine);

      case LexState::Blanks:
        if (blank(c)) {
          text.Append(c);
          if (reader.TakeRun(text, blank)) return Finished(m_nState, text, LexState::InLine);
          c = reader.Get(eof);
          continue;
        }
        reader.Unget();
        return Finished(m_nState, text, LexState::InLine);

      case LexState::DashLeadIn:
        if (u == '-') {
          // LineComment takes this same `-` again, so the text starts with two dashes.
          text.Append(c);
          type = &SQLTOKEN_TYPE::LINECOMMENT;
          state = LexState::LineComment;
          continue;
        }
        reader.Unget();
        type = &SQLTOKEN_TYPE::OTHER;
        return Finished(m_nState, text, LexState::InLine);

      case LexState::LineComment:
        // The comment stops before the line end, which becomes a token of its own.
        if (u == kCR || u == kLF) { reader.Unget(); return Finished(m_nState, text, LexState::LineStart); }
        text.Append(c);
        if (reader.TakeRun(text, not_line_end)) return Finished(m_nState, text, LexState::LineStart);
        c = reader.Get(eof);
        continue;

      case LexState::BlockComment:
        text.Append(c);
        if (u == '*') state = LexState::BlockCommentStar;
        else reader.TakeRun(text, not_star);
        c = reader.Get(eof);
        continue;

      case LexState::BlockCommentStar:
        text.Append(c);
        if (u == '/') return Finished(m_nState, text, LexState::InLine);
        if (u != '*') {
          state = LexState::BlockComment;
          reader.TakeRun(text, not_star);
        }
        c = reader.Get(eof);
        continue;

      case LexState::DoubleQuoted:
        text.Append(c);
        if (u == '"') state = LexState::DoubleQuoteSeen;
        else reader.TakeRun(text, not_double_quote);
        c = reader.Get(eof);
        continue;

      case LexState::DoubleQuoteSeen:
        // A doubled quote is part of the string.
        if (u == '"') {
          text.Append(c);
          state = LexState::DoubleQuoted;
          reader.TakeRun(text, not_double_quote);
          c = reader.Get(eof);
          continue;
        }
        reader.Unget();
        return Finished(m_nState, text, LexState::InLine);

      case LexState::SingleQuoted:
        text.Append(c);
        if (u == '\'') state = LexState::SingleQuoteSeen;
        else reader.TakeRun(text, not_single_quote);
        c = reader.Get(eof);
        continue;

      case LexState::SingleQuoteSeen:
        if (u == '\'') {
          text.Append(c);
          state = LexState::SingleQuoted;
          reader.TakeRun(text, not_single_quote);
          c = reader.Get(eof);
          continue;
        }
        reader.Unget();
        return Finished(m_nState, text, LexState::InLine);

      case LexState::Word:
        if (word(c)) {
          text.Append(c);
          if (reader.TakeRun(text, word)) return Finished(m_nState, text, LexState::InLine);
          c = reader.Get(eof);
          continue;
        }
        reader.Unget();
        return Finished(m_nState, text, LexState::InLine);

      default:
        // Unreachable: SetState keeps the state within 0-14.
        state = LexState::InLine;
        continue;
    }
    break;
  }

  // The source reported its end: nothing is given back and the state stays,
  // so that the next call finds the end at once. An end delivered with the
  // all-ones value means the source could not deliver.
  m_nState = static_cast<unsigned int>(state);
  if (static_cast<Unit>(c) == kUnusable) return KXSQL_FAILED;
  return text.IsEmpty() ? KXSQL_END : KXSQL_PRODUCED;
}

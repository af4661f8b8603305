// The tokenizer: a character-driven state machine whose state survives
// between calls in the stream, so that it knows whether the next character
// stands at the start of a line. That is how a `/` in the first column ends a
// statement while a `/` elsewhere is an operator or opens a comment.
//
// Every character read is kept in some token: concatenating the tokens gives
// back the source exactly. Every step either reads a character, finishes the
// token, or moves to a state that reads next, so no input can hang it.
#pragma once

#include <new>
#include <type_traits>

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

}  // namespace kxsql::detail

template <class T>
long CKXSQLStreamT<T>::GetToken(SQLToken<T>& token, unsigned long flags) {
  using kxsql::detail::LexState;
  using Unit = std::make_unsigned_t<T>;
  constexpr Unit kUnusable = static_cast<Unit>(~Unit{0});

  // Built once per width, before anything else, as the first call promises.
  const std::uint8_t* const classes = kxsql::detail::CharClasses<T>::Table();

  token.Clear();
  if (!IsOpen()) {
    CKXMsg::GetInstance()->SetLastMessage(MSGTYPE::ERR, "Attempting to get next token, file not open",
                                          "Get Token Sequence Error", 0, "GetToken", 0);
    return KXSQL_FAILED;
  }
  try {
    if (!IsPartFilter(flags, 0x1) && !m_tokenQueue.empty()) {
      token = std::move(m_tokenQueue.front());
      m_tokenQueue.pop_front();
      return KXSQL_PRODUCED;
    }

    CKXStringT<T>& text = token.text_;
    const SQLTOKEN_TYPE*& type = token.type_;
    LexState state = static_cast<LexState>(m_nState);
    bool eof = false;
    T c = GetChar(eof);

    // Leaves the machine with a finished token: 0, or 1 when nothing was taken.
    auto finish = [&](LexState next) {
      m_nState = static_cast<unsigned int>(next);
      return text.IsEmpty() ? KXSQL_END : KXSQL_PRODUCED;
    };
    auto advance = [&] { c = GetChar(eof); };

    for (;;) {
      if (eof) break;
      const Unit u = static_cast<Unit>(c);
      switch (state) {
        case LexState::LineStart:
          if (u == kxsql::detail::kLF) { text.Append(c); type = &SQLTOKEN_TYPE::LF; return finish(LexState::LineStart); }
          if (u == kxsql::detail::kCR) { text.Append(c); type = &SQLTOKEN_TYPE::CR; return finish(LexState::LineStart); }
          if (u == '/') { text.Append(c); state = LexState::FirstColumnSlash; continue; }
          state = LexState::InLine;
          continue;

        case LexState::AfterDash:
          if (u == '-') { text.Append(c); type = &SQLTOKEN_TYPE::LINECOMMENT; state = LexState::LineComment; advance(); continue; }
          UngetChar();
          return finish(LexState::InLine);

        case LexState::FirstColumnSlash:
          // A `/` alone at the start of a line ends the statement; `/*` there opens a comment.
          advance();
          if (!eof && static_cast<Unit>(c) == '*') {
            text.Append(c);
            type = &SQLTOKEN_TYPE::MULTILINECOMMENT;
            state = LexState::BlockComment;
            advance();
            continue;
          }
          type = &SQLTOKEN_TYPE::SLASH_TERMINATOR;
          m_nState = static_cast<unsigned int>(LexState::InLine);
          if (!eof) {
            UngetChar();
            return KXSQL_PRODUCED;
          }
          state = LexState::InLine;
          break;  // the end of the source: the ending rules decide

        case LexState::AfterSlash:
          if (u == '*') { text.Append(c); type = &SQLTOKEN_TYPE::MULTILINECOMMENT; state = LexState::BlockComment; advance(); continue; }
          UngetChar();
          type = &SQLTOKEN_TYPE::OTHER;
          return finish(LexState::InLine);

        case LexState::InLine:
          switch (u) {
            case kxsql::detail::kLF: text.Append(c); type = &SQLTOKEN_TYPE::LF; return finish(LexState::LineStart);
            case kxsql::detail::kCR: text.Append(c); type = &SQLTOKEN_TYPE::CR; return finish(LexState::LineStart);
            case ' ':
            case '\t': text.Append(c); type = &SQLTOKEN_TYPE::WHITESPACE; state = LexState::Blanks; advance(); continue;
            case ';': text.Append(c); type = &SQLTOKEN_TYPE::SEMI_COLON; return finish(LexState::InLine);
            case '-': text.Append(c); type = &SQLTOKEN_TYPE::OTHER; state = LexState::AfterDash; advance(); continue;
            case '/': text.Append(c); state = LexState::AfterSlash; advance(); continue;
            case '"': text.Append(c); type = &SQLTOKEN_TYPE::DQ_STRING; state = LexState::DoubleQuoted; advance(); continue;
            case '\'': text.Append(c); type = &SQLTOKEN_TYPE::SQ_STRING; state = LexState::SingleQuoted; advance(); continue;
            case '.': text.Append(c); type = &SQLTOKEN_TYPE::DOT; return finish(LexState::InLine);
            case '$': text.Append(c); type = &SQLTOKEN_TYPE::DollarSign; return finish(LexState::InLine);
            default: break;
          }
          if (kxsql::detail::StartsWord(classes, c)) {
            text.Append(c);
            type = &SQLTOKEN_TYPE::SYMBOL;
            state = LexState::Word;
            advance();
            continue;
          }
          // Digits, operators, brackets, commas: one character each. A NUL
          // character leaves the text empty, so the call answers 1 as at the end.
          if (u != 0) text.Append(c);
          type = &SQLTOKEN_TYPE::OTHER;
          return finish(LexState::InLine);

        case LexState::Blanks:
          if (u == ' ' || u == '\t') { text.Append(c); advance(); continue; }
          UngetChar();
          return finish(LexState::InLine);

        case LexState::DashLeadIn:
          if (u == '-') {
            // LineComment takes this same `-` again, so the text starts with two dashes.
            text.Append(c);
            type = &SQLTOKEN_TYPE::LINECOMMENT;
            state = LexState::LineComment;
            continue;
          }
          UngetChar();
          type = &SQLTOKEN_TYPE::OTHER;
          return finish(LexState::InLine);

        case LexState::LineComment:
          // The comment stops before the line end, which becomes a token of its own.
          if (u == kxsql::detail::kCR || u == kxsql::detail::kLF) { UngetChar(); return finish(LexState::LineStart); }
          text.Append(c);
          advance();
          continue;

        case LexState::BlockComment:
          text.Append(c);
          if (u == '*') state = LexState::BlockCommentStar;
          advance();
          continue;

        case LexState::BlockCommentStar:
          text.Append(c);
          if (u == '/') return finish(LexState::InLine);
          if (u != '*') state = LexState::BlockComment;
          advance();
          continue;

        case LexState::DoubleQuoted:
          text.Append(c);
          if (u == '"') state = LexState::DoubleQuoteSeen;
          advance();
          continue;

        case LexState::DoubleQuoteSeen:
          // A doubled quote is part of the string.
          if (u == '"') { text.Append(c); state = LexState::DoubleQuoted; advance(); continue; }
          UngetChar();
          return finish(LexState::InLine);

        case LexState::SingleQuoted:
          text.Append(c);
          if (u == '\'') state = LexState::SingleQuoteSeen;
          advance();
          continue;

        case LexState::SingleQuoteSeen:
          if (u == '\'') { text.Append(c); state = LexState::SingleQuoted; advance(); continue; }
          UngetChar();
          return finish(LexState::InLine);

        case LexState::Word:
          if (kxsql::detail::ContinuesWord(classes, c)) { text.Append(c); advance(); continue; }
          UngetChar();
          return finish(LexState::InLine);

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
  } catch (const std::bad_alloc&) {
    return KXSQL_FAILED;
  }
}

// The tokens that a scan over memory has walked and not handed to the
// statement builder yet: the run-based path of the classic rules
// (statements/fast_path.ipp) and the native clients' plain runs
// (statements/native/plain_runs.h) both walk many tokens before anything
// has to be copied. While the tokens follow each other and go to all three
// texts, only their counts and the last compare token are noted here, in
// locals of the scan; Commit hands them to the builder in one piece.
#pragma once

#include <cstddef>

#include "statements/statement_builder.h"
#include "statements/token_kinds.h"

namespace kxsql::detail {

template <class T>
struct TokenRun {
  TokenRun(StatementBuilder<T>& b, const T* at) noexcept : builder(b) { Restart(at); }
  TokenRun(const TokenRun&) = delete;
  TokenRun& operator=(const TokenRun&) = delete;

  void Restart(const T* at) noexcept {
    begin = at;
    tokens = compares = 0;
    need_first = !builder.HasCompareToken();
    last_begin = nullptr;
    last_kind = builder.LastIsDot() ? TokenKind::kDot : TokenKind::kNone;
  }
  // The compare token [b, e) joins the run: it may be the statement's first,
  // it is its last so far, and after a DOT it goes to the side-effect test.
  KXCOM_ALWAYS_INLINE void Compare(const T* b, const T* e, TokenKind kind) {
    if (last_kind == TokenKind::kDot) builder.SideEffect(b, static_cast<std::size_t>(e - b));
    if (need_first) {
      need_first = false;
      builder.SetFirst(b, static_cast<std::size_t>(e - b), TypeOf(kind));
    }
    ++compares;
    SetLast(b, e, kind);
  }
  KXCOM_ALWAYS_INLINE void SetLast(const T* b, const T* e, TokenKind kind) noexcept {
    last_begin = b;
    last_end = e;
    last_kind = kind;
  }
  // Hands the run up to `end` to the builder.
  void Commit(const T* end) {
    builder.AddRun(begin, end, tokens, compares);
    if (last_begin != nullptr) builder.SetLast(last_begin, static_cast<std::size_t>(last_end - last_begin), TypeOf(last_kind));
    Restart(end);
  }

  StatementBuilder<T>& builder;
  const T* begin;
  unsigned tokens;
  unsigned compares;
  bool need_first;
  // The last compare token of the run (none yet: null), or of the statement
  // before the run when it is a DOT.
  const T* last_begin;
  const T* last_end = nullptr;
  TokenKind last_kind;
};

}  // namespace kxsql::detail

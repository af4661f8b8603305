// The tokenizer's token types as small numbers, and where tokens of each
// type go in a statement under a flags word: for the run-based path
// (statements/fast_path.ipp) and the native rules' statements
// (statements/native/lexing.h), which decide per token without asking the
// host's type objects each time.
#pragma once

#include <cstdint>

#include "kxcom/kxstring.h"
#include "kxcom/token_type.h"
#include "kxsql/statement.h"
#include "statements/statement_builder.h"

namespace kxsql::detail {

// The tokenizer's token types, as a small number.
enum class TokenKind : std::uint8_t {
  kNone,
  kOther,
  kBlank,
  kCR,
  kLF,
  kWord,
  kSlashTerminator,
  kSemicolon,
  kSingleQuoted,
  kDoubleQuoted,
  kBlockComment,
  kLineComment,
  kDot,
  kDollar,
  kCount,
};

// The host's type of each kind, in the order of TokenKind.
inline const SQLTOKEN_TYPE* const kKindTypes[] = {
    &SQLTOKEN_TYPE::NONE,       &SQLTOKEN_TYPE::OTHER,      &SQLTOKEN_TYPE::WHITESPACE,
    &SQLTOKEN_TYPE::CR,         &SQLTOKEN_TYPE::LF,         &SQLTOKEN_TYPE::SYMBOL,
    &SQLTOKEN_TYPE::SLASH_TERMINATOR, &SQLTOKEN_TYPE::SEMI_COLON, &SQLTOKEN_TYPE::SQ_STRING,
    &SQLTOKEN_TYPE::DQ_STRING,  &SQLTOKEN_TYPE::MULTILINECOMMENT, &SQLTOKEN_TYPE::LINECOMMENT,
    &SQLTOKEN_TYPE::DOT,        &SQLTOKEN_TYPE::DollarSign,
};

inline const SQLTOKEN_TYPE& TypeOf(TokenKind kind) noexcept {
  return static_cast<unsigned>(kind) < static_cast<unsigned>(TokenKind::kCount)
             ? *kKindTypes[static_cast<unsigned>(kind)]
             : SQLTOKEN_TYPE::NONE;
}

// The kind of a host token type, by its code: a table for the small codes
// the host gives its types (kCount where no kind has the code), a search for
// any other.
struct KindsByCode {
  static constexpr unsigned kCodes = 64;
  TokenKind kinds[kCodes];
  KindsByCode() noexcept {
    for (TokenKind& kind : kinds) kind = TokenKind::kCount;
    for (unsigned k = 0; k < static_cast<unsigned>(TokenKind::kCount); ++k) {
      const unsigned code = TypeOf(static_cast<TokenKind>(k)).GetCode();
      if (code < kCodes) kinds[code] = static_cast<TokenKind>(k);
    }
  }
  static const KindsByCode& Get() noexcept {
    static const KindsByCode table;
    return table;
  }
};

KXCOM_NOINLINE inline TokenKind KindOfRareCode(const SQLTOKEN_TYPE& type) noexcept {
  for (unsigned k = 0; k < static_cast<unsigned>(TokenKind::kCount); ++k)
    if (TypeOf(static_cast<TokenKind>(k)) == type) return static_cast<TokenKind>(k);
  return TokenKind::kNone;
}

KXCOM_ALWAYS_INLINE TokenKind KindOf(const SQLTOKEN_TYPE& type) noexcept {
  const unsigned code = type.GetCode();
  if (code < KindsByCode::kCodes) {
    const TokenKind kind = KindsByCode::Get().kinds[code];
    if (kind != TokenKind::kCount) return kind;
  }
  return KindOfRareCode(type);
}

// Blanks that Trim takes from the start of a statement.
inline bool IsBlankKind(TokenKind kind) noexcept {
  return kind == TokenKind::kBlank || kind == TokenKind::kCR || kind == TokenKind::kLF;
}

// The three bits of a flags word that decide where tokens go, as 0 to 7.
inline unsigned SkipBits(unsigned long flags) noexcept {
  return ((flags & SQLSTMT_SKIP_LINECOMMENT) != 0 ? 1u : 0u) |
         ((flags & SQLSTMT_SKIP_MULTILINECOMMENT) != 0 ? 2u : 0u) | ((flags & SQLSTMT_SKIP_CR) != 0 ? 4u : 0u);
}

// Where tokens of each kind go under a flags word, as bit sets over the
// kinds. Only three bits of the word matter, so the eight sets are made once.
struct KindRoutes {
  std::uint32_t plain = 0;    // into all three texts
  std::uint32_t compare = 0;  // compare tokens

  static const KindRoutes& For(unsigned long flags) noexcept;
  bool Plain(TokenKind kind) const noexcept { return (plain >> static_cast<unsigned>(kind)) & 1u; }
  bool Compare(TokenKind kind) const noexcept { return (compare >> static_cast<unsigned>(kind)) & 1u; }
  TokenRoute Route(TokenKind kind) const noexcept { return TokenRoute{Plain(kind), Compare(kind), kind == TokenKind::kDot}; }
};

struct KindRouteTable {
  KindRoutes routes[8];
  KindRouteTable() noexcept {
    const unsigned long bit[3] = {SQLSTMT_SKIP_LINECOMMENT, SQLSTMT_SKIP_MULTILINECOMMENT, SQLSTMT_SKIP_CR};
    for (unsigned bits = 0; bits < 8; ++bits) {
      unsigned long flags = 0;
      for (unsigned i = 0; i < 3; ++i)
        if (bits & (1u << i)) flags |= bit[i];
      for (unsigned k = 0; k < static_cast<unsigned>(TokenKind::kCount); ++k) {
        const TokenRoute route = RouteOf(TypeOf(static_cast<TokenKind>(k)), flags);
        if (route.plain) routes[bits].plain |= 1u << k;
        if (route.compare) routes[bits].compare |= 1u << k;
      }
    }
  }
};

inline const KindRoutes& KindRoutes::For(unsigned long flags) noexcept {
  static const KindRouteTable table;
  return table.routes[SkipBits(flags)];
}

// The same by the code of the host's type, for callers that hold types
// (the native rules' lexemes): a table for the small codes, RouteOf for any
// other.
struct RoutesByCode {
  static constexpr unsigned kCodes = 64;
  TokenRoute routes[kCodes];
  std::uint64_t known = 0;  // bit per code that has a route in the table
  unsigned long flags = 0;

  static const RoutesByCode& For(unsigned long flags) noexcept;
  KXCOM_ALWAYS_INLINE TokenRoute Route(const SQLTOKEN_TYPE& type) const noexcept {
    const unsigned code = type.GetCode();
    return code < kCodes && ((known >> code) & 1u) != 0 ? routes[code] : RouteOf(type, flags);
  }
};

struct RoutesByCodeTable {
  RoutesByCode tables[8];
  RoutesByCodeTable() noexcept {
    for (unsigned bits = 0; bits < 8; ++bits) {
      RoutesByCode& table = tables[bits];
      const unsigned long bit[3] = {SQLSTMT_SKIP_LINECOMMENT, SQLSTMT_SKIP_MULTILINECOMMENT, SQLSTMT_SKIP_CR};
      for (unsigned i = 0; i < 3; ++i)
        if ((bits & (1u << i)) != 0) table.flags |= bit[i];
      for (unsigned k = 0; k < static_cast<unsigned>(TokenKind::kCount); ++k) {
        const SQLTOKEN_TYPE& type = TypeOf(static_cast<TokenKind>(k));
        if (type.GetCode() >= RoutesByCode::kCodes) continue;
        table.routes[type.GetCode()] = RouteOf(type, table.flags);
        table.known |= std::uint64_t{1} << type.GetCode();
      }
    }
  }
};

inline const RoutesByCode& RoutesByCode::For(unsigned long flags) noexcept {
  static const RoutesByCodeTable table;
  return table.tables[SkipBits(flags)];
}

}  // namespace kxsql::detail

// What the statement and block rules decide on: the keywords they test, and
// an Interest, the set of token kinds and keywords that one read of the Feed
// (statements/fast_path.ipp) stops at. Keywords come from the host's
// CharSet constants; in the read window they are compared as lower-case
// ASCII, by a table made once per width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kxcom/charset.h"
#include "statements/token_kinds.h"

namespace kxsql::detail {

// The keywords that the rules decide on, in the order the rules test them.
enum class Keyword : std::uint8_t {
  kGo,
  kBegin,
  kProcedure,
  kTrigger,
  kIf,
  kFor,
  kEnd,
  kLoop,
  kTran,
  kTransaction,
  kWork,
  kDrop,
  kAlter,
  kEnable,
  kDisable,
  kCount,
  kNone = kCount,
};

// The host's keyword constants, in the order of Keyword.
template <class T>
struct KeywordTexts {
  const T* texts[static_cast<unsigned>(Keyword::kCount) + 1] = {
      CharSet<T>::GO,   CharSet<T>::BEGIN, CharSet<T>::PROCEDURE, CharSet<T>::TRIGGER,     CharSet<T>::IF,
      CharSet<T>::FOR,  CharSet<T>::END,   CharSet<T>::LOOP,      CharSet<T>::TRAN,        CharSet<T>::TRANSACTION,
      CharSet<T>::WORK, CharSet<T>::DROP,  CharSet<T>::ALTER,     CharSet<T>::ENABLE,      CharSet<T>::DISABLE,
      nullptr};
  static const KeywordTexts& Get() noexcept {
    static const KeywordTexts table;
    return table;
  }
};

template <class T>
inline const T* KeywordText(Keyword keyword) noexcept {
  return KeywordTexts<T>::Get().texts[static_cast<unsigned>(keyword)];
}

// The keywords in lower case, for comparing words in the window. A keyword
// of ASCII letters equals a word, ignoring case, exactly when the word has
// its length and each character is the keyword's letter with bit 0x20 set or
// not (a character outside ASCII never folds into ASCII). Keywords that are
// not all ASCII letters are left to the token path.
template <class T>
class KeywordTable {
 public:
  static constexpr std::size_t kMaxLength = 31;

  static const KeywordTable& Get() noexcept {
    static const KeywordTable table;
    return table;
  }
  bool Usable() const noexcept { return usable_; }
  std::size_t Length(Keyword k) const noexcept { return entries_[static_cast<unsigned>(k)].length; }

  // The first keyword of `set` (bit per Keyword) equal to [text, text + n).
  Keyword Match(std::uint32_t set, const T* text, std::size_t n) const noexcept {
    for (; set != 0; set &= set - 1) {
      const unsigned k = static_cast<unsigned>(__builtin_ctz(set));
      const Entry& entry = entries_[k];
      if (entry.length != n) continue;
      std::size_t i = 0;
      while (i < n && (static_cast<std::make_unsigned_t<T>>(text[i]) | 0x20u) == entry.lower[i]) ++i;
      if (i == n) return static_cast<Keyword>(k);
    }
    return Keyword::kNone;
  }

 private:
  struct Entry {
    unsigned char lower[kMaxLength];
    std::size_t length = 0;
  };
  KeywordTable() noexcept {
    for (unsigned k = 0; k < static_cast<unsigned>(Keyword::kCount); ++k) {
      const T* text = KeywordText<T>(static_cast<Keyword>(k));
      Entry& entry = entries_[k];
      std::size_t n = 0;
      for (; text != nullptr && text[n] != 0; ++n) {
        const unsigned c = static_cast<std::make_unsigned_t<T>>(text[n]);
        const unsigned lower = c | 0x20u;
        if (n >= kMaxLength || lower < 'a' || lower > 'z') {
          usable_ = false;
          break;
        }
        entry.lower[n] = static_cast<unsigned char>(lower);
      }
      entry.length = n;
      if (n == 0) usable_ = false;
    }
  }
  Entry entries_[static_cast<unsigned>(Keyword::kCount)];
  bool usable_ = true;
};

// The tokens a rule decides on: every token of some kinds, and words equal
// to some keywords.
template <class T>
struct Interest {
  std::uint32_t kinds = 0;
  std::uint64_t codes = 0;  // the host codes of those kinds' types
  std::uint32_t keywords = 0;
  // Bit n: a keyword of the set is n characters long.
  std::uint32_t lengths = 0;

  Interest& Add(TokenKind kind) noexcept {
    kinds |= 1u << static_cast<unsigned>(kind);
    const unsigned code = TypeOf(kind).GetCode();
    codes |= code < 64 ? std::uint64_t{1} << code : ~std::uint64_t{0} >> 1;
    return *this;
  }
  // A token of the host type with this code may be of the kinds named
  // (always true for large codes, which KindOf decides).
  bool HasCode(unsigned code) const noexcept { return code >= 64 || ((codes >> code) & 1u) != 0; }
  Interest& Add(Keyword keyword) noexcept {
    keywords |= 1u << static_cast<unsigned>(keyword);
    const std::size_t n = KeywordTable<T>::Get().Length(keyword);
    if (n < 32) lengths |= 1u << n;
    return *this;
  }
  bool Has(TokenKind kind) const noexcept { return (kinds >> static_cast<unsigned>(kind)) & 1u; }
  // Every token.
  static Interest Any() noexcept {
    Interest all;
    all.kinds = ~0u;
    all.codes = ~std::uint64_t{0};
    return all;
  }
};

// A token that a rule decides on. Its text is valid until the next read.
template <class T>
struct FoundToken {
  TokenKind kind = TokenKind::kNone;
  Keyword keyword = Keyword::kNone;
  const T* text = nullptr;
  std::size_t length = 0;
  bool in_window = false;  // read by the run-based path; else it is the feed's SQLToken
};

}  // namespace kxsql::detail

/// @file
/// kxcom strings: the growable text type of tokens and statements.
///
/// CKXStringT<T> is a small zero-terminated string over `char` (UTF-8) or
/// `unsigned short` (UTF-16 code units). It does not rely on
/// std::char_traits<unsigned short>, which the standard library does not provide.
///
/// @code
/// CKXStringA s("select");
/// s += 'x';
/// if (s.CompareNoCase("SELECTX") == 0) { ... }
/// @endcode
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "kxcom/kxcom_export.h"

/// @cond
// The few members on the hot path of the tokenizer and the statements are
// inlined even into large callers; their rare slow paths never are.
#if defined(__GNUC__)
#define KXCOM_ALWAYS_INLINE [[gnu::always_inline]] inline
#define KXCOM_NOINLINE [[gnu::noinline]]
#else
#define KXCOM_ALWAYS_INLINE inline
#define KXCOM_NOINLINE
#endif
/// @endcond

/// Case-insensitive comparison: ASCII letters fold as ASCII in every locale (so
/// `begin` is `BEGIN` even under a Turkish locale); other letters fold by the
/// process's classification locale. 8-bit text is read as UTF-8 (an invalid
/// byte compares as itself), 16-bit text as UTF-16. Returns <0, 0 or >0.
///@{
KXCOM_EXPORT int KXCompareNoCase(const char* a, std::size_t a_len, const char* b, std::size_t b_len) noexcept;
KXCOM_EXPORT int KXCompareNoCase(const unsigned short* a, std::size_t a_len, const unsigned short* b,
                                 std::size_t b_len) noexcept;
///@}

/// Number of 16-bit units before the terminator (as strlen for 8-bit text).
KXCOM_EXPORT std::size_t KXLength(const unsigned short* text) noexcept;

/// A growable zero-terminated string of `T` that knows its length (and may
/// hold zero characters inside). Short texts live inside the object. Growing
/// throws std::bad_alloc when memory is exhausted; the library's exported
/// operations catch it.
template <class T>
class CKXStringT {
 public:
  /// Empty; a copy of a zero-terminated text (null reads as empty); a copy of
  /// `n` characters; a copy or the contents of another string.
  ///@{
  CKXStringT() noexcept { inline_[0] = 0; }
  CKXStringT(const T* text) { inline_[0] = 0; Assign(text); }  // NOLINT: implicit like the platform string
  CKXStringT(const T* text, std::size_t n) { inline_[0] = 0; Assign(text, n); }
  CKXStringT(const CKXStringT& other) { inline_[0] = 0; Assign(other.data_, other.length_); }
  CKXStringT(CKXStringT&& other) noexcept { inline_[0] = 0; MoveFrom(other); }
  ///@}
  ~CKXStringT() { Release(); }

  /// Replaces the contents; assigning a string to itself changes nothing.
  ///@{

  CKXStringT& operator=(const CKXStringT& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
  }
  CKXStringT& operator=(CKXStringT&& other) noexcept {
    if (this != &other) { Release(); MoveFrom(other); }
    return *this;
  }
  CKXStringT& operator=(const T* text) { Assign(text); return *this; }
  ///@}

  /// Replaces the contents with a zero-terminated text, or with `n`
  /// characters (which may lie inside this string).
  ///@{

  void Assign(const T* text) { Assign(text, text ? Length(text) : 0); }
  KXCOM_ALWAYS_INLINE void Assign(const T* text, std::size_t n) {
    if (n > capacity_) {
      AssignGrowing(text, n);
      return;
    }
    /// The source may live inside this string.
    if (text + n <= data_ || text >= data_ + capacity_ + 1) CopyChars(data_, text, n);
    else std::memmove(data_, text, n * sizeof(T));
    length_ = n;
    data_[n] = 0;
  }

  ///@}
  /// Makes the string empty (keeping its room).
  void Empty() noexcept { length_ = 0; data_[0] = 0; }
  /// Gives back room far beyond the contents (over 64 KiB of it), so that a
  /// string that once held a huge text does not keep its memory. Out of
  /// memory, nothing changes.
  void Compact() noexcept {
    if (capacity_ - length_ <= (std::size_t{1} << 16)) return;
    try {
      CKXStringT smaller(data_, length_);
      *this = std::move(smaller);
    } catch (...) {
    }
  }
  /// True when the string holds no character.
  bool IsEmpty() const noexcept { return length_ == 0; }
  /// Number of characters.
  std::size_t GetLength() const noexcept { return length_; }
  /// The characters, zero-terminated; valid until the string changes.
  ///@{
  const T* GetString() const noexcept { return data_; }
  operator const T*() const noexcept { return data_; }  // NOLINT: the platform string converts too
  ///@}
  /// The character at `i` (< GetLength()).
  T operator[](std::size_t i) const noexcept { return data_[i]; }

  /// Appends a character, `n` characters (which may lie inside this string)
  /// or another string. These are the hot path of the tokenizer and the
  /// statements: the room test and the copy are inline, growing (geometric)
  /// is not.
  ///@{
  KXCOM_ALWAYS_INLINE void Append(T c) {
    if (length_ == capacity_) Grow(length_ + 1);
    data_[length_++] = c;
    data_[length_] = 0;
  }
  KXCOM_ALWAYS_INLINE void Append(const T* text, std::size_t n) {
    if (length_ + n > capacity_) {
      AppendGrowing(text, n);
      return;
    }
    CopyChars(data_ + length_, text, n);
    length_ += n;
    data_[length_] = 0;
  }
  void Append(const CKXStringT& other) { Append(other.data_, other.length_); }
  CKXStringT& operator+=(T c) { Append(c); return *this; }
  CKXStringT& operator+=(const CKXStringT& other) { Append(other); return *this; }
  ///@}

  /// Case-sensitive comparison by character code.
  int Compare(const T* other) const noexcept {
    const T* a = data_;
    const T* b = other ? other : &kEmpty;
    for (;; ++a, ++b) {
      if (*a != *b) return static_cast<unsigned>(*a) < static_cast<unsigned>(*b) ? -1 : 1;
      if (*a == 0) return 0;
    }
  }
  /// The same over two strings, counting embedded zero characters.
  int Compare(const CKXStringT& other) const noexcept {
    const std::size_t n = length_ < other.length_ ? length_ : other.length_;
    for (std::size_t i = 0; i < n; ++i)
      if (data_[i] != other.data_[i])
        return static_cast<unsigned>(data_[i]) < static_cast<unsigned>(other.data_[i]) ? -1 : 1;
    return length_ == other.length_ ? 0 : (length_ < other.length_ ? -1 : 1);
  }
  /// Case-insensitive comparison (KXCompareNoCase) with another string or a
  /// zero-terminated text (null reads as empty).
  ///@{
  int CompareNoCase(const CKXStringT& other) const noexcept {
    return KXCompareNoCase(data_, length_, other.data_, other.length_);
  }
  int CompareNoCase(const T* other) const noexcept {
    const T* b = other ? other : &kEmpty;
    return KXCompareNoCase(data_, length_, b, Length(b));
  }
  ///@}
  /// Case-sensitive equality with a zero-terminated text.
  ///@{
  bool operator==(const T* other) const noexcept { return Compare(other) == 0; }
  bool operator!=(const T* other) const noexcept { return Compare(other) != 0; }
  ///@}

  /// Removes characters that belong to `set` (zero-terminated) from the
  /// start (TrimLeft) or the end (TrimRight).
  ///@{
  void TrimLeft(const T* set) {
    std::size_t i = 0;
    while (i < length_ && Contains(set, data_[i])) ++i;
    if (i == 0) return;
    std::memmove(data_, data_ + i, (length_ - i) * sizeof(T));
    length_ -= i;
    data_[length_] = 0;
  }
  void TrimRight(const T* set) {
    while (length_ > 0 && Contains(set, data_[length_ - 1])) --length_;
    data_[length_] = 0;
  }
  ///@}
  /// Shortens the string to `new_length` characters (no change when it is not longer).
  void Truncate(std::size_t new_length) noexcept {
    if (new_length < length_) { length_ = new_length; data_[length_] = 0; }
  }

  /// Makes room for `n` characters in all.
  KXCOM_ALWAYS_INLINE void Reserve(std::size_t n) { if (n > capacity_) Grow(n); }

  /// Number of characters of a zero-terminated text; 0 for null.
  static std::size_t Length(const T* text) noexcept {
    if (text == nullptr) return 0;
    /// A whole script's length is taken when a source opens on it.
    if constexpr (sizeof(T) == 1) return std::strlen(reinterpret_cast<const char*>(text));
    else return KXLength(text);
  }

 private:
  static constexpr std::size_t kInlineCapacity = 23;
  static constexpr T kEmpty = 0;

  /// Copies `n` characters between storage that does not overlap. Most
  /// appends are a token of a few characters: those are copied with a few
  /// fixed-size moves (each pair may overlap itself) instead of a call.
  KXCOM_ALWAYS_INLINE static void CopyChars(T* to, const T* from, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    unsigned char* d = reinterpret_cast<unsigned char*>(to);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(from);
    if (bytes <= 8) {
      if (bytes >= 4) {
        Move2<std::uint32_t>(d, s, bytes);
      } else if (bytes >= 2) {
        Move2<std::uint16_t>(d, s, bytes);
      } else if (bytes == 1) {
        *d = *s;
      }
    } else if (bytes <= 16) {
      Move2<std::uint64_t>(d, s, bytes);
    } else if (bytes <= 32) {
      Move2<std::uint64_t>(d, s, 16);
      Move2<std::uint64_t>(d + bytes - 16, s + bytes - 16, 16);
    } else {
      std::memcpy(d, s, bytes);
    }
  }
  /// Copies `bytes` (between sizeof(W) and twice that) as two words, the
  /// first and the last, which overlap when `bytes` is less than twice.
  template <class W>
  KXCOM_ALWAYS_INLINE static void Move2(unsigned char* d, const unsigned char* s, std::size_t bytes) noexcept {
    W first, last;
    std::memcpy(&first, s, sizeof(W));
    std::memcpy(&last, s + bytes - sizeof(W), sizeof(W));
    std::memcpy(d, &first, sizeof(W));
    std::memcpy(d + bytes - sizeof(W), &last, sizeof(W));
  }
  static bool Contains(const T* set, T c) noexcept {
    for (; set && *set; ++set) if (*set == c) return true;
    return false;
  }
  KXCOM_NOINLINE void AssignGrowing(const T* text, std::size_t n) {
    /// The source may live inside this string: copy before releasing.
    CKXStringT copy;
    copy.Reserve(n);
    std::memcpy(copy.data_, text, n * sizeof(T));
    copy.length_ = n;
    copy.data_[n] = 0;
    *this = std::move(copy);
  }
  KXCOM_NOINLINE void AppendGrowing(const T* text, std::size_t n) {
    if (text >= data_ && text < data_ + length_) {  // appending a part of itself
      CKXStringT copy(text, n);
      AppendGrowing(copy.data_, n);
      return;
    }
    Grow(length_ + n);
    std::memcpy(data_ + length_, text, n * sizeof(T));
    length_ += n;
    data_[length_] = 0;
  }
  /// At least doubles the room, so that a string built by appends is copied
  /// a bounded number of times per character. A block of its own grows with
  /// realloc: a huge one is then moved by the page tables instead of being
  /// copied, and never stands twice in memory.
  KXCOM_NOINLINE void Grow(std::size_t at_least) {
    std::size_t cap = capacity_ * 2;
    if (cap < at_least) cap = at_least;
    if (cap >= static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    T* block;
    if (data_ == inline_) {
      block = static_cast<T*>(std::malloc((cap + 1) * sizeof(T)));
      if (!block) throw std::bad_alloc();
      std::memcpy(block, data_, (length_ + 1) * sizeof(T));
    } else {
      // On failure realloc leaves the old block as it was.
      block = static_cast<T*>(std::realloc(data_, (cap + 1) * sizeof(T)));
      if (!block) throw std::bad_alloc();
    }
    data_ = block;
    capacity_ = cap;
  }
  void Release() noexcept {
    if (data_ != inline_) std::free(data_);
    data_ = inline_;
    capacity_ = kInlineCapacity;
    length_ = 0;
    inline_[0] = 0;
  }
  void MoveFrom(CKXStringT& other) noexcept {
    if (other.data_ == other.inline_) {
      std::memcpy(inline_, other.inline_, (other.length_ + 1) * sizeof(T));
      data_ = inline_;
      capacity_ = kInlineCapacity;
    } else {
      data_ = other.data_;
      capacity_ = other.capacity_;
      other.data_ = other.inline_;
      other.capacity_ = kInlineCapacity;
    }
    length_ = other.length_;
    other.length_ = 0;
    other.inline_[0] = 0;
  }

  T* data_ = inline_;
  std::size_t length_ = 0;
  std::size_t capacity_ = kInlineCapacity;
  T inline_[kInlineCapacity + 1];
};

using CKXStringA = CKXStringT<char>;            ///< 8-bit (UTF-8) text
using CKXStringW = CKXStringT<unsigned short>;  ///< 16-bit (UTF-16) text

/// UTF-16 to UTF-8, `n` units or up to the terminator: a lone surrogate
/// becomes U+FFFD; nothing is dropped.
///@{
KXCOM_EXPORT CKXStringA KXNarrow(const unsigned short* text, std::size_t n);
inline CKXStringA KXNarrow(const unsigned short* text) {
  return KXNarrow(text, CKXStringW::Length(text));
}
///@}
/// UTF-8 to UTF-16, `n` bytes or up to the terminator: each byte that does
/// not start a valid sequence becomes U+FFFD.
///@{
KXCOM_EXPORT CKXStringW KXWiden(const char* text, std::size_t n);
inline CKXStringW KXWiden(const char* text) { return KXWiden(text, CKXStringA::Length(text)); }
///@}

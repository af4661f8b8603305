// kxcom strings: the growable text type of tokens and statements.
//
// CKXStringT<T> is a small zero-terminated string over `char` (UTF-8) or
// `unsigned short` (UTF-16 code units). It does not rely on
// std::char_traits<unsigned short>, which the standard library does not provide.
//
//   CKXStringA s("select");
//   s += 'x';
//   if (s.CompareNoCase("SELECTX") == 0) { ... }
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "kxcom/kxcom_export.h"

// Case-insensitive comparison: ASCII letters fold as ASCII in every locale (so
// `begin` is `BEGIN` even under a Turkish locale); other letters fold by the
// process's classification locale. 8-bit text is read as UTF-8 (an invalid
// byte compares as itself), 16-bit text as UTF-16. Returns <0, 0 or >0.
KXCOM_EXPORT int KXCompareNoCase(const char* a, std::size_t a_len, const char* b, std::size_t b_len) noexcept;
KXCOM_EXPORT int KXCompareNoCase(const unsigned short* a, std::size_t a_len, const unsigned short* b,
                                 std::size_t b_len) noexcept;

template <class T>
class CKXStringT {
 public:
  CKXStringT() noexcept { inline_[0] = 0; }
  CKXStringT(const T* text) { inline_[0] = 0; Assign(text); }  // NOLINT: implicit like the platform string
  CKXStringT(const T* text, std::size_t n) { inline_[0] = 0; Assign(text, n); }
  CKXStringT(const CKXStringT& other) { inline_[0] = 0; Assign(other.data_, other.length_); }
  CKXStringT(CKXStringT&& other) noexcept { inline_[0] = 0; MoveFrom(other); }
  ~CKXStringT() { Release(); }

  CKXStringT& operator=(const CKXStringT& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
  }
  CKXStringT& operator=(CKXStringT&& other) noexcept {
    if (this != &other) { Release(); MoveFrom(other); }
    return *this;
  }
  CKXStringT& operator=(const T* text) { Assign(text); return *this; }

  void Assign(const T* text) { Assign(text, text ? Length(text) : 0); }
  void Assign(const T* text, std::size_t n) {
    if (n > capacity_) {
      // The source may live inside this string: copy before releasing.
      CKXStringT copy;
      copy.Reserve(n);
      std::memcpy(copy.data_, text, n * sizeof(T));
      copy.length_ = n;
      copy.data_[n] = 0;
      *this = std::move(copy);
      return;
    }
    std::memmove(data_, text, n * sizeof(T));
    length_ = n;
    data_[n] = 0;
  }

  void Empty() noexcept { length_ = 0; data_[0] = 0; }
  bool IsEmpty() const noexcept { return length_ == 0; }
  std::size_t GetLength() const noexcept { return length_; }
  const T* GetString() const noexcept { return data_; }
  operator const T*() const noexcept { return data_; }  // NOLINT: the platform string converts too
  T operator[](std::size_t i) const noexcept { return data_[i]; }

  void Append(T c) {
    if (length_ == capacity_) Grow(length_ + 1);
    data_[length_++] = c;
    data_[length_] = 0;
  }
  void Append(const T* text, std::size_t n) {
    if (n == 0) return;
    if (length_ + n > capacity_) {
      if (text >= data_ && text < data_ + length_) {  // appending a part of itself
        CKXStringT copy(text, n);
        Append(copy.data_, n);
        return;
      }
      Grow(length_ + n);
    }
    std::memcpy(data_ + length_, text, n * sizeof(T));
    length_ += n;
    data_[length_] = 0;
  }
  void Append(const CKXStringT& other) { Append(other.data_, other.length_); }
  CKXStringT& operator+=(T c) { Append(c); return *this; }
  CKXStringT& operator+=(const CKXStringT& other) { Append(other); return *this; }

  // Case-sensitive comparison by character code.
  int Compare(const T* other) const noexcept {
    const T* a = data_;
    const T* b = other ? other : &kEmpty;
    for (;; ++a, ++b) {
      if (*a != *b) return static_cast<unsigned>(*a) < static_cast<unsigned>(*b) ? -1 : 1;
      if (*a == 0) return 0;
    }
  }
  // The same over two strings, counting embedded zero characters.
  int Compare(const CKXStringT& other) const noexcept {
    const std::size_t n = length_ < other.length_ ? length_ : other.length_;
    for (std::size_t i = 0; i < n; ++i)
      if (data_[i] != other.data_[i])
        return static_cast<unsigned>(data_[i]) < static_cast<unsigned>(other.data_[i]) ? -1 : 1;
    return length_ == other.length_ ? 0 : (length_ < other.length_ ? -1 : 1);
  }
  int CompareNoCase(const CKXStringT& other) const noexcept {
    return KXCompareNoCase(data_, length_, other.data_, other.length_);
  }
  int CompareNoCase(const T* other) const noexcept {
    const T* b = other ? other : &kEmpty;
    return KXCompareNoCase(data_, length_, b, Length(b));
  }
  bool operator==(const T* other) const noexcept { return Compare(other) == 0; }
  bool operator!=(const T* other) const noexcept { return Compare(other) != 0; }

  // Removes characters that belong to `set` (zero-terminated) from one end.
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
  // Drops the last `n` characters (all of them when n exceeds the length).
  void Truncate(std::size_t new_length) noexcept {
    if (new_length < length_) { length_ = new_length; data_[length_] = 0; }
  }

  void Reserve(std::size_t n) { if (n > capacity_) Grow(n); }

  static std::size_t Length(const T* text) noexcept {
    std::size_t n = 0;
    if (text) while (text[n]) ++n;
    return n;
  }

 private:
  static constexpr std::size_t kInlineCapacity = 23;
  static constexpr T kEmpty = 0;

  static bool Contains(const T* set, T c) noexcept {
    for (; set && *set; ++set) if (*set == c) return true;
    return false;
  }
  void Grow(std::size_t at_least) {
    std::size_t cap = capacity_ * 2;
    if (cap < at_least) cap = at_least;
    T* block = static_cast<T*>(std::malloc((cap + 1) * sizeof(T)));
    if (!block) throw std::bad_alloc();
    std::memcpy(block, data_, (length_ + 1) * sizeof(T));
    if (data_ != inline_) std::free(data_);
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

using CKXStringA = CKXStringT<char>;
using CKXStringW = CKXStringT<unsigned short>;

// UTF-16 to UTF-8: a lone surrogate becomes U+FFFD; nothing is dropped.
KXCOM_EXPORT CKXStringA KXNarrow(const unsigned short* text, std::size_t n);
inline CKXStringA KXNarrow(const unsigned short* text) {
  return KXNarrow(text, CKXStringW::Length(text));
}
// UTF-8 to UTF-16: each byte that does not start a valid sequence becomes U+FFFD.
KXCOM_EXPORT CKXStringW KXWiden(const char* text, std::size_t n);
inline CKXStringW KXWiden(const char* text) { return KXWiden(text, CKXStringA::Length(text)); }

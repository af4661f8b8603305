// The UTF-8 check with AVX2: the lookup-table method of Keiser and Lemire
// ("Validating UTF-8 In Less Than One Instruction Per Byte", 2021). Each byte
// is judged with the one, two and three bytes before it: three table
// lookups on the nibbles of a byte and of the byte before it catch a
// sequence that is too short or too long, overlong, a surrogate or too
// large; a continuation byte that a three- or four-byte lead calls for is
// checked by subtraction. Blocks of ASCII are passed over whole.
#include "utf8_check.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace kxcom::detail {
namespace {

// What a pair of bytes can be wrong in; each table entry is the set of
// errors that its nibble allows, and a pair is wrong where all three agree.
constexpr char kTooShort = 1 << 0;      // a lead byte, then no continuation
constexpr char kTooLong = 1 << 1;       // ASCII, then a continuation
constexpr char kOverlong3 = 1 << 2;     // E0 80-9F
constexpr char kTooLarge = 1 << 3;      // F4 90-BF, F5-FF
constexpr char kSurrogate = 1 << 4;     // ED A0-BF
constexpr char kOverlong2 = 1 << 5;     // C0-C1
constexpr char kTooLarge1000 = 1 << 6;  // F5-FF 80-8F
constexpr char kOverlong4 = 1 << 6;     // F0 80-8F
constexpr char kTwoConts = static_cast<char>(1 << 7);  // a continuation with none before it to continue
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;

__attribute__((target("avx2"))) inline __m256i Table(char e0, char e1, char e2, char e3, char e4, char e5, char e6,
                                                    char e7, char e8, char e9, char e10, char e11, char e12,
                                                    char e13, char e14, char e15) {
  return _mm256_setr_epi8(e0, e1, e2, e3, e4, e5, e6, e7, e8, e9, e10, e11, e12, e13, e14, e15, e0, e1, e2, e3, e4,
                          e5, e6, e7, e8, e9, e10, e11, e12, e13, e14, e15);
}

// The bytes `n` places before each byte of `input`, `previous` being the block before.
template <int n>
__attribute__((target("avx2"))) inline __m256i Before(__m256i input, __m256i previous) {
  return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - n);
}

__attribute__((target("avx2"))) inline __m256i HighNibbles(__m256i v) {
  return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

__attribute__((target("avx2"))) bool IsWholeUtf8Avx2(const unsigned char* p, std::size_t n) noexcept {
  const __m256i byte_1_high = Table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                                    kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
                                    kTooShort | kOverlong3 | kSurrogate,
                                    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
  constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
  const __m256i byte_1_low = Table(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                                   kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                                   kLarge | kSurrogate, kLarge, kLarge);
  const __m256i byte_2_high =
      Table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
            kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
            kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
            kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
            kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort);
  // A lead byte in the last three places that its character cannot fit behind.
  const __m256i incomplete_above =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                       -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1), static_cast<char>(0xE0 - 1),
                       static_cast<char>(0xC0 - 1));
  __m256i previous = _mm256_setzero_si256();
  __m256i previous_incomplete = _mm256_setzero_si256();
  __m256i error = _mm256_setzero_si256();

  const auto check = [&](__m256i input) __attribute__((target("avx2"))) {
    if (_mm256_movemask_epi8(input) == 0) {
      // ASCII: nothing here continues what the block before began.
      error = _mm256_or_si256(error, previous_incomplete);
    } else {
      const __m256i prev1 = Before<1>(input, previous);
      const __m256i special = _mm256_and_si256(
          _mm256_and_si256(_mm256_shuffle_epi8(byte_1_high, HighNibbles(prev1)),
                           _mm256_shuffle_epi8(byte_1_low, _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)))),
          _mm256_shuffle_epi8(byte_2_high, HighNibbles(input)));
      // Where a three- or four-byte lead stands two or three places before,
      // a continuation must: marked 0x80, it cancels the TWO_CONTS bit.
      const __m256i third = _mm256_subs_epu8(Before<2>(input, previous), _mm256_set1_epi8(0xE0 - 0x80));
      const __m256i fourth = _mm256_subs_epu8(Before<3>(input, previous), _mm256_set1_epi8(0xF0 - 0x80));
      const __m256i must_continue = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(-128));
      error = _mm256_or_si256(error, _mm256_xor_si256(must_continue, special));
      previous_incomplete = _mm256_subs_epu8(input, incomplete_above);
    }
    previous = input;
  };

  const auto load = [p](std::size_t at) __attribute__((target("avx2"))) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at));
  };
  std::size_t i = 0;
  // Scripts are mostly ASCII: 128 bytes of it are passed over with one test.
  for (; n - i >= 128; i += 128) {
    const __m256i a = load(i), b = load(i + 32), c = load(i + 64), d = load(i + 96);
    if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))) == 0) {
      error = _mm256_or_si256(error, previous_incomplete);
      previous = d;
    } else {
      check(a);
      check(b);
      check(c);
      check(d);
    }
  }
  for (; n - i >= 32; i += 32) check(load(i));
  if (i < n) {
    // The rest behind zero bytes, which are ASCII: a character cut off by
    // the end is then too short.
    alignas(32) unsigned char tail[32] = {};
    std::memcpy(tail, p + i, n - i);
    check(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
  }
  error = _mm256_or_si256(error, previous_incomplete);
  return _mm256_testz_si256(error, error) != 0;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");

}  // namespace

bool IsWholeUtf8Fast(const unsigned char* p, std::size_t n) noexcept { return kHasAvx2 && IsWholeUtf8Avx2(p, n); }

}  // namespace kxcom::detail

#else

namespace kxcom::detail {
bool IsWholeUtf8Fast(const unsigned char*, std::size_t) noexcept { return false; }
}  // namespace kxcom::detail

#endif

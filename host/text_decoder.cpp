// Decoding a file's bytes to UTF-8, chunk by chunk. UTF-8 itself is only
// validated and copied; every other encoding goes through iconv.
#include "text_decoder.h"
#include "utf8_check.h"

#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

TextDecoder::~TextDecoder() = default;

int TextDecoder::DecodeLast(const unsigned char* in, unsigned int count, const char*& out,
                            unsigned int& out_count) {
  return Decode(in, count, out, out_count);
}

namespace kxcom::detail {
namespace {

constexpr unsigned char kReplacement[] = {0xEF, 0xBF, 0xBD};  // U+FFFD
// An incomplete character left at a chunk's end is at most 3 bytes: of a
// 4-byte UTF-8 sequence, of a UTF-32 unit, or a high surrogate and one byte.
constexpr std::size_t kMaxCarry = 3;
// No input byte yields more than 3 output bytes: one bad byte becomes
// U+FFFD, a Windows-1252 byte at most U+20AC, a 16-bit unit at most U+FFFF,
// and a 4-byte character 4 bytes.
constexpr std::size_t kMaxOutPerIn = 3;
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

// The decoder's output, reused from chunk to chunk.
class Output {
 public:
  // Empties the output and makes room for `capacity` bytes.
  void Reset(std::size_t capacity) {
    if (buffer_.size() < capacity) buffer_.resize(capacity);
    length_ = 0;
  }
  void Append(const unsigned char* p, std::size_t n) {
    if (n == 0) return;
    Reserve(n);
    std::memcpy(buffer_.data() + length_, p, n);
    length_ += n;
  }
  void AppendReplacement() { Append(kReplacement, sizeof kReplacement); }
  // The free space, for iconv to write into; Commit says how much it wrote.
  char* End() noexcept { return buffer_.data() + length_; }
  std::size_t Room() const noexcept { return buffer_.size() - length_; }
  void Commit(const char* end) noexcept { length_ = static_cast<std::size_t>(end - buffer_.data()); }
  void Grow() { buffer_.resize(buffer_.size() * 2 + 64); }
  const char* Data() const noexcept { return buffer_.data(); }
  std::size_t Length() const noexcept { return length_; }

 private:
  void Reserve(std::size_t n) {
    if (Room() < n) buffer_.resize(length_ + n + buffer_.size());
  }
  std::vector<char> buffer_;
  std::size_t length_ = 0;
};

enum class Utf8Seq { kValid, kInvalid, kIncomplete };

// Judges the sequence that starts at p[0] (a byte of 0x80 or more; n >= 1
// bytes available) by the table of well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF. `length` gets the sequence's length
// when valid, or the length of its maximal valid beginning (at least 1) when
// invalid: that part becomes one U+FFFD, as the Unicode standard recommends.
Utf8Seq CheckUtf8(const unsigned char* p, std::size_t n, std::size_t& length) {
  const unsigned char lead = p[0];
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  std::size_t needed;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3;
    if (lead == 0xE0) low = 0xA0;        // below: overlong
    else if (lead == 0xED) high = 0x9F;  // above: surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4;
    if (lead == 0xF0) low = 0x90;        // below: overlong
    else if (lead == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
  } else {
    length = 1;  // a continuation byte, C0, C1 or F5-FF
    return Utf8Seq::kInvalid;
  }
  for (std::size_t i = 1; i < needed; ++i) {
    if (i == n) return Utf8Seq::kIncomplete;
    const unsigned char b = p[i];
    const bool in_range = i == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
    if (!in_range) {
      length = i;
      return Utf8Seq::kInvalid;
    }
  }
  length = needed;
  return Utf8Seq::kValid;
}

// The first byte of p[0, n) that is not ASCII, or n. Scripts are mostly
// ASCII: it is skipped 32 bytes at a time.
std::size_t AsciiPrefix(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; n - i >= 32; i += 32) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
    if (_mm_movemask_epi8(_mm_or_si128(a, b)) == 0) continue;
    const int low = _mm_movemask_epi8(a);
    return i + static_cast<std::size_t>(low != 0 ? __builtin_ctz(low) : 16 + __builtin_ctz(_mm_movemask_epi8(b)));
  }
#else
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  for (; n - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if ((word & kHighBits) != 0) break;
  }
#endif
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

// Length of the longest beginning of p made of whole, valid UTF-8 characters.
std::size_t ValidUtf8Prefix(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  for (;;) {
    i += AsciiPrefix(p + i, n - i);
    if (i == n) break;
    // Two-byte characters (accented Latin letters) are the common case.
    if (p[i] >= 0xC2 && p[i] <= 0xDF && n - i >= 2 && (p[i + 1] & 0xC0) == 0x80) {
      i += 2;
      continue;
    }
    std::size_t length;
    if (CheckUtf8(p + i, n - i, length) != Utf8Seq::kValid) break;
    i += length;
  }
  return i;
}

// Copies the valid UTF-8 of p to `out`, each invalid sequence replaced by
// U+FFFD. Returns the bytes consumed: all but an incomplete character at
// the end.
std::size_t CopyUtf8(const unsigned char* p, std::size_t n, Output& out) {
  std::size_t i = 0;
  while (i < n) {
    const std::size_t valid = ValidUtf8Prefix(p + i, n - i);
    out.Append(p + i, valid);
    i += valid;
    if (i == n) break;
    std::size_t length;
    if (CheckUtf8(p + i, n - i, length) == Utf8Seq::kIncomplete) return i;
    out.AppendReplacement();
    i += length;
  }
  return n;
}

// The characters of the Windows-1252 bytes 0x80-0x9F; the five bytes the code
// page leaves undefined become U+FFFD, as iconv's Windows-1252 reads them.
// From 0xA0 on the code page is Latin-1: the byte is the code point.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Appends the UTF-8 of the Windows-1252 byte `b` (0x80 or more).
void AppendWindows1252(unsigned char b, Output& out) {
  const std::uint16_t c = b < 0xA0 ? kWindows1252High[b - 0x80] : b;
  unsigned char utf8[3];
  if (c < 0x800) {
    utf8[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    utf8[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    out.Append(utf8, 2);
  } else {
    utf8[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    utf8[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    utf8[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    out.Append(utf8, 3);
  }
}

// Converts p with `cd`, whose code unit is `unit` bytes, appending UTF-8 to
// `out`. Returns the bytes consumed: all but an incomplete character at the
// end. An invalid unit becomes U+FFFD and is skipped.
std::size_t IconvInto(iconv_t cd, std::size_t unit, const unsigned char* p, std::size_t n, Output& out) {
  char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
  std::size_t in_left = n;
  while (in_left > 0) {
    char* o = out.End();
    std::size_t o_left = out.Room();
    const std::size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    const int error = errno;
    out.Commit(o);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (error == EINVAL) break;  // a character that the next chunk completes
    if (error == E2BIG) {
      out.Grow();
      continue;
    }
    // EILSEQ, or anything unforeseen: one unit is replaced, the rest is read.
    out.AppendReplacement();
    const std::size_t skip = in_left < unit ? in_left : unit;
    in += skip;
    in_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return n - in_left;
}

// What every decoder shares: the bytes carried from one chunk to the next,
// the output buffer, and the end of the input.
class ChunkDecoder : public TextDecoder {
 public:
  explicit ChunkDecoder(unsigned int chunk_size)
      : work_(chunk_size + kMaxCarry) {
    output_.Reset(kMaxOutPerIn * (chunk_size + kMaxCarry) + 16);
  }

  int Decode(const unsigned char* in, unsigned int count, const char*& out,
             unsigned int& out_count) override {
    return Run(in, count, false, out, out_count);
  }
  int DecodeLast(const unsigned char* in, unsigned int count, const char*& out,
                 unsigned int& out_count) override {
    return Run(in, count, true, out, out_count);
  }

 protected:
  // Appends the UTF-8 of p to `out` and returns the bytes consumed; the rest
  // (the beginning of a character) is carried to the next chunk, or becomes
  // one U+FFFD when `last`.
  virtual std::size_t Convert(const unsigned char* p, std::size_t n, bool last, Output& out) = 0;
  // The input ended: forget what was learned about it.
  virtual void Restart() noexcept {}
  // The chunk p, which follows no carried bytes, decodes to itself.
  virtual bool AsItStands(const unsigned char*, std::size_t) noexcept { return false; }

 private:
  int Run(const unsigned char* in, unsigned int count, bool last, const char*& out,
          unsigned int& out_count) noexcept {
    out = nullptr;
    out_count = 0;
    // A chunk that is already what the decoder would make is handed back as
    // it stands, uncopied.
    if (carried_ == 0 && count > 0 && AsItStands(in, count)) {
      if (last) Restart();
      out = reinterpret_cast<const char*>(in);
      out_count = count;
      return 1;
    }
    try {
      const unsigned char* p = in;
      std::size_t n = count;
      if (carried_ > 0) {
        // The carried bytes already stand at the start of work_: the chunk
        // goes behind them so that the straddling character is whole.
        if (work_.size() < carried_ + count) work_.resize(carried_ + count);
        if (count > 0) std::memcpy(work_.data() + carried_, in, count);
        p = work_.data();
        n = carried_ + count;
        carried_ = 0;
      }
      output_.Reset(kMaxOutPerIn * n + 16);
      const std::size_t used = n > 0 ? Convert(p, n, last, output_) : 0;
      if (used < n) {
        if (last) {
          output_.AppendReplacement();
        } else {
          if (work_.size() < n - used) work_.resize(n - used);
          std::memmove(work_.data(), p + used, n - used);
          carried_ = n - used;
        }
      }
      if (last) Restart();
      out = output_.Data();
      out_count = static_cast<unsigned int>(output_.Length());
      return 1;
    } catch (const std::bad_alloc&) {
      carried_ = 0;
      return 0;
    }
  }

  std::vector<unsigned char> work_;  // carried bytes, then the chunk behind them
  std::size_t carried_ = 0;
  Output output_;
};

class IconvDecoder final : public ChunkDecoder {
 public:
  IconvDecoder(unsigned int chunk_size, const char* from, std::size_t unit)
      : ChunkDecoder(chunk_size), cd_(iconv_open("UTF-8", from)), unit_(unit) {}
  ~IconvDecoder() override {
    if (cd_ != kNoIconv) iconv_close(cd_);
  }
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  bool IsValid() const override { return cd_ != kNoIconv; }

 protected:
  std::size_t Convert(const unsigned char* p, std::size_t n, bool, Output& out) override {
    if (cd_ == kNoIconv) return n;
    return IconvInto(cd_, unit_, p, n, out);
  }
  void Restart() noexcept override {
    if (cd_ != kNoIconv) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }

 private:
  iconv_t cd_;
  std::size_t unit_;
};

// UTF-8, validated and copied. Text that carries no mark may also hold
// bytes of an older Windows-1252 file: with `legacy_fallback`, every byte
// that is not part of a valid UTF-8 sequence is read as Windows-1252, each on
// its own and wherever it stands, so that one stray byte never changes how
// the rest of the file reads. A sequence cut by a chunk's end is carried and
// judged whole with the next chunk, so the result does not depend on where
// the chunks fall.
class Utf8Decoder final : public ChunkDecoder {
 public:
  Utf8Decoder(unsigned int chunk_size, bool legacy_fallback)
      : ChunkDecoder(chunk_size), legacy_fallback_(legacy_fallback) {}

  bool IsValid() const override { return true; }

 protected:
  std::size_t Convert(const unsigned char* p, std::size_t n, bool last, Output& out) override {
    if (!legacy_fallback_) return CopyUtf8(p, n, out);
    std::size_t i = 0;
    while (i < n) {
      const std::size_t valid = ValidUtf8Prefix(p + i, n - i);
      out.Append(p + i, valid);
      i += valid;
      if (i == n) break;
      std::size_t length;
      // The next chunk may complete the sequence; only the end of the input
      // makes its bytes stray ones.
      if (CheckUtf8(p + i, n - i, length) == Utf8Seq::kIncomplete && !last) return i;
      AppendWindows1252(p[i], out);
      ++i;
    }
    return n;
  }
  // Whole, valid UTF-8 decodes to itself, strays or not.
  bool AsItStands(const unsigned char* p, std::size_t n) noexcept override {
    return IsWholeUtf8Fast(p, n) || ValidUtf8Prefix(p, n) == n;
  }

 private:
  bool legacy_fallback_;
};

}  // namespace

TextDecoder* MakeUtf8Decoder(unsigned int chunk_size, bool legacy_fallback) {
  try {
    return new Utf8Decoder(chunk_size, legacy_fallback);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

TextDecoder* MakeIconvDecoder(unsigned int chunk_size, const char* from, std::size_t unit) {
  try {
    return new IconvDecoder(chunk_size, from, unit);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kxcom::detail

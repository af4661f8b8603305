/// @file
/// kxcom encodings: recognising a script file's encoding from its first bytes
/// and decoding it, chunk by chunk, to UTF-8.
///
/// @code
/// bool has_bom = false;
/// const OFENCODING& enc = OFENCODING::GetFromBuf(has_bom, first_bytes, n);
/// std::unique_ptr<TextDecoder> dec(enc.CreateDecoder(4096));
/// @endcode
#pragma once

#include "kxcom/kxcom_export.h"

/// Turns raw bytes into UTF-8, one chunk at a time. The decoder carries what
/// spans two chunks: a character whose bytes straddle the boundary (a UTF-8
/// sequence, a UTF-16 surrogate pair, half a 16-bit unit) comes out whole from
/// the next chunk. Invalid input never stops it: each bad sequence becomes one
/// U+FFFD (EF BF BD) and decoding goes on with what follows. (Unmarked UTF-8
/// reads each stray byte as Windows-1252 instead; see GetFromBuf.)
///
/// The end of the input is told by giving its last chunk to DecodeLast instead
/// of Decode: a character still incomplete there is not dropped silently but
/// comes out as one U+FFFD (unmarked UTF-8: as its bytes in Windows-1252),
/// and the decoder then starts afresh.
class KXCOM_EXPORT TextDecoder {
 public:
  virtual ~TextDecoder();
  /// Decodes `count` bytes. On success returns non-zero and points `out` at
  /// `out_count` UTF-8 bytes held by the decoder, or at `in` itself when the
  /// chunk is already that UTF-8, valid until the next Decode, the decoder's
  /// destruction or a change to `in`; `out_count` may be 0 when the chunk
  /// only began a character. Returns 0 with no characters on failure (out of
  /// memory).
  virtual int Decode(const unsigned char* in, unsigned int count, const char*& out,
                     unsigned int& out_count) = 0;
  /// True when the decoder is ready for use.
  virtual bool IsValid() const = 0;
  /// Decodes the last chunk of the input (`count` may be 0) as Decode does,
  /// then ends the input: an incomplete character carried to here becomes
  /// one U+FFFD. A decoder that carries nothing between chunks need not
  /// override it: the default is Decode.
  virtual int DecodeLast(const unsigned char* in, unsigned int count, const char*& out,
                         unsigned int& out_count);
};

/// A file encoding; compared by code.
class KXCOM_EXPORT OFENCODING {
 public:
  static const OFENCODING UTF8;     ///< UTF-8 (invalid bytes become U+FFFD)
  static const OFENCODING UTF16LE;      ///< UTF-16, little-endian
  static const OFENCODING UTF16BE;      ///< UTF-16, big-endian
  static const OFENCODING UTF32LE;      ///< UTF-32, little-endian
  static const OFENCODING UTF32BE;      ///< UTF-32, big-endian
  static const OFENCODING WINDOWS1252;  ///< Windows-1252 (Western European)

  /// Recognises the encoding from the first `count` bytes (at most 10 are
  /// looked at; `buf` may be null when `count` is 0) and sets `has_bom` when
  /// they begin with a byte-order mark. Recognised, in this order:
  ///   - the marks EF BB BF (UTF-8), FF FE 00 00 (UTF-32 LE), 00 00 FE FF
  ///     (UTF-32 BE), FF FE (UTF-16 LE) and FE FF (UTF-16 BE);
  ///   - UTF-32 without a mark: every whole 4-byte unit holds a character
  ///     below U+10000 other than U+0000 (two zero bytes on the high side);
  ///   - UTF-16 without a mark: ASCII-range text leaves a zero in every other
  ///     byte. No zero at even offsets and zeros in at least half of the odd
  ///     ones is LE; the mirror image is BE;
  ///   - otherwise UTF-8 mixed with Windows-1252, decided sequence by
  ///     sequence: every valid UTF-8 sequence is UTF-8, and every byte that
  ///     is not part of one is read as a Windows-1252 character, wherever it
  ///     stands (the five bytes that code page leaves undefined become
  ///     U+FFFD). A sequence that straddles two chunks is judged whole, so
  ///     the text is the same however the input is cut. The encoding
  ///     returned compares equal to UTF8 and answers UTF8's name.
  /// A file with a mark is always decoded as the mark says.
  static const OFENCODING& GetFromBuf(bool& has_bom, const unsigned char* buf, unsigned int count) noexcept;

  /// The code that identifies the encoding.
  unsigned int GetCode() const noexcept { return code_; }
  /// The iconv name of the encoding ("UTF-8", "UTF-16LE", ...).
  const char* GetName() const noexcept { return name_; }
  /// Length of this encoding's byte-order mark in bytes (0: it has none).
  unsigned int BOMLength() const noexcept { return bom_length_; }
  /// A new decoder to UTF-8 for chunks of `chunk_size` bytes (larger chunks
  /// work too, at the cost of growing its buffers); the caller owns it. Null
  /// when none can be made.
  TextDecoder* CreateDecoder(unsigned int chunk_size) const noexcept;

  /// Encodings are equal when their codes are.
  ///@{
  bool operator==(const OFENCODING& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const OFENCODING& other) const noexcept { return code_ != other.code_; }
  ///@}

 private:
  /// Unmarked UTF-8 whose stray bytes are read as Windows-1252.
  static const OFENCODING UTF8_OR_WINDOWS1252;

  constexpr OFENCODING(unsigned int code, const char* name, unsigned int bom_length,
                       bool legacy_fallback = false) noexcept
      : code_(code), name_(name), bom_length_(bom_length), legacy_fallback_(legacy_fallback) {}
  unsigned int code_;
  const char* name_;
  unsigned int bom_length_;
  bool legacy_fallback_;
};

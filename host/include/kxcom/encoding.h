// kxcom encodings: recognising a script file's encoding from its first bytes
// and decoding it, chunk by chunk, to UTF-8.
//
//   bool has_bom = false;
//   const OFENCODING& enc = OFENCODING::GetFromBuf(has_bom, first_bytes, n);
//   std::unique_ptr<TextDecoder> dec(enc.CreateDecoder(4096));
#pragma once

#include "kxcom/kxcom_export.h"

// Turns raw bytes into UTF-8, one chunk at a time. The decoder carries what
// spans two chunks: a character whose bytes straddle the boundary comes out
// whole from the next chunk. Invalid input never stops it: each bad sequence
// becomes U+FFFD.
class KXCOM_EXPORT TextDecoder {
 public:
  virtual ~TextDecoder();
  // Decodes `count` bytes. On success returns non-zero and points `out` at
  // `out_count` UTF-8 bytes held by the decoder (valid until the next Decode
  // or its destruction); `out_count` may be 0 when the chunk only began a
  // character. Returns 0 with no characters on failure.
  virtual int Decode(const unsigned char* in, unsigned int count, const char*& out,
                     unsigned int& out_count) = 0;
  // True when the decoder is ready for use.
  virtual bool IsValid() const = 0;
};

// A file encoding; compared by code.
class KXCOM_EXPORT OFENCODING {
 public:
  static const OFENCODING UTF8;     // UTF-8; without a mark, falls back to Windows-1252 (see GetFromBuf)
  static const OFENCODING UTF16LE;
  static const OFENCODING UTF16BE;
  static const OFENCODING UTF32LE;
  static const OFENCODING UTF32BE;
  static const OFENCODING WINDOWS1252;

  // Recognises the encoding from the first `count` bytes (at most 10 are
  // looked at) and sets `has_bom` when they begin with a byte-order mark.
  // Recognised: the marks of UTF-8, UTF-16 LE/BE and UTF-32 LE/BE; UTF-16
  // without a mark, from the zero bytes of ASCII-range text; otherwise UTF-8.
  // Unmarked UTF-8 is decoded as UTF-8 unless the first chunk holds bytes that
  // are not valid UTF-8, in which case the whole file is read as Windows-1252.
  static const OFENCODING& GetFromBuf(bool& has_bom, const unsigned char* buf, unsigned int count) noexcept;

  unsigned int GetCode() const noexcept { return code_; }
  // The iconv name of the encoding ("UTF-8", "UTF-16LE", ...).
  const char* GetName() const noexcept { return name_; }
  // Length of this encoding's byte-order mark in bytes.
  unsigned int BOMLength() const noexcept { return bom_length_; }
  // A new decoder for chunks of at most `chunk_size` bytes (the caller owns
  // it), or null when none can be made.
  TextDecoder* CreateDecoder(unsigned int chunk_size) const noexcept;

  bool operator==(const OFENCODING& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const OFENCODING& other) const noexcept { return code_ != other.code_; }

 private:
  constexpr OFENCODING(unsigned int code, const char* name, unsigned int bom_length) noexcept
      : code_(code), name_(name), bom_length_(bom_length) {}
  unsigned int code_;
  const char* name_;
  unsigned int bom_length_;
};

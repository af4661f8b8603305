#include "kxcom/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

// Code points of UTF-8 test text (the tests only give it valid UTF-8).
std::vector<char32_t> CodePoints(const std::string& utf8) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out.push_back(c);
    i += n;
  }
  return out;
}

void Put16(Bytes& out, unsigned int unit, bool big_endian) {
  const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
  out += big_endian ? hi : lo;
  out += big_endian ? lo : hi;
}

// The bytes of UTF-8 text in another encoding, written by hand so that the
// decoder is checked against an independent encoder.
Bytes Encode(const std::string& utf8, const OFENCODING& encoding) {
  if (encoding == OFENCODING::UTF8) return utf8;
  const bool big = encoding == OFENCODING::UTF16BE || encoding == OFENCODING::UTF32BE;
  Bytes out;
  for (char32_t c : CodePoints(utf8)) {
    if (encoding == OFENCODING::UTF32LE || encoding == OFENCODING::UTF32BE) {
      Put16(out, big ? c >> 16 : c & 0xFFFF, big);
      Put16(out, big ? c & 0xFFFF : c >> 16, big);
    } else if (c < 0x10000) {
      Put16(out, c, big);
    } else {
      Put16(out, 0xD800 + ((c - 0x10000) >> 10), big);
      Put16(out, 0xDC00 + ((c - 0x10000) & 0x3FF), big);
    }
  }
  return out;
}

const unsigned char* U(const Bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

// Decodes `input` fed in pieces of `piece` bytes, the last one as the end.
std::string DecodeInPieces(TextDecoder& decoder, const Bytes& input, std::size_t piece) {
  std::string result;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(piece, input.size() - at);
    const bool last = at + n == input.size();
    const char* out = nullptr;
    unsigned int count = 12345;
    const int ok = last ? decoder.DecodeLast(U(input) + at, static_cast<unsigned int>(n), out, count)
                        : decoder.Decode(U(input) + at, static_cast<unsigned int>(n), out, count);
    EXPECT_NE(ok, 0);
    result.append(out, count);
    at += n;
  } while (at < input.size());
  return result;
}

std::string DecodeAs(const OFENCODING& encoding, const Bytes& input, std::size_t piece = 4096) {
  std::unique_ptr<TextDecoder> decoder(encoding.CreateDecoder(4096));
  EXPECT_TRUE(decoder && decoder->IsValid());
  return decoder ? DecodeInPieces(*decoder, input, piece) : std::string();
}

// The decoder that detection gives text without a mark.
std::unique_ptr<TextDecoder> UnmarkedDecoder() {
  bool has_bom = true;
  const OFENCODING& encoding = OFENCODING::GetFromBuf(has_bom, U("sel"), 3);
  EXPECT_FALSE(has_bom);
  EXPECT_EQ(encoding, OFENCODING::UTF8);
  return std::unique_ptr<TextDecoder>(encoding.CreateDecoder(4096));
}

std::string DecodeUnmarked(const Bytes& input, std::size_t piece = 4096) {
  auto decoder = UnmarkedDecoder();
  return DecodeInPieces(*decoder, input, piece);
}

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(EncodingDetection, MarksAndZeroPatterns) {
  struct Row {
    Bytes bytes;
    const OFENCODING* expected;
    bool has_bom;
  };
  const Row rows[] = {
      {"\xEF\xBB\xBF" "select", &OFENCODING::UTF8, true},
      {"\xEF\xBB\xBF", &OFENCODING::UTF8, true},
      {Bytes("\xFF\xFE\0\0s\0\0\0", 8), &OFENCODING::UTF32LE, true},
      {Bytes("\0\0\xFE\xFF\0\0\0s", 8), &OFENCODING::UTF32BE, true},
      {Bytes("\xFF\xFEs\0", 4), &OFENCODING::UTF16LE, true},
      {"\xFF\xFE", &OFENCODING::UTF16LE, true},
      {Bytes("\xFE\xFF\0s", 4), &OFENCODING::UTF16BE, true},
      {Bytes("s\0e\0l\0e\0c\0t\0", 12), &OFENCODING::UTF16LE, false},
      {Bytes("\0s\0e\0l", 6), &OFENCODING::UTF16BE, false},
      {Bytes("s\0", 2), &OFENCODING::UTF16LE, false},
      // Half the units outside Latin-1 is still UTF-16.
      {Bytes("s\0\x2D\x4E", 4), &OFENCODING::UTF16LE, false},
      {Bytes("s\0\0\0e\0\0\0", 8), &OFENCODING::UTF32LE, false},
      {Bytes("\0\0\0s\0\0\0e", 8), &OFENCODING::UTF32BE, false},
      {"select 1;", &OFENCODING::UTF8, false},
      {"\xE4\xB8\xAD\xE6\x96\x87", &OFENCODING::UTF8, false},
      {"caf\xE9", &OFENCODING::UTF8, false},
      {"s", &OFENCODING::UTF8, false},
      {"", &OFENCODING::UTF8, false},
      // Only the first ten bytes count.
      {Bytes("select 1; a\0b\0c\0d\0e\0", 21), &OFENCODING::UTF8, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.bytes));
    bool has_bom = !row.has_bom;
    const OFENCODING& found =
        OFENCODING::GetFromBuf(has_bom, U(row.bytes), static_cast<unsigned int>(row.bytes.size()));
    EXPECT_EQ(found.GetName(), std::string(row.expected->GetName()));
    EXPECT_TRUE(found == *row.expected);
    EXPECT_EQ(has_bom, row.has_bom);
  }
  bool has_bom = true;
  EXPECT_TRUE(OFENCODING::GetFromBuf(has_bom, nullptr, 0) == OFENCODING::UTF8);
  EXPECT_FALSE(has_bom);
}

// ASCII, Latin-1, the BMP and a character beyond it (a surrogate pair in UTF-16).
const std::string kSample = "select 'caf\xC3\xA9', '\xE4\xB8\xAD\xE6\x96\x87', '\xF0\x9F\x98\x80' -- \xE2\x82\xAC\n";

TEST(TextDecoder, EveryEncodingGivesTheSameUtf8WhereverChunksSplit) {
  const OFENCODING* encodings[] = {&OFENCODING::UTF8, &OFENCODING::UTF16LE, &OFENCODING::UTF16BE,
                                   &OFENCODING::UTF32LE, &OFENCODING::UTF32BE};
  for (const OFENCODING* encoding : encodings) {
    const Bytes input = Encode(kSample, *encoding);
    // Pieces of 1, 2, 3, 5 and 7 bytes split every character every way: a
    // UTF-8 sequence, a surrogate pair and a 16-bit unit all straddle.
    for (std::size_t piece : {1, 2, 3, 5, 7, 4096}) {
      SCOPED_TRACE(std::string(encoding->GetName()) + " in pieces of " + std::to_string(piece));
      EXPECT_EQ(DecodeAs(*encoding, input, piece), kSample);
    }
  }
  for (std::size_t piece : {1, 2, 3, 4096}) EXPECT_EQ(DecodeUnmarked(kSample, piece), kSample);
}

TEST(TextDecoder, WindowsCodePage) {
  EXPECT_EQ(DecodeAs(OFENCODING::WINDOWS1252, "caf\xE9 \x80 \x93q\x94"),
            "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
}

TEST(TextDecoder, InvalidInputBecomesReplacementAndReadingGoesOn) {
  struct Row {
    const OFENCODING* encoding;
    Bytes input;
    std::string expected;
  };
  const std::string R = kFFFD;
  const Row rows[] = {
      {&OFENCODING::UTF8, "a\xFF" "b", "a" + R + "b"},
      {&OFENCODING::UTF8, "caf\xE9 ok", "caf" + R + " ok"},
      // A truncated sequence is one replacement, inside the text or at its end.
      {&OFENCODING::UTF8, "\xE2\x82" "A", R + "A"},
      {&OFENCODING::UTF8, "a\xE2\x82", "a" + R},
      {&OFENCODING::UTF8, "a\xF0\x9F\x98", "a" + R},
      // Overlong forms, surrogates and values beyond U+10FFFF are refused.
      {&OFENCODING::UTF8, "\xC0\xAF", R + R},
      {&OFENCODING::UTF8, "\xE0\x80\xAF", R + R + R},
      {&OFENCODING::UTF8, "\xED\xA0\x80", R + R + R},
      {&OFENCODING::UTF8, "\xF4\x90\x80\x80", R + R + R + R},
      {&OFENCODING::UTF8, "\x80x", R + "x"},
      // A lone surrogate is one unit replaced; the next unit is read.
      {&OFENCODING::UTF16LE, Bytes("A\0\x3D\xD8" "B\0", 6), "A" + R + "B"},
      {&OFENCODING::UTF16LE, Bytes("A\0\x00\xDC" "B\0", 6), "A" + R + "B"},
      {&OFENCODING::UTF16BE, Bytes("\0A\xD8\x3D\0B", 6), "A" + R + "B"},
      // What the end leaves incomplete is not lost silently.
      {&OFENCODING::UTF16LE, Bytes("A\0B", 3), "A" + R},
      {&OFENCODING::UTF16LE, Bytes("A\0\x3D\xD8", 4), "A" + R},
      {&OFENCODING::UTF32LE, Bytes("A\0\0\0B\0", 6), "A" + R},
      {&OFENCODING::UTF32LE, Bytes("A\0\0\0\0\0\x11\0B\0\0\0", 12), "A" + R + "B"},
      {&OFENCODING::UTF32BE, Bytes("\0\0\xD8\0\0\0\0B", 8), R + "B"},
      {&OFENCODING::WINDOWS1252, "a\x81" "b", "a" + R + "b"},
  };
  for (const Row& row : rows) {
    for (std::size_t piece : {1, 4096}) {
      SCOPED_TRACE(std::string(row.encoding->GetName()) + " " + ::testing::PrintToString(row.input) +
                   " in pieces of " + std::to_string(piece));
      EXPECT_EQ(DecodeAs(*row.encoding, row.input, piece), row.expected);
    }
  }
}

TEST(TextDecoder, ChunkThatOnlyBeginsACharacterGivesNothingYet) {
  std::unique_ptr<TextDecoder> decoder(OFENCODING::UTF8.CreateDecoder(4096));
  const char* out = nullptr;
  unsigned int count = 99;
  ASSERT_NE(decoder->Decode(U("\xF0\x9F"), 2, out, count), 0);
  EXPECT_EQ(count, 0u);
  ASSERT_NE(decoder->Decode(U("\x98"), 1, out, count), 0);
  EXPECT_EQ(count, 0u);
  ASSERT_NE(decoder->Decode(U("\x80!"), 2, out, count), 0);
  EXPECT_EQ(std::string(out, count), "\xF0\x9F\x98\x80!");
  // An end with nothing carried gives nothing.
  ASSERT_NE(decoder->DecodeLast(nullptr, 0, out, count), 0);
  EXPECT_EQ(count, 0u);
}

TEST(TextDecoder, EndOfInputStartsAfresh) {
  std::unique_ptr<TextDecoder> decoder(OFENCODING::UTF16LE.CreateDecoder(4096));
  const char* out = nullptr;
  unsigned int count = 0;
  ASSERT_NE(decoder->Decode(U("A"), 1, out, count), 0);
  ASSERT_NE(decoder->DecodeLast(nullptr, 0, out, count), 0);
  EXPECT_EQ(std::string(out, count), kFFFD);
  // The odd byte carried before the end belongs to no later input.
  ASSERT_NE(decoder->DecodeLast(U(Bytes("B\0", 2)), 2, out, count), 0);
  EXPECT_EQ(std::string(out, count), "B");
}

TEST(TextDecoder, UnmarkedTextFallsBackToWindowsCodePageFromItsFirstChunk) {
  struct Row {
    const char* what;
    Bytes input;
    std::string expected;
  };
  const std::string ascii(4000, 'a');
  const std::string chunk_of_a(4095, 'a');
  const Row rows[] = {
      {"a byte that is no UTF-8", "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"a whole file of one such byte", "\xE9", "\xC3\xA9"},
      // The first chunk decides for the whole file: a later é is Windows-1252 too.
      {"invalid in the first chunk", ascii + "\xE9" + ascii + "\xE9",
       ascii + "\xC3\xA9" + ascii + "\xC3\xA9"},
      // A valid first chunk makes it UTF-8 to the end; later bad bytes are replaced.
      {"valid first chunk", ascii + "\xC3\xA9" + ascii + "\xE9", ascii + "\xC3\xA9" + ascii + kFFFD},
      // A character straddling the first chunk's end is judged whole.
      {"valid straddling character", chunk_of_a + "\xE2\x82\xAC" + "\xE9",
       chunk_of_a + "\xE2\x82\xAC" + kFFFD},
      {"invalid straddling character", chunk_of_a + "\xE9 x\xE9", chunk_of_a + "\xC3\xA9 x\xC3\xA9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(DecodeUnmarked(row.input), row.expected);
  }
  // A mark says UTF-8: no fallback.
  EXPECT_EQ(DecodeAs(OFENCODING::UTF8, "caf\xE9"), "caf" + kFFFD);
}

TEST(TextDecoder, LargerChunksThanAnnounced) {
  std::string text;
  while (text.size() < 20000) text += kSample;
  for (const OFENCODING* encoding : {&OFENCODING::UTF8, &OFENCODING::UTF16BE}) {
    SCOPED_TRACE(encoding->GetName());
    std::unique_ptr<TextDecoder> decoder(encoding->CreateDecoder(16));
    EXPECT_EQ(DecodeInPieces(*decoder, Encode(text, *encoding), 9999), text);
  }
}

}  // namespace

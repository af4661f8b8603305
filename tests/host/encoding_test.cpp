#include "kxcom/encoding.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "support/test_text.h"

namespace {

using Bytes = std::string;
using kxsql::testing::InOrder;
const std::string R = "\xEF\xBF\xBD";  // U+FFFD

// ASCII, Latin-1, the BMP and a character beyond it (a surrogate pair in
// UTF-16), in every encoding the compiler writes, and the UTF-8 every decoder
// must give.
const std::string kSample = "select 'café', '中文', '😀' -- €\n";
const std::u16string kSample16 = u"select 'café', '中文', '😀' -- €\n";
const std::u32string kSample32 = U"select 'café', '中文', '😀' -- €\n";

const unsigned char* U(const Bytes& b) {
  return b.empty() ? nullptr : reinterpret_cast<const unsigned char*>(b.data());
}

// One call of the decoder; what it gives.
std::string Feed(TextDecoder& decoder, const Bytes& in, bool last) {
  const char* out = nullptr;
  unsigned int count = 12345;
  const auto size = static_cast<unsigned int>(in.size());
  EXPECT_NE(last ? decoder.DecodeLast(U(in), size, out, count) : decoder.Decode(U(in), size, out, count), 0);
  return std::string(out, count);
}

// Decodes `input` fed in pieces of `piece` bytes, the last one as the end,
// with the decoder of `encoding`, or the one detection gives text without a
// mark when that is null.
std::string Decode(const OFENCODING* encoding, const Bytes& input, std::size_t piece = 4096,
                   unsigned int announced = 4096) {
  bool has_bom = true;
  if (!encoding) encoding = &OFENCODING::GetFromBuf(has_bom, U("sel"), 3);
  std::unique_ptr<TextDecoder> decoder(encoding->CreateDecoder(announced));
  EXPECT_TRUE(decoder && decoder->IsValid());
  std::string result;
  for (std::size_t at = 0; decoder && (at == 0 || at < input.size()); at += piece)
    result += Feed(*decoder, input.substr(at, piece), at + piece >= input.size());
  return result;
}

TEST(EncodingDetection, MarksAndZeroPatterns) {
  const struct {
    Bytes bytes;
    const OFENCODING* expected;
    bool has_bom;
  } rows[] = {
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
      {"", &OFENCODING::UTF8, false},  // no bytes at all
      // Only the first ten bytes count.
      {Bytes("select 1; a\0b\0c\0d\0e\0", 21), &OFENCODING::UTF8, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.bytes));
    bool has_bom = !row.has_bom;
    const OFENCODING& found =
        OFENCODING::GetFromBuf(has_bom, U(row.bytes), static_cast<unsigned int>(row.bytes.size()));
    EXPECT_TRUE(found == *row.expected) << found.GetName();
    EXPECT_EQ(has_bom, row.has_bom);
  }
}

TEST(TextDecoder, EveryEncodingGivesTheSameUtf8WhereverChunksSplit) {
  std::string text;
  std::u16string text16;
  while (text.size() < 20000) {
    text += kSample;
    text16 += kSample16;
  }
  const struct {
    const OFENCODING* encoding;  // null: text without a mark
    Bytes input;
  } rows[] = {
      {&OFENCODING::UTF8, kSample},
      {&OFENCODING::UTF16LE, InOrder(kSample16, false)},
      {&OFENCODING::UTF16BE, InOrder(kSample16, true)},
      {&OFENCODING::UTF32LE, InOrder(kSample32, false)},
      {&OFENCODING::UTF32BE, InOrder(kSample32, true)},
      {nullptr, kSample},
  };
  for (const auto& row : rows) {
    // Pieces of 1, 2, 3, 5 and 7 bytes split every character every way: a
    // UTF-8 sequence, a surrogate pair and a 16-bit unit all straddle.
    for (std::size_t piece : {1, 2, 3, 5, 7, 4096}) {
      SCOPED_TRACE(std::string(row.encoding ? row.encoding->GetName() : "unmarked") + " in pieces of " +
                   std::to_string(piece));
      EXPECT_EQ(Decode(row.encoding, row.input, piece), kSample);
    }
  }
  // Pieces larger than the decoder was announced.
  EXPECT_EQ(Decode(&OFENCODING::UTF8, text, 9999, 16), text);
  EXPECT_EQ(Decode(&OFENCODING::UTF16BE, InOrder(text16, true), 9999, 16), text);
}

TEST(TextDecoder, InvalidInputBecomesReplacementAndReadingGoesOn) {
  const std::string ascii(4000, 'a'), chunk_of_a(4095, 'a');
  const struct {
    const OFENCODING* encoding;  // null: text without a mark
    Bytes input;
    std::string expected;
  } rows[] = {
      {&OFENCODING::UTF8, "a\xFF" "b", "a" + R + "b"},
      {&OFENCODING::UTF8, "caf\xE9 ok", "caf" + R + " ok"},  // a mark says UTF-8: no fallback
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
      {&OFENCODING::WINDOWS1252, "caf\xE9 \x80 \x93q\x94", "café € “q”"},
      {&OFENCODING::WINDOWS1252, "a\x81" "b", "a" + R + "b"},
      // Unmarked text: a byte outside every valid UTF-8 sequence is read as
      // Windows-1252 on its own, wherever it stands, and valid UTF-8 stays
      // UTF-8 beside it, before and after the first 4096 bytes.
      {nullptr, "caf\xE9 \x80", "café €"},
      {nullptr, "\xE9", "é"},
      {nullptr, "a\x81" "b", "a" + R + "b"},  // undefined in the code page
      {nullptr, "\xE2\x82" "A", "â‚A"},      // a cut sequence is two stray bytes ...
      {nullptr, "a\xE2\x82", "aâ‚"},          // ... also at the end
      // One early stray byte used to make every later é read as "Ã©".
      {nullptr, "\xE9" + ascii + "é" + ascii + "é", "é" + ascii + "é" + ascii + "é"},
      // A Windows-1252 é after the first chunk used to become U+FFFD.
      {nullptr, ascii + "é" + ascii + "\xE9", ascii + "é" + ascii + "é"},
      {nullptr, chunk_of_a + "€\xE9", chunk_of_a + "€é"},  // straddling the first chunk's end
      {nullptr, chunk_of_a + "\xE9 x\xE9", chunk_of_a + "é xé"},
  };
  for (const auto& row : rows) {
    // In single bytes, in chunks, and in one piece as a text held in memory.
    for (std::size_t piece : {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 30}) {
      SCOPED_TRACE(std::string(row.encoding ? row.encoding->GetName() : "unmarked") + " " +
                   ::testing::PrintToString(row.input).substr(0, 60) + " in pieces of " + std::to_string(piece));
      EXPECT_EQ(Decode(row.encoding, row.input, piece), row.expected);
    }
  }
}

// Well-formed UTF-8 by the table of the Unicode standard (its chapter 3),
// written out plainly as the reference for the decoder's quick checks.
bool IsWellFormed(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) { ++i; continue; }
    unsigned low = 0x80, high = 0xBF;
    std::size_t length = 4;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return false;
    if (i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

// Chunks of every length up to many blocks of the quick check, of ASCII,
// characters of every length, and stray, truncated and edge bytes: what the
// decoder gives is always well-formed, and well-formed input comes out as it went in.
TEST(TextDecoder, Utf8ChunksComeOutWellFormedAndWellFormedOnesUnchanged) {
  std::mt19937 random(2024);
  const char* const pieces[] = {"a", "select ", "é", "€", "😀", "\x7F", "\xC0", "\xC1\x80", "\xC2", "\xE0\x9F\xBF",
                                "\xED\xA0\x80", "\xED\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                                "\xF4\x8F\xBF\xBF", "\xF5", "\xFF", "\x80", "\xBF", "\xE2\x82", "\xF0\x9F\x98"};
  for (int round = 0; round < 4000; ++round) {
    std::unique_ptr<TextDecoder> decoder(OFENCODING::UTF8.CreateDecoder(4096));
    Feed(*decoder, "select 1;", false);  // a valid first chunk: UTF-8 from here on
    Bytes chunk;
    for (std::size_t n = random() % 40; n > 0; --n) {
      chunk += pieces[random() % std::size(pieces)];
      // Long runs of ASCII, which the quick check passes over a block at a time.
      if (random() % 16 == 0) chunk += std::string(random() % 300, 'x');
    }
    SCOPED_TRACE(::testing::PrintToString(chunk));
    const std::string out = Feed(*decoder, chunk, true);
    EXPECT_TRUE(IsWellFormed(out));
    if (IsWellFormed(chunk)) {
      EXPECT_EQ(out, chunk);
    }
  }
  // A character cut short by a run of ASCII and then another character, at
  // every place around the ends of the blocks that the quick check takes whole.
  for (std::size_t at = 90; at < 140; ++at) {
    for (std::size_t run = 100; run < 270; ++run) {
      std::unique_ptr<TextDecoder> decoder(OFENCODING::UTF8.CreateDecoder(4096));
      Feed(*decoder, "select 1;", false);
      const std::string out = Feed(*decoder, std::string(at, 'x') + "\xE2\x82" + std::string(run, 'x') + "é", true);
      ASSERT_TRUE(IsWellFormed(out)) << at << " " << run;
    }
  }
}

TEST(TextDecoder, CarriesAPartialCharacterToTheNextCallAndFlushesItAtTheEnd) {
  std::unique_ptr<TextDecoder> utf8(OFENCODING::UTF8.CreateDecoder(4096));
  EXPECT_EQ(Feed(*utf8, "\xF0\x9F", false), "");
  EXPECT_EQ(Feed(*utf8, "\x98", false), "");
  EXPECT_EQ(Feed(*utf8, "\x80!", false), "😀!");
  EXPECT_EQ(Feed(*utf8, "", true), "");  // an end with nothing carried gives nothing
  std::unique_ptr<TextDecoder> utf16(OFENCODING::UTF16LE.CreateDecoder(4096));
  EXPECT_EQ(Feed(*utf16, "A", false), "");
  EXPECT_EQ(Feed(*utf16, "", true), R);
  // The odd byte carried before the end belongs to no later input.
  EXPECT_EQ(Feed(*utf16, Bytes("B\0", 2), true), "B");
}

}  // namespace

#include <string>

#include <gtest/gtest.h>

#include "kxcom/kxstring.h"
#include "support/test_text.h"

namespace {

using kxsql::testing::Narrow;
using kxsql::testing::Units;
using kxsql::testing::Wide;

TEST(KXString, GrowsTrimsAndTakesPartsOfItself) {
  CKXStringA s;
  for (int i = 0; i < 1000; ++i) s += static_cast<char>('a' + i % 26);
  EXPECT_EQ(s.GetLength(), 1000u);
  EXPECT_EQ(s[999], 'a' + 999 % 26);
  s.Append(s.GetString() + 10, 500);  // a part of itself, while it must grow
  EXPECT_EQ(s.GetLength(), 1500u);
  EXPECT_EQ(std::string(s.GetString() + 1000, 500), std::string(s.GetString() + 10, 500));
  CKXStringA moved(std::move(s));
  EXPECT_EQ(moved.GetLength(), 1500u);
  EXPECT_EQ(s.GetLength(), 0u);  // NOLINT: a moved-from string is empty
  s = moved;
  s.Assign(s.GetString() + 1, 3);  // assigning a part of itself
  EXPECT_STREQ(s.GetString(), "bcd");
  // Trimming removes only the set, at each end.
  s = " \t\r\nword \r\n";
  s.TrimLeft(" \t\r\n");
  EXPECT_STREQ(s.GetString(), "word \r\n");
  s.TrimRight(" \t\r\n");
  EXPECT_STREQ(s.GetString(), "word");
  s = "   ";
  s.TrimRight(" ");
  EXPECT_TRUE(s.IsEmpty());
}

TEST(KXString, CompareNoCaseFoldsAsciiAndBeyond) {
  const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"BEGIN", "begin", 0},   {"Begin", "BEGINS", -1}, {"b", "A", 1},
      {"ÄRGER", "ärger", 0},   {"ΣΟΦΙΑ", "σοφια", 0},  {"straße", "STRASSE", 1},
      {"\xFF", "\xFF", 0},     {"\xFF", "\xFE", 1},      {"", "", 0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.a + " / " + row.b);
    const int narrow = CKXStringA(row.a.c_str()).CompareNoCase(row.b.c_str());
    EXPECT_EQ((narrow > 0) - (narrow < 0), row.sign);
    if (row.a.find('\xFF') != std::string::npos || row.b.find('\xFF') != std::string::npos) continue;
    const std::u16string wa = Wide(row.a), wb = Wide(row.b);
    const int wide = CKXStringW(Units(wa)).CompareNoCase(Units(wb));
    EXPECT_EQ((wide > 0) - (wide < 0), row.sign);
  }
}

TEST(KXString, ConversionsKeepEveryCharacter) {
  const std::string samples[] = {"plain", "café", "日本語", "emoji \xF0\x9F\x98\x80 end", ""};
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    EXPECT_EQ(Narrow(Units(Wide(sample))), sample);
  }
  // A lone surrogate becomes U+FFFD; nothing is dropped.
  const unsigned short lone[] = {'a', 0xD800, 'b', 0xDC00, 0};
  EXPECT_EQ(Narrow(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // An invalid UTF-8 byte widens to U+FFFD.
  EXPECT_EQ(Narrow(KXWiden("x\xC3(", 3).GetString()), "x\xEF\xBF\xBD(");
}

}  // namespace

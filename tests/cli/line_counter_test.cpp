// The line counter behind every line number the tool and the Python module
// report: CR, LF and CR LF each end one line, however the text is cut into
// the pieces that a source delivers.
#include "cli/line_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using kxsql::cli::LineCounter;

unsigned long long ReferenceLines(const std::string& text) {
  unsigned long long line = 1;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++line;
  return line;
}

TEST(LineCounter, CountsEveryLineEndWhereverThePiecesAreCut) {
  // Long runs of plain text (the counter takes many bytes at a time), line
  // ends of all three kinds, and a CR LF pair cut between two pieces.
  static const char* const kParts[] = {"\n", "\r", "\r\n", " ", "select 1;", "\n\n\n\n"};
  const std::string long_run(70, 'x');
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int parts = static_cast<int>(random() % 600);
    const bool line_feeds_only = round % 3 == 0;
    for (int i = 0; i < parts; ++i) {
      const std::size_t pick = random() % 7;
      if (line_feeds_only && (pick == 1 || pick == 2)) continue;
      text += pick == 6 ? long_run : kParts[pick];
    }
    LineCounter counter;
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t piece = std::min<std::size_t>(text.size() - at, 1 + random() % 300);
      counter.Count(text.data() + at, text.data() + at + piece);
      at += piece;
    }
    ASSERT_EQ(counter.LineAt(nullptr, nullptr), ReferenceLines(text)) << "round " << round;
  }
}

TEST(LineCounter, ThousandsOfLineFeedsInOnePiece) {
  // More line feeds than one byte can count, in one call.
  const std::string text(100000, '\n');
  LineCounter counter;
  counter.Count(text.data(), text.data() + text.size());
  EXPECT_EQ(counter.LineAt(nullptr, nullptr), 100001u);
}

struct LeadRow {
  const char* script;
  unsigned long long line;  // of the first statement's first compare token
};

class StatementLineTest : public testing::TestWithParam<LeadRow> {};

TEST_P(StatementLineTest, IsTheLineOfTheFirstCompareToken) {
  const std::string script = GetParam().script;
  CKXSQLTextT<char> source(script.c_str());
  CKXTr tr;
  SQLStmtT<char> stmt;
  LineCounter counter;
  counter.BeginStatement();
  ASSERT_GE(source.GetNextStmt(stmt, &tr, nullptr), 0);
  counter.Count(script.data(), script.data() + source.GetDoneCount());
  EXPECT_EQ(counter.StatementLine(stmt), GetParam().line) << script;
}

INSTANTIATE_TEST_SUITE_P(
    LeadingBlanksAndComments, StatementLineTest,
    testing::Values(LeadRow{"select 1;", 1}, LeadRow{"\n\n  select 1;", 3}, LeadRow{"-- a\nselect 1;", 2},
                    LeadRow{"-- a\r\n-- b\r\nselect 1;", 3}, LeadRow{"-- a\rselect 1;", 2},
                    LeadRow{"/* a\nb\r\nc */ select 1;", 3}, LeadRow{"/* a */\n/* b */ -- c\n\nselect 1;", 4},
                    // Comments do not nest: the first */ closes, and `*` is the first compare token.
                    LeadRow{"/* a /* b\n */ */\nselect 1;", 2},
                    // Not a word first: a quoted name, a number, an unclosed comment.
                    LeadRow{"-- a\n\"t\"\n;", 2}, LeadRow{"\n-- a\n42;", 3}, LeadRow{"-- a\n(select 1);", 2}));

}  // namespace

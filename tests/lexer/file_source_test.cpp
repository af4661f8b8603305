#include "kxsql/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kxsql.h"
#include "support/tokens.h"

namespace {

namespace fs = std::filesystem;
using kxsql::testing::ReadTokens;
using Bytes = std::string;

constexpr unsigned int kNotOpen = 0xFFFFFFFFu;
const std::string kFFFD = "\xEF\xBF\xBD";
const Bytes kUtf8Mark = "\xEF\xBB\xBF";

// Exposes the character interface that only the tokenizer uses.
struct Reader : CKXSQLFile {
  using CKXSQLFile::GetChar;
  using CKXSQLFile::UngetChar;

  std::string ReadAll() {
    std::string text;
    bool eof = false;
    for (char c = GetChar(eof); !eof; c = GetChar(eof)) text += c;
    return text;
  }
};

// UTF-8 test text (always valid) as UTF-16 or UTF-32 bytes, by hand.
Bytes Encode(const std::string& utf8, int unit, bool big_endian) {
  if (unit == 1) return utf8;
  Bytes out;
  auto put = [&](unsigned long value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
      const int shift = 8 * (big_endian ? bytes - 1 - k : k);
      out += static_cast<char>((value >> shift) & 0xFF);
    }
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    unsigned long c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (unit == 4) {
      put(c, 4);
    } else if (c < 0x10000) {
      put(c, 2);
    } else {
      put(0xD800 + ((c - 0x10000) >> 10), 2);
      put(0xDC00 + ((c - 0x10000) & 0x3FF), 2);
    }
  }
  return out;
}

struct Encoding {
  const char* name;
  const OFENCODING* encoding;
  int unit;
  bool big_endian;
  Bytes mark;
};
const Encoding kEncodings[] = {
    {"UTF-8", &OFENCODING::UTF8, 1, false, "\xEF\xBB\xBF"},
    {"UTF-16LE", &OFENCODING::UTF16LE, 2, false, "\xFF\xFE"},
    {"UTF-16BE", &OFENCODING::UTF16BE, 2, true, "\xFE\xFF"},
    {"UTF-32LE", &OFENCODING::UTF32LE, 4, false, Bytes("\xFF\xFE\0\0", 4)},
    {"UTF-32BE", &OFENCODING::UTF32BE, 4, true, Bytes("\0\0\xFE\xFF", 4)},
};

class FileSource : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "kxsql-file-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
    CKXMsg::GetInstance()->Reset();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // The file's characters equal `expected`, and so do its tokens those of
  // the same text in memory.
  void ExpectReads(const std::string& path, const std::string& expected) {
    Reader file;
    ASSERT_EQ(file.Open(path.c_str()), 1) << CKXMsg::GetInstance()->GetLastMessage().text;
    EXPECT_EQ(file.ReadAll(), expected);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.GetDoneCount(), file.GetTotalCount());
    ExpectSameTokens(path, expected);
    ExpectSameStatements(path, expected);
  }

  static void ExpectSameTokens(const std::string& path, const std::string& text) {
    CKXSQLFile file;
    ASSERT_EQ(file.Open(path.c_str()), 1);
    long file_rc = 0;
    long text_rc = 0;
    const auto from_file = ReadTokens<char>(file, &file_rc);
    if (text.empty()) {
      EXPECT_TRUE(from_file.empty());
      EXPECT_EQ(file_rc, KXSQL_END);
      return;
    }
    CKXSQLTextT<char> memory(text.c_str());
    const auto from_memory = ReadTokens<char>(memory, &text_rc);
    EXPECT_EQ(from_file, from_memory);
    EXPECT_EQ(file_rc, text_rc);
  }

  // Statements of the file equal those of the same text in memory, in
  // dialects whose rules differ.
  static void ExpectSameStatements(const std::string& path, const std::string& text) {
    if (text.empty()) return;
    for (const DBMSTYPE* dialect : {&DBMSTYPE::ORACLE, &DBMSTYPE::SQLSERVER, &DBMSTYPE::POSTGRES}) {
      SCOPED_TRACE(dialect->GetName());
      CKXTr tr;
      tr.SetDBMSType(*dialect);
      CKXSQLFile file;
      ASSERT_EQ(file.Open(path.c_str()), 1);
      CKXSQLTextT<char> memory(text.c_str());
      EXPECT_EQ(ReadStatements(file, tr), ReadStatements(memory, tr));
    }
  }

  static std::vector<std::string> ReadStatements(CKXSQLStreamT<char>& source, const CKXTr& tr) {
    std::vector<std::string> statements;
    SQLStmtT<char> stmt;
    long rc = KXSQL_PRODUCED;
    while (rc == KXSQL_PRODUCED && statements.size() < 100000) {
      rc = source.GetNextStmt(stmt, &tr, nullptr);
      statements.push_back(std::to_string(rc) + "|" + stmt.GetText() + "|" + stmt.GetParsedText() + "|" +
                           stmt.GetNoCommentText());
    }
    return statements;
  }

  static std::string LastText() { return CKXMsg::GetInstance()->GetLastMessage().text; }

  fs::path dir_;
};

// ASCII, Latin-1, the BMP and a character beyond it (a surrogate pair in UTF-16).
const std::string kScript =
    "-- caf\xC3\xA9\nselect '\xE4\xB8\xAD\xE6\x96\x87' as \"\xF0\x9F\x98\x80\" from t;\n/\n/* \xE2\x82\xAC */ go\n";

TEST_F(FileSource, EveryEncodingWithAndWithoutMark) {
  for (const Encoding& e : kEncodings) {
    for (bool marked : {true, false}) {
      SCOPED_TRACE(std::string(e.name) + (marked ? " with mark" : " without mark"));
      const Bytes body = Encode(kScript, e.unit, e.big_endian);
      const std::string path = Write("script.sql", (marked ? e.mark : "") + body);
      ExpectReads(path, kScript);
      CKXSQLFile file;
      ASSERT_EQ(file.Open(path.c_str()), 1);
      EXPECT_TRUE(*file.GetEncoding() == *e.encoding);
      EXPECT_EQ(file.GetTotalCount(), (marked ? e.mark.size() : 0) + body.size());
      EXPECT_STREQ(file.GetFileName(), path.c_str());
    }
  }
}

TEST_F(FileSource, UnmarkedWindowsCodePage) {
  ExpectReads(Write("legacy.sql", "select 'caf\xE9' -- \x80\n"), "select 'caf\xC3\xA9' -- \xE2\x82\xAC\n");
}

TEST_F(FileSource, CharactersStraddlingTheChunkBoundary) {
  struct Row {
    const char* what;
    Bytes mark;
    int unit;
    std::string before;  // UTF-8 text before the straddling character
    std::string character;
  };
  // A chunk holds 4096 bytes after the mark.
  const Row rows[] = {
      {"UTF-8 three bytes, 1 + 2", "", 1, std::string(4095, 'x'), "\xE2\x82\xAC"},
      {"UTF-8 four bytes, 2 + 2", "", 1, std::string(4094, 'x'), "\xF0\x9F\x98\x80"},
      {"UTF-8 after a mark, 3 + 1", kUtf8Mark, 1, std::string(4093, 'x'), "\xF0\x9F\x98\x80"},
      {"UTF-16 surrogate pair, 2 + 2", "\xFF\xFE", 2, std::string(2047, 'x'), "\xF0\x9F\x98\x80"},
      {"UTF-16 surrogate pair, unmarked", "", 2, std::string(2047, 'x'), "\xF0\x9F\x98\x80"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string text = row.before + row.character + " tail";
    ExpectReads(Write("straddle.sql", row.mark + Encode(text, row.unit, false)), text);
  }
}

TEST_F(FileSource, InvalidBytesBecomeReplacementAndTheRestIsRead) {
  struct Row {
    const char* what;
    Bytes bytes;
    std::string expected;
  };
  const Row rows[] = {
      {"bad byte in marked UTF-8", kUtf8Mark + "a\xFF" "b", "a" + kFFFD + "b"},
      {"sequence cut by the end of the file", kUtf8Mark + "a\xE2\x82", "a" + kFFFD},
      {"sequence cut by the end after a full chunk", kUtf8Mark + std::string(4096, 'a') + "\xE2\x82",
       std::string(4096, 'a') + kFFFD},
      {"odd byte ending UTF-16", Bytes("\xFF\xFE" "a\0b", 5), "a" + kFFFD},
      {"lone surrogate", Bytes("\xFF\xFE" "a\0\x3D\xD8" "b\0", 8), "a" + kFFFD + "b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectReads(Write("bad.sql", row.bytes), row.expected);
  }
}

TEST_F(FileSource, EmptyAndMarkOnlyFiles) {
  struct Row {
    Bytes bytes;
    unsigned int count;
  };
  const Row rows[] = {{"", 0}, {kUtf8Mark, 3}, {"\xFF\xFE", 2}, {Bytes("\xFF\xFE\0\0", 4), 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.bytes));
    Reader file;
    ASSERT_EQ(file.Open(Write("empty.sql", row.bytes).c_str()), 1);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.GetTotalCount(), row.count);
    EXPECT_EQ(file.GetDoneCount(), row.count);
    bool eof = false;
    EXPECT_EQ(file.GetChar(eof), 0);
    EXPECT_TRUE(eof);
    EXPECT_EQ(file.GetDoneCount(), row.count);
  }
}

TEST_F(FileSource, FilesOfTenBytesOrFewerAreReadAgainAfterDetection) {
  const std::pair<Bytes, std::string> rows[] = {
      {"select 1;", "select 1;"},
      {"0123456789", "0123456789"},
      {kUtf8Mark + "ab", "ab"},
      {"x", "x"},
  };
  for (const auto& [bytes, text] : rows) {
    SCOPED_TRACE(bytes);
    Reader file;
    ASSERT_EQ(file.Open(Write("short.sql", bytes).c_str()), 1);
    EXPECT_EQ(file.GetDoneCount(), bytes.size() - text.size());
    EXPECT_EQ(file.ReadAll(), text);
    EXPECT_EQ(file.GetDoneCount(), bytes.size());
  }
}

TEST_F(FileSource, CountsAdvanceAChunkAtATime) {
  // 5000 bytes: a mark, then 4997 bytes of text.
  std::string text;
  for (int i = 0; text.size() < 4997; ++i) text += static_cast<char>('a' + i % 26);
  Reader file;
  ASSERT_EQ(file.Open(Write("5000.sql", kUtf8Mark + text).c_str()), 1);
  EXPECT_EQ(file.GetTotalCount(), 5000u);
  EXPECT_EQ(file.GetDoneCount(), 3u);
  bool eof = false;
  EXPECT_EQ(file.GetChar(eof), text[0]);
  EXPECT_EQ(file.GetDoneCount(), 4099u);
  for (std::size_t i = 1; i < 4096; ++i) ASSERT_EQ(file.GetChar(eof), text[i]);
  EXPECT_EQ(file.GetDoneCount(), 4099u);
  EXPECT_FALSE(file.IsEOF());
  EXPECT_EQ(file.GetChar(eof), text[4096]);
  EXPECT_EQ(file.GetDoneCount(), 5000u);
  for (std::size_t i = 4097; i < text.size(); ++i) ASSERT_EQ(file.GetChar(eof), text[i]);
  EXPECT_FALSE(eof);
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.GetChar(eof), 0);
  EXPECT_TRUE(eof);
  EXPECT_EQ(file.GetDoneCount(), 5000u);
  EXPECT_EQ(file.GetTotalCount(), 5000u);
}

TEST_F(FileSource, PushBack) {
  const std::string text = std::string(4096, 'a') + "bc";
  Reader file;
  ASSERT_EQ(file.Open(Write("unget.sql", text).c_str()), 1);
  // Before anything is read there is nothing to give back.
  file.UngetChar();
  bool eof = false;
  EXPECT_EQ(file.GetChar(eof), 'a');
  for (int i = 1; i < 4096; ++i) file.GetChar(eof);
  // The first character of a new chunk can be given back and read again.
  EXPECT_EQ(file.GetChar(eof), 'b');
  file.UngetChar();
  EXPECT_EQ(file.GetChar(eof), 'b');
  EXPECT_EQ(file.GetChar(eof), 'c');
  EXPECT_EQ(file.GetChar(eof), 0);
  EXPECT_TRUE(eof);
  // After the end, the last character comes again.
  file.UngetChar();
  eof = false;
  EXPECT_EQ(file.GetChar(eof), 'c');
  EXPECT_FALSE(eof);
}

TEST_F(FileSource, TokensAndStatementsMatchMemoryWhereverTheBoundaryFalls) {
  const std::string unit =
      "select 'it''s', \"a b\" from t -- note\n/* block\n comment */ x.y;\n/\ngo\n$$ 1 $$ a-b/c\r\n"
      "create procedure p as begin if a then x; end if; end;\n/\n";
  std::string base;
  while (base.size() < 4096 + 2 * unit.size()) base += unit;
  // Each shift puts a different place of the script at a chunk boundary.
  for (std::size_t shift = 0; shift < unit.size(); ++shift) {
    SCOPED_TRACE(shift);
    const std::string text = base.substr(shift);
    const std::string path = Write("tokens.sql", text);
    ExpectSameTokens(path, text);
    ExpectSameStatements(path, text);
  }
}

// A file source that counts lines in its own GetChar and UngetChar, as a
// tool that reports where a statement stands does.
struct LineCountingFile : CKXSQLFile {
  unsigned long line = 1;
  std::size_t net_characters = 0;  // delivered and not given back
  bool last_delivered = false;
  char last = 0;
  char GetChar(bool& eof) override {
    const char c = CKXSQLFile::GetChar(eof);
    last_delivered = !eof;
    if (eof) return c;
    last = c;
    ++net_characters;
    if (c == '\n') ++line;
    return c;
  }
  void UngetChar() override {
    if (last_delivered) {
      --net_characters;
      if (last == '\n') --line;
    }
    last_delivered = false;
    CKXSQLFile::UngetChar();
  }
};

TEST_F(FileSource, DerivedSourceSeesEveryCharacterAcrossChunks) {
  const std::string unit = "select 'a''b' from t -- c\n/* x\n*/ word_word;\r\n/\n";
  std::string base;
  while (base.size() < 3 * 4096) base += unit;
  for (std::size_t shift : {std::size_t{0}, std::size_t{5}, std::size_t{17}, std::size_t{31}}) {
    SCOPED_TRACE(shift);
    const std::string text = base.substr(shift);
    const std::string path = Write("lines.sql", text);
    CKXSQLFile plain;
    LineCountingFile counting;
    ASSERT_EQ(plain.Open(path.c_str()), 1);
    ASSERT_EQ(counting.Open(path.c_str()), 1);
    SQLToken<char> a, b;
    std::string joined;
    for (;;) {
      const long rc = plain.GetToken(a, 0);
      ASSERT_EQ(counting.GetToken(b, 0), rc);
      ASSERT_EQ(kxsql::testing::Describe(a), kxsql::testing::Describe(b));
      // The byte counts move a chunk at a time, at the same tokens.
      ASSERT_EQ(plain.GetDoneCount(), counting.GetDoneCount());
      ASSERT_EQ(plain.IsEOF(), counting.IsEOF());
      if (rc != 0) break;
      joined.append(a.GetText(), a.GetLength());
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(counting.net_characters, text.size());
    EXPECT_EQ(counting.line, 1 + static_cast<unsigned long>(std::count(text.begin(), text.end(), '\n')));
  }
}

TEST_F(FileSource, TokenizerGivesBackTheFirstCharacterOfAChunk) {
  // A word fills the first chunk exactly: the tokenizer reads on into the
  // next chunk to see the word end, and gives that character back.
  const std::string text = std::string(4096, 'w') + " x";
  CKXSQLFile file;
  ASSERT_EQ(file.Open(Write("edge.sql", text).c_str()), 1);
  SQLToken<char> token;
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(token.GetLength(), 4096u);
  EXPECT_EQ(file.GetDoneCount(), file.GetTotalCount());  // the last chunk is read
  EXPECT_FALSE(file.IsEOF());
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(kxsql::testing::Describe(token), "WHITESPACE: ");
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(kxsql::testing::Describe(token), "SYMBOL:x");
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.GetToken(token, 0), 1);
  // Reopened on the same file, the counts and the reading start afresh.
  ASSERT_EQ(file.Open(Write("edge.sql", text).c_str()), 1);
  EXPECT_EQ(file.GetDoneCount(), 0u);
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(token.GetLength(), 4096u);
  // Reset while open, the file reports its end at once.
  file.InitReadInfo();
  EXPECT_EQ(file.GetToken(token, 0), 1);
}

TEST_F(FileSource, ReopeningStartsAfresh) {
  Reader file;
  const std::string first = Write("first.sql", kUtf8Mark + std::string(5000, 'a'));
  const std::string second = Write("second.sql", "select 2;");
  ASSERT_EQ(file.Open(first.c_str()), 1);
  bool eof = false;
  file.GetChar(eof);
  ASSERT_EQ(file.Open(second.c_str()), 1);
  EXPECT_EQ(file.GetTotalCount(), 9u);
  EXPECT_EQ(file.GetDoneCount(), 0u);
  EXPECT_EQ(file.ReadAll(), "select 2;");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(file.Open(first.c_str()), 1);
    EXPECT_EQ(file.ReadAll(), std::string(5000, 'a'));
  }
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.GetDoneCount(), kNotOpen);
  EXPECT_EQ(file.GetTotalCount(), kNotOpen);
  EXPECT_STREQ(file.GetFileName(), first.c_str());
  // A closed source answers the end, not the unusable value.
  EXPECT_EQ(file.GetChar(eof), 0);
  EXPECT_TRUE(eof);
}

TEST_F(FileSource, InitReadInfoEndsAnOpenFile) {
  Reader file;
  ASSERT_EQ(file.Open(Write("a.sql", "select 1;").c_str()), 1);
  file.InitReadInfo();
  EXPECT_TRUE(file.IsOpen());
  EXPECT_TRUE(file.IsEOF());
  bool eof = false;
  file.GetChar(eof);
  EXPECT_TRUE(eof);
}

TEST_F(FileSource, OpenFailuresNameTheFileAndTheReason) {
  const std::string missing = (dir_ / "missing.sql").string();
  const std::string fifo = (dir_ / "pipe.sql").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Row {
    const char* path;
    std::string text;
    const char* source;
  };
  const Row rows[] = {
      {nullptr, "Open requires a file name", "Open"},
      {"", "Open requires a file name", "Open"},
      {missing.c_str(), "Failed to open file for reading '" + missing + "': No such file or directory", "Open"},
      {dir_.c_str(), "Failed to open file for reading '" + dir_.string() + "': Is a directory", "Open"},
      // A pipe has no size; it fails at once instead of waiting for a writer.
      {fifo.c_str(), "Failed to determine file size '" + fifo + "': Illegal seek", "Open"},
  };
  const std::string good = Write("good.sql", "select 1;");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    CKXSQLFile file;
    ASSERT_EQ(file.Open(good.c_str()), 1);
    EXPECT_EQ(file.Open(row.path), 0);
    // The file that was open is closed whatever the outcome.
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.GetDoneCount(), kNotOpen);
    EXPECT_EQ(file.GetTotalCount(), kNotOpen);
    const CKXMessage message = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(message.text, row.text);
    EXPECT_EQ(message.source, row.source);
    EXPECT_TRUE(message.type == MSGTYPE::ERR);
    // The name of the last successful Open stays.
    EXPECT_STREQ(file.GetFileName(), good.c_str());
  }
  CKXSQLFile never_opened;
  EXPECT_EQ(never_opened.Open(""), 0);
  EXPECT_EQ(CKXMsg::GetInstance()->GetLastMessage().caption, "Open SQL File");
}

// Runs `child` in a forked process and returns its exit status (0 = passed).
template <class F>
int InChild(F child) {
  const pid_t pid = fork();
  if (pid == 0) _exit(child());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Takes a lock of `type` on the whole file through a new open file
// description: 1 locked, 0 refused, -1 another failure.
int TryLock(const std::string& path, short type, int* fd_out = nullptr) {
  const int fd = open(path.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
  if (fd < 0) return -1;
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  const int rc = fcntl(fd, F_OFD_SETLK, &lock);
  const int error = errno;
  if (rc == 0 && fd_out != nullptr) {
    *fd_out = fd;
    return 1;
  }
  close(fd);
  if (rc == 0) return 1;
  return error == EAGAIN || error == EACCES ? 0 : -1;
}

TEST_F(FileSource, ReadersShareAndLockingWritersWait) {
  const std::string path = Write("shared.sql", "select 1;");
  CKXSQLFile file;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  // Another process may read the file but not lock it for writing.
  EXPECT_EQ(InChild([&] { return TryLock(path, F_RDLCK) == 1 ? 0 : 1; }), 0);
  EXPECT_EQ(InChild([&] { return TryLock(path, F_WRLCK) == 0 ? 0 : 1; }), 0);
  CKXSQLFile second;
  EXPECT_EQ(second.Open(path.c_str()), 1);
  second.Close();
  file.Close();
  EXPECT_EQ(InChild([&] { return TryLock(path, F_WRLCK) == 1 ? 0 : 1; }), 0);
}

TEST_F(FileSource, OpenFailsWhileAnotherProcessWrites) {
  const std::string path = Write("busy.sql", "select 1;");
  int locked[2];
  int release[2];
  ASSERT_EQ(pipe(locked), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int fd = -1;
    const char ok = TryLock(path, F_WRLCK, &fd) == 1 ? '1' : '0';
    (void)!write(locked[1], &ok, 1);
    char go;
    (void)!read(release[0], &go, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(locked[0], &ok, 1), 1);
  EXPECT_EQ(ok, '1');
  CKXSQLFile file;
  EXPECT_EQ(file.Open(path.c_str()), 0);
  EXPECT_EQ(LastText(), "Failed to open file for reading '" + path + "': Device or resource busy");
  EXPECT_FALSE(file.IsOpen());
  ASSERT_EQ(write(release[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(file.Open(path.c_str()), 1);
  for (int fd : {locked[0], locked[1], release[0], release[1]}) close(fd);
}

TEST_F(FileSource, CountsOfFilesOverFourGiBWrap) {
  const std::string path = Write("big.sql", kUtf8Mark + "select 1;\n");
  const std::int64_t size = (std::int64_t{1} << 32) + 5000;
  if (truncate(path.c_str(), size) != 0) GTEST_SKIP() << "no sparse file here: " << std::strerror(errno);
  Reader file;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  EXPECT_EQ(file.GetTotalBytes(), size);
  EXPECT_EQ(file.GetTotalCount(), 5000u);
  EXPECT_EQ(file.GetDoneCount(), 3u);
  bool eof = false;
  EXPECT_EQ(file.GetChar(eof), 's');
  EXPECT_EQ(file.GetDoneCount(), 4099u);
  EXPECT_EQ(file.GetRemainingBytes(), size - 4099);
}

}  // namespace

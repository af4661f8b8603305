#include "kxsql/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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
using kxsql::testing::Describe;
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
    for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> 8 * (big_endian ? bytes - 1 - k : k)) & 0xFF);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    unsigned long c = b & (0xFF >> (n == 1 ? 0 : n + 1));
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (unit == 4 || c < 0x10000) {
      put(c, unit);
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
  int unit;  // bytes per code unit
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

// A file source that watches every character in its own GetChar and UngetChar, as a tool that reports where a
// statement stands does.
struct WatchedFile : CKXSQLFile {
  std::string delivered;  // every character GetChar handed out, less those given back
  bool last_delivered = false;
  char GetChar(bool& eof) override {
    const char c = CKXSQLFile::GetChar(eof);
    if ((last_delivered = !eof)) delivered += c;
    return c;
  }
  void UngetChar() override {
    if (last_delivered) delivered.pop_back();
    last_delivered = false;
    CKXSQLFile::UngetChar();
  }
};

class FileSource : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "kxsql-file-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
    CKXMsg::GetInstance()->Reset();
  }
  void TearDown() override { std::error_code ignored; fs::remove_all(dir_, ignored); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // The file's characters equal `expected`, and so do its tokens and statements those of the same text in memory.
  void ExpectReads(const std::string& path, const std::string& expected) {
    Reader file;
    ASSERT_EQ(file.Open(path.c_str()), 1) << LastText();
    EXPECT_EQ(file.ReadAll(), expected);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.GetDoneCount(), file.GetTotalCount());
    ExpectSameAsMemory(path, expected);
  }

  // A deriving class that overrides GetChar sees every character and the same tokens, with the
  // byte counts moving a chunk at a time at the same tokens. Statements are compared in dialects whose rules differ.
  static void ExpectSameAsMemory(const std::string& path, const std::string& text) {
    CKXSQLFile file;
    WatchedFile watched;
    ASSERT_EQ(file.Open(path.c_str()), 1);
    ASSERT_EQ(watched.Open(path.c_str()), 1);
    std::vector<std::string> from_file;
    SQLToken<char> a, b;
    long file_rc = 0, text_rc = KXSQL_END;
    while ((file_rc = file.GetToken(a, 0)) == 0) {
      ASSERT_EQ(watched.GetToken(b, 0), 0);
      from_file.push_back(Describe(a));
      ASSERT_EQ(Describe(b), from_file.back());
      ASSERT_EQ(watched.GetDoneCount(), file.GetDoneCount());
      ASSERT_EQ(watched.IsEOF(), file.IsEOF());
    }
    EXPECT_EQ(watched.GetToken(b, 0), file_rc);
    EXPECT_EQ(watched.delivered, text);
    CKXSQLTextT<char> memory(text.empty() ? nullptr : text.c_str());
    EXPECT_EQ(from_file, text.empty() ? std::vector<std::string>() : ReadTokens<char>(memory, &text_rc));
    EXPECT_EQ(file_rc, text_rc);
    for (const DBMSTYPE* dialect : {&DBMSTYPE::ORACLE, &DBMSTYPE::SQLSERVER, &DBMSTYPE::POSTGRES}) {
      if (text.empty()) break;
      SCOPED_TRACE(dialect->GetName());
      CKXTr tr;
      tr.SetDBMSType(*dialect);
      ASSERT_EQ(file.Open(path.c_str()), 1);
      ASSERT_EQ(memory.Set(text.c_str()), 0);
      EXPECT_EQ(ReadStatements(file, tr), ReadStatements(memory, tr));
    }
  }

  static std::vector<std::string> ReadStatements(CKXSQLStreamT<char>& source, const CKXTr& tr) {
    std::vector<std::string> statements;
    SQLStmtT<char> stmt;
    for (long rc = KXSQL_PRODUCED; rc == KXSQL_PRODUCED && statements.size() < 100000;) {
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

TEST_F(FileSource, LayoutsAtTheChunkBoundaryAndInvalidBytes) {
  // A chunk holds 4096 bytes after the mark; `text` is straddled by a character there.
  const auto straddle = [](const Bytes& mark, int unit, std::size_t before, const std::string& character) {
    const std::string text = std::string(before, 'x') + character + " tail";
    return std::make_pair(mark + Encode(text, unit, false), text);
  };
  const std::string smiley = "\xF0\x9F\x98\x80";
  const std::pair<Bytes, std::string> rows[] = {
      // In an unmarked file each byte outside valid UTF-8 is read in the Windows
      // code page, wherever it stands; the valid UTF-8 beside it stays UTF-8.
      {"select 'caf\xE9' -- \x80\n", "select 'caf\xC3\xA9' -- \xE2\x82\xAC\n"},
      {"\xE9" + std::string(5000, 'x') + "\xC3\xA9\xE9", "\xC3\xA9" + std::string(5000, 'x') + "\xC3\xA9\xC3\xA9"},
      {std::string(4095, 'x') + "\xC3\xA9\xE9", std::string(4095, 'x') + "\xC3\xA9\xC3\xA9"},
      straddle("", 1, 4095, "\xE2\x82\xAC"),         // UTF-8 three bytes, 1 + 2
      straddle("", 1, 4094, smiley),                 // UTF-8 four bytes, 2 + 2
      straddle(kUtf8Mark, 1, 4093, smiley),          // after a mark, 3 + 1
      straddle("\xFF\xFE", 2, 2047, smiley),         // UTF-16 surrogate pair, 2 + 2
      straddle("", 2, 2047, smiley),                 // the same unmarked
      // Invalid bytes become U+FFFD and the rest is read: a bad byte, a sequence cut by the end of the file
      // (after a full chunk too), an odd byte ending UTF-16, a lone surrogate.
      {kUtf8Mark + "a\xFF" "b", "a" + kFFFD + "b"},
      {kUtf8Mark + "a\xE2\x82", "a" + kFFFD},
      {kUtf8Mark + std::string(4096, 'a') + "\xE2\x82", std::string(4096, 'a') + kFFFD},
      {Bytes("\xFF\xFE" "a\0b", 5), "a" + kFFFD},
      {Bytes("\xFF\xFE" "a\0\x3D\xD8" "b\0", 8), "a" + kFFFD + "b"},
  };
  for (const auto& [bytes, text] : rows) {
    SCOPED_TRACE(::testing::PrintToString(text.substr(0, 20)) + " of " + std::to_string(bytes.size()) + " bytes");
    ExpectReads(Write("layout.sql", bytes), text);
  }
}

// Files of ten bytes or fewer are read again after the encoding is detected.
TEST_F(FileSource, EmptyMarkOnlyAndTinyFiles) {
  const std::pair<Bytes, std::string> rows[] = {
      {"", ""}, {kUtf8Mark, ""}, {"\xFF\xFE", ""}, {Bytes("\xFF\xFE\0\0", 4), ""},
      {"select 1;", "select 1;"}, {"0123456789", "0123456789"}, {kUtf8Mark + "ab", "ab"}, {"x", "x"},
  };
  for (const auto& [bytes, text] : rows) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    Reader file;
    ASSERT_EQ(file.Open(Write("tiny.sql", bytes).c_str()), 1);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.IsEOF(), text.empty());
    EXPECT_EQ(file.GetTotalCount(), bytes.size());
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
  std::vector<unsigned int> done;  // after the first character, the last of the first chunk, and the next one
  bool eof = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    ASSERT_EQ(file.GetChar(eof), text[i]);
    if (i == 0 || i == 4095 || i == 4096) done.push_back(file.GetDoneCount());
    if (i == 4095) { EXPECT_FALSE(file.IsEOF()); }
  }
  EXPECT_EQ(done, (std::vector<unsigned int>{4099, 4099, 5000}));
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
    ExpectSameAsMemory(path, text);
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
  EXPECT_EQ(Describe(token), "WHITESPACE: ");
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(Describe(token), "SYMBOL:x");
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.GetToken(token, 0), 1);
  // Reset while open, the file stays open and reports its end at once.
  file.InitReadInfo();
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.GetToken(token, 0), 1);
}

TEST_F(FileSource, ReopeningStartsAfresh) {
  Reader file;
  const std::string first = Write("first.sql", kUtf8Mark + std::string(5000, 'a'));
  const std::string second = Write("second.sql", "select 2;");
  bool eof = false;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(file.Open(first.c_str()), 1);
    file.GetChar(eof);
    ASSERT_EQ(file.Open(second.c_str()), 1);
    EXPECT_EQ(file.GetTotalCount(), 9u);
    EXPECT_EQ(file.GetDoneCount(), 0u);
    EXPECT_EQ(file.ReadAll(), "select 2;");
  }
  file.Close();
  EXPECT_TRUE(!file.IsOpen() && file.IsEOF());
  EXPECT_EQ(std::make_pair(file.GetDoneCount(), file.GetTotalCount()), std::make_pair(kNotOpen, kNotOpen));
  EXPECT_STREQ(file.GetFileName(), second.c_str());
  // A closed source answers the end, not the unusable value.
  EXPECT_EQ(file.GetChar(eof), 0);
  EXPECT_TRUE(eof);
}

TEST_F(FileSource, OpenFailuresNameTheFileAndTheReason) {
  const std::string missing = (dir_ / "missing.sql").string();
  const std::string fifo = (dir_ / "pipe.sql").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string failed = "Failed to open file for reading '";
  const std::pair<const char*, std::string> rows[] = {
      {nullptr, "Open requires a file name"},
      {"", "Open requires a file name"},
      {missing.c_str(), failed + missing + "': No such file or directory"},
      {dir_.c_str(), failed + dir_.string() + "': Is a directory"},
      // A pipe has no size; it fails at once instead of waiting for a writer.
      {fifo.c_str(), "Failed to determine file size '" + fifo + "': Illegal seek"},
  };
  const std::string good = Write("good.sql", "select 1;");
  for (const auto& [path, text] : rows) {
    SCOPED_TRACE(text);
    CKXSQLFile file;
    ASSERT_EQ(file.Open(good.c_str()), 1);
    EXPECT_EQ(file.Open(path), 0);
    // The file that was open is closed whatever the outcome.
    EXPECT_TRUE(!file.IsOpen() && file.IsEOF());
    EXPECT_EQ(std::make_pair(file.GetDoneCount(), file.GetTotalCount()), std::make_pair(kNotOpen, kNotOpen));
    const CKXMessage message = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(message.text + "|" + message.source, text + "|Open");
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

// Takes a lock of `type` on the whole file through a new open file description: 1 locked, 0 refused, -1 another
// failure. With `fd_out` the lock is kept.
int TryLock(const std::string& path, short type, int* fd_out = nullptr) {
  const int fd = open(path.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
  struct flock lock = {};
  lock.l_type = type;
  const int rc = fd < 0 ? -1 : fcntl(fd, F_OFD_SETLK, &lock);
  const int error = errno;
  if (rc == 0 && fd_out != nullptr) return *fd_out = fd, 1;
  if (fd >= 0) close(fd);
  return rc == 0 ? 1 : fd >= 0 && (error == EAGAIN || error == EACCES) ? 0 : -1;
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
  // While the file is locked for writing, through another open file description as another process has it, Open
  // fails.
  int fd = -1;
  ASSERT_EQ(TryLock(path, F_WRLCK, &fd), 1);
  EXPECT_EQ(file.Open(path.c_str()), 0);
  EXPECT_EQ(LastText(), "Failed to open file for reading '" + path + "': Device or resource busy");
  EXPECT_FALSE(file.IsOpen());
  close(fd);
  EXPECT_EQ(file.Open(path.c_str()), 1);
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

#include "kxsql/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kxsql.h"
#include "support/tokens.h"
#include "support/watched.h"

namespace {

namespace fs = std::filesystem;
using kxsql::testing::Describe;
using kxsql::testing::InOrder;
using kxsql::testing::ReadTokens;
using Bytes = std::string;

constexpr unsigned int kNotOpen = 0xFFFFFFFFu;
const std::string kFFFD = "\xEF\xBF\xBD";
const Bytes kUtf8Mark = "\xEF\xBB\xBF";

// Opens the character interface that only the tokenizer uses.
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

  // The file's characters are `text`, and its tokens those of `text` in memory, also for a derived
  // class that takes every character through its own GetChar: it sees the text once, and the same
  // counts after every token.
  static void ExpectReads(const std::string& path, const std::string& text) {
    Reader file;
    kxsql::testing::Watched<CKXSQLFile, char> watched;
    ASSERT_EQ(file.Open(path.c_str()), 1) << LastText();
    EXPECT_EQ(file.ReadAll(), text);
    EXPECT_EQ(file.GetDoneCount(), file.GetTotalCount());
    ASSERT_EQ(file.Open(path.c_str()) + watched.Open(path.c_str()), 2);
    EXPECT_EQ(Counted(watched), Counted(file));
    EXPECT_EQ(watched.delivered, text);
    ASSERT_EQ(file.Open(path.c_str()), 1);
    CKXSQLTextT<char> memory(text.c_str());
    EXPECT_EQ(ReadTokens(file), text.empty() ? std::vector<std::string>() : ReadTokens(memory));
  }
  // The tokens of a source, each with the done count after it.
  static std::vector<std::string> Counted(CKXSQLStreamT<char>& source) {
    std::vector<std::string> tokens;
    SQLToken<char> token;
    while (source.GetToken(token, 0) == 0)
      tokens.push_back(Describe(token) + "@" + std::to_string(source.GetDoneCount()));
    return tokens;
  }

  static std::string LastText() { return CKXMsg::GetInstance()->GetLastMessage().text; }

  fs::path dir_;
};

// ASCII, Latin-1, the BMP and a character beyond it (a surrogate pair in UTF-16).
const std::string kScript = "-- café\nselect '中文' as \"😀\" from t;\n/\n/* € */ go\n";
const std::u16string kScript16 = u"-- café\nselect '中文' as \"😀\" from t;\n/\n/* € */ go\n";
const std::u32string kScript32 = U"-- café\nselect '中文' as \"😀\" from t;\n/\n/* € */ go\n";

// Every encoding with and without its mark, characters cut by the end of a chunk (4096 bytes after the
// mark), invalid bytes, files of ten bytes or fewer (read again after the encoding is detected).
TEST_F(FileSource, EncodingsAndLayouts) {
  struct Row {
    Bytes bytes;
    std::string text;
    std::size_t mark;                      // the bytes before the text: the done count after Open
    const OFENCODING* encoding = nullptr;  // when it is to be checked
  };
  std::vector<Row> rows;
  const struct {
    const OFENCODING* encoding;
    Bytes mark, body;
  } encodings[] = {
      {&OFENCODING::UTF8, kUtf8Mark, kScript},
      {&OFENCODING::UTF16LE, "\xFF\xFE", InOrder(kScript16, false)},
      {&OFENCODING::UTF16BE, "\xFE\xFF", InOrder(kScript16, true)},
      {&OFENCODING::UTF32LE, Bytes("\xFF\xFE\0\0", 4), InOrder(kScript32, false)},
      {&OFENCODING::UTF32BE, Bytes("\0\0\xFE\xFF", 4), InOrder(kScript32, true)},
  };
  for (const auto& e : encodings) {
    rows.push_back({e.mark + e.body, kScript, e.mark.size(), e.encoding});
    rows.push_back({e.body, kScript, 0, e.encoding});
  }
  const auto straddle = [](const Bytes& mark, std::size_t before, const std::string& character) {
    const std::string text = std::string(before, 'x') + character + " tail";
    return Row{mark + text, text, mark.size()};
  };
  const auto straddle16 = [](const Bytes& mark) {
    return Row{mark + InOrder(std::u16string(2047, u'x') + u"😀 tail", false), std::string(2047, 'x') + "😀 tail",
               mark.size()};
  };
  const Row layouts[] = {
      // In an unmarked file each byte outside valid UTF-8 is read in the Windows code page, wherever it
      // stands, before and after the first 4096 bytes; the valid UTF-8 beside it stays UTF-8.
      {"select 'caf\xE9' -- \x80\n", "select 'café' -- €\n", 0, &OFENCODING::UTF8},
      {"\xE9" + std::string(5000, 'x') + "\xC3\xA9\xE9", "é" + std::string(5000, 'x') + "éé", 0},
      {std::string(4095, 'x') + "\xC3\xA9\xE9", std::string(4095, 'x') + "éé", 0},
      straddle("", 4095, "€"),          // UTF-8 three bytes, 1 + 2
      straddle("", 4094, "😀"),         // UTF-8 four bytes, 2 + 2
      straddle(kUtf8Mark, 4093, "😀"),  // after a mark, 3 + 1
      straddle16("\xFF\xFE"),           // a UTF-16 surrogate pair, 2 + 2
      straddle16(""),
      // Invalid bytes become U+FFFD and the rest is read: a bad byte, a sequence cut by the end of the file
      // (after a full chunk too), an odd byte ending UTF-16, a lone surrogate.
      {kUtf8Mark + "a\xFF" "b", "a" + kFFFD + "b", 3},
      {kUtf8Mark + "a\xE2\x82", "a" + kFFFD, 3},
      {kUtf8Mark + std::string(4096, 'a') + "\xE2\x82", std::string(4096, 'a') + kFFFD, 3},
      {Bytes("\xFF\xFE" "a\0b", 5), "a" + kFFFD, 2},
      {Bytes("\xFF\xFE" "a\0\x3D\xD8" "b\0", 8), "a" + kFFFD + "b", 2},
      {"", "", 0}, {kUtf8Mark, "", 3}, {"\xFF\xFE", "", 2}, {Bytes("\xFF\xFE\0\0", 4), "", 4},
      {"select 1;", "select 1;", 0}, {"0123456789", "0123456789", 0}, {kUtf8Mark + "ab", "ab", 3}, {"x", "x", 0},
  };
  rows.insert(rows.end(), std::begin(layouts), std::end(layouts));
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.text.substr(0, 20)) + " of " + std::to_string(row.bytes.size()) +
                 " bytes");
    const std::string path = Write("script.sql", row.bytes);
    ExpectReads(path, row.text);
    CKXSQLFile file;
    ASSERT_EQ(file.Open(path.c_str()), 1);
    EXPECT_EQ(file.GetDoneCount(), row.mark);
    EXPECT_EQ(file.GetTotalCount(), row.bytes.size());
    EXPECT_EQ(file.IsEOF(), row.text.empty());
    EXPECT_TRUE(!row.encoding || *file.GetEncoding() == *row.encoding) << file.GetEncoding()->GetName();
  }
}

TEST_F(FileSource, CountsAndStepsBackAcrossAChunkEnd) {
  // The first chunk holds exactly the word; the counts move a chunk at a time.
  const std::string path = Write("chunks.sql", kUtf8Mark + std::string(4096, 'w') + " x;");
  Reader file;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  file.UngetChar();  // nothing read yet: nothing to give back
  bool eof = false;
  std::vector<unsigned int> done = {file.GetDoneCount()};
  for (int i = 0; i < 4096; ++i) {
    ASSERT_EQ(file.GetChar(eof), 'w');
    if (i == 0 || i == 4095) done.push_back(file.GetDoneCount());
  }
  // The first character of a new chunk can be given back; after the end, the last one.
  std::string rest(1, file.GetChar(eof));
  file.UngetChar();
  rest += file.ReadAll();
  done.push_back(file.GetDoneCount());
  file.UngetChar();
  rest += file.GetChar(eof);
  EXPECT_EQ(rest, "  x;;");
  EXPECT_EQ(done, (std::vector<unsigned int>{3, 4099, 4099, 4102}));
  // The tokenizer reads into the next chunk to see the word end, and gives that character back.
  ASSERT_EQ(file.Open(path.c_str()), 1);
  SQLToken<char> token;
  ASSERT_EQ(file.GetToken(token, 0), 0);
  EXPECT_EQ(token.GetLength(), 4096u);
  EXPECT_EQ(ReadTokens(file), (std::vector<std::string>{"WHITESPACE: ", "SYMBOL:x", "SEMI_COLON:;"}));
  // Reset while open, the file stays open and reports its end at once.
  file.InitReadInfo();
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.GetToken(token, 0), 1);
}

TEST_F(FileSource, ChunksThatNeedDecodingBetweenOnesThatDoNot) {
  // Valid UTF-8 is read in place across chunks; a chunk with a stray
  // Windows-1252 byte between them is decoded apart. The text and the counts,
  // a chunk at a time, are as if every chunk were decoded on its own.
  const std::string ascii(4096, 'a'), stray = std::string(4095, 'b') + "\xE9", tail(4096, 'c');
  const std::string path = Write("mixed.sql", ascii + stray + tail + ascii + "d");
  Reader file;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  bool eof = false;
  std::string text;
  std::vector<unsigned int> done;
  for (char c; c = file.GetChar(eof), !eof;) {
    text += c;
    // The first character of each chunk: 0, 4096, 4096 + 4097, ...
    if (text.size() == 1 || text.size() == 4097 || text.size() == 8194 || text.size() == 12290 ||
        text.size() == 16386)
      done.push_back(file.GetDoneCount());
  }
  EXPECT_EQ(text, ascii + std::string(4095, 'b') + "é" + tail + ascii + "d");
  EXPECT_EQ(done, (std::vector<unsigned int>{4096, 8192, 12288, 16384, 16385}));
}

TEST_F(FileSource, TokensMatchMemoryWhereverTheBoundaryFalls) {
  const std::string unit =
      "select 'it''s', \"a b\" from t -- note\n/* block\n comment */ x.y;\n/\ngo\n$$ 1 $$ a-b/c\r\n"
      "create procedure p as begin if a then x; end if; end;\n/\n";
  std::string base;
  while (base.size() < 4096 + 2 * unit.size()) base += unit;
  // Each shift puts a different place of the script at a chunk boundary.
  for (std::size_t shift = 0; shift < unit.size(); ++shift) {
    SCOPED_TRACE(shift);
    ExpectReads(Write("tokens.sql", base.substr(shift)), base.substr(shift));
  }
}

TEST_F(FileSource, OpenFailuresNameTheFileAndTheReason) {
  const std::string missing = (dir_ / "missing.sql").string();
  const std::string fifo = (dir_ / "pipe.sql").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string failed = "System Error|Failed to open file for reading '";
  const std::pair<const char*, std::string> rows[] = {
      {nullptr, "Open SQL File|Open requires a file name"},
      {"", "Open SQL File|Open requires a file name"},
      {missing.c_str(), failed + missing + "': No such file or directory"},
      {dir_.c_str(), failed + dir_.string() + "': Is a directory"},
      // A pipe has no size; it fails at once instead of waiting for a writer.
      {fifo.c_str(), "System Error|Failed to determine file size '" + fifo + "': Illegal seek"},
  };
  const std::string good = Write("good.sql", "select 1;");
  Reader file;
  SQLToken<char> token;
  for (const auto& [path, text] : rows) {
    SCOPED_TRACE(text);
    ASSERT_EQ(file.Open(good.c_str()), 1);
    file.GetToken(token, 0);
    EXPECT_EQ(file.Open(path), 0);
    // The file that was open is closed whatever the outcome; its name stays.
    EXPECT_TRUE(!file.IsOpen() && file.IsEOF());
    EXPECT_EQ(std::make_pair(file.GetDoneCount(), file.GetTotalCount()), std::make_pair(kNotOpen, kNotOpen));
    bool eof = false;
    EXPECT_EQ(file.GetChar(eof), 0);  // the end, not the unusable value
    const CKXMessage message = CKXMsg::GetInstance()->GetLastMessage();
    EXPECT_EQ(message.caption + "|" + message.text + "|" + message.source, text + "|Open");
    EXPECT_TRUE(message.type == MSGTYPE::ERR);
    EXPECT_STREQ(file.GetFileName(), good.c_str());
  }
  // Opened again in the middle of a line, a source starts afresh, in the first column.
  ASSERT_EQ(file.Open(good.c_str()), 1);
  file.GetToken(token, 0);
  ASSERT_EQ(file.Open(Write("second.sql", "/\nx").c_str()), 1);
  EXPECT_EQ(std::make_pair(file.GetDoneCount(), file.GetTotalCount()), std::make_pair(0u, 3u));
  EXPECT_EQ(ReadTokens(file), (std::vector<std::string>{"SLASH_TERMINATOR:/", "LF:\n", "SYMBOL:x"}));
}

// Locks the whole file through a new open file description, as another process would: 1 locked, 0 refused.
int TryLock(const std::string& path, short type, int* keep = nullptr) {
  const int fd = open(path.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
  struct flock lock = {};
  lock.l_type = type;
  const bool locked = fd >= 0 && fcntl(fd, F_OFD_SETLK, &lock) == 0;
  if (locked && keep) return *keep = fd, 1;
  if (fd >= 0) close(fd);
  return locked ? 1 : 0;
}

TEST_F(FileSource, ReadersShareAndLockingWritersWait) {
  const std::string path = Write("shared.sql", "select 1;");
  CKXSQLFile file, second;
  ASSERT_EQ(file.Open(path.c_str()), 1);
  // Others may read the file, and lock it for reading, but not for writing.
  EXPECT_EQ(TryLock(path, F_RDLCK), 1);
  EXPECT_EQ(TryLock(path, F_WRLCK), 0);
  EXPECT_EQ(second.Open(path.c_str()), 1);
  second.Close();
  file.Close();
  // While the file is locked for writing, Open fails.
  int fd = -1;
  ASSERT_EQ(TryLock(path, F_WRLCK, &fd), 1);
  EXPECT_EQ(file.Open(path.c_str()), 0);
  EXPECT_EQ(LastText(), "Failed to open file for reading '" + path + "': Device or resource busy");
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
  EXPECT_EQ(std::make_pair(file.GetTotalCount(), file.GetDoneCount()), std::make_pair(5000u, 3u));
  bool eof = false;
  EXPECT_EQ(file.GetChar(eof), 's');
  EXPECT_EQ(file.GetDoneCount(), 4099u);
  EXPECT_EQ(file.GetRemainingBytes(), size - 4099);
}

}  // namespace

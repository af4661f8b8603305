// The statement splitter for every DBMS type and every kind of separator, in
// both widths. The first byte picks the DBMS type (byte % 10) and the
// separator ((byte / 10) % 4: the dialect's rules, GO on its own line, a
// semicolon, or OTHER, which never matches); the rest is the script.
// - the splitter ends, each call taking at least one token;
// - every character of the script reaches a statement's text once, in order,
//   except those it may drop: terminators (`;`, `/`, GO or the separator) and
//   blanks that trimming or the line ending before a terminator take away;
// - the parsed and comment-free texts are cut from the full text.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

enum class Separator { kDialect, kGoOwnLine, kSemicolon, kOther };

const unsigned short kWideGo[] = {'G', 'O', 0};

template <class T>
std::vector<T> Chars(const T* text) {
  std::vector<T> chars;
  for (; *text; ++text) chars.push_back(*text);
  return chars;
}

template <class T>
bool Droppable(T c, Separator sep) {
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
  const bool go = c == 'G' || c == 'g' || c == 'O' || c == 'o';
  switch (sep) {
    case Separator::kDialect: return go || c == ';' || c == '/';
    case Separator::kGoOwnLine: return go;
    case Separator::kSemicolon: return c == ';';
    case Separator::kOther: return false;
  }
  return false;
}

template <class T>
bool IsSubsequence(const std::vector<T>& part, const std::vector<T>& whole) {
  std::size_t j = 0;
  for (std::size_t i = 0; i < whole.size() && j < part.size(); ++i)
    if (whole[i] == part[j]) ++j;
  return j == part.size();
}

// True when `out` is `in` with some droppable characters left out. The
// characters that may not be dropped must pair up one to one, in order; the
// droppable runs between them must be cut from the matching runs of `in`.
template <class T>
bool IsCutFrom(const std::vector<T>& out, const std::vector<T>& in, Separator sep) {
  std::size_t i = 0, j = 0;
  for (;;) {
    std::vector<T> in_run, out_run;
    while (i < in.size() && Droppable(in[i], sep)) in_run.push_back(in[i++]);
    while (j < out.size() && Droppable(out[j], sep)) out_run.push_back(out[j++]);
    if (!IsSubsequence(out_run, in_run)) return false;
    if (i == in.size() || j == out.size()) return i == in.size() && j == out.size();
    if (in[i] != out[j]) return false;
    ++i;
    ++j;
  }
}

template <class T>
const T* SeparatorText();
template <>
const char* SeparatorText<char>() { return "GO"; }
template <>
const unsigned short* SeparatorText<unsigned short>() { return kWideGo; }

template <class T>
void Split(const std::vector<T>& script, const DBMSTYPE& type, Separator sep) {
  static CKXTr tr;
  tr.SetDBMSType(type);
  STMTSEP separator;
  separator.m_pszText = SeparatorText<char>();
  separator.m_pwszText = SeparatorText<unsigned short>();
  separator.m_bOwnLine = sep == Separator::kGoOwnLine;
  separator.m_pType = sep == Separator::kGoOwnLine   ? &SQLTOKEN_TYPE::SYMBOL
                      : sep == Separator::kSemicolon ? &SQLTOKEN_TYPE::SEMI_COLON
                                                     : &SQLTOKEN_TYPE::OTHER;
  const STMTSEP* with = sep == Separator::kDialect ? nullptr : &separator;

  const std::size_t length = script.size() - 1;
  CKXSQLTextT<T> source(script.data());
  SQLStmtT<T> stmt;
  std::vector<T> joined;
  std::size_t calls = 0;
  long rc;
  do {
    FUZZ_CHECK(++calls <= length + 1, "the splitter does not progress");
    rc = source.GetNextStmt(stmt, &tr, with);
    FUZZ_CHECK(rc == 0 || rc == 1, "an open text source failed to split");
    const std::vector<T> text = Chars(stmt.GetText());
    FUZZ_CHECK(IsSubsequence(Chars(stmt.GetParsedText()), text), "the parsed text is not cut from the text");
    FUZZ_CHECK(IsSubsequence(Chars(stmt.GetNoCommentText()), text), "the comment-free text is not cut from the text");
    joined.insert(joined.end(), text.begin(), text.end());
  } while (rc == 0 || (rc == 1 && !source.IsEOF()));
  FUZZ_CHECK(IsCutFrom(joined, std::vector<T>(script.begin(), script.end() - 1), sep),
             "the statements lost, added or reordered a character that is not a terminator or a blank");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const DBMSTYPE& type = *kxsql::fuzz::kTypes[data[0] % 10];
  const Separator sep = static_cast<Separator>((data[0] / 10) % 4);
  const std::vector<char> narrow = kxsql::fuzz::NarrowText(data + 1, size - 1);
  if (narrow.size() < 2) return 0;
  Split(narrow, type, sep);
  Split(kxsql::fuzz::WidenedText(narrow), type, sep);
  return 0;
}

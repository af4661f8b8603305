#include "cli/open_construct.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/commands.h"
#include "cli/script_input.h"
#include "statements/native/client.h"

namespace kxsql::cli {
namespace {

// Each probe for a block splits a copy of the text again. Beyond the first
// size the line of an open block is not searched for (the statement's first
// line is given instead); beyond the second no block is looked for at all.
constexpr std::size_t kBlockSearchLimit = std::size_t{4} << 20;
constexpr std::size_t kBlockCheckLimit = std::size_t{64} << 20;
// Probes from the end, one line at a time, before halving the rest.
constexpr std::size_t kLinearProbes = 32;

// A token that a quote or comment opens and the end of the text leaves open:
// its kind in words, or null.
const char* UnclosedKind(const SQLToken<char>& token) {
  const char* p = token.GetText();
  const std::size_t n = token.GetLength();
  const auto count = [&](char c) { return std::count(p, p + n, c); };
  const SQLTOKEN_TYPE& type = token.GetType();
  if (type == SQLTOKEN_TYPE::MULTILINECOMMENT && !(n >= 4 && p[n - 2] == '*' && p[n - 1] == '/'))
    return "a /* comment";
  // Inside, the quote comes doubled; an odd count leaves the last one open.
  if (type == SQLTOKEN_TYPE::SQ_STRING && count('\'') % 2 == 1) return "a '...' string";
  if (type == SQLTOKEN_TYPE::DQ_STRING && count('"') % 2 == 1) return "a \"...\" quoted name";
  return nullptr;
}

bool IsLineEnd(const char* p, const char* begin) { return *p == '\r' || (*p == '\n' && (p == begin || p[-1] != '\r')); }

}  // namespace

ClosesFn ClassicCloses(const CKXTr& tr) {
  return [&tr](const std::string& text) {
    const std::string probe = text + "\n;\n";
    CKXSQLTextT<char> source(probe.c_str());
    SQLStmtT<char> stmt;
    return source.GetNextStmt(stmt, &tr, nullptr) == 0;
  };
}

bool FindOpenConstruct(const char* text, unsigned long long first_line, const ClosesFn& closes,
                       OpenConstruct& found) {
  if (text == nullptr || *text == 0) return false;
  // The last token is the one the end leaves open, if any.
  {
    CKXSQLTextT<char> reader(text);
    SQLToken<char> token;
    std::size_t offset = 0, last_offset = 0;
    const char* kind = nullptr;
    while (reader.GetToken(token, 0) == 0) {
      kind = UnclosedKind(token);
      last_offset = offset;
      offset += token.GetLength();
    }
    if (kind != nullptr) {
      found.what = kind;
      found.line = first_line;
      for (const char* p = text; p < text + last_offset; ++p) found.line += IsLineEnd(p, text);
      return true;
    }
  }
  if (!closes || std::strlen(text) > kBlockCheckLimit) return false;
  const std::string whole(text);
  if (closes(whole)) return false;
  found.line = first_line;
  found.what = "a block";
  // Where each line starts; the text up to a start either closes or leaves
  // a block open, and the opening is on the line after the last start whose
  // text closes. The empty text closes.
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < whole.size(); ++i)
    if (whole[i] == '\n' || (whole[i] == '\r' && (i + 1 == whole.size() || whole[i + 1] != '\n')))
      starts.push_back(i + 1);
  std::size_t closing = 0;  // the index of a start whose text closes
  if (whole.size() <= kBlockSearchLimit) {
    std::size_t open = starts.size();  // one that does not (the whole text)
    for (std::size_t probes = 0; open > 1 && probes < kLinearProbes; ++probes) {
      if (closes(whole.substr(0, starts[open - 1]))) {
        closing = open - 1;
        break;
      }
      --open;
    }
    if (closing == 0) {
      // Halving: exact when what opens at the end stays open from there on.
      while (open - closing > 1) {
        const std::size_t middle = closing + (open - closing) / 2;
        (closes(whole.substr(0, starts[middle])) ? closing : open) = middle;
      }
    }
  }
  found.line = first_line + closing;
  const std::size_t line_end = closing + 1 < starts.size() ? starts[closing + 1] : whole.size();
  if (whole.substr(starts[closing], line_end - starts[closing]).find("$$") != std::string::npos)
    found.what = "a $$ body";
  return true;
}

// Defined here beside what it reports; declared with the commands.
void WarnIfLeftOpen(const std::string& name, const SQLStmtT<char>& stmt, ScriptFile& file, const CKXTr& tr,
                    const STMTSEP* sep) {
  OpenConstruct open;
  const unsigned long long first_line = file.TextLine();
  std::size_t length = 0;
  const bool native = sep == nullptr && file.GetSplitRules() == KXSQL_RULES_NATIVE &&
                      kxsql::detail::ClientFor(tr.GetDBMSType()) != kxsql::detail::Client::kClassic;
  if (native) {
    // The client's own lexer knows what it was inside when the input ended.
    const char* what = kxsql::detail::NativeOpenAtEnd(file, length);
    if (what == nullptr) return;
    const char* text = stmt.GetText();
    const std::size_t size = std::strlen(text);
    const std::size_t offset = length < size ? size - length : 0;
    open.what = what;
    open.line = first_line;
    for (const char* p = text; p < text + offset && *p != 0; ++p) open.line += IsLineEnd(p, text);
  } else if (!FindOpenConstruct(stmt.GetText(), first_line, sep ? ClosesFn() : ClassicCloses(tr), open)) {
    return;
  }
  std::fprintf(stderr, "%s:%llu: warning: the script ends inside %s that opens here; everything after it is part of it\n",
               name.c_str(), open.line, open.what.c_str());
  std::fflush(stderr);
}

}  // namespace kxsql::cli

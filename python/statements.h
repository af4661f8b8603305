// Statements and tokens as the module hands them to Python: read with the
// GIL released into plain C++ records, turned into Python objects afterwards.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/script_input.h"
#include "kxsql.h"
#include "python/script_source.h"

namespace kxsql::python {

// One statement as `kxsql split --json` shows it. A split of a large script
// holds one for each statement at once, so the common case takes no string
// of its own: the text is a piece of the script held in memory, and the
// parsed and comment-free texts are the text or its start.
struct StatementRecord {
  // The texts that are not such pieces, and the rarer parts; empty ones
  // when there is no `owned`.
  struct Owned {
    std::string text;  // when text_at is kOwnText
    std::string parsed;
    std::string no_comment;
    std::string side_effect;
    std::string data;
  };

  std::size_t text_at = kOwnText;  // where the text is in the script
  std::size_t text_size = 0;
  // The parsed and comment-free texts' lengths where they are the text's
  // start, else kOwnText and they are in `owned`.
  std::size_t parsed_prefix = kOwnText;
  std::size_t no_comment_prefix = kOwnText;
  unsigned long long line = 0;
  int kind = KXSQL_STMT_SQL;
  unsigned int repeat = 1;
  bool is_select = false;
  bool has_data = false;  // a COPY's rows, or more of them (data may be empty)
  std::unique_ptr<Owned> owned;

  static constexpr std::size_t kOwnText = static_cast<std::size_t>(-1);

  Owned& Own() {
    if (!owned) owned = std::make_unique<Owned>();
    return *owned;
  }
  const Owned& Texts() const noexcept {
    static const Owned kNone;
    return owned ? *owned : kNone;
  }
  // The text, `script` being the script held in memory (or null).
  const char* Text(const char* script) const noexcept {
    return text_at == kOwnText ? Texts().text.data() : script + text_at;
  }
};

// Reads the statements of a source as `kxsql split` does, leaving out those
// with no SQL in them (only comments, or nothing between two `;`), which
// `kxsql run` passes over too. Source is ScriptText or ScriptFile.
template <class Source>
class StatementReader {
 public:
  StatementReader(Source& source, const DBMSTYPE& dialect) : source_(source) { tr_.SetDBMSType(dialect); }
  // 1 with the next statement in `record`, 0 at the end, -1 when the source
  // cannot be read (the reason is the host's last message).
  int Next(StatementRecord& record);

 private:
  Source& source_;
  CKXTr tr_;
  SQLStmtT<char> stmt_;
  bool done_ = false;
};

// Every token of `source`: their texts one after the other in `text`, and
// the type of each with where its text ends. A NUL character comes out as a
// one-character OTHER token, so that the texts give back the input. False
// when it cannot be read, with the reason in `error`.
using TokenEnds = std::vector<std::pair<const SQLTOKEN_TYPE*, std::size_t>>;
template <class Source>
bool ReadAllTokens(Source& source, std::string& text, TokenEnds& ends, std::string& error);

extern template class StatementReader<ScriptText>;
extern template class StatementReader<kxsql::cli::ScriptFile>;
extern template bool ReadAllTokens(ScriptText&, std::string&, TokenEnds&, std::string&);
extern template bool ReadAllTokens(kxsql::cli::ScriptFile&, std::string&, TokenEnds&, std::string&);

}  // namespace kxsql::python

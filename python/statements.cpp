#include "python/statements.h"

#include <cstring>
#include <type_traits>

namespace kxsql::python {
namespace {

// Keeps `other`, a text of the statement whose text is `size` bytes at
// `text`: as a length when it is that text or its start, else as a copy in
// `owned`.
void Describe(const char* text, std::size_t size, const char* other, StatementRecord& record,
              std::string StatementRecord::Owned::*copy, std::size_t& prefix) {
  if (other == text) {
    // The statement keeps one string for both while they are the same.
    prefix = size;
    return;
  }
  const std::size_t length = std::strlen(other);
  if (length <= size && std::memcmp(text, other, length) == 0) {
    prefix = length;
  } else {
    prefix = StatementRecord::kOwnText;
    (record.Own().*copy).assign(other, length);
  }
}

}  // namespace

template <class Source>
int StatementReader<Source>::Next(StatementRecord& record) {
  while (!done_) {
    source_.BeginStatement();
    std::size_t start = 0;
    if constexpr (std::is_same_v<Source, ScriptText>) start = source_.Position();
    const long rc = source_.GetNextStmt(stmt_, &tr_, nullptr);
    if (rc < 0) {
      done_ = true;
      return -1;
    }
    // The call after the last statement answers 1 with nothing in it; a NUL
    // character answers 1 too, before the end.
    done_ = rc == 1 && source_.IsEOF();
    const int kind = stmt_.GetKind();
    if (kind == KXSQL_STMT_SQL && stmt_.IsEmpty()) continue;

    const char* text = stmt_.GetText();
    record.text_size = std::strlen(text);
    record.text_at = StatementRecord::kOwnText;
    if constexpr (std::is_same_v<Source, ScriptText>) record.text_at = source_.Find(text, record.text_size, start);
    record.owned.reset();
    if (record.text_at == StatementRecord::kOwnText) record.Own().text.assign(text, record.text_size);
    Describe(text, record.text_size, stmt_.GetParsedText(), record, &StatementRecord::Owned::parsed,
             record.parsed_prefix);
    Describe(text, record.text_size, stmt_.GetNoCommentText(), record, &StatementRecord::Owned::no_comment,
             record.no_comment_prefix);
    if (*stmt_.GetSideEffect() != 0) record.Own().side_effect.assign(stmt_.GetSideEffect());
    if (*stmt_.GetData() != 0) record.Own().data.assign(stmt_.GetData());
    record.has_data = *stmt_.GetData() != 0 || kind == KXSQL_STMT_DATA;
    record.line = source_.StatementLine(stmt_);
    record.kind = kind;
    record.repeat = stmt_.GetRepeatCount();
    record.is_select = stmt_.IsSelectStmt();
    return 1;
  }
  return 0;
}

template <class Source>
bool ReadAllTokens(Source& source, std::string& text, TokenEnds& ends, std::string& error) {
  SQLToken<char> token;
  for (;;) {
    const long rc = source.GetToken(token, 0);
    if (rc < 0) {
      error = CKXMsg::GetInstance()->GetLastMessage().text;
      return false;
    }
    // A NUL character answers 1 as the end does, with an OTHER token.
    if (rc == 1 && source.IsEOF() && token.Is(SQLTOKEN_TYPE::NONE)) return true;
    if (rc == 1) {
      text.push_back('\0');
      ends.emplace_back(&SQLTOKEN_TYPE::OTHER, text.size());
    } else {
      text.append(token.GetText(), token.GetLength());
      ends.emplace_back(&token.GetType(), text.size());
    }
  }
}

template class StatementReader<ScriptText>;
template class StatementReader<kxsql::cli::ScriptFile>;
template bool ReadAllTokens(ScriptText&, std::string&, TokenEnds&, std::string&);
template bool ReadAllTokens(kxsql::cli::ScriptFile&, std::string&, TokenEnds&, std::string&);

}  // namespace kxsql::python

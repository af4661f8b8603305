// Telling a COPY that needs the client's rows from SQL that a driver can run.
// A light scan in PostgreSQL's lexical rules: blanks, `--` and nested `/* */`
// comments, '...' and E'...' strings, "..." names and $tag$ bodies are
// passed over, so that a word inside them never counts.
#include "copy_statement.h"

#include <cctype>
#include <cstring>

namespace kxcom::detail {
namespace {

bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

bool SameWord(const char* p, std::size_t n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(p[i])) != word[i]) return false;
  return true;
}

// Skips what starts at p if it is a comment, a quoted string or name, or a
// dollar-quoted body; returns where it ends, or p when nothing starts there.
// Every loop advances or ends at the terminator.
const char* SkipQuoted(const char* text, const char* p) {
  if (p[0] == '-' && p[1] == '-') {
    while (*p != 0 && *p != '\n') ++p;
    return p;
  }
  if (p[0] == '/' && p[1] == '*') {
    int depth = 0;
    while (*p != 0) {
      if (p[0] == '/' && p[1] == '*') { ++depth; p += 2; continue; }
      if (p[0] == '*' && p[1] == '/') { p += 2; if (--depth == 0) break; continue; }
      ++p;
    }
    return p;
  }
  if (*p == '\'' || *p == '"') {
    // E'...' strings also end no earlier than a quote that a backslash
    // does not escape.
    const bool escapes = *p == '\'' && p > text && (p[-1] == 'E' || p[-1] == 'e');
    const char quote = *p++;
    while (*p != 0) {
      if (escapes && *p == '\\' && p[1] != 0) { p += 2; continue; }
      if (*p == quote) {
        if (p[1] == quote) { p += 2; continue; }
        return p + 1;
      }
      ++p;
    }
    return p;
  }
  if (*p == '$') {
    const char* tag_end = p + 1;
    while (*tag_end != 0 && *tag_end != '$' && (std::isalnum(static_cast<unsigned char>(*tag_end)) || *tag_end == '_'))
      ++tag_end;
    if (*tag_end != '$') return p;
    const std::size_t tag_length = static_cast<std::size_t>(tag_end - p) + 1;
    for (const char* q = tag_end + 1; *q != 0; ++q)
      if (std::strncmp(q, p, tag_length) == 0) return q + tag_length;
    return p + std::strlen(p);
  }
  return p;
}

}  // namespace

bool IsClientCopy(const char* sql) noexcept {
  if (sql == nullptr) return false;
  // Each statement of the text: `first` is true until its first word.
  bool first = true, is_copy = false;
  int depth = 0;
  const char* previous = nullptr;
  std::size_t previous_length = 0;
  for (const char* p = sql; *p != 0;) {
    const char* skipped = SkipQuoted(sql, p);
    if (skipped != p) {
      // A comment changes nothing; a string or a quoted name is a token.
      if (*p != '-' && *p != '/') {
        first = false;
        previous = nullptr;
      }
      p = skipped;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    if (IsWordChar(c) && !std::isdigit(c)) {
      const char* word = p;
      while (*p != 0 && IsWordChar(static_cast<unsigned char>(*p))) ++p;
      const std::size_t length = static_cast<std::size_t>(p - word);
      if (first) is_copy = SameWord(word, length, "copy");
      first = false;
      if (is_copy && depth == 0 && previous != nullptr &&
          ((SameWord(previous, previous_length, "from") && SameWord(word, length, "stdin")) ||
           (SameWord(previous, previous_length, "to") && SameWord(word, length, "stdout"))))
        return true;
      previous = word;
      previous_length = length;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c == ';' && depth == 0) {
      first = true;
      is_copy = false;
      previous = nullptr;
    } else if (!std::isspace(c)) {
      first = false;
      previous = nullptr;
    }
    ++p;
  }
  return false;
}

}  // namespace kxcom::detail

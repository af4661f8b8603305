#include "connection_string.h"

#include <cctype>
#include <cstddef>

namespace kxcom::detail {
namespace {

struct Pair {
  std::size_t begin;        // where the pair starts
  std::size_t value_begin;  // where its value starts
  std::size_t end;          // where it ends (its `;` or the end)
  std::string key;
};

std::string Trimmed(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The next pair from `at`; a value in braces may hold `;` (and `}}` for `}`).
bool NextPair(const std::string& text, std::size_t at, Pair& pair) {
  if (at >= text.size()) return false;
  pair.begin = at;
  const std::size_t equals = text.find('=', at);
  const std::size_t semicolon = text.find(';', at);
  if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
    pair.key = Trimmed(text.substr(at, (semicolon == std::string::npos ? text.size() : semicolon) - at));
    pair.value_begin = pair.end = semicolon == std::string::npos ? text.size() : semicolon;
    return true;
  }
  pair.key = Trimmed(text.substr(at, equals - at));
  pair.value_begin = equals + 1;
  std::size_t i = pair.value_begin;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && text[i] == '{') {
    for (++i; i < text.size(); ++i) {
      if (text[i] != '}') continue;
      if (i + 1 < text.size() && text[i + 1] == '}') {
        ++i;
        continue;
      }
      ++i;
      break;
    }
  }
  const std::size_t end = text.find(';', i);
  pair.end = end == std::string::npos ? text.size() : end;
  return true;
}

std::string Braced(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos && Trimmed(value) == value) return value;
  std::string braced = "{";
  for (char c : value) braced += c == '}' ? std::string("}}") : std::string(1, c);
  return braced + "}";
}

}  // namespace

bool FindConnectionKey(const std::string& connection, const std::string& key, std::string* value) {
  Pair pair;
  for (std::size_t at = 0; NextPair(connection, at, pair); at = pair.end + 1) {
    if (!SameKey(pair.key, key)) continue;
    if (value != nullptr) {
      std::string raw = Trimmed(connection.substr(pair.value_begin, pair.end - pair.value_begin));
      if (raw.size() >= 2 && raw.front() == '{' && raw.back() == '}') {
        std::string unbraced;
        for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
          unbraced += raw[i];
          if (raw[i] == '}' && i + 2 < raw.size() && raw[i + 1] == '}') ++i;
        }
        raw = unbraced;
      }
      *value = raw;
    }
    return true;
  }
  return false;
}

std::string WithConnectionKey(const std::string& connection, const std::string& key, const std::string& value) {
  Pair pair;
  for (std::size_t at = 0; NextPair(connection, at, pair); at = pair.end + 1) {
    if (!SameKey(pair.key, key)) continue;
    return connection.substr(0, pair.value_begin) + Braced(value) + connection.substr(pair.end);
  }
  std::string joined = connection;
  if (!joined.empty() && joined.back() != ';') joined += ';';
  return joined + key + "=" + Braced(value);
}

}  // namespace kxcom::detail

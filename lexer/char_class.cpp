#include "lexer/char_class.h"

#include "host/locale_choice.h"

#include <locale>
#include <string>

namespace kxsql::detail {
namespace {

std::uint8_t AsciiClass(unsigned c) noexcept {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return kLetterBit | kWordBit;
  if (c >= '0' && c <= '9') return kWordBit;
  return 0;
}

bool IsUtf8OrClassic(const std::locale& locale) {
  const std::string name = locale.name();
  if (name == "C" || name == "POSIX") return true;
  std::string lower;
  for (char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

struct NarrowTable {
  std::uint8_t classes[256];
  NarrowTable() noexcept {
    const std::locale locale = kxcom::detail::DefaultLocale();
    bool utf8 = true;
    try {
      utf8 = IsUtf8OrClassic(locale);
    } catch (...) {
    }
    const auto& ctype = std::use_facet<std::ctype<char>>(locale);
    for (unsigned c = 0; c < 256; ++c) {
      if (c < 0x80) {
        classes[c] = AsciiClass(c);
      } else if (utf8) {
        classes[c] = kLetterBit | kWordBit;
      } else {
        const char ch = static_cast<char>(c);
        classes[c] = ctype.is(std::ctype_base::alpha, ch) ? (kLetterBit | kWordBit)
                     : ctype.is(std::ctype_base::digit, ch) ? kWordBit
                                                             : 0;
      }
    }
  }
};

struct WideTable {
  std::uint8_t classes[65536];
  WideTable() noexcept {
    const std::locale locale = kxcom::detail::WideClassificationLocale();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    for (unsigned c = 0; c < 65536; ++c) {
      if (c < 0x80) {
        classes[c] = AsciiClass(c);
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        classes[c] = kLetterBit | kWordBit;
      } else {
        const wchar_t ch = static_cast<wchar_t>(c);
        classes[c] = ctype.is(std::ctype_base::alpha, ch) ? (kLetterBit | kWordBit)
                     : ctype.is(std::ctype_base::digit, ch) ? kWordBit
                                                             : 0;
      }
    }
  }
};

}  // namespace

const std::uint8_t* NarrowCharClasses() noexcept {
  static const NarrowTable table;
  return table.classes;
}

const std::uint8_t* WideCharClasses() noexcept {
  static const WideTable* const table = new WideTable;  // 64 KiB, kept for the process
  return table->classes;
}

}  // namespace kxsql::detail

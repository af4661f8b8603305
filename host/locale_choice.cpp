#include "locale_choice.h"

#include <string>

namespace kxcom::detail {

std::locale DefaultLocale() noexcept {
  try {
    return std::locale("");
  } catch (...) {
    return std::locale::classic();
  }
}

std::locale WideClassificationLocale() noexcept {
  std::locale base = DefaultLocale();
  const std::string name = base.name();
  if (name != "C" && name != "POSIX") return base;
  for (const char* stand_in : {"C.UTF-8", "C.utf8"}) {
    try {
      return std::locale(stand_in);
    } catch (...) {
    }
  }
  return base;
}

}  // namespace kxcom::detail

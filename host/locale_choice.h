// Which locale classifies and folds letters beyond ASCII. Internal to kxsql
// and kxcom: exported for the tokenizer, never installed.
#pragma once

#include <locale>

#include "kxcom/kxcom_export.h"

namespace kxcom::detail {

// The environment's default locale; the classic locale when the environment
// names one the machine does not have. When that is the classic "C" locale,
// which knows no letters beyond ASCII, the built-in C.UTF-8 locale stands in
// for wide-character classification where the machine has it.
KXCOM_EXPORT std::locale DefaultLocale() noexcept;
KXCOM_EXPORT std::locale WideClassificationLocale() noexcept;

}  // namespace kxcom::detail
